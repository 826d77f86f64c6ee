// PAR1 parallel-port transport: the classes a host calls through.
//
// A host loads the transport module, calls TransportInitialize, and from then
// on reaches everything through the objects the exports hand out:
//
//   TransportGetVisitorManager()  -> VisitorManager*: command objects by name
//   TransportGetConnectionManager() -> ConnectionManager*: connections to
//                                    printers, by transport string
//   TransportGetDiscoverer()    -> Discoverer*: finds printers and reports
//                                    them to the host's observers
//   TransportGetName(buffer, size, &length): 87 when length is null, or when
//                                    buffer is null and size is not 0
//
// and through the layers of a connection (Layer), the buffers that travel
// through them (Data), and the subject/observer pair through which discovery
// reports printers (Subject, Observer).
//
// This header is the definition of those classes: the module's own classes
// derive from them, so the order of the virtual operations below is the order
// in the module's tables. The slot of each virtual operation is given as
// "[slot n]"; hosts built against this header call through exactly these
// slots. Never reorder, insert or remove a virtual operation.
//
// Results and errors are Windows system error codes, or the port's error
// flags when a write fails; transportErrors below holds the text of each, with
// a hint for a person where one helps:
//     0     success
//     1     ERROR_INVALID_FUNCTION: the object does not support the call, or
//           not in its current state
//     6     ERROR_INVALID_HANDLE: the null layer (no connection could be made)
//     8     ERROR_NOT_ENOUGH_MEMORY
//     16    a write failed: the port reported a break (CE_BREAK)
//     29    ERROR_WRITE_FAULT: a write failed for another reason
//     87    ERROR_INVALID_PARAMETER
//     122   ERROR_INSUFFICIENT_BUFFER
//     512   a write failed: the printer timed out (CE_PTO)
//     1024  a write failed: I/O error (CE_IOE)
//     1117  ERROR_IO_DEVICE: the printer has gone
//     1168  ERROR_NOT_FOUND
//     1359  ERROR_INTERNAL_ERROR
//     1460  ERROR_TIMEOUT: the printer did not answer (PJL query, NPA reply or
//           acknowledgement)
//     1629  ERROR_DATATYPE_MISMATCH
//     2048  a write failed: the printer is not selected (CE_DNS)
//     4096  a write failed: out of paper (CE_OOP); it wins over the other flags
// TransportInitialize may also answer the registry's or the file system's
// code (5, ERROR_ACCESS_DENIED, among them).
// Layer and visitor operations report them in the Data or Visitor passed in,
// never by throwing.
//
// Threads: the module runs on the host's threads, plus one read thread per
// open connection. Calls that go down a connection (open, close, doWrite,
// visitors) run on the calling host thread; data that the printer sends comes
// up on the connection's read thread (Layer::doAccept(Data&) of the host's
// own top layer). Discovery notifies observers on the thread that called
// discover, or on a connection's read thread when it re-discovers a printer
// after a failed read.
//
// What a host builds itself is defined here in full, so a host needs nothing
// of the module's code beyond the eight exports: its own top layer (derived
// from Layer), its own observers (derived from Observer), the Data buffers it
// writes and reads, and NotifyRecords. Everything else (visitors, managers,
// subjects, the discoverer, the module's layers) is made by the module and
// reached through the pointers the exports and managers hand out; a host
// calls their operations but does not create them.
//
// Ownership in one line: the host owns its own layers, observers and Data;
// the module owns the managers, the discoverer and the connections' layers;
// visitors belong to whoever got them from the visitor manager until
// releaseVisitor.
//
// The type information of the module's classes stays inside the module: a
// host built with UndefinedBehaviorSanitizer needs -fno-sanitize=vptr.
//
// This header uses only the C++ standard library.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <functional>
#include <list>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <string>
#include <type_traits>
#include <utility>
#include <vector>

class ConnectionManager;
class Discoverer;
class VisitorManager;

// ---------------------------------------------------------------------------
// The codes in words
// ---------------------------------------------------------------------------

// What a code means, for a person, and what to try; hint is empty where there
// is nothing to try.
struct TransportErrorText {
    uint32_t code;
    const char* text;
    const char* hint;
};

