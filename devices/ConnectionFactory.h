// The base of the connection factories and of their registry: a factory
// makes the layer stack of one kind of connection and destroys it again.
// The base makes nothing: it answers a null layer of its own.
#pragma once

#include <string>

class Layer;

class ConnectionFactory {
public:
    ConnectionFactory();
    virtual ~ConnectionFactory();
    ConnectionFactory(const ConnectionFactory&) = delete;
    ConnectionFactory& operator=(const ConnectionFactory&) = delete;

    // The top layer of a new stack linked to host, or null when none could
    // be made.
    virtual Layer* doMake(Layer* host, const std::string& connectionName,
                          const std::string& transportString);
    // Destroys a stack that doMake made.
    virtual void doUnMake(Layer* connection);
    // The connection name this factory serves for the host's arguments;
    // empty here.
    virtual void findConnectionName(std::string& name, const std::string& first,
                                    const std::string& second);
    // "default" until setName.
    virtual void getName(std::string& name);
    virtual void setName(const std::string& name);

private:
    std::string name_;
};
