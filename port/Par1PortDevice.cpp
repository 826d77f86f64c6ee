#include "port/Par1PortDevice.h"

#include "port/PortSystem.h"
#include "shared/OsVersion.h"

namespace {

const char devicePrefix[] = "\\\\.\\VANTREL_LPT";
// The part of the path that is not the DOS device name: "\\.\".
const size_t namespacePrefixLength = 4;
const char targetPrefix[] = "\\Device\\Parallel";
// What QueryDosDeviceA may write of an existing definition.
const DWORD queryBufferSize = 20;

} // namespace

Par1PortDevice::Par1PortDevice() : platformId_(OsVersion::getPlatformId()) {}

Par1PortDevice::Par1PortDevice(DWORD platformId) : platformId_(platformId) {}

uint32_t Par1PortDevice::portNumber(const std::string& portName) {
    uint64_t number = 0;
    bool digits = false;
    for (size_t i = 3; i < portName.size() && portName[i] >= '0' && portName[i] <= '9'; ++i) {
        number = number * 10 + static_cast<uint64_t>(portName[i] - '0');
        if (number > 0xFFFFFFFFu) {
            return 0;
        }
        digits = true;
    }
    return digits ? static_cast<uint32_t>(number) : 0;
}

std::string Par1PortDevice::dosDeviceName(const std::string& portName) {
    uint32_t number = portNumber(portName);
    if (number == 0) {
        return std::string();
    }
    return std::string(devicePrefix + namespacePrefixLength) + std::to_string(number);
}

std::string Par1PortDevice::targetPath(const std::string& portName) {
    uint32_t number = portNumber(portName);
    if (number == 0) {
        return std::string();
    }
    return targetPrefix + std::to_string(number - 1);
}

std::string Par1PortDevice::devicePath(const std::string& portName) const {
    if (isWindows95Family()) {
        return portName;
    }
    uint32_t number = portNumber(portName);
    if (number == 0) {
        return std::string();
    }
    return devicePrefix + std::to_string(number);
}

void Par1PortDevice::defineDevice(bool define, const std::string& portName) {
    if (isWindows95Family()) {
        return;
    }
    std::string name = dosDeviceName(portName);
    if (name.empty()) {
        return;
    }
    PortSystem& ports = PortSystem::current();
    if (!define) {
        ports.defineDosDevice(DDD_REMOVE_DEFINITION, name.c_str(), nullptr);
        return;
    }
    char current[queryBufferSize] = {};
    if (ports.queryDosDevice(name.c_str(), current, queryBufferSize) == 0) {
        ports.defineDosDevice(DDD_RAW_TARGET_PATH, name.c_str(), targetPath(portName).c_str());
    }
}

HANDLE Par1PortDevice::createFile(const std::string& portName, DWORD desiredAccess, DWORD shareMode,
                                  LPSECURITY_ATTRIBUTES attributes, DWORD creationDisposition,
                                  DWORD flagsAndAttributes, HANDLE templateFile) {
    std::string path = devicePath(portName);
    if (path.empty()) {
        SetLastError(ERROR_INVALID_NAME);
        return INVALID_HANDLE_VALUE;
    }
    return PortSystem::current().createFile(path.c_str(), desiredAccess, shareMode, attributes,
                                            creationDisposition, flagsAndAttributes, templateFile);
}
