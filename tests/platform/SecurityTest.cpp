// Security descriptors, identifiers and access lists, in Windows' layout.
#include "RunThread.h"

#include <cstring>

namespace {

struct Sid {
    PSID sid = nullptr;
    ~Sid() {
        if (sid != nullptr) {
            FreeSid(sid);
        }
    }
};

// The world identifier S-1-1-0, as the module builds it.
void makeWorld(Sid& world) {
    SID_IDENTIFIER_AUTHORITY authority = SECURITY_WORLD_SID_AUTHORITY;
    ASSERT_TRUE(AllocateAndInitializeSid(&authority, 1, SECURITY_WORLD_RID, 0, 0, 0, 0, 0, 0, 0,
                                         &world.sid));
}

} // namespace

TEST(Security, StructuresHaveWindowsLayout) {
    EXPECT_EQ(40u, sizeof(SECURITY_DESCRIPTOR));
    EXPECT_EQ(8u, sizeof(ACL));
    EXPECT_EQ(12u, sizeof(ACCESS_ALLOWED_ACE));
    EXPECT_EQ(24u, sizeof(SECURITY_ATTRIBUTES));
}

TEST(Security, SidIsRealAndMeasured) {
    Sid world;
    makeWorld(world);
    ASSERT_TRUE(IsValidSid(world.sid));
    ASSERT_EQ(12u, GetLengthSid(world.sid));
    const BYTE expected[12] = {1, 1, 0, 0, 0, 0, 0, 1, 0, 0, 0, 0};
    EXPECT_EQ(0, std::memcmp(expected, world.sid, sizeof expected));

    SID_IDENTIFIER_AUTHORITY nt = {{0, 0, 0, 0, 0, 5}};
    Sid admins;
    ASSERT_TRUE(AllocateAndInitializeSid(&nt, 2, 32, 544, 0, 0, 0, 0, 0, 0, &admins.sid));
    EXPECT_EQ(16u, GetLengthSid(admins.sid));
    DWORD sub[2];
    std::memcpy(sub, static_cast<BYTE*>(admins.sid) + 8, sizeof sub);
    EXPECT_EQ(32u, sub[0]);
    EXPECT_EQ(544u, sub[1]);

    Sid none;
    SetLastError(0);
    EXPECT_FALSE(AllocateAndInitializeSid(&nt, 9, 0, 0, 0, 0, 0, 0, 0, 0, &none.sid));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_SID), GetLastError());

    BYTE notASid[12] = {2, 1};
    EXPECT_FALSE(IsValidSid(notASid));
}

TEST(Security, DescriptorCarriesItsDacl) {
    SECURITY_DESCRIPTOR descriptor;
    SetLastError(0);
    EXPECT_FALSE(InitializeSecurityDescriptor(&descriptor, 2));
    EXPECT_EQ(static_cast<DWORD>(ERROR_UNKNOWN_REVISION), GetLastError());
    ASSERT_TRUE(InitializeSecurityDescriptor(&descriptor, SECURITY_DESCRIPTOR_REVISION));

    BOOL present = TRUE;
    BOOL defaulted = TRUE;
    PACL dacl = reinterpret_cast<PACL>(&descriptor);
    ASSERT_TRUE(GetSecurityDescriptorDacl(&descriptor, &present, &dacl, &defaulted));
    EXPECT_FALSE(present);

    // Present without a list: everyone has full access.
    ASSERT_TRUE(SetSecurityDescriptorDacl(&descriptor, TRUE, nullptr, FALSE));
    ASSERT_TRUE(GetSecurityDescriptorDacl(&descriptor, &present, &dacl, &defaulted));
    EXPECT_TRUE(present);
    EXPECT_EQ(nullptr, dacl);
    EXPECT_FALSE(defaulted);

    BYTE buffer[64];
    PACL list = reinterpret_cast<PACL>(buffer);
    ASSERT_TRUE(InitializeAcl(list, sizeof buffer, ACL_REVISION));
    ASSERT_TRUE(SetSecurityDescriptorDacl(&descriptor, TRUE, list, TRUE));
    ASSERT_TRUE(GetSecurityDescriptorDacl(&descriptor, &present, &dacl, &defaulted));
    EXPECT_TRUE(present);
    EXPECT_EQ(list, dacl);
    EXPECT_TRUE(defaulted);
}

