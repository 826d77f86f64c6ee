#include "shared/SettingsStore.h"
#include "TestStore.h"
#include "platform/win32.h"
#include "protocol/Data.h"
#include "shared/BrandTable.h"
#include "shared/Localize.h"
#include "shared/RegistryKey.h"
#include "shared/RuntimeSettings.h"
#include "shared/Win32Exception.h"

#include <gtest/gtest.h>

#include <list>
#include <string>

namespace {

bool keyExists(const std::string& path) {
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) {
        return false;
    }
    RegCloseKey(key);
    return true;
}

std::list<std::string> valueNames(const std::string& path) {
    std::list<std::string> names;
    if (keyExists(path)) {
        RegistryKey key(path, false);
        key.getValueNames(names);
    }
    return names;
}

} // namespace

TEST(BrandTable, TheFirstTwoCharactersOfTheLocalIdNameTheBrand) {
    struct Case {
        const char* localId;
        const char* brandKey;
    };
    const Case cases[] = {
        {"vnbx", "Vantrel"},       {"VNBX", "Vantrel"},
        {"vN", "Vantrel"},         {"kxab", "Kestrix Document Systems"},
        {"shar", "Vantrel Tools"}, // no brand has "sh"
        {"v", "Vantrel Tools"},    {"", "Vantrel Tools"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(c.brandKey, findBrandKey(c.localId)) << c.localId;
    }
}

TEST(LocalizePaths, UnknownBrandGivesTheDefaultProductKey) {
    Localize::createInstance(nullptr);
    Localize* localize = Localize::getInstance();
    ASSERT_EQ("shar", localize->getLocalId());
    EXPECT_EQ("Software\\Vantrel Tools", localize->getBrandRoot());
    EXPECT_EQ("Software\\Vantrel Tools\\Kes\\", localize->getProductPath());
    EXPECT_EQ("Software\\Vantrel Tools\\Kes\\Local\\shar\\", localize->getStorePath(0));
    EXPECT_EQ("Software\\Vantrel Tools\\Kes\\Shared\\", localize->getStorePath(1));
    EXPECT_EQ("Software\\VantrelTemp\\temp", localize->getStorePath(2));
    EXPECT_EQ("Software\\VantrelTemp\\temp", localize->getStorePath(77));
}

TEST(SettingsStorePaths, RootsBelowTheProductKey) {
    SettingsStore store("Software\\P\\Kes", "abcd");
    EXPECT_EQ("Software\\P\\Kes\\Local\\abcd\\", store.getRootPath(0));
    EXPECT_EQ("Software\\P\\Kes\\Shared\\", store.getRootPath(1));
    EXPECT_EQ("Software\\P\\Kes\\Shared\\", store.getRootPath(2));
    SettingsStore withBackslashes("Software\\P\\Kes\\", "abcd\\");
    EXPECT_EQ("Software\\P\\Kes\\Local\\abcd\\", withBackslashes.getRootPath(0));
    SettingsStore noLocalId("Software\\P\\Kes", "");
    EXPECT_EQ("Software\\P\\Kes\\", noLocalId.getRootPath(0));
    EXPECT_EQ("Software\\P\\Kes\\", noLocalId.getRootPath(1));
}

using RuntimeSettingsTest = LocalStoreTest;

TEST_F(RuntimeSettingsTest, FirstRunWritesTheDefaultAndReturnsIt) {
    RuntimeSettings settings;
    EXPECT_TRUE(settings.isLocalStorePresent());
    EXPECT_EQ(store_, settings.getRootPath(0));
    uint32_t value = 0;
    EXPECT_TRUE(settings.getNumber("Par1\\Settings\\", "ReadTimeout", value, 50, 0));
    EXPECT_EQ(50u, value);
    RegistryKey key(store_ + "Par1\\Settings", false);
    uint32_t stored = 0;
    EXPECT_TRUE(key.getValue("ReadTimeout", stored));
    EXPECT_EQ(50u, stored);

    // Later reads answer what is stored, not the default.
    key.setValue("ReadTimeout", 120u);
    EXPECT_TRUE(settings.getNumber("Par1\\Settings\\", "ReadTimeout", value, 50, 0));
    EXPECT_EQ(120u, value);
}

TEST_F(RuntimeSettingsTest, AMissingLocalStoreIsNoticed) {
    teststore::deleteStore();
    RuntimeSettings settings;
    EXPECT_FALSE(settings.isLocalStorePresent());
}

TEST_F(RuntimeSettingsTest, AValueOfTheWrongTypeLeavesCallerAndRegistryAlone) {
    {
        RegistryKey key(store_ + "Par1\\Settings", true);
        key.setValue("ReadTimeout", std::string("50"));
    }
    RuntimeSettings settings;
    uint32_t value = 1234;
    SetLastError(5);
    EXPECT_FALSE(settings.getNumber("Par1\\Settings\\", "ReadTimeout", value, 50, 0));
    EXPECT_EQ(1234u, value);
    EXPECT_EQ(0u, GetLastError()); // the type mismatch carries code 0

    RegistryKey key(store_ + "Par1\\Settings", false);
    std::string text;
    EXPECT_TRUE(key.getValue("ReadTimeout", text));
    EXPECT_EQ("50", text);
    EXPECT_EQ((std::list<std::string>{"ReadTimeout"}), valueNames(store_ + "Par1\\Settings"));
}

TEST_F(RuntimeSettingsTest, ReadsWithoutDefaultCreateNothing) {
    RuntimeSettings settings;
    uint32_t value = 9;
    SetLastError(0);
    EXPECT_FALSE(settings.getNumber("Par1\\Settings\\", "ReadTimeout", value, 0));
    EXPECT_EQ(9u, value);
    EXPECT_EQ(2u, GetLastError()); // the key is missing
    EXPECT_FALSE(keyExists(store_ + "Par1"));

    EXPECT_TRUE(settings.setNumber("Par1\\Settings\\", "ReadTimeout", 75, 0));
    EXPECT_TRUE(settings.getNumber("Par1\\Settings\\", "ReadTimeout", value, 0));
    EXPECT_EQ(75u, value);
    EXPECT_FALSE(settings.getNumber("Par1\\Settings\\", "NpaTimeout", value, 0));
    EXPECT_EQ(75u, value);
    EXPECT_EQ((std::list<std::string>{"ReadTimeout"}), valueNames(store_ + "Par1\\Settings"));
}

TEST_F(RuntimeSettingsTest, TextAndBytesReadWithDefault) {
    RuntimeSettings settings;
    std::string text;
    EXPECT_TRUE(settings.getText("Strings", "Name", text, "default name", 0));
    EXPECT_EQ("default name", text);
    EXPECT_TRUE(settings.setText("Strings", "Name", "stored", 0));
    EXPECT_TRUE(settings.getText("Strings", "Name", text, "default name", 0));
    EXPECT_EQ("stored", text);
    EXPECT_TRUE(settings.getText("Strings", "Name", text, 0));
    EXPECT_EQ("stored", text);

    const uint8_t raw[] = {0x1B, 0x45};
    Data bytes(0, 255);
    EXPECT_TRUE(settings.getBytes("Blobs", "Reset", bytes, Data(raw, 2), 0));
    EXPECT_EQ(Data(raw, 2), bytes);
    Data again(0, 255);
    EXPECT_TRUE(settings.getBytes("Blobs", "Reset", again, 0));
    EXPECT_EQ(Data(raw, 2), again);
    EXPECT_FALSE(settings.getBytes("Blobs", "Missing", again, 0));
}

TEST_F(RuntimeSettingsTest, ValueNamesAndDeletes) {
    RuntimeSettings settings;
    std::list<std::string> names;
    EXPECT_FALSE(settings.getValueNames("Par1\\Settings\\", names, 0)); // missing
    EXPECT_TRUE(settings.setNumber("Par1\\Settings\\", "NpaTimeout", 6000, 0));
    EXPECT_TRUE(settings.setNumber("Par1\\Settings\\", "ReadTimeout", 50, 0));
    EXPECT_TRUE(settings.getValueNames("Par1\\Settings\\", names, 0));
    names.sort();
    EXPECT_EQ((std::list<std::string>{"NpaTimeout", "ReadTimeout"}), names);

    EXPECT_EQ(0u, settings.deleteValue("Par1\\Settings\\", "NpaTimeout", 0));
    EXPECT_EQ(0u, settings.deleteValue("Par1\\Settings\\", "NpaTimeout", 0)); // already gone
    SetLastError(0);
    EXPECT_EQ(2u, settings.deleteValue("Nowhere", "NpaTimeout", 0));
    EXPECT_EQ(2u, GetLastError());

    { RegistryKey empty(store_ + "Empty", true); }
    names.clear();
    EXPECT_FALSE(settings.getValueNames("Empty", names, 0));

    EXPECT_TRUE(settings.deleteKey("Par1", 0));
    EXPECT_FALSE(keyExists(store_ + "Par1"));
    try {
        settings.deleteKey("Par1", 0);
        ADD_FAILURE() << "deleting a missing key must raise";
    } catch (Win32Exception& e) {
        EXPECT_EQ(2u, e.getErrorCode());
        EXPECT_EQ("RegistryKey::openKey()", e.getMessage());
    }
}

// Stores with product keys of their own, below this program's local store.
class OwnProductTest : public LocalStoreTest {
protected:
    void SetUp() override {
        LocalStoreTest::SetUp();
        product_ = store_ + "Product\\Kes\\";
    }

    std::string product_;
};

TEST_F(OwnProductTest, AMissingProductKeyAnswersFalseAndWritesNothing) {
    SettingsStore store(product_, "vnbx");
    EXPECT_FALSE(store.exists());
    uint32_t number = 7;
    EXPECT_FALSE(store.getNumber("Par1\\Settings\\", "ReadTimeout", number, 50, 0));
    EXPECT_EQ(7u, number);
    std::string text = "kept";
    EXPECT_FALSE(store.getText("Par1\\Settings\\", "Name", text, "default", 0));
    EXPECT_EQ("kept", text);
    Data bytes(std::string("kept"));
    EXPECT_FALSE(store.getBytes("Par1\\Settings\\", "Bytes", bytes, Data(3, 0), 0));
    EXPECT_EQ(Data(std::string("kept")), bytes);
    EXPECT_FALSE(keyExists(store_ + "Product"));
}

TEST_F(OwnProductTest, DeleteStoreKeepsTheProductWhileAnotherStoreRemains) {
    { RegistryKey ours(product_ + "Local\\aaaa\\Logger", true); }
    { RegistryKey theirs(product_ + "Local\\bbbb\\Logger", true); }
    SettingsStore ours(product_, "aaaa");
    EXPECT_TRUE(ours.exists());
    EXPECT_FALSE(ours.deleteStore());
    EXPECT_FALSE(keyExists(product_ + "Local\\aaaa"));
    EXPECT_TRUE(keyExists(product_ + "Local\\bbbb\\Logger"));

    // The last store takes the product key with it.
    SettingsStore theirs(product_, "bbbb");
    EXPECT_TRUE(theirs.deleteStore());
    EXPECT_FALSE(keyExists(product_));
    EXPECT_TRUE(keyExists(store_ + "Product"));
}

TEST_F(OwnProductTest, DeleteStoreWithoutAnyLocalStoresDeletesTheProduct) {
    { RegistryKey shared(product_ + "Shared", true); }
    SettingsStore store(product_, "aaaa");
    EXPECT_TRUE(store.deleteStore());
    EXPECT_FALSE(keyExists(product_));

    { RegistryKey local(product_ + "Local\\cccc", true); }
    SettingsStore whole(product_, "");
    EXPECT_TRUE(whole.deleteStore());
    EXPECT_FALSE(keyExists(product_));
}
