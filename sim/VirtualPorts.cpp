#include "sim/VirtualPorts.h"

#include <cstring>
#include <stdexcept>

namespace sim {

namespace {

char upper(char c) {
    return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}

bool startsWithText(const std::string& text, const char* prefix) {
    const std::size_t n = std::strlen(prefix);
    if (text.size() < n) {
        return false;
    }
    for (std::size_t i = 0; i < n; ++i) {
        if (upper(text[i]) != upper(prefix[i])) {
            return false;
        }
    }
    return true;
}

// The port number (1 for \Device\Parallel0) a kernel device names, or 0.
unsigned parallelPort(const std::string& target) {
    static const char prefix[] = "\\Device\\Parallel";
    if (!startsWithText(target, prefix)) {
        return 0;
    }
    const std::string digits = target.substr(sizeof prefix - 1);
    if (digits.empty() || digits.size() > 2 ||
        digits.find_first_not_of("0123456789") != std::string::npos) {
        return 0;
    }
    const unsigned index = static_cast<unsigned>(std::stoul(digits));
    return index < VirtualPorts::portCount ? index + 1 : 0;
}

// Handle values of their own, apart from the ones the system hands out.
constexpr std::uintptr_t firstHandle = 0x5A000000u;

} // namespace

VirtualPorts::VirtualPorts() : lastHandle_(firstHandle) {
    for (unsigned number = 1; number <= portCount; ++number) {
        ports_.push_back(std::make_unique<VirtualPort>(number));
    }
}

VirtualPorts::~VirtualPorts() = default;

VirtualPort& VirtualPorts::port(unsigned number) {
    if (number < 1 || number > portCount) {
        throw std::out_of_range("no virtual port LPT" + std::to_string(number));
    }
    return *ports_[number - 1];
}

std::vector<std::string> VirtualPorts::dosDeviceTargets(const std::string& name) const {
    std::lock_guard<std::mutex> lock(mutex_);
    return dosDevices_.targets(name);
}

unsigned VirtualPorts::openHandles() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return static_cast<unsigned>(handles_.size());
}

BOOL VirtualPorts::defineDosDevice(DWORD flags, LPCSTR deviceName, LPCSTR targetPath) {
    std::lock_guard<std::mutex> lock(mutex_);
    return dosDevices_.define(flags, deviceName, targetPath);
}

DWORD VirtualPorts::queryDosDevice(LPCSTR deviceName, LPSTR targetPath, DWORD max) {
    std::lock_guard<std::mutex> lock(mutex_);
    return dosDevices_.query(deviceName, targetPath, max);
}

HANDLE VirtualPorts::createFile(LPCSTR fileName, DWORD desiredAccess, DWORD, LPSECURITY_ATTRIBUTES,
                                DWORD, DWORD flagsAndAttributes, HANDLE) {
    if (fileName == nullptr) {
        SetLastError(ERROR_PATH_NOT_FOUND);
        return INVALID_HANDLE_VALUE;
    }
    const std::string name = fileName;
    unsigned number = 0;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (startsWithText(name, "\\\\.\\")) {
            const std::vector<std::string> targets = dosDevices_.targets(name.substr(4));
            if (!targets.empty()) {
                number = parallelPort(targets.front());
            }
        }
    }
    if (number == 0) {
        SetLastError(ERROR_FILE_NOT_FOUND);
        return INVALID_HANDLE_VALUE;
    }
    VirtualPort& target = port(number);
    auto handle = std::make_shared<VirtualPort::Handle>();
    if (DWORD error = target.open(desiredAccess, flagsAndAttributes, *handle)) {
        SetLastError(error);
        return INVALID_HANDLE_VALUE;
    }
    std::lock_guard<std::mutex> lock(mutex_);
    do {
        lastHandle_ += 4;
    } while (handles_.count(lastHandle_) != 0);
    handles_.emplace(lastHandle_, Open{&target, handle});
    SetLastError(ERROR_SUCCESS);
    return reinterpret_cast<HANDLE>(lastHandle_);
}

bool VirtualPorts::find(HANDLE handle, Open& open) const {
    std::lock_guard<std::mutex> lock(mutex_);
    auto it = handles_.find(reinterpret_cast<std::uintptr_t>(handle));
    if (it == handles_.end()) {
        SetLastError(ERROR_INVALID_HANDLE);
        return false;
    }
    open = it->second;
    return true;
}

BOOL VirtualPorts::closeHandle(HANDLE handle) {
    // The pseudo handle of the process, which a failed open hands out:
    // closing it succeeds and does nothing, as on Windows.
    if (handle == INVALID_HANDLE_VALUE) {
        return TRUE;
    }
    Open open;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        auto it = handles_.find(reinterpret_cast<std::uintptr_t>(handle));
        if (it == handles_.end()) {
            SetLastError(ERROR_INVALID_HANDLE);
            return FALSE;
        }
        open = it->second;
        handles_.erase(it);
    }
    open.port->close();
    return TRUE;
}

BOOL VirtualPorts::readFile(HANDLE file, LPVOID buffer, DWORD bytesToRead, LPDWORD bytesRead,
                            LPOVERLAPPED) {
    Open open;
    if (!find(file, open)) {
        return FALSE;
    }
    return open.port->read(*open.handle, buffer, bytesToRead, bytesRead);
}

BOOL VirtualPorts::writeFile(HANDLE file, LPCVOID buffer, DWORD bytesToWrite, LPDWORD bytesWritten,
                             LPOVERLAPPED) {
    Open open;
    if (!find(file, open)) {
        return FALSE;
    }
    return open.port->write(*open.handle, buffer, bytesToWrite, bytesWritten);
}

BOOL VirtualPorts::setCommTimeouts(HANDLE file, LPCOMMTIMEOUTS timeouts) {
    Open open;
    if (!find(file, open)) {
        return FALSE;
    }
    if (timeouts == nullptr) {
        SetLastError(ERROR_NOACCESS);
        return FALSE;
    }
    return open.port->setTimeouts(*open.handle, *timeouts);
}

BOOL VirtualPorts::clearCommError(HANDLE file, LPDWORD errors, LPCOMSTAT status) {
    Open open;
    if (!find(file, open)) {
        return FALSE;
    }
    return open.port->clearError(errors, status);
}

BOOL VirtualPorts::deviceIoControl(HANDLE device, DWORD controlCode, LPVOID, DWORD,
                                   LPVOID outBuffer, DWORD outSize, LPDWORD bytesReturned,
                                   LPOVERLAPPED) {
    Open open;
    if (!find(device, open)) {
        return FALSE;
    }
    return open.port->control(controlCode, outBuffer, outSize, bytesReturned);
}

} // namespace sim
