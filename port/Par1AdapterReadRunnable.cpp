#include "port/Par1AdapterReadRunnable.h"

#include "port/Par1Adapter.h"

Par1AdapterReadRunnable::Par1AdapterReadRunnable(Par1Adapter& adapter) : adapter_(adapter) {}

Par1AdapterReadRunnable::~Par1AdapterReadRunnable() = default;

uint32_t Par1AdapterReadRunnable::run() {
    return adapter_.read();
}
