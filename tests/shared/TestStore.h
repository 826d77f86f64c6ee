// The registry below this test program's own local store, and nothing else.
// The program's local id comes from its file name (shared_tests: "shar"),
// so its store is "Software\Vantrel Tools\Kes\Local\shar\" in
// HKEY_LOCAL_MACHINE: in Wine's private prefix on Windows, in a private store
// of the test run on Linux.
#pragma once

#include <gtest/gtest.h>

#include <string>

namespace teststore {

// The local store's path; the test fails when it is not the test program's.
std::string storePath();
// Deletes the local store with everything below it.
void deleteStore();
// Creates an empty local store (after deleting what was there).
void createEmptyStore();

} // namespace teststore

// A fresh, empty local store for each test, removed afterwards.
class LocalStoreTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    std::string store_;
};
