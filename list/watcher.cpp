#include "list/watcher.h"

namespace lurmo {

// Live update is not offered yet: a listing stays as measured until the next run.
void StartWatcher() {}
void StopWatcher() {}

}  // namespace lurmo
