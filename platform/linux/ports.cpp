// Parallel port handles over the Linux printer devices (lp, usblp).
//
// Reads and writes follow the handle's COMMTIMEOUTS as the Windows port driver
// does; the descriptor is non-blocking and waits poll it, or on a device that
// cannot be polled (lp) sleep in slices: short ones while an answer is
// likely (just after data went either way), longer ones after that. A write
// that cannot finish in its total time-out fails with ERROR_SEM_TIMEOUT and
// raises CE_PTO; the driver's "out of paper" (ENOSPC) raises CE_OOP, an I/O
// error (EIO) CE_IOE, a vanished device CE_DNS. A read of nothing at the end
// of the line (0 bytes) is no data on lp and usblp, whose drivers answer so
// when the printer has nothing to say; on any other character device
// (a serial adapter, a pseudo-terminal) it is a hang-up: the device is gone.
// ClearCommError reports the error flags and the printer's status lines.
//
// A descriptor that reported its device gone (EIO, ENODEV, ENXIO, a hang-up)
// is never handed to a new open: the port is opened afresh, so a printer
// plugged in again is found while handles of the old one are still held.
#include "platform/linux/ports.h"
#include "platform/linux/files.h"
#include "platform/linux/host_paths.h"
#include "platform/linux/port_stand_ins.h"

#include <algorithm>
#include <atomic>
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
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <time.h>
#include <unistd.h>
#include <vector>

// The printer class driver's identification query (usblp): the IEEE 1284 ID
// with its two-byte big-endian length in front.
#ifndef LPIOC_GET_DEVICE_ID
#define LPIOC_GET_DEVICE_ID(len) _IOC(_IOC_READ, 'P', 1, len)
#endif

namespace {

using platform::standin::DeviceKind;

constexpr long long usPerMs = 1000;
constexpr unsigned long long longestWaitMs = 1000000000ull;
constexpr size_t deviceIdBufferSize = 4096;
// Waits on a device that cannot be polled: while an answer is likely (up to
// activeWindowUs after data went either way) the device is looked at every
// activeSliceUs, so a reply is seen within about that long, as a poll would
// see it; later every idleSliceUs, so a silent printer costs little.
constexpr long long activeSliceUs = 200;
// Just after data went either way (an acknowledgement follows its packet
// within this window), and for a write that the driver cannot take yet while
// the printer is taking bytes, the device is looked at sooner still.
constexpr long long hotSliceUs = 20;
constexpr long long hotWindowUs = 2 * usPerMs;
// Sleeps shorter than this are asked to end on time.
constexpr long long exactSleepUs = 100;
constexpr long long activeWindowUs = 20 * usPerMs;
constexpr long long idleSliceUs = 20 * usPerMs;
// Longest single poll before the descriptor is looked at again.
constexpr long long longestPollUs = 1000 * usPerMs;
// The character device majors of the printer drivers: lp, and usbmisc, whose
// first 16 minors are usblp's.
constexpr unsigned lpMajor = 6;
constexpr unsigned usbMiscMajor = 180;
constexpr unsigned usbLpMinors = 16;

bool wantsRead(DWORD access) {
    return (access & (GENERIC_READ | GENERIC_ALL | FILE_READ_DATA)) != 0;
}

bool wantsWrite(DWORD access) {
    return (access & (GENERIC_WRITE | GENERIC_ALL | FILE_WRITE_DATA | FILE_APPEND_DATA)) != 0;
}

long long nowUs() {
    timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<long long>(now.tv_sec) * 1000000 + now.tv_nsec / 1000;
}

long long afterMs(long long startUs, unsigned long long milliseconds) {
    return startUs + static_cast<long long>(std::min(milliseconds, longestWaitMs)) * usPerMs;
}

void sleepUs(long long microseconds) {
    timespec pause{static_cast<time_t>(microseconds / 1000000),
                   static_cast<long>(microseconds % 1000000) * 1000};
    // The kernel may end a sleep up to the thread's timer slack (50 us by
    // default) late, longer than the short slices themselves: for those the
    // slack is cut for the sleep alone and the thread's own put back.
    const bool exact = microseconds < exactSleepUs;
    const int slack = exact ? prctl(PR_GET_TIMERSLACK, 0, 0, 0, 0) : -1;
    if (slack > 0) {
        prctl(PR_SET_TIMERSLACK, 1, 0, 0, 0);
    }
    while (nanosleep(&pause, &pause) != 0 && errno == EINTR) {
    }
    if (slack > 0) {
        prctl(PR_SET_TIMERSLACK, static_cast<unsigned long>(slack), 0, 0, 0);
    }
}

// One open device file, shared by every handle of it in the process.
class Device {
public:
    Device(int fd, std::string path, DeviceKind kind, bool pollable, bool printerDriver,
           unsigned minor, std::function<bool(std::string&)> standInId)
        : fd_(fd), path_(std::move(path)), kind_(kind), pollable_(pollable),
          printerDriver_(printerDriver), minor_(minor), standInId_(std::move(standInId)) {}
    ~Device() { close(fd_); }
    Device(const Device&) = delete;
    Device& operator=(const Device&) = delete;

