// The standard handles: file objects over descriptors 0, 1 and 2, made on
// first use. Closing one drops the handle but leaves the descriptor open for
// the C library's streams, which share it.
#include "platform/linux/files.h"

#include <cerrno>
#include <mutex>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {
namespace {

class StandardStream : public FileObject {
public:
    explicit StandardStream(int fd) : fd_(fd) {}

    BOOL read(LPVOID buffer, DWORD size, LPDWORD done, LPOVERLAPPED) override {
        return transfer(done, [&] { return ::read(fd_, buffer, size); });
    }
    BOOL write(LPCVOID buffer, DWORD size, LPDWORD done, LPOVERLAPPED) override {
        return transfer(done, [&] { return ::write(fd_, buffer, size); });
    }
    DWORD fileType() override {
        struct stat status {};
        if (fstat(fd_, &status) != 0) {
            SetLastError(ERROR_INVALID_HANDLE);
            return FILE_TYPE_UNKNOWN;
        }
        if (S_ISCHR(status.st_mode)) {
            return FILE_TYPE_CHAR; // a terminal, or a device such as /dev/null
        }
        if (S_ISFIFO(status.st_mode) || S_ISSOCK(status.st_mode)) {
            return FILE_TYPE_PIPE;
        }
        if (S_ISREG(status.st_mode) || S_ISBLK(status.st_mode)) {
            return FILE_TYPE_DISK;
        }
        SetLastError(NO_ERROR); // known to be a file, of no kind Windows names
        return FILE_TYPE_UNKNOWN;
    }

private:
    template <class Call> BOOL transfer(LPDWORD done, Call call) {
        if (done != nullptr) {
            *done = 0;
        }
        ssize_t n;
        do {
            n = call();
        } while (n < 0 && errno == EINTR);
        if (n < 0) {
            SetLastError(errno == EBADF ? ERROR_INVALID_HANDLE : ERROR_WRITE_FAULT);
            return FALSE;
        }
        if (done != nullptr) {
            *done = static_cast<DWORD>(n);
        }
        return TRUE;
    }

    int fd_;
};

std::mutex standardLock;
HANDLE standardHandles[3] = {nullptr, nullptr, nullptr};

} // namespace
} // namespace platform

HANDLE GetStdHandle(DWORD stdHandle) {
    int fd;
    switch (stdHandle) {
    case STD_INPUT_HANDLE:
        fd = 0;
        break;
    case STD_OUTPUT_HANDLE:
        fd = 1;
        break;
    case STD_ERROR_HANDLE:
        fd = 2;
        break;
    default:
        SetLastError(ERROR_INVALID_HANDLE);
        return INVALID_HANDLE_VALUE;
    }
    std::lock_guard<std::mutex> hold(platform::standardLock);
    HANDLE& handle = platform::standardHandles[fd];
    // Made again when the last one was closed.
    if (handle == nullptr || !platform::findHandleAs<platform::StandardStream>(handle)) {
        handle = platform::addHandle(std::make_shared<platform::StandardStream>(fd));
    }
    return handle;
}

DWORD GetFileType(HANDLE file) {
    auto object = platform::findHandleAs<platform::FileObject>(file);
    if (!object) {
        return FILE_TYPE_UNKNOWN;
    }
    // As on Windows, the last error means something only for
    // FILE_TYPE_UNKNOWN: a known kind leaves it as it was.
    return object->fileType();
}
