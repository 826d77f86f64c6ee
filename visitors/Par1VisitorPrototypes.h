// The five prototype visitors that the visitor manager clones by name. Each
// is a process-wide object made by its accessor, which registers it with
// Par1VisitorManager under its name; the accessors share one lock.
//
// Module start-up calls create() after the manager exists: it makes
// "startNpaModeVisitor", "getNpaModeVisitor", "setNpaWrapModeVisitor",
// "npaDataVisitor" and "setMaxPacketSizeVisitor", in this order. Shut-down
// calls release() before the manager goes: it deletes them in the reverse
// order.
#pragma once

class Par1ActivateNpaModeVisitor;
class Par1GetNpaModeVisitor;
class Par1NpaDataVisitor;
class Par1SetMaxPacketSizeVisitor;
class Par1SetNpaWrapModeVisitor;

namespace Par1VisitorPrototypes {

// Makes and registers each prototype that does not exist yet. A failed
// allocation leaves that prototype missing (its name then gives the null
// visitor) and the others are still made.
void create();
// Deletes every prototype that exists, in the reverse order.
void release();

// The prototypes, each created on first use; null if it could not be made.
Par1ActivateNpaModeVisitor* activateNpaMode();
Par1GetNpaModeVisitor* getNpaMode();
Par1SetNpaWrapModeVisitor* setNpaWrapMode();
Par1NpaDataVisitor* npaData();
Par1SetMaxPacketSizeVisitor* setMaxPacketSize();

} // namespace Par1VisitorPrototypes
