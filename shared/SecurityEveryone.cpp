#include "shared/SecurityEveryone.h"

#include "shared/Win32Exception.h"

namespace {

const char descriptorFailed[] = "SecurityEveryone::SecurityEveryone() InitializeSecurityDescriptor "
                                "failed";

[[noreturn]] void throwLastError(const char* message, uint32_t line) {
    DWORD error = GetLastError();
    throw Win32Exception(message, error, "SecurityEveryone", line);
}

} // namespace

void SecurityEveryone::SidDeleter::operator()(void* sid) const {
    FreeSid(sid);
}

SecurityEveryone::SecurityEveryone(bool containerInherit) {
    if (!isNt_) {
        return;
    }
    descriptor_.reset(new SECURITY_DESCRIPTOR{});
    if (!InitializeSecurityDescriptor(descriptor_.get(), SECURITY_DESCRIPTOR_REVISION)) {
        throwLastError(descriptorFailed, __LINE__);
    }
    setSecurityIdEveryone();
    if (!IsValidSid(everyone_.get())) {
        throwLastError("SecurityEveryone::SecurityEveryone() IsValidSid failed", __LINE__);
    }
    // The list header, then one entry: its header and mask, and the identifier
    // in place of the entry's first identifier word.
    DWORD aclSize =
        sizeof(ACL) + sizeof(ACCESS_ALLOWED_ACE) - sizeof(DWORD) + GetLengthSid(everyone_.get());
    acl_.assign((aclSize + sizeof(DWORD) - 1) / sizeof(DWORD), 0);
    PACL acl = reinterpret_cast<PACL>(acl_.data());
    if (!InitializeAcl(acl, aclSize, ACL_REVISION)) {
        throwLastError(descriptorFailed, __LINE__);
    }
    if (!AddAccessAllowedAce(acl, ACL_REVISION, GENERIC_ALL, everyone_.get())) {
        throwLastError(descriptorFailed, __LINE__);
    }
    if (!SetSecurityDescriptorDacl(descriptor_.get(), TRUE, acl, FALSE)) {
        throwLastError(descriptorFailed, __LINE__);
    }
    if (containerInherit) {
        LPVOID ace = nullptr;
        if (!GetAce(acl, 0, &ace)) {
            throwLastError(descriptorFailed, __LINE__);
        }
        static_cast<ACE_HEADER*>(ace)->AceFlags |= CONTAINER_INHERIT_ACE;
    }
    attributes_.nLength = sizeof attributes_;
    attributes_.lpSecurityDescriptor = descriptor_.get();
    attributes_.bInheritHandle = TRUE;
}

SecurityEveryone::~SecurityEveryone() = default;

void SecurityEveryone::setSecurityIdEveryone() {
    SID_IDENTIFIER_AUTHORITY world = SECURITY_WORLD_SID_AUTHORITY;
    PSID sid = nullptr;
    if (!AllocateAndInitializeSid(&world, 1, SECURITY_WORLD_RID, 0, 0, 0, 0, 0, 0, 0, &sid)) {
        throwLastError("SecurityEveryone::setSecurityIdEveryone() AllocateAndInitializeSid failed",
                       __LINE__);
    }
    everyone_.reset(sid);
}