// Every code the module reports (see the list above).
inline constexpr TransportErrorText transportErrors[] = {
    {0, "success", ""},
    {1, "the operation is not possible in this state", "is the connection open?"},
    {5, "access denied", "the module's settings and log file need the printing group's rights"},
    {6, "no connection could be made", "check the transport string: it needs a Handle"},
    {8, "not enough memory", "close other programs or print a smaller job"},
    {16, "the port reported a break condition", "check the cable and the port"},
    {29, "the printer did not take the data (write fault)",
     "is the printer switched on, connected and online?"},
    {30, "the printer's answer could not be read (read fault)", "check the cable and the port"},
    {87, "invalid parameter", ""},
    {122, "the buffer is too small", ""},
    {512, "the printer did not take the data in time (port time-out)",
     "is the printer switched on and online? it may be busy or waiting for paper"},
    {1024, "the printer reported an I/O error", "check the printer's display and the cable"},
    {1117, "the printer has gone", "is the printer switched on and connected?"},
    {1168, "not found", ""},
    {1359, "internal error of the transport module", "see the log file"},
    {1460, "the printer did not answer in time",
     "is the printer switched on? a busy printer may need a longer NpaTimeout"},
    {1629, "a setting in the registry has the wrong type", "write the setting again"},
    {2048, "the printer is not selected (offline)", "put the printer online"},
    {4096, "the printer is out of paper", "load paper"},
};

// The entry for a code; null for a code the module does not report.
inline const TransportErrorText* findTransportError(uint32_t code) {
    for (const TransportErrorText& entry : transportErrors) {
        if (entry.code == code) {
            return &entry;
        }
    }
    return nullptr;
}

// ---------------------------------------------------------------------------
// The eight exports
// ---------------------------------------------------------------------------

// The module exports these under their plain names; a host finds them with
// GetProcAddress and calls them through these types:
//
//   HMODULE module = LoadLibraryA("vnbxpar1.dll");
//   auto initialize = reinterpret_cast<TransportInitializeFunction>(
//       GetProcAddress(module, "TransportInitialize"));
//
// Call TransportInitialize first and TransportUninitialize last; use none of
// the objects handed out after TransportUninitialize. The getters answer the
// module's own objects (never delete them), or null when one cannot be made.

// 0, or the code of what stopped the module from starting (the registry or
// the log file's directory); a second call does nothing and answers 0.
using TransportInitializeFunction = uint32_t (*)();
// Releases the module's objects; always 0.
using TransportUninitializeFunction = uint32_t (*)();
// Copies "PAR1" and its terminator into buffer and sets *nameLength to 5;
// 122 (ERROR_INSUFFICIENT_BUFFER), with the buffer untouched, when bufferSize
// is less than 5.
using TransportGetNameFunction = uint32_t (*)(char* buffer, uint32_t bufferSize,
                                              uint32_t* nameLength);
using TransportGetConnectionManagerFunction = ConnectionManager* (*)();
using TransportGetDiscovererFunction = Discoverer* (*)();
using TransportGetVisitorManagerFunction = VisitorManager* (*)();
// Both change nothing and answer 0.
using TransportInstallFunction = uint32_t (*)();
using TransportUninstallFunction = uint32_t (*)();

// ---------------------------------------------------------------------------
// Data
// ---------------------------------------------------------------------------

// The byte buffer that travels through a connection's layers and carries the
// parameters and results of visitors: the unread bytes from a read position to
// the end, an error (a code from the table above) and a count of the bytes
// that the last transfer moved. The buffer owns its bytes; whoever creates a
// Data deletes it. A layer or visitor that is handed a Data only borrows it
// for the call.
// Every operation that changes the bytes is virtual, so the storage of a
// buffer is always managed by the code of the side (host or module) that
// made it.
//
// To print: Data job(bytes, length); connection->doWrite(job); then
// job.error() is 0 and job.count() the bytes written, or error() says why not.
// To read what the printer sent (in your layer's doAccept(Data&)):
// data.data() and data.size(), or copy the buffer; consume(n, false) skips n.
class Data {
public:
    // size bytes, each set to fill; the empty buffer is Data(0, 255).
    Data(uint32_t size, uint8_t fill) {
        storage_.reserve(size > 0 ? size : 1);
        storage_.assign(size, fill);
        rebase(0);
    }
    // A copy of length bytes; a null pointer gives an empty buffer. Taken as
    // a template so that the literal 0 of Data(0, 255) is a size, not a null
    // pointer.
    template <class Bytes, std::enable_if_t<!std::is_integral<Bytes>::value &&
                                                std::is_convertible<Bytes, const uint8_t*>::value,
                                            int> = 0>
    Data(Bytes bytes, uint32_t length) {
        const uint8_t* from = static_cast<const uint8_t*>(bytes);
        assign(from, from != nullptr ? length : 0);
    }
    // The characters of the text, without a terminator. Throws
    // std::length_error for a text of 4 GiB or more.
    explicit Data(const std::string& text) {
        if (text.size() > UINT32_MAX) {
            throw std::length_error("Data: text longer than a buffer can hold");
        }
        assign(reinterpret_cast<const uint8_t*>(text.data()), text.size());
    }
    // Copies take the unread bytes, the error and the count; the copy reads
    // from its first byte.
    Data(const Data& other) : error_(other.error_), count_(other.count_) {
        assign(other.readPosition_, other.size());
    }
    Data& operator=(const Data& other) {
        if (this != &other) {
            assign(other.readPosition_, other.size());
            error_ = other.error_;
            count_ = other.count_;
        } else {
            // A buffer assigned to itself also reads from its first byte.
            consume(0, true);
        }
        return *this;
    }

