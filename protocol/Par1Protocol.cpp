#include "protocol/Par1Protocol.h"

#include "protocol/LayerSettings.h"
#include "protocol/NpaPacket.h"
#include "shared/TransportLog.h"
#include "visitors/Par1SetCommTimeOutsVisitor.h"
#include "visitors/Par1Visitor.h"

#include "platform/win32.h"

#include <cstring>
#include <string>

namespace {

const uint8_t formFeed = 0x0C;

// ESC "%-12345X" "@PJL DINQUIRE XNPAP" CR LF ESC "%-12345X": 39 bytes.
const char pjlQuery[] = "\x1b%-12345X@PJL DINQUIRE XNPAP\r\n\x1b%-12345X";
const uint32_t pjlQueryLength = sizeof pjlQuery - 1;
static_assert(sizeof pjlQuery - 1 == 39, "the query is 39 bytes");

// A5 00 0C 50 03 04 "ReadBreak".
const uint8_t breakPacket[] = {0xA5, 0x00, 0x0C, 0x50, 0x03, 0x04, 'R', 'e',
                               'a',  'd',  'B',  'r',  'e',  'a',  'k'};

bool isBreakPacket(Data& packet) {
    return packet.size() == sizeof breakPacket &&
           std::memcmp(packet.data(), breakPacket, sizeof breakPacket) == 0;
}

} // namespace

Par1Protocol::Par1Protocol()
    : answerEvent_(false, false, "", false), npaMode_(true), awaitingPjlResponse_(false),
      npaTimeout_(LayerSettings::number("NpaTimeout", defaultNpaTimeout)),
      pjlReadTimeout_(LayerSettings::number("PJLReadTimeout", defaultPjlReadTimeout)),
      pjlWriteTimeout_(LayerSettings::number("PJLWriteTimeout", defaultPjlWriteTimeout)),
      pjlAnswer_(0, 255) {}

Par1Protocol::~Par1Protocol() = default;

uint32_t Par1Protocol::doOpen() {
    FunctionTrace trace = transportLog::open(LevelTrace, "Par1Protocol::doOpen");
    Layer* lower = getLayer(Lower);
    uint32_t result = lower != nullptr ? lower->open() : ERROR_INVALID_FUNCTION;
    if (trace.isEnabled()) {
        trace.setReturnCode(result);
    }
    return result;
}

uint32_t Par1Protocol::doClose() {
    FunctionTrace trace = transportLog::open(LevelTrace, "Par1Protocol::doClose");
    Layer* lower = getLayer(Lower);
    uint32_t result = lower != nullptr ? lower->close() : ERROR_INVALID_FUNCTION;
    if (trace.isEnabled()) {
        trace.setReturnCode(result);
    }
    return result;
}

void Par1Protocol::doWrite(Data& data) {
    Layer* lower = getLayer(Lower);
    if (lower == nullptr) {
        data.setError(ERROR_INVALID_FUNCTION);
        return;
    }
    lower->doWrite(data);
}

void Par1Protocol::doAccept(Visitor& visitor) {
    FunctionTrace trace = transportLog::open(LevelTrace, "Par1Protocol::doAccept(Visitor&)");
    Par1Visitor* own = Par1Visitor::fromVisitor(visitor);
    if (own != nullptr) {
        own->doAtPar1Protocol(*this, getLayer(Upper));
    } else {
        visitor.doAtProtocol(*this, getLayer(Upper));
    }
}

bool Par1Protocol::isNpaActive(uint32_t* queryError) {
    FunctionTrace trace = transportLog::open(LevelTrace, "Par1Protocol::isNpaActive");
    Layer* lower = getLayer(Lower);
    if (lower != nullptr) {
        // Of these the adapter applies the write part: the port's reads stay
        // bounded by "ReadTimeout", so that a close is never held up by a
        // long read, and the answer is recognised however the reads cut it.
        COMMTIMEOUTS timeouts = {};
        timeouts.ReadIntervalTimeout = 50;
        timeouts.ReadTotalTimeoutMultiplier = 5;
        timeouts.ReadTotalTimeoutConstant = pjlReadTimeout_;
        timeouts.WriteTotalTimeoutMultiplier = 10;
        timeouts.WriteTotalTimeoutConstant = pjlWriteTimeout_;
        Par1SetCommTimeOutsVisitor setTimeouts;
        setTimeouts.setCommTimeouts(timeouts);
        setTimeouts.setLastLayer(this);
        lower->doAccept(setTimeouts);
    }
    // Awaited before the query goes out: a printer may answer before the
    // write returns. A late answer to an earlier query that timed out must
    // not end this wait before its own answer could come.
    answerEvent_.reset();
    awaitingPjlResponse_.store(true);
    Data query(reinterpret_cast<const uint8_t*>(pjlQuery), pjlQueryLength);
    doWrite(query);
    if (query.error() == ERROR_INVALID_FUNCTION) {
        // The stack is not open: no answer can come. A printer's own write
        // fault is waited out as silence.
        awaitingPjlResponse_.store(false);
        if (queryError != nullptr) {
            *queryError = query.error();
        }
        return false;
    }
    bool answered = answerEvent_.wait(npaTimeout_);
    // Answered or not, the query is over: from now on a refused empty packet
    // is the printer's flow control, not an answer.
    awaitingPjlResponse_.store(false);
    return answered;
}

