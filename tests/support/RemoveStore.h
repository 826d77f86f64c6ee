// Removes a private store made for a test or benchmark run: its directory
// and, on Linux, the directories of its named objects in /dev/shm, which the
// records ".par1-objects" in it (one per drive C: used) name.
#pragma once

#include <filesystem>
#include <fstream>
#include <string>
#include <system_error>

namespace par1test {

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
