// Kernel objects of the Linux platform layer and the process's handle table.
// Every HANDLE the layer hands out names one KernelObject; CloseHandle drops
// the table's reference, so an object stays alive while a call still uses it.
#pragma once

#include "platform/win32.h"

#include <memory>

namespace platform {

class KernelObject {
public:
    virtual ~KernelObject() = default;
    // WaitForSingleObject on this object: WAIT_OBJECT_0, WAIT_ABANDONED or
    // WAIT_TIMEOUT, or WAIT_FAILED with the last error set.
    virtual DWORD wait(DWORD milliseconds);
};

// Adds an object to the table and returns its new handle (never 0 or -1).
HANDLE addHandle(std::shared_ptr<KernelObject> object);
// The object a handle names, or null with ERROR_INVALID_HANDLE as last error.
std::shared_ptr<KernelObject> findHandle(HANDLE handle);
// Removes a handle; false with ERROR_INVALID_HANDLE when it names nothing.
bool removeHandle(HANDLE handle);

template <class T> std::shared_ptr<T> findHandleAs(HANDLE handle) {
    auto object = std::dynamic_pointer_cast<T>(findHandle(handle));
    if (!object) {
        SetLastError(ERROR_INVALID_HANDLE);
    }
    return object;
}

} // namespace platform
