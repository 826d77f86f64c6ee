// Creates the module's singletons in their fixed order and releases them in
// theirs. Exactly one holder exists between TransportInitialize and
// TransportUninitialize.
#pragma once

class TransportSingletons {
public:
    TransportSingletons();
    ~TransportSingletons();
    TransportSingletons(const TransportSingletons&) = delete;
    TransportSingletons& operator=(const TransportSingletons&) = delete;
};
