// Ordinary files over file descriptors, and CreateFileA's routing of device
// names to the registered openers.
#include "platform/linux/files.h"
#include "platform/AccessRights.h"
#include "platform/linux/host_paths.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <mutex>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>
#include <vector>

namespace platform {

BOOL FileObject::read(LPVOID, DWORD, LPDWORD done, LPOVERLAPPED) {
    if (done != nullptr) {
        *done = 0;
    }
    SetLastError(ERROR_INVALID_FUNCTION);
    return FALSE;
}

BOOL FileObject::write(LPCVOID, DWORD, LPDWORD done, LPOVERLAPPED) {
    if (done != nullptr) {
        *done = 0;
    }
    SetLastError(ERROR_INVALID_FUNCTION);
    return FALSE;
}

DWORD FileObject::getSize(LPDWORD) {
    SetLastError(ERROR_INVALID_FUNCTION);
    return INVALID_FILE_SIZE;
}

DWORD FileObject::setPointer(LONG, PLONG, DWORD) {
    SetLastError(ERROR_INVALID_FUNCTION);
    return INVALID_SET_FILE_POINTER;
}

DWORD FileObject::fileType() {
    return FILE_TYPE_CHAR;
}

DWORD FileObject::wait(DWORD) {
    return WAIT_OBJECT_0;
}

namespace {

// An ordinary file. The descriptor's offset is the handle's file pointer.
class DiskFile : public FileObject {
public:
    DiskFile(int fd, DWORD access) : fd_(fd), access_(access) {}
    ~DiskFile() override { close(fd_); }

    DWORD fileType() override { return FILE_TYPE_DISK; }

    BOOL read(LPVOID buffer, DWORD size, LPDWORD done, LPOVERLAPPED overlapped) override {
        if (done != nullptr) {
            *done = 0;
        }
        if (!platform::grantsRead(access_)) {
            SetLastError(ERROR_ACCESS_DENIED);
            return FALSE;
        }
        if (buffer == nullptr && size != 0) {
            SetLastError(ERROR_NOACCESS);
            return FALSE;
        }
        off_t offset = overlapped != nullptr ? overlappedOffset(overlapped) : -1;
        size_t total = 0;
        while (total < size) {
            char* at = static_cast<char*>(buffer) + total;
            ssize_t n = offset >= 0 ? pread(fd_, at, size - total, offset + off_t(total))
                                    : ::read(fd_, at, size - total);
            if (n < 0 && errno == EINTR) {
                continue;
            }
            if (n < 0) {
                return fail(errno, done, total, overlapped);
            }
            if (n == 0) {
                break; // end of file: success with what was read
            }
            total += size_t(n);
        }
        return finish(done, total, offset, overlapped);
    }

    BOOL write(LPCVOID buffer, DWORD size, LPDWORD done, LPOVERLAPPED overlapped) override {
        if (done != nullptr) {
            *done = 0;
        }
        if (!platform::grantsWrite(access_)) {
            SetLastError(ERROR_ACCESS_DENIED);
            return FALSE;
        }
        if (buffer == nullptr && size != 0) {
            SetLastError(ERROR_NOACCESS);
            return FALSE;
        }
        off_t offset = overlapped != nullptr ? overlappedOffset(overlapped) : -1;
        size_t total = 0;
        while (total < size) {
            const char* at = static_cast<const char*>(buffer) + total;
            ssize_t n = offset >= 0 ? pwrite(fd_, at, size - total, offset + off_t(total))
                                    : ::write(fd_, at, size - total);
            if (n < 0 && errno == EINTR) {
                continue;
            }
            if (n <= 0) {
                return fail(n < 0 ? errno : ENOSPC, done, total, overlapped);
            }
            total += size_t(n);
        }
        return finish(done, total, offset, overlapped);
    }

    DWORD getSize(LPDWORD sizeHigh) override {
        struct stat info;
        if (fstat(fd_, &info) != 0) {
            SetLastError(win32ErrorFromErrno(errno));
            return INVALID_FILE_SIZE;
        }
        uint64_t size = uint64_t(info.st_size);
        if (sizeHigh != nullptr) {
            *sizeHigh = DWORD(size >> 32);
        }
        // A size whose low part looks like the failure value is told apart
        // by a last error of 0.
        if (DWORD(size) == INVALID_FILE_SIZE) {
            SetLastError(NO_ERROR);
        }
        return DWORD(size);
    }

