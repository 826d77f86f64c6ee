// Built by the NPA data visitor to tell the adapter that what follows is no
// print data (commands get a short write time-out). Not made by name.
#pragma once

#include "visitors/Par1Visitor.h"

class Par1SetPrintDataFlagVisitor : public Par1Visitor {
public:
    // Flag false.
    Par1SetPrintDataFlagVisitor();
    ~Par1SetPrintDataFlagVisitor() override;

    void setPrintDataFlag(bool printData);
    bool getPrintDataFlag() const { return printData_; }

    // The adapter's setPrintDataFlag with the flag; ends the travel.
    void doAtPar1Adapter(Layer& layer, Layer* upper) override;

private:
    bool printData_;
};
