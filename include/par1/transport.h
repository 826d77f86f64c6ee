// PAR1 parallel-port transport: the classes a host calls through.
//
// A host loads the transport module, calls TransportInitialize, and from then
// on reaches everything through the objects the exports hand out:
//
//   TransportGetVisitorManager()  -> VisitorManager*: command objects by name
//   TransportGetConnectionManager() -> ConnectionManager*: connections to
//                                    printers, by transport string
//   TransportGetDiscoverer(): added to this header when that object is
//                             published
//   TransportGetName(buffer, size, &length): 87 when length is null, or when
//                             buffer is null and size is not 0
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
// Results and errors are Windows system error codes:
//     0     success
//     1     ERROR_INVALID_FUNCTION: the object does not support the call, or
//           not in its current state
//     6     ERROR_INVALID_HANDLE: the null layer (no connection could be made)
//     29    ERROR_WRITE_FAULT
//     87    ERROR_INVALID_PARAMETER
//     122   ERROR_INSUFFICIENT_BUFFER
//     1117  ERROR_IO_DEVICE: the printer has gone
//     1168  ERROR_NOT_FOUND
//     1359  ERROR_INTERNAL_ERROR
//     1460  ERROR_TIMEOUT
//     1629  ERROR_DATATYPE_MISMATCH
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
// This header uses only the C++ standard library.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <list>
#include <memory>
#include <string>
#include <vector>

// The byte buffer that travels through a connection's layers and carries the
// parameters and results of visitors: the unread bytes from a read position to
// the end, an error (a code from the table above) and a count of the bytes
// that the last transfer moved. Its operations, in slot order: [0] destructor,
// [1] size, [2] data, [3] consume, [4] setError, [5] setCount, [6] count,
// [7] error, [8] append(bytes, length), [9] append(Data), [10] clear,
// [11] overwriteTail.
class Data;

// Three 32-bit values and a Data: the record form of a notification (see
// Subject::notify).
struct NotifyRecord;

// The module's in-process lock. Opaque here: hosts never touch it.
class CriticalSection;

class Layer;
class Observer;
class Subject;
class Visitor;

// A count of holders. It never deletes its object: whoever created the object
// deletes it once the count is back at 0 (for connections, the connection
// manager). Safe to call from any thread.
class RefCounted {
public:
    RefCounted(const RefCounted&) = delete;
    RefCounted& operator=(const RefCounted&) = delete;

    // One more holder; returns the new count.
    uint32_t addRef();
    // One holder less, never below 0; returns the new count (0 when it was 0
    // already).
    uint32_t release();

protected:
    RefCounted();
    // Not virtual: objects are deleted through their most derived class or
    // through Layer, whose destructor is virtual.
    ~RefCounted();

private:
    uint32_t count_;
    std::unique_ptr<CriticalSection> countLock_;
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

    Layer();
    // [slot 0]
    virtual ~Layer();

    // [slot 1] The upper neighbour for direction 0, the lower one for any
    // other value; null when there is none.
    virtual Layer* getLayer(int direction) const;
    // [slot 2] Sets the upper (0) or lower (1) neighbour and returns true; any
    // other direction changes nothing and returns false. The layer is not
    // owned.
    virtual bool setLayer(int direction, Layer* layer);
    // [slot 3] Does nothing in every layer of this transport; reserved.
    virtual void doReserved();
    // [slot 4] Data arriving from below. Default: sets the data's error to 1.
    virtual void doAccept(Data& data);
    // [slot 5] A visitor handed to this layer. Default: sets the visitor's
    // error to 1. Module layers hand themselves to the visitor instead.
    virtual void doAccept(Visitor& visitor);
    // [slot 6] Hands the visitor to the upper neighbour's doAccept, if any.
    virtual void passUp(Visitor& visitor);
    // [slot 7] Hands the visitor to the lower neighbour's doAccept, if any.
    virtual void passDown(Visitor& visitor);
    // [slot 8] Data going down. Read the data's error and count afterwards:
    // 0 and the number of bytes written on success. Default: error 1. An
    // empty buffer succeeds with count 0 and sends nothing; a connection that
    // is not open answers 1.
    virtual void doWrite(Data& data);
    // [slot 9] Called by open() for the first holder; 0 on success.
    // Protocol layers open their lower neighbour here. Default: 0.
    virtual uint32_t doOpen();
    // [slot 10] Called by close() for the last holder; 0 on success.
    // Protocol layers close their lower neighbour here. Default: 0.
    virtual uint32_t doClose();
    // [slot 11] The layer's name (the module's top layer is "bidi").
    virtual void setName(std::string name);
    // [slot 12]
    virtual std::string getName() const;
    // [slot 13] A value for the owner's use; nothing in the module reads it.
    virtual void setTag(uint32_t value);
    // [slot 14]
    virtual uint32_t getTag() const;

