// The accumulation worker: measures every child of the installed target on its own
// thread and writes the rows, then completes the listing.
#pragma once

#include <windows.h>

namespace lurmo {

// Starts the worker over the target in the path buffer; false when no thread started.
// In place, the run measures into the rows already listed (see BeginMeasuringInPlace).
bool StartWorker(bool inPlace = false);

// Painting the list after every inserted row costs far more than measuring the row (a
// dozen milliseconds a row under Wine, and the worker waits for each paint), so while a
// run adds rows the list's redraw is off and a timer repaints it a few times a second.
// The timer ends the hold once the run is over; EndListPaintHold ends it at once and
// may be called when nothing is held.
void OnRunPaintTimer();
void EndListPaintHold();

}  // namespace lurmo