    // [slot 0] Frees the bytes.
    virtual ~Data() = default;
    // [slot 1] Number of unread bytes.
    virtual uint32_t size() const { return static_cast<uint32_t>(end_ - readPosition_); }
    // [slot 2] The first unread byte; valid (not null) even when size() is 0,
    // until the buffer next changes.
    virtual uint8_t* data() { return readPosition_; }
    // [slot 3] Skips n unread bytes (nothing when n is more than size()); with
    // compact the unread bytes then move to the start of the storage.
    virtual void consume(uint32_t n, bool compact) {
        if (n <= size()) {
            readPosition_ += n;
        }
        if (compact) {
            storage_.erase(storage_.begin(),
                           storage_.begin() + static_cast<std::ptrdiff_t>(readOffset()));
            rebase(0);
        }
    }
    // [slot 4]
    virtual void setError(uint32_t error) { error_ = error; }
    // [slot 5]
    virtual void setCount(uint32_t count) { count_ = count; }
    // [slot 6] The bytes the last transfer moved (set by the module's layers).
    virtual uint32_t count() const { return count_; }
    // [slot 7] 0, or the code of the last failure.
    virtual uint32_t error() const { return error_; }
    // [slot 8] Appends at the end. The bytes may lie inside this buffer. A
    // null pointer, or a length that would take size() beyond 32 bits, or
    // bytes of this buffer that run past its end, append nothing and set the
    // error to 87 (ERROR_INVALID_PARAMETER).
    virtual void append(const uint8_t* bytes, uint32_t length) {
        if (length == 0) {
            return;
        }
        if (bytes == nullptr || length > UINT32_MAX - size()) {
            error_ = invalidParameter;
            return;
        }
        const size_t offset = readOffset();
        if (std::less_equal<const uint8_t*>()(base_, bytes) &&
            std::less<const uint8_t*>()(bytes, end_)) {
            // Our own bytes: growing the storage would move them away under
            // the copy, so copy them out first.
            if (length > static_cast<size_t>(end_ - bytes)) {
                error_ = invalidParameter;
                return;
            }
            std::vector<uint8_t> copy(bytes, bytes + length);
            storage_.insert(storage_.end(), copy.begin(), copy.end());
        } else {
            storage_.insert(storage_.end(), bytes, bytes + length);
        }
        rebase(offset);
    }
    // [slot 9] Appends the other buffer's unread bytes (this buffer itself
    // included).
    virtual void append(const Data& other) {
        const uint32_t length = other.size();
        if (length != 0) {
            append(other.readPosition_, length);
        }
    }
    // [slot 10] Empties the buffer and clears error and count; the storage
    // keeps its capacity.
    virtual void clear() {
        storage_.clear();
        rebase(0);
        error_ = 0;
        count_ = 0;
    }
    // [slot 11] Keeps the last length unread bytes and overwrites them with
    // the given ones. False, and nothing changed, when fewer than length bytes
    // are unread or when bytes is null and length is not 0.
    virtual bool overwriteTail(const uint8_t* bytes, uint32_t length) {
        if (size() < length || (bytes == nullptr && length != 0)) {
            return false;
        }
        consume(size() - length, false);
        if (length != 0) {
            // memmove: the bytes may be part of this buffer.
            std::memmove(readPosition_, bytes, length);
        }
        return true;
    }

