// The byte stream a printer sends, arriving in arbitrary pieces: the packet
// queue cuts the same packets whatever the pieces, each exactly as long as
// its length field says, and the PJL and NPA layers above hand up every
// message once, well formed and in order, never a byte that was not sent.
//
// Input: one byte n, n bytes of piece lengths, then the stream.
#include "FuzzSupport.h"
#include "NpaFraming.h"

#include "protocol/NpaPacket.h"
#include "protocol/NpaPacketQueue.h"
#include "protocol/Par1NpaProtocol.h"
#include "protocol/Par1Protocol.h"

#include <cstring>
#include <map>

using par1fuzz::Bytes;

namespace {

const uint8_t breakPacket[] = {0xA5, 0x00, 0x0C, 0x50, 0x03, 0x04, 'R', 'e',
                               'a',  'd',  'B',  'r',  'e',  'a',  'k'};
const uint8_t waitPacket[] = {0xA5, 0x00, 0x05, 0x40, 0xFF, 0x80, 0x00, 0x00};

Bytes bytesOf(Data& data) {
    return Bytes(data.data(), data.data() + data.size());
}

bool isControlChannel(uint8_t channel) {
    return channel == NpaPacket::controlChannel || channel == NpaPacket::controlChannel2;
}

// What reaches the top of the stack.
class Sink : public Layer {
public:
    using Layer::doAccept;
    void doAccept(Data& data) override { received.push_back(bytesOf(data)); }
    std::vector<Bytes> received;
};

void checkWellFormed(const Bytes& packet, const char* where) {
    FUZZ_CHECK(packet.size() >= NpaPacket::headerSize, where);
    FUZZ_CHECK(packet[0] == NpaPacket::startByte, where);
    size_t length = (static_cast<size_t>(packet[1]) << 8) | packet[2];
    FUZZ_CHECK(length + 3 == packet.size(), where);
}

// The queue cuts the pieces of the stream's framing whatever the reads,
// every byte once and in order: packets, runs between them, and what it
// holds for later.
void checkQueue(const Bytes& stream, const std::vector<Bytes>& pieces) {
    NpaPacketQueue queue;
    std::vector<par1fuzz::StreamPiece> cut;
    for (const Bytes& piece : pieces) {
        Data data(piece.data(), static_cast<uint32_t>(piece.size()));
        queue.append(data);
        // At most one unfinished packet is held.
        FUZZ_CHECK(queue.heldBytes() <= NpaPacketQueue::maximumLength + 2, "queue holds too much");
        while (queue.hasPiece()) {
            uint32_t before = queue.packetCount();
            NpaPacketQueue::Piece next = queue.pop();
            NpaPacket& packet = next.bytes;
            FUZZ_CHECK(packet.size() != 0, "an empty piece");
            if (!next.isPacket) {
                // A run may end with an append and go on in the next one:
                // runs next to each other are one run of the stream.
                Bytes run = bytesOf(packet);
                if (!cut.empty() && !cut.back().isPacket) {
                    cut.back().bytes.insert(cut.back().bytes.end(), run.begin(), run.end());
                } else {
                    cut.push_back(par1fuzz::StreamPiece{false, run});
                }
                continue;
            }
            FUZZ_CHECK(queue.packetCount() + 1 == before, "count after pop");
            FUZZ_CHECK(packet.length() + 3u == packet.size(), "packet and its length field");
            FUZZ_CHECK(packet.payloadBytes() + NpaPacket::headerSize == packet.size(),
                       "payload bytes");
            FUZZ_CHECK(packet.payloadLength() == packet.length() - 2, "payload length");
            FUZZ_CHECK(packet.channel() == packet.byteAt(4), "channel");
            cut.push_back(par1fuzz::StreamPiece{true, bytesOf(packet)});
        }
    }
    FUZZ_CHECK(queue.pop().bytes.size() == 0, "pop of an empty queue");
    size_t held = 0;
    FUZZ_CHECK(cut == par1fuzz::referencePieces(stream, &held),
               "pieces differ from the stream's framing");
    FUZZ_CHECK(queue.heldBytes() == held, "bytes held for a later packet");
}

// PJL layer, NPA layer, sink: the path the read thread takes.
void checkStack(const std::vector<Bytes>& pieces, const std::vector<Bytes>& packets,
                size_t streamSize) {
    Par1Protocol pjl;
    Par1NpaProtocol npa;
    Sink sink;
    pjl.setLayer(Layer::Upper, &npa);
    npa.setLayer(Layer::Lower, &pjl);
    npa.setLayer(Layer::Upper, &sink);
    for (const Bytes& piece : pieces) {
        Data data(piece.data(), static_cast<uint32_t>(piece.size()));
        pjl.doAccept(data);
    }
    // What the NPA layer was given, per channel, and whether any message
    // came in pieces.
    std::map<uint8_t, Bytes> sentPayload;
    std::map<uint8_t, Bytes> finished;
    std::map<uint8_t, Bytes> unfinished;
    std::vector<Bytes> whole;
    bool fragments = false;
    for (const Bytes& packet : packets) {
        if (packet.size() == sizeof breakPacket &&
            std::memcmp(packet.data(), breakPacket, sizeof breakPacket) == 0) {
            continue;
        }
        if (packet.size() == sizeof waitPacket &&
            std::memcmp(packet.data(), waitPacket, sizeof waitPacket) == 0) {
            continue;
        }
        bool more = (packet[3] & NpaPacket::moreFollowsFlag) != 0;
        fragments = fragments || more;
        Bytes& sent = sentPayload[packet[4]];
        sent.insert(sent.end(), packet.begin() + 5, packet.end());
        // What a message still waiting for its last piece holds.
        Bytes& waiting = unfinished[packet[4]];
        waiting.insert(waiting.end(), packet.begin() + 5, packet.end());
        if (!more) {
            Bytes& done = finished[packet[4]];
            done.insert(done.end(), waiting.begin(), waiting.end());
            waiting.clear();
        }
        whole.push_back(packet);
    }
    std::map<uint8_t, Bytes> gotPayload;
    for (const Bytes& message : sink.received) {
        checkWellFormed(message, "message handed up");
        // A message goes up once its last piece has come.
        FUZZ_CHECK((message[3] & NpaPacket::moreFollowsFlag) == 0, "unfinished message handed up");
        Bytes& got = gotPayload[message[4]];
        got.insert(got.end(), message.begin() + 5, message.end());
    }
    FUZZ_CHECK(sink.received.size() <= whole.size(), "more messages than packets");
    for (const auto& channel : gotPayload) {
        FUZZ_CHECK(par1fuzz::isSubsequence(channel.second, sentPayload[channel.first]),
                   "a payload byte handed up that was not sent on its channel, or twice, or out "
                   "of order");
    }
    if (!fragments) {
        FUZZ_CHECK(sink.received == whole, "single-packet messages must go up unchanged");
    }
    if (streamSize < 65535) {
        // No message can outgrow its length field: every finished message
        // goes up whole, each channel's bytes in the order they came.
        for (auto& channel : finished) {
            FUZZ_CHECK(gotPayload[channel.first] == channel.second,
                       "channel " + std::to_string(channel.first) + " lost bytes");
        }
    }
    // The reply a transaction would see is the last data-channel message.
    Bytes lastData;
    for (const Bytes& message : sink.received) {
        if (!isControlChannel(message[4])) {
            lastData = message;
        }
    }
    Data reply = npa.lastReply();
    FUZZ_CHECK(bytesOf(reply) == lastData, "last reply is not the last data message");
}

// The NPA layer given each piece directly: a piece of whole packets goes up
// as messages, anything else goes up unchanged.
void checkDirect(const std::vector<Bytes>& pieces) {
    for (const Bytes& piece : pieces) {
        Par1NpaProtocol npa;
        Sink sink;
        npa.setLayer(Layer::Upper, &sink);
        Data data(piece.data(), static_cast<uint32_t>(piece.size()));
        bool whole = NpaProtocol::holdsWholePackets(data);
        FUZZ_CHECK(data.size() == piece.size(), "holdsWholePackets consumed");
        npa.doAccept(data);
        if (!whole) {
            FUZZ_CHECK(sink.received.size() == 1 && sink.received[0] == piece,
                       "data that is no packet sequence goes up unchanged");
            continue;
        }
        size_t total = 0;
        for (const Bytes& message : sink.received) {
            checkWellFormed(message, "message of a whole piece");
            total += message.size();
        }
        FUZZ_CHECK(total <= piece.size(), "more bytes handed up than came in");
    }
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    par1fuzz::prepareEnvironment();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    par1fuzz::Reader reader(data, size);
    Bytes lengthBytes = reader.bytes(reader.byte());
    Bytes stream = reader.rest();
    par1fuzz::Reader lengths(lengthBytes.data(), lengthBytes.size());
    std::vector<Bytes> pieces = par1fuzz::chunk(stream, lengths, 600);

    std::vector<Bytes> packets = par1fuzz::referencePackets(stream);
    checkQueue(stream, pieces);
    checkStack(pieces, packets, stream.size());
    checkDirect(pieces);
    return 0;
}
