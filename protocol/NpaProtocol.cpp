#include "protocol/NpaProtocol.h"

#include "shared/CriticalSectionLock.h"
#include "shared/Exception.h"
#include "shared/TransportLog.h"

#include "platform/win32.h"

#include <cstring>
#include <memory>
#include <new>

namespace {

const uint8_t waitPacket[] = {0xA5, 0x00, 0x05, 0x40, 0xFF, 0x80, 0x00, 0x00};

} // namespace

NpaProtocol::NpaProtocol()
    : replyEvent_(true, false, "", false), lastReply_(0, 255), matcher_(nullptr), transaction_(0),
      answered_(false), keepWaiting_(false), replyWait_(replyTimeout) {}

NpaProtocol::~NpaProtocol() {
    for (auto& channel : reassemblies_) {
        delete channel.second.pending;
    }
}

bool NpaProtocol::holdsWholePackets(Data& data) {
    uint32_t size = data.size();
    if (size == 0) {
        return false;
    }
    const uint8_t* bytes = data.data();
    uint32_t at = 0;
    while (at < size) {
        if (bytes[at] != NpaPacket::startByte || size - at < NpaPacket::headerSize) {
            return false;
        }
        uint32_t length = (static_cast<uint32_t>(bytes[at + 1]) << 8) | bytes[at + 2];
        // A packet has its flags and channel after the length field.
        if (length < 2 || length + 3 > size - at) {
            return false;
        }
        at += length + 3;
    }
    return true;
}

void NpaProtocol::passUp(Data& data) {
    Layer* upper = getLayer(Upper);
    if (upper != nullptr) {
        upper->doAccept(data);
    }
}

void NpaProtocol::doAccept(Data& data) {
    if (!holdsWholePackets(data)) {
        passUp(data);
        return;
    }
    while (data.size() != 0) {
        const uint8_t* bytes = data.data();
        uint32_t length = ((static_cast<uint32_t>(bytes[1]) << 8) | bytes[2]) + 3;
        NpaPacket packet(bytes, length);
        data.consume(length, false);
        if (packet.isControl()) {
            handleControl(packet);
        } else {
            handleData(packet);
        }
    }
}

bool NpaProtocol::reassemble(Reassembly& reassembly, NpaPacket& packet, NpaPacket*& complete) {
    complete = nullptr;
    if (reassembly.discarding) {
        // The rest of a message that was dropped.
        if (!packet.moreFollows()) {
            reassembly.discarding = false;
        }
        return false;
    }
    if (reassembly.pending == nullptr) {
        if (!packet.moreFollows()) {
            complete = &packet;
            return true;
        }
        reassembly.pending = new (std::nothrow) NpaPacket(packet);
        if (reassembly.pending == nullptr) {
            transportLog::error("NpaProtocol::doAccept: no memory for a message, dropped");
            reassembly.discarding = true;
        }
        return false;
    }
    NpaPacket::MergeResult merged = reassembly.pending->merge(packet);
    if (merged == NpaPacket::MergeResult::TooLong) {
        transportLog::error("NpaProtocol::doAccept: message longer than 65535 bytes dropped");
        delete reassembly.pending;
        reassembly.pending = nullptr;
        reassembly.discarding = packet.moreFollows();
        return false;
    }
    // Each channel reassembles apart, so the piece is on the pending
    // message's channel.
    if (packet.moreFollows()) {
        return false;
    }
    complete = reassembly.pending;
    reassembly.pending = nullptr;
    return true;
}

void NpaProtocol::handleData(NpaPacket& packet) {
    NpaPacket* complete = nullptr;
    if (!reassemble(reassemblies_[packet.channel()], packet, complete)) {
        return;
    }
    std::unique_ptr<NpaPacket> owned(complete != &packet ? complete : nullptr);
    {
        CriticalSectionLock lock(replyLock_);
        lastReply_ = *complete;
    }
    deliver(*complete);
}