    // The same object, or the same unread bytes.
    bool operator==(const Data& other) const {
        if (this == &other) {
            return true;
        }
        const uint32_t length = size();
        return length == other.size() &&
               std::memcmp(readPosition_, other.readPosition_, length) == 0;
    }
    bool operator!=(const Data& other) const { return !(*this == other); }

private:
    static constexpr uint32_t invalidParameter = 87; // ERROR_INVALID_PARAMETER

    // Never an empty allocation: data() is then a valid pointer even for an
    // empty buffer, which memcpy and friends require. The bytes may be this
    // buffer's own (a buffer assigned from itself never gets here).
    void assign(const uint8_t* bytes, size_t length) {
        if (storage_.capacity() == 0) {
            storage_.reserve(length > 0 ? length : 1);
        }
        storage_.assign(bytes, bytes + length);
        rebase(0);
    }
    // Points base, read position and end at the storage after it changed,
    // keeping the read position's distance from the base.
    void rebase(size_t readOffset) {
        base_ = storage_.data();
        end_ = base_ + storage_.size();
        readPosition_ = base_ + readOffset;
    }
    size_t readOffset() const { return static_cast<size_t>(readPosition_ - base_); }

    uint8_t* readPosition_ = nullptr;
    uint8_t* base_ = nullptr;
    uint8_t* end_ = nullptr;
    // Holds exactly the bytes from base to end; its capacity may be larger.
    std::vector<uint8_t> storage_;
    uint32_t error_ = 0;
    uint32_t count_ = 0;
};

// Three 32-bit values and a Data: the record form of a notification (see
// Subject::notify and Observer::update(const NotifyRecord&)). What the values
// mean is the sender's; the module's discovery does not send records.
struct NotifyRecord {
    // The values 0 and an empty buffer.
    NotifyRecord() : value1(0), value2(0), value3(0), data(0, 255) {}
    NotifyRecord(uint32_t value1, uint32_t value2, uint32_t value3, const Data& data)
        : value1(value1), value2(value2), value3(value3), data(data) {}

    uint32_t value1;
    uint32_t value2;
    uint32_t value3;
    Data data;
};

// The module's in-process lock. Opaque here: hosts never touch it.
class CriticalSection;

class Layer;
class Observer;
class Subject;
class Visitor;

// ---------------------------------------------------------------------------
// Layers
// ---------------------------------------------------------------------------

// A count of holders. It never deletes its object: whoever created the object
// deletes it once the count is back at 0 (for connections, the connection
// manager). Safe to call from any thread.
class RefCounted {
public:
    RefCounted(const RefCounted&) = delete;
    RefCounted& operator=(const RefCounted&) = delete;

    // One more holder; returns the new count.
    uint32_t addRef() {
        std::lock_guard<std::mutex> hold(countLock_);
        return ++count_;
    }
    // One holder less, never below 0; returns the new count (0 when it was 0
    // already).
    uint32_t release() {
        std::lock_guard<std::mutex> hold(countLock_);
        if (count_ > 0) {
            --count_;
        }
        return count_;
    }

protected:
    RefCounted() = default;
    // Not virtual: objects are deleted through their most derived class or
    // through Layer, whose destructor is virtual.
    ~RefCounted() = default;

private:
    uint32_t count_ = 0;
    std::mutex countLock_;
};

// One element of a connection's stack. A connection is, from the top down:
// the host's own layer, then the module's protocol layers, then the adapter
// that owns the port. Upward (direction 0) is towards the host, downward
// (direction 1) towards the port.
//
//  - Print data and commands go down: the host calls doWrite(Data&) on the
//    topmost module layer; each layer passes the data to its lower neighbour,
//    the adapter writes it to the port and sets the data's error and count.
//  - Data read from the printer comes up on the connection's read thread: each
//    layer consumes what is meant for it and hands the rest to its upper
//    neighbour's doAccept(Data&), ending at the host's layer.
//  - Visitors are handed to a layer with doAccept(Visitor&); the layer hands
//    itself to the visitor, which acts or travels on (see Visitor).
//
// A layer owns neither neighbour. The connection manager creates, links and
// deletes the module's layers; the host creates and deletes its own top layer,
// which must outlive the connection it receives data from.
//
// A host's own top layer derives from Layer and overrides doAccept(Data&) to
// receive what the printer sends (on the read thread; copy what you keep, the
// buffer is reused) and, if it wants visitors that travel up to end quietly,
// doAccept(Visitor&).
class Layer : public RefCounted {
public:
    // Directions for getLayer and setLayer.
    static constexpr int Upper = 0;
    static constexpr int Lower = 1;

