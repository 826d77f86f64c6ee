// Arbitrary answers to the NPA-mode query, arriving in arbitrary pieces while
// the query waits: the query ends exactly when an answer is complete, the
// mode it reports is the answer's, the answer's text is taken and nothing
// else, and every other byte reaches the packet queue once.
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

// The answer rules: while the answer is awaited, a piece that starts with
// the start byte means NPA is on, and its first five bytes end the wait when
// they are the header of a refused empty print-channel packet. Otherwise the
// text before a form feed is collected (at most 4096 bytes, more and the
// collection starts afresh); at the form feed, a collection that holds
// "@PJL" before any zero character is the answer: "OFF" clears the mode,
// "AUTO" sets it, and the wait ends.
struct Expected {
    bool answered = false;
    bool mode = true;
    Bytes toQueue;
};

Expected expectedAnswer(const std::vector<Bytes>& pieces) {
    Expected expected;
    bool awaiting = true;
    std::string collected;
    for (const Bytes& piece : pieces) {
        size_t taken = 0;
        if (awaiting && !piece.empty() && piece[0] == 0xA5) {
            expected.mode = true;
            if (piece.size() >= 5 && piece[2] == 0x02 && (piece[3] & 0x80) != 0 &&
                piece[4] == 0x00) {
                awaiting = false;
                expected.answered = true;
                taken = 5;
            }
        } else if (awaiting && !piece.empty()) {
            size_t text = 0;
            while (text < piece.size() && piece[text] != 0x0C) {
                ++text;
            }
            if (collected.size() + text > Par1Protocol::maximumAnswer) {
                collected.clear();
            }
            if (text <= Par1Protocol::maximumAnswer) {
                collected.append(piece.begin(), piece.begin() + static_cast<std::ptrdiff_t>(text));
            }
            taken = text;
            if (text < piece.size()) {
                std::string answer = collected.substr(0, collected.find('\0'));
                if (answer.find("@PJL") != std::string::npos) {
                    if (answer.find("OFF") != std::string::npos) {
                        expected.mode = false;
                    }
                    if (answer.find("AUTO") != std::string::npos) {
                        expected.mode = true;
                    }
                    awaiting = false;
                    expected.answered = true;
                }
            }
        }
        expected.toQueue.insert(expected.toQueue.end(),
                                piece.begin() + static_cast<std::ptrdiff_t>(taken), piece.end());
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

    Expected expected = expectedAnswer(pieces);
    FUZZ_CHECK(answered == expected.answered, "whether the answer ended the wait");
    FUZZ_CHECK(pjl.npaMode() == expected.mode, "the mode reported");

    // Everything but the answer's text reaches the queue, which hands up its
    // packets, the printer's break packet left out.
    std::vector<Bytes> packets;
    for (Bytes& packet : par1fuzz::referencePackets(expected.toQueue)) {
        if (!(packet.size() == sizeof breakPacket &&
              std::memcmp(packet.data(), breakPacket, sizeof breakPacket) == 0)) {
            packets.push_back(std::move(packet));
        }
    }
    FUZZ_CHECK(sink.received == packets, "packets handed up after the answer was taken");
    return 0;
}
