// The printer on a virtual parallel port: its IEEE 1284 identification, a PJL
// interpreter that answers the NPA-mode query, an NPA engine that acknowledges
// print packets and answers command packets, and a record of what it received.
//
// What it takes from the port, byte by byte:
// - the universal exit command (ESC "%-12345X") starts PJL; "@PJL" lines
//   follow, each ended by LF; exactly "@PJL DINQUIRE XNPAP" is answered with
//   "@PJL DINQUIRE XNPAP" CR LF, "AUTO" or "OFF", CR LF and a form feed, or
//   with the short packet A5 00 02 80 00 of a printer that speaks NPA
//   already; after "@PJL ENTER LANGUAGE" the job follows, as print data;
// - where a PJL line or a job could start, 0xA5 starts an NPA packet (when NPA
//   is enabled); a channel-0 packet carries print data, any other channel a
//   command; a packet with a flag bit that NPA does not define is refused;
// - after a packet the printer is in NPA mode up to the next universal exit
//   command: bytes outside packets are not printed but discarded (counted),
//   up to the next start byte;
// - any other byte starts print data in the printer's own language, which runs
//   up to the next universal exit command.
// Replies longer than a packet from the printer may carry (510 payload bytes)
// go out as linked packets, each but the last flagged moreFollows.
// Print data is recorded without framing: the payloads of the channel-0
// packets it accepted and the bytes of unframed jobs, in the order they came.
//
// Every operation may be called from any thread; the port's lock guards all
// of it. Answers go out on the port's back channel after the chosen delay.
#pragma once

#include "platform/win32.h"
#include "sim/NpaFrames.h"

#include <cstddef>
#include <map>
#include <string>
#include <utility>
#include <vector>

namespace sim {

class VirtualPort;

// How the printer answers "@PJL DINQUIRE XNPAP": with the text "AUTO" or
// "OFF", with the short packet A5 00 02 80 00, or not at all.
enum class NpaAnswer { Auto, Off, ShortPacket, None };
// What it does with a channel-0 packet that asks for an acknowledgement.
// Accept records the payload and acknowledges; Refuse answers with flags 0x80
// and drops it; Silent drops it without an answer.
enum class AckMode { Accept, Refuse, Silent };

class VirtualPrinter {
public:
    explicit VirtualPrinter(VirtualPort& port);
    VirtualPrinter(const VirtualPrinter&) = delete;
    VirtualPrinter& operator=(const VirtualPrinter&) = delete;

    // Identification: exactly the bytes the port driver hands out.
    void setDeviceId(const std::string& id);
    std::string deviceId() const;

    // PJL.
    void setNpaAnswer(NpaAnswer answer);
    // NPA: when disabled, 0xA5 is print data like any other byte.
    void setNpaEnabled(bool enabled);
    void setAckMode(AckMode mode);
    void setAckDelay(DWORD milliseconds);
    // The next count print packets that ask for an acknowledgement are
    // refused, whatever the mode.
    void refuseNext(unsigned count);
    // Command packets that ask for a reply are answered (the default) or not.
    void setCommandsAnswered(bool answered);
    // Delay of PJL answers and command replies.
    void setReplyDelay(DWORD milliseconds);
    // The reply payload for commands on a channel whose first payload byte is
    // command; other commands are answered with their own payload.
    void setCommandReply(unsigned char channel, unsigned char command, const Bytes& payload);
    // Replies longer than this many payload bytes go out in pieces, each but
    // the last flagged moreFollows; 0 sends one packet.
    void setReplyPieceSize(std::size_t payloadBytes);

    // Unsolicited output, sent at once or after a delay.
    void sendBytes(const Bytes& data, DWORD delayMilliseconds = 0);
    void sendPacket(unsigned char channel, unsigned char flags, const Bytes& payload);
    void sendWaitPacket();
    void sendBreakPacket();

    // Off: of what arrives only the print data and the number of packets are
    // kept, not every byte, every packet and every write: a benchmark's job
    // would otherwise be copied over and over, at a cost no real printer
    // puts on its host. On at first.
    void setKeepRecords(bool keep);
    // Room for so many bytes of print data, taken before they come.
    void reservePrintData(std::size_t bytes);

    // What arrived.
    std::size_t packetCount() const;              // whole NPA packets taken
    std::size_t discardedBytes() const;           // bytes outside packets in NPA mode
    Bytes printData() const;                      // unframed print data, in order
    Bytes received() const;                       // every byte the port delivered
    std::vector<Bytes> packets() const;           // whole NPA packets, framing included
    std::vector<std::string> pjlCommands() const; // PJL lines without CR LF
    void clearRecords();
    // Wait until at least so much has arrived; false on time-out.
    bool waitForPrintData(std::size_t bytes, DWORD milliseconds) const;
    bool waitForPackets(std::size_t count, DWORD milliseconds) const;

private:
    friend class VirtualPort;

    enum class Intake { Boundary, Raw, PjlLine, Packet };

    // Called by the port with its lock held.
    void receiveLocked(const unsigned char* data, std::size_t size);
    void resetIntakeLocked();
    void sendLocked(const Bytes& data, DWORD delayMilliseconds);
    void takeByteLocked(unsigned char byte);
    void takeRawLocked(unsigned char byte);
    void discardLocked(unsigned char byte);
    // Whether byte continues a universal exit command; a whole one starts
    // PJL and ends NPA mode.
    bool matchUniversalExitLocked(unsigned char byte);
    void pjlLineLocked(const std::string& line);
    void packetLocked(const Bytes& packet);
    void replyLocked(const Bytes& request);

    VirtualPort& port_;

    std::string deviceId_;
    NpaAnswer npaAnswer_ = NpaAnswer::Auto;
    bool npaEnabled_ = true;
    AckMode ackMode_ = AckMode::Accept;
    DWORD ackDelay_ = 0;
    unsigned refusals_ = 0;
    bool commandsAnswered_ = true;
    DWORD replyDelay_ = 0;
    std::map<std::pair<unsigned char, unsigned char>, Bytes> commandReplies_;
    std::size_t replyPieceSize_ = 0;

    Intake intake_ = Intake::Boundary;
    bool inPjl_ = false;         // after a universal exit command
    bool inNpa_ = false;         // after a packet, up to a universal exit command
    std::size_t uelMatched_ = 0; // bytes of a universal exit command held back
    Bytes pending_;              // the PJL line or packet being collected

    bool keepRecords_ = true;
    std::size_t packetCount_ = 0;
    std::size_t discarded_ = 0;
    Bytes printData_;
    Bytes received_;
    std::vector<Bytes> packets_;
    std::vector<std::string> pjlCommands_;
};

} // namespace sim
