// The PJL layer, directly above the adapter. It asks the printer with a PJL
// query, in a universal exit envelope, whether its NPA protocol is on, and
// keeps the answer (isNpaActive, npaMode). Going up, it cuts the byte stream
// that the adapter reads into whole NPA packets and passes each up, dropping
// the printer's break packet; bytes that are no packets are the answer's
// text while the query runs, and dropped otherwise. Print data going down
// passes unchanged.
//
// The stream is cut the same way however the port's reads split it: the
// answer is recognised, and every packet goes up whole, at any split.
// The query is over when isNpaActive returns: a printer that stays silent
// does not leave it pending, so that its later flow control (a refusal has
// the same five bytes as the short answer) reaches the wrap layer.
//
// Threads: isNpaActive runs on the thread that sent the visitor,
// doAccept(Data&) and checkPjlQueryResponse on the adapter's read thread;
// they meet at the answer event and at two atomic flags.
#pragma once

#include "protocol/Data.h"
#include "protocol/NpaPacketQueue.h"
#include "protocol/Protocol.h"
#include "shared/Event.h"

#include <atomic>
#include <cstdint>

class Par1Protocol : public Protocol {
public:
    static const uint32_t defaultNpaTimeout = 6000;
    static const uint32_t defaultPjlReadTimeout = 2500;
    static const uint32_t defaultPjlWriteTimeout = 2500;
    // The most answer text that is kept before a form feed ends it: the
    // newest, when more comes.
    static const uint32_t maximumAnswer = 4096;

    // Reads "NpaTimeout", "PJLReadTimeout" and "PJLWriteTimeout".
    Par1Protocol();
    ~Par1Protocol() override;

    // Packets and the PJL answer from the port; see above.
    void doAccept(Data& data) override;
    // The visitor's doAtPar1Protocol; a visitor of another kind gets the
    // generic protocol operation.
    void doAccept(Visitor& visitor) override;
    // The lower neighbour's doWrite; error 1 without one.
    void doWrite(Data& data) override;
    uint32_t doOpen() override;
    uint32_t doClose() override;

    // Sets the port's time-outs for the query, sends it and waits up to the
    // NPA time-out: true when a complete answer came (the mode is then in
    // npaMode()), false on time-out. On a stack that is not open the query
    // is not waited for: false at once, and queryError (if given) is 1.
    bool isNpaActive(uint32_t* queryError = nullptr);
    // The mode as last reported: true for "AUTO" (and NPA packets in place of
    // the answer), false for "OFF"; true at first.
    bool npaMode() const { return npaMode_.load(); }
    // Inspects one piece of the stream while an answer is awaited: a whole
    // packet (NPA is on; the short answer completes the query and is
    // consumed) or bytes outside every packet (the answer's text, collected
    // up to the form feed that ends it, and consumed).
    void checkPjlQueryResponse(Data& data, bool wholePacket);

    uint32_t getNpaTimeout() const { return npaTimeout_; }
    uint32_t getPjlReadTimeout() const { return pjlReadTimeout_; }
    uint32_t getPjlWriteTimeout() const { return pjlWriteTimeout_; }

private:
    Event answerEvent_;
    std::atomic<bool> npaMode_;
    std::atomic<bool> awaitingPjlResponse_;
    NpaPacketQueue queue_;
    uint32_t npaTimeout_;
    uint32_t pjlReadTimeout_;
    uint32_t pjlWriteTimeout_;
    // Touched by the read thread only.
    Data pjlAnswer_;
};
