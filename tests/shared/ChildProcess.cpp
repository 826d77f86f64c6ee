#include "ChildProcess.h"

#include <gtest/gtest.h>

namespace {

const char marker[] = "--par1-child-arguments";

std::string quoted(const std::string& word) {
    return "\"" + word + "\"";
}

} // namespace

ChildProcess::ChildProcess(const std::string& test, const std::vector<std::string>& arguments) {
    char path[MAX_PATH] = {};
    DWORD length = GetModuleFileNameA(nullptr, path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) {
        ADD_FAILURE() << "GetModuleFileNameA failed: " << GetLastError();
        return;
    }
    std::string line = quoted(path) + " --gtest_brief=1 --gtest_also_run_disabled_tests " +
                       quoted("--gtest_filter=" + test) + " " + marker;
    for (const std::string& argument : arguments) {
        line += " " + quoted(argument);
    }
    std::vector<char> commandLine(line.begin(), line.end());
    commandLine.push_back('\0');
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info = {};
    if (!CreateProcessA(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &info)) {
        ADD_FAILURE() << "CreateProcessA failed: " << GetLastError() << " for " << line;
        return;
    }
    CloseHandle(info.hThread);
    process_ = info.hProcess;
}

ChildProcess::~ChildProcess() {
    if (process_ == nullptr) {
        return;
    }
    if (WaitForSingleObject(process_, 0) != WAIT_OBJECT_0) {
        TerminateProcess(process_, 1);
        WaitForSingleObject(process_, INFINITE);
    }
    CloseHandle(process_);
}

bool ChildProcess::wait(DWORD timeout, DWORD& exitCode) {
    if (process_ == nullptr || WaitForSingleObject(process_, timeout) != WAIT_OBJECT_0) {
        return false;
    }
    return GetExitCodeProcess(process_, &exitCode) != FALSE;
}

std::vector<std::string> ChildProcess::arguments() {
    std::vector<std::string> all = testing::internal::GetArgvs();
    std::vector<std::string> result;
    bool after = false;
    for (const std::string& argument : all) {
        if (after) {
            result.push_back(argument);
        } else if (argument == marker) {
            after = true;
        }
    }
    return result;
}