TEST(Security, AclRefusesBadSizesAndRevisions) {
    BYTE buffer[128];
    PACL acl = reinterpret_cast<PACL>(buffer);
    const struct {
        DWORD length;
        DWORD revision;
        DWORD error;
    } cases[] = {
        {4, ACL_REVISION, ERROR_INSUFFICIENT_BUFFER},
        {64, 1, ERROR_INVALID_PARAMETER},
        {64, 5, ERROR_INVALID_PARAMETER},
        {70000, ACL_REVISION, ERROR_INVALID_PARAMETER},
    };
    for (const auto& c : cases) {
        SetLastError(0);
        EXPECT_FALSE(InitializeAcl(acl, c.length, c.revision)) << c.length << "/" << c.revision;
        EXPECT_EQ(c.error, GetLastError()) << c.length << "/" << c.revision;
    }
    ASSERT_TRUE(InitializeAcl(acl, 13, ACL_REVISION));
    EXPECT_EQ(13u, acl->AclSize);
    EXPECT_EQ(0u, acl->AceCount);
}

// The module sizes the list as 8 + 8 + the identifier's length: exactly one
// entry fits, a second does not.
TEST(Security, AccessAllowedAceIsAppendedWhileThereIsRoom) {
    Sid world;
    makeWorld(world);
    const DWORD size = 8 + 8 + GetLengthSid(world.sid);
    BYTE buffer[64];
    std::memset(buffer, 0xCC, sizeof buffer);
    PACL acl = reinterpret_cast<PACL>(buffer);
    ASSERT_TRUE(InitializeAcl(acl, size, ACL_REVISION));
    ASSERT_TRUE(AddAccessAllowedAce(acl, ACL_REVISION, GENERIC_ALL, world.sid));
    EXPECT_EQ(1u, acl->AceCount);

    LPVOID entry = nullptr;
    ASSERT_TRUE(GetAce(acl, 0, &entry));
    EXPECT_EQ(buffer + 8, entry);
    auto* ace = static_cast<ACCESS_ALLOWED_ACE*>(entry);
    EXPECT_EQ(ACCESS_ALLOWED_ACE_TYPE, ace->Header.AceType);
    EXPECT_EQ(0, ace->Header.AceFlags);
    EXPECT_EQ(20u, ace->Header.AceSize);
    EXPECT_EQ(GENERIC_ALL, ace->Mask);
    EXPECT_EQ(0, std::memcmp(&ace->SidStart, world.sid, 12));
    ace->Header.AceFlags |= CONTAINER_INHERIT_ACE;

    SetLastError(0);
    EXPECT_FALSE(AddAccessAllowedAce(acl, ACL_REVISION, GENERIC_READ, world.sid));
    EXPECT_EQ(static_cast<DWORD>(ERROR_ALLOTTED_SPACE_EXCEEDED), GetLastError());
    EXPECT_EQ(1u, acl->AceCount);
    EXPECT_EQ(0xCC, buffer[size]) << "nothing written past the list";

    SetLastError(0);
    EXPECT_FALSE(GetAce(acl, 1, &entry));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_PARAMETER), GetLastError());

    // A larger list takes a second entry after the first.
    BYTE larger[128];
    PACL two = reinterpret_cast<PACL>(larger);
    ASSERT_TRUE(InitializeAcl(two, sizeof larger, ACL_REVISION));
    ASSERT_TRUE(AddAccessAllowedAce(two, ACL_REVISION, GENERIC_ALL, world.sid));
    ASSERT_TRUE(AddAccessAllowedAce(two, ACL_REVISION, GENERIC_READ, world.sid));
    ASSERT_TRUE(GetAce(two, 1, &entry));
    EXPECT_EQ(larger + 28, entry);
    EXPECT_EQ(GENERIC_READ, static_cast<ACCESS_ALLOWED_ACE*>(entry)->Mask);
}

TEST(Security, ApplyingToObjectsSucceedsForValidHandles) {
    SECURITY_DESCRIPTOR descriptor;
    ASSERT_TRUE(InitializeSecurityDescriptor(&descriptor, SECURITY_DESCRIPTOR_REVISION));
    ASSERT_TRUE(SetSecurityDescriptorDacl(&descriptor, TRUE, nullptr, FALSE));
    HANDLE event = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    EXPECT_TRUE(SetKernelObjectSecurity(event, DACL_SECURITY_INFORMATION, &descriptor));
    BYTE buffer[64];
    PACL acl = reinterpret_cast<PACL>(buffer);
    ASSERT_TRUE(InitializeAcl(acl, sizeof buffer, ACL_REVISION));
    EXPECT_EQ(static_cast<DWORD>(ERROR_SUCCESS),
              SetSecurityInfo(event, SE_KERNEL_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr,
                              acl, nullptr));
    CloseHandle(event);

    SetLastError(0);
    EXPECT_FALSE(SetKernelObjectSecurity(nullptr, DACL_SECURITY_INFORMATION, &descriptor));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_HANDLE), GetLastError());
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_HANDLE),
              SetSecurityInfo(nullptr, SE_KERNEL_OBJECT, DACL_SECURITY_INFORMATION, nullptr,
                              nullptr, acl, nullptr));
}
