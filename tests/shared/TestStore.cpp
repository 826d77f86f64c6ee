#include "TestStore.h"

#include "shared/Localize.h"
#include "shared/RegistryKey.h"
#include "support/PrivateHostStore.h"

namespace {

const bool privateStore = par1test::usePrivateHostStore();

} // namespace

namespace teststore {

std::string storePath() {
    Localize::createInstance(nullptr);
    std::string path = Localize::getInstance()->getStorePath(0);
    // Never let a wrong path reach a recursive delete.
    const std::string expected = "\\Kes\\Local\\shar\\";
    if (path.size() <= expected.size() ||
        path.compare(path.size() - expected.size(), expected.size(), expected) != 0) {
        ADD_FAILURE() << "unexpected local store " << path;
        return std::string();
    }
    return path;
}

void deleteStore() {
    std::string path = storePath();
    if (!path.empty()) {
        RegistryKey::recurseDeleteKey(path);
    }
}

void createEmptyStore() {
    deleteStore();
    std::string path = storePath();
    if (!path.empty()) {
        RegistryKey created(path, true);
    }
}

} // namespace teststore

void LocalStoreTest::SetUp() {
    (void)privateStore;
    store_ = teststore::storePath();
    ASSERT_FALSE(store_.empty());
    teststore::createEmptyStore();
}

void LocalStoreTest::TearDown() {
    teststore::deleteStore();
}
