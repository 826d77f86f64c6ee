// File objects of the Linux platform layer, and the hook through which
// devices (the parallel ports) plug into CreateFileA.
//
// ReadFile, WriteFile, GetFileSize and SetFilePointer find a FileObject in the
// handle table and call its virtual operations, so a device object only
// overrides what it supports. CreateFileA opens ordinary files itself and
// hands every "\\.\NAME" to the registered device openers.
#pragma once

#include "platform/linux/handles.h"

#include <functional>
#include <memory>
#include <string>

namespace platform {

class FileObject : public KernelObject {
public:
    // Each answers as its Win32 call does: the result, with the last error
    // set on failure. The base refuses with ERROR_INVALID_FUNCTION.
    virtual BOOL read(LPVOID buffer, DWORD size, LPDWORD done, LPOVERLAPPED overlapped);
    virtual BOOL write(LPCVOID buffer, DWORD size, LPDWORD done, LPOVERLAPPED overlapped);
    virtual DWORD getSize(LPDWORD sizeHigh);
    virtual DWORD setPointer(LONG distance, PLONG distanceHigh, DWORD moveMethod);
    // GetFileType's answer: devices are FILE_TYPE_CHAR unless they say
    // otherwise.
    virtual DWORD fileType();
    // File handles are always signalled, as on Windows after synchronous I/O.
    DWORD wait(DWORD milliseconds) override;
};

// What CreateFileA was asked, for a device opener.
struct DeviceRequest {
    std::string name; // after "\\.\", as the caller spelt it
    DWORD access;
    DWORD shareMode;
    LPSECURITY_ATTRIBUTES attributes;
    DWORD creationDisposition;
    DWORD flagsAndAttributes;
};

// A device opener answers false when the name is not one of its devices.
// Otherwise it answers true with either the new object or a null object and
// the Win32 error in error. Openers are asked newest first, outside any lock
// of this layer, and may be asked from several threads at once. A "\\.\NAME"
// that no opener knows fails with ERROR_FILE_NOT_FOUND.
using DeviceOpener = std::function<bool(const DeviceRequest& request,
                                        std::shared_ptr<FileObject>& object, DWORD& error)>;

// Registers an opener; the answer identifies it for removeDeviceOpener.
int addDeviceOpener(DeviceOpener opener);
void removeDeviceOpener(int id);

} // namespace platform
