#include "shared/RegistryKey.h"

#include "shared/Win32Exception.h"

#include <vector>

namespace {

// Longest names the registry allows, plus the terminating zero.
const DWORD keyNameBuffer = 256;
const DWORD valueNameBuffer = 16384;

[[noreturn]] void raise(const std::string& message, LONG code, uint32_t line) {
    throw Win32Exception(message, static_cast<uint32_t>(code), "RegistryKey", line);
}

bool equalsIgnoringCase(const std::string& a, const char* b) {
    size_t i = 0;
    for (; i < a.size() && b[i] != '\0'; ++i) {
        char x = a[i] >= 'a' && a[i] <= 'z' ? static_cast<char>(a[i] - 'a' + 'A') : a[i];
        if (x != b[i]) {
            return false;
        }
    }
    return i == a.size() && b[i] == '\0';
}

// The path without leading and trailing backslashes, which name the same key.
std::string trimmed(const std::string& path) {
    size_t first = path.find_first_not_of('\\');
    if (first == std::string::npos) {
        return std::string();
    }
    size_t last = path.find_last_not_of('\\');
    return path.substr(first, last - first + 1);
}

class KeyCloser {
public:
    explicit KeyCloser(HKEY key) : key_(key) {}
    ~KeyCloser() { RegCloseKey(key_); }
    KeyCloser(const KeyCloser&) = delete;
    KeyCloser& operator=(const KeyCloser&) = delete;

private:
    HKEY key_;
};

} // namespace

RegistryKey::RegistryKey(const std::string& path, bool create, HKEY hive) : handle_(nullptr) {
    try {
        openKey(path, hive);
    } catch (Win32Exception&) {
        if (!create) {
            throw;
        }
        createKey(path, hive);
    }
}

RegistryKey::~RegistryKey() {
    if (handle_ != nullptr) {
        RegCloseKey(handle_);
    }
}

void RegistryKey::openKey(const std::string& path, HKEY hive) {
    HKEY key = nullptr;
    LONG result = RegOpenKeyExA(hive, path.c_str(), 0, KEY_ALL_ACCESS, &key);
    if (result != ERROR_SUCCESS) {
        raise("RegistryKey::openKey()", result, 357);
    }
    handle_ = key;
}

void RegistryKey::createKey(const std::string& path, HKEY hive) {
    security_ = std::make_unique<SecurityEveryone>(true);
    HKEY key = nullptr;
    DWORD disposition = 0;
    char emptyClass[] = "";
    LONG result =
        RegCreateKeyExA(hive, path.c_str(), 0, emptyClass, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS,
                        security_->getSecurityAttributes(), &key, &disposition);
    if (result != ERROR_SUCCESS) {
        raise("RegistryKey::createKey()", result, 394);
    }
    try {
        security_->apply(key);
    } catch (...) {
        // The constructor fails, so no destructor will close the key.
        RegCloseKey(key);
        throw;
    }
    handle_ = key;
}

bool RegistryKey::getValue(const std::string& name, uint32_t& number) {
    DWORD type = REG_NONE;
    DWORD buffer = 0;
    DWORD size = sizeof buffer;
    LONG result = RegQueryValueExA(handle_, name.c_str(), nullptr, &type,
                                   reinterpret_cast<LPBYTE>(&buffer), &size);
    if (result == ERROR_FILE_NOT_FOUND) {
        return false;
    }
    if (result == ERROR_SUCCESS && type == REG_DWORD) {
        number = buffer;
        return true;
    }
    if (result == ERROR_SUCCESS) {
        raise("RegistryKey::getValue(ulong)" + name + " : incorrect value type", 0, 188);
    }
    raise("RegistryKey::getValue(ulong)" + name, result, 188);
}

bool RegistryKey::getValue(const std::string& name, std::string& text) {
    DWORD type = REG_NONE;
    DWORD size = 0;
    LONG result = RegQueryValueExA(handle_, name.c_str(), nullptr, &type, nullptr, &size);
    if (result == ERROR_FILE_NOT_FOUND) {
        return false;
    }
    if (result != ERROR_SUCCESS) {
        raise("RegistryKey::getValue(string) " + name, result, 222);
    }
    if (type != REG_SZ) {
        raise("RegistryKey::getValue(string) " + name + " : incorrect value type", 0, 222);
    }
    std::vector<char> buffer(size > 0 ? size : 1, '\0');
    size = static_cast<DWORD>(buffer.size());
    result = RegQueryValueExA(handle_, name.c_str(), nullptr, &type,
                              reinterpret_cast<LPBYTE>(buffer.data()), &size);
    if (result != ERROR_SUCCESS) {
        raise("RegistryKey::getValue() " + name, result, 239);
    }
    // Up to the first zero, never beyond what the query returned.
    size_t length = 0;
    while (length < size && length < buffer.size() && buffer[length] != '\0') {
        ++length;
    }
    text.assign(buffer.data(), length);
    return true;
}

