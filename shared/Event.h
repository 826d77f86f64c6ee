// A Windows event that can also carry a code to its waiter: set(code) wakes
// the waiter with wait() answering false and the code readable.
#pragma once

#include "platform/win32.h"

#include <atomic>
#include <cstdint>
#include <string>

class Event {
public:
    // An empty name makes an unnamed event. With everyone, any user may open
    // it. Throws Win32Exception.
    Event(bool manualReset, bool initialState, const std::string& name, bool everyone);
    ~Event();
    Event(const Event&) = delete;
    Event& operator=(const Event&) = delete;

    // Signals with code 0.
    void set();
    // Signals with a reason: the next wait that sees the signal answers false.
    void set(uint32_t code);
    // Unsignals and forgets any code.
    void reset();
    // True when signalled by set(); false when signalled by set(code) (which
    // is then forgotten, the code stays), timed out or abandoned. Throws
    // Win32Exception when the wait fails.
    bool wait(DWORD timeout);

    // The code of set(code), or the error of a failed set; 0 otherwise.
    uint32_t getCode() const { return code_.load(); }
    bool isAborted() const { return aborted_.load(); }
    const std::string& getName() const { return name_; }
    // For a wait on the event by WaitForSingleObject itself, which sees the
    // signal but not its code.
    HANDLE getHandle() const { return handle_; }

protected:
    void createEvent(LPSECURITY_ATTRIBUTES attributes, bool manualReset, bool initialState,
                     const char* name);

private:
    void signal();

    HANDLE handle_ = nullptr;
    std::string name_;
    // Written by the signalling thread, read by the waiter.
    std::atomic<bool> aborted_{false};
    std::atomic<uint32_t> code_{0};
};
