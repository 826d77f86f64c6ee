#include "sim/linux/PtyPrinter.h"

#include <filesystem>
#include <system_error>
#include <vector>

namespace sim {

namespace {

const char* const dosName = "PAR1_PTY_PRINTER";
// How long the pumps wait for bytes before they look at stop_ again.
const int pumpWaitMs = 20;

} // namespace

// The identification the stand-in answers, held apart from the printer so
// that a port handle that outlives the printer asks safely.
struct PtyPrinter::Identity {
    std::mutex mutex;
    VirtualPrinter* printer = nullptr;
};

PtyPrinter::PtyPrinter(const std::string& link, platform::testing::DeviceKind kind, unsigned minor)
    : link_(link), identity_(std::make_shared<Identity>()) {
    VirtualPrinter& attached = ports_.port(1).attachPrinter();
    identity_->printer = &attached;
    ports_.defineDosDevice(DDD_RAW_TARGET_PATH, dosName, "\\Device\\Parallel0");
    handle_ =
        ports_.createFile((std::string("\\\\.\\") + dosName).c_str(), GENERIC_READ | GENERIC_WRITE,
                          0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    // The back channel is read as soon as a byte is there.
    COMMTIMEOUTS timeouts{MAXDWORD, MAXDWORD, DWORD(pumpWaitMs), 0, 0};
    ports_.setCommTimeouts(handle_, &timeouts);

    platform::testing::StandIn standIn;
    standIn.kind = kind;
    standIn.minor = minor;
    if (kind == platform::testing::DeviceKind::UsbLp) {
        std::shared_ptr<Identity> identity = identity_;
        standIn.deviceId = [identity](std::string& id) {
            std::lock_guard<std::mutex> lock(identity->mutex);
            id = identity->printer != nullptr ? identity->printer->deviceId() : "";
            return !id.empty();
        };
    }
    platform::testing::addStandIn(line_.devicePath(), standIn);

    namespace fs = std::filesystem;
    const fs::path fresh = link_ + ".new";
    std::error_code ignored;
    fs::remove(fresh, ignored);
    fs::create_symlink(line_.devicePath(), fresh);
    fs::rename(fresh, link_);

    toPrinter_ = std::thread(&PtyPrinter::toPrinter, this);
    fromPrinter_ = std::thread(&PtyPrinter::fromPrinter, this);
}

PtyPrinter::~PtyPrinter() {
    kill();
    ports_.closeHandle(handle_);
}

void PtyPrinter::stall(bool stalled) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stalled_ = stalled;
    }
    changed_.notify_all();
}

void PtyPrinter::kill() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (killed_) {
            return;
        }
        killed_ = true;
        stop_.store(true);
    }
    changed_.notify_all();
    toPrinter_.join();
    fromPrinter_.join();
    {
        std::lock_guard<std::mutex> lock(identity_->mutex);
        identity_->printer = nullptr;
    }
    platform::testing::removeStandIn(line_.devicePath());
    // Only the link that still leads here: a new printer may have taken it.
    namespace fs = std::filesystem;
    std::error_code error;
    if (fs::read_symlink(link_, error) == fs::path(line_.devicePath())) {
        fs::remove(link_, error);
    }
    line_.hangUp();
}

void PtyPrinter::toPrinter() {
    std::vector<unsigned char> buffer(65536);
    while (!stop_.load()) {
        {
            std::unique_lock<std::mutex> lock(mutex_);
            changed_.wait(lock, [this] { return !stalled_ || stop_.load(); });
        }
        const long got = line_.read(buffer.data(), buffer.size(), pumpWaitMs);
        if (got < 0) {
            return;
        }
        if (got > 0) {
            DWORD written = 0;
            ports_.writeFile(handle_, buffer.data(), DWORD(got), &written, nullptr);
        }
    }
}

void PtyPrinter::fromPrinter() {
    std::vector<unsigned char> buffer(4096);
    while (!stop_.load()) {
        DWORD got = 0;
        if (!ports_.readFile(handle_, buffer.data(), DWORD(buffer.size()), &got, nullptr)) {
            continue;
        }
        size_t sent = 0;
        while (sent < got && !stop_.load()) {
            const long n = line_.write(buffer.data() + sent, got - sent, pumpWaitMs);
            if (n < 0) {
                return;
            }
            sent += size_t(n);
        }
    }
}

} // namespace sim
