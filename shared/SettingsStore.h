// Typed settings below a product key in HKEY_LOCAL_MACHINE. Keys are named
// relative to the root of a store kind. Reads, writes, listings and value
// deletes answer false (or the code) on a failure and leave the code in
// GetLastError(); deleting a key or the store lets the failure pass.
#pragma once

#include "protocol/Data.h"

#include <cstdint>
#include <list>
#include <string>

class SettingsStore {
public:
    // Store kinds: the roots below the product key.
    static const uint32_t LocalStore = 0;
    static const uint32_t SharedStore = 1;
    static const uint32_t TemporaryStore = 2;

    // Both texts get a trailing backslash when they lack one (the local id
    // only when it is not empty).
    SettingsStore(const std::string& productPath, const std::string& localId);
    virtual ~SettingsStore();

    virtual bool getBytes(const std::string& key, const std::string& name, Data& value,
                          const Data& defaultValue, uint32_t kind);
    virtual bool getBytes(const std::string& key, const std::string& name, Data& value,
                          uint32_t kind);
    // The read with default: false, value unchanged, when the product key is
    // missing or the read fails; a missing value is written with the default,
    // which is then the value.
    virtual bool getNumber(const std::string& key, const std::string& name, uint32_t& value,
                           uint32_t defaultValue, uint32_t kind);
    // Without default: true and the value when it exists; creates nothing.
    virtual bool getNumber(const std::string& key, const std::string& name, uint32_t& value,
                           uint32_t kind);
    virtual bool getText(const std::string& key, const std::string& name, std::string& value,
                         const std::string& defaultValue, uint32_t kind);
    virtual bool getText(const std::string& key, const std::string& name, std::string& value,
                         uint32_t kind);
    // Open or create the key, then write.
    virtual bool setText(const std::string& key, const std::string& name, const std::string& value,
                         uint32_t kind);
    virtual bool setNumber(const std::string& key, const std::string& name, uint32_t value,
                           uint32_t kind);
    // Appends the key's value names; false when it has none.
    virtual bool getValueNames(const std::string& key, std::list<std::string>& names,
                               uint32_t kind);
    // Deletes the key with its subkeys; a missing key raises Win32Exception.
    virtual bool deleteKey(const std::string& key, uint32_t kind);
    // 0, or the error code.
    virtual uint32_t deleteValue(const std::string& key, const std::string& name, uint32_t kind);
    // Deletes this module's local store, and the product key with it when no
    // other module's store remains (then true).
    virtual bool deleteStore();
    virtual std::string getRootPath(uint32_t kind);

    // Whether the product key exists.
    bool exists();

protected:
    std::string productPath_;
    std::string localId_;
};
