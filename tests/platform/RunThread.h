// Runs a function on a thread of its own through _beginthreadex.
#pragma once

#include "platform/win32.h"

#include <functional>
#include <gtest/gtest.h>

namespace platformtest {

class RunThread {
public:
    explicit RunThread(std::function<unsigned()> body, unsigned stackSize = 0)
        : body_(std::move(body)) {
        handle_ = reinterpret_cast<HANDLE>(
            _beginthreadex(nullptr, stackSize, &RunThread::entry, this, 0, &id_));
        EXPECT_NE(nullptr, handle_) << "_beginthreadex failed: " << GetLastError();
    }
    ~RunThread() {
        if (handle_ != nullptr) {
            WaitForSingleObject(handle_, INFINITE);
            CloseHandle(handle_);
        }
    }
    RunThread(const RunThread&) = delete;
    RunThread& operator=(const RunThread&) = delete;

    HANDLE handle() const { return handle_; }
    unsigned id() const { return id_; }
    // Waits for the end; true when it ended within the time-out.
    bool join(DWORD milliseconds = 10000) {
        return WaitForSingleObject(handle_, milliseconds) == WAIT_OBJECT_0;
    }
    DWORD exitCode() const {
        DWORD code = 0;
        EXPECT_TRUE(GetExitCodeThread(handle_, &code));
        return code;
    }

private:
    static unsigned WINAPI entry(void* self) { return static_cast<RunThread*>(self)->body_(); }

    std::function<unsigned()> body_;
    HANDLE handle_ = nullptr;
    unsigned id_ = 0;
};

// A name no other process (or earlier test run) uses.
inline std::string uniqueName(const std::string& base) {
    static LONG counter = 0;
    return "par1test-" + base + "-" + std::to_string(GetCurrentProcessId()) + "-" +
           std::to_string(InterlockedIncrement(&counter)) + "-" + std::to_string(GetTickCount());
}

} // namespace platformtest
