// The base of this transport's visitors. Each of the transport's layer
// classes hands itself, and its upper neighbour, to the operation named after
// it; what a visitor does not override travels on past that layer in the
// direction it came from, and ends at the adapter.
#pragma once

#include "visitors/Visitor.h"

class Par1Visitor : public Visitor {
public:
    // Error 0.
    Par1Visitor();
    ~Par1Visitor() override;

    // [slot 12] Called by Par1Protocol::doAccept(Visitor&). Default: travel on.
    virtual void doAtPar1Protocol(Layer& layer, Layer* upper);
    // [slot 13] Called by Par1Adapter through its state. Default: the
    // generic doAtAdapter, which does nothing, so travel ends at the adapter.
    virtual void doAtPar1Adapter(Layer& layer, Layer* upper);
    // [slot 14] Called by Par1NpaProtocol::doAccept(Visitor&). Default:
    // travel on.
    virtual void doAtPar1NpaProtocol(Layer& layer, Layer* upper);
    // [slot 15] Called by Par1NpaWrapProtocol::doAccept(Visitor&). Default:
    // travel on.
    virtual void doAtParNpaWrapProtocol(Layer& layer, Layer* upper);
    // [slot 16] A new, unregistered, unnamed instance of the same class in its
    // initial state, owned by the caller; the visitor manager hands these out.
    // Default: null (the class is not made by name).
    virtual Visitor* clone() const;

    // The visitor as one of this transport's, or null for a visitor of
    // another kind (a host's own, or the generic manager's); the transport's
    // layers treat the latter as their generic base class would.
    static Par1Visitor* fromVisitor(Visitor& visitor);
};
