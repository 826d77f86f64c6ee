// Security descriptors, identifiers and access lists in Windows' own layout.
// They are built and checked as Windows does, and applying them to an object
// succeeds without further meaning.
#include "platform/linux/handles.h"

#include <cstdlib>
#include <cstring>

namespace {

// The identifier's layout: revision, count, 6-byte authority, then the
// sub-authorities.
struct SidHeader {
    BYTE Revision;
    BYTE SubAuthorityCount;
    SID_IDENTIFIER_AUTHORITY IdentifierAuthority;
};
static_assert(sizeof(SidHeader) == 8, "a SID starts with 8 bytes");
static_assert(sizeof(ACL) == 8, "an ACL header is 8 bytes");
static_assert(sizeof(ACE_HEADER) == 4, "an ACE header is 4 bytes");
static_assert(sizeof(ACCESS_ALLOWED_ACE) == 12, "an access-allowed ACE is 12 bytes and the SID");
static_assert(sizeof(SECURITY_DESCRIPTOR) == SECURITY_DESCRIPTOR_MIN_LENGTH,
              "the absolute descriptor has Windows' size");

constexpr BYTE kSidRevision = 1;
constexpr BYTE kMaxSubAuthorities = 15;
constexpr BYTE kMinAclRevision = ACL_REVISION;
constexpr BYTE kMaxAclRevision = ACL_REVISION_DS;

bool validAcl(const ACL* acl) {
    return acl != nullptr && acl->AclRevision >= kMinAclRevision &&
           acl->AclRevision <= kMaxAclRevision && acl->AclSize >= sizeof(ACL);
}

// The first byte after the list's entries, or null when the entries overrun
// the list.
BYTE* endOfEntries(PACL acl) {
    BYTE* at = reinterpret_cast<BYTE*>(acl) + sizeof(ACL);
    BYTE* end = reinterpret_cast<BYTE*>(acl) + acl->AclSize;
    for (WORD i = 0; i < acl->AceCount; ++i) {
        if (end - at < static_cast<ptrdiff_t>(sizeof(ACE_HEADER))) {
            return nullptr;
        }
        WORD size = reinterpret_cast<ACE_HEADER*>(at)->AceSize;
        if (size < sizeof(ACE_HEADER) || end - at < size) {
            return nullptr;
        }
        at += size;
    }
    return at;
}

PISECURITY_DESCRIPTOR absoluteDescriptor(PSECURITY_DESCRIPTOR descriptor) {
    auto* sd = static_cast<PISECURITY_DESCRIPTOR>(descriptor);
    if (sd == nullptr) {
        SetLastError(ERROR_INVALID_SECURITY_DESCR);
        return nullptr;
    }
    if (sd->Revision != SECURITY_DESCRIPTOR_REVISION) {
        SetLastError(ERROR_UNKNOWN_REVISION);
        return nullptr;
    }
    if ((sd->Control & SE_SELF_RELATIVE) != 0) {
        SetLastError(ERROR_INVALID_SECURITY_DESCR);
        return nullptr;
    }
    return sd;
}

} // namespace

BOOL InitializeSecurityDescriptor(PSECURITY_DESCRIPTOR descriptor, DWORD revision) {
    if (revision != SECURITY_DESCRIPTOR_REVISION) {
        SetLastError(ERROR_UNKNOWN_REVISION);
        return FALSE;
    }
    auto* sd = static_cast<PISECURITY_DESCRIPTOR>(descriptor);
    std::memset(sd, 0, sizeof(SECURITY_DESCRIPTOR));
    sd->Revision = SECURITY_DESCRIPTOR_REVISION;
    return TRUE;
}

BOOL SetSecurityDescriptorDacl(PSECURITY_DESCRIPTOR descriptor, BOOL daclPresent, PACL dacl,
                               BOOL daclDefaulted) {
    PISECURITY_DESCRIPTOR sd = absoluteDescriptor(descriptor);
    if (sd == nullptr) {
        return FALSE;
    }
    if (!daclPresent) {
        sd->Control &= static_cast<WORD>(~SE_DACL_PRESENT);
        return TRUE;
    }
    sd->Control |= SE_DACL_PRESENT;
    sd->Dacl = dacl;
    if (daclDefaulted) {
        sd->Control |= SE_DACL_DEFAULTED;
    } else {
        sd->Control &= static_cast<WORD>(~SE_DACL_DEFAULTED);
    }
    return TRUE;
}

BOOL GetSecurityDescriptorDacl(PSECURITY_DESCRIPTOR descriptor, BOOL* daclPresent, PACL* dacl,
                               BOOL* daclDefaulted) {
    PISECURITY_DESCRIPTOR sd = absoluteDescriptor(descriptor);
    if (sd == nullptr) {
        return FALSE;
    }
    *daclPresent = (sd->Control & SE_DACL_PRESENT) != 0 ? TRUE : FALSE;
    if (*daclPresent) {
        *dacl = sd->Dacl;
        *daclDefaulted = (sd->Control & SE_DACL_DEFAULTED) != 0 ? TRUE : FALSE;
    } else {
        *dacl = nullptr;
        *daclDefaulted = FALSE;
    }
    return TRUE;
}

