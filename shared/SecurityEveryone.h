// Security attributes that give every user (the world group, "Everyone")
// full access: a descriptor whose DACL holds one access-allowed entry for the
// world identifier. With containerInherit the entry is inherited by subkeys.
// Outside the NT family it builds nothing and carries no descriptor.
#pragma once

#include "shared/Security.h"

#include <memory>
#include <vector>

class SecurityEveryone : public Security {
public:
    // Throws Win32Exception.
    explicit SecurityEveryone(bool containerInherit);
    ~SecurityEveryone() override;

private:
    struct SidDeleter {
        void operator()(void* sid) const;
    };

    void setSecurityIdEveryone();

    std::unique_ptr<SECURITY_DESCRIPTOR> descriptor_;
    // DWORDs, for the list's alignment.
    std::vector<DWORD> acl_;
    std::unique_ptr<void, SidDeleter> everyone_;
};
