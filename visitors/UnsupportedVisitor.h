// What the generic visitor manager makes for any name: it refuses to act at
// every generic layer.
#pragma once

#include "visitors/Visitor.h"

class UnsupportedVisitor : public Visitor {
public:
    UnsupportedVisitor();
    ~UnsupportedVisitor() override;

    // Each sets the error to 1 (ERROR_INVALID_FUNCTION) and ends the travel.
    void doAtProtocol(Layer& layer, Layer* upper) override;
    void doAtAdapter(Layer& layer, Layer* upper) override;
    void doAtFilter(Layer& layer, Layer* upper) override;
};
