#include "shared/RegistryLogger.h"

#include "shared/Localize.h"

RegistryLogger::RegistryLogger() : BasicLogger(Localize::getInstance()->getLocalId() + ".log") {}

RegistryLogger::~RegistryLogger() = default;

void RegistryLogger::getOption(const std::string& name, uint32_t& value, uint32_t defaultValue) {
    settings_.getNumber("Logger", name, value, defaultValue, SettingsStore::LocalStore);
}
