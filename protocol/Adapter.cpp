#include "protocol/Adapter.h"

Adapter::Adapter() = default;

Adapter::~Adapter() = default;

void Adapter::doAccept(Visitor& visitor) {
    visitor.doAtAdapter(*this, getLayer(Upper));
}