    // Counted open: the first successful open() runs doOpen() (so opening the
    // top of a connection opens it down to the port); later ones only count
    // and answer 0. A failing doOpen() leaves the count at 0, so the next
    // open() tries again. Open and close one connection from one thread at a
    // time.
    uint32_t open();
    // Counted close: the close() that balances the first open() runs doClose()
    // and answers its result; earlier ones answer 0. A close() on a layer that
    // is not open changes nothing and answers 1.
    uint32_t close();
    // How many open() calls are not yet balanced by a close().
    uint32_t openCount() const;

private:
    Layer* upper_;
    Layer* lower_;
    std::string name_;
    uint32_t tag_;
    std::atomic<uint32_t> openCount_;
};

// The generic bottom layer of a stack. It hands itself to the visitor's
// doAtAdapter.
class Adapter : public Layer {
public:
    Adapter();
    ~Adapter() override;

    using Layer::doAccept;
    // [slot 5] visitor.doAtAdapter(*this, upper neighbour).
    void doAccept(Visitor& visitor) override;
};

// The generic protocol layer; it changes none of Layer's operations.
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
    Visitor();
    Visitor(const Visitor&) = delete;
    Visitor& operator=(const Visitor&) = delete;
    // [slot 0]
    virtual ~Visitor();

    // [slot 1] Called by a generic protocol layer. Default: travel on.
    virtual void doAtProtocol(Layer& layer, Layer* upper);
    // [slot 2] Called by a generic adapter. Default: nothing (travel ends).
    virtual void doAtAdapter(Layer& layer, Layer* upper);
    // [slot 3] For a generic filter layer; no layer of this transport calls
    // it. Default: travel on.
    virtual void doAtFilter(Layer& layer, Layer* upper);
    // [slot 4] For any other generic layer; no layer of this transport calls
    // it. Default: travel on.
    virtual void doAtLayer(Layer& layer, Layer* upper);
    // [slot 5] For a host's own layer; no layer of this transport calls it.
    // Default: nothing.
    virtual void doAtHost(Layer& layer, Layer* upper);
    // [slot 6] The layer the visitor comes from (for the host: its own layer
    // above the connection's top).
    virtual void setLastLayer(Layer* layer);
    // [slot 7] The parameter and result buffer; not owned, must outlive the
    // visitor's travel. A visitor that needs one and has none, or one too
    // short to hold its parameter, reports 87 ("startNpaModeVisitor" alone
    // may go without). Sent to a connection that is not open, a visitor that
    // needs the printer reports 1 at once.
    virtual void setData(Data* data);
    // [slot 8]
    virtual Data* getData() const;
    // [slot 9]
    virtual Layer* getLastLayer() const;
    // [slot 10] A value for the sender's use; nothing in the module reads it.
    virtual void setTag(uint32_t value);
    // [slot 11]
    virtual uint32_t getTag() const;

    // The result: 0 on success, otherwise a code from the table above.
    void setError(uint32_t error);
    uint32_t error() const;
    // The name under which a prototype is registered; visitors handed out are
    // unnamed.
    void setName(std::string name);
    std::string getName() const;

protected:
    // The default of the operations that travel on.
    void travelOn(Layer& layer, Layer* upper);

private:
    uint32_t error_;
    Layer* lastLayer_;
    Data* data_;
    uint32_t tag_;
    std::string name_;
};

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

// Keeps observers and delivers notifications to them. Discovery is a Subject:
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

// Receives notifications from the subjects it is attached to, and remembers
// them so it can detach from all of them. Every update does nothing in the
// base; override the forms you expect (discovery delivers update(text)).
// update runs on the notifying thread and may attach or detach observers.
//
// The base destructor does not detach: call detachFromAll() in your own
// destructor, before your members go, while the subjects still exist.
// attachTo and detachFromAll on one observer must not overlap.
class Observer {
public:
    Observer();
    Observer(const Observer&) = delete;
    Observer& operator=(const Observer&) = delete;
    // [slot 0] Forgets the subjects without detaching from them.
    virtual ~Observer();

    // [slot 1]
    virtual void update(uint32_t id, const std::string& text);
    // [slot 2]
    virtual void update(uint32_t id, const Data& data);
    // [slot 3]
    virtual void update(const NotifyRecord& record);
    // [slot 4] A transport string: the form discovery delivers.
    virtual void update(const std::string& text);
    // [slot 5]
    virtual void update(const Data& data);

    // Attaches this observer to the subject and remembers the subject; null is
    // ignored.
    void attachTo(Subject* subject);
    // Detaches from every remembered subject, in attachment order, and forgets
    // them. If a subject's detach fails, the walk stops there and the list is
    // kept; the failure is logged, not thrown.
    void detachFromAll();

private:
    std::list<Subject*> subjects_;
};
