#include "shared/Event.h"

#include "shared/Win32Exception.h"

Event::Event(bool manualReset, bool initialState, const std::string& name, bool everyone)
    : name_(name) {
    const char* eventName = name_.empty() ? nullptr : name_.c_str();
    if (!everyone) {
        createEvent(nullptr, manualReset, initialState, eventName);
        return;
    }
    SECURITY_DESCRIPTOR descriptor;
    if (!InitializeSecurityDescriptor(&descriptor, SECURITY_DESCRIPTOR_REVISION)) {
        DWORD error = GetLastError();
        throw Win32Exception("Event::Event() InitializeSecurityDescriptor failed", error, "Event",
                             __LINE__);
    }
    // A present but empty (null) DACL gives every user full access.
    if (!SetSecurityDescriptorDacl(&descriptor, TRUE, nullptr, FALSE)) {
        DWORD error = GetLastError();
        throw Win32Exception("Event::Event() SetSecurityDescriptorDacl failed", error, "Event",
                             __LINE__);
    }
    SECURITY_ATTRIBUTES attributes;
    attributes.nLength = sizeof attributes;
    attributes.lpSecurityDescriptor = &descriptor;
    attributes.bInheritHandle = FALSE;
    createEvent(&attributes, manualReset, initialState, eventName);
}

Event::~Event() {
    if (handle_ != nullptr) {
        CloseHandle(handle_);
    }
}

void Event::createEvent(LPSECURITY_ATTRIBUTES attributes, bool manualReset, bool initialState,
                        const char* name) {
    handle_ =
        CreateEventA(attributes, manualReset ? TRUE : FALSE, initialState ? TRUE : FALSE, name);
    if (handle_ == nullptr) {
        DWORD error = GetLastError();
        throw Win32Exception("Event::createEvent() failed", error, "Event", __LINE__);
    }
}

void Event::set() {
    code_.store(0);
    signal();
}

void Event::set(uint32_t code) {
    code_.store(code);
    aborted_.store(true);
    signal();
}

void Event::signal() {
    if (!SetEvent(handle_)) {
        DWORD error = GetLastError();
        code_.store(error);
        throw Win32Exception("Event::set() failed", error, "Event", __LINE__);
    }
}

void Event::reset() {
    aborted_.store(false);
    code_.store(0);
    if (!ResetEvent(handle_)) {
        DWORD error = GetLastError();
        throw Win32Exception("Event::reset() failed", error, "Event", __LINE__);
    }
}

bool Event::wait(DWORD timeout) {
    DWORD result = WaitForSingleObject(handle_, timeout);
    if (result == WAIT_OBJECT_0) {
        // Answers false once for a set(code), and forgets the reason.
        return !aborted_.exchange(false);
    }
    if (result == WAIT_TIMEOUT || result == WAIT_ABANDONED) {
        return false;
    }
    DWORD error = GetLastError();
    throw Win32Exception("Event::wait() failed", error, "Event", __LINE__);
}
