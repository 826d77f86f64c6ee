// The CUPS backend run as the scheduler runs it: a process with the job's
// arguments and DEVICE_URI, against the virtual printer that the test's own
// PAR1_BACKEND_VIRTUAL_PRINTER names. Its status lines, its exit code and
// what the printer received.
#include "DeviceUri.h"
#include "support/PrivateHostStore.h"

#include "platform/win32.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

namespace {

const bool privateStore = par1test::usePrivateHostStore();

const char* const backend = "./backend/par1";

// CUPS' exit codes (cups/backend.h).
enum { Ok = 0, Failed = 1, Stop = 4, Cancel = 5, Retry = 6 };

std::string prefix() {
    return "par1_cups_" + std::to_string(GetCurrentProcessId()) + "_";
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
    return std::filesystem::exists(name);
}

struct Result {
    int exitCode;
    std::string out;
    std::string err;
};

// Text as the shell reads it, in single quotes.
std::string shellWord(const std::string& text) {
    std::string word = "'";
    for (char c : text) {
        word += c == '\'' ? std::string("'\\''") : std::string(1, c);
    }
    return word + "'";
}

// Bytes 0, 1, 2, ... (mod 251): a lost, doubled or reordered byte shows.
std::string sample(size_t size) {
    std::string bytes(size, '\0');
    for (size_t i = 0; i < size; ++i) {
        bytes[i] = static_cast<char>(i % 251);
    }
    return bytes;
}

class Backend : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        ASSERT_TRUE(exists(backend)) << backend << " must be below the test program";
        // A printer that does not answer the NPA query is given up soon.
        HKEY key = nullptr;
        ASSERT_EQ(ERROR_SUCCESS,
                  RegCreateKeyExA(
                      HKEY_LOCAL_MACHINE, "Software\\Vantrel\\Kes\\Local\\vnbx\\Par1\\Settings\\",
                      0, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, nullptr, &key, nullptr));
        const DWORD timeout = 300;
        RegSetValueExA(key, "NpaTimeout", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&timeout),
                       sizeof timeout);
        RegCloseKey(key);
    }

    void SetUp() override {
        received_ = path("received.bin");
        settings_ = path("printer.conf");
        printer("");
    }

    void TearDown() override {
        for (const std::string& name : files_) {
            std::error_code ignored;
            std::filesystem::remove_all(name, ignored);
        }
    }

    std::string path(const std::string& name) {
        const std::string made = prefix() + name;
        std::filesystem::remove(made);
        files_.push_back(made);
        return made;
    }
    std::string file(const std::string& name, const std::string& bytes) {
        const std::string made = path(name);
        writeFile(made, bytes);
        return made;
    }
    // The virtual printer's settings: its output, then these lines.
    void printer(const std::string& lines) {
        writeFile(settings_, "# the test's printer\noutput=" + received_ + "\n" + lines);
    }

    // The shell command that runs the backend with the job's arguments.
    std::string command(const std::string& uri, const std::vector<std::string>& arguments,
                        const std::string& input = "") {
        std::string line = "PAR1_BACKEND_VIRTUAL_PRINTER=" + shellWord(settings_) + " ";
        line += uri == "unset" ? "env -u DEVICE_URI " : "DEVICE_URI=" + shellWord(uri) + " ";
        line += backend;
        for (const std::string& argument : arguments) {
            line += " " + shellWord(argument);
        }
        if (!input.empty()) {
            line += " < " + shellWord(input);
        }
        return line;
    }

    Result run(const std::string& uri, const std::vector<std::string>& arguments,
               const std::string& input = "") {
        const std::string out = path("stdout.txt");
        const std::string err = path("stderr.txt");
        const int status =
            std::system((command(uri, arguments, input) + " > " + out + " 2> " + err).c_str());
        return {(status >> 8) & 0xFF, readFile(out), readFile(err)};
    }

    // Runs the backend, sends it SIGTERM (as the scheduler does to cancel a
    // job) once its status lines say when, and waits for it to end; seconds
    // is how long that took from the signal on.
    Result runAndTerminate(const std::vector<std::string>& arguments, const std::string& when,
                           double* seconds = nullptr, const std::string& input = "") {
        const std::string out = path("stdout.txt");
        const std::string err = path("stderr.txt");
        const std::string pid = path("pid.txt");
        const std::string rc = path("rc.txt");
        const std::string script = command("par1:/LPT1", arguments, input) + " > " + out + " 2> " +
                                   err + " & echo $! > " + pid + "; wait $!; echo $? > " + rc +
                                   ".part; mv " + rc + ".part " + rc;
        std::thread started([&] { std::system(("sh -c " + shellWord(script)).c_str()); });
        const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        while ((readFile(pid).empty() || readFile(err).find(when) == std::string::npos) &&
               std::chrono::steady_clock::now() < limit) {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        const auto signalled = std::chrono::steady_clock::now();
        std::system(("kill -TERM " + readFile(pid)).c_str());
        while (!exists(rc) && std::chrono::steady_clock::now() < limit) {
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        if (seconds != nullptr) {
            *seconds =
                std::chrono::duration<double>(std::chrono::steady_clock::now() - signalled).count();
        }
        started.join();
        return {std::atoi(readFile(rc).c_str()), readFile(out), readFile(err)};
    }

    std::string received_;
    std::string settings_;
    std::vector<std::string> files_;
};

std::vector<std::string> job(const std::string& file = "", const std::string& copies = "1") {
    std::vector<std::string> arguments{"42", "alice", "a title", copies, "raw"};
    if (!file.empty()) {
        arguments.push_back(file);
    }
    return arguments;
}

TEST_F(Backend, ListsThePrintersAsCupsExpects) {
    Result result = run("unset", {});
    ASSERT_EQ(Ok, result.exitCode) << result.err;
    EXPECT_EQ("direct par1:/LPT1 \"VIRTUAL PRINTER\" \"VIRTUAL PRINTER (PAR1)\" "
              "\"MFG:VIRTUAL;MDL:VIRTUAL PRINTER;CMD:PJL,NPAP;CLS:PRINTER;DES:VIRTUAL PRINTER;\" "
              "\"\"\n",
              result.out);

    // Make and model both, a quote escaped, the whole identification.
    printer("device-id=MFG:Acme;MDL:Laser \"5\";CLS:PRINTER;\n");
    result = run("unset", {});
    ASSERT_EQ(Ok, result.exitCode) << result.err;
    EXPECT_EQ("direct par1:/LPT1 \"Acme Laser \\\"5\\\"\" \"Acme Laser \\\"5\\\" (PAR1)\" "
              "\"MFG:Acme;MDL:Laser \\\"5\\\";CLS:PRINTER;\" \"\"\n",
              result.out);

    printer("gone\n");
    result = run("unset", {});
    EXPECT_EQ(Ok, result.exitCode) << result.err;
    EXPECT_EQ("", result.out);
}

TEST_F(Backend, PrintsTheFileCopiesTimesAndStandardInputOnce) {
    const std::string input = file("job.bin", sample(30000));
    Result result = run("par1:/LPT1", job(input, "3"));
    ASSERT_EQ(Ok, result.exitCode) << result.err;
    EXPECT_EQ(readFile(input) + readFile(input) + readFile(input), readFile(received_));
    EXPECT_NE(std::string::npos, result.err.find("DEBUG: NPA mode on, wrapping on")) << result.err;
    EXPECT_NE(std::string::npos, result.err.find("STATE: +connecting-to-device\n")) << result.err;
    EXPECT_NE(std::string::npos, result.err.find("STATE: -connecting-to-device\n")) << result.err;
    EXPECT_NE(std::string::npos, result.err.find("INFO: Printed 90000 bytes\n")) << result.err;
    EXPECT_EQ("", result.out);

    // Standard input: the filters made the copies.
    result = run("par1:/LPT1", job("", "3"), input);
    ASSERT_EQ(Ok, result.exitCode) << result.err;
    EXPECT_EQ(readFile(input), readFile(received_));
}

TEST_F(Backend, TakesTheUrisOptions) {
    // Text, so that the printer, which speaks NPA, reads no packet start in
    // the data it gets unwrapped.
    std::string text;
    for (int line = 0; line < 2000; ++line) {
        text += "line " + std::to_string(line) + "\r\n";
    }
    const std::string input = file("job.txt", text);
    Result result = run("par1:/LPT1?wrap=off", job(input));
    ASSERT_EQ(Ok, result.exitCode) << result.err;
    EXPECT_NE(std::string::npos, result.err.find("DEBUG: NPA mode on, wrapping off\n"))
        << result.err;
    EXPECT_EQ(text, readFile(received_));

    result = run("par1:/lpt1?packet-size=512&wrap=auto", job(input));
    ASSERT_EQ(Ok, result.exitCode) << result.err;
    EXPECT_NE(std::string::npos, result.err.find("wrapping on, packets of 512 bytes at most\n"))
        << result.err;
    EXPECT_EQ(text, readFile(received_));

    // A printer without NPA gets the data as it is.
    printer("npa=off\n");
    result = run("par1:/LPT1", job(input));
    ASSERT_EQ(Ok, result.exitCode) << result.err;
    EXPECT_NE(std::string::npos, result.err.find("NPA mode off, wrapping off")) << result.err;
    EXPECT_EQ(text, readFile(received_));
}

TEST_F(Backend, RefusesBadInputWithAClearMessageAndSendsNothing) {
    const std::string input = file("job.bin", sample(1000));
    const std::string directory = path("directory");
    std::filesystem::create_directory(directory);
    struct Case {
        std::string uri;
        std::vector<std::string> arguments;
        int exitCode;
        std::string message;
    };
    std::vector<Case> cases = {
        // Wrong argument counts.
        {"par1:/LPT1", {"42"}, Failed, "ERROR: par1 takes 5 or 6 arguments"},
        {"par1:/LPT1", {"42", "alice", "title", "1"}, Failed, "not 4\nUsage: par1 job-id"},
        {"par1:/LPT1", {"42", "alice", "title", "1", "", input, "extra"}, Failed, "not 7"},
        // Bad URIs: the queue is wrong, the scheduler stops it.
        {"unset", job(input), Stop, "ERROR: no device URI"},
        {"usb://Acme/Laser", job(input), Stop, "does not start with par1:/"},
        {"par1:/LPT0", job(input), Stop, "\"LPT0\" is no port LPT1 to LPT9"},
        {"par1:/COM1", job(input), Stop, "is no port"},
        {"par1://LPT1", job(input), Stop, "is no port"},
        {"par1:/", job(input), Stop, "is no port"},
        {"par1:/LPT1?wrap=maybe", job(input), Stop, "wrap=maybe is neither auto nor off"},
        {"par1:/LPT1?wrap", job(input), Stop, "option \"wrap\" has no value"},
        {"par1:/LPT1?", job(input), Stop, "has no value"},
        {"par1:/LPT1?packet-size=5", job(input), Stop, "packet-size=5 is not a number from 6"},
        {"par1:/LPT1?packet-size=65539", job(input), Stop, "is not a number from 6 to 65538"},
        {"par1:/LPT1?packet-size=1k", job(input), Stop, "packet-size=1k"},
        {"par1:/LPT1?wrap=off&wrap=auto", job(input), Stop, "\"wrap\" is given twice"},
        {"par1:/LPT1?colour=red", job(input), Stop, "unknown option \"colour\""},
        {"par1:/LPT1?virtual=1", job(input), Stop, "unknown option \"virtual\""},
        // Files that cannot be read, bad copies: this job fails.
        {"par1:/LPT1", job(prefix() + "missing.bin"), Failed, "there is no such file"},
        {"par1:/LPT1", job(directory), Failed, "it is a directory"},
        {"par1:/LPT1", job(input, "0"), Failed, "bad number of copies \"0\""},
        {"par1:/LPT1", job(input, "two"), Failed, "bad number of copies"},
    };
    // A file the backend may not read (root reads every file: not as root).
    const std::string unreadable = file("unreadable.bin", "x");
    std::filesystem::permissions(unreadable, std::filesystem::perms::none);
    if (!std::ifstream(unreadable).good()) {
        cases.push_back({"par1:/LPT1", job(unreadable), Failed, "Permission denied"});
    }
    for (const Case& c : cases) {
        std::string arguments;
        for (const std::string& argument : c.arguments) {
            arguments += " [" + argument + "]";
        }
        SCOPED_TRACE(c.uri + arguments);
        Result result = run(c.uri, c.arguments);
        EXPECT_EQ(c.exitCode, result.exitCode) << result.err;
        EXPECT_NE(std::string::npos, result.err.find(c.message)) << result.err;
        // The message is the scheduler's ERROR line.
        const size_t at = result.err.find(c.message);
        const size_t line = at == std::string::npos ? 0 : result.err.rfind('\n', at) + 1;
        EXPECT_EQ(0u, result.err.compare(line, 7, "ERROR: ")) << result.err;
        EXPECT_FALSE(exists(received_)) << "the printer was reached";
        EXPECT_EQ(std::string::npos, result.err.find("STATE: +connecting")) << result.err;
    }
    std::filesystem::permissions(unreadable, std::filesystem::perms::owner_all);

    // The virtual printer's settings are checked too.
    printer("colour=red\n");
    Result result = run("par1:/LPT1", job(input));
    EXPECT_EQ(Stop, result.exitCode) << result.err;
    EXPECT_NE(std::string::npos, result.err.find("printer.conf:3: unknown setting \"colour\""))
        << result.err;
}

TEST_F(Backend, WaitsForPaperAndGoesOnWhereItStopped) {
    const std::string input = file("job.bin", sample(50000));
    // The NPA query and two pieces of print data find no paper.
    printer("paper-out-writes=3\n");
    Result result = run("par1:/LPT1", job(input));
    ASSERT_EQ(Ok, result.exitCode) << result.err;
    EXPECT_EQ(readFile(input), readFile(received_));
    const size_t set = result.err.find("STATE: +media-empty-error\n");
    ASSERT_NE(std::string::npos, set) << result.err;
    EXPECT_NE(std::string::npos, result.err.find("STATE: -media-empty-error\n", set)) << result.err;
    EXPECT_EQ(std::string::npos, result.err.find("STATE: +media-empty-error\n", set + 1))
        << "once: " << result.err;
}

TEST_F(Backend, APrinterThatIsOffOrFailsNeverEndsTheJobOk) {
    const std::string input = file("job.bin", sample(50000));
    struct Case {
        std::string printer;
        int exitCode;
        std::string message;
    };
    const Case cases[] = {
        {"gone\n", Retry, "ERROR: no printer on LPT1:"},
        {"vanish-after=20000\n", Retry, "ERROR: printing stopped after "},
        {"refuse-all\n", Failed, "ERROR: printing stopped after 0 bytes"},
        {"paper-out\nnpa=off\n", Cancel, "STATE: +media-empty-error"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.printer);
        printer(c.printer);
        Result result;
        if (c.exitCode == Cancel) {
            // Out of paper for good: the job waits until it is cancelled.
            result = runAndTerminate(job(input), "STATE: +media-empty-error\n");
        } else {
            result = run("par1:/LPT1", job(input));
        }
        EXPECT_EQ(c.exitCode, result.exitCode) << result.err;
        EXPECT_NE(std::string::npos, result.err.find(c.message)) << result.err;
        EXPECT_EQ(c.exitCode == Retry,
                  result.err.find("STATE: +offline-report\n") != std::string::npos)
            << result.err;
        EXPECT_NE(readFile(input), readFile(received_));
    }
}

TEST_F(Backend, ACancelledJobEndsWithinASecond) {
    const std::string input = file("job.bin", sample(50000));
    struct Case {
        std::string printer;
        std::string input;
        std::string when; // the job is under way
        std::string message;
    };
    const Case cases[] = {
        // A printer that never acknowledges: the job waits inside the module.
        {"silent\n", "", "DEBUG: NPA mode on",
         "DEBUG: the job was cancelled (SIGTERM): closing the connection"},
        // A slow printer: a write of the port holds the connection.
        {"link-speed=5000\n", "", "DEBUG: NPA mode on", "DEBUG: the job was cancelled"},
        // A job without end that the printer takes as fast as it comes: the
        // job sees the cancel between two pieces and closes as usual.
        {"", "/dev/zero", "INFO: Printing: ", "INFO: Cancelled after "},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.printer + c.input);
        printer(c.printer);
        double seconds = 0;
        Result result =
            runAndTerminate(job(c.input.empty() ? input : ""), c.when, &seconds, c.input);
        EXPECT_EQ(Cancel, result.exitCode) << result.err;
        EXPECT_LT(seconds, 1.0) << result.err;
        EXPECT_NE(std::string::npos, result.err.find(c.message)) << result.err;
    }
    // The job that ended as usual closed the connection and the module: the
    // printer's record was saved, with the start of the job.
    const std::string received = readFile(received_);
    EXPECT_GT(received.size(), 0u);
    EXPECT_EQ(std::string(received.size(), '\0'), received);
}

