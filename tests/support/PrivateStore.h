// A private store for a test or benchmark run on the Linux build: a registry
// and a drive C: of its own below the temporary directory, so that runs never
// touch the host's shared store and several can go on at once. Shared by the
// test programs (support/PrivateHostStore) and the benchmarks.
#pragma once

#include "platform/win32.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <system_error>

namespace par1test {

// Marks the store as set up, so that a child process keeps its parent's.
inline const char storeVariable[] = "PAR1_TEST_STORE";

// Points PAR1_REGISTRY and PAR1_DRIVE_C (and the marker) at a new directory
// named after prefix, the process and the time, and answers it; the caller
// removes it. Nothing on Windows, where the system's registry is used.
inline std::string makePrivateStore(const std::string& prefix) {
#ifndef _WIN32
    const char* temporary = std::getenv("TMPDIR");
    const std::string directory =
        std::string(temporary != nullptr && *temporary != '\0' ? temporary : "/tmp") + "/" +
        prefix + std::to_string(GetCurrentProcessId()) + "-" + std::to_string(GetTickCount());
    SetEnvironmentVariableA(storeVariable, directory.c_str());
    SetEnvironmentVariableA("PAR1_REGISTRY", (directory + "/registry.db").c_str());
    SetEnvironmentVariableA("PAR1_DRIVE_C", (directory + "/drive_c").c_str());
    return directory;
#else
    (void)prefix;
    return std::string();
#endif
}

// Removes a private store: its directory and, on Linux, the directories of
// its named objects in /dev/shm, which the records ".par1-objects" in it (one
// per drive C: used) name.
inline void removeStore(const std::string& directory) {
    std::error_code ignored;
#ifndef _WIN32
    for (std::filesystem::recursive_directory_iterator it(directory, ignored), end;
         !ignored && it != end; it.increment(ignored)) {
        if (it->path().filename() != ".par1-objects") {
            continue;
        }
        std::ifstream record(it->path());
        std::string objects;
        if (std::getline(record, objects) && objects.rfind("par1-", 0) == 0 &&
            objects.find('/') == std::string::npos) {
            std::error_code removal;
            std::filesystem::remove_all("/dev/shm/" + objects, removal);
        }
    }
    ignored.clear();
#endif
    std::filesystem::remove_all(directory, ignored);
}

} // namespace par1test