    int fd() const { return fd_; }
    const std::string& path() const { return path_; }
    DeviceKind kind() const { return kind_; }
    // False for lp and for ordinary files, whose poll answers "ready" always.
    bool pollable() const { return pollable_; }
    // The device is lp's or usblp's itself and takes their ioctls.
    bool printerDriver() const { return printerDriver_; }
    // The N of lpN (its minor number).
    unsigned number() const { return minor_; }
    const std::function<bool(std::string&)>& standInId() const { return standInId_; }

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

    // The device reported that it has gone; new opens take a new descriptor.
    void markGone() { gone_.store(true); }
    // Gone as reported, or hung up now (a poll answers without waiting).
    bool gone() {
        if (gone_.load()) {
            return true;
        }
        if (pollable_) {
            pollfd entry{fd_, 0, 0};
            if (poll(&entry, 1, 0) > 0 && (entry.revents & (POLLHUP | POLLERR | POLLNVAL)) != 0) {
                gone_.store(true);
            }
        }
        return gone_.load();
    }

    // Data went to or came from the printer.
    void active() { lastActive_.store(nowUs()); }
    // How long to sleep before looking at a device that cannot be polled.
    long long sliceUs(long long now, bool writing) const {
        const long long quiet = now - lastActive_.load();
        if (quiet >= activeWindowUs) {
            return idleSliceUs;
        }
        if (writing || quiet < hotWindowUs) {
            return hotSliceUs;
        }
        return activeSliceUs;
    }

private:
    const int fd_;
    const std::string path_;
    const DeviceKind kind_;
    const bool pollable_;
    const bool printerDriver_;
    const unsigned minor_;
    const std::function<bool(std::string&)> standInId_;
    std::mutex lock_;
    std::mutex writing_;
    DWORD errors_ = 0;
    std::atomic<bool> gone_{false};
    std::atomic<long long> lastActive_{0};
};

struct Devices {
    std::mutex lock;
    std::map<std::string, std::weak_ptr<Device>> open;
};

Devices& devices() {
    static Devices* instance = new Devices;
    return *instance;
}

// What the device behind a new descriptor is, by its device number (a test's
// stand-in first).
std::shared_ptr<Device> makeDevice(int fd, const std::string& path) {
    struct stat info {};
    DeviceKind kind = DeviceKind::Other;
    bool pollable = true;
    bool printerDriver = false;
    unsigned minorNumber = 0;
    std::function<bool(std::string&)> standInId;
    platform::standin::StandIn standIn;
    if (fstat(fd, &info) != 0) {
        // Kept as another device: its reads and writes will tell.
    } else if (S_ISCHR(info.st_mode) && platform::standin::find != nullptr &&
               platform::standin::find(info.st_rdev, standIn)) {
        kind = standIn.kind;
        minorNumber = standIn.minor;
        standInId = standIn.deviceId;
        pollable = kind != DeviceKind::Lp;
    } else if (S_ISCHR(info.st_mode)) {
        minorNumber = minor(info.st_rdev);
        if (major(info.st_rdev) == lpMajor) {
            kind = DeviceKind::Lp;
            pollable = false;
            printerDriver = true;
        } else if (major(info.st_rdev) == usbMiscMajor && minorNumber < usbLpMinors) {
            kind = DeviceKind::UsbLp;
            printerDriver = true;
        }
    } else if (S_ISREG(info.st_mode)) {
        // A file standing in for a printer: reads at its end are no data, and
        // it is always "ready".
        kind = DeviceKind::Lp;
        pollable = false;
        minorNumber = ~0u;
    }
    return std::make_shared<Device>(fd, path, kind, pollable, printerDriver, minorNumber,
                                    std::move(standInId));
}

// Opens a device file, or shares the descriptor already open for it unless
// that one has reported its device gone. The descriptor reads and writes;
// what a handle may do is checked per handle.
std::shared_ptr<Device> openDevice(const std::string& path, DWORD& error) {
    Devices& all = devices();
    std::lock_guard<std::mutex> guard(all.lock);
    auto known = all.open.find(path);
    if (known != all.open.end()) {
        std::shared_ptr<Device> device = known->second.lock();
        if (device && !device->gone()) {
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
    std::shared_ptr<Device> device = makeDevice(fd, path);
    all.open[path] = device;
    return device;
}

// The Win32 error and the port error flags of a failed transfer; marks the
// device gone when the error says so.
DWORD transferError(Device& device, int error, DWORD& flags) {
    switch (error) {
    case ENOSPC:
        flags = CE_OOP;
        return ERROR_OUT_OF_PAPER;
    case EIO:
        device.markGone();
        flags = CE_IOE;
        return ERROR_IO_DEVICE;
    case ENODEV:
    case ENXIO:
        device.markGone();
        flags = CE_DNS;
        return ERROR_DEVICE_NOT_CONNECTED;
    default:
        flags = 0;
        return platform::win32ErrorFromErrno(error);
    }
}

// Waits up to limitUs for the device to become ready for events; true when
// the poll showed a hang-up (the device is then gone). A device that cannot
// be polled is slept on for a slice. A poll that answers "ready" at once
// while the next try finds nothing comes from a driver that cannot be polled
// either (useless); the caller's next attempt clears it when it finds data.
bool waitReady(Device& device, short events, long long limitUs, bool& useless) {
    if (limitUs <= 0) {
        return false;
    }
    const long long start = nowUs();
    if (!device.pollable() || useless) {
        sleepUs(std::min(limitUs, device.sliceUs(start, events == POLLOUT)));
        return false;
    }
    pollfd entry{device.fd(), events, 0};
    const long long limit = std::min(limitUs, longestPollUs);
    const int ready = poll(&entry, 1, static_cast<int>((limit + usPerMs - 1) / usPerMs));
    if (ready > 0 && (entry.revents & (POLLHUP | POLLERR)) != 0) {
        device.markGone();
        return true;
    }
    if (ready > 0 && nowUs() - start < usPerMs) {
        useless = true;
    }
    return false;
}

class ParallelPort : public platform::FileObject {
public:
    ParallelPort(std::shared_ptr<Device> device, DWORD access)
        : device_(std::move(device)), access_(access) {}

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
        const long long start = nowUs();
        bool total = false;
        long long totalEnd = 0;
        if (firstByte) {
            total = true;
            totalEnd = afterMs(start, t.ReadTotalTimeoutConstant);
        } else if (t.ReadTotalTimeoutMultiplier != 0 || t.ReadTotalTimeoutConstant != 0) {
            total = true;
            totalEnd = afterMs(
                start, static_cast<unsigned long long>(t.ReadTotalTimeoutMultiplier) * size +
                           t.ReadTotalTimeoutConstant);
        }
        const bool interval = !atOnce && !firstByte && t.ReadIntervalTimeout != 0;
        // Only lp and usblp answer 0 for "nothing to say"; elsewhere 0 is the
        // end of the line.
        const bool zeroIsHangUp = device_->kind() == DeviceKind::Other;

        char* out = static_cast<char*>(buffer);
        size_t got = 0;
        long long lastByte = start;
        bool useless = false;
        for (;;) {
            ssize_t n = ::read(device_->fd(), out + got, size - got);
            if (n < 0 && errno == EINTR) {
                continue;
            }
            if (n == 0 && zeroIsHangUp) {
                device_->markGone();
                if (got > 0) {
                    break; // what arrived is handed out; the next read fails
                }
                device_->raise(CE_DNS);
                SetLastError(ERROR_DEVICE_NOT_CONNECTED);
                return FALSE;
            }
            if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK) {
                if (got > 0) {
                    break; // what arrived is handed out; the next read fails
                }
                DWORD flags = 0;
                DWORD error = transferError(*device_, errno, flags);
                device_->raise(flags);
                SetLastError(error);
                return FALSE;
            }
            const long long now = nowUs();
            if (n > 0) {
                got += size_t(n);
                lastByte = now;
                useless = false;
                device_->active();
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
                const long long intervalEnd = afterMs(lastByte, t.ReadIntervalTimeout);
                wake = timed ? std::min(wake, intervalEnd) : intervalEnd;
                timed = true;
            }
            if (timed && now >= wake) {
                break;
            }
            if (waitReady(*device_, POLLIN, timed ? wake - now : longestPollUs, useless)) {
                if (got > 0) {
                    break; // what arrived is handed out; the next read fails
                }
                device_->raise(CE_DNS);
                SetLastError(ERROR_DEVICE_NOT_CONNECTED);
                return FALSE;
            }
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
            afterMs(nowUs(), static_cast<unsigned long long>(t.WriteTotalTimeoutMultiplier) * size +
                                 t.WriteTotalTimeoutConstant);
        const char* data = static_cast<const char*>(buffer);
        size_t sent = 0;
        bool useless = false;
        while (sent < size) {
            ssize_t n = ::write(device_->fd(), data + sent, size - sent);
            if (n > 0) {
                sent += size_t(n);
                useless = false;
                device_->active();
                continue;
            }
            if (n < 0 && errno == EINTR) {
                continue;
            }
            if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK) {
                DWORD flags = 0;
                DWORD error = transferError(*device_, errno, flags);
                device_->raise(flags);
                if (done != nullptr) {
                    *done = DWORD(sent);
                }
                SetLastError(error);
                return FALSE;
            }
            const long long now = nowUs();
            if (total && now >= end) {
                device_->raise(CE_PTO);
                if (done != nullptr) {
                    *done = DWORD(sent);
                }
                SetLastError(ERROR_SEM_TIMEOUT);
                return FALSE;
            }
            if (waitReady(*device_, POLLOUT, total ? end - now : longestPollUs, useless)) {
                device_->raise(CE_DNS);
                if (done != nullptr) {
                    *done = DWORD(sent);
                }
                SetLastError(ERROR_DEVICE_NOT_CONNECTED);
                return FALSE;
            }
        }
        if (sent > 0) {
            device_->active();
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
        if (device_->printerDriver() && ioctl(device_->fd(), LPGETSTATUS, &lines) == 0) {
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
        if (device_->gone()) {
            return ERROR_DEVICE_NOT_CONNECTED;
        }
        if (device_->standInId()) {
            return device_->standInId()(id) ? 0 : ERROR_INVALID_FUNCTION;
        }
        if (device_->kind() == DeviceKind::Lp) {
            return autoprobedId(id) ? 0 : ERROR_INVALID_FUNCTION;
        }
        if (device_->kind() != DeviceKind::UsbLp) {
            return ERROR_INVALID_FUNCTION; // no printer driver, no such query
        }
        std::vector<unsigned char> raw(deviceIdBufferSize);
        if (ioctl(device_->fd(), LPIOC_GET_DEVICE_ID(deviceIdBufferSize), raw.data()) < 0) {
            if (errno == ENOTTY || errno == EINVAL) {
                return ERROR_INVALID_FUNCTION;
            }
            DWORD flags = 0;
            return transferError(*device_, errno, flags);
        }
        size_t length = (size_t(raw[0]) << 8) | raw[1];
        length = std::min(std::max<size_t>(length, 2), raw.size());
        id.assign(raw.begin() + 2, raw.begin() + long(length));
        id.resize(std::strlen(id.c_str()));
        return 0;
    }

    // The lp driver does not hand out the identification, but the parport
    // layer shows what it read from the printer at probe time, one field a
    // line, in the autoprobe files of the lp device's own parport.
    bool autoprobedId(std::string& id) const {
        std::string parport;
        if (!ownParport(device_->number(), parport)) {
            return false;
        }
        static const std::pair<const char*, const char*> keys[] = {
            {"MANUFACTURER:", "MFG:"}, {"MODEL:", "MDL:"},       {"COMMAND SET:", "CMD:"},
            {"CLASS:", "CLS:"},        {"DESCRIPTION:", "DES:"},
        };
        // The port's own probe, then those of the daisy-chain devices on it.
        for (const char* file :
             {"autoprobe", "autoprobe0", "autoprobe1", "autoprobe2", "autoprobe3"}) {
            std::ifstream probe(systemRoot() + "/proc/sys/dev/parport/" + parport + "/" + file);
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
            if (!result.empty()) {
                id = result;
                return true;
            }
        }
        return false;
    }

    // The parport that lpN prints on, as sysfs shows it: the parent of the lp
    // device on the parport bus (/sys/bus/parport/devices/lp.N), or a
    // parportK in the path of the character device 6:N. lpN need not be on
    // parportN: lp numbers its devices in the order it takes the ports.
    static bool ownParport(unsigned lp, std::string& parport) {
        const std::string root = systemRoot();
        const std::string number = std::to_string(lp);
        const std::string charDevice =
            root + "/sys/dev/char/" + std::to_string(lpMajor) + ":" + number;
        for (const std::string& link :
             {root + "/sys/bus/parport/devices/lp." + number, charDevice + "/device", charDevice}) {
            char* resolved = realpath(link.c_str(), nullptr);
            if (resolved == nullptr) {
                continue;
            }
            std::string path = resolved;
            std::free(resolved);
            while (!path.empty()) {
                const size_t slash = path.find_last_of('/');
                const std::string name = path.substr(slash == std::string::npos ? 0 : slash + 1);
                if (name.size() > 7 && name.compare(0, 7, "parport") == 0 &&
                    name.find_first_not_of("0123456789", 7) == std::string::npos) {
                    parport = name;
                    return true;
                }
                path.erase(slash == std::string::npos ? 0 : slash);
            }
        }
        return false;
    }

    static std::string systemRoot() {
        return platform::standin::systemRoot != nullptr ? platform::standin::systemRoot() : "";
    }

    std::shared_ptr<Device> device_;
    const DWORD access_;
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
        object = std::make_shared<ParallelPort>(std::move(device), request.access);
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
