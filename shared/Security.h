// Security attributes for kernel objects and registry keys. The base carries
// none (the system's default); SecurityEveryone opens objects to every user.
// All security work is skipped outside the NT family.
#pragma once

#include "platform/win32.h"

class Security {
public:
    Security();
    virtual ~Security();
    Security(const Security&) = delete;
    Security& operator=(const Security&) = delete;

    // For CreateMutexA, CreateEventA, RegCreateKeyExA and the like.
    virtual SECURITY_ATTRIBUTES* getSecurityAttributes();
    // Sets the descriptor's DACL on a kernel object. Throws Win32Exception.
    virtual void doApply(HANDLE object);
    // Sets the descriptor's DACL on a registry key. Throws Win32Exception.
    virtual void doApply(HKEY key);

    // The registry-key doApply, on the NT family only.
    void apply(HKEY key);

protected:
    SECURITY_ATTRIBUTES attributes_;
    bool isNt_;
};
