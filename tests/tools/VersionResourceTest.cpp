// The version resource of the module and of par1, read back as Windows'
// own tools (and a host) read it: one version, the project's, in both.
#include "platform/win32.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#ifdef _WIN32
namespace {

struct VersionResource {
    VS_FIXEDFILEINFO fixed{};
    std::vector<char> block;

    std::string text(const char* name) const {
        void* value = nullptr;
        UINT length = 0;
        const std::string path = std::string("\\StringFileInfo\\040904B0\\") + name;
        if (!VerQueryValueA(block.data(), path.c_str(), &value, &length) || length == 0) {
            return "";
        }
        return std::string(static_cast<const char*>(value), length - 1);
    }
};

// False (with the reason in the failure) when the file has no resource.
::testing::AssertionResult readVersion(const char* file, VersionResource& resource) {
    DWORD ignored = 0;
    const DWORD size = GetFileVersionInfoSizeA(file, &ignored);
    if (size == 0) {
        return ::testing::AssertionFailure()
               << file << ": no version resource, error " << GetLastError();
    }
    resource.block.resize(size);
    if (!GetFileVersionInfoA(file, 0, size, resource.block.data())) {
        return ::testing::AssertionFailure() << file << ": error " << GetLastError();
    }
    void* fixed = nullptr;
    UINT length = 0;
    if (!VerQueryValueA(resource.block.data(), "\\", &fixed, &length) ||
        length < sizeof(VS_FIXEDFILEINFO)) {
        return ::testing::AssertionFailure() << file << ": no fixed file information";
    }
    resource.fixed = *static_cast<VS_FIXEDFILEINFO*>(fixed);
    return ::testing::AssertionSuccess();
}

std::string dotted(DWORD high, DWORD low) {
    return std::to_string(HIWORD(high)) + "." + std::to_string(LOWORD(high)) + "." +
           std::to_string(HIWORD(low));
}

TEST(VersionResource, TheModuleAndPar1CarryTheProjectsVersion) {
    struct Case {
        const char* file;
        DWORD type;
        const char* description;
    };
    const Case cases[] = {
        {PAR1_MODULE_FILE, VFT_DLL, "transport module"},
        {"par1.exe", VFT_APP, "host tool"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        VersionResource resource;
        ASSERT_TRUE(readVersion(c.file, resource));
        EXPECT_EQ(VS_FFI_SIGNATURE, resource.fixed.dwSignature);
        EXPECT_EQ(c.type, resource.fixed.dwFileType);
        EXPECT_EQ(PAR1_VERSION,
                  dotted(resource.fixed.dwFileVersionMS, resource.fixed.dwFileVersionLS));
        EXPECT_EQ(PAR1_VERSION,
                  dotted(resource.fixed.dwProductVersionMS, resource.fixed.dwProductVersionLS));
        EXPECT_EQ(PAR1_VERSION, resource.text("FileVersion"));
        EXPECT_EQ(PAR1_VERSION, resource.text("ProductVersion"));
        EXPECT_EQ(c.file, resource.text("OriginalFilename"));
        EXPECT_NE(std::string::npos, resource.text("FileDescription").find(c.description))
            << resource.text("FileDescription");
    }
}

} // namespace
#endif
