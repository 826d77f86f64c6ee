#include "protocol/LayerSettings.h"

#include "shared/Exception.h"
#include "shared/RuntimeSettings.h"

#include <exception>

namespace LayerSettings {

uint32_t number(const std::string& name, uint32_t defaultValue) {
    uint32_t value = defaultValue;
    try {
        RuntimeSettings settings;
        if (!settings.getNumber("Par1\\Settings\\", name, value, defaultValue,
                                SettingsStore::LocalStore)) {
            value = defaultValue;
        }
    } catch (const Exception&) {
        value = defaultValue;
    } catch (const std::exception&) {
        value = defaultValue;
    } catch (const char*) {
        // Localize answers this way before the module is set up.
        value = defaultValue;
    }
    return value;
}

} // namespace LayerSettings
