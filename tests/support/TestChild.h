// Runs the current test again in a child process of this test program, for
// what one process cannot show on its own (a named mutex shared by two
// processes, a mutex abandoned by a dead process, exit codes).
//
// The test body asks TestChild::role() first: empty in the program's own run,
// the role given to the constructor in the child, which then plays its part
// and ends with TestChild::exit (or lets the test finish: exit code 0 when
// it passed, 1 when it failed).
//
//     TEST(NamedMutex, AbandonedByDeadProcess) {
//         if (TestChild::role() == "hold") {
//             ... acquire the mutex ...
//             TestChild::exit(3);
//         }
//         TestChild child("hold");
//         ASSERT_TRUE(child.wait(kChildTimeoutMs));
//         EXPECT_EQ(3u, child.exitCode());
//         ...
//     }
#pragma once

#include "platform/win32.h"

#include <string>
#include <vector>

namespace par1test {

class TestChild {
public:
    // Generous: a process start under Wine takes seconds.
    static constexpr DWORD kTimeoutMs = 60000;

    // Starts the child with the role and arguments; ADD_FAILURE when it
    // cannot be started. commandTail is appended to the child's command line
    // as it stands (see quote).
    explicit TestChild(const std::string& role, const std::vector<std::string>& arguments = {},
                       const std::string& commandTail = "");
    // Ends a child that still runs, and closes its handles.
    ~TestChild();
    TestChild(const TestChild&) = delete;
    TestChild& operator=(const TestChild&) = delete;

    bool started() const { return process_ != nullptr; }
    HANDLE process() const { return process_; }
    DWORD processId() const { return processId_; }
    // True when the child has ended within the time-out.
    bool wait(DWORD milliseconds = kTimeoutMs);
    // STILL_ACTIVE while it runs.
    DWORD exitCode() const;

    // In the child: the role and the arguments given to the constructor, and
    // every word of its command line after them (commandTail).
    static std::string role();
    static std::vector<std::string> arguments();
    static std::vector<std::string> tail();
    // Ends the child at once with the code, after flushing its output.
    [[noreturn]] static void exit(DWORD code);

    // A word quoted so that the C runtime splits it back as it was.
    static std::string quote(const std::string& word);

private:
    HANDLE process_ = nullptr;
    DWORD processId_ = 0;
};

} // namespace par1test
