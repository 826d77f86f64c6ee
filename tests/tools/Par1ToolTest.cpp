// par1 run as a process, the way a person runs it, against the virtual
// printer: its output, its exit code, and what the printer received.
#include "support/PrivateHostStore.h"

#include "par1/transport.h"
#include "platform/win32.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <thread>
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

TEST_F(Par1Tool, ProgressLinesComeAtMostOnceASecondAndTheLastOne) {
    // Slow enough for a few seconds of progress: 3 MiB at 1 MiB/s.
    std::string input = file("input.bin", sample(3 << 20));
    Result result = run("--virtual --virtual-npa off --virtual-link-speed 1048576 print " + input);
    ASSERT_EQ(0, result.exitCode) << result.err;
    size_t lines = 0;
    for (size_t at = 0; (at = result.out.find("progress: ", at)) != std::string::npos; ++at) {
        ++lines;
    }
    const size_t summary = result.out.find("summary: 3145728 bytes, 0 packets, ");
    ASSERT_NE(std::string::npos, summary) << result.out;
    const double seconds = std::atof(result.out.c_str() + result.out.find(", ", summary + 30) + 2);
    EXPECT_GE(seconds, 2.0) << result.out;
    EXPECT_LE(lines, static_cast<size_t>(seconds) + 1) << result.out;
    EXPECT_GE(lines, 2u) << result.out;
    // The last line is the whole job.
    const size_t last = result.out.rfind("progress: ");
    EXPECT_EQ(last, result.out.find("progress: 3145728/3145728 bytes, ", last)) << result.out;
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
        {"print " + prefix() + "missing.bin", 8, "there is no such file"},
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

TEST_F(Par1Tool, InputThatCannotBeReadStopsTheJobBeforeThePrinter) {
    std::string input = file("input.bin", sample(100));
    const std::string directory = prefix() + "directory";
    std::filesystem::create_directory(directory);
    std::string received = output("received.bin");
    struct Case {
        std::string arguments;
        std::string message;
    };
    std::vector<Case> cases = {
        {"print " + prefix() + "missing.bin",
         "cannot print \"" + prefix() +
             "missing.bin\": "
             "there is no such file\nhint: check the file's name"},
        {"print " + directory, "cannot print \"" + directory + "\": it is a directory\n"},
        // Every file is checked before the first is sent.
        {"print " + input + " " + directory, "it is a directory"},
#ifndef _WIN32
        // Standard input closed, or a directory: a read error, not an empty job.
        {"print - <&-", "cannot read standard input: Bad file descriptor (0 bytes were sent)\n"},
        {"print - < " + directory, "cannot read standard input: Is a directory"},
#endif
    };
    // A file the user may not read (root reads every file, so not as root).
    std::string unreadable = file("unreadable.bin", "x");
    std::filesystem::permissions(unreadable, std::filesystem::perms::none);
    if (!std::ifstream(unreadable).good()) {
        cases.push_back(
            {"print " + unreadable, "cannot open \"" + unreadable + "\": Permission denied\n"});
    }
    for (const Case& c : cases) {
        SCOPED_TRACE(c.arguments);
        Result result = run("--virtual --virtual-output " + received + " " + c.arguments);
        EXPECT_EQ(8, result.exitCode) << result.out << result.err;
        EXPECT_NE(std::string::npos, result.err.find(c.message)) << result.err;
        EXPECT_EQ("", result.out) << "the printer was reached";
        EXPECT_FALSE(exists(received)) << "the printer was reached";
    }
    std::filesystem::permissions(unreadable, std::filesystem::perms::owner_all);
    std::filesystem::remove(directory);
}

TEST_F(Par1Tool, OutputThatCannotBeSavedIsAFailure) {
    std::string input = file("input.bin", sample(100000));
    // A directory that does not exist: known before the job, nothing sent.
    Result result =
        run("--virtual --virtual-output " + prefix() + "nowhere/received.bin print " + input);
    EXPECT_EQ(9, result.exitCode) << result.out << result.err;
    EXPECT_NE(std::string::npos, result.err.find("No such file or directory")) << result.err;
    EXPECT_EQ("", result.out);
#ifndef _WIN32
    // A full disk: the job runs, its record cannot be kept.
    result = run("--virtual --virtual-output /dev/full print " + input);
    EXPECT_EQ(9, result.exitCode) << result.out << result.err;
    EXPECT_NE(std::string::npos, result.err.find("cannot write /dev/full: No space left on device"))
        << result.err;
    EXPECT_NE(std::string::npos, result.err.find("/dev/full is incomplete")) << result.err;
    EXPECT_NE(std::string::npos, result.out.find("summary: 100000 bytes")) << result.out;
#endif
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

// Every code the module reports has words in the public header, and the port's
// write failures are the port's own flags.
TEST(TransportErrors, EveryCodeTheModuleReportsHasAText) {
    const uint32_t reported[] = {
        0, 1, 5, 6, 8, 16, 29, 30, 87, 122, 512, 1024, 1117, 1168, 1359, 1460, 1629, 2048, 4096,
    };
    for (uint32_t code : reported) {
        SCOPED_TRACE(code);
        const TransportErrorText* entry = findTransportError(code);
        ASSERT_NE(nullptr, entry);
        EXPECT_STRNE("", entry->text);
        EXPECT_NE(nullptr, entry->hint);
    }
    EXPECT_EQ(sizeof reported / sizeof reported[0],
              sizeof transportErrors / sizeof transportErrors[0])
        << "a code in the table that the module does not report";
    EXPECT_EQ(nullptr, findTransportError(2));
    for (uint32_t flag : {CE_OOP, CE_IOE, CE_BREAK, CE_DNS, CE_PTO}) {
        EXPECT_NE(nullptr, findTransportError(flag)) << flag;
    }
    EXPECT_STREQ("load paper", findTransportError(CE_OOP)->hint);
}

TEST_F(Par1Tool, AFailedJobSaysWhatTheCodeMeansAndWhatToTry) {
    std::string input = file("input.bin", sample(100));
    struct Case {
        std::string options;
        std::string text;
    };
    const Case cases[] = {
        {"--virtual-paper-out --virtual-npa off",
         ": the printer is out of paper (error 4096)\nhint: load paper\n"},
        {"--virtual-silent",
         ": the printer did not answer in time (error 1460)\nhint: is the printer switched on?"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.options);
        Result result = run("--virtual " + c.options + " print " + input);
        EXPECT_EQ(5, result.exitCode) << result.err;
        EXPECT_NE(std::string::npos, result.err.find(c.text)) << result.err;
        EXPECT_EQ(std::string::npos, result.err.find("unknown error")) << result.err;
    }
}

TEST_F(Par1Tool, APrinterThatGoesSilentEndsTheJobWithATimeOut) {
    std::string input = file("input.bin", sample(100));
    Result result = run("--virtual --virtual-silent print " + input);
    EXPECT_EQ(5, result.exitCode) << result.out << result.err;
    EXPECT_NE(std::string::npos, result.err.find("printing stopped after 0 of 100 bytes"))
        << result.err;
    EXPECT_NE(std::string::npos, result.err.find("(error 1460)")) << result.err;
}

TEST_F(Par1Tool, DiscoversTheVirtualPrinterAndWhatItIs) {
    Result result = run("--virtual discover");
    ASSERT_EQ(0, result.exitCode) << result.err;
    EXPECT_NE(std::string::npos, result.out.find("LPT1:  handle 4097  class BpdPrinter\n"
                                                 "  manufacturer: VIRTUAL\n"
                                                 "  model: VIRTUAL PRINTER\n"
                                                 "  serial number: -\n"))
        << result.out;
    EXPECT_NE(std::string::npos, result.out.find("<Transport>PAR1</Transport>")) << result.out;

    // The long key names count too, whatever their case and spacing; JSON
    // escapes what it must (a backslash here).
    result = run("--virtual --virtual-device-id \"manufacturer: Acme ;Model:Laser 5;SERN:X1\\2;"
                 "CLS:PRINTER;\" discover --json");
    ASSERT_EQ(0, result.exitCode) << result.err;
    EXPECT_EQ("[\n  {\"port\": \"LPT1:\", \"handle\": 4097, \"deviceClass\": \"BpdPrinter\", "
              "\"manufacturer\": \"Acme\", \"model\": \"Laser 5\", \"serial\": \"X1\\\\2\", "
              "\"deviceId\": \"manufacturer: Acme ;Model:Laser 5;SERN:X1\\\\2;CLS:PRINTER;\", "
              "\"transportString\": \"<Portname>LPT1:</Portname>",
              result.out.substr(0, result.out.find("</Portname>") + 11));
    EXPECT_EQ("\"}\n]\n", result.out.substr(result.out.size() - 5)) << result.out;

    result = run("--virtual --virtual-gone discover");
    ASSERT_EQ(0, result.exitCode) << result.err;
    EXPECT_NE(std::string::npos, result.out.find("no printers found")) << result.out;
    result = run("--virtual --virtual-gone discover --json");
    EXPECT_EQ("[]\n", result.out);
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

// The module's settings key, as the module documents it.
const char* const settingsKey = "Software\\Vantrel\\Kes\\Local\\vnbx\\Par1\\Settings\\";

LSTATUS deleteSetting(const char* name) {
    HKEY key = nullptr;
    LSTATUS result = RegOpenKeyExA(HKEY_LOCAL_MACHINE, settingsKey, 0, KEY_ALL_ACCESS, &key);
    if (result == ERROR_SUCCESS) {
        result = RegDeleteValueA(key, name);
        RegCloseKey(key);
    }
    return result;
}

LSTATUS writeSetting(const char* name, DWORD value) {
    HKEY key = nullptr;
    LSTATUS result =
        RegCreateKeyExA(HKEY_LOCAL_MACHINE, settingsKey, 0, nullptr, REG_OPTION_NON_VOLATILE,
                        KEY_ALL_ACCESS, nullptr, &key, nullptr);
    if (result == ERROR_SUCCESS) {
        result = RegSetValueExA(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value),
                                sizeof value);
        RegCloseKey(key);
    }
    return result;
}

// The line of config show that starts with the name.
std::string showLine(const std::string& show, const std::string& name) {
    std::istringstream lines(show);
    std::string line;
    while (std::getline(lines, line)) {
        if (line.compare(0, name.size() + 1, name + " ") == 0) {
            return line;
        }
    }
    return "";
}

TEST_F(Par1Tool, SetChecksTheNameAndTheRangeAndReadsNoOctal) {
    struct Case {
        std::string arguments;
        int exitCode;
        std::string message; // on standard error, or the stored value on success
    };
    const Case cases[] = {
        {"settings.NpaTimeout 010", 0, "10"}, // decimal, not octal
        {"settings.NpaTimeout 08", 0, "8"},
        {"settings.NpaTimeout 0x1f", 0, "31"},
        {"SETTINGS.npatimeout 250", 0, "250"}, // names are case-blind, as the registry's
        {"logger.startLog 1", 0, "1"},
        {"logger.All 0xFFFFFFFF", 0, "4294967295"},
        {"settings.NpaTimout 5", 2, "did you mean settings.NpaTimeout?"},
        {"settings.Nothing 5", 2, "unknown setting \"settings.Nothing\""},
        {"nosuch 5", 2, "unknown setting"},
        {"settings.NpaTimeout 0", 2, "settings.NpaTimeout takes 1 to 600000"},
        {"logger.startLog 2", 2, "out of range"},
        {"settings.NpaTimeout 12abc", 2, "is not a number"},
        {"settings.NpaTimeout -1", 2, "is not a number"},
        {"settings.NpaTimeout 0x", 2, "is not a number"},
        {"logger.All 0x100000000", 2, "logger.All cannot be 0x100000000: out of range"},
        {"settings.MaxNpaWrapRetries 1001", 2, "takes 1 to 1000"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.arguments);
        Result result = run("config set " + c.arguments);
        EXPECT_EQ(c.exitCode, result.exitCode) << result.out << result.err;
        if (c.exitCode == 0) {
            // The value written, under the setting's own spelling.
            EXPECT_NE(std::string::npos, result.out.find(" = " + c.message + "\n")) << result.out;
        } else {
            EXPECT_NE(std::string::npos, result.err.find(c.message)) << result.err;
            EXPECT_NE(std::string::npos, result.err.find("hint: ")) << result.err;
        }
    }
    // What was stored, and a refused value left it.
    EXPECT_EQ("250\n", run("config get settings.NpaTimeout").out);
    EXPECT_EQ("4294967295\n", run("config get logger.All").out);
    ASSERT_EQ(0, run("config set logger.startLog 0").exitCode);
    ASSERT_EQ(0, run("config set settings.NpaTimeout 200").exitCode);
}

TEST_F(Par1Tool, ShowsEverySettingWithItsEffectiveValueAndDefault) {
    // What the module wrote when it ran, and nothing it does not read.
    std::string input = file("input.bin", sample(100));
    ASSERT_EQ(0, run("--virtual print " + input).exitCode);
    ASSERT_EQ(ERROR_SUCCESS, deleteSetting("PJLWriteTimeout"));

    Result show = run("config show");
    ASSERT_EQ(0, show.exitCode) << show.err;
    for (const char* name :
         {"logger.startLog", "logger.All", "logger.Par1Transport", "logger.Server",
          "logger.Clocktime_In_Header", "logger.Proc_Id_In_Header", "logger.Thread_Id_In_Header",
          "settings.ReadTimeout", "settings.NpaTimeout", "settings.PJLReadTimeout",
          "settings.PJLWriteTimeout", "settings.MaxNpaWrapRetries"}) {
        EXPECT_NE("", showLine(show.out, name)) << name << " missing from\n" << show.out;
    }
    EXPECT_NE(std::string::npos,
              showLine(show.out, "settings.NpaTimeout").find("= 200        (default 6000)"))
        << show.out;
    EXPECT_NE(std::string::npos, showLine(show.out, "settings.ReadTimeout").find("(default)"))
        << show.out;
    EXPECT_NE(std::string::npos,
              showLine(show.out, "settings.PJLWriteTimeout").find("= 2500       (default, not "))
        << show.out;
    EXPECT_EQ(std::string::npos, show.out.find("not read by the module")) << show.out;
    // An unwritten setting answers its default.
    Result get = run("config get settings.PJLWriteTimeout");
    EXPECT_EQ(0, get.exitCode) << get.err;
    EXPECT_EQ("2500\n", get.out);

    // A value written by hand under a wrong name shows as such.
    ASSERT_EQ(ERROR_SUCCESS, writeSetting("NpaTimout", 5));
    show = run("config show");
    EXPECT_NE(std::string::npos, show.out.find("settings.NpaTimout (not read by the module)"))
        << show.out;
    ASSERT_EQ(ERROR_SUCCESS, deleteSetting("NpaTimout"));
}

// The path par1 log prints, first line of its output.
std::string logPathShown() {
    Result result = run("log");
    return result.out.substr(0, result.out.find('\n'));
}

TEST_F(Par1Tool, ShowsWhereTheLogIsAndItsLastLines) {
    Result result = run("log");
    ASSERT_EQ(0, result.exitCode) << result.err;
    EXPECT_NE(std::string::npos, result.out.find("logging is off")) << result.out;
    const std::string path = logPathShown();
    EXPECT_NE(std::string::npos, path.find("vnbx.log")) << path;
#ifdef _WIN32
    EXPECT_EQ(":\\", path.substr(1, 2)) << path;
#else
    // A host path, which the shell and an editor open.
    EXPECT_EQ('/', path[0]) << path;
#endif
    std::remove(path.c_str());
    result = run("log --tail 3");
    EXPECT_EQ(8, result.exitCode) << result.out << result.err;
    EXPECT_NE(std::string::npos, result.err.find("par1 config set logger.startLog 1"));

    // The module writes the log where par1 log says.
    ASSERT_EQ(0, run("config set logger.startLog 1").exitCode);
    ASSERT_EQ(0, run("--virtual discover").exitCode);
    ASSERT_EQ(0, run("config set logger.startLog 0").exitCode);
    EXPECT_NE("", readFile(path)) << path;

    writeFile(path, "one\ntwo\nthree\n");
    struct Case {
        std::string tail;
        std::string lines;
    };
    const Case cases[] = {
        {"2", "two\nthree\n"},      {"1", "three\n"}, {"3", "one\ntwo\nthree\n"},
        {"9", "one\ntwo\nthree\n"}, {"0", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.tail);
        result = run("log --tail " + c.tail);
        EXPECT_EQ(0, result.exitCode) << result.err;
        EXPECT_EQ(c.lines, result.out);
    }
    // A last line without its line end is a line.
    writeFile(path, "one\ntwo");
    EXPECT_EQ("two", run("log --tail 1").out);
    std::remove(path.c_str());
}

TEST_F(Par1Tool, FollowsTheLogAsItGrows) {
    const std::string path = logPathShown();
    writeFile(path, "one\ntwo\n");
    const std::string out = prefix() + "follow.txt";
    std::remove(out.c_str());
    // par1 runs in a thread of its own while this one appends to the log.
    std::thread follower([&] {
        std::system((std::string(tool) + " log --tail 1 --follow --for 4 > " + out).c_str());
    });
    // Once the last line is shown, par1 follows the file.
    const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (textLines(readFile(out)) != "two\n" && std::chrono::steady_clock::now() < limit) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    EXPECT_EQ("two\n", textLines(readFile(out)));
    {
        std::ofstream append(path, std::ios::binary | std::ios::app);
        append << "three\n";
    }
    follower.join();
    EXPECT_EQ("two\nthree\n", textLines(readFile(out)));
    std::remove(out.c_str());
    std::remove(path.c_str());
}

TEST_F(Par1Tool, ShowsItsVersionAndTheLoadedModulesVersion) {
    Result result = run("--version");
    ASSERT_EQ(0, result.exitCode) << result.err;
    EXPECT_EQ(0u, result.out.find("par1 " PAR1_VERSION "\nmodule " PAR1_VERSION " ("))
        << result.out;
    // The file it was read from.
    const size_t open = result.out.find(" (") + 2;
    const std::string module = result.out.substr(open, result.out.rfind(')') - open);
    EXPECT_NE(std::string::npos, module.find("vnbxpar1")) << module;
    EXPECT_TRUE(exists(module)) << module;
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
