// The printer's byte stream, cut into the port's reads at arbitrary points,
// reaches the layers above exactly as when each part arrives in one read:
// the same messages for the host, the same acknowledgements and refusals
// for the wrap layer, the same last reply and the same outcome of the
// NPA-mode query, with the query pending for a prefix of the stream or not
// at all.
//
// Input: one byte n, n bytes of piece lengths, two bytes for where the query
// ends (with the low bit of the first: whether a query runs), then the
// stream.
#include "FuzzSupport.h"

#include "protocol/NpaWrapProtocol.h"
#include "protocol/Par1NpaProtocol.h"
#include "protocol/Par1Protocol.h"

#include <string>

using par1fuzz::Bytes;

namespace {

Bytes bytesOf(Data& data) {
    return Bytes(data.data(), data.data() + data.size());
}

class Sink : public Layer {
public:
    using Layer::doAccept;
    void doAccept(Data& data) override { received.push_back(bytesOf(data)); }
    std::vector<Bytes> received;
};

// The wrap layer as the connection has it, noting what reaches it.
class RecordingWrap : public NpaWrapProtocol {
public:
    RecordingWrap() : NpaWrapProtocol(NpaWrapProtocol::defaultPacketSize, true, true) {}
    using NpaWrapProtocol::doAccept;
    void doAccept(Data& data) override {
        received.push_back(bytesOf(data));
        NpaWrapProtocol::doAccept(data);
    }
    std::vector<Bytes> received;
};

// The port below the PJL layer: what the printer sends while the query's
// write is under way.
class Port : public Layer {
public:
    explicit Port(Layer& pjl) : pjl_(pjl) {}
    void doWrite(Data& data) override {
        data.setCount(data.size());
        data.setError(0);
        for (const Bytes& piece : duringQuery) {
            Data read(piece.data(), static_cast<uint32_t>(piece.size()));
            pjl_.doAccept(read);
        }
    }
    using Layer::doAccept;
    void doAccept(Visitor&) override {}
    std::vector<Bytes> duringQuery;

private:
    Layer& pjl_;
};

struct Outcome {
    bool answered = false;
    bool mode = true;
    std::vector<Bytes> atWrap;
    std::vector<Bytes> atHost;
    Bytes lastReply;
};

Outcome deliver(bool query, const std::vector<Bytes>& duringQuery,
                const std::vector<Bytes>& afterwards) {
    Par1Protocol pjl;
    Par1NpaProtocol npa;
    RecordingWrap wrap;
    Sink host;
    Port port(pjl);
    port.duringQuery = duringQuery;
    pjl.setLayer(Layer::Lower, &port);
    pjl.setLayer(Layer::Upper, &npa);
    npa.setLayer(Layer::Lower, &pjl);
    npa.setLayer(Layer::Upper, &wrap);
    wrap.setLayer(Layer::Lower, &npa);
    wrap.setLayer(Layer::Upper, &host);

    Outcome outcome;
    if (query) {
        outcome.answered = pjl.isNpaActive();
    }
    for (const Bytes& piece : afterwards) {
        Data read(piece.data(), static_cast<uint32_t>(piece.size()));
        pjl.doAccept(read);
    }
    outcome.mode = pjl.npaMode();
    outcome.atWrap = wrap.received;
    outcome.atHost = host.received;
    Data reply = npa.lastReply();
    outcome.lastReply = bytesOf(reply);
    return outcome;
}

std::vector<Bytes> whole(const Bytes& part) {
    return part.empty() ? std::vector<Bytes>() : std::vector<Bytes>{part};
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    // The query ends as soon as its write has returned.
    par1fuzz::prepareEnvironment({{"NpaTimeout", 0}});
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    par1fuzz::Reader reader(data, size);
    Bytes lengthBytes = reader.bytes(reader.byte());
    uint32_t choice = reader.number(65536);
    Bytes stream = reader.rest();
    const bool query = (choice & 1) != 0;
    const size_t end = query ? (choice >> 1) % (stream.size() + 1) : 0;
    const Bytes during(stream.begin(), stream.begin() + static_cast<std::ptrdiff_t>(end));
    const Bytes after(stream.begin() + static_cast<std::ptrdiff_t>(end), stream.end());

    par1fuzz::Reader lengths(lengthBytes.data(), lengthBytes.size());
    std::vector<Bytes> duringPieces = par1fuzz::chunk(during, lengths, 600);
    std::vector<Bytes> afterPieces = par1fuzz::chunk(after, lengths, 600);

    Outcome reference = deliver(query, whole(during), whole(after));
    Outcome split = deliver(query, duringPieces, afterPieces);
    FUZZ_CHECK(split.answered == reference.answered, "the query's outcome depends on the reads");
    FUZZ_CHECK(split.mode == reference.mode, "the NPA mode depends on the reads");
    FUZZ_CHECK(split.atWrap == reference.atWrap,
               "what reaches the wrap layer depends on the reads");
    FUZZ_CHECK(split.atHost == reference.atHost, "what reaches the host depends on the reads");
    FUZZ_CHECK(split.lastReply == reference.lastReply, "the last reply depends on the reads");
    if (!query) {
        FUZZ_CHECK(!split.answered && split.mode, "no query, no answer");
    }
    return 0;
}
