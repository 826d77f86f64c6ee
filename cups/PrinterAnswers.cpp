#include "PrinterAnswers.h"

#include "Connection.h"

#include <string>

PrinterAnswers::PrinterAnswers(StatusLines& status) : status_(status) {
    setName("par1-cups");
}

void PrinterAnswers::doAccept(Data& data) {
    status_.debug("the printer sent " + std::to_string(data.size()) +
                  " bytes: " + printable(data.data(), data.size()));
}
