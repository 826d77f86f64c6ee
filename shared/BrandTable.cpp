#include "shared/BrandTable.h"

namespace {

struct Brand {
    const char* code;
    const char* keyName; // at most 32 characters
};

// Looked up in this order; the first matching code wins.
const Brand brands[] = {
    {"vn", "Vantrel"},
    {"vt", "Vantrel Tools"},
    {"ol", "Orlamet Systems"},
    {"qs", "Quessant Imaging"},
    {"bv", "Brivora"},
    {"tm", "Talmerin Office"},
    {"ek", "Eskavel Print"},
    {"nq", "Norquill"},
    {"pv", "Pelvanta Devices"},
    {"dm", "Drosmere Technologies"},
    {"zt", "Zentrova"},
    {"hv", "Halvesk Imaging Solutions"},
    {"kx", "Kestrix Document Systems"},
};

const char defaultBrand[] = "Vantrel Tools";

char lower(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

} // namespace

std::string findBrandKey(const std::string& localId) {
    if (localId.size() >= 2) {
        for (const Brand& brand : brands) {
            if (lower(localId[0]) == brand.code[0] && lower(localId[1]) == brand.code[1]) {
                return brand.keyName;
            }
        }
    }
    return defaultBrand;
}