    Layer() = default;
    // [slot 0]
    virtual ~Layer() = default;

    // [slot 1] The upper neighbour for direction 0, the lower one for any
    // other value; null when there is none.
    virtual Layer* getLayer(int direction) const { return direction == Upper ? upper_ : lower_; }
    // [slot 2] Sets the upper (0) or lower (1) neighbour and returns true; any
    // other direction changes nothing and returns false. The layer is not
    // owned.
    virtual bool setLayer(int direction, Layer* layer) {
        if (direction == Upper) {
            upper_ = layer;
            return true;
        }
        if (direction == Lower) {
            lower_ = layer;
            return true;
        }
        return false;
    }
    // [slot 3] Does nothing in every layer of this transport; reserved.
    virtual void doReserved() {}
    // [slot 4] Data arriving from below. Default: sets the data's error to 1.
    virtual void doAccept(Data& data) { data.setError(invalidFunction); }
    // [slot 5] A visitor handed to this layer. Default: sets the visitor's
    // error to 1. Module layers hand themselves to the visitor instead.
    virtual void doAccept(Visitor& visitor);
    // [slot 6] Hands the visitor to the upper neighbour's doAccept, if any.
    virtual void passUp(Visitor& visitor);
    // [slot 7] Hands the visitor to the lower neighbour's doAccept, if any.
    virtual void passDown(Visitor& visitor);
    // [slot 8] Data going down. Read the data's error and count afterwards:
    // 0 and the number of bytes written on success. Default: error 1. A
    // connection's top layer takes an empty buffer as success with count 0
    // and sends nothing; a connection that is not open answers 1.
    virtual void doWrite(Data& data) { data.setError(invalidFunction); }
    // [slot 9] Called by open() for the first holder; 0 on success.
    // Protocol layers open their lower neighbour here. Default: 0.
    virtual uint32_t doOpen() { return 0; }
    // [slot 10] Called by close() for the last holder; 0 on success.
    // Protocol layers close their lower neighbour here. Default: 0.
    virtual uint32_t doClose() { return 0; }
    // [slot 11] The layer's name (the module's top layer is "bidi").
    virtual void setName(std::string name) { name_ = std::move(name); }
    // [slot 12]
    virtual std::string getName() const { return name_; }
    // [slot 13] A value for the owner's use; nothing in the module reads it.
    virtual void setTag(uint32_t value) { tag_ = value; }
    // [slot 14]
    virtual uint32_t getTag() const { return tag_; }

    // Counted open: the first successful open() runs doOpen() (so opening the
    // top of a connection opens it down to the port); later ones only count
    // and answer 0. A failing doOpen() leaves the count at 0, so the next
    // open() tries again. Open and close one connection from one thread at a
    // time.
    uint32_t open() {
        if (openCount_.load() != 0) {
            ++openCount_;
            return 0;
        }
        const uint32_t result = doOpen();
        if (result == 0) {
            ++openCount_;
        }
        return result;
    }
    // Counted close: the close() that balances the first open() runs doClose()
    // and answers its result; earlier ones answer 0. A close() on a layer that
    // is not open changes nothing and answers 1.
    uint32_t close() {
        // A close without a matching open must not wrap the count round: the
        // layer would then count as open and answer every later open() with
        // success without opening anything.
        uint32_t current = openCount_.load();
        do {
            if (current == 0) {
                return invalidFunction;
            }
        } while (!openCount_.compare_exchange_weak(current, current - 1));
        return current - 1 != 0 ? 0 : doClose();
    }
    // How many open() calls are not yet balanced by a close().
    uint32_t openCount() const { return openCount_.load(); }

private:
    static constexpr uint32_t invalidFunction = 1; // ERROR_INVALID_FUNCTION

    Layer* upper_ = nullptr;
    Layer* lower_ = nullptr;
    std::string name_;
    uint32_t tag_ = 0;
    std::atomic<uint32_t> openCount_{0};
};

// The generic bottom layer of a stack, made by the module. It hands itself to
// the visitor's doAtAdapter.
class Adapter : public Layer {
public:
    Adapter();
    ~Adapter() override;

    using Layer::doAccept;
    // [slot 5] visitor.doAtAdapter(*this, upper neighbour).
    void doAccept(Visitor& visitor) override;
};

