#include "protocol/NpaWrapProtocol.h"

#include "protocol/NpaPacket.h"
#include "protocol/ReplyExpectation.h"
#include "shared/CriticalSectionLock.h"
#include "shared/TransportLog.h"

#include "platform/win32.h"

#include <algorithm>
#include <vector>

namespace {

bool validPacketSize(uint32_t size) {
    return size >= NpaWrapProtocol::smallestPacketSize &&
           size <= NpaWrapProtocol::largestPacketSize;
}

} // namespace

NpaWrapProtocol::NpaWrapProtocol(uint32_t maximumPacketSize, bool acknowledge, bool wrapping)
    : acknowledge_(acknowledge),
      maximumPayload_((validPacketSize(maximumPacketSize) ? maximumPacketSize : defaultPacketSize) -
                      headerSize),
      wrapping_(wrapping), maximumTries_(defaultMaximumTries),
      acknowledgementEvent_(true, false, "", false), acknowledgement_(0, 255) {}

NpaWrapProtocol::~NpaWrapProtocol() = default;

uint32_t NpaWrapProtocol::setMaximumPacketSize(uint32_t size) {
    if (!validPacketSize(size)) {
        return ERROR_INVALID_PARAMETER;
    }
    maximumPayload_.store(size - headerSize);
    return 0;
}

void NpaWrapProtocol::doAccept(Data& data) {
    uint32_t size = data.size();
    if (size == 0) {
        return;
    }
    const uint8_t* bytes = data.data();
    if (size >= headerSize && bytes[0] == NpaPacket::startByte &&
        bytes[4] == NpaPacket::printChannel) {
        {
            CriticalSectionLock lock(acknowledgementLock_);
            acknowledgement_ = data;
        }
        // Set outside the lock: the writer it wakes takes the lock at once.
        acknowledgementEvent_.set();
        data.consume(size, false);
        return;
    }
    Layer* upper = getLayer(Upper);
    if (upper != nullptr) {
        upper->doAccept(data);
    }
}

void NpaWrapProtocol::doAccept(Visitor& visitor) {
    visitor.doAtProtocol(*this, getLayer(Upper));
}

uint32_t NpaWrapProtocol::doOpen() {
    Layer* lower = getLayer(Lower);
    return lower != nullptr ? lower->open() : ERROR_INVALID_FUNCTION;
}

uint32_t NpaWrapProtocol::doClose() {
    Layer* lower = getLayer(Lower);
    return lower != nullptr ? lower->close() : ERROR_INVALID_FUNCTION;
}

void NpaWrapProtocol::doWrite(Data& data) {
    Layer* lower = getLayer(Lower);
    if (lower == nullptr) {
        data.setError(ERROR_INVALID_FUNCTION);
        return;
    }
    CriticalSectionLock writing(writeLock_);
    if (!wrapping_.load()) {
        lower->doWrite(data);
        return;
    }
    writeWrapped(data, *lower);
}

bool NpaWrapProtocol::awaitAcknowledgement(Data& packet) {
    if (packet.error() != 0) {
        return false;
    }
    const DWORD start = GetTickCount();
    for (;;) {
        const DWORD waited = GetTickCount() - start;
        if (waited >= acknowledgementTimeout ||
            !acknowledgementEvent_.wait(acknowledgementTimeout - waited)) {
            acknowledgementEvent_.reset();
            packet.setError(ERROR_TIMEOUT);
            return false;
        }
        CriticalSectionLock lock(acknowledgementLock_);
        if (acknowledgement_.size() != 0) {
            bool refused = acknowledgement_.size() > 3 &&
                           (acknowledgement_.data()[3] & NpaPacket::refusedFlag) != 0;
            acknowledgement_.clear();
            return refused;
        }
        // The signal of an acknowledgement that came before this packet was
        // sent, and was cleared when it was: wait on for this packet's own.
        acknowledgementEvent_.reset();
    }
}

namespace {

// Acknowledgements, each a bare header, are awaited for the life of a scope.
class AwaitingAcknowledgements {
public:
    explicit AwaitingAcknowledgements(ReplyExpectation* replies) : replies_(replies) {
        if (replies_ != nullptr) {
            replies_->expectReplies(NpaWrapProtocol::headerSize);
        }
    }
    ~AwaitingAcknowledgements() {
        if (replies_ != nullptr) {
            replies_->expectReplies(0);
        }
    }
    AwaitingAcknowledgements(const AwaitingAcknowledgements&) = delete;
    AwaitingAcknowledgements& operator=(const AwaitingAcknowledgements&) = delete;

private:
    ReplyExpectation* replies_;
};

} // namespace

void NpaWrapProtocol::writeWrapped(Data& data, Layer& lower) {
    AwaitingAcknowledgements awaiting(acknowledge_ ? replies_ : nullptr);
    data.setError(0);
    uint32_t remaining = data.size();
    uint32_t sent = 0;
    std::vector<uint8_t> frame;
    while (remaining != 0) {
        uint32_t payload = std::min(remaining, maximumPayload_.load());
        frame.assign(data.data(), data.data() + payload);
        uint32_t length = payload + 2;
        uint8_t header[headerSize] = {NpaPacket::startByte, static_cast<uint8_t>(length >> 8),
                                      static_cast<uint8_t>(length & 0xFF),
                                      acknowledge_ ? NpaPacket::replyExpectedFlag : uint8_t(0),
                                      NpaPacket::printChannel};
        frame.insert(frame.begin(), header, header + headerSize);
        Data packet(frame.data(), static_cast<uint32_t>(frame.size()));

        uint32_t tries = 0;
        uint32_t maximumTries = std::max<uint32_t>(maximumTries_.load(), 1);
        bool refused = false;
        for (;;) {
            {
                // An acknowledgement of an earlier packet that comes now is
                // not taken for this one.
                CriticalSectionLock lock(acknowledgementLock_);
                acknowledgementEvent_.reset();
                acknowledgement_.clear();
            }
            packet.setError(0);
            packet.setCount(0);
            lower.doWrite(packet);
            if (!acknowledge_) {
                break;
            }
            refused = awaitAcknowledgement(packet);
            if (packet.error() != 0) {
                break;
            }
            ++tries;
            if (!refused || tries >= maximumTries) {
                break;
            }
        }
        if (packet.error() != 0) {
            data.setError(packet.error());
            break;
        }
        if (refused) {
            transportLog::error("NpaWrapProtocol::doWrite: packet refused at every try, " +
                                std::to_string(tries) + " sends");
            data.setError(ERROR_WRITE_FAULT);
            break;
        }
        if (packet.count() <= headerSize) {
            // Success without a payload byte taken: trying again would loop.
            transportLog::error("NpaWrapProtocol::doWrite: lower layer took " +
                                std::to_string(packet.count()) + " bytes of a packet");
            data.setError(ERROR_WRITE_FAULT);
            break;
        }
        uint32_t taken = std::min(packet.count() - headerSize, payload);
        data.consume(taken, false);
        sent += taken;
        remaining -= taken;
    }
    data.setCount(sent);
}
