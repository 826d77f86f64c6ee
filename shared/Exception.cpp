#include "shared/Exception.h"

#include <utility>

Exception::Exception(std::string message, uint32_t errorCode, std::string fileName,
                     uint32_t lineNumber)
    : message_(std::move(message)), errorCode_(errorCode), fileName_(std::move(fileName)),
      lineNumber_(lineNumber) {}

Exception::~Exception() = default;

std::string Exception::getErrorText() const {
    if (errorCode_ == 0) {
        return std::string();
    }
    return std::to_string(static_cast<int32_t>(errorCode_));
}

uint32_t Exception::getErrorCode() const {
    return errorCode_;
}

std::string Exception::getMessage() const {
    return message_;
}
