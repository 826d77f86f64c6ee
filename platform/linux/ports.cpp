// Parallel port handles over the Linux printer devices (lp, usblp).
//
// Reads and writes follow the handle's COMMTIMEOUTS as the Windows port driver
// does; the descriptor is non-blocking and waits poll it. A write that cannot
// finish in its total time-out fails with ERROR_SEM_TIMEOUT and raises
// CE_PTO; the driver's "out of paper" (ENOSPC) raises CE_OOP, an I/O error
// (EIO) CE_IOE, a vanished device CE_DNS. ClearCommError reports those flags
// and the printer's status lines.
#include "platform/linux/ports.h"
#include "platform/linux/files.h"
#include "platform/linux/host_paths.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <linux/lp.h>
#include <map>
#include <mutex>
#include <poll.h>
#include <sys/ioctl.h>
#include <time.h>
#include <unistd.h>
#include <vector>

// The printer class driver's identification query (usblp): the IEEE 1284 ID
// with its two-byte big-endian length in front.
#ifndef LPIOC_GET_DEVICE_ID
#define LPIOC_GET_DEVICE_ID(len) _IOC(_IOC_READ, 'P', 1, len)
#endif

namespace {

// Longest single wait before the descriptor is looked at again: the lp driver
// cannot be polled for data, so waiting for it means trying again.
constexpr int pollSliceMs = 5;
constexpr unsigned long long longestWaitMs = 1000000000ull;
constexpr size_t deviceIdBufferSize = 4096;

bool wantsRead(DWORD access) {
    return (access & (GENERIC_READ | GENERIC_ALL | FILE_READ_DATA)) != 0;
}

bool wantsWrite(DWORD access) {
    return (access & (GENERIC_WRITE | GENERIC_ALL | FILE_WRITE_DATA | FILE_APPEND_DATA)) != 0;
}

long long nowMs() {
    timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<long long>(now.tv_sec) * 1000 + now.tv_nsec / 1000000;
}

long long after(long long start, unsigned long long milliseconds) {
    return start + static_cast<long long>(std::min(milliseconds, longestWaitMs));
}

// One open device file, shared by every handle of it in the process.
class Device {
public:
    Device(int fd, std::string path) : fd_(fd), path_(std::move(path)) {}
    ~Device() { close(fd_); }
    Device(const Device&) = delete;
    Device& operator=(const Device&) = delete;

    int fd() const { return fd_; }
    const std::string& path() const { return path_; }

    void raise(DWORD errors) {
        std::lock_guard<std::mutex> guard(lock_);
        errors_ |= errors;
    }
    DWORD takeErrors() {
        std::lock_guard<std::mutex> guard(lock_);
        DWORD errors = errors_;
        errors_ = 0;
        return errors;
    }
    // One transfer at a time.
    std::mutex& writing() { return writing_; }

private:
    const int fd_;
    const std::string path_;
    std::mutex lock_;
    std::mutex writing_;
    DWORD errors_ = 0;
};

struct Devices {
    std::mutex lock;
    std::map<std::string, std::weak_ptr<Device>> open;
};

Devices& devices() {
    static Devices* instance = new Devices;
    return *instance;
}

// Opens a device file, or shares the descriptor already open for it. The
// descriptor reads and writes; what a handle may do is checked per handle.
std::shared_ptr<Device> openDevice(const std::string& path, DWORD& error) {
    Devices& all = devices();
    std::lock_guard<std::mutex> guard(all.lock);
    auto known = all.open.find(path);
    if (known != all.open.end()) {
        if (std::shared_ptr<Device> device = known->second.lock()) {
            return device;
        }
    }
    int fd = ::open(path.c_str(), O_RDWR | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) {
        switch (errno) {
        case ENOENT:
        case ENOTDIR:
        case ENXIO:
        case ENODEV:
            // No such port: what Windows answers for a kernel device that
            // does not exist.
            error = ERROR_FILE_NOT_FOUND;
            break;
        case EBUSY:
            error = ERROR_ACCESS_DENIED; // held by another process
            break;
        default:
            error = platform::win32ErrorFromErrno(errno);
            break;
        }
        return nullptr;
    }
    auto device = std::make_shared<Device>(fd, path);
    all.open[path] = device;
    return device;
}

// The Win32 error and the port error flags of a failed transfer.
DWORD transferError(int error, DWORD& flags) {
    switch (error) {
    case ENOSPC:
        flags = CE_OOP;
        return ERROR_OUT_OF_PAPER;
    case EIO:
        flags = CE_IOE;
        return ERROR_IO_DEVICE;
    case ENODEV:
    case ENXIO:
        flags = CE_DNS;
        return ERROR_DEVICE_NOT_CONNECTED;
    default:
        flags = 0;
        return platform::win32ErrorFromErrno(error);
    }
}

// Waits up to milliseconds for the descriptor to become ready for events.
// Drivers that cannot be polled report ready at once; after such an answer
// (useless) the wait is a plain pause.
void waitReady(int fd, short events, int milliseconds, bool& useless) {
    if (milliseconds <= 0) {
        return;
    }
    if (useless) {
        poll(nullptr, 0, milliseconds);
        return;
    }
    pollfd entry{fd, events, 0};
    const long long start = nowMs();
    int ready = poll(&entry, 1, milliseconds);
    if (ready > 0 && nowMs() - start < 1) {
        useless = true; // checked by the caller's next attempt
    }
}

class ParallelPort : public platform::FileObject {
public:
    ParallelPort(std::shared_ptr<Device> device, DWORD access, unsigned index)
        : device_(std::move(device)), access_(access), index_(index) {}

