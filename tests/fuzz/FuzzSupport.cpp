#include "FuzzSupport.h"

#include "shared/Localize.h"
#include "shared/RegistryKey.h"

#include "platform/win32.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <system_error>

namespace par1fuzz {

namespace {

std::string storeDirectory;

void removeStore() {
    std::error_code ignored;
    std::filesystem::remove_all(storeDirectory, ignored);
}

} // namespace

void prepareEnvironment(const std::vector<std::pair<std::string, uint32_t>>& settings) {
    static bool done = false;
    if (done) {
        return;
    }
    done = true;
    std::error_code error;
    std::filesystem::path temporary = std::filesystem::temp_directory_path(error);
    if (error) {
        temporary = "/tmp";
    }
    storeDirectory = (temporary / ("par1-fuzz-" + std::to_string(GetCurrentProcessId()))).string();
    SetEnvironmentVariableA("PAR1_REGISTRY", (storeDirectory + "/registry.db").c_str());
    SetEnvironmentVariableA("PAR1_DRIVE_C", (storeDirectory + "/drive_c").c_str());
    std::atexit(removeStore);
    Localize::createInstance(nullptr);
    if (!settings.empty()) {
        RegistryKey store(Localize::getInstance()->getStorePath(0) + "Par1\\Settings", true);
        for (const auto& setting : settings) {
            store.setValue(setting.first, setting.second);
        }
    }
}

void fail(const char* file, int line, const std::string& what) {
    std::fprintf(stderr, "%s:%d: property broken: %s\n", file, line, what.c_str());
    std::fflush(stderr);
    std::abort();
}

uint8_t Reader::byte() {
    return empty() ? 0 : data_[at_++];
}

uint32_t Reader::number(uint32_t below) {
    if (below <= 1) {
        return 0;
    }
    uint32_t value = byte();
    if (below > 256) {
        value = (value << 8) | byte();
    }
    return value % below;
}

Bytes Reader::bytes(size_t length) {
    size_t take = std::min(length, empty() ? 0 : size_ - at_);
    Bytes out(data_ + at_, data_ + at_ + take);
    at_ += take;
    return out;
}

Bytes Reader::rest() {
    return bytes(empty() ? 0 : size_ - at_);
}

std::string Reader::text(size_t length) {
    Bytes raw = bytes(length);
    return std::string(raw.begin(), raw.end());
}

std::vector<Bytes> chunk(const Bytes& stream, Reader& lengths, uint32_t longest) {
    std::vector<Bytes> pieces;
    size_t at = 0;
    while (at < stream.size()) {
        size_t length = 1 + lengths.number(longest);
        if (lengths.empty()) {
            // Out of choices: the rest in one piece.
            length = stream.size() - at;
        }
        length = std::min(length, stream.size() - at);
        pieces.emplace_back(stream.begin() + static_cast<std::ptrdiff_t>(at),
                            stream.begin() + static_cast<std::ptrdiff_t>(at + length));
        at += length;
    }
    return pieces;
}

bool isSubsequence(const Bytes& needle, const Bytes& hay) {
    size_t at = 0;
    for (uint8_t byte : hay) {
        if (at < needle.size() && needle[at] == byte) {
            ++at;
        }
    }
    return at == needle.size();
}

} // namespace par1fuzz
