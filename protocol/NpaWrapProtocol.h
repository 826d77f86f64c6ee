// The top layer of a connection. With wrapping on, it cuts the print data
// that the host writes into channel-0 NPA packets, sends one at a time and,
// with acknowledgements on, waits for the printer's acknowledgement of each
// before the next, sending a refused packet again. Going up, channel-0
// packets are taken as acknowledgements; everything else goes to the host.
//
// Threads: doWrite runs on a host thread (one write at a time per layer),
// doAccept(Data&) on the adapter's read thread; they meet at the
// acknowledgement event and buffer, which a lock guards.
#pragma once

#include "protocol/Data.h"
#include "protocol/Protocol.h"
#include "shared/CriticalSection.h"
#include "shared/Event.h"

#include <atomic>
#include <cstdint>

class ReplyExpectation;

class NpaWrapProtocol : public Protocol {
public:
    static const uint32_t headerSize = 5;
    // Packet sizes whose payload fits the 16-bit length field.
    static const uint32_t smallestPacketSize = headerSize + 1;
    static const uint32_t largestPacketSize = 0xFFFF - 2 + headerSize;
    static const uint32_t defaultPacketSize = 4096;
    static const uint32_t acknowledgementTimeout = 8000;
    static const uint32_t defaultMaximumTries = 45;

    // A size outside smallestPacketSize..largestPacketSize gives
    // defaultPacketSize.
    NpaWrapProtocol(uint32_t maximumPacketSize, bool acknowledge, bool wrapping);
    ~NpaWrapProtocol() override;

    using Layer::doAccept;
    // A channel-0 packet becomes the acknowledgement and is consumed; other
    // data goes to the upper neighbour.
    void doAccept(Data& data) override;
    // The visitor's generic protocol operation.
    void doAccept(Visitor& visitor) override;
    // With wrapping off, the lower neighbour's doWrite as it is. With wrapping
    // on, the data goes out in packets; afterwards its count is the payload
    // bytes that the printer took and its error 0, the first packet's error,
    // 1460 (ERROR_TIMEOUT) when an acknowledgement did not come, or 29
    // (ERROR_WRITE_FAULT) when a packet was refused at every try or the lower
    // layer took none of a packet's payload.
    void doWrite(Data& data) override;
    uint32_t doOpen() override;
    uint32_t doClose() override;

    // Payload per packet := size - 5. 0, or 87 (ERROR_INVALID_PARAMETER) for a
    // size outside smallestPacketSize..largestPacketSize, which changes
    // nothing.
    uint32_t setMaximumPacketSize(uint32_t size);
    uint32_t getMaximumPayload() const { return maximumPayload_.load(); }
    void setWrapping(bool on) { wrapping_.store(on); }
    bool isWrapping() const { return wrapping_.load(); }
    // How often one packet is sent at most; 0 counts as 1.
    void setMaximumTries(uint32_t tries) { maximumTries_.store(tries); }
    uint32_t getMaximumTries() const { return maximumTries_.load(); }
    // The layer below that reads the acknowledgements: told for the length
    // of each acknowledged write that they are awaited, so that its reads
    // end with each one. Set before the connection is used; null tells
    // nobody.
    void setReplyExpectation(ReplyExpectation* replies) { replies_ = replies; }

private:
    // The printer's verdict on the packet just sent: the packet's error is
    // set when none came. True when it refused the packet.
    bool awaitAcknowledgement(Data& packet);
    void writeWrapped(Data& data, Layer& lower);

    const bool acknowledge_;
    std::atomic<uint32_t> maximumPayload_;
    std::atomic<bool> wrapping_;
    std::atomic<uint32_t> maximumTries_;
    Event acknowledgementEvent_;
    CriticalSection acknowledgementLock_;
    Data acknowledgement_;
    CriticalSection writeLock_;
    ReplyExpectation* replies_ = nullptr;
};
