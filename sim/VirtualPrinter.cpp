#include "sim/VirtualPrinter.h"

#include "sim/VirtualPort.h"

#include <algorithm>
#include <cctype>

namespace sim {

namespace {

const char universalExit[] = "\x1B%-12345X";
constexpr std::size_t universalExitSize = sizeof universalExit - 1;
constexpr unsigned char escape = 0x1B;
// A PJL line that runs longer than this is taken for print data.
constexpr std::size_t longestPjlLine = 4096;
// The most payload one packet to the host carries: its length field may say
// at most 512, flags and channel included.
constexpr std::size_t largestReplyPayload = 510;
// The flag bits NPA defines.
constexpr unsigned char definedFlags =
    npa::refused | npa::control | npa::moreFollows | npa::replyExpected;

// A PJL line in upper case with runs of blanks made one blank, for matching.
std::string normalised(const std::string& line) {
    std::string result;
    for (char c : line) {
        if (c == ' ' || c == '\t') {
            if (!result.empty() && result.back() != ' ') {
                result += ' ';
            }
        } else {
            result += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        }
    }
    while (!result.empty() && result.back() == ' ') {
        result.pop_back();
    }
    return result;
}

} // namespace

VirtualPrinter::VirtualPrinter(VirtualPort& port)
    : port_(port),
      deviceId_("MFG:VIRTUAL;MDL:VIRTUAL PRINTER;CMD:PJL,NPAP;CLS:PRINTER;DES:VIRTUAL PRINTER;") {}

void VirtualPrinter::setDeviceId(const std::string& id) {
    std::lock_guard<std::mutex> lock(port_.mutex_);
    deviceId_ = id;
}

std::string VirtualPrinter::deviceId() const {
    std::lock_guard<std::mutex> lock(port_.mutex_);
    return deviceId_;
}

void VirtualPrinter::setNpaAnswer(NpaAnswer answer) {
    std::lock_guard<std::mutex> lock(port_.mutex_);
    npaAnswer_ = answer;
}

void VirtualPrinter::setNpaEnabled(bool enabled) {
    std::lock_guard<std::mutex> lock(port_.mutex_);
    npaEnabled_ = enabled;
}

void VirtualPrinter::setAckMode(AckMode mode) {
    std::lock_guard<std::mutex> lock(port_.mutex_);
    ackMode_ = mode;
}

void VirtualPrinter::setAckDelay(DWORD milliseconds) {
    std::lock_guard<std::mutex> lock(port_.mutex_);
    ackDelay_ = milliseconds;
}

void VirtualPrinter::refuseNext(unsigned count) {
    std::lock_guard<std::mutex> lock(port_.mutex_);
    refusals_ = count;
}

void VirtualPrinter::setCommandsAnswered(bool answered) {
    std::lock_guard<std::mutex> lock(port_.mutex_);
    commandsAnswered_ = answered;
}

void VirtualPrinter::setReplyDelay(DWORD milliseconds) {
    std::lock_guard<std::mutex> lock(port_.mutex_);
    replyDelay_ = milliseconds;
}

void VirtualPrinter::setCommandReply(unsigned char channel, unsigned char command,
                                     const Bytes& payload) {
    std::lock_guard<std::mutex> lock(port_.mutex_);
    commandReplies_[{channel, command}] = payload;
}

void VirtualPrinter::setReplyPieceSize(std::size_t payloadBytes) {
    std::lock_guard<std::mutex> lock(port_.mutex_);
    replyPieceSize_ = payloadBytes;
}

void VirtualPrinter::sendBytes(const Bytes& data, DWORD delayMilliseconds) {
    std::lock_guard<std::mutex> lock(port_.mutex_);
    sendLocked(data, delayMilliseconds);
}

void VirtualPrinter::sendPacket(unsigned char channel, unsigned char flags, const Bytes& payload) {
    sendBytes(npa::packet(channel, flags, payload));
}

void VirtualPrinter::sendWaitPacket() {
    sendBytes(npa::waitPacket());
}

void VirtualPrinter::sendBreakPacket() {
    sendBytes(npa::breakPacket());
}

void VirtualPrinter::setKeepRecords(bool keep) {
    std::lock_guard<std::mutex> lock(port_.mutex_);
    keepRecords_ = keep;
}

void VirtualPrinter::reservePrintData(std::size_t bytes) {
    std::lock_guard<std::mutex> lock(port_.mutex_);
    printData_.reserve(bytes);
}

std::size_t VirtualPrinter::packetCount() const {
    std::lock_guard<std::mutex> lock(port_.mutex_);
    return packetCount_;
}

std::size_t VirtualPrinter::discardedBytes() const {
    std::lock_guard<std::mutex> lock(port_.mutex_);
    return discarded_;
}

Bytes VirtualPrinter::printData() const {
    std::lock_guard<std::mutex> lock(port_.mutex_);
    return printData_;
}

Bytes VirtualPrinter::received() const {
    std::lock_guard<std::mutex> lock(port_.mutex_);
    return received_;
}

std::vector<Bytes> VirtualPrinter::packets() const {
    std::lock_guard<std::mutex> lock(port_.mutex_);
    return packets_;
}

std::vector<std::string> VirtualPrinter::pjlCommands() const {
    std::lock_guard<std::mutex> lock(port_.mutex_);
    return pjlCommands_;
}

void VirtualPrinter::clearRecords() {
    std::lock_guard<std::mutex> lock(port_.mutex_);
    printData_.clear();
    received_.clear();
    packets_.clear();
    packetCount_ = 0;
    discarded_ = 0;
    pjlCommands_.clear();
}

bool VirtualPrinter::waitForPrintData(std::size_t bytes, DWORD milliseconds) const {
    std::unique_lock<std::mutex> lock(port_.mutex_);
    return port_.changed_.waitFor(lock, milliseconds, [&] { return printData_.size() >= bytes; });
}

bool VirtualPrinter::waitForPackets(std::size_t count, DWORD milliseconds) const {
    std::unique_lock<std::mutex> lock(port_.mutex_);
    return port_.changed_.waitFor(lock, milliseconds, [&] { return packetCount_ >= count; });
}

void VirtualPrinter::sendLocked(const Bytes& data, DWORD delayMilliseconds) {
    if (!port_.attached_ || data.empty()) {
        return;
    }
    port_.queueLocked(data,
                      VirtualPort::Clock::now() + std::chrono::milliseconds(delayMilliseconds));
}

void VirtualPrinter::resetIntakeLocked() {
    intake_ = Intake::Boundary;
    inPjl_ = false;
    inNpa_ = false;
    uelMatched_ = 0;
    pending_.clear();
}

void VirtualPrinter::receiveLocked(const unsigned char* data, std::size_t size) {
    if (keepRecords_) {
        received_.insert(received_.end(), data, data + size);
    }
    std::size_t i = 0;
    while (i < size) {
        if (intake_ == Intake::Packet && pending_.size() >= 3) {
            // The length is known: take the rest of the packet in one piece.
            const std::size_t whole = npa::length(pending_) + 3;
            const std::size_t n = std::min(whole - pending_.size(), size - i);
            pending_.insert(pending_.end(), data + i, data + i + n);
            i += n;
            if (pending_.size() == whole) {
                Bytes packet;
                packet.swap(pending_);
                intake_ = Intake::Boundary;
                packetLocked(packet);
            }
            continue;
        }
        takeByteLocked(data[i++]);
    }
    port_.changed_.notifyAll();
}

void VirtualPrinter::takeByteLocked(unsigned char byte) {
    switch (intake_) {
    case Intake::Boundary:
        if (byte == npa::start && npaEnabled_) {
            intake_ = Intake::Packet;
            pending_.assign(1, byte);
        } else if (inPjl_ && byte == '@') {
            intake_ = Intake::PjlLine;
            pending_.assign(1, byte);
        } else if (inPjl_ && (byte == '\r' || byte == '\n' || byte == ' ' || byte == '\t')) {
            // Blank space between PJL lines.
        } else if (inNpa_) {
            discardLocked(byte);
        } else {
            intake_ = Intake::Raw;
            inPjl_ = false;
            takeRawLocked(byte);
        }
        break;
    case Intake::Raw:
        takeRawLocked(byte);
        break;
    case Intake::PjlLine:
        if (byte == '\n') {
            std::string line(pending_.begin(), pending_.end());
            if (!line.empty() && line.back() == '\r') {
                line.pop_back();
            }
            pending_.clear();
            intake_ = Intake::Boundary;
            pjlLineLocked(line);
        } else if (byte == escape) {
            // A universal exit command ends an unterminated line.
            std::string line(pending_.begin(), pending_.end());
            pending_.clear();
            intake_ = Intake::Raw;
            inPjl_ = false;
            pjlLineLocked(line);
            takeRawLocked(byte);
        } else if (pending_.size() >= longestPjlLine) {
            Bytes held;
            held.swap(pending_);
            intake_ = Intake::Raw;
            inPjl_ = false;
            for (unsigned char b : held) {
                takeRawLocked(b);
            }
            takeRawLocked(byte);
        } else {
            pending_.push_back(byte);
        }
        break;
    case Intake::Packet:
        pending_.push_back(byte);
        if (pending_.size() == 3 && npa::length(pending_) < 2) {
            // No room for flags and channel: not a packet a printer can use.
            pending_.clear();
            intake_ = Intake::Boundary;
        }
        break;
    }
}

bool VirtualPrinter::matchUniversalExitLocked(unsigned char byte) {
    // The universal exit command has no inner repetition of its first byte,
    // so a mismatch can only restart at ESC.
    if (static_cast<char>(byte) != universalExit[uelMatched_]) {
        return false;
    }
    if (++uelMatched_ == universalExitSize) {
        uelMatched_ = 0;
        intake_ = Intake::Boundary;
        inPjl_ = true;
        inNpa_ = false;
    }
    return true;
}

void VirtualPrinter::takeRawLocked(unsigned char byte) {
    if (matchUniversalExitLocked(byte)) {
        return;
    }
    printData_.insert(printData_.end(), universalExit, universalExit + uelMatched_);
    uelMatched_ = 0;
    if (byte == escape) {
        uelMatched_ = 1;
    } else {
        printData_.push_back(byte);
    }
}

void VirtualPrinter::discardLocked(unsigned char byte) {
    // In NPA mode only a universal exit command leaves it; nothing outside a
    // packet is printed.
    const std::size_t held = uelMatched_;
    if (matchUniversalExitLocked(byte)) {
        return;
    }
    discarded_ += held;
    uelMatched_ = 0;
    if (byte == escape) {
        uelMatched_ = 1;
    } else {
        ++discarded_;
    }
}

void VirtualPrinter::pjlLineLocked(const std::string& line) {
    pjlCommands_.push_back(line);
    const std::string command = normalised(line);
    if (command.compare(0, 20, "@PJL ENTER LANGUAGE=") == 0 ||
        command.compare(0, 21, "@PJL ENTER LANGUAGE =") == 0) {
        // The job follows in that language, up to the next universal exit.
        if (intake_ == Intake::Boundary) {
            intake_ = Intake::Raw;
            inPjl_ = false;
        }
        return;
    }
    if (line != "@PJL DINQUIRE XNPAP" || npaAnswer_ == NpaAnswer::None) {
        return;
    }
    if (npaAnswer_ == NpaAnswer::ShortPacket) {
        sendLocked(npa::acknowledgement(false), replyDelay_);
        return;
    }
    const std::string answer = std::string("@PJL DINQUIRE XNPAP\r\n") +
                               (npaAnswer_ == NpaAnswer::Auto ? "AUTO" : "OFF") + "\r\n\f";
    sendLocked(bytes(answer), replyDelay_);
}

void VirtualPrinter::packetLocked(const Bytes& packet) {
    ++packetCount_;
    if (keepRecords_) {
        packets_.push_back(packet);
    }
    inNpa_ = true;
    const unsigned char flags = npa::flags(packet);
    if ((flags & ~definedFlags) != 0) {
        // A flag this printer does not know: the packet is refused, unread.
        sendLocked(npa::packet(npa::channel(packet), npa::refused, Bytes()), ackDelay_);
        return;
    }
    if (npa::channel(packet) != npa::printChannel) {
        if ((flags & npa::replyExpected) != 0 && commandsAnswered_) {
            replyLocked(packet);
        }
        return;
    }
    const bool accept = [&] {
        if ((flags & npa::replyExpected) == 0) {
            return true; // nothing to answer: the data is simply taken
        }
        if (refusals_ > 0) {
            --refusals_;
            sendLocked(npa::acknowledgement(false), ackDelay_);
            return false;
        }
        switch (ackMode_) {
        case AckMode::Accept:
            sendLocked(npa::acknowledgement(true), ackDelay_);
            return true;
        case AckMode::Refuse:
            sendLocked(npa::acknowledgement(false), ackDelay_);
            return false;
        case AckMode::Silent:
            break;
        }
        return false;
    }();
    if (accept) {
        printData_.insert(printData_.end(), packet.begin() + npa::headerSize, packet.end());
    }
}

void VirtualPrinter::replyLocked(const Bytes& request) {
    const unsigned char channel = npa::channel(request);
    Bytes payload = npa::payload(request);
    if (!payload.empty()) {
        auto configured = commandReplies_.find({channel, payload[0]});
        if (configured != commandReplies_.end()) {
            payload = configured->second;
        }
    }
    const std::size_t piece =
        std::min(replyPieceSize_ == 0 ? payload.size() : replyPieceSize_, largestReplyPayload);
    std::size_t offset = 0;
    do {
        const std::size_t n = std::min(piece, payload.size() - offset);
        const bool last = offset + n == payload.size();
        sendLocked(npa::packet(channel, last ? 0x00 : npa::moreFollows,
                               Bytes(payload.begin() + offset, payload.begin() + offset + n)),
                   replyDelay_);
        offset += n;
    } while (offset < payload.size());
}

} // namespace sim