BOOL AllocateAndInitializeSid(PSID_IDENTIFIER_AUTHORITY authority, BYTE subAuthorityCount,
                              DWORD sub0, DWORD sub1, DWORD sub2, DWORD sub3, DWORD sub4,
                              DWORD sub5, DWORD sub6, DWORD sub7, PSID* sid) {
    if (subAuthorityCount > 8) {
        SetLastError(ERROR_INVALID_SID);
        return FALSE;
    }
    if (authority == nullptr || sid == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    const size_t size = sizeof(SidHeader) + sizeof(DWORD) * subAuthorityCount;
    void* memory = std::calloc(1, size);
    if (memory == nullptr) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return FALSE;
    }
    auto* header = static_cast<SidHeader*>(memory);
    header->Revision = kSidRevision;
    header->SubAuthorityCount = subAuthorityCount;
    header->IdentifierAuthority = *authority;
    const DWORD subAuthorities[8] = {sub0, sub1, sub2, sub3, sub4, sub5, sub6, sub7};
    std::memcpy(static_cast<BYTE*>(memory) + sizeof(SidHeader), subAuthorities,
                sizeof(DWORD) * subAuthorityCount);
    *sid = memory;
    return TRUE;
}

void* FreeSid(PSID sid) {
    std::free(sid);
    return nullptr;
}

BOOL IsValidSid(PSID sid) {
    const auto* header = static_cast<const SidHeader*>(sid);
    return header != nullptr && header->Revision == kSidRevision &&
                   header->SubAuthorityCount <= kMaxSubAuthorities
               ? TRUE
               : FALSE;
}

DWORD GetLengthSid(PSID sid) {
    return static_cast<DWORD>(
        sizeof(SidHeader) + sizeof(DWORD) * static_cast<const SidHeader*>(sid)->SubAuthorityCount);
}

BOOL InitializeAcl(PACL acl, DWORD length, DWORD revision) {
    if (length < sizeof(ACL)) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return FALSE;
    }
    if (revision < kMinAclRevision || revision > kMaxAclRevision || length > 0xFFFF) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    acl->AclRevision = static_cast<BYTE>(revision);
    acl->Sbz1 = 0;
    acl->AclSize = static_cast<WORD>(length);
    acl->AceCount = 0;
    acl->Sbz2 = 0;
    return TRUE;
}

BOOL AddAccessAllowedAce(PACL acl, DWORD revision, DWORD accessMask, PSID sid) {
    if (!validAcl(acl) || revision < kMinAclRevision || revision > kMaxAclRevision) {
        SetLastError(ERROR_INVALID_ACL);
        return FALSE;
    }
    if (!IsValidSid(sid)) {
        SetLastError(ERROR_INVALID_SID);
        return FALSE;
    }
    BYTE* at = endOfEntries(acl);
    if (at == nullptr) {
        SetLastError(ERROR_INVALID_ACL);
        return FALSE;
    }
    const DWORD sidLength = GetLengthSid(sid);
    const DWORD aceSize =
        static_cast<DWORD>(sizeof(ACCESS_ALLOWED_ACE) - sizeof(DWORD)) + sidLength;
    const BYTE* end = reinterpret_cast<BYTE*>(acl) + acl->AclSize;
    if (static_cast<DWORD>(end - at) < aceSize) {
        SetLastError(ERROR_ALLOTTED_SPACE_EXCEEDED);
        return FALSE;
    }
    ACCESS_ALLOWED_ACE ace{};
    ace.Header.AceType = ACCESS_ALLOWED_ACE_TYPE;
    ace.Header.AceFlags = 0;
    ace.Header.AceSize = static_cast<WORD>(aceSize);
    ace.Mask = accessMask;
    std::memcpy(at, &ace, sizeof(ACCESS_ALLOWED_ACE) - sizeof(DWORD));
    std::memcpy(at + offsetof(ACCESS_ALLOWED_ACE, SidStart), sid, sidLength);
    acl->AceCount = static_cast<WORD>(acl->AceCount + 1);
    if (revision > acl->AclRevision) {
        acl->AclRevision = static_cast<BYTE>(revision);
    }
    return TRUE;
}

BOOL GetAce(PACL acl, DWORD index, LPVOID* ace) {
    if (!validAcl(acl) || index >= acl->AceCount) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    BYTE* at = reinterpret_cast<BYTE*>(acl) + sizeof(ACL);
    for (DWORD i = 0; i < index; ++i) {
        at += reinterpret_cast<ACE_HEADER*>(at)->AceSize;
    }
    *ace = at;
    return TRUE;
}

BOOL SetKernelObjectSecurity(HANDLE handle, SECURITY_INFORMATION, PSECURITY_DESCRIPTOR descriptor) {
    if (!platform::findHandle(handle)) {
        return FALSE;
    }
    // Either form of descriptor will do here.
    const auto* sd = static_cast<const SECURITY_DESCRIPTOR*>(descriptor);
    if (sd == nullptr || sd->Revision != SECURITY_DESCRIPTOR_REVISION) {
        SetLastError(sd == nullptr ? ERROR_INVALID_SECURITY_DESCR : ERROR_UNKNOWN_REVISION);
        return FALSE;
    }
    return TRUE;
}

DWORD SetSecurityInfo(HANDLE handle, SE_OBJECT_TYPE type, SECURITY_INFORMATION, PSID, PSID, PACL,
                      PACL) {
    if (handle == nullptr) {
        return ERROR_INVALID_HANDLE;
    }
    // Registry keys are not kernel objects here; any other object must be
    // in the handle table.
    if (type != SE_REGISTRY_KEY && !platform::findHandle(handle)) {
        return ERROR_INVALID_HANDLE;
    }
    return ERROR_SUCCESS;
}