    DWORD setPointer(LONG distance, PLONG distanceHigh, DWORD moveMethod) override {
        int64_t move = distanceHigh != nullptr
                           ? int64_t((uint64_t(uint32_t(*distanceHigh)) << 32) | uint32_t(distance))
                           : int64_t(distance);
        int64_t base = 0;
        switch (moveMethod) {
        case FILE_BEGIN:
            break;
        case FILE_CURRENT:
            base = lseek(fd_, 0, SEEK_CUR);
            break;
        case FILE_END: {
            struct stat info;
            base = fstat(fd_, &info) == 0 ? int64_t(info.st_size) : -1;
            break;
        }
        default:
            SetLastError(ERROR_INVALID_PARAMETER);
            return INVALID_SET_FILE_POINTER;
        }
        if (base < 0) {
            SetLastError(win32ErrorFromErrno(errno));
            return INVALID_SET_FILE_POINTER;
        }
        int64_t target = base + move;
        if (target < 0) {
            SetLastError(ERROR_NEGATIVE_SEEK);
            return INVALID_SET_FILE_POINTER;
        }
        if (distanceHigh == nullptr && target > int64_t(0xFFFFFFFEu)) {
            // Without a high part the position must fit the answer.
            SetLastError(ERROR_INVALID_PARAMETER);
            return INVALID_SET_FILE_POINTER;
        }
        if (lseek(fd_, off_t(target), SEEK_SET) < 0) {
            SetLastError(win32ErrorFromErrno(errno));
            return INVALID_SET_FILE_POINTER;
        }
        if (distanceHigh != nullptr) {
            *distanceHigh = LONG(uint64_t(target) >> 32);
        }
        if (DWORD(target) == INVALID_SET_FILE_POINTER) {
            SetLastError(NO_ERROR);
        }
        return DWORD(target);
    }

    BOOL setEnd() {
        if (!platform::grantsWrite(access_)) {
            SetLastError(ERROR_ACCESS_DENIED);
            return FALSE;
        }
        off_t position = lseek(fd_, 0, SEEK_CUR);
        if (position < 0 || ftruncate(fd_, position) != 0) {
            SetLastError(win32ErrorFromErrno(errno));
            return FALSE;
        }
        return TRUE;
    }

private:
    static off_t overlappedOffset(LPOVERLAPPED overlapped) {
        return off_t((uint64_t(overlapped->OffsetHigh) << 32) | overlapped->Offset);
    }

    // With an OVERLAPPED the transfer is at its offset, and afterwards the
    // file pointer follows it, as Windows does for a synchronous handle.
    BOOL finish(LPDWORD done, size_t total, off_t offset, LPOVERLAPPED overlapped) {
        if (overlapped != nullptr) {
            lseek(fd_, offset + off_t(total), SEEK_SET);
            overlapped->Internal = 0;
            overlapped->InternalHigh = total;
        }
        if (done != nullptr) {
            *done = DWORD(total);
        }
        return TRUE;
    }

    BOOL fail(int error, LPDWORD done, size_t total, LPOVERLAPPED overlapped) {
        if (done != nullptr) {
            *done = DWORD(total);
        }
        if (overlapped != nullptr) {
            overlapped->InternalHigh = total;
        }
        SetLastError(win32ErrorFromErrno(error));
        return FALSE;
    }

