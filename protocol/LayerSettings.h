// The connection's settings under "Par1\Settings\" of the module's local
// store. A missing value is written with its default; any failure (no store,
// a value of the wrong type, the module not yet set up) leaves the default.
#pragma once

#include <cstdint>
#include <string>

namespace LayerSettings {

uint32_t number(const std::string& name, uint32_t defaultValue);

} // namespace LayerSettings