    BOOL read(LPVOID buffer, DWORD size, LPDWORD done, LPOVERLAPPED) override {
        if (done != nullptr) {
            *done = 0;
        }
        if (!wantsRead(access_)) {
            SetLastError(ERROR_ACCESS_DENIED);
            return FALSE;
        }
        if (size == 0) {
            return TRUE;
        }
        if (buffer == nullptr) {
            SetLastError(ERROR_NOACCESS);
            return FALSE;
        }
        const COMMTIMEOUTS t = timeouts();
        const bool atOnce = t.ReadIntervalTimeout == MAXDWORD &&
                            t.ReadTotalTimeoutMultiplier == 0 && t.ReadTotalTimeoutConstant == 0;
        const bool firstByte =
            t.ReadIntervalTimeout == MAXDWORD && t.ReadTotalTimeoutMultiplier == MAXDWORD &&
            t.ReadTotalTimeoutConstant != 0 && t.ReadTotalTimeoutConstant != MAXDWORD;
        const long long start = nowMs();
        bool total = false;
        long long totalEnd = 0;
        if (firstByte) {
            total = true;
            totalEnd = after(start, t.ReadTotalTimeoutConstant);
        } else if (t.ReadTotalTimeoutMultiplier != 0 || t.ReadTotalTimeoutConstant != 0) {
            total = true;
            totalEnd =
                after(start, static_cast<unsigned long long>(t.ReadTotalTimeoutMultiplier) * size +
                                 t.ReadTotalTimeoutConstant);
        }
        const bool interval = !atOnce && !firstByte && t.ReadIntervalTimeout != 0;

        char* out = static_cast<char*>(buffer);
        size_t got = 0;
        long long lastByte = start;
        bool useless = false;
        for (;;) {
            ssize_t n = ::read(device_->fd(), out + got, size - got);
            if (n < 0 && errno == EINTR) {
                continue;
            }
            if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK) {
                if (got > 0) {
                    break; // what arrived is handed out; the next read fails
                }
                DWORD flags = 0;
                DWORD error = transferError(errno, flags);
                device_->raise(flags);
                SetLastError(error);
                return FALSE;
            }
            const long long now = nowMs();
            if (n > 0) {
                got += size_t(n);
                lastByte = now;
                useless = false;
                if (got == size || firstByte) {
                    break;
                }
                continue;
            }
            if (atOnce) {
                break;
            }
            bool timed = total;
            long long wake = totalEnd;
            if (interval && got > 0) {
                const long long intervalEnd = after(lastByte, t.ReadIntervalTimeout);
                wake = timed ? std::min(wake, intervalEnd) : intervalEnd;
                timed = true;
            }
            if (timed && now >= wake) {
                break;
            }
            const long long slice = timed ? std::min<long long>(wake - now, 1000) : 1000;
            waitReady(device_->fd(), POLLIN,
                      static_cast<int>(useless ? std::min<long long>(slice, pollSliceMs) : slice),
                      useless);
        }
        if (done != nullptr) {
            *done = DWORD(got);
        }
        return TRUE;
    }

