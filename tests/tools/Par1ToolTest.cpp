// par1 run as a process, the way a person runs it, against the virtual
// printer: its output, its exit code, and what the printer received.
#include "support/PrivateHostStore.h"

#include "platform/win32.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {

const bool privateStore = par1test::usePrivateHostStore();

#ifdef _WIN32
const char* const tool = "par1.exe";
#else
const char* const tool = "./par1";
#endif

struct Result {
    int exitCode;
    std::string out;
    std::string err;
};

std::string prefix() {
    return "par1_tool_" + std::to_string(GetCurrentProcessId()) + "_";
}

std::string readFile(const std::string& name) {
    std::ifstream in(name, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void writeFile(const std::string& name, const std::string& bytes) {
    std::ofstream out(name, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

bool exists(const std::string& name) {
    return std::ifstream(name).good();
}

// par1's messages are text: on Windows its text streams end lines with CR LF.
std::string textLines(std::string text) {
#ifdef _WIN32
    std::string::size_type at = 0;
    while ((at = text.find("\r\n", at)) != std::string::npos) {
        text.erase(at, 1);
        ++at;
    }
#endif
    return text;
}

// Runs par1 from the build's program directory (the test's working
// directory) with its output in files; stdinFile feeds standard input.
Result run(const std::string& arguments, const std::string& stdinFile = "") {
    std::string out = prefix() + "stdout.txt";
    std::string err = prefix() + "stderr.txt";
    std::string command = std::string(tool) + " " + arguments + " > " + out + " 2> " + err;
    if (!stdinFile.empty()) {
        command += " < " + stdinFile;
    }
    int status = std::system(command.c_str());
#ifdef _WIN32
    int exitCode = status;
#else
    // A wait status: the exit code is its second byte.
    int exitCode = (status >> 8) & 0xFF;
#endif
    Result result{exitCode, textLines(readFile(out)), textLines(readFile(err))};
    std::remove(out.c_str());
    std::remove(err.c_str());
    return result;
}

// Bytes 0, 1, 2, ... (mod 251), with an NPA start byte and a universal exit
// command's ESC inside, so a lost, doubled, reordered or reframed byte shows.
std::string sample(size_t size) {
    std::string bytes(size, '\0');
    for (size_t i = 0; i < size; ++i) {
        bytes[i] = static_cast<char>(i % 251);
    }
    return bytes;
}

class Par1Tool : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        ASSERT_TRUE(exists(tool)) << tool << " must be beside the test program";
        // The shortest waits for a printer that stays silent to the NPA query.
        Result set = run("config set settings.NpaTimeout 200");
        ASSERT_EQ(0, set.exitCode) << set.err;
    }

    void TearDown() override {
        for (const std::string& name : files_) {
            std::remove(name.c_str());
        }
    }

    std::string file(const std::string& name, const std::string& bytes) {
        std::string path = prefix() + name;
        writeFile(path, bytes);
        files_.push_back(path);
        return path;
    }
    std::string output(const std::string& name) {
        std::string path = prefix() + name;
        std::remove(path.c_str());
        files_.push_back(path);
        return path;
    }

    std::vector<std::string> files_;
};

TEST_F(Par1Tool, PrintsFilesWrappedAndThePrinterReceivesThemUnchanged) {
    std::string first = file("first.bin", sample(3000));
    std::string second = file("second.bin", sample(1234).substr(7));
    std::string received = output("received.bin");
    Result result = run("--virtual --virtual-output " + received + " print " + first + " " +
                        second + " --packet-size 512");
    ASSERT_EQ(0, result.exitCode) << result.out << result.err;
    EXPECT_EQ(readFile(first) + readFile(second), readFile(received));
    EXPECT_NE(std::string::npos, result.out.find("NPA mode: on, wrapping on")) << result.out;
    // Standard output is a file here, so progress comes as lines.
    EXPECT_NE(std::string::npos, result.out.find("progress: 4227/4227 bytes")) << result.out;
    EXPECT_EQ(std::string::npos, result.out.find('\r')) << result.out;
    // Writes of four packets of 507 payload bytes: 4 + 4 + 1 packets.
    EXPECT_NE(std::string::npos,
              result.out.find("summary: 4227 bytes, 9 packets, 0 refused by printer"))
        << result.out;
}

TEST_F(Par1Tool, ShowsTheProgressAsAskedOrAsTheOutputSuits) {
    std::string input = file("input.bin", sample(3000));
    struct Case {
        std::string progress;
        bool bar;
        bool lines;
    };
    const Case cases[] = {
        {"", false, true}, // auto, and the output is a file
        {"--progress auto", false, true},
        {"--progress bar", true, false},
        {"--progress lines", false, true},
        {"--progress none", false, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.progress);
        Result result = run("--virtual print " + input + " " + c.progress);
        ASSERT_EQ(0, result.exitCode) << result.out << result.err;
        EXPECT_EQ(c.bar,
                  result.out.find("\r[##############################] ") != std::string::npos)
            << result.out;
        EXPECT_EQ(c.lines, result.out.find("progress: 3000/3000 bytes") != std::string::npos)
            << result.out;
        EXPECT_NE(std::string::npos, result.out.find("summary: 3000 bytes")) << result.out;
    }
    Result result = run("--virtual print " + input + " --progress dots");
    EXPECT_EQ(2, result.exitCode) << result.out << result.err;
}

TEST_F(Par1Tool, PrintsUnwrappedToAPrinterWithoutNpaAndFromStandardInput) {
    std::string input = file("input.bin", sample(5000));
    std::string received = output("received.bin");
    Result result =
        run("--virtual --virtual-npa off --virtual-output " + received + " print -", input);
    ASSERT_EQ(0, result.exitCode) << result.out << result.err;
    EXPECT_NE(std::string::npos, result.out.find("NPA mode: off, wrapping off")) << result.out;
    EXPECT_EQ(readFile(input), readFile(received));

    // --no-wrap sends unframed data even to a printer that speaks NPA.
    result = run("--virtual --virtual-output " + received + " print --no-wrap " + input);
    ASSERT_EQ(0, result.exitCode) << result.out << result.err;
    EXPECT_NE(std::string::npos, result.out.find("NPA mode: on, wrapping off")) << result.out;
    EXPECT_NE(std::string::npos, result.out.find("summary: 5000 bytes, 0 packets, ")) << result.out;
    EXPECT_EQ(std::string::npos, result.out.find("refused")) << "no packets, nothing to refuse";
}

TEST_F(Par1Tool, RefusesBadInputWithoutTouchingThePrinter) {
    std::string input = file("input.bin", sample(100));
    std::string received = output("received.bin");
    struct Case {
        std::string arguments;
        int exitCode;
        std::string message;
    };
    const Case cases[] = {
        {"print " + prefix() + "missing.bin", 2, "cannot read"},
        {"print " + input + " --port LPT0:", 2, "unknown port \"LPT0:\""},
        {"print " + input + " --port COM1", 2, "unknown port"},
        {"print " + input + " --packet-size 0", 2, "packet size 0 is too small"},
        {"npa-send a5zz", 2, "is not a hex packet"},
        {"npa-send a50004100107", 2, "is not an NPA packet"},
        {"npa-send a500041", 2, "whole number of hex bytes"},
        {"config get nosuch", 2, "unknown setting"},
        {"print", 2, "files is required"},
        {"nosuch", 2, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.arguments);
        Result result = run("--virtual --virtual-output " + received + " " + c.arguments);
        EXPECT_EQ(c.exitCode, result.exitCode) << result.out << result.err;
        EXPECT_NE(std::string::npos, result.err.find(c.message)) << result.err;
        EXPECT_FALSE(exists(received)) << "the printer was reached";
    }
    // Every failure names the system's text of its code and a hint.
    Result result = run("--virtual print " + input + " --port LPT0:");
    EXPECT_NE(std::string::npos, result.err.find("(error 87)")) << result.err;
    EXPECT_NE(std::string::npos, result.err.find("hint: ports are LPT1: to LPT9:"));
}

TEST_F(Par1Tool, APrinterThatRefusesOrFailsStopsTheJobWithItsCode) {
    std::string input = file("input.bin", sample(2000));
    struct Case {
        std::string options;
        int exitCode;
        std::string message;
    };
    const Case cases[] = {
        {"--virtual-refuse-all", 5, "printing stopped after 0 of 2000 bytes"},
        {"--virtual-paper-out --virtual-npa off", 5, "printing stopped after 0 of 2000 bytes"},
        {"--virtual-gone", 4, "no printer on LPT1:"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.options);
        Result result = run("--virtual " + c.options + " print " + input);
        EXPECT_EQ(c.exitCode, result.exitCode) << result.out << result.err;
        EXPECT_NE(std::string::npos, result.err.find(c.message)) << result.err;
        EXPECT_NE(std::string::npos, result.err.find("hint: ")) << result.err;
    }
    // A few refusals are retried and the job completes.
    std::string received = output("received.bin");
    Result result = run("--virtual --virtual-refuse 3 --virtual-output " + received + " print " +
                        input + " --packet-size 1005");
    ASSERT_EQ(0, result.exitCode) << result.out << result.err;
    EXPECT_EQ(readFile(input), readFile(received));
    EXPECT_NE(std::string::npos, result.out.find("2 packets, 3 refused by printer")) << result.out;
}

TEST_F(Par1Tool, APrinterThatGoesSilentEndsTheJobWithATimeOut) {
    std::string input = file("input.bin", sample(100));
    Result result = run("--virtual --virtual-silent print " + input);
    EXPECT_EQ(5, result.exitCode) << result.out << result.err;
    EXPECT_NE(std::string::npos, result.err.find("printing stopped after 0 of 100 bytes"))
        << result.err;
    EXPECT_NE(std::string::npos, result.err.find("(error 1460)")) << result.err;
}

TEST_F(Par1Tool, DiscoversTheVirtualPrinter) {
    Result result = run("--virtual discover");
    ASSERT_EQ(0, result.exitCode) << result.err;
    EXPECT_NE(std::string::npos, result.out.find("LPT1:  handle 4097")) << result.out;
    EXPECT_NE(std::string::npos, result.out.find("PAR1")) << result.out;

    result = run("--virtual --virtual-gone discover");
    ASSERT_EQ(0, result.exitCode) << result.err;
    EXPECT_NE(std::string::npos, result.out.find("no printers found")) << result.out;
}

TEST_F(Par1Tool, AsksForTheNpaMode) {
    struct Case {
        std::string options;
        std::string answer;
    };
    const Case cases[] = {
        {"", "NPA mode on LPT1: on"},
        {"--virtual-npa off", "NPA mode on LPT1: off"},
        // No answer counts as on.
        {"--virtual-npa silent", "NPA mode on LPT1: on"},
        // The short NPA answer, handed over a byte at a time.
        {"--virtual-npa packet --virtual-read-size 1", "NPA mode on LPT1: on"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.options);
        Result result = run("--virtual " + c.options + " npa-mode");
        EXPECT_EQ(0, result.exitCode) << result.err;
        EXPECT_NE(std::string::npos, result.out.find(c.answer)) << result.out;
    }
}

TEST_F(Par1Tool, SendsAnNpaCommandAndShowsTheReply) {
    // Channel 1, reply expected, payload 07 08: the printer answers with the
    // same payload.
    Result result = run("--virtual npa-send a5000410010708");
    ASSERT_EQ(0, result.exitCode) << result.out << result.err;
    EXPECT_NE(std::string::npos, result.out.find("sent 7 bytes")) << result.out;
    EXPECT_NE(std::string::npos, result.out.find("printer: ")) << result.out;
    EXPECT_NE(std::string::npos, result.out.find("\\x07\\x08")) << result.out;
}

TEST_F(Par1Tool, ShowsGetsAndSetsSettingsAndTheLogFile) {
    Result result = run("config set logger.startLog 0x1");
    ASSERT_EQ(0, result.exitCode) << result.err;
    result = run("config get logger.startLog");
    ASSERT_EQ(0, result.exitCode) << result.err;
    EXPECT_EQ("1\n", result.out);
    result = run("config show");
    ASSERT_EQ(0, result.exitCode) << result.err;
    EXPECT_NE(std::string::npos, result.out.find("logger.startLog = 1")) << result.out;
    EXPECT_NE(std::string::npos, result.out.find("settings.NpaTimeout = 200")) << result.out;
    result = run("config set logger.startLog -1");
    EXPECT_EQ(2, result.exitCode);
    EXPECT_NE(std::string::npos, result.err.find("is not a number")) << result.err;
    result = run("config set logger.startLog 0");
    ASSERT_EQ(0, result.exitCode) << result.err;

    result = run("log");
    ASSERT_EQ(0, result.exitCode) << result.err;
    EXPECT_NE(std::string::npos, result.out.find("vnbx.log")) << result.out;
    EXPECT_NE(std::string::npos, result.out.find("logging is off")) << result.out;
}

TEST_F(Par1Tool, HelpListsTheExitCodes) {
    Result result = run("--help");
    EXPECT_EQ(0, result.exitCode);
    EXPECT_NE(std::string::npos, result.out.find("Exit codes:")) << result.out;
    EXPECT_NE(std::string::npos, result.out.find("5  the printer refused")) << result.out;
    // What the summary's refusals are, and that only the virtual printer
    // counts them.
    EXPECT_NE(std::string::npos, result.out.find("With --virtual it also says")) << result.out;
}

} // namespace

TEST_F(Par1Tool, WorksWithAPrinterThatSplitsItsAnswersAndLinksLongReplies) {
    std::string job = file("split.bin", sample(20000));
    std::string received = output("split_received.bin");
    Result printed = run("--virtual --virtual-npa packet --virtual-read-size 1 --virtual-output " +
                         received + " print " + job);
    ASSERT_EQ(0, printed.exitCode) << printed.out << printed.err;
    EXPECT_EQ(readFile(job), readFile(received));

    // A 600-byte reply comes in two linked packets and shows as one.
    std::string command = "a5025a10e0" + std::string(1200, '7');
    Result sent = run("--virtual npa-send " + command);
    ASSERT_EQ(0, sent.exitCode) << sent.out << sent.err;
    EXPECT_NE(std::string::npos, sent.out.find(std::string(600, 'w'))) << sent.out;
}
