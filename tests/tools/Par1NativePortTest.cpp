// par1 run as a process against the system's own port: a printer served on a
// pseudo-terminal behind PAR1_PARALLEL_DEVICES. To the par1 process the line
// is just another character device, with no IEEE 1284 identification.
#ifndef _WIN32

#include "sim/linux/PtyPrinter.h"
#include "support/PrivateHostStore.h"

#include "platform/win32.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

namespace {

const bool privateStore = par1test::usePrivateHostStore();

namespace fs = std::filesystem;

struct ToolRun {
    int exitCode;
    std::string err;
};

// par1 beside the test program, with its standard error kept.
ToolRun par1(const std::string& arguments, const fs::path& scratch) {
    const fs::path err = scratch / "stderr.txt";
    const std::string command = "./par1 " + arguments + " > /dev/null 2> " + err.string();
    const int status = std::system(command.c_str());
    std::ifstream in(err, std::ios::binary);
    return ToolRun{(status >> 8) & 0xFF, std::string(std::istreambuf_iterator<char>(in),
                                                     std::istreambuf_iterator<char>())};
}

// Discovery passes a printer without an identification by; par1 prints to
// its port when asked by name, and says why discovery did not list it.
TEST(Par1NativePort, PrintsToANamedPortWhosePrinterGivesNoIdentification) {
    const fs::path scratch =
        fs::temp_directory_path() / ("par1-noid-" + std::to_string(GetCurrentProcessId()));
    fs::remove_all(scratch);
    fs::create_directories(scratch);
    ASSERT_TRUE(SetEnvironmentVariableA("PAR1_PARALLEL_DEVICES", scratch.c_str()));
    // The shortest wait for a printer that stays silent to the NPA query.
    ASSERT_EQ(0, par1("config set settings.NpaTimeout 200", scratch).exitCode);
    std::string job;
    for (int i = 0; i < 30000; ++i) {
        job += static_cast<char>(i % 251);
    }
    const fs::path input = scratch / "job.bin";
    std::ofstream(input, std::ios::binary) << job;
    {
        sim::PtyPrinter served((scratch / "lp1").string(), platform::testing::DeviceKind::Other);
        const ToolRun printed = par1("print --port LPT2: " + input.string(), scratch);
        EXPECT_EQ(0, printed.exitCode) << printed.err;
        EXPECT_NE(std::string::npos,
                  printed.err.find("the printer on LPT2: gave no IEEE 1284 identification"))
            << printed.err;
        ASSERT_TRUE(served.printer().waitForPrintData(job.size(), 5000));
        EXPECT_EQ(sim::bytes(job), served.printer().printData());
    }
    // With no device on the port there is no printer, and par1 says so.
    const ToolRun none = par1("print --port LPT2: " + input.string(), scratch);
    EXPECT_EQ(4, none.exitCode);
    EXPECT_NE(std::string::npos, none.err.find("no printer on LPT2:")) << none.err;
    EXPECT_EQ(std::string::npos, none.err.find("identification")) << none.err;
    SetEnvironmentVariableA("PAR1_PARALLEL_DEVICES", nullptr);
    fs::remove_all(scratch);
}

} // namespace

#endif
