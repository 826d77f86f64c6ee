#include "PortIdentity.h"

#include "port/Par1PortDevice.h"
#include "port/PortSystem.h"

#include <cstring>
#include <vector>

PortAnswer askPort(const std::string& portName) {
    PortAnswer answer;
    Par1PortDevice device;
    device.defineDevice(true, portName);
    HANDLE port = device.createFile(portName, GENERIC_READ | GENERIC_WRITE,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
    if (port == INVALID_HANDLE_VALUE) {
        return answer;
    }
    answer.opens = true;
    PortSystem& ports = PortSystem::current();
    // The buffer discovery uses: identifications are at most this long.
    std::vector<char> buffer(4096, '\0');
    DWORD returned = 0;
    const BOOL asked =
        ports.deviceIoControl(port, IOCTL_PAR_QUERY_DEVICE_ID, nullptr, 0, buffer.data(),
                              static_cast<DWORD>(buffer.size()), &returned, nullptr);
    answer.queryError = asked ? 0 : GetLastError();
    ports.closeHandle(port);
    if (asked) {
        const void* zero = std::memchr(buffer.data(), 0, buffer.size());
        answer.deviceId.assign(buffer.data(), zero != nullptr
                                                  ? static_cast<const char*>(zero) - buffer.data()
                                                  : buffer.size());
    }
    return answer;
}

std::string readDeviceId(const std::string& portName) {
    return askPort(portName).deviceId;
}