// The generic protocol layer, made by the module; it changes none of Layer's
// operations.
class Protocol : public Layer {
public:
    Protocol();
    ~Protocol() override;
};

// A command object sent into a connection to query or change a layer's state.
// Obtain one by name from the VisitorManager, give it its parameter buffer
// (setData), mark where it comes from (setLastLayer), hand it to a layer
// (doAccept(Visitor&)), read error() and the buffer, then give it back with
// VisitorManager::releaseVisitor. A visitor is used by one thread at a time.
//
// Each layer hands itself, and its upper neighbour, to the visitor operation
// for its own kind. Where the visitor does not act, it travels on in the
// direction it came from: if the layer it came from (getLastLayer) is the
// current layer's upper neighbour it goes down, otherwise up; it stops at a
// layer without a neighbour in that direction. So a visitor handed to the top
// of a connection travels down only when its last layer is the host's layer
// above it; a fresh visitor (last layer null) travels up to the host.
class Visitor {
public:
    Visitor() = default;
    Visitor(const Visitor&) = delete;
    Visitor& operator=(const Visitor&) = delete;
    // [slot 0]
    virtual ~Visitor() = default;

    // [slot 1] Called by a generic protocol layer. Default: travel on.
    virtual void doAtProtocol(Layer& layer, Layer* upper) { travelOn(layer, upper); }
    // [slot 2] Called by a generic adapter. Default: nothing (travel ends).
    virtual void doAtAdapter(Layer&, Layer*) {}
    // [slot 3] For a generic filter layer; no layer of this transport calls
    // it. Default: travel on.
    virtual void doAtFilter(Layer& layer, Layer* upper) { travelOn(layer, upper); }
    // [slot 4] For any other generic layer; no layer of this transport calls
    // it. Default: travel on.
    virtual void doAtLayer(Layer& layer, Layer* upper) { travelOn(layer, upper); }
    // [slot 5] For a host's own layer; no layer of this transport calls it.
    // Default: nothing.
    virtual void doAtHost(Layer&, Layer*) {}
    // [slot 6] The layer the visitor comes from (for the host: its own layer
    // above the connection's top).
    virtual void setLastLayer(Layer* layer) { lastLayer_ = layer; }
    // [slot 7] The parameter and result buffer; not owned, must outlive the
    // visitor's travel. A visitor that needs one and has none, or one too
    // short to hold its parameter, reports 87 ("startNpaModeVisitor" alone
    // may go without). Sent to a connection that is not open, a visitor that
    // needs the printer reports 1 at once.
    virtual void setData(Data* data) { data_ = data; }
    // [slot 8]
    virtual Data* getData() const { return data_; }
    // [slot 9]
    virtual Layer* getLastLayer() const { return lastLayer_; }
    // [slot 10] A value for the sender's use; nothing in the module reads it.
    virtual void setTag(uint32_t value) { tag_ = value; }
    // [slot 11]
    virtual uint32_t getTag() const { return tag_; }

    // The result: 0 on success, otherwise a code from the table above.
    void setError(uint32_t error) { error_ = error; }
    uint32_t error() const { return error_; }
    // The name under which a prototype is registered; visitors handed out are
    // unnamed.
    void setName(std::string name) { name_ = std::move(name); }
    std::string getName() const { return name_; }

protected:
    // The default of the operations that travel on.
    void travelOn(Layer& layer, Layer* upper);

private:
    uint32_t error_ = 0;
    Layer* lastLayer_ = nullptr;
    Data* data_ = nullptr;
    uint32_t tag_ = 0;
    std::string name_;
};

// The parts of Layer and Visitor that need both classes.

inline void Layer::doAccept(Visitor& visitor) {
    visitor.setError(invalidFunction);
}

inline void Layer::passUp(Visitor& visitor) {
    if (upper_ != nullptr) {
        upper_->doAccept(visitor);
    }
}

inline void Layer::passDown(Visitor& visitor) {
    if (lower_ != nullptr) {
        lower_->doAccept(visitor);
    }
}

inline void Visitor::travelOn(Layer& layer, Layer* upper) {
    // Coming from the upper neighbour means travelling down; from anywhere
    // else (below, or a sender that marked nothing) it goes up.
    Layer* const previous = lastLayer_;
    lastLayer_ = &layer;
    if (previous == upper) {
        layer.passDown(*this);
    } else {
        layer.passUp(*this);
    }
}

