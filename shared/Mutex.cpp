#include "shared/Mutex.h"

#include "shared/Win32Exception.h"

Mutex::Mutex(bool initialOwner, const std::string& name, bool everyone) : name_(name) {
    const char* mutexName = name_.empty() ? nullptr : name_.c_str();
    if (!everyone) {
        createMutex(nullptr, initialOwner, mutexName);
        return;
    }
    SECURITY_DESCRIPTOR descriptor;
    if (!InitializeSecurityDescriptor(&descriptor, SECURITY_DESCRIPTOR_REVISION)) {
        DWORD error = GetLastError();
        throw Win32Exception("Mutex::Mutex() InitializeSecurityDescriptor failed", error, "Mutex",
                             __LINE__);
    }
    // A present but empty (null) DACL gives every user full access.
    if (!SetSecurityDescriptorDacl(&descriptor, TRUE, nullptr, FALSE)) {
        DWORD error = GetLastError();
        throw Win32Exception("Mutex::Mutex() SetSecurityDescriptorDacl failed", error, "Mutex",
                             __LINE__);
    }
    SECURITY_ATTRIBUTES attributes;
    attributes.nLength = sizeof attributes;
    attributes.lpSecurityDescriptor = &descriptor;
    attributes.bInheritHandle = FALSE;
    createMutex(&attributes, initialOwner, mutexName);
}

Mutex::~Mutex() {
    if (handle_ != nullptr) {
        CloseHandle(handle_);
    }
}

namespace {

uint64_t ownerAndCount(DWORD threadId, uint32_t count) {
    return (static_cast<uint64_t>(threadId) << 32) | count;
}

DWORD ownerOf(uint64_t state) {
    return static_cast<DWORD>(state >> 32);
}

uint32_t countOf(uint64_t state) {
    return static_cast<uint32_t>(state);
}

} // namespace

void Mutex::createMutex(LPSECURITY_ATTRIBUTES attributes, bool initialOwner, const char* name) {
    SetLastError(ERROR_SUCCESS);
    handle_ = CreateMutexA(attributes, initialOwner ? TRUE : FALSE, name);
    if (handle_ == nullptr) {
        DWORD error = GetLastError();
        throw Win32Exception("Mutex::createMutex() CreateMutex failed", error, "Mutex", __LINE__);
    }
    // Opening a named mutex that already exists does not make the caller its
    // owner, whatever initialOwner asked.
    if (initialOwner && GetLastError() != ERROR_ALREADY_EXISTS) {
        ownerAndCount_.store(ownerAndCount(GetCurrentThreadId(), 1));
    }
}

bool Mutex::acquire(DWORD timeout) {
    if (timeout == 0) {
        return false;
    }
    DWORD result = WaitForSingleObject(handle_, timeout);
    if (result == WAIT_TIMEOUT) {
        return false;
    }
    if (result != WAIT_OBJECT_0 && result != WAIT_ABANDONED) {
        DWORD error = GetLastError();
        throw Win32Exception("Mutex::acquire() WaitForSingleObject failed", error, "Mutex",
                             __LINE__);
    }
    DWORD self = GetCurrentThreadId();
    uint64_t state = ownerAndCount_.load();
    // A new owner starts at one: the previous owner released everything, or
    // ended while holding it (abandoned), and its acquisitions died with it.
    uint32_t count = (result == WAIT_OBJECT_0 && ownerOf(state) == self) ? countOf(state) + 1 : 1;
    ownerAndCount_.store(ownerAndCount(self, count));
    return true;
}

bool Mutex::heldByCaller() const {
    const uint64_t state = ownerAndCount_.load();
    return ownerOf(state) == GetCurrentThreadId() && countOf(state) != 0;
}

void Mutex::release() {
    DWORD self = GetCurrentThreadId();
    uint64_t state = ownerAndCount_.load();
    if (ownerOf(state) != self || countOf(state) == 0) {
        return;
    }
    // Cleared while still the owner: once the first ReleaseMutex returns,
    // another thread may own the mutex and record itself.
    ownerAndCount_.store(ownerAndCount(self, 0));
    for (uint32_t count = countOf(state); count != 0; --count) {
        if (!ReleaseMutex(handle_)) {
            DWORD error = GetLastError();
            throw Win32Exception("Mutex::release() ReleaseMutex failed", error, "Mutex", __LINE__);
        }
    }
}
