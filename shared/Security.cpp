#include "shared/Security.h"

#include "shared/OsVersion.h"
#include "shared/Win32Exception.h"

Security::Security() : isNt_(OsVersion::getPlatformId() == VER_PLATFORM_WIN32_NT) {
    attributes_.nLength = sizeof attributes_;
    attributes_.lpSecurityDescriptor = nullptr;
    attributes_.bInheritHandle = TRUE;
}

Security::~Security() = default;

SECURITY_ATTRIBUTES* Security::getSecurityAttributes() {
    return &attributes_;
}

void Security::doApply(HANDLE object) {
    // Without a descriptor the object keeps the one it was made with.
    if (!isNt_ || attributes_.lpSecurityDescriptor == nullptr) {
        return;
    }
    if (!SetKernelObjectSecurity(object, DACL_SECURITY_INFORMATION,
                                 attributes_.lpSecurityDescriptor)) {
        DWORD error = GetLastError();
        throw Win32Exception("Security::doApply() SetKernelObjectSecurity failed ", error,
                             "Security", __LINE__);
    }
}

void Security::doApply(HKEY key) {
    if (!isNt_ || attributes_.lpSecurityDescriptor == nullptr) {
        return;
    }
    BOOL present = FALSE;
    BOOL defaulted = FALSE;
    PACL dacl = nullptr;
    if (!GetSecurityDescriptorDacl(attributes_.lpSecurityDescriptor, &present, &dacl, &defaulted)) {
        DWORD error = GetLastError();
        throw Win32Exception("Security::doApply() GetSecurityDescriptorDacl failed ", error,
                             "Security", __LINE__);
    }
    DWORD result = SetSecurityInfo(key, SE_REGISTRY_KEY, DACL_SECURITY_INFORMATION, nullptr,
                                   nullptr, dacl, nullptr);
    if (result != ERROR_SUCCESS) {
        throw Win32Exception("Security::doApply() SetSecurityInfo failed ", result, "Security",
                             __LINE__);
    }
}

void Security::apply(HKEY key) {
    if (isNt_) {
        doApply(key);
    }
}
