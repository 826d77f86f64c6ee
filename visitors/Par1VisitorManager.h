// The transport's visitor manager, the object TransportGetVisitorManager
// returns: it makes visitors by name by cloning the prototype registered
// under that name, and a Par1NullVisitor for any other name.
#pragma once

#include "visitors/VisitorManager.h"

#include "shared/CriticalSection.h"
#include "shared/Singleton.h"

#include <map>
#include <string>

class Par1Visitor;

class Par1VisitorManager : public VisitorManager {
public:
    // The process's manager, created on first use (also before the module is
    // initialised); null only if it could not be allocated.
    static Par1VisitorManager* getInstance() {
        return Singleton<Par1VisitorManager>::getInstance();
    }
    // Deletes the manager; a later getInstance makes a new, empty one.
    static void destroyInstance() { Singleton<Par1VisitorManager>::destroyInstance(); }

    // Forgets the prototypes without deleting them: each belongs to its own
    // accessor.
    ~Par1VisitorManager() override;

    // A clone of the prototype registered under the name, or a new
    // Par1NullVisitor (error 1) for a name without one. The caller owns it.
    Visitor* getVisitor(std::string name) override;

    // Makes the prototype the one for its getName(), replacing an earlier one
    // of that name. The manager does not own it; it must stay registered no
    // longer than it lives. A null or unnamed prototype is ignored.
    void registerVisitor(Par1Visitor* prototype);

private:
    friend class Singleton<Par1VisitorManager>;
    Par1VisitorManager();

    // Registration happens at start-up, but a host may ask for visitors
    // through the accessor before or during it.
    CriticalSection prototypesLock_;
    std::map<std::string, Par1Visitor*> prototypes_;
};
