// The registry of connection factories, by name: it routes the making of a
// connection to the factory registered under the connection name, and its
// destruction to the factory named like the connection's top layer. A
// process-wide object; one lock guards its creation and the registry.
#pragma once

#include "devices/ConnectionFactory.h"

#include <map>
#include <string>

class Par1ConnectionFactoryManager : public ConnectionFactory {
public:
    // Created on first use; null only if it could not be allocated.
    static Par1ConnectionFactoryManager* getInstance();
    // Deletes it; the next getInstance makes a new, empty one. The factories
    // themselves are not deleted.
    static void destroyInstance();

    ~Par1ConnectionFactoryManager() override;

    // Registers the factory under its getName, replacing any other of that
    // name.
    void addFactory(ConnectionFactory* factory);
    // Removes the first entry that holds this factory; logs when there is
    // none.
    void removeFactory(ConnectionFactory* factory);
    // The factory registered under the name, or null.
    ConnectionFactory* findFactory(const std::string& name);

    // The named factory's doMake; null when no factory has that name.
    Layer* doMake(Layer* host, const std::string& connectionName,
                  const std::string& transportString) override;
    // The doUnMake of the factory named like the connection's getName;
    // nothing when there is none.
    void doUnMake(Layer* connection) override;
    // The first non-empty answer of the registered factories, in name order.
    void findConnectionName(std::string& name, const std::string& first,
                            const std::string& second) override;

private:
    Par1ConnectionFactoryManager();

    std::map<std::string, ConnectionFactory*> factories_;
};
