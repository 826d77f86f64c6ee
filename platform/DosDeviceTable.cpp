#include "platform/DosDeviceTable.h"

#include <algorithm>
#include <cstring>

namespace platform {

namespace {

char upper(char c) {
    return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
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

// Copies strings, each with its zero, and a final zero; 0 and
// ERROR_INSUFFICIENT_BUFFER when they do not fit.
DWORD copyList(const std::vector<std::string>& list, LPSTR buffer, DWORD max) {
    std::size_t needed = 1;
    for (const std::string& s : list) {
        needed += s.size() + 1;
    }
    if (buffer == nullptr || needed > max) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return 0;
    }
    char* p = buffer;
    for (const std::string& s : list) {
        std::memcpy(p, s.c_str(), s.size() + 1);
        p += s.size() + 1;
    }
    *p = '\0';
    return static_cast<DWORD>(needed);
}

} // namespace

const DosDeviceTable::Entry* DosDeviceTable::find(const std::string& name) const {
    for (const Entry& entry : entries_) {
        if (sameText(entry.name, name)) {
            return &entry;
        }
    }
    return nullptr;
}

BOOL DosDeviceTable::define(DWORD flags, LPCSTR deviceName, LPCSTR targetPath) {
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
    Entry* entry = const_cast<Entry*>(find(name));

    if ((flags & DDD_REMOVE_DEFINITION) == 0) {
        if (!haveTarget) {
            SetLastError(ERROR_INVALID_PARAMETER);
            return FALSE;
        }
        if (entry == nullptr) {
            entries_.push_back(Entry{name, {}});
            entry = &entries_.back();
        }
        entry->targets.push_back(ntTarget(flags, targetPath));
        return TRUE;
    }

    if (entry == nullptr) {
        SetLastError(ERROR_FILE_NOT_FOUND);
        return FALSE;
    }
    std::vector<std::string>& targets = entry->targets;
    if (!haveTarget) {
        targets.pop_back();
    } else {
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
        entries_.erase(entries_.begin() + (entry - entries_.data()));
    }
    return TRUE;
}

DWORD DosDeviceTable::query(LPCSTR deviceName, LPSTR targetPath, DWORD max) const {
    std::vector<std::string> list;
    if (deviceName == nullptr) {
        for (const Entry& entry : entries_) {
            list.push_back(entry.name);
        }
    } else {
        list = targets(deviceName);
        if (list.empty()) {
            SetLastError(ERROR_FILE_NOT_FOUND);
            return 0;
        }
    }
    return copyList(list, targetPath, max);
}

std::vector<std::string> DosDeviceTable::targets(const std::string& deviceName) const {
    const Entry* entry = find(deviceName);
    if (entry == nullptr) {
        return {};
    }
    return std::vector<std::string>(entry->targets.rbegin(), entry->targets.rend());
}

} // namespace platform
