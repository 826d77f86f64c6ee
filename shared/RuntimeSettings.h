// The module's own settings: the product key and the stores of the module's
// local id, as Localize names them.
#pragma once

#include "shared/SettingsStore.h"

class Localize;

class RuntimeSettings : public SettingsStore {
public:
    // Needs the Localize instance; notes whether the local store exists.
    RuntimeSettings();
    ~RuntimeSettings() override;

    // Localize's store path of the kind.
    std::string getRootPath(uint32_t kind) override;
    // Whether the local store existed when this object was made: the module
    // counts as installed, and may log, only then.
    virtual bool isLocalStorePresent();

private:
    Localize* localize_;
    bool localStorePresent_;
};
