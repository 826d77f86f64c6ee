// Log levels: each is one bit of a category's 32-bit level mask.
#pragma once

#include <cstdint>

constexpr uint32_t LevelNone = 0;
// Errors: always written (unless the logger could not be set up).
constexpr uint32_t LevelError = 1;
// Entry and exit lines of the scoped function traces.
constexpr uint32_t LevelTrace = 2;
// The print-data write path.
constexpr uint32_t LevelData = 4;
// Detail lines inside an operation; the module's start and stop lines.
constexpr uint32_t LevelDetail = 8;
constexpr uint32_t LevelReserved = 16;
constexpr uint32_t LevelAll = 0xFFFFFFFFu;
