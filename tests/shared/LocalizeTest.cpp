#include "shared/Localize.h"
#include "platform/win32.h"
#include "shared/Event.h"
#include "shared/Win32Exception.h"
#include "support/TestChild.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <thread>

TEST(LocalIdFromPath, FirstFourCharactersOfTheFileNameWithOnlyAToZLowered) {
    struct Case {
        const char* path;
        const char* localId;
    };
    const Case cases[] = {
        {"C:\\Program Files\\Vantrel\\VNBXPAR1.DLL", "vnbx"},
        {"Z:\\opt\\par1\\vnbxpar1.so", "vnbx"},
        {"C:\\WINDOWS\\system32\\ab.dll", "ab.d"},
        {"C:\\x\\ab", "ab"},
        {"VNBXPAR1.DLL", "vnbx"},
        // Bytes outside A to Z, in the directory and in the name, stay.
        {"C:\\\xC4RGER\\\xC4Z[_Q.DLL", "\xC4z[_"},
        {"C:\\ABCDEF\\", ""},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(c.localId, Localize::localIdFromPath(c.path)) << c.path;
    }
}

TEST(LocalIdOfModule, ReadsTheModulePath) {
    char path[MAX_PATH] = {};
    ASSERT_NE(0u, GetModuleFileNameA(nullptr, path, MAX_PATH));
    char localId[5] = "????";
    ASSERT_TRUE(Localize::getModuleLocalId(nullptr, localId));
    EXPECT_EQ(Localize::localIdFromPath(path), localId);
    EXPECT_STREQ("shar", localId); // shared_tests
}

TEST(LocalIdOfModule, FailsWithoutBufferOrForAnUnknownModule) {
    EXPECT_FALSE(Localize::getModuleLocalId(nullptr, nullptr));
    char localId[5] = "????";
    // No module is loaded at this address.
    HMODULE unknown = reinterpret_cast<HMODULE>(static_cast<uintptr_t>(0x10));
    EXPECT_FALSE(Localize::getModuleLocalId(unknown, localId));
}

TEST(Localize, InstanceRulesInAFreshProcess) {
    // Run in a process of its own, where nothing else has made the instance.
    using par1test::TestChild;
    if (TestChild::role().empty()) {
        TestChild child("fresh");
        ASSERT_TRUE(child.wait());
        EXPECT_EQ(0u, child.exitCode());
        return;
    }

    try {
        Localize::getInstance();
        ADD_FAILURE() << "getInstance without an instance";
    } catch (const char* text) {
        EXPECT_STREQ("You must call Localize::createInstance() before calling getInstance()", text);
    }

    // A module that cannot be named creates nothing.
    try {
        Localize::createInstance(reinterpret_cast<HMODULE>(static_cast<uintptr_t>(0x10)));
        ADD_FAILURE() << "created for an unknown module";
    } catch (Win32Exception& e) {
        EXPECT_EQ("Localize::Localize(): GetModuleFileName failed", e.getMessage());
        EXPECT_EQ(0u, e.getErrorCode());
        EXPECT_EQ("Localize", e.getFileName());
        EXPECT_EQ(34u, e.getLineNumber());
    }
    EXPECT_THROW(Localize::getInstance(), const char*);

    // Two threads racing to create make one instance.
    Event go(true, false, "", false);
    Localize* seen[2] = {};
    auto create = [&](int i) {
        go.wait(INFINITE);
        Localize::createInstance(nullptr);
        seen[i] = Localize::getInstance();
    };
    std::thread first(create, 0);
    std::thread second(create, 1);
    go.set();
    first.join();
    second.join();
    ASSERT_NE(nullptr, seen[0]);
    EXPECT_EQ(seen[0], seen[1]);
    EXPECT_EQ(seen[0], Localize::getInstance());

    char path[MAX_PATH] = {};
    ASSERT_NE(0u, GetModuleFileNameA(nullptr, path, MAX_PATH));
    EXPECT_EQ(path, seen[0]->getModuleFileName());
    EXPECT_EQ("shar", seen[0]->getLocalId());

    // A later call for another module keeps the first instance.
    Localize::createInstance(reinterpret_cast<HMODULE>(static_cast<uintptr_t>(0x10)));
    EXPECT_EQ(seen[0], Localize::getInstance());
}
