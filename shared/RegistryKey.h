// An open registry key. Every failed registry call raises Win32Exception
// with the call's result as code and "RegistryKey" as file; keys that this
// class creates are open to everyone, and their subkeys inherit that.
#pragma once

#include "platform/win32.h"
#include "protocol/Data.h"
#include "shared/SecurityEveryone.h"

#include <cstdint>
#include <list>
#include <memory>
#include <string>

class RegistryKey {
public:
    // Opens path below hive with full access; when that fails and create is
    // true, creates the key instead (with its missing parents).
    RegistryKey(const std::string& path, bool create, HKEY hive = HKEY_LOCAL_MACHINE);
    ~RegistryKey();
    RegistryKey(const RegistryKey&) = delete;
    RegistryKey& operator=(const RegistryKey&) = delete;

    // False when the value does not exist; a value of another type raises
    // (code 0).
    bool getValue(const std::string& name, uint32_t& number);
    bool getValue(const std::string& name, std::string& text);
    bool getValue(const std::string& name, Data& bytes);

    // REG_DWORD, REG_SZ with its terminating zero, REG_BINARY.
    void setValue(const std::string& name, uint32_t number);
    void setValue(const std::string& name, const std::string& text);
    void setValue(const std::string& name, const Data& bytes);

    // A missing value is not an error.
    void deleteValue(const std::string& name);

    // Appends the names of the first maximum subkeys, in the registry's order.
    void getChildrenNames(std::list<std::string>& names, uint32_t maximum);
    // Appends the names of all values.
    void getValueNames(std::list<std::string>& names);

    HKEY getHandle() const { return handle_; }

    // Deletes a key with all its subkeys; a missing key is no error. The
    // hive's "SOFTWARE" key itself is never deleted (only what it holds),
    // and an empty path (the hive itself) is refused with
    // ERROR_INVALID_PARAMETER.
    static bool recurseDeleteKey(const std::string& path, HKEY hive = HKEY_LOCAL_MACHINE);

private:
    void openKey(const std::string& path, HKEY hive);
    void createKey(const std::string& path, HKEY hive);
    static void deleteTree(const std::string& path, HKEY parent, bool keepKey);

    HKEY handle_;
    // Built only for a key this object creates: opening needs no descriptor,
    // and building one costs more than the open itself.
    std::unique_ptr<SecurityEveryone> security_;
};
