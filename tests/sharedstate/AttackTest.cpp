// The Linux build's shared state against another local user. Each test plays
// one attack: a second user (nobody, uid 65534, made with setpriv) prepares
// what it can, then this process, as root like a print service, uses the
// store through the Win32 calls the module makes, and the test checks that
// nothing of root's was changed or blocked. They need root and are skipped
// without it.
#include "platform/win32.h"
#include "shared/BasicLogger.h"
#include "shared/LogCategory.h"
#include "shared/LogLevel.h"
#include "support/PrivateStore.h"
#include "support/TestChild.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

namespace fs = std::filesystem;

namespace {

bool shell(const std::string& command) {
    return std::system(command.c_str()) == 0;
}

// Runs a shell command as the other user, without any of root's groups.
bool asOtherUser(const std::string& command) {
    return shell("setpriv --reuid=65534 --regid=65534 --clear-groups sh -c '" + command +
                 "' 2>/dev/null");
}

std::string octalMode(const fs::path& path) {
    std::ostringstream text;
    text << std::oct << (static_cast<unsigned>(fs::symlink_status(path).permissions()) & 07777);
    return text.str();
}

std::string readAll(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// A scratch directory for one test, root's and private, removed afterwards;
// the store variables point into it as each test asks.
class Attack : public ::testing::Test {
protected:
    void SetUp() override {
        if (!shell("test \"$(id -u)\" = 0")) {
            GTEST_SKIP() << "the attacks need root (and setpriv) to play a second user";
        }
        // The child of rootWrites or rootFails, whatever test started it.
        const std::string role = par1test::TestChild::role();
        if (role == "writes" || role == "fails") {
            useRegistry(par1test::TestChild::arguments().at(0));
            const LSTATUS status = writeSetting();
            par1test::TestChild::exit(role == "writes" ? status != ERROR_SUCCESS
                                                       : status == ERROR_SUCCESS);
        }
        root_ =
            fs::temp_directory_path() / ("par1-attack-" + std::to_string(GetCurrentProcessId()) +
                                         "-" + std::to_string(GetTickCount()));
        fs::create_directory(root_);
        // The other user may pass through, not look in.
        fs::permissions(root_,
                        fs::perms::owner_all | fs::perms::group_exec | fs::perms::others_exec);
        // A directory everyone may write to, as /var/tmp/par1 was.
        open_ = root_ / "open";
        fs::create_directory(open_);
        fs::permissions(open_, fs::perms::all);
        // A root-only file of another program, and its original text.
        secret_ = root_ / "secret";
        std::ofstream(secret_) << "root's own\n";
        fs::permissions(secret_, fs::perms::owner_read | fs::perms::owner_write);
    }

    void TearDown() override {
        if (!root_.empty()) {
            par1test::removeStore(root_.string());
        }
    }

    static void useDriveC(const fs::path& path) {
        SetEnvironmentVariableA("PAR1_DRIVE_C", path.string().c_str());
    }
    static void useRegistry(const fs::path& path) {
        SetEnvironmentVariableA("PAR1_REGISTRY", path.string().c_str());
    }

    // What the logger does for a line: open (creating) the log on drive C:
    // and append to it.
    static HANDLE openLog(const char* name = "C:\\vnbx.log") {
        return CreateFileA(name, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                           nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    }

    static LSTATUS writeSetting() {
        HKEY key = nullptr;
        LSTATUS status =
            RegCreateKeyExA(HKEY_LOCAL_MACHINE, "Software\\Par1Attack", 0, nullptr,
                            REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, nullptr, &key, nullptr);
        if (status == ERROR_SUCCESS) {
            DWORD value = 1;
            status = RegSetValueExA(key, "Value", 0, REG_DWORD,
                                    reinterpret_cast<const BYTE*>(&value), sizeof value);
            RegCloseKey(key);
        }
        return status;
    }

    // The registry is opened once per process, at its first call: a test
    // that uses one plays root's part in a child of its own. True when the
    // child's write of a setting answered as expected.
    static bool registryChild(const char* role, const fs::path& registry) {
        par1test::TestChild child(role, {registry.string()});
        return child.wait() && child.exitCode() == 0;
    }
    static bool rootWrites(const fs::path& registry) { return registryChild("writes", registry); }
    static bool rootFails(const fs::path& registry) { return registryChild("fails", registry); }

    fs::path root_;
    fs::path open_;
    fs::path secret_;
};

// The other user links a name on the way to drive C: to a root-only
// directory: root neither follows it nor makes (and opens to all) a
// directory there, and says which directory it refused.
TEST_F(Attack, ALinkPlantedOnTheWayToTheStoreIsNotFollowed) {
    const fs::path rootOnly = root_ / "rootonly";
    fs::create_directory(rootOnly);
    fs::permissions(rootOnly, fs::perms::owner_all);
    ASSERT_TRUE(asOtherUser("ln -s " + rootOnly.string() + " " + (open_ / "a").string()));
    useDriveC(open_ / "a" / "drive_c");
    HANDLE log = openLog();
    EXPECT_EQ(INVALID_HANDLE_VALUE, log);
    EXPECT_EQ(static_cast<DWORD>(ERROR_ACCESS_DENIED), GetLastError());
    CloseHandle(log);
    EXPECT_FALSE(fs::exists(rootOnly / "drive_c"));
}

// drive C: itself replaced by a link to a directory the other user chose:
// root makes no log there.
TEST_F(Attack, DriveCReplacedByALinkGetsNoLog) {
    const fs::path theirs = open_ / "theirs";
    ASSERT_TRUE(asOtherUser("mkdir -m 777 " + theirs.string() + " && ln -s " + theirs.string() +
                            " " + (open_ / "drive_c").string()));
    useDriveC(open_ / "drive_c");
    HANDLE log = openLog();
    EXPECT_EQ(INVALID_HANDLE_VALUE, log);
    CloseHandle(log);
    EXPECT_TRUE(fs::is_empty(theirs));
}

// The log linked by the other user to a root-only file: not one byte reaches
// the file, and its mode stays.
TEST_F(Attack, ALogLinkedToAnotherFileIsNotWrittenThrough) {
    fs::create_directory(open_ / "drive_c");
    fs::permissions(open_ / "drive_c", fs::perms::all);
    ASSERT_TRUE(
        asOtherUser("ln -s " + secret_.string() + " " + (open_ / "drive_c" / "vnbx.log").string()));
    useDriveC(open_ / "drive_c");
    HANDLE log = openLog();
    if (log != INVALID_HANDLE_VALUE) {
        DWORD written = 0;
        WriteFile(log, "line\r\n", 6, &written, nullptr);
        CloseHandle(log);
    }
    EXPECT_EQ(INVALID_HANDLE_VALUE, log);
    EXPECT_EQ("root's own\n", readAll(secret_));
    EXPECT_EQ("600", octalMode(secret_));
}

// Even in a store of root's own, a link in place of the log (planted by a
// member of the store's group, say) is not followed.
TEST_F(Attack, ALinkInPlaceOfTheLogIsNotFollowedEvenInATrustedStore) {
    const fs::path store = root_ / "store";
    fs::create_directory(store);
    fs::permissions(store, fs::perms::owner_all);
    fs::create_symlink(secret_, store / "vnbx.log");
    useDriveC(store);
    HANDLE log = openLog();
    EXPECT_EQ(INVALID_HANDLE_VALUE, log);
    CloseHandle(log);
    EXPECT_EQ("root's own\n", readAll(secret_));
}

// The registry linked to another program's root-only database: root neither
// opens nor changes it.
TEST_F(Attack, ARegistryLinkedToAnotherDatabaseIsNotOpened) {
    const fs::path other = root_ / "other.db";
    ASSERT_TRUE(shell("sqlite3 " + other.string() + " 'CREATE TABLE mine(x)'"));
    fs::permissions(other, fs::perms::owner_read | fs::perms::owner_write);
    ASSERT_TRUE(asOtherUser("ln -s " + other.string() + " " + (open_ / "registry.db").string()));
    EXPECT_TRUE(rootFails(open_ / "registry.db"));
    EXPECT_TRUE(shell("test \"$(sqlite3 " + other.string() + " .tables)\" = mine"));
    EXPECT_TRUE(shell("test \"$(sqlite3 " + other.string() + " 'pragma journal_mode')\" = delete"));
}

// What the platform makes for a store is root's alone, never open to all:
// the other user can neither read the log nor read or change the settings.
TEST_F(Attack, ANewStoreIsPrivateToItsOwner) {
    const fs::path store = root_ / "made" / "store";
    useDriveC(store / "drive_c");
    ASSERT_TRUE(rootWrites(store / "registry.db"));
    HANDLE log = openLog();
    ASSERT_NE(INVALID_HANDLE_VALUE, log);
    CloseHandle(log);
    EXPECT_EQ("700", octalMode(store));
    EXPECT_EQ("700", octalMode(store / "drive_c"));
    EXPECT_EQ("600", octalMode(store / "registry.db"));
    fs::permissions(root_, fs::perms::all); // only the store itself keeps them out
    EXPECT_FALSE(asOtherUser("cat " + (store / "drive_c" / "vnbx.log").string()));
    EXPECT_FALSE(
        asOtherUser("sqlite3 " + (store / "registry.db").string() + " \"DELETE FROM regvalue\""));
    EXPECT_FALSE(
        asOtherUser("mv " + (store / "drive_c").string() + " " + (store / "moved").string()));
}

// The store's named mutexes (the log's lock) are out of the other user's
// reach: it can neither open one to hold it, nor write into it, nor put one
// in their place; root's lock keeps working.
TEST_F(Attack, NamedMutexesCannotBeHeldBrokenOrPlanted) {
    const fs::path store = root_ / "mutexes";
    useDriveC(store);
    // The names the platform used before: planted, they change nothing now.
    asOtherUser("touch /dev/shm/par1-mutex-VNLOG_attack.log; chmod 600 "
                "/dev/shm/par1-mutex-VNLOG_attack.log");
    HANDLE mutex = CreateMutexA(nullptr, FALSE, "VNLOG_attack.log");
    ASSERT_NE(nullptr, mutex) << GetLastError();
    std::string objects;
    std::getline(std::ifstream(store / ".par1-objects"), objects);
    ASSERT_EQ(0u, objects.rfind("par1-", 0)) << objects;
    const fs::path directory = fs::path("/dev/shm") / objects;
    EXPECT_FALSE(asOtherUser("ls " + directory.string()));
    EXPECT_FALSE(asOtherUser("cat " + (directory / "mutex-VNLOG_attack.log").string()));
    EXPECT_FALSE(asOtherUser("printf garbage > " + (directory / "mutex-x").string()));
    EXPECT_FALSE(
        asOtherUser("dd if=/dev/zero of=" + (directory / "mutex-VNLOG_attack.log").string() +
                    " bs=64 count=1 conv=notrunc"));
    EXPECT_EQ("700", octalMode(directory));
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(mutex, 1000));
    EXPECT_TRUE(ReleaseMutex(mutex));
    CloseHandle(mutex);
    shell("rm -f /dev/shm/par1-mutex-VNLOG_attack.log");
}

// A mutex block that a user of the store garbled is refused as not a mutex
// (ERROR_INVALID_HANDLE, and a line to the system log) by the next process
// that opens it, which goes on running.
TEST_F(Attack, AGarbledMutexIsAnErrorNotACrash) {
    if (par1test::TestChild::role() == "open") {
        useDriveC(par1test::TestChild::arguments().at(0));
        HANDLE mutex = CreateMutexA(nullptr, FALSE, "garbled");
        par1test::TestChild::exit(mutex == nullptr && GetLastError() == ERROR_INVALID_HANDLE ? 0
                                                                                             : 1);
    }
    const fs::path store = root_ / "garbled";
    useDriveC(store);
    HANDLE mutex = CreateMutexA(nullptr, FALSE, "garbled");
    ASSERT_NE(nullptr, mutex) << GetLastError();
    std::string objects;
    std::getline(std::ifstream(store / ".par1-objects"), objects);
    ASSERT_TRUE(shell("dd if=/dev/urandom of=/dev/shm/" + objects +
                      "/mutex-garbled bs=64 count=1 conv=notrunc 2>/dev/null"));
    {
        par1test::TestChild child("open", {store.string()});
        EXPECT_TRUE(child.wait());
        EXPECT_EQ(0u, child.exitCode());
    }
    CloseHandle(mutex);
}

// A process holding the registry's write lock (only a user of the store can
// now) makes a registry write fail with ERROR_TIMEOUT within seconds, not
// wait for it.
TEST_F(Attack, AHeldRegistryLockEndsInATimeOut) {
    if (par1test::TestChild::role() == "timeout") {
        useRegistry(par1test::TestChild::arguments().at(0));
        const DWORD before = GetTickCount();
        EXPECT_EQ(ERROR_TIMEOUT, writeSetting());
        EXPECT_LT(GetTickCount() - before, 6000u);
        return;
    }
    const fs::path store = root_ / "registry";
    ASSERT_TRUE(rootWrites(store / "registry.db"));
    const fs::path held = root_ / "held";
    const fs::path hold = root_ / "hold";
    std::ofstream(hold) << "";
    // Holds the lock until the test removes "hold".
    ASSERT_TRUE(shell("sqlite3 " + (store / "registry.db").string() +
                      " 'BEGIN IMMEDIATE' 'INSERT INTO regkey(parent, name) VALUES(0, \"x\")'"
                      " '.shell touch " +
                      held.string() + "; while [ -e " + hold.string() +
                      " ]; do sleep 0.05; done' >/dev/null 2>&1 &"));
    const DWORD startedAt = GetTickCount();
    while (!fs::exists(held) && GetTickCount() - startedAt < 20000) {
        Sleep(10); // the other process's progress shows only in the file system
    }
    ASSERT_TRUE(fs::exists(held));
    {
        par1test::TestChild child("timeout", {(store / "registry.db").string()});
        EXPECT_TRUE(child.wait());
        EXPECT_EQ(0u, child.exitCode());
    }
    fs::remove(hold);
}

// The registry is a plain SQLite database an administrator can check with
// sqlite3 itself.
TEST_F(Attack, TheRegistryPassesSqlitesIntegrityCheck) {
    const fs::path store = root_ / "check";
    ASSERT_TRUE(rootWrites(store / "registry.db"));
    EXPECT_TRUE(shell("test \"$(sqlite3 " + (store / "registry.db").string() +
                      " 'pragma integrity_check')\" = ok"));
}

// A disk that takes only part of a line: the log keeps whole lines only, so
// the next line is never glued to a fragment. A child writes lines under a
// file size limit of 512 bytes (ulimit -f 1, SIGXFSZ ignored).
TEST(WholeLogLines, APartlyWrittenLineIsTakenBack) {
    const std::string store = par1test::TestChild::arguments().empty()
                                  ? std::string()
                                  : par1test::TestChild::arguments().front();
    if (par1test::TestChild::role() == "fill") {
        SetEnvironmentVariableA("PAR1_DRIVE_C", store.c_str());
        BasicLogger logger("C:\\full.log");
        for (int i = 0; i < 40; ++i) {
            logger.log(LogCategories::Par1Transport, LevelError,
                       "line " + std::to_string(i) + " of the test that fills the disk");
        }
        par1test::TestChild::exit(0);
    }
    const fs::path directory =
        fs::temp_directory_path() / ("par1-full-" + std::to_string(GetCurrentProcessId()) + "-" +
                                     std::to_string(GetTickCount()));
    fs::create_directory(directory);
    fs::permissions(directory, fs::perms::owner_all);
    const std::string self = fs::read_symlink("/proc/self/exe").string();
    EXPECT_TRUE(shell("trap '' XFSZ; ulimit -f 1; exec " + self +
                      " --gtest_filter=WholeLogLines.APartlyWrittenLineIsTakenBack"
                      " --par1-test-child-role fill " +
                      directory.string()));
    const std::string log = readAll(directory / "full.log");
    par1test::removeStore(directory.string());
    ASSERT_FALSE(log.empty());
    EXPECT_LE(log.size(), 512u);
    EXPECT_EQ("\r\n", log.substr(log.size() - 2)) << log;
    std::istringstream lines(log);
    std::string line;
    int expected = 0;
    while (std::getline(lines, line)) {
        EXPECT_NE(std::string::npos,
                  line.find("line " + std::to_string(expected++) + " of the test that fills"))
            << line;
    }
}

} // namespace
