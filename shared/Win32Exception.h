// The exception every failed system call raises: an Exception whose error
// text carries the system's own message for the code.
#pragma once

#include "shared/Exception.h"

#include <cstdint>
#include <string>

class Win32Exception : public Exception {
public:
    Win32Exception(std::string message, uint32_t errorCode, std::string fileName,
                   uint32_t lineNumber);
    Win32Exception(const Win32Exception&) = default;
    Win32Exception& operator=(const Win32Exception&) = default;
    ~Win32Exception() override;

    // "Win32(" and the code (signed conversion), then the system message
    // without line breaks; empty for code 0.
    std::string getErrorText() const override;

    // The system's message for a code, carriage returns and line feeds
    // removed; "Error getting message:" and the lookup's error when the
    // system has none.
    static std::string getSystemMessage(uint32_t errorCode);
};
