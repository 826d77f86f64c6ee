// Runs one disabled test of this program in a child process: the way to see
// a mutex abandoned by another process, or a singleton in a fresh process.
#pragma once

#include "platform/win32.h"

#include <string>
#include <vector>

class ChildProcess {
public:
    // Starts this program with only the given test (a DISABLED_ one) and the
    // arguments after it; ADD_FAILURE when it cannot be started.
    ChildProcess(const std::string& test, const std::vector<std::string>& arguments);
    // Ends a child that is still running.
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    bool started() const { return process_ != nullptr; }
    // True with the exit code when the child ended within the time-out.
    bool wait(DWORD timeout, DWORD& exitCode);

    // In the child: the arguments given to the constructor.
    static std::vector<std::string> arguments();

private:
    HANDLE process_ = nullptr;
};
