// The base of the adapter's states. The state objects are module-global,
// shared by every adapter, and carry their names for traces. This base
// refuses writes, data from below, opening and closing with 1
// (ERROR_INVALID_FUNCTION); it hands visitors to the adapter's visitor
// operation in every state.
#pragma once

#include <cstdint>
#include <string>

class Data;
class Par1Adapter;
class Visitor;

class Par1AdapterState {
public:
    // The base object's name is "state".
    explicit Par1AdapterState(std::string name = "state");
    virtual ~Par1AdapterState();
    Par1AdapterState(const Par1AdapterState&) = delete;
    Par1AdapterState& operator=(const Par1AdapterState&) = delete;

    // Refused: the data's error is 1.
    virtual void doWrite(Par1Adapter& adapter, Data& data);
    // The visitor's doAtPar1Adapter (doAtAdapter for a visitor of another
    // kind) with the adapter and its upper neighbour.
    virtual void doAccept(Par1Adapter& adapter, Visitor& visitor);
    // Refused: the data's error is 1. The adapter takes no data from below.
    virtual void doAccept(Par1Adapter& adapter, Data& data);
    // Refused: 1.
    virtual uint32_t doOpen(Par1Adapter& adapter);
    virtual uint32_t doClose(Par1Adapter& adapter);

    const std::string& getName() const { return name_; }

private:
    std::string name_;
};
