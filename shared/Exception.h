// The module's exception: what failed, the Windows error code, and where it
// was raised. Only Win32Exception is thrown; handlers catch either by
// reference and answer getErrorCode().
#pragma once

#include <cstdint>
#include <string>

class Exception {
public:
    // A throw site without a source file passes an empty file name and line 0.
    Exception(std::string message, uint32_t errorCode, std::string fileName, uint32_t lineNumber);
    Exception(const Exception&) = default;
    Exception& operator=(const Exception&) = default;
    virtual ~Exception();

    // The code in decimal through the signed conversion (4294967295 is "-1");
    // empty for code 0.
    virtual std::string getErrorText() const;
    virtual uint32_t getErrorCode() const;
    virtual std::string getMessage() const;

    // Where the exception was raised, for diagnostics; not virtual, so the
    // table of virtual operations stays as hosts expect it.
    const std::string& getFileName() const { return fileName_; }
    uint32_t getLineNumber() const { return lineNumber_; }

private:
    std::string message_;
    uint32_t errorCode_;
    std::string fileName_;
    uint32_t lineNumber_;
};