// The URI alone, as a table.
TEST(DeviceUri, ReadsThePortAndTheOptions) {
    DeviceUri uri = DeviceUri::parse("par1:/LPT3");
    EXPECT_EQ("LPT3:", uri.port());
    EXPECT_FALSE(uri.wrapOff());
    EXPECT_EQ(0u, uri.packetSize());
    uri = DeviceUri::parse("par1:/lpt9:?packet-size=65538&wrap=off");
    EXPECT_EQ("LPT9:", uri.port());
    EXPECT_TRUE(uri.wrapOff());
    EXPECT_EQ(65538u, uri.packetSize());
    EXPECT_EQ(6u, DeviceUri::parse("par1:/LPT1?packet-size=6").packetSize());
    EXPECT_EQ("par1:/LPT2", DeviceUri::of("LPT2:"));
    for (const char* bad : {"", "par1:", "par1:LPT1", "par1:/LPT10", "par1:/LPT1?wrap=on",
                            "par1:/LPT1?packet-size=", "par1:/LPT1?packet-size=-1",
                            "par1:/LPT1?packet-size=99999999999", "par1:/LPT1?&",
                            "par1:/LPT1?wrap=off&", "PAR1:/LPT1"}) {
        SCOPED_TRACE(bad);
        EXPECT_THROW(DeviceUri::parse(bad), DeviceUri::Invalid);
    }
}

} // namespace
