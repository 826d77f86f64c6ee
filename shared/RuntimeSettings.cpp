#include "shared/RuntimeSettings.h"

#include "shared/Localize.h"
#include "shared/RegistryKey.h"
#include "shared/Win32Exception.h"

RuntimeSettings::RuntimeSettings()
    : SettingsStore(Localize::getInstance()->getProductPath(),
                    Localize::getInstance()->getLocalId()),
      localize_(Localize::getInstance()), localStorePresent_(false) {
    try {
        RegistryKey store(localize_->getStorePath(LocalStore), false);
        localStorePresent_ = true;
    } catch (Win32Exception&) {
        localStorePresent_ = false;
    }
}

RuntimeSettings::~RuntimeSettings() = default;

std::string RuntimeSettings::getRootPath(uint32_t kind) {
    return localize_->getStorePath(kind);
}

bool RuntimeSettings::isLocalStorePresent() {
    return localStorePresent_;
}
