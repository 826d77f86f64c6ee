// System message texts: the English texts of Windows for the system error
// codes, each ending ".\r\n" as Windows gives them. Inserts such as %1 are
// returned as they stand (FORMAT_MESSAGE_IGNORE_INSERTS).
#include "platform/win32.h"

#include <algorithm>
#include <cstring>
#include <iterator>

namespace {

struct SystemMessage {
    DWORD code;
    const char* text;
};

// Sorted by code.
const SystemMessage kMessages[] = {
    {0, "The operation completed successfully."},
    {1, "Incorrect function."},
    {2, "The system cannot find the file specified."},
    {3, "The system cannot find the path specified."},
    {4, "The system cannot open the file."},
    {5, "Access is denied."},
    {6, "The handle is invalid."},
    {8, "Not enough memory resources are available to process this command."},
    {11, "An attempt was made to load a program with an incorrect format."},
    {13, "The data is invalid."},
    {14, "Not enough memory resources are available to complete this operation."},
    {15, "The system cannot find the drive specified."},
    {18, "There are no more files."},
    {19, "The media is write protected."},
    {20, "The system cannot find the device specified."},
    {21, "The device is not ready."},
    {22, "The device does not recognize the command."},
    {23, "Data error (cyclic redundancy check)."},
    {28, "The printer is out of paper."},
    {29, "The system cannot write to the specified device."},
    {30, "The system cannot read from the specified device."},
    {31, "A device attached to the system is not functioning."},
    {32, "The process cannot access the file because it is being used by another process."},
    {33, "The process cannot access the file because another process has locked a portion of "
         "the file."},
    {38, "Reached the end of the file."},
    {39, "The disk is full."},
    {50, "The request is not supported."},
    {53, "The network path was not found."},
    {80, "The file exists."},
    {87, "The parameter is incorrect."},
    {109, "The pipe has been ended."},
    {112, "There is not enough space on the disk."},
    {121, "The semaphore timeout period has expired."},
    {122, "The data area passed to a system call is too small."},
    {123, "The filename, directory name, or volume label syntax is incorrect."},
    {126, "The specified module could not be found."},
    {127, "The specified procedure could not be found."},
    {131, "An attempt was made to move the file pointer before the beginning of the file."},
    {145, "The directory is not empty."},
    {161, "The specified path is invalid."},
    {170, "The requested resource is in use."},
    {183, "Cannot create a file when that file already exists."},
    {193, "%1 is not a valid Win32 application."},
    {203, "The system could not find the environment option that was entered."},
    {206, "The filename or extension is too long."},
    {234, "More data is available."},
    {258, "The wait operation timed out."},
    {259, "No more data is available."},
    {267, "The directory name is invalid."},
    {288, "Attempt to release mutex not owned by caller."},
    {317, "The system cannot find message text for message number 0x%1 in the message file for "
          "%2."},
    {995, "The I/O operation has been aborted because of either a thread exit or an application "
          "request."},
    {996, "Overlapped I/O event is not in a signaled state."},
    {997, "Overlapped I/O operation is in progress."},
    {998, "Invalid access to memory location."},
    {1004, "Invalid flags."},
    {1016, "An I/O operation initiated by the registry failed unrecoverably. The registry could "
           "not read in, or write out, or flush, one of the files that contain the system's "
           "image of the registry."},
    {1018, "Illegal operation attempted on a registry key that has been marked for deletion."},
    {1104, "No more data is on the tape."},
    {1117, "The request could not be performed because of an I/O device error."},
    {1121, "A serial I/O operation completed because the timeout period expired. (The "
           "IOCTL_SERIAL_XOFF_COUNTER reached zero.)"},
    {1167, "The device is not connected."},
    {1168, "Element not found."},
    {1305, "The revision level is unknown."},
    {1336, "The access control list (ACL) structure is invalid."},
    {1337, "The security ID structure is invalid."},
    {1338, "The security descriptor structure is invalid."},
    {1344, "No more memory is available for security information updates."},
    {1359, "An internal error occurred."},
    {1460, "This operation returned because the timeout period expired."},
    {1629, "Data of this type is not supported."},
    {1815, "The specified resource language ID cannot be found in the image file."},
};

const char* findMessage(DWORD code) {
    auto it = std::lower_bound(
        std::begin(kMessages), std::end(kMessages), code,
        [](const SystemMessage& message, DWORD wanted) { return message.code < wanted; });
    return it != std::end(kMessages) && it->code == code ? it->text : nullptr;
}

// English texts only: the neutral and default languages, and English of any
// region.
bool englishOrDefault(DWORD languageId) {
    const DWORD primary = languageId & 0x3FFu;
    return languageId <= 0xFFFFu && (primary == LANG_NEUTRAL || primary == LANG_ENGLISH);
}

} // namespace

DWORD FormatMessageA(DWORD flags, LPCVOID, DWORD messageId, DWORD languageId, LPSTR buffer,
                     DWORD size, void*) {
    // Only what the module asks for: a system text into the caller's buffer,
    // with line breaks as they stand.
    const DWORD supported = FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS;
    // A null buffer of size 0 is only too small (below), as on Windows.
    if ((flags & FORMAT_MESSAGE_FROM_SYSTEM) == 0 || (flags & ~supported) != 0 ||
        (buffer == nullptr && size != 0)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    if (!englishOrDefault(languageId)) {
        SetLastError(ERROR_RESOURCE_LANG_NOT_FOUND);
        return 0;
    }
    const char* text = findMessage(messageId);
    if (text == nullptr) {
        SetLastError(ERROR_MR_MID_NOT_FOUND);
        return 0;
    }
    // Without IGNORE_INSERTS a text with inserts would need arguments.
    if ((flags & FORMAT_MESSAGE_IGNORE_INSERTS) == 0 && std::strchr(text, '%') != nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    const size_t length = std::strlen(text) + 2; // and "\r\n"
    if (length >= size) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return 0;
    }
    std::memcpy(buffer, text, length - 2);
    std::memcpy(buffer + length - 2, "\r\n", 3);
    return static_cast<DWORD>(length);
}
