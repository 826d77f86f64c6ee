#include "protocol/Protocol.h"

Protocol::Protocol() = default;

Protocol::~Protocol() = default;
