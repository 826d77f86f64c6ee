// The base of the read endpoint's states. The state objects are
// module-global, shared by every endpoint, and carry their names for traces.
// This base refuses everything with 1 (ERROR_INVALID_FUNCTION) and touches no
// data.
#pragma once

#include <cstdint>
#include <string>

class Data;
class Par1ReadEndPoint;

class Par1ReadEndPointState {
public:
    explicit Par1ReadEndPointState(std::string name);
    virtual ~Par1ReadEndPointState();
    Par1ReadEndPointState(const Par1ReadEndPointState&) = delete;
    Par1ReadEndPointState& operator=(const Par1ReadEndPointState&) = delete;

    // Called by changeState once the endpoint is in this state; nothing.
    virtual void onEnter(Par1ReadEndPoint& endpoint);
    virtual uint32_t doOpen(Par1ReadEndPoint& endpoint);
    virtual uint32_t doClose(Par1ReadEndPoint& endpoint);
    virtual uint32_t doRead(Par1ReadEndPoint& endpoint, Data& data, uint32_t most);

    const std::string& getName() const { return name_; }

protected:
    // The transition to Closed that Open and Error share, traced with text.
    static uint32_t closeEndpoint(Par1ReadEndPoint& endpoint, const char* text);

private:
    std::string name_;
};
