// Removes a private store made for a test or benchmark run: its directory
// and, on Linux, the directory of its named objects in /dev/shm, which the
// store's record ".par1-objects" names.
#pragma once

#include <filesystem>
#include <fstream>
#include <string>
#include <system_error>

namespace par1test {

inline void removeStore(const std::string& directory) {
    std::error_code ignored;
#ifndef _WIN32
    std::ifstream record(directory + "/drive_c/.par1-objects");
    std::string objects;
    if (std::getline(record, objects) && objects.rfind("par1-", 0) == 0 &&
        objects.find('/') == std::string::npos) {
        std::filesystem::remove_all("/dev/shm/" + objects, ignored);
    }
#endif
    std::filesystem::remove_all(directory, ignored);
}

} // namespace par1test