bool RegistryKey::getValue(const std::string& name, Data& bytes) {
    DWORD type = REG_NONE;
    DWORD size = 0;
    LONG result = RegQueryValueExA(handle_, name.c_str(), nullptr, &type, nullptr, &size);
    if (result != ERROR_SUCCESS) {
        return false;
    }
    std::vector<uint8_t> buffer(size > 0 ? size : 1, 0);
    size = static_cast<DWORD>(buffer.size());
    result = RegQueryValueExA(handle_, name.c_str(), nullptr, &type, buffer.data(), &size);
    if (result == ERROR_FILE_NOT_FOUND) {
        return false;
    }
    if (result == ERROR_SUCCESS && type == REG_BINARY) {
        bytes.clear();
        bytes.append(buffer.data(),
                     size < buffer.size() ? size : static_cast<DWORD>(buffer.size()));
        return true;
    }
    if (result == ERROR_SUCCESS) {
        raise("RegistryKey::getValue(binary)" + name + " : incorrect value type", 0, 513);
    }
    raise("RegistryKey::getValue(binary)" + name, result, 513);
}

void RegistryKey::setValue(const std::string& name, uint32_t number) {
    DWORD value = number;
    LONG result = RegSetValueExA(handle_, name.c_str(), 0, REG_DWORD,
                                 reinterpret_cast<const BYTE*>(&value), sizeof value);
    if (result != ERROR_SUCCESS) {
        raise("RegistryKey::setValue(ulong): Unable to set " + name, result, 269);
    }
}

void RegistryKey::setValue(const std::string& name, const std::string& text) {
    LONG result = RegSetValueExA(handle_, name.c_str(), 0, REG_SZ,
                                 reinterpret_cast<const BYTE*>(text.c_str()),
                                 static_cast<DWORD>(text.size() + 1));
    if (result != ERROR_SUCCESS) {
        raise("RegistryKey::setValue(string): Unable to set " + name, result, 291);
    }
}

void RegistryKey::setValue(const std::string& name, const Data& bytes) {
    Data copy(bytes);
    LONG result = RegSetValueExA(handle_, name.c_str(), 0, REG_BINARY, copy.data(), copy.size());
    if (result != ERROR_SUCCESS) {
        raise("RegistryKey::setValue(binary): Unable to set " + name, result, 542);
    }
}

void RegistryKey::deleteValue(const std::string& name) {
    LONG result = RegDeleteValueA(handle_, name.c_str());
    if (result != ERROR_SUCCESS && result != ERROR_FILE_NOT_FOUND) {
        raise("RegistryKey::deleteValue()", result, 135);
    }
}

void RegistryKey::getChildrenNames(std::list<std::string>& names, uint32_t maximum) {
    for (DWORD index = 0; index < maximum; ++index) {
        char name[keyNameBuffer];
        DWORD length = keyNameBuffer;
        LONG result =
            RegEnumKeyExA(handle_, index, name, &length, nullptr, nullptr, nullptr, nullptr);
        if (result == ERROR_NO_MORE_ITEMS) {
            return;
        }
        if (result != ERROR_SUCCESS) {
            raise("RegistryKey::getChildrenNames()", result, 86);
        }
        names.emplace_back(name, length);
    }
}

void RegistryKey::getValueNames(std::list<std::string>& names) {
    std::vector<char> name(valueNameBuffer);
    for (DWORD index = 0;; ++index) {
        DWORD length = valueNameBuffer;
        LONG result =
            RegEnumValueA(handle_, index, name.data(), &length, nullptr, nullptr, nullptr, nullptr);
        if (result == ERROR_NO_MORE_ITEMS) {
            return;
        }
        if (result != ERROR_SUCCESS) {
            raise("RegistryKey:getValueNames()", result, 119);
        }
        names.emplace_back(name.data(), length);
    }
}

bool RegistryKey::recurseDeleteKey(const std::string& path, HKEY hive) {
    std::string name = trimmed(path);
    if (name.empty()) {
        // Would empty the whole hive.
        raise("RegistryKey::recurseDeleteKey() RegOpenKey()", ERROR_INVALID_PARAMETER, 316);
    }
    deleteTree(name, hive, equalsIgnoringCase(name, "SOFTWARE"));
    return true;
}

void RegistryKey::deleteTree(const std::string& path, HKEY parent, bool keepKey) {
    HKEY key = nullptr;
    LONG result = RegOpenKeyExA(parent, path.c_str(), 0, KEY_ALL_ACCESS, &key);
    if (result == ERROR_FILE_NOT_FOUND) {
        return;
    }
    if (result != ERROR_SUCCESS) {
        raise("RegistryKey::recurseDeleteKey() RegOpenKey()", result, 316);
    }
    {
        KeyCloser closer(key);
        char child[keyNameBuffer];
        DWORD length = keyNameBuffer;
        while (RegEnumKeyExA(key, 0, child, &length, nullptr, nullptr, nullptr, nullptr) ==
               ERROR_SUCCESS) {
            // Below the top every key goes, whatever its name: a subkey
            // called "Software" must not stop the loop.
            deleteTree(std::string(child, length), key, false);
            length = keyNameBuffer;
        }
    }
    if (keepKey) {
        return;
    }
    result = RegDeleteKeyA(parent, path.c_str());
    if (result != ERROR_SUCCESS) {
        raise("RegistryKey::recurseDeleteKey() RegDeleteKey()", result, 340);
    }
}
