#include "shared/Security.h"
#include "platform/win32.h"
#include "shared/SecurityEveryone.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

// S-1-1-0, the world group.
const BYTE worldSid[] = {1, 1, 0, 0, 0, 0, 0, 1, 0, 0, 0, 0};

PACL daclOf(Security& security) {
    SECURITY_ATTRIBUTES* attributes = security.getSecurityAttributes();
    BOOL present = FALSE;
    BOOL defaulted = TRUE;
    PACL dacl = nullptr;
    EXPECT_TRUE(
        GetSecurityDescriptorDacl(attributes->lpSecurityDescriptor, &present, &dacl, &defaulted));
    EXPECT_TRUE(present);
    EXPECT_FALSE(defaulted);
    return dacl;
}

} // namespace

TEST(Security, BaseCarriesNoDescriptorAndAppliesNothing) {
    Security security;
    SECURITY_ATTRIBUTES* attributes = security.getSecurityAttributes();
    EXPECT_EQ(24u, attributes->nLength);
    EXPECT_EQ(nullptr, attributes->lpSecurityDescriptor);
    EXPECT_TRUE(attributes->bInheritHandle);
    HANDLE event = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    ASSERT_NE(nullptr, event);
    EXPECT_NO_THROW(security.doApply(event));
    CloseHandle(event);
}

TEST(SecurityEveryone, OneEntryGivingTheWorldFullAccess) {
    for (bool containerInherit : {false, true}) {
        SecurityEveryone security(containerInherit);
        SECURITY_ATTRIBUTES* attributes = security.getSecurityAttributes();
        EXPECT_EQ(24u, attributes->nLength);
        EXPECT_TRUE(attributes->bInheritHandle);
        ASSERT_NE(nullptr, attributes->lpSecurityDescriptor);

        PACL dacl = daclOf(security);
        ASSERT_NE(nullptr, dacl);
        EXPECT_EQ(ACL_REVISION, dacl->AclRevision);
        EXPECT_EQ(1u, dacl->AceCount);
        EXPECT_EQ(8u + 8u + sizeof worldSid, dacl->AclSize);

        LPVOID entry = nullptr;
        ASSERT_TRUE(GetAce(dacl, 0, &entry));
        auto* ace = static_cast<ACCESS_ALLOWED_ACE*>(entry);
        EXPECT_EQ(ACCESS_ALLOWED_ACE_TYPE, ace->Header.AceType);
        EXPECT_EQ(containerInherit ? CONTAINER_INHERIT_ACE : 0, ace->Header.AceFlags)
            << containerInherit;
        EXPECT_EQ(GENERIC_ALL, ace->Mask);
        EXPECT_EQ(0, std::memcmp(worldSid, &ace->SidStart, sizeof worldSid));
    }
}

TEST(SecurityEveryone, AppliesToAKernelObject) {
    SecurityEveryone security(false);
    HANDLE event = CreateEventA(security.getSecurityAttributes(), TRUE, FALSE, nullptr);
    ASSERT_NE(nullptr, event);
    EXPECT_NO_THROW(security.doApply(event));
    CloseHandle(event);
}
