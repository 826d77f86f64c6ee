// The transport's connection manager, the object TransportGetConnectionManager
// returns. It keeps one connection per device handle, made by the factory
// that the connection name selects, and counts its holders in the
// connection's reference count; the last release closes the connection if
// it is still open, then has its factory destroy it. doGet and doRelease are
// serialised by one lock.
#pragma once

#include "devices/ConnectionManager.h"
#include "shared/CriticalSection.h"

#include <cstddef>
#include <cstdint>
#include <map>
#include <string>

class NullLayer;

class Par1ConnectionManager : public ConnectionManager {
public:
    // Created on first use (also before the module is initialised); null
    // only if it could not be allocated.
    static Par1ConnectionManager* getInstance();
    // Deletes it, forgetting its connections without destroying them; the
    // next getInstance makes a new one.
    static void destroyInstance();

    ~Par1ConnectionManager() override;

    // The connection of the transport string's Handle, with one more holder.
    // The manager's null layer when the transport string has no Handle or
    // no factory makes connections of that name; then nothing is stored.
    Layer* doGet(Layer* host, const std::string& transportString,
                 const std::string& connectionName) override;
    void doRelease(Layer* connection) override;

    // The null layer that doGet answers on failure.
    static Layer* nullLayer();
    // How many connections exist.
    size_t connectionCount();

private:
    Par1ConnectionManager();

    CriticalSection lock_;
    std::map<uint32_t, Layer*> connections_;
};
