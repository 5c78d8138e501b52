// Drag and drop on the result list: the drop source of drags out of it and the drop
// target that takes files into the target, into a folder row or a file's drop handler.
#pragma once

#include <windows.h>
#include <ole2.h>

namespace lurmo {

// A CDropSource with reference count 1; null when memory runs out.
IDropSource* NewDropSource();
// A CDropTarget for the result list with reference count 1; null when memory runs out.
IDropTarget* NewDropTarget();

// Registers a drop target on the result list; the registration holds the only reference.
bool RegisterListDropTarget();
void RevokeListDropTarget();

}  // namespace lurmo
