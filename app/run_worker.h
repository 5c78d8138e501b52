// The accumulation worker: measures every child of the installed target on its own
// thread and writes the rows, then completes the listing.
#pragma once

#include <windows.h>

namespace lurmo {

// Starts the worker over the target in the path buffer; false when no thread started.
bool StartWorker();

}  // namespace lurmo
