// Child processes, started with posix_spawn. A process handle is waitable
// through a pidfd; the child is reaped once it has ended, and a child whose
// handles are all closed while it still runs is reaped by a small thread of
// its own, so no zombie is left.
//
// Exit codes: Linux keeps the low 8 bits of what the child passed to exit. A
// child ended by TerminateProcess answers the code given there; one killed
// by another signal answers the code Windows gives for the matching fault
// (3 for abort, 0xC0000005 for an access violation), else 128 + the signal.
#include "platform/linux/host_paths.h"
#include "platform/linux/sync.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <mutex>
#include <poll.h>
#include <spawn.h>
#include <string>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace platform {

namespace {

DWORD exitCodeFromStatus(int status, bool terminated, DWORD terminateCode) {
    if (WIFEXITED(status)) {
        return static_cast<DWORD>(WEXITSTATUS(status));
    }
    const int signal = WTERMSIG(status);
    if (terminated && signal == SIGKILL) {
        return terminateCode;
    }
    switch (signal) {
    case SIGABRT:
        return 3;
    case SIGSEGV:
    case SIGBUS:
        return 0xC0000005u;
    default:
        return 128u + static_cast<DWORD>(signal);
    }
}

void* reapLater(void* pid) {
    int status = 0;
    while (waitpid(static_cast<pid_t>(reinterpret_cast<intptr_t>(pid)), &status, 0) < 0 &&
           errno == EINTR) {
    }
    return nullptr;
}

class ProcessObject : public KernelObject {
public:
    explicit ProcessObject(pid_t pid)
        : pid_(pid), pidfd_(static_cast<int>(syscall(SYS_pidfd_open, pid, 0))) {}

    ~ProcessObject() override {
        CancellationBlock block;
        if (!reap()) {
            pthread_t reaper;
            pthread_attr_t attributes;
            pthread_attr_init(&attributes);
            pthread_attr_setdetachstate(&attributes, PTHREAD_CREATE_DETACHED);
            pthread_attr_setstacksize(&attributes, 64 * 1024);
            pthread_create(&reaper, &attributes, &reapLater,
                           reinterpret_cast<void*>(static_cast<intptr_t>(pid_)));
            pthread_attr_destroy(&attributes);
        }
        if (pidfd_ >= 0) {
            close(pidfd_);
        }
    }

    DWORD wait(DWORD milliseconds) override {
        Deadline deadline(milliseconds);
        for (;;) {
            if (reap()) {
                return WAIT_OBJECT_0;
            }
            if (milliseconds == 0 || deadline.expired()) {
                return WAIT_TIMEOUT;
            }
            if (pidfd_ >= 0) {
                // Readable once the child has ended; poll is a cancellation point.
                pollfd entry{pidfd_, POLLIN, 0};
                poll(&entry, 1, deadline.remainingMs());
            } else {
                Sleep(deadline.infinite() ? 10 : std::min(10, deadline.remainingMs()));
            }
        }
    }

    DWORD exitCode() {
        std::lock_guard<std::mutex> guard(lock_);
        return reapLocked() ? exitCode_ : STILL_ACTIVE;
    }

    // False with ERROR_ACCESS_DENIED when the process has already ended.
    bool terminate(DWORD exitCode) {
        std::lock_guard<std::mutex> guard(lock_);
        siginfo_t info{};
        if (reaped_ ||
            (waitid(P_PID, static_cast<id_t>(pid_), &info, WEXITED | WNOHANG | WNOWAIT) == 0 &&
             info.si_pid == pid_)) {
            SetLastError(ERROR_ACCESS_DENIED);
            return false;
        }
        if (!terminated_) {
            terminated_ = true;
            terminateCode_ = exitCode;
            kill(pid_, SIGKILL);
        }
        return true;
    }

    DWORD id() const { return static_cast<DWORD>(pid_); }

private:
    bool reap() {
        std::lock_guard<std::mutex> guard(lock_);
        return reapLocked();
    }

    bool reapLocked() {
        if (reaped_) {
            return true;
        }
        int status = 0;
        pid_t result = waitpid(pid_, &status, WNOHANG);
        if (result == pid_) {
            reaped_ = true;
            exitCode_ = exitCodeFromStatus(status, terminated_, terminateCode_);
        } else if (result < 0 && errno == ECHILD) {
            reaped_ = true; // reaped elsewhere; its code is lost
            exitCode_ = 0;
        }
        return reaped_;
    }