// Makes visitors by name. The transport's manager (TransportGetVisitorManager)
// knows "startNpaModeVisitor", "getNpaModeVisitor", "setNpaWrapModeVisitor",
// "npaDataVisitor" and "setMaxPacketSizeVisitor"; any other name gives a
// visitor that reports 1 wherever it acts. Safe to call from any thread.
class VisitorManager {
public:
    VisitorManager(const VisitorManager&) = delete;
    VisitorManager& operator=(const VisitorManager&) = delete;
    // [slot 0]
    virtual ~VisitorManager() = 0;

    // [slot 1] A new visitor for the name; the caller owns it and gives it
    // back with releaseVisitor. Null only when memory is exhausted.
    virtual Visitor* getVisitor(std::string name);
    // [slot 2] Deletes a visitor that getVisitor returned; null is ignored.
    // Use this rather than delete, so the module frees what it allocated.
    virtual void releaseVisitor(Visitor* visitor);

protected:
    VisitorManager();
};

// Hands out connections to printers. A connection is the top layer of a stack
// that ends at the printer's port; the manager shares one stack per device
// (the transport string's Handle) among all its holders and counts them.
//
//   Layer* connection = manager->doGet(&myLayer, transportString, "bidi");
//   connection->open();               // opens the stack down to the port
//   connection->doWrite(printData);   // read error() and count() afterwards
//   ...
//   connection->close();              // balances the open()
//   manager->doRelease(connection);   // the last holder's release destroys it
//
// The host's own layer (myLayer) receives what the printer sends through its
// doAccept(Data&), and must outlive the connection. A second doGet for the
// same device returns the same connection, still linked to the host layer of
// the first doGet. Use only what doGet returned, and release it exactly once
// per doGet. doGet and doRelease may be called from any thread.
class ConnectionManager {
public:
    ConnectionManager(const ConnectionManager&) = delete;
    ConnectionManager& operator=(const ConnectionManager&) = delete;
    // [slot 0]
    virtual ~ConnectionManager();

    // [slot 1] The connection for the transport string's device, with one
    // more holder. connectionName selects the kind of connection: "bidi" is
    // the transport's one. When no connection can be made (no Handle in the
    // transport string, an unknown connection name) the answer is a null
    // layer: it is not null, and every operation on it reports 6
    // (ERROR_INVALID_HANDLE) or 1; releasing it does nothing. An empty or
    // malformed transport string is one without a Handle.
    virtual Layer* doGet(Layer* host, const std::string& transportString,
                         const std::string& connectionName);
    // [slot 2] One holder less; the last one's release closes the connection
    // if it is still open and destroys it. A layer this manager did not hand
    // out (null, the null layer, a host's own, one already destroyed) is
    // ignored and its count left alone.
    virtual void doRelease(Layer* connection);

protected:
    ConnectionManager();
};

// ---------------------------------------------------------------------------
// Discovery: subjects, the discoverer, observers
// ---------------------------------------------------------------------------

// Keeps observers and delivers notifications to them. Made by the module (the
// discoverer is one); a host calls its operations. Discovery is a Subject:
// the host attaches its observers to the discoverer and each printer found is
// delivered to every observer's update(text) as a transport string.
//
// Any thread may attach, detach and notify. A notification pass delivers to
// the observers attached when it starts, in attachment order; an observer may
// attach or detach (itself or others) from inside update: one detached during
// the pass is not called after its detach, one attached during the pass is
// first called in the next pass. An exception that escapes an update (the
// module's, a std::exception or a thrown text) is caught and the pass goes on
// with the next observer; throw nothing else from update.
// The subject does not own its observers, and does not tell them when it is
// destroyed: detach them first, or keep the subject alive longer.
class Subject {
public:
    Subject();
    Subject(const Subject&) = delete;
    Subject& operator=(const Subject&) = delete;
    // [slot 0] Forgets the observers without telling them.
    virtual ~Subject();

    // [slot 1] Appends the observer (once more if it is attached already, so
    // it receives each notification once per attachment); null is ignored.
    virtual void attach(Observer* observer);
    // [slot 2] Removes the observer's first attachment; nothing if absent.
    virtual void detach(Observer* observer);
    // [slot 3] Calls update(record) on each observer.
    virtual void notify(const NotifyRecord& record);
    // [slot 4] Calls update(id, text) on each observer.
    virtual void notify(uint32_t id, const std::string& text);
    // [slot 5] Calls update(id, data) on each observer.
    virtual void notify(uint32_t id, const Data& data);
    // [slot 6] Calls update(text) on each observer: the form discovery uses.
    virtual void notify(const std::string& text);
    // [slot 7] Calls update(data) on each observer.
    virtual void notify(const Data& data);

private:
    void deliver(const std::function<void(Observer&)>& update);
    bool isAttached(const Observer* observer);

