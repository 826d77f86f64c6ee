// DOS device names as Windows keeps them: a name maps to a stack of targets,
// the newest first. A definition pushes a target; a removal pops the newest,
// or the newest that matches a given target. Names and targets compare without
// regard to ASCII case. Not locked: the owner serialises calls. The Linux
// platform keeps the process's names in one; the virtual printer keeps its
// own, on both builds.
#pragma once

#include "platform/win32.h"

#include <string>
#include <vector>

namespace platform {

class DosDeviceTable {
public:
    // DefineDosDeviceA and QueryDosDeviceA, with their results and last errors.
    BOOL define(DWORD flags, LPCSTR deviceName, LPCSTR targetPath);
    DWORD query(LPCSTR deviceName, LPSTR targetPath, DWORD max) const;

    // The targets of a name, newest first; empty when it is not defined.
    std::vector<std::string> targets(const std::string& deviceName) const;

private:
    struct Entry {
        std::string name;
        std::vector<std::string> targets; // oldest first
    };
    std::vector<Entry> entries_; // in order of first definition

    const Entry* find(const std::string& name) const;
};

} // namespace platform
