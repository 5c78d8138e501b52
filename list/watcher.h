// The change watcher of file-operation mode: follows every change below the target
// after a completed run, and applies it to the rows, the trees and the totals.
#pragma once

#include <windows.h>

namespace lurmo {

void StartWatcher();
void StopWatcher();

}  // namespace lurmo
