// The backend's top layer of a connection: what the printer sends on its own
// (not the answers the module takes for itself, such as acknowledgements)
// goes to the scheduler's log as DEBUG lines.
#pragma once

#include "StatusLines.h"

#include "par1/transport.h"

#include <cstdint>

class PrinterAnswers : public Layer {
public:
    explicit PrinterAnswers(StatusLines& status);
    using Layer::doAccept;
    void doAccept(Data& data) override;
    // Visitors that travel up end here.
    void doAccept(Visitor&) override {}

private:
    StatusLines& status_;
};
