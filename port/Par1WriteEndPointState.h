// The base of the write endpoint's states. The state objects are
// module-global, shared by every endpoint, and carry their names for traces.
// This base refuses everything with 1 (ERROR_INVALID_FUNCTION).
#pragma once

#include <cstdint>
#include <string>

class Data;
class Par1WriteEndPoint;

class Par1WriteEndPointState {
public:
    explicit Par1WriteEndPointState(std::string name);
    virtual ~Par1WriteEndPointState();
    Par1WriteEndPointState(const Par1WriteEndPointState&) = delete;
    Par1WriteEndPointState& operator=(const Par1WriteEndPointState&) = delete;

    // Called by changeState once the endpoint is in this state; nothing.
    virtual void onEnter(Par1WriteEndPoint& endpoint);
    virtual uint32_t doOpen(Par1WriteEndPoint& endpoint);
    virtual uint32_t doClose(Par1WriteEndPoint& endpoint);
    // Refused: also sets the data's error to 1.
    virtual uint32_t doWrite(Par1WriteEndPoint& endpoint, Data& data);

    const std::string& getName() const { return name_; }

private:
    std::string name_;
};
