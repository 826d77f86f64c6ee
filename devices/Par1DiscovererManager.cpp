#include "devices/Par1DiscovererManager.h"

#include "devices/Par1Authorizer.h"
#include "devices/Par1DeviceHandles.h"
#include "devices/Par1Devices.h"
#include "devices/PropertyRecords.h"
#include "devices/TransportProperties.h"
#include "platform/win32.h"
#include "port/Par1PortDevice.h"
#include "port/PortSystem.h"
#include "shared/CriticalSection.h"
#include "shared/CriticalSectionLock.h"
#include "shared/Exception.h"
#include "shared/Mutex.h"
#include "shared/OsVersion.h"
#include "shared/TextBuilder.h"
#include "shared/TransportLog.h"

#include <atomic>
#include <cstring>
#include <vector>

namespace {

const char* const portNames[] = {
    "LPT1:", "LPT2:", "LPT3:", "LPT4:", "LPT5:", "LPT6:", "LPT7:", "LPT8:", "LPT9:"};

const size_t deviceIdBufferSize = 4096;
// The identification query of the Windows 95 family's port driver.
const DWORD deviceIdQuery95 = 17;

std::atomic<Par1DiscovererManager*> instance{nullptr};

CriticalSection& instanceLock() {
    static CriticalSection lock;
    return lock;
}

[[maybe_unused]] CriticalSection& lockMadeAtLoad = instanceLock();

// Holds a Mutex for a scope. A Mutex rather than a critical section: a read
// thread ended by TerminateThread while it discovers leaves it abandoned, and
// the next discovery still gets it.
class Hold {
public:
    explicit Hold(Mutex& mutex) : mutex_(mutex) { mutex_.acquire(INFINITE); }
    ~Hold() {
        try {
            mutex_.release();
        } catch (const Exception&) {
            // Only the owner releases; a failure leaves nothing to undo.
        }
    }
    Hold(const Hold&) = delete;
    Hold& operator=(const Hold&) = delete;

private:
    Mutex& mutex_;
};

} // namespace

Par1DiscovererManager* Par1DiscovererManager::getInstance() {
    Par1DiscovererManager* manager = instance.load();
    if (manager == nullptr) {
        CriticalSectionLock lock(instanceLock());
        manager = instance.load();
        if (manager == nullptr) {
            manager = new Par1DiscovererManager;
            // The device table outlives every manager: it watches the new one.
            if (Par1Devices* devices = Par1Devices::existingInstance()) {
                devices->attachTo(manager->getDiscoverer());
            }
            instance.store(manager);
        }
    }
    return manager;
}

void Par1DiscovererManager::destroyInstance() {
    CriticalSectionLock lock(instanceLock());
    Par1DiscovererManager* manager = instance.exchange(nullptr);
    if (manager == nullptr) {
        return;
    }
    // The table must not stay attached to a deleted subject.
    if (Par1Devices* devices = Par1Devices::existingInstance()) {
        devices->detachFromAll();
    }
    delete manager;
}

Par1DiscovererManager::Par1DiscovererManager() : discoveryLock_(new Mutex(false, "", false)) {}

Par1DiscovererManager::~Par1DiscovererManager() = default;

uint32_t Par1DiscovererManager::doDiscover(const std::string&) {
    Results found;
    {
        Hold hold(*discoveryLock_);
        runDiscoveryLocked();
        found = takeResults();
    }
    tellObservers(found);
    return 0;
}

uint32_t Par1DiscovererManager::isDiscovering() const {
    return 0;
}

uint32_t Par1DiscovererManager::isAsynchronous() const {
    return 0;
}

uint32_t Par1DiscovererManager::canCancel() const {
    return 0;
}

uint32_t Par1DiscovererManager::isLocal() const {
    return 1;
}

void Par1DiscovererManager::runDiscovery() {
    Hold hold(*discoveryLock_);
    runDiscoveryLocked();
}

void Par1DiscovererManager::notifyObservers() {
    Results found;
    {
        Hold hold(*discoveryLock_);
        found = takeResults();
    }
    tellObservers(found);
}

