// Closing and waiting, for every kind of kernel object in the handle table.
#include "platform/linux/sync.h"

#include <ctime>

BOOL CloseHandle(HANDLE handle) {
    // INVALID_HANDLE_VALUE is the pseudo handle of the current process,
    // which closes without effect as on Windows.
    if (handle == INVALID_HANDLE_VALUE) {
        return TRUE;
    }
    // An object's destruction (closing a descriptor, unmapping a named
    // mutex) runs to its end even on a thread being terminated.
    platform::CancellationBlock block;
    return platform::removeHandle(handle) ? TRUE : FALSE;
}

DWORD WaitForSingleObject(HANDLE handle, DWORD milliseconds) {
    if (handle == INVALID_HANDLE_VALUE) {
        // The current process, which never ends while it waits.
        if (milliseconds != 0) {
            Sleep(milliseconds);
        }
        return WAIT_TIMEOUT;
    }
    std::shared_ptr<platform::KernelObject> object = platform::findHandle(handle);
    if (!object) {
        return WAIT_FAILED;
    }
    return object->wait(milliseconds);
}