    int fd_;
    DWORD access_;
};

struct DeviceOpeners {
    std::mutex lock;
    int nextId = 0;
    std::vector<std::pair<int, DeviceOpener>> openers; // oldest first
};

DeviceOpeners& deviceOpeners() {
    // Never destroyed: openers may be registered and removed by static
    // objects of other units in any order.
    static DeviceOpeners* instance = new DeviceOpeners;
    return *instance;
}

HANDLE openDevice(const DeviceRequest& request) {
    std::vector<std::pair<int, DeviceOpener>> openers;
    {
        DeviceOpeners& all = deviceOpeners();
        std::lock_guard<std::mutex> guard(all.lock);
        openers = all.openers;
    }
    for (auto it = openers.rbegin(); it != openers.rend(); ++it) {
        std::shared_ptr<FileObject> object;
        DWORD error = ERROR_GEN_FAILURE;
        if (!it->second(request, object, error)) {
            continue;
        }
        if (object == nullptr) {
            SetLastError(error == 0 ? ERROR_GEN_FAILURE : error);
            return INVALID_HANDLE_VALUE;
        }
        SetLastError(NO_ERROR);
        return addHandle(std::move(object));
    }
    SetLastError(ERROR_FILE_NOT_FOUND);
    return INVALID_HANDLE_VALUE;
}

// A missing file is ERROR_FILE_NOT_FOUND, a missing directory on the way to
// it ERROR_PATH_NOT_FOUND.
DWORD missingError(const std::string& path) {
    size_t slash = path.rfind('/');
    if (slash == std::string::npos || slash == 0) {
        return ERROR_FILE_NOT_FOUND;
    }
    struct stat info;
    std::string parent = path.substr(0, slash);
    if (stat(parent.c_str(), &info) != 0 || !S_ISDIR(info.st_mode)) {
        return ERROR_PATH_NOT_FOUND;
    }
    return ERROR_FILE_NOT_FOUND;
}

DWORD openError(int error, const std::string& path) {
    if (error == ENOENT || error == ENOTDIR) {
        return missingError(path);
    }
    return win32ErrorFromErrno(error);
}

bool isDirectory(const std::string& path) {
    struct stat info;
    return stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

} // namespace

int addDeviceOpener(DeviceOpener opener) {
    DeviceOpeners& all = deviceOpeners();
    std::lock_guard<std::mutex> guard(all.lock);
    int id = ++all.nextId;
    all.openers.emplace_back(id, std::move(opener));
    return id;
}

void removeDeviceOpener(int id) {
    DeviceOpeners& all = deviceOpeners();
    std::lock_guard<std::mutex> guard(all.lock);
    for (auto it = all.openers.begin(); it != all.openers.end(); ++it) {
        if (it->first == id) {
            all.openers.erase(it);
            return;
        }
    }
}

} // namespace platform

using platform::FileObject;

HANDLE CreateFileA(LPCSTR fileName, DWORD desiredAccess, DWORD shareMode,
                   LPSECURITY_ATTRIBUTES attributes, DWORD creationDisposition,
                   DWORD flagsAndAttributes, HANDLE) {
    if (creationDisposition < CREATE_NEW || creationDisposition > TRUNCATE_EXISTING) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return INVALID_HANDLE_VALUE;
    }
    if (fileName != nullptr && std::strncmp(fileName, "\\\\.\\", 4) == 0) {
        return platform::openDevice(platform::DeviceRequest{fileName + 4, desiredAccess, shareMode,
                                                            attributes, creationDisposition,
                                                            flagsAndAttributes});
    }
    std::string path;
    if (DWORD error = platform::toUnixPath(fileName, path)) {
        SetLastError(error);
        return INVALID_HANDLE_VALUE;
    }
    const bool read = platform::grantsRead(desiredAccess);
    const bool write = platform::grantsWrite(desiredAccess);
    if (creationDisposition == TRUNCATE_EXISTING && !write) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return INVALID_HANDLE_VALUE;
    }
    int flags = O_CLOEXEC | (read && write ? O_RDWR : write ? O_WRONLY : O_RDONLY);
    if (write && !(desiredAccess & (GENERIC_WRITE | GENERIC_ALL | FILE_WRITE_DATA))) {
        flags |= O_APPEND; // append rights alone
    }
    // Windows opens a directory only with backup semantics; a plain open of
    // one is refused.
    if (platform::isDirectory(path)) {
        SetLastError(ERROR_ACCESS_DENIED);
        return INVALID_HANDLE_VALUE;
    }
    // Files on drive C: are shared state (the log): opened below the checked
    // store directory, never through a symbolic link, and created with the
    // store's mode.
    const std::string root = platform::driveCRoot() + "/";
    const bool shared = path.compare(0, root.size(), root) == 0;
    platform::StateDirectory store;
    if (shared) {
        if (int error = platform::openStateDirectory(root, store)) {
            SetLastError(error == ENOENT || error == ENOTDIR
                             ? ERROR_PATH_NOT_FOUND
                             : platform::win32ErrorFromErrno(error));
            return INVALID_HANDLE_VALUE;
        }
    }
    auto openFile = [&](int openFlags) {
        if (!shared) {
            return open(path.c_str(), openFlags, 0666);
        }
        int fd = platform::openStateFile(store, path.substr(root.size()), openFlags);
        if (fd < 0) {
            errno = -fd;
        }
        return fd;
    };
    const bool everyone = platform::grantsEveryone(attributes);
    // Open the existing file, or create a new one exclusively, until one of
    // the two holds: that tells whether the file existed, which the last
    // error reports for OPEN_ALWAYS and CREATE_ALWAYS.
    int fd = -1;
    bool existed = false;
    for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
        if (creationDisposition != CREATE_NEW) {
            int openFlags = flags;
            if (creationDisposition == CREATE_ALWAYS || creationDisposition == TRUNCATE_EXISTING) {
                openFlags |= O_TRUNC;
            }
            fd = openFile(openFlags);
            if (fd >= 0) {
                existed = true;
                break;
            }
            if (errno != ENOENT || creationDisposition == OPEN_EXISTING ||
                creationDisposition == TRUNCATE_EXISTING) {
                SetLastError(platform::openError(errno, path));
                return INVALID_HANDLE_VALUE;
            }
        }
        fd = openFile(flags | O_CREAT | O_EXCL);
        if (fd >= 0) {
            if (everyone && shared) {
                // Everyone who shares the store, whatever the umask.
                fchmod(fd, store.fileMode);
            }
            break;
        }
        if (errno != EEXIST) {
            SetLastError(platform::openError(errno, path));
            return INVALID_HANDLE_VALUE;
        }
        if (creationDisposition == CREATE_NEW) {
            SetLastError(ERROR_FILE_EXISTS);
            return INVALID_HANDLE_VALUE;
        }
    }
    if (fd < 0) {
        SetLastError(ERROR_SHARING_VIOLATION); // created and removed under our feet throughout
        return INVALID_HANDLE_VALUE;
    }
    HANDLE handle = platform::addHandle(std::make_shared<platform::DiskFile>(fd, desiredAccess));
    const bool reportsExisting =
        existed && (creationDisposition == OPEN_ALWAYS || creationDisposition == CREATE_ALWAYS);
    SetLastError(reportsExisting ? ERROR_ALREADY_EXISTS : NO_ERROR);
    return handle;
}

