// Drives the built module as a host does: loaded at run time, every export
// found by its plain name.
#include "platform/win32.h"
#include "shared/BrandTable.h"
#include "shared/RegistryKey.h"
#include "shared/SettingsStore.h"
#include "support/PrivateHostStore.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>

namespace {

const bool privateStore = par1test::usePrivateHostStore();

using CodeFunction = uint32_t (*)();
using GetNameFunction = uint32_t (*)(char*, uint32_t, uint32_t*);
using PointerFunction = void* (*)();

class LoadedModule : public ::testing::Test {
protected:
    // Loaded once for the suite; a failure to load fails every test.
    void SetUp() override {
        if (module_ == nullptr) {
            module_ = LoadLibraryA(PAR1_MODULE_FILE);
        }
        ASSERT_NE(nullptr, module_) << PAR1_MODULE_FILE << " error " << GetLastError();
    }

    static void TearDownTestSuite() {
        if (module_ != nullptr) {
            EXPECT_TRUE(FreeLibrary(module_));
            module_ = nullptr;
        }
    }

    void TearDown() override {
        if (module_ != nullptr) {
            call("TransportUninitialize");
        }
    }

    template <class F> static F find(const char* name) {
        return reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(module_, name)));
    }

    static uint32_t call(const char* name) { return find<CodeFunction>(name)(); }

    static HMODULE module_;
};

HMODULE LoadedModule::module_ = nullptr;

TEST_F(LoadedModule, ExportsEveryEntryPointByPlainName) {
    for (const char* name :
         {"TransportInitialize", "TransportUninitialize", "TransportGetName",
          "TransportGetConnectionManager", "TransportGetDiscoverer", "TransportGetVisitorManager",
          "TransportInstall", "TransportUninstall"}) {
        EXPECT_NE(nullptr, find<void*>(name)) << name;
    }
    EXPECT_EQ(nullptr, find<void*>("DllMain"));
    EXPECT_EQ(nullptr, find<void*>("_Z19TransportInitializev"));
}

TEST_F(LoadedModule, GetNameRefusesShortBufferAndCopiesName) {
    auto getName = find<GetNameFunction>("TransportGetName");
    ASSERT_EQ(0u, call("TransportInitialize"));
    char buffer[8];
    std::memset(buffer, 'x', sizeof buffer);
    uint32_t length = 0;
    EXPECT_EQ(122u, getName(buffer, 4, &length));
    EXPECT_EQ(5u, length);
    EXPECT_EQ(0, std::memcmp(buffer, "xxxxxxxx", sizeof buffer));

    length = 0;
    EXPECT_EQ(0u, getName(buffer, 5, &length));
    EXPECT_EQ(5u, length);
    EXPECT_EQ(0, std::memcmp(buffer, "PAR1\0xxx", sizeof buffer));
}

TEST_F(LoadedModule, GetNameRefusesNullArguments) {
    auto getName = find<GetNameFunction>("TransportGetName");
    ASSERT_EQ(0u, call("TransportInitialize"));
    char buffer[8];
    struct Case {
        const char* name;
        char* buffer;
        uint32_t size;
        bool withLength;
        uint32_t result;
        uint32_t length; // what the length holds afterwards
    };
    const Case cases[] = {
        {"no place for the length", buffer, sizeof buffer, false, 87, 0},
        {"nothing at all", nullptr, 0, false, 87, 0},
        {"null buffer said to be large", nullptr, 5, true, 87, 77},
        {"null buffer said to be huge", nullptr, 0xFFFFFFFF, true, 87, 77},
        {"null buffer of size 0 asks for the length", nullptr, 0, true, 122, 5},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::memset(buffer, 'x', sizeof buffer);
        uint32_t length = 77;
        EXPECT_EQ(c.result, getName(c.buffer, c.size, c.withLength ? &length : nullptr));
        EXPECT_EQ(c.withLength ? c.length : 77u, length);
        EXPECT_EQ(0, std::memcmp(buffer, "xxxxxxxx", sizeof buffer));
    }
}

TEST_F(LoadedModule, UninitializedEntryPointsAnswerWithoutThrowing) {
    ASSERT_EQ(0u, call("TransportUninitialize"));
    char buffer[5];
    uint32_t length = 0;
    EXPECT_EQ(0u, find<GetNameFunction>("TransportGetName")(buffer, 5, &length));
    EXPECT_STREQ("PAR1", buffer);
    EXPECT_EQ(0u, call("TransportInstall"));
    EXPECT_EQ(0u, call("TransportUninstall"));
}

TEST_F(LoadedModule, InitializeTwiceAndUninitializeRepeatedly) {
    EXPECT_EQ(0u, call("TransportUninitialize")) << "without initialisation";
    EXPECT_EQ(0u, call("TransportInitialize"));
    EXPECT_EQ(0u, call("TransportInitialize")) << "a second initialisation keeps the first";
    EXPECT_EQ(0u, call("TransportInstall"));
    EXPECT_EQ(0u, call("TransportUninstall"));
    EXPECT_EQ(0u, call("TransportUninitialize"));
    EXPECT_EQ(0u, call("TransportUninitialize")) << "twice after initialisation";
    EXPECT_EQ(0u, call("TransportInitialize")) << "initialisation after a release";
}

// The module's own store, as the module computes it from its local id.
class ModuleStore {
public:
    ModuleStore() : store_("Software\\" + findBrandKey("vnbx") + "\\Kes\\", "vnbx") {}
    ~ModuleStore() {
        store_.deleteStore();
        DeleteFileA(logPath);
    }

    void setLoggerOption(const char* name, DWORD value) {
        RegistryKey key(store_.getRootPath(0) + "Logger", true, HKEY_LOCAL_MACHINE);
        key.setValue(name, value);
    }

    static std::string readLog() {
        std::string text;
        HANDLE file = CreateFileA(logPath, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                  nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file == INVALID_HANDLE_VALUE) {
            return text;
        }
        char buffer[4096];
        DWORD read = 0;
        while (ReadFile(file, buffer, sizeof buffer, &read, nullptr) && read > 0) {
            text.append(buffer, read);
        }
        CloseHandle(file);
        return text;
    }

    static constexpr const char* logPath = "C:\\vnbx.log";

private:
    SettingsStore store_;
};

TEST_F(LoadedModule, EntryPointsTraceWhenLoggingIsOn) {
    ModuleStore store;
    DeleteFileA(ModuleStore::logPath);
    store.setLoggerOption("startLog", 1);
    store.setLoggerOption("Par1Transport", 0xFFFFFFFFu);

    ASSERT_EQ(0u, call("TransportInitialize"));
    char buffer[4];
    uint32_t length = 0;
    EXPECT_EQ(122u, find<GetNameFunction>("TransportGetName")(buffer, sizeof buffer, &length));
    EXPECT_EQ(0u, call("TransportInstall"));
    EXPECT_EQ(0u, call("TransportUninitialize"));

    std::string log = ModuleStore::readLog();
    for (const char* line : {" TransportInitialize()\r\n", " +TransportGetName()\r\n",
                             " -TransportGetName() rc=122\r\n", " +TransportInstall()\r\n",
                             " -TransportInstall()\r\n", " TransportUninitialize()\r\n"}) {
        EXPECT_NE(std::string::npos, log.find(line)) << line << " missing from:\n" << log;
    }
    EXPECT_LT(log.find("TransportInitialize()"), log.find("TransportUninitialize()"));
}

} // namespace
