// DOS device names as Windows keeps them: each name maps to a stack of
// targets, the newest first. Names and targets compare without regard to
// ASCII case. The names belong to the process.
#include "platform/linux/ports.h"

#include <algorithm>
#include <cstring>
#include <mutex>
#include <vector>

namespace {

struct Entry {
    std::string name;
    std::vector<std::string> targets; // oldest first
};

struct DosDevices {
    std::mutex lock;
    std::vector<Entry> entries; // in order of first definition
};

DosDevices& dosDevices() {
    // Never destroyed: ports may be opened while the process exits.
    static DosDevices* instance = new DosDevices;
    return *instance;
}

char upper(char c) {
    return (c >= 'a' && c <= 'z') ? char(c - 'a' + 'A') : c;
}

bool sameText(const std::string& a, const std::string& b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(),
                                              [](char x, char y) { return upper(x) == upper(y); });
}

bool startsWith(const std::string& text, const std::string& prefix) {
    return text.size() >= prefix.size() && sameText(text.substr(0, prefix.size()), prefix);
}

// A DOS path becomes the NT path Windows stores for it.
std::string ntTarget(DWORD flags, const std::string& target) {
    return (flags & DDD_RAW_TARGET_PATH) != 0 ? target : "\\??\\" + target;
}

std::vector<Entry>::iterator find(std::vector<Entry>& entries, const std::string& name) {
    return std::find_if(entries.begin(), entries.end(),
                        [&](const Entry& entry) { return sameText(entry.name, name); });
}

// Registered when the program starts. It sits with the DOS device names so
// that a program which can name a port can open it too.
[[maybe_unused]] const int parallelOpener = platform::addDeviceOpener(platform::openParallelPort);

} // namespace

namespace platform {

bool dosDeviceTarget(const std::string& name, std::string& target) {
    DosDevices& all = dosDevices();
    std::lock_guard<std::mutex> guard(all.lock);
    auto entry = find(all.entries, name);
    if (entry == all.entries.end()) {
        return false;
    }
    target = entry->targets.back();
    return true;
}

} // namespace platform

BOOL DefineDosDeviceA(DWORD flags, LPCSTR deviceName, LPCSTR targetPath) {
    if (deviceName == nullptr || *deviceName == '\0') {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    const std::string name = deviceName;
    if (name.back() == '\\') {
        SetLastError(ERROR_INVALID_NAME);
        return FALSE;
    }
    const bool haveTarget = targetPath != nullptr && *targetPath != '\0';
    DosDevices& all = dosDevices();
    std::lock_guard<std::mutex> guard(all.lock);
    auto entry = find(all.entries, name);

    if ((flags & DDD_REMOVE_DEFINITION) == 0) {
        if (!haveTarget) {
            SetLastError(ERROR_INVALID_PARAMETER);
            return FALSE;
        }
        if (entry == all.entries.end()) {
            all.entries.push_back(Entry{name, {}});
            entry = all.entries.end() - 1;
        }
        entry->targets.push_back(ntTarget(flags, targetPath));
        return TRUE;
    }

    if (entry == all.entries.end()) {
        SetLastError(ERROR_FILE_NOT_FOUND);
        return FALSE;
    }
    std::vector<std::string>& targets = entry->targets;
    if (!haveTarget) {
        targets.pop_back();
    } else {
        // The newest definition that matches, exactly or as a prefix.
        const std::string wanted = ntTarget(flags, targetPath);
        const bool exact = (flags & DDD_EXACT_MATCH_ON_REMOVE) != 0;
        auto match = std::find_if(targets.rbegin(), targets.rend(), [&](const std::string& t) {
            return exact ? sameText(t, wanted) : startsWith(t, wanted);
        });
        if (match == targets.rend()) {
            SetLastError(ERROR_FILE_NOT_FOUND);
            return FALSE;
        }
        targets.erase(std::next(match).base());
    }
    if (targets.empty()) {
        all.entries.erase(entry);
    }
    return TRUE;
}

DWORD QueryDosDeviceA(LPCSTR deviceName, LPSTR targetPath, DWORD max) {
    std::vector<std::string> list;
    {
        DosDevices& all = dosDevices();
        std::lock_guard<std::mutex> guard(all.lock);
        if (deviceName == nullptr) {
            for (const Entry& entry : all.entries) {
                list.push_back(entry.name);
            }
        } else {
            auto entry = find(all.entries, deviceName);
            if (entry == all.entries.end()) {
                SetLastError(ERROR_FILE_NOT_FOUND);
                return 0;
            }
            list.assign(entry->targets.rbegin(), entry->targets.rend());
        }
    }
    // Each string with its zero, then a final zero.
    size_t needed = 1;
    for (const std::string& s : list) {
        needed += s.size() + 1;
    }
    if (targetPath == nullptr || needed > max) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return 0;
    }
    char* p = targetPath;
    for (const std::string& s : list) {
        std::memcpy(p, s.c_str(), s.size() + 1);
        p += s.size() + 1;
    }
    *p = '\0';
    return DWORD(needed);
}
