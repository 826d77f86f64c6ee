#include "platform/linux/testing/PortStandIns.h"

#include <cerrno>
#include <fcntl.h>
#include <map>
#include <mutex>
#include <poll.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <system_error>
#include <termios.h>
#include <unistd.h>

namespace {

struct Registry {
    std::mutex lock;
    std::map<unsigned long long, platform::standin::StandIn> standIns;
    std::map<std::string, unsigned long long> paths;
    std::string root;
};

Registry& registry() {
    static Registry* instance = new Registry;
    return *instance;
}

unsigned long long deviceNumber(const std::string& path) {
    struct stat info {};
    if (stat(path.c_str(), &info) != 0 || !S_ISCHR(info.st_mode)) {
        throw std::system_error(errno != 0 ? errno : ENODEV, std::generic_category(),
                                "not a character device: " + path);
    }
    return info.st_rdev;
}

[[noreturn]] void fail(const char* what) {
    throw std::system_error(errno, std::generic_category(), what);
}

} // namespace

namespace platform {

namespace standin {

bool find(unsigned long long device, StandIn& standIn) {
    Registry& all = registry();
    std::lock_guard<std::mutex> guard(all.lock);
    auto it = all.standIns.find(device);
    if (it == all.standIns.end()) {
        return false;
    }
    standIn = it->second;
    return true;
}

std::string systemRoot() {
    Registry& all = registry();
    std::lock_guard<std::mutex> guard(all.lock);
    return all.root;
}

} // namespace standin

namespace testing {

PseudoTerminal::PseudoTerminal() {
    master_ = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (master_ < 0) {
        fail("posix_openpt");
    }
    char name[128];
    if (grantpt(master_) != 0 || unlockpt(master_) != 0 ||
        ptsname_r(master_, name, sizeof name) != 0) {
        const int error = errno;
        close(master_);
        errno = error;
        fail("pseudo-terminal");
    }
    path_ = name;
    // Held so that the line is not hung up before the port opens it or
    // between two opens; it is never read.
    slave_ = open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
    termios mode{};
    if (slave_ < 0 || tcgetattr(slave_, &mode) != 0) {
        const int error = errno;
        hangUp();
        errno = error;
        fail("pseudo-terminal");
    }
    cfmakeraw(&mode);
    tcsetattr(slave_, TCSANOW, &mode);
    fcntl(master_, F_SETFL, fcntl(master_, F_GETFL) | O_NONBLOCK);
}

PseudoTerminal::~PseudoTerminal() {
    hangUp();
}

long PseudoTerminal::read(void* buffer, std::size_t size, int milliseconds) {
    if (master_ < 0) {
        return -1;
    }
    pollfd entry{master_, POLLIN, 0};
    if (poll(&entry, 1, milliseconds) <= 0 || (entry.revents & POLLIN) == 0) {
        return 0;
    }
    const ssize_t n = ::read(master_, buffer, size);
    if (n < 0) {
        return errno == EAGAIN || errno == EINTR ? 0 : -1;
    }
    return long(n);
}

long PseudoTerminal::write(const void* data, std::size_t size, int milliseconds) {
    if (master_ < 0) {
        return -1;
    }
    const ssize_t n = ::write(master_, data, size);
    if (n >= 0) {
        return long(n);
    }
    if (errno != EAGAIN && errno != EINTR) {
        return -1;
    }
    pollfd entry{master_, POLLOUT, 0};
    poll(&entry, 1, milliseconds);
    return 0;
}

void PseudoTerminal::hangUp() {
    if (slave_ >= 0) {
        close(slave_);
        slave_ = -1;
    }
    if (master_ >= 0) {
        close(master_);
        master_ = -1;
    }
}

void addStandIn(const std::string& devicePath, const StandIn& standIn) {
    const unsigned long long device = deviceNumber(devicePath);
    Registry& all = registry();
    std::lock_guard<std::mutex> guard(all.lock);
    all.standIns[device] = standIn;
    all.paths[devicePath] = device;
}

void removeStandIn(const std::string& devicePath) {
    Registry& all = registry();
    std::lock_guard<std::mutex> guard(all.lock);
    auto it = all.paths.find(devicePath);
    if (it != all.paths.end()) {
        all.standIns.erase(it->second);
        all.paths.erase(it);
    }
}

void setSystemRoot(const std::string& root) {
    Registry& all = registry();
    std::lock_guard<std::mutex> guard(all.lock);
    all.root = root;
}

} // namespace testing
} // namespace platform