Par1DiscovererManager::Results Par1DiscovererManager::takeResults() {
    Results found;
    found.swap(results_);
    return found;
}

std::string Par1DiscovererManager::deviceIdText(const char* buffer, size_t size) {
    const void* zero = std::memchr(buffer, 0, size);
    size_t length =
        zero != nullptr ? static_cast<size_t>(static_cast<const char*>(zero) - buffer) : size;
    return std::string(buffer, length);
}

void Par1DiscovererManager::runDiscoveryLocked() {
    FunctionTrace trace = transportLog::open(LevelTrace, "starting Parallel Discovery");
    results_.clear();
    PortSystem& ports = PortSystem::current();
    const DWORD query = OsVersion::getPlatformId() == VER_PLATFORM_WIN32_WINDOWS
                            ? deviceIdQuery95
                            : IOCTL_PAR_QUERY_DEVICE_ID;
    TransportProperties properties;
    std::vector<char> buffer(deviceIdBufferSize);

    for (const char* portName : portNames) {
        Par1PortDevice device;
        device.defineDevice(true, portName);
        HANDLE port = device.createFile(portName, GENERIC_READ | GENERIC_WRITE,
                                        FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                        FILE_ATTRIBUTE_NORMAL, nullptr);
        DWORD error = GetLastError();
        // Only a port that refused for lack of access is tried again.
        if (port == INVALID_HANDLE_VALUE && error == ERROR_ACCESS_DENIED) {
            port = device.createFile(portName, GENERIC_READ | GENERIC_WRITE,
                                     FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                     FILE_ATTRIBUTE_NORMAL | FILE_ATTRIBUTE_HIDDEN, nullptr);
            error = GetLastError();
        }

        if (port == INVALID_HANDLE_VALUE) {
            // Nothing to ask and nothing to close.
            if (trace.isEnabled()) {
                trace.setReturnCode(error);
            }
        } else {
            std::fill(buffer.begin(), buffer.end(), '\0');
            DWORD returned = 0;
            if (!ports.deviceIoControl(port, query, nullptr, 0, buffer.data(),
                                       static_cast<DWORD>(buffer.size()), &returned, nullptr)) {
                error = GetLastError();
                if (trace.isEnabled()) {
                    trace.setReturnCode(error);
                }
            } else {
                std::string deviceId = deviceIdText(buffer.data(), buffer.size());
                transportLog::detail([&] { return "Par1Discoverer 1284DeviceID: " + deviceId; });
                if (!Par1Authorizer::getInstance()->isDeviceCpd(deviceId)) {
                    std::string transportString;
                    properties.setString(transportString, PropertyRecords::Portname, portName);
                    uint32_t handle = 0;
                    Par1DeviceHandles::getInstance()->get(Par1PortDevice::portNumber(portName),
                                                          handle);
                    properties.setLong(transportString, PropertyRecords::Handle, handle);
                    makeTransportString(transportString);
                    results_[handle] = transportString;
                    transportLog::detail(
                        [&] { return TextBuilder("Parallel found handle").append(handle).str(); });
                }
            }
            ports.closeHandle(port);
        }
        device.defineDevice(false, portName);
    }
}

uint32_t Par1DiscovererManager::makeTransportString(std::string& transportString) {
    FunctionTrace trace = transportLog::open(LevelTrace, "Par1Discoverer::makeTransportString");
    TransportProperties properties;
    properties.setString(transportString, PropertyRecords::Device, "BpdPrinter");
    properties.setString(transportString, PropertyRecords::Transport, "PAR1");
    return 0;
}

void Par1DiscovererManager::tellObservers(const Results& results) {
    if (results.empty()) {
        transportLog::detail([] {
            return std::string("Par1DiscovererManager::notifyObservers() no device was found");
        });
        return;
    }
    for (const auto& result : results) {
        Subject::notify(result.second);
        transportLog::detail(
            [&] { return "Par1DiscovererManager::notifyObservers() device=" + result.second; });
    }
}