DWORD GetFileSize(HANDLE file, LPDWORD fileSizeHigh) {
    auto object = platform::findHandleAs<FileObject>(file);
    if (!object) {
        return INVALID_FILE_SIZE;
    }
    return object->getSize(fileSizeHigh);
}

DWORD SetFilePointer(HANDLE file, LONG distance, PLONG distanceHigh, DWORD moveMethod) {
    auto object = platform::findHandleAs<FileObject>(file);
    if (!object) {
        return INVALID_SET_FILE_POINTER;
    }
    return object->setPointer(distance, distanceHigh, moveMethod);
}

BOOL SetEndOfFile(HANDLE file) {
    auto object = platform::findHandleAs<FileObject>(file);
    if (!object) {
        return FALSE;
    }
    auto disk = std::dynamic_pointer_cast<platform::DiskFile>(object);
    if (!disk) {
        SetLastError(ERROR_INVALID_FUNCTION);
        return FALSE;
    }
    return disk->setEnd();
}

BOOL WriteFile(HANDLE file, LPCVOID buffer, DWORD bytesToWrite, LPDWORD bytesWritten,
               LPOVERLAPPED overlapped) {
    auto object = platform::findHandleAs<FileObject>(file);
    if (!object) {
        if (bytesWritten != nullptr) {
            *bytesWritten = 0;
        }
        return FALSE;
    }
    return object->write(buffer, bytesToWrite, bytesWritten, overlapped);
}

BOOL ReadFile(HANDLE file, LPVOID buffer, DWORD bytesToRead, LPDWORD bytesRead,
              LPOVERLAPPED overlapped) {
    auto object = platform::findHandleAs<FileObject>(file);
    if (!object) {
        if (bytesRead != nullptr) {
            *bytesRead = 0;
        }
        return FALSE;
    }
    return object->read(buffer, bytesToRead, bytesRead, overlapped);
}

BOOL DeleteFileA(LPCSTR fileName) {
    std::string path;
    if (DWORD error = platform::toUnixPath(fileName, path)) {
        SetLastError(error);
        return FALSE;
    }
    if (platform::isDirectory(path)) {
        SetLastError(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    // Open handles keep the file's data, as FILE_SHARE_DELETE would on
    // Windows; the name goes at once.
    if (unlink(path.c_str()) != 0) {
        SetLastError(platform::openError(errno, path));
        return FALSE;
    }
    return TRUE;
}

BOOL RemoveDirectoryA(LPCSTR pathName) {
    std::string path;
    if (DWORD error = platform::toUnixPath(pathName, path)) {
        SetLastError(error);
        return FALSE;
    }
    if (rmdir(path.c_str()) != 0) {
        DWORD error = errno == ENOTEMPTY || errno == EEXIST ? ERROR_DIR_NOT_EMPTY
                      : errno == ENOTDIR                    ? ERROR_DIRECTORY
                                                            : platform::openError(errno, path);
        SetLastError(error);
        return FALSE;
    }
    return TRUE;
}

UINT GetWindowsDirectoryA(LPSTR buffer, UINT size) {
    static const char windows[] = "C:\\windows";
    const UINT length = sizeof windows - 1;
    if (buffer == nullptr || size <= length) {
        return length + 1; // the size needed, with the terminating zero
    }
    std::memcpy(buffer, windows, sizeof windows);
    return length;
}
