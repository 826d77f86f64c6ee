// Arbitrary IEEE 1284 identifications: a printer is of the CPD class exactly
// when its identification, up to the first zero character and without regard
// to the case of ASCII letters, names both "CPDNPA00" and "XNPAP".
//
// Input: the identification.
#include "FuzzSupport.h"

#include "devices/Par1Authorizer.h"

#include <string>

namespace {

bool expectedCpd(const std::string& id) {
    std::string upper;
    for (char c : id) {
        if (c == '\0') {
            break;
        }
        upper.push_back(c >= 'a' && c <= 'z' ? static_cast<char>(c - 32) : c);
    }
    return upper.find("CPDNPA00") != std::string::npos && upper.find("XNPAP") != std::string::npos;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    par1fuzz::prepareEnvironment();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string id(reinterpret_cast<const char*>(data), size);
    Par1Authorizer* authorizer = Par1Authorizer::getInstance();
    FUZZ_CHECK(authorizer != nullptr, "no authorizer");
    bool cpd = authorizer->isDeviceCpd(id);
    FUZZ_CHECK(cpd == expectedCpd(id), "CPD class of: " + id.substr(0, 200));

    // Neither the letters' case nor anything after a zero character counts.
    std::string lower = id;
    for (char& c : lower) {
        if (c >= 'A' && c <= 'Z') {
            c = static_cast<char>(c + 32);
        }
    }
    FUZZ_CHECK(authorizer->isDeviceCpd(lower) == cpd, "case changed the answer");
    FUZZ_CHECK(authorizer->isDeviceCpd(id + std::string(1, '\0') + "CPDNPA00 XNPAP") == cpd,
               "text after a zero character counted");
    return 0;
}