    std::vector<Observer*> observers_;
    std::unique_ptr<CriticalSection> lock_;
};

// What TransportGetDiscoverer hands out: the module's discoverer, owned by the
// module (never delete it). Attach observers, then call discover; every
// printer found is delivered to each observer's update(text) as a transport
// string, once per discover call, on the calling thread, before discover
// returns. A printer that has gone is simply not reported; no printers is not
// an error. The connection's read thread may also run a discovery after a
// failed read, and so notify the observers attached at that time.
//
// A transport string is a flat text of elements <Name>value</Name>, for
// instance
//   <Portname>LPT1:</Portname><Handle>4097</Handle><Device>BpdPrinter</Device>
//   <Transport>PAR1</Transport>
// (one line); hand it unchanged to ConnectionManager::doGet, optionally with
// <MaxWritePacketSize>N</MaxWritePacketSize> appended.
//
// Its virtual operations follow Subject's eight (slots 0 to 7).
class Discoverer : public Subject {
public:
    Discoverer();
    ~Discoverer() override;

    // [slot 8] Runs a discovery; the text is not used. 0 when it ran; the
    // generic discoverer answers 1 and does nothing.
    virtual uint32_t doDiscover(const std::string& text);
    // [slots 9 to 12] Constant queries that no caller in this module uses.
    // [slot 9] Whether a discovery is still running when discover returns.
    virtual uint32_t isDiscovering() const;
    // [slot 10] Whether discover returns before the observers were told.
    virtual uint32_t isAsynchronous() const;
    // [slot 11] Whether a running discovery can be cancelled.
    virtual uint32_t canCancel() const;
    // [slot 12] Whether the printers found are attached to this machine.
    virtual uint32_t isLocal() const;

    // Runs a discovery (doDiscover with the same text) and answers its result:
    // 0 when it ran, whether or not it found printers.
    uint32_t discover(const std::string& text) { return doDiscover(text); }

    const std::string& getDiscovererName() const { return name_; }

private:
    std::string name_;
};

// Receives notifications from the subjects it is attached to, and remembers
// them so it can detach from all of them. A host derives its own observers
// from it and owns them. Every update does nothing in the base; override the
// forms you expect (discovery delivers update(text)) and add
// "using Observer::update;" so the other forms stay visible. update runs on
// the notifying thread (see the threads note at the top), so guard what it
// shares with your other threads; it may attach or detach observers.
//
// The base destructor does not detach: call detachFromAll() in your own
// destructor, before your members go, while the subjects still exist.
// attachTo and detachFromAll on one observer must not overlap.
class Observer {
public:
    Observer() = default;
    Observer(const Observer&) = delete;
    Observer& operator=(const Observer&) = delete;
    // [slot 0] Forgets the subjects without detaching from them.
    virtual ~Observer() = default;

    // [slot 1]
    virtual void update(uint32_t, const std::string&) {}
    // [slot 2]
    virtual void update(uint32_t, const Data&) {}
    // [slot 3]
    virtual void update(const NotifyRecord&) {}
    // [slot 4] A transport string: the form discovery delivers.
    virtual void update(const std::string&) {}
    // [slot 5]
    virtual void update(const Data&) {}

    // Attaches this observer to the subject and remembers the subject; null is
    // ignored.
    void attachTo(Subject* subject) {
        if (subject == nullptr) {
            return;
        }
        subject->attach(this);
        subjects_.push_back(subject);
    }
    // Detaches from every remembered subject, in attachment order, and forgets
    // them. If a subject's detach fails (throws), the walk stops there, the
    // list is kept so a later call tries every subject again, and nothing is
    // thrown: this is called from destructors.
    void detachFromAll() {
        try {
            for (Subject* subject : subjects_) {
                subject->detach(this);
            }
        } catch (...) {
            // Whatever a subject throws: the module's subjects wait on nothing
            // in detach, so no thread termination can be unwinding here.
            return;
        }
        subjects_.clear();
    }

private:
    std::list<Subject*> subjects_;
};