    BOOL write(LPCVOID buffer, DWORD size, LPDWORD done, LPOVERLAPPED) override {
        if (done != nullptr) {
            *done = 0;
        }
        if (!wantsWrite(access_)) {
            SetLastError(ERROR_ACCESS_DENIED);
            return FALSE;
        }
        if (buffer == nullptr && size != 0) {
            SetLastError(ERROR_NOACCESS);
            return FALSE;
        }
        const COMMTIMEOUTS t = timeouts();
        const bool total = t.WriteTotalTimeoutMultiplier != 0 || t.WriteTotalTimeoutConstant != 0;
        std::lock_guard<std::mutex> transfer(device_->writing());
        const long long end =
            after(nowMs(), static_cast<unsigned long long>(t.WriteTotalTimeoutMultiplier) * size +
                               t.WriteTotalTimeoutConstant);
        const char* data = static_cast<const char*>(buffer);
        size_t sent = 0;
        bool useless = false;
        while (sent < size) {
            ssize_t n = ::write(device_->fd(), data + sent, size - sent);
            if (n > 0) {
                sent += size_t(n);
                useless = false;
                continue;
            }
            if (n < 0 && errno == EINTR) {
                continue;
            }
            if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK) {
                DWORD flags = 0;
                DWORD error = transferError(errno, flags);
                device_->raise(flags);
                if (done != nullptr) {
                    *done = DWORD(sent);
                }
                SetLastError(error);
                return FALSE;
            }
            const long long now = nowMs();
            if (total && now >= end) {
                device_->raise(CE_PTO);
                if (done != nullptr) {
                    *done = DWORD(sent);
                }
                SetLastError(ERROR_SEM_TIMEOUT);
                return FALSE;
            }
            const long long slice = total ? std::min<long long>(end - now, 1000) : 1000;
            waitReady(device_->fd(), POLLOUT,
                      static_cast<int>(useless ? std::min<long long>(slice, pollSliceMs) : slice),
                      useless);
        }
        if (done != nullptr) {
            *done = DWORD(sent);
        }
        return TRUE;
    }

    COMMTIMEOUTS timeouts() {
        std::lock_guard<std::mutex> guard(lock_);
        return timeouts_;
    }

    BOOL setTimeouts(const COMMTIMEOUTS& timeouts) {
        if (timeouts.ReadIntervalTimeout == MAXDWORD &&
            timeouts.ReadTotalTimeoutMultiplier == MAXDWORD &&
            timeouts.ReadTotalTimeoutConstant == MAXDWORD) {
            SetLastError(ERROR_INVALID_PARAMETER);
            return FALSE;
        }
        std::lock_guard<std::mutex> guard(lock_);
        timeouts_ = timeouts;
        return TRUE;
    }

    BOOL clearError(LPDWORD errors, LPCOMSTAT status) {
        DWORD flags = device_->takeErrors();
        int lines = 0;
        if (ioctl(device_->fd(), LPGETSTATUS, &lines) == 0) {
            if ((lines & LP_PSELECD) == 0) {
                flags |= CE_DNS;
            }
            if ((lines & LP_POUTPA) != 0) {
                flags |= CE_OOP;
            }
            if ((lines & LP_PERRORP) == 0) {
                flags |= CE_IOE;
            }
        }
        if (errors != nullptr) {
            *errors = flags;
        }
        if (status != nullptr) {
            *status = COMSTAT{};
        }
        return TRUE;
    }

    BOOL queryDeviceId(LPVOID out, DWORD outSize, LPDWORD returned) {
        if (returned != nullptr) {
            *returned = 0;
        }
        std::string id;
        DWORD error = deviceId(id);
        if (error != 0) {
            SetLastError(error);
            return FALSE;
        }
        if (out == nullptr || outSize < id.size()) {
            SetLastError(ERROR_INSUFFICIENT_BUFFER);
            return FALSE;
        }
        std::memcpy(out, id.data(), id.size());
        DWORD count = DWORD(id.size());
        if (outSize > id.size()) {
            static_cast<char*>(out)[id.size()] = '\0';
            ++count;
        }
        if (returned != nullptr) {
            *returned = count;
        }
        return TRUE;
    }

private:
    // The identification as the Windows driver hands it out: the text alone.
    DWORD deviceId(std::string& id) {
        std::vector<unsigned char> raw(deviceIdBufferSize);
        if (ioctl(device_->fd(), LPIOC_GET_DEVICE_ID(deviceIdBufferSize), raw.data()) >= 0) {
            size_t length = (size_t(raw[0]) << 8) | raw[1];
            length = std::min(std::max<size_t>(length, 2), raw.size());
            id.assign(raw.begin() + 2, raw.begin() + long(length));
            id.resize(std::strlen(id.c_str()));
            return 0;
        }
        const int error = errno;
        if (autoprobedId(id)) {
            return 0;
        }
        if (error == ENOTTY || error == EINVAL) {
            return ERROR_INVALID_FUNCTION; // the driver has no such query
        }
        DWORD flags = 0;
        return transferError(error, flags);
    }

    // The lp driver does not hand out the identification, but the parport
    // layer shows what it read at probe time, one field a line. Only for the
    // system's own devices.
    bool autoprobedId(std::string& id) const {
        if (std::getenv("PAR1_PARALLEL_DEVICES") != nullptr) {
            return false;
        }
        std::ifstream probe("/proc/sys/dev/parport/parport" + std::to_string(index_) +
                            "/autoprobe");
        static const std::pair<const char*, const char*> keys[] = {
            {"MANUFACTURER:", "MFG:"}, {"MODEL:", "MDL:"},       {"COMMAND SET:", "CMD:"},
            {"CLASS:", "CLS:"},        {"DESCRIPTION:", "DES:"},
        };
        std::string line;
        std::string result;
        while (std::getline(probe, line)) {
            for (const auto& key : keys) {
                const size_t n = std::strlen(key.first);
                if (line.compare(0, n, key.first) == 0) {
                    result += key.second + line.substr(n);
                }
            }
        }
        if (result.empty()) {
            return false;
        }
        id = result;
        return true;
    }

    std::shared_ptr<Device> device_;
    const DWORD access_;
    const unsigned index_;
    std::mutex lock_;
    // A new handle's reads return at once with what is there.
    COMMTIMEOUTS timeouts_{MAXDWORD, 0, 0, 0, 0};
};