void NpaProtocol::deliver(Data& message) {
    // Matched before it goes up, where a layer may consume it; the command
    // completes after, so that its reply has reached the host by then.
    uint64_t answering = 0;
    {
        CriticalSectionLock lock(replyLock_);
        if (matcher_ != nullptr && !answered_ && matcher_->matches(message)) {
            answering = transaction_;
        }
    }
    passUp(message);
    if (answering != 0) {
        CriticalSectionLock lock(replyLock_);
        if (transaction_ == answering && matcher_ != nullptr) {
            answered_ = true;
            replyEvent_.set();
        }
    }
}

void NpaProtocol::handleControl(NpaPacket& packet) {
    if (packet.size() == sizeof waitPacket &&
        std::memcmp(packet.data(), waitPacket, sizeof waitPacket) == 0) {
        CriticalSectionLock lock(replyLock_);
        keepWaiting_ = true;
        replyEvent_.set();
        return;
    }
    NpaPacket* complete = nullptr;
    if (!reassemble(reassemblies_[packet.channel()], packet, complete)) {
        return;
    }
    std::unique_ptr<NpaPacket> owned(complete != &packet ? complete : nullptr);
    deliver(*complete);
}

void NpaProtocol::doAccept(Visitor& visitor) {
    visitor.doAtProtocol(*this, getLayer(Upper));
}

void NpaProtocol::doWrite(Data& data) {
    Layer* lower = getLayer(Lower);
    if (lower == nullptr) {
        data.setError(ERROR_INVALID_FUNCTION);
        return;
    }
    lower->doWrite(data);
}

uint32_t NpaProtocol::doOpen() {
    Layer* lower = getLayer(Lower);
    return lower != nullptr ? lower->open() : ERROR_INVALID_FUNCTION;
}

uint32_t NpaProtocol::doClose() {
    Layer* lower = getLayer(Lower);
    return lower != nullptr ? lower->close() : ERROR_INVALID_FUNCTION;
}

Data NpaProtocol::lastReply() {
    CriticalSectionLock lock(replyLock_);
    return lastReply_;
}

void NpaProtocol::transact(Data& packet) {
    uint32_t size = packet.size();
    bool replyExpected = size > 3 && (packet.data()[3] & NpaPacket::replyExpectedFlag) != 0;
    if (!replyExpected) {
        doWrite(packet);
        return;
    }
    CriticalSectionLock transaction(transactLock_);
    NpaReplyMatcher matcher(packet);
    {
        CriticalSectionLock lock(replyLock_);
        matcher_ = &matcher;
        ++transaction_;
        answered_ = false;
        keepWaiting_ = false;
        replyEvent_.reset();
    }
    // Ends the transaction however this function is left.
    struct EndTransaction {
        NpaProtocol& layer;
        ~EndTransaction() {
            CriticalSectionLock lock(layer.replyLock_);
            layer.matcher_ = nullptr;
        }
    } end{*this};

    doWrite(packet);
    if (packet.error() != 0) {
        return;
    }
    if (packet.count() != size) {
        // Part of a command is no command: the printer will not answer it.
        packet.setError(ERROR_WRITE_FAULT);
        return;
    }
    // Only the printer's wait packet starts the wait afresh; other traffic
    // (acknowledgements, messages that answer something else) does not
    // prolong it.
    DWORD start = GetTickCount();
    for (;;) {
        const DWORD waited = GetTickCount() - start;
        const bool signalled = waited < replyWait_ && replyEvent_.wait(replyWait_ - waited);
        CriticalSectionLock lock(replyLock_);
        if (answered_) {
            packet.setError(0);
            return;
        }
        if (keepWaiting_) {
            keepWaiting_ = false;
            start = GetTickCount();
        } else if (!signalled) {
            break;
        }
        replyEvent_.reset();
    }
    packet.setError(ERROR_TIMEOUT);
}
