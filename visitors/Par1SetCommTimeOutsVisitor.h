// Built by the PJL layer to set the port's time-outs for its query: at the
// adapter it hands its five time-outs to the adapter's setCommTimeouts. Not
// made by name.
#pragma once

#include "visitors/Par1Visitor.h"

#include "platform/win32.h"

#include <cstdint>

class Par1SetCommTimeOutsVisitor : public Par1Visitor {
public:
    Par1SetCommTimeOutsVisitor();
    ~Par1SetCommTimeOutsVisitor() override;

    void setCommTimeouts(const COMMTIMEOUTS& timeouts);
    COMMTIMEOUTS getCommTimeouts() const;

    // The adapter's setCommTimeouts; the error becomes its answer when that
    // is not 0 (1 while the adapter is closed). Ends the travel.
    void doAtPar1Adapter(Layer& layer, Layer* upper) override;

private:
    uint32_t readInterval_;
    uint32_t readTotalMultiplier_;
    uint32_t readTotalConstant_;
    uint32_t writeTotalMultiplier_;
    uint32_t writeTotalConstant_;
};
