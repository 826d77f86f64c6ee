#include "support/TestChild.h"

#include <cstdio>
#include <cstdlib>
#include <gtest/gtest.h>

namespace par1test {

namespace {

const char kRoleMarker[] = "--par1-test-child-role";
const char kTailMarker[] = "--par1-test-child-tail";

// The words of the command line after a marker, up to the next marker.
std::vector<std::string> wordsAfter(const char* marker) {
    const std::vector<std::string> all = testing::internal::GetArgvs();
    std::vector<std::string> words;
    bool after = false;
    for (const std::string& word : all) {
        if (word == kRoleMarker || word == kTailMarker) {
            after = word == marker;
        } else if (after) {
            words.push_back(word);
        }
    }
    return words;
}

} // namespace

TestChild::TestChild(const std::string& role, const std::vector<std::string>& arguments,
                     const std::string& commandTail) {
    char path[MAX_PATH] = {};
    DWORD length = GetModuleFileNameA(nullptr, path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) {
        ADD_FAILURE() << "GetModuleFileNameA failed: " << GetLastError();
        return;
    }
    const testing::TestInfo* test = testing::UnitTest::GetInstance()->current_test_info();
    if (test == nullptr) {
        ADD_FAILURE() << "TestChild started outside a test";
        return;
    }
    std::string line =
        quote(path) + " --gtest_brief=1 " +
        quote(std::string("--gtest_filter=") + test->test_suite_name() + "." + test->name()) + " " +
        kRoleMarker + " " + quote(role);
    for (const std::string& argument : arguments) {
        line += " " + quote(argument);
    }
    line += std::string(" ") + kTailMarker + " " + commandTail;
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
    processId_ = info.dwProcessId;
}

TestChild::~TestChild() {
    if (process_ == nullptr) {
        return;
    }
    if (WaitForSingleObject(process_, 0) != WAIT_OBJECT_0) {
        TerminateProcess(process_, 1);
        WaitForSingleObject(process_, INFINITE);
    }
    CloseHandle(process_);
}

bool TestChild::wait(DWORD milliseconds) {
    return process_ != nullptr && WaitForSingleObject(process_, milliseconds) == WAIT_OBJECT_0;
}

DWORD TestChild::exitCode() const {
    DWORD code = 0;
    if (process_ == nullptr || !GetExitCodeProcess(process_, &code)) {
        ADD_FAILURE() << "GetExitCodeProcess failed: " << GetLastError();
    }
    return code;
}

std::string TestChild::role() {
    std::vector<std::string> words = wordsAfter(kRoleMarker);
    return words.empty() ? std::string() : words.front();
}

std::vector<std::string> TestChild::arguments() {
    std::vector<std::string> words = wordsAfter(kRoleMarker);
    if (!words.empty()) {
        words.erase(words.begin());
    }
    return words;
}

std::vector<std::string> TestChild::tail() {
    return wordsAfter(kTailMarker);
}

void TestChild::exit(DWORD code) {
    std::fflush(nullptr);
    std::_Exit(static_cast<int>(code));
}

std::string TestChild::quote(const std::string& word) {
    // Backslashes count only before a quote: double those, and the ones
    // before the closing quote.
    std::string quoted = "\"";
    size_t backslashes = 0;
    for (char c : word) {
        if (c == '\\') {
            ++backslashes;
            continue;
        }
        if (c == '"') {
            quoted.append(backslashes * 2 + 1, '\\');
        } else {
            quoted.append(backslashes, '\\');
        }
        backslashes = 0;
        quoted += c;
    }
    quoted.append(backslashes * 2, '\\');
    return quoted + "\"";
}

} // namespace par1test
