// The NPA protocol layer, between the wrap layer above and the PJL layer
// below. Going up it takes whole NPA packets, reassembles messages split over
// several packets (moreFollows), each channel's apart, keeps the last
// complete data-channel message as the reply and passes every message up;
// the wait packet on the control channel is taken, not passed up. Going
// down, data passes unchanged; a command packet sent by transact() waits for
// the message that answers it, on whichever channel it was sent.
//
// Threads: doAccept(Data&) runs on the adapter's read thread, transact() on
// the thread that sent the command. The read thread matches each complete
// message against the command waiting, under a lock of their own, so that
// no reply is lost between the read thread and the waiter, and messages that
// answer nothing (acknowledgements of print data) never wake the waiter.
#pragma once

#include "protocol/Data.h"
#include "protocol/NpaPacket.h"
#include "protocol/NpaReplyMatcher.h"
#include "protocol/Protocol.h"
#include "shared/CriticalSection.h"
#include "shared/Event.h"

#include <cstdint>
#include <map>

class NpaProtocol : public Protocol {
public:
    // How long transact() waits for the answer, afresh after each wait
    // packet of the printer.
    static const uint32_t replyTimeout = 10000;

    NpaProtocol();
    ~NpaProtocol() override;

    using Layer::doAccept;
    // The private passUp(Data&) below must not hide the visitor's.
    using Layer::passUp;
    // Packets coming up. Data that is not a sequence of whole packets goes up
    // unchanged.
    void doAccept(Data& data) override;
    // The visitor's generic protocol operation.
    void doAccept(Visitor& visitor) override;
    // The lower neighbour's doWrite; error 1 without one.
    void doWrite(Data& data) override;
    uint32_t doOpen() override;
    uint32_t doClose() override;

    // Sends the packet; when its replyExpected bit is set, waits for the
    // message that answers it. The packet's error afterwards: 0, the write's
    // error, 29 (ERROR_WRITE_FAULT) when fewer bytes went out than the packet
    // holds, or 1460 (ERROR_TIMEOUT) when no answer came. One transaction
    // runs at a time; others wait for it.
    virtual void transact(Data& packet);

    // The last complete data-channel message.
    Data lastReply();

    // Whether data holds whole packets only: each starts with 0xA5, has at
    // least a header, and the last ends exactly at the end of the data.
    static bool holdsWholePackets(Data& data);

protected:
    // Tests shorten the wait for an answer.
    void setReplyTimeout(uint32_t milliseconds) { replyWait_ = milliseconds; }

private:
    struct Reassembly {
        NpaPacket* pending = nullptr;
        // Set when the message being reassembled outgrew the length field:
        // its remaining pieces are dropped too.
        bool discarding = false;
    };

    void passUp(Data& data);
    // A piece of a message: true and the whole message in complete when the
    // message has ended and is to be delivered.
    bool reassemble(Reassembly& reassembly, NpaPacket& packet, NpaPacket*& complete);
    void handleData(NpaPacket& packet);
    void handleControl(NpaPacket& packet);
    // A complete message: up to the upper neighbour, and the end of the
    // waiting transaction when it answers it.
    void deliver(Data& message);

    // Per channel: a message in pieces on one channel must not swallow a
    // packet on another (an acknowledgement between the pieces of a reply).
    std::map<uint8_t, Reassembly> reassemblies_;

    Event replyEvent_;
    // Guards what the read thread hands to a waiting transaction.
    CriticalSection replyLock_;
    Data lastReply_;
    // The waiting transaction's matcher, or null, and its number.
    const NpaReplyMatcher* matcher_;
    uint64_t transaction_;
    bool answered_;
    bool keepWaiting_;
    // One transaction at a time.
    CriticalSection transactLock_;
    uint32_t replyWait_;
};
