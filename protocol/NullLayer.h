// The layer handed out where no connection can be made: it refuses data,
// visitors, open and close, so a host that uses it gets an error instead of
// a crash.
#pragma once

#include "protocol/Layer.h"

class NullLayer : public Layer {
public:
    // Named "null".
    NullLayer();
    ~NullLayer() override;

    // Data: error 6 (ERROR_INVALID_HANDLE).
    void doAccept(Data& data) override;
    // Visitor: error 1 (ERROR_INVALID_FUNCTION).
    void doAccept(Visitor& visitor) override;
    // Data: error 6.
    void doWrite(Data& data) override;
    // 6, so open() fails and the open count stays at 0.
    uint32_t doOpen() override;
    // 6.
    uint32_t doClose() override;
};
