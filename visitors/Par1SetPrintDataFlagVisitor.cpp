#include "visitors/Par1SetPrintDataFlagVisitor.h"

#include "port/Par1Adapter.h"
#include "shared/TransportLog.h"

Par1SetPrintDataFlagVisitor::Par1SetPrintDataFlagVisitor() : printData_(false) {}

Par1SetPrintDataFlagVisitor::~Par1SetPrintDataFlagVisitor() = default;

void Par1SetPrintDataFlagVisitor::setPrintDataFlag(bool printData) {
    FunctionTrace trace =
        transportLog::open(LevelTrace, "Par1SetPrintDataFlagVisitor::setPrintDataFlag");
    printData_ = printData;
    if (trace.isEnabled()) {
        trace.setReturnCode(0u);
    }
}

void Par1SetPrintDataFlagVisitor::doAtPar1Adapter(Layer& layer, Layer*) {
    FunctionTrace trace =
        transportLog::open(LevelTrace, "Par1SetPrintDataFlagVisitor::doAtPar1Adapter");
    Par1Adapter* adapter = dynamic_cast<Par1Adapter*>(&layer);
    uint32_t result = adapter != nullptr ? adapter->setPrintDataFlag(printData_) : 0;
    if (result != 0) {
        setError(result);
    }
    if (trace.isEnabled()) {
        trace.setReturnCode(result);
    }
}
