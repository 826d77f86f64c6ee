// The transport's one connection factory, registered as "bidi": it builds
// the stack of a bidirectional print connection, from the top down the wrap
// layer (named "bidi", packet size from MaxWritePacketSize, default 4096,
// acknowledgements on), the NPA layer, the PJL layer and the adapter of the
// transport string's Portname. Nothing is opened here.
#pragma once

#include "devices/ConnectionFactory.h"

#include <string>

class Par1BidiPrintConnectionFactory : public ConnectionFactory {
public:
    static const char connectionName[];

    // The module's start-up makes the one instance (if none exists); it
    // registers itself with Par1ConnectionFactoryManager. Shut-down deletes
    // it, which removes it again.
    static void createInstance();
    static void releaseInstance();
    static Par1BidiPrintConnectionFactory* getInstance();

    Par1BidiPrintConnectionFactory();
    ~Par1BidiPrintConnectionFactory() override;

    // The new stack's top layer, linked to host (which gets the top layer as
    // its lower neighbour); null when a layer could not be made.
    Layer* doMake(Layer* host, const std::string& connectionName,
                  const std::string& transportString) override;
    // Deletes the stack below and with the connection, the adapter first.
    // The stack is to be closed already.
    void doUnMake(Layer* connection) override;
    // "bidi", whatever the arguments.
    void findConnectionName(std::string& name, const std::string& first,
                            const std::string& second) override;
    // "bidi".
    void getName(std::string& name) override;
};
