// The module's logger: its options are REG_DWORD values under "Logger" in
// the module's local store, and a missing option is written with its default.
// The log file is named after the local id: 'vnbx.log' in the root of the
// Windows drive.
#pragma once

#include "shared/BasicLogger.h"
#include "shared/RuntimeSettings.h"

class RegistryLogger : public BasicLogger {
public:
    RegistryLogger();
    ~RegistryLogger() override;

    // The registry value named like the option; when the store's product key
    // is missing or the read fails, value is left as it was.
    void getOption(const std::string& name, uint32_t& value, uint32_t defaultValue) override;

private:
    RuntimeSettings settings_;
};
