// The bottom layer of every connection: the only layer that touches the
// parallel port. It owns the port handle for its whole life and, while open,
// a write endpoint, a read endpoint and a read thread.
//
// Writes from the layers above go to the port synchronously on the caller's
// thread. The read thread polls the port (one read bounded by "ReadTimeout")
// and hands every non-empty chunk to the upper neighbour's doAccept(Data&).
// After a read that brought data it reads again at once, so an answer or an
// acknowledgement goes up as soon as the port has it. While a layer above
// expects replies of a known length (acknowledgements), each read asks for
// that many bytes, so that it ends when the reply is complete instead of one
// read interval after its last byte.
// After a read that brought nothing the thread pauses, 25 ms at first and
// twice as long after each further empty read, up to 250 ms: a printer's own
// message waits at most that long in the port. Data, or a write of the
// adapter, brings the pause back to 25 ms; a write that finishes during a
// pause ends it, since the answer to the write may be on its way. The thread
// tests its stop flag on every pass, and a stop ends the pause at once.
// When a read fails it closes its endpoint, waits 2000 ms, empties the
// device table and runs discovery again: if the printer is still on the
// port it reads on, otherwise the thread ends with 1117 (ERROR_IO_DEVICE)
// and the adapter stays open without reading.
//
// Every layer operation takes mutex_ (recursive for its owner, 4000 ms;
// release gives up all of the owner's holds) and delegates to the state
// object, Closed or Open. The read thread never takes it.
//
// Close an open adapter from one thread at a time; closing waits up to 3000
// ms for the read thread and ends it with TerminateThread only after that:
// the last resort for a port whose read never returns, since the port's
// reads are bounded by "ReadTimeout". The process counts such ends.
#pragma once

#include "platform/win32.h"
#include "port/Par1PortDevice.h"
#include "protocol/Adapter.h"
#include "protocol/ReplyExpectation.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

class Data;
class Event;
class Mutex;
class Par1AdapterState;
class Par1ReadEndPoint;
class Par1WriteEndPoint;
class Runnable;
class Thread;
class Visitor;

class Par1Adapter : public Adapter, public ReplyExpectation {
public:
    // Defines the port's device name and opens the port ("LPT1:" to
    // "LPT9:"). A port that cannot be opened is not reported here: reads and
    // writes fail later. Throws Win32Exception "failure" when the adapter's
    // lock cannot be made.
    explicit Par1Adapter(const std::string& portName);
    // Closes an adapter that is still open (so no read thread outlives it),
    // closes the port handle and removes the device name.
    ~Par1Adapter() override;

    // Always refused with error 1: the adapter takes no data from below.
    void doAccept(Data& data) override;
    // Hands the visitor to the adapter's visitor operation, in every state.
    void doAccept(Visitor& visitor) override;
    // Writes the data to the port: error 0 and the count written, or the
    // write's code; 1 while closed. An empty buffer writes nothing (count 0).
    void doWrite(Data& data) override;
    // 0 once open, or the failure's code.
    uint32_t doOpen() override;
    // 0.
    uint32_t doClose() override;
    // Each of the five answers 1460 (ERROR_TIMEOUT) when mutex_ is not had
    // within 4000 ms (the data's or visitor's error for the void ones).

    void init();
    void changeState(Par1AdapterState& state);
    // Starts the read thread and returns once it runs; 0, or the code of a
    // thread that could not be started.
    uint32_t startReading();
    // Asks the read thread to end and waits up to 3000 ms for it, then ends it
    // with TerminateThread; closes the read endpoint.
    void stopReading();
    // The read loop ends at its next turn; a recovery pause ends at once.
    void setContinueReadingOff();
    // The body of the read thread: 0 when asked to stop, 1117 when the
    // printer is gone.
    uint32_t read();

    // The time-outs of the next write; 0, 1 when the adapter is not open,
    // 1460 when mutex_ is not had. The two setters take mutex_ unless the
    // calling thread holds it already (as a visitor inside doAccept does).
    uint32_t setCommTimeouts(const COMMTIMEOUTS& timeouts);
    // Cleared: the next write is not print data (write time-out 1000 ms).
    // Answers as setCommTimeouts.
    uint32_t setPrintDataFlag(bool printData);
    void expectReplies(uint32_t length) override;

    // Used by the states.
    Par1ReadEndPoint* getReadEndpoint() const { return readEndpoint_; }
    void setReadEndpoint(Par1ReadEndPoint* endpoint) { readEndpoint_ = endpoint; }
    Par1WriteEndPoint* getWriteEndpoint() const { return writeEndpoint_; }
    void setWriteEndpoint(Par1WriteEndPoint* endpoint) { writeEndpoint_ = endpoint; }
    HANDLE getHandle() const { return handle_; }
    uint32_t getMutexTimeout() const { return mutexTimeout_; }

    const std::string& getPortName() const { return portName_; }
    const Par1AdapterState& getState() const { return *state_.load(); }
    // While open: true when the read thread ended within the time-out, with
    // its exit code.
    bool waitForReadThread(DWORD timeout, DWORD& exitCode);
    // Read threads that this process ended with TerminateThread.
    static unsigned terminatedReadThreads();

private:
    // Holds mutex_ for a scope, so that no path out of an operation, an
    // exception's included, leaves it held. With reentrant, a thread that
    // holds it already does not take it again.
    class Hold;

    // Applies change to the write endpoint while open, under mutex_ (which
    // a thread that holds it does not take again): 0, 1 when the adapter is
    // not open, or why mutex_ was not had.
    template <typename Change> uint32_t changeWriteEndpoint(Change change);

    enum class Recovery { PrinterPresent, PrinterGone, Stopping };

    // False with error 1460 when mutex_ is not had in time, or with the
    // code of a failed wait.
    bool acquireMutex(uint32_t& error);
    void releaseMutex();
    bool holdsMutex() const;
    // The device table's answer after a fresh discovery.
    Recovery findPrinterAgain();
    // The rest after a read that brought nothing; each one longer than the
    // last unless data came or the adapter wrote since.
    void pauseReading();

    std::atomic<Par1AdapterState*> state_;
    Par1ReadEndPoint* readEndpoint_;
    Par1WriteEndPoint* writeEndpoint_;
    HANDLE handle_;
    std::string portName_;
    Par1PortDevice portDevice_;
    // Written by the closing thread, read by the read thread.
    std::atomic<bool> continueReading_;
    std::unique_ptr<Thread> thread_;
    std::unique_ptr<Runnable> runnable_;
    std::unique_ptr<Mutex> mutex_;
    uint32_t mutexTimeout_;
    // Set with continueReading_ off: ends the read thread's recovery pause.
    std::unique_ptr<Event> stopEvent_;
    // Auto-reset; ends the read thread's pause after an empty read. A write
    // sets it only while the thread pauses, so printing costs no signal per
    // packet while the thread waits in a read.
    std::unique_ptr<Event> readWake_;
    std::atomic<bool> pausing_;
    // Set by every write, taken by the read thread's next pause.
    std::atomic<bool> wrote_;
    // The read thread's next pause; only that thread uses it.
    DWORD pause_;
    // The length of an expected reply, or 0: the standard read size.
    std::atomic<uint32_t> replyLength_;
    // The thread that last acquired mutex_ and has not released it, or 0.
    std::atomic<DWORD> lockOwner_;
};
