// What the fuzz targets share: a registry and drive C: of their own, checks
// that end the run with a message, and a reader that turns the fuzzer's bytes
// into choices.
#pragma once

#include "sim/NpaFrames.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace par1fuzz {

using sim::Bytes;

// Points the registry and drive C: at a new directory below the temporary
// directory (removed at exit), creates Localize and stores the settings
// given, below "Par1\Settings". Once per process.
void prepareEnvironment(const std::vector<std::pair<std::string, uint32_t>>& settings = {});

// Reports the broken property with the input's position and aborts, so that
// libFuzzer keeps the input as a crash.
[[noreturn]] void fail(const char* file, int line, const std::string& what);

// Draws choices from the front of the input; once it is used up every
// choice is 0 and every byte run is empty.
class Reader {
public:
    Reader(const uint8_t* data, size_t size) : data_(data), size_(size) {}

    bool empty() const { return at_ >= size_; }
    uint8_t byte();
    uint32_t number(uint32_t below);
    // Up to length bytes.
    Bytes bytes(size_t length);
    Bytes rest();
    std::string text(size_t length);

private:
    const uint8_t* data_;
    size_t size_;
    size_t at_ = 0;
};

// Cuts the stream into pieces whose lengths come from the reader (1 to
// longest bytes each), so that the same stream arrives in many ways.
std::vector<Bytes> chunk(const Bytes& stream, Reader& lengths, uint32_t longest);

// Whether needle's bytes occur in hay in order (not necessarily together).
bool isSubsequence(const Bytes& needle, const Bytes& hay);

} // namespace par1fuzz

#define FUZZ_CHECK(condition, what)                                                                \
    do {                                                                                           \
        if (!(condition)) {                                                                        \
            ::par1fuzz::fail(__FILE__, __LINE__, std::string(#condition) + ": " + (what));         \
        }                                                                                          \
    } while (false)
