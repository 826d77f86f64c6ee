#include "shared/Localize.h"

#include "shared/BrandTable.h"
#include "shared/CriticalSection.h"
#include "shared/CriticalSectionLock.h"
#include "shared/Win32Exception.h"

#include <atomic>

namespace {

// Exist from load time; the instance is never released.
CriticalSection creationLock;
std::atomic<Localize*> instance{nullptr};

// The module's full path, or empty when it cannot be read whole.
std::string modulePath(HMODULE module) {
    char buffer[MAX_PATH] = {};
    DWORD length = GetModuleFileNameA(module, buffer, MAX_PATH);
    // A result of the full buffer size means the path was cut short, and a
    // cut path would give a wrong local id.
    if (length == 0 || length >= MAX_PATH) {
        return std::string();
    }
    return std::string(buffer, length);
}

} // namespace

void Localize::createInstance(HMODULE module) {
    if (instance.load(std::memory_order_acquire) != nullptr) {
        return;
    }
    CriticalSectionLock lock(creationLock);
    if (instance.load(std::memory_order_relaxed) == nullptr) {
        instance.store(new Localize(module), std::memory_order_release);
    }
}

Localize* Localize::getInstance() {
    Localize* current = instance.load(std::memory_order_acquire);
    if (current == nullptr) {
        throw "You must call Localize::createInstance() before calling getInstance()";
    }
    return current;
}

Localize::Localize(HMODULE module) : module_(module) {
    moduleFileName_ = modulePath(module_);
    if (moduleFileName_.empty()) {
        throw Win32Exception("Localize::Localize(): GetModuleFileName failed", 0, "Localize", 34);
    }
    char localId[5] = {};
    if (!getModuleLocalId(module_, localId)) {
        throw Win32Exception("Localize::Localize(): GetLocalId failed", 0, "Localize", 46);
    }
    localId_ = localId;
}

Localize::~Localize() = default;

std::string Localize::getLocalId() const {
    return localId_;
}

std::string Localize::getModuleFileName() const {
    return moduleFileName_;
}

bool Localize::getModuleLocalId(HMODULE module, char* localId) {
    if (localId == nullptr) {
        return false;
    }
    std::string path = modulePath(module);
    if (path.empty()) {
        return false;
    }
    std::string id = localIdFromPath(path);
    lstrcpynA(localId, id.c_str(), 5);
    return true;
}

std::string Localize::localIdFromPath(const std::string& path) {
    std::string lowered = path;
    for (char& c : lowered) {
        if (c >= 'A' && c <= 'Z') {
            c = static_cast<char>(c - 'A' + 'a');
        }
    }
    size_t slash = lowered.rfind('\\');
    std::string fileName = slash == std::string::npos ? lowered : lowered.substr(slash + 1);
    return fileName.substr(0, 4);
}

// The registry layout: below HKEY_LOCAL_MACHINE, "Software\" and the brand's
// key, then "Kes\" (the product key), which holds the local stores of the
// modules ("Local\" + local id) and the shared store ("Shared\").

std::string Localize::getBrandRoot() const {
    if (localId_.empty()) {
        return std::string();
    }
    return "Software\\" + findBrandKey(localId_);
}

std::string Localize::getProductPath() const {
    return getBrandRoot() + "\\Kes\\";
}

std::string Localize::getStorePath(uint32_t kind) const {
    switch (kind) {
    case 0:
        return getProductPath() + "Local\\" + localId_ + "\\";
    case 1:
        return getProductPath() + "Shared\\";
    default:
        return "Software\\VantrelTemp\\temp";
    }
}
