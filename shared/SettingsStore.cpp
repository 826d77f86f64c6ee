#include "shared/SettingsStore.h"

#include "platform/win32.h"
#include "shared/RegistryKey.h"
#include "shared/Win32Exception.h"

namespace {

std::string withBackslash(const std::string& text) {
    if (!text.empty() && text.back() == '\\') {
        return text;
    }
    return text + "\\";
}

// Leaves the failure's code for GetLastError().
void keepCode(const Win32Exception& failure) {
    SetLastError(failure.getErrorCode());
}

// The read with default, for any value type the key reads and writes.
template <class Value>
bool readWithDefault(SettingsStore& store, const std::string& path, const std::string& name,
                     Value& value, const Value& defaultValue) {
    if (!store.exists()) {
        return false;
    }
    try {
        RegistryKey key(path, true);
        Value read(defaultValue);
        if (!key.getValue(name, read)) {
            key.setValue(name, defaultValue);
            read = defaultValue;
        }
        value = read;
        return true;
    } catch (Win32Exception& failure) {
        keepCode(failure);
        return false;
    }
}

template <class Value>
bool readExisting(const std::string& path, const std::string& name, Value& value) {
    try {
        RegistryKey key(path, false);
        Value read(value);
        if (!key.getValue(name, read)) {
            return false;
        }
        value = read;
        return true;
    } catch (Win32Exception& failure) {
        keepCode(failure);
        return false;
    }
}

template <class Value>
bool write(const std::string& path, const std::string& name, const Value& value) {
    try {
        RegistryKey key(path, true);
        key.setValue(name, value);
        return true;
    } catch (Win32Exception& failure) {
        keepCode(failure);
        return false;
    }
}

} // namespace

SettingsStore::SettingsStore(const std::string& productPath, const std::string& localId)
    : productPath_(withBackslash(productPath)),
      localId_(localId.empty() ? localId : withBackslash(localId)) {}

SettingsStore::~SettingsStore() = default;

bool SettingsStore::getBytes(const std::string& key, const std::string& name, Data& value,
                             const Data& defaultValue, uint32_t kind) {
    return readWithDefault(*this, getRootPath(kind) + key, name, value, defaultValue);
}

bool SettingsStore::getBytes(const std::string& key, const std::string& name, Data& value,
                             uint32_t kind) {
    return readExisting(getRootPath(kind) + key, name, value);
}

bool SettingsStore::getNumber(const std::string& key, const std::string& name, uint32_t& value,
                              uint32_t defaultValue, uint32_t kind) {
    return readWithDefault(*this, getRootPath(kind) + key, name, value, defaultValue);
}

bool SettingsStore::getNumber(const std::string& key, const std::string& name, uint32_t& value,
                              uint32_t kind) {
    return readExisting(getRootPath(kind) + key, name, value);
}

bool SettingsStore::getText(const std::string& key, const std::string& name, std::string& value,
                            const std::string& defaultValue, uint32_t kind) {
    return readWithDefault(*this, getRootPath(kind) + key, name, value, defaultValue);
}

bool SettingsStore::getText(const std::string& key, const std::string& name, std::string& value,
                            uint32_t kind) {
    return readExisting(getRootPath(kind) + key, name, value);
}

bool SettingsStore::setText(const std::string& key, const std::string& name,
                            const std::string& value, uint32_t kind) {
    return write(getRootPath(kind) + key, name, value);
}

bool SettingsStore::setNumber(const std::string& key, const std::string& name, uint32_t value,
                              uint32_t kind) {
    return write(getRootPath(kind) + key, name, value);
}

bool SettingsStore::getValueNames(const std::string& key, std::list<std::string>& names,
                                  uint32_t kind) {
    try {
        RegistryKey registryKey(getRootPath(kind) + key, false);
        std::list<std::string> found;
        registryKey.getValueNames(found);
        bool any = !found.empty();
        names.splice(names.end(), found);
        return any;
    } catch (Win32Exception& failure) {
        keepCode(failure);
        return false;
    }
}

bool SettingsStore::deleteKey(const std::string& key, uint32_t kind) {
    std::string path = getRootPath(kind) + key;
    {
        // A missing key is the caller's error.
        RegistryKey existing(path, false);
    }
    return RegistryKey::recurseDeleteKey(path);
}

uint32_t SettingsStore::deleteValue(const std::string& key, const std::string& name,
                                    uint32_t kind) {
    try {
        RegistryKey registryKey(getRootPath(kind) + key, false);
        registryKey.deleteValue(name);
        return ERROR_SUCCESS;
    } catch (Win32Exception& failure) {
        keepCode(failure);
        return failure.getErrorCode();
    }
}

bool SettingsStore::deleteStore() {
    if (localId_.empty()) {
        RegistryKey::recurseDeleteKey(productPath_);
        return true;
    }
    std::string stores = productPath_ + "Local\\";
    RegistryKey::recurseDeleteKey(stores + localId_);
    std::list<std::string> remaining;
    try {
        RegistryKey local(stores, false);
        local.getChildrenNames(remaining, 100);
    } catch (Win32Exception& failure) {
        // No "Local" key at all: no other module's store remains either.
        if (failure.getErrorCode() != ERROR_FILE_NOT_FOUND) {
            throw;
        }
    }
    if (!remaining.empty()) {
        return false;
    }
    RegistryKey::recurseDeleteKey(productPath_);
    return true;
}

std::string SettingsStore::getRootPath(uint32_t kind) {
    if (localId_.empty()) {
        return productPath_;
    }
    if (kind == LocalStore) {
        return productPath_ + "Local\\" + localId_;
    }
    return productPath_ + "Shared\\";
}

bool SettingsStore::exists() {
    try {
        RegistryKey product(productPath_, false);
        return true;
    } catch (Win32Exception&) {
        return false;
    }
}