void Par1Protocol::checkPjlQueryResponse(Data& data, bool wholePacket) {
    FunctionTrace trace = transportLog::open(LevelTrace, "Par1Protocol::checkPjlQueryResponse");
    if (wholePacket) {
        // The printer answers in NPA already.
        npaMode_.store(true);
        const uint8_t* bytes = data.data();
        bool answersQuery = data.size() == NpaPacket::headerSize && bytes[2] == 0x02 &&
                            (bytes[3] & NpaPacket::refusedFlag) != 0 &&
                            bytes[4] == NpaPacket::printChannel;
        if (answersQuery) {
            awaitingPjlResponse_.store(false);
            data.consume(data.size(), false);
            answerEvent_.set();
        }
        if (trace.isEnabled()) {
            trace.setReturnCode(" NpaMode=true");
        }
        return;
    }
    while (data.size() != 0 && awaitingPjlResponse_.load()) {
        uint32_t size = data.size();
        const void* found = std::memchr(data.data(), formFeed, size);
        uint32_t text =
            found != nullptr
                ? static_cast<uint32_t>(static_cast<const uint8_t*>(found) - data.data())
                : size;
        uint64_t collected = pjlAnswer_.size() + static_cast<uint64_t>(text);
        if (collected > maximumAnswer) {
            // No answer is this long: only the newest text can still hold
            // one, however the reads cut it.
            transportLog::error("Par1Protocol::checkPjlQueryResponse: answer text beyond " +
                                std::to_string(maximumAnswer) + " bytes dropped");
            uint64_t excess = collected - maximumAnswer;
            if (excess >= pjlAnswer_.size()) {
                uint32_t skipped = static_cast<uint32_t>(excess - pjlAnswer_.size());
                pjlAnswer_.clear();
                data.consume(skipped, false);
                text -= skipped;
            } else {
                pjlAnswer_.consume(static_cast<uint32_t>(excess), true);
            }
        }
        pjlAnswer_.append(data.data(), text);
        data.consume(text, false);
        if (found == nullptr) {
            break;
        }
        // The form feed ends the text.
        data.consume(1, false);
        if (transportLog::isEnabled(LevelDetail)) {
            transportLog::line(LevelDetail,
                               "CompletePjlResponse=" + transportLog::hexDump(pjlAnswer_));
        }
        std::string answer(reinterpret_cast<const char*>(pjlAnswer_.data()), pjlAnswer_.size());
        answer = answer.substr(0, answer.find('\0'));
        if (answer.find("@PJL") != std::string::npos) {
            if (answer.find("OFF") != std::string::npos) {
                npaMode_.store(false);
            }
            if (answer.find("AUTO") != std::string::npos) {
                npaMode_.store(true);
            }
            awaitingPjlResponse_.store(false);
            pjlAnswer_.clear();
            answerEvent_.set();
        }
    }
    if (trace.isEnabled()) {
        trace.setReturnCode(std::string(" NpaMode=") + (npaMode_.load() ? "true" : "false"));
    }
}

void Par1Protocol::doAccept(Data& data) {
    if (transportLog::isEnabled(LevelDetail)) {
        transportLog::line(LevelDetail,
                           "Par1Protocol::doAccept() data: " + transportLog::hexDump(data));
    }
    queue_.append(data);
    Layer* upper = getLayer(Upper);
    while (queue_.hasPiece()) {
        NpaPacketQueue::Piece piece = queue_.pop();
        if (awaitingPjlResponse_.load()) {
            checkPjlQueryResponse(piece.bytes, piece.isPacket);
        }
        // Bytes outside every packet are no message; nor is the break packet.
        if (!piece.isPacket || piece.bytes.size() == 0 || isBreakPacket(piece.bytes)) {
            continue;
        }
        if (transportLog::isEnabled(LevelDetail)) {
            transportLog::line(LevelDetail, "npa=" + transportLog::hexDump(piece.bytes));
        }
        if (upper != nullptr) {
            upper->doAccept(piece.bytes);
        }
    }
}
