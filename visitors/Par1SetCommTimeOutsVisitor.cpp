#include "visitors/Par1SetCommTimeOutsVisitor.h"

#include "port/Par1Adapter.h"
#include "shared/TransportLog.h"

Par1SetCommTimeOutsVisitor::Par1SetCommTimeOutsVisitor()
    : readInterval_(0), readTotalMultiplier_(0), readTotalConstant_(0), writeTotalMultiplier_(0),
      writeTotalConstant_(0) {}

Par1SetCommTimeOutsVisitor::~Par1SetCommTimeOutsVisitor() = default;

void Par1SetCommTimeOutsVisitor::setCommTimeouts(const COMMTIMEOUTS& timeouts) {
    readInterval_ = timeouts.ReadIntervalTimeout;
    readTotalMultiplier_ = timeouts.ReadTotalTimeoutMultiplier;
    readTotalConstant_ = timeouts.ReadTotalTimeoutConstant;
    writeTotalMultiplier_ = timeouts.WriteTotalTimeoutMultiplier;
    writeTotalConstant_ = timeouts.WriteTotalTimeoutConstant;
}

COMMTIMEOUTS Par1SetCommTimeOutsVisitor::getCommTimeouts() const {
    COMMTIMEOUTS timeouts = {};
    timeouts.ReadIntervalTimeout = readInterval_;
    timeouts.ReadTotalTimeoutMultiplier = readTotalMultiplier_;
    timeouts.ReadTotalTimeoutConstant = readTotalConstant_;
    timeouts.WriteTotalTimeoutMultiplier = writeTotalMultiplier_;
    timeouts.WriteTotalTimeoutConstant = writeTotalConstant_;
    return timeouts;
}

void Par1SetCommTimeOutsVisitor::doAtPar1Adapter(Layer& layer, Layer*) {
    FunctionTrace trace =
        transportLog::open(LevelTrace, "Par1SetCommTimeOutsVisitor::doAtPar1Adapter");
    Par1Adapter* adapter = dynamic_cast<Par1Adapter*>(&layer);
    if (adapter == nullptr) {
        return;
    }
    uint32_t result = adapter->setCommTimeouts(getCommTimeouts());
    if (result != 0) {
        setError(result);
    }
    if (trace.isEnabled()) {
        trace.setReturnCode(result);
    }
}
