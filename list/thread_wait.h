// Waiting on the user-interface thread for a thread that may be sending it messages.
#pragma once

#include <windows.h>

namespace lurmo {

// Waits for the thread for at most timeout milliseconds while answering the messages it
// sends to this thread's windows, so a worker blocked in SendMessageW can reach its next
// look at a stop request. Posted messages stay queued. True when the thread ended.
bool WaitForThreadAnsweringMessages(HANDLE thread, DWORD timeout);

}  // namespace lurmo