// The index n of a "\Device\Parallel<n>" target.
bool parallelIndex(const std::string& target, unsigned& index) {
    static const char prefix[] = "\\device\\parallel";
    const size_t n = sizeof prefix - 1;
    if (target.size() <= n || target.size() > n + 3) {
        return false;
    }
    for (size_t i = 0; i < n; ++i) {
        char c = target[i];
        if (c >= 'A' && c <= 'Z') {
            c = char(c - 'A' + 'a');
        }
        if (c != prefix[i]) {
            return false;
        }
    }
    const std::string digits = target.substr(n);
    if (digits.find_first_not_of("0123456789") != std::string::npos) {
        return false;
    }
    index = unsigned(std::stoul(digits));
    return true;
}

std::string deviceDirectory() {
    const char* directory = std::getenv("PAR1_PARALLEL_DEVICES");
    return directory != nullptr && *directory != '\0' ? directory : "/dev";
}

} // namespace

namespace platform {

bool openParallelPort(const DeviceRequest& request, std::shared_ptr<FileObject>& object,
                      DWORD& error) {
    std::string target;
    unsigned index = 0;
    if (!dosDeviceTarget(request.name, target) || !parallelIndex(target, index)) {
        return false;
    }
    std::shared_ptr<Device> device =
        openDevice(deviceDirectory() + "/lp" + std::to_string(index), error);
    if (device) {
        object = std::make_shared<ParallelPort>(std::move(device), request.access, index);
    }
    return true;
}

} // namespace platform

namespace {

// The port object of a handle; otherwise false with the error Windows gives:
// ERROR_INVALID_FUNCTION for another kind of file, ERROR_INVALID_HANDLE else.
std::shared_ptr<ParallelPort> findPort(HANDLE handle) {
    std::shared_ptr<platform::KernelObject> object = platform::findHandle(handle);
    if (!object) {
        return nullptr;
    }
    auto port = std::dynamic_pointer_cast<ParallelPort>(object);
    if (!port) {
        SetLastError(std::dynamic_pointer_cast<platform::FileObject>(object)
                         ? ERROR_INVALID_FUNCTION
                         : ERROR_INVALID_HANDLE);
    }
    return port;
}

} // namespace

BOOL SetCommTimeouts(HANDLE file, LPCOMMTIMEOUTS timeouts) {
    auto port = findPort(file);
    if (!port) {
        return FALSE;
    }
    if (timeouts == nullptr) {
        SetLastError(ERROR_NOACCESS);
        return FALSE;
    }
    return port->setTimeouts(*timeouts);
}

BOOL GetCommTimeouts(HANDLE file, LPCOMMTIMEOUTS timeouts) {
    auto port = findPort(file);
    if (!port) {
        return FALSE;
    }
    if (timeouts == nullptr) {
        SetLastError(ERROR_NOACCESS);
        return FALSE;
    }
    *timeouts = port->timeouts();
    return TRUE;
}

BOOL ClearCommError(HANDLE file, LPDWORD errors, LPCOMSTAT status) {
    auto port = findPort(file);
    if (!port) {
        return FALSE;
    }
    return port->clearError(errors, status);
}

BOOL DeviceIoControl(HANDLE device, DWORD controlCode, LPVOID, DWORD, LPVOID outBuffer,
                     DWORD outSize, LPDWORD bytesReturned, LPOVERLAPPED) {
    auto port = findPort(device);
    if (!port) {
        return FALSE;
    }
    if (controlCode != IOCTL_PAR_QUERY_DEVICE_ID) {
        SetLastError(ERROR_INVALID_FUNCTION);
        return FALSE;
    }
    return port->queryDeviceId(outBuffer, outSize, bytesReturned);
}
