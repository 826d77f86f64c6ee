// Arbitrary answers to the NPA-mode query, arriving in arbitrary pieces while
// the query waits: the query ends exactly when an answer is complete in the
// stream, whatever the pieces, the mode it reports is the answer's, the
// answer is taken and nothing else, and every other packet goes up once.
//
// Input: one byte n, n bytes of piece lengths, then what the printer sends.
#include "FuzzSupport.h"
#include "NpaFraming.h"

#include "protocol/Par1Protocol.h"

#include <cstring>
#include <string>

using par1fuzz::Bytes;

namespace {

const uint8_t breakPacket[] = {0xA5, 0x00, 0x0C, 0x50, 0x03, 0x04, 'R', 'e',
                               'a',  'd',  'B',  'r',  'e',  'a',  'k'};

// The answer rules, on the stream as a whole, however the reads split it:
// while the answer is awaited, a whole packet means NPA is on, and a
// refused empty print-channel packet (A5 00 02 80 00) is the answer and is
// taken. Bytes outside every packet are the answer's text: at each form
// feed, a text that holds "@PJL" before any zero character is the answer
// ("OFF" clears the mode, "AUTO" sets it); of a longer text only the newest
// 4096 bytes count. Once the answer is complete nothing more is taken. Bytes outside packets never
// go up; every packet but the answer and the break packet does.
struct Expected {
    bool answered = false;
    bool mode = true;
    std::vector<Bytes> packetsUp;
};

bool isBreakPacket(const Bytes& b) {
    return b.size() == sizeof breakPacket &&
           std::memcmp(b.data(), breakPacket, sizeof breakPacket) == 0;
}

void takeText(Expected& expected, std::string& collected, const Bytes& run) {
    for (uint8_t byte : run) {
        if (expected.answered) {
            return;
        }
        if (byte != 0x0C) {
            collected += static_cast<char>(byte);
            if (collected.size() > Par1Protocol::maximumAnswer) {
                collected.erase(0, 1);
            }
            continue;
        }
        std::string answer = collected.substr(0, collected.find('\0'));
        if (answer.find("@PJL") != std::string::npos) {
            if (answer.find("OFF") != std::string::npos) {
                expected.mode = false;
            }
            if (answer.find("AUTO") != std::string::npos) {
                expected.mode = true;
            }
            expected.answered = true;
        }
    }
}

Expected expectedAnswer(const Bytes& stream) {
    Expected expected;
    std::string collected;
    for (par1fuzz::StreamPiece& piece : par1fuzz::referencePieces(stream)) {
        const Bytes& b = piece.bytes;
        if (!piece.isPacket) {
            takeText(expected, collected, b);
            continue;
        }
        if (!expected.answered) {
            expected.mode = true;
            if (b.size() == 5 && (b[3] & 0x80) != 0 && b[4] == 0x00) {
                expected.answered = true;
                continue;
            }
        }
        if (!isBreakPacket(b)) {
            expected.packetsUp.push_back(b);
        }
    }
    return expected;
}

class Sink : public Layer {
public:
    using Layer::doAccept;
    void doAccept(Data& data) override {
        received.emplace_back(data.data(), data.data() + data.size());
    }
    std::vector<Bytes> received;
};

// The port: takes the query and answers during the write, as a fast printer
// does before WriteFile returns.
class Printer : public Layer {
public:
    Printer(Layer& pjl, const std::vector<Bytes>& pieces) : pjl_(pjl), pieces_(pieces) {}
    void doWrite(Data& data) override {
        ++writes;
        query.assign(data.data(), data.data() + data.size());
        data.setCount(data.size());
        data.setError(0);
        for (const Bytes& piece : pieces_) {
            Data answer(piece.data(), static_cast<uint32_t>(piece.size()));
            pjl_.doAccept(answer);
        }
    }
    using Layer::doAccept;
    void doAccept(Visitor&) override {}
    int writes = 0;
    Bytes query;

private:
    Layer& pjl_;
    const std::vector<Bytes>& pieces_;
};

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    // The query gives up at once when no answer came during the write.
    par1fuzz::prepareEnvironment({{"NpaTimeout", 0}});
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    par1fuzz::Reader reader(data, size);
    Bytes lengthBytes = reader.bytes(reader.byte());
    Bytes stream = reader.rest();
    par1fuzz::Reader lengths(lengthBytes.data(), lengthBytes.size());
    std::vector<Bytes> pieces = par1fuzz::chunk(stream, lengths, 5000);

    Par1Protocol pjl;
    FUZZ_CHECK(pjl.getNpaTimeout() == 0, "the fuzz setting was not read");
    Printer printer(pjl, pieces);
    Sink sink;
    pjl.setLayer(Layer::Lower, &printer);
    pjl.setLayer(Layer::Upper, &sink);

    bool answered = pjl.isNpaActive();
    FUZZ_CHECK(printer.writes == 1, "the query goes out once");
    static const std::string query = "\x1b%-12345X@PJL DINQUIRE XNPAP\r\n\x1b%-12345X";
    FUZZ_CHECK(std::string(printer.query.begin(), printer.query.end()) == query, "query bytes");

    Expected expected = expectedAnswer(stream);
    FUZZ_CHECK(answered == expected.answered, "whether the answer ended the wait");
    FUZZ_CHECK(pjl.npaMode() == expected.mode, "the mode reported");
    FUZZ_CHECK(sink.received == expected.packetsUp, "packets handed up after the answer was taken");
    return 0;
}