    const pid_t pid_;
    const int pidfd_;
    std::mutex lock_;
    bool reaped_ = false;
    DWORD exitCode_ = STILL_ACTIVE;
    bool terminated_ = false;
    DWORD terminateCode_ = 0;
};

// The child's main thread: it ends with the process.
class ChildThreadObject : public ThreadHandleObject {
public:
    explicit ChildThreadObject(std::shared_ptr<ProcessObject> process)
        : process_(std::move(process)) {}
    DWORD wait(DWORD milliseconds) override { return process_->wait(milliseconds); }
    DWORD exitCode() override { return process_->exitCode(); }

private:
    std::shared_ptr<ProcessObject> process_;
};

// Splits a command line as the C runtime does: the program name ends at the
// first blank outside quotes and keeps its backslashes; in the arguments,
// 2n backslashes before a quote give n and the quote groups, 2n+1 give n and
// a literal quote, other backslashes are literal, and "" inside quotes is a
// literal quote.
std::vector<std::string> splitCommandLine(const char* line) {
    std::vector<std::string> words;
    const char* p = line;
    std::string word;
    bool quoted = false;
    for (; *p != '\0'; ++p) {
        if (*p == '"') {
            quoted = !quoted;
        } else if (!quoted && (*p == ' ' || *p == '\t')) {
            break;
        } else {
            word += *p;
        }
    }
    words.push_back(word);
    for (;;) {
        while (*p == ' ' || *p == '\t') {
            ++p;
        }
        if (*p == '\0') {
            break;
        }
        word.clear();
        quoted = false;
        for (; *p != '\0'; ++p) {
            if (*p == '\\') {
                size_t count = 0;
                while (*p == '\\') {
                    ++count;
                    ++p;
                }
                if (*p == '"') {
                    word.append(count / 2, '\\');
                    if (count % 2 == 1) {
                        word += '"';
                        continue;
                    }
                } else {
                    word.append(count, '\\');
                }
                --p;
                continue;
            }
            if (*p == '"') {
                if (quoted && p[1] == '"') {
                    word += '"';
                    ++p;
                } else {
                    quoted = !quoted;
                }
            } else if (!quoted && (*p == ' ' || *p == '\t')) {
                break;
            } else {
                word += *p;
            }
        }
        words.push_back(word);
    }
    return words;
}

DWORD spawnError(int error) {
    switch (error) {
    case ENOEXEC:
        return ERROR_BAD_EXE_FORMAT;
    case EAGAIN:
        return ERROR_NOT_ENOUGH_MEMORY;
    default:
        return win32ErrorFromErrno(error);
    }
}

} // namespace

} // namespace platform

using platform::ChildThreadObject;
using platform::ProcessObject;

BOOL CreateProcessA(LPCSTR applicationName, LPSTR commandLine, LPSECURITY_ATTRIBUTES,
                    LPSECURITY_ATTRIBUTES, BOOL, DWORD, LPVOID environment, LPCSTR currentDirectory,
                    LPSTARTUPINFOA, LPPROCESS_INFORMATION processInformation) {
    if ((applicationName == nullptr && (commandLine == nullptr || *commandLine == '\0')) ||
        processInformation == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    std::vector<std::string> words;
    if (commandLine != nullptr && *commandLine != '\0') {
        words = platform::splitCommandLine(commandLine);
    } else {
        words.push_back(applicationName);
    }
    const std::string program = applicationName != nullptr ? applicationName : words[0];
    if (program.empty()) {
        SetLastError(ERROR_FILE_NOT_FOUND);
        return FALSE;
    }
    // A bare name is looked up along PATH, a name with a directory (Windows
    // or Unix form) is mapped to its host file.
    const bool bare = program.find_first_of("/\\:") == std::string::npos;
    std::string path = program;
    if (!bare) {
        DWORD error = platform::toUnixPath(program.c_str(), path);
        if (error != ERROR_SUCCESS) {
            SetLastError(error);
            return FALSE;
        }
    }
    if (applicationName == nullptr) {
        words[0] = path;
    }

    std::vector<char*> argv;
    for (std::string& word : words) {
        argv.push_back(&word[0]);
    }
    argv.push_back(nullptr);

    // An environment block is "NAME=value\0...\0\0".
    std::vector<char*> envp;
    if (environment != nullptr) {
        for (char* entry = static_cast<char*>(environment); *entry != '\0';
             entry += std::char_traits<char>::length(entry) + 1) {
            envp.push_back(entry);
        }
        envp.push_back(nullptr);
    }

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    std::string directory;
    if (currentDirectory != nullptr) {
        DWORD error = platform::toUnixPath(currentDirectory, directory);
        if (error != ERROR_SUCCESS) {
            posix_spawn_file_actions_destroy(&actions);
            SetLastError(error);
            return FALSE;
        }
        posix_spawn_file_actions_addchdir_np(&actions, directory.c_str());
    }
    pid_t pid = 0;
    char** childEnvironment = environment != nullptr ? envp.data() : environ;
    int result =
        bare ? posix_spawnp(&pid, path.c_str(), &actions, nullptr, argv.data(), childEnvironment)
             : posix_spawn(&pid, path.c_str(), &actions, nullptr, argv.data(), childEnvironment);
    posix_spawn_file_actions_destroy(&actions);
    if (result != 0) {
        SetLastError(platform::spawnError(result));
        return FALSE;
    }
    auto process = std::make_shared<ProcessObject>(pid);
    processInformation->hProcess = platform::addHandle(process);
    processInformation->hThread = platform::addHandle(std::make_shared<ChildThreadObject>(process));
    processInformation->dwProcessId = process->id();
    processInformation->dwThreadId = process->id(); // the main thread's id is the process id
    return TRUE;
}

BOOL GetExitCodeProcess(HANDLE process, LPDWORD exitCode) {
    auto object = platform::findHandleAs<ProcessObject>(process);
    if (!object) {
        return FALSE;
    }
    if (exitCode == nullptr) {
        SetLastError(ERROR_NOACCESS);
        return FALSE;
    }
    *exitCode = object->exitCode();
    return TRUE;
}

BOOL TerminateProcess(HANDLE process, UINT exitCode) {
    auto object = platform::findHandleAs<ProcessObject>(process);
    if (!object) {
        return FALSE;
    }
    return object->terminate(exitCode) ? TRUE : FALSE;
}
