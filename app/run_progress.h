// How far a run has come, shown while it goes on: the counts measured so far and the
// time taken behind the waiting text of the status bar, refreshed a few times a second
// by a timer on the window's thread; for a whole volume also the share of its used space,
// as a progress bar in the status bar and on the taskbar button where the system offers
// one. When the run ends the status bar is left to the run's own end steps.
#pragma once

#include <windows.h>

namespace lurmo {

// A run refreshes its progress this often (four times a second).
constexpr UINT kRunProgressInterval = 250;

// Called once the worker of a new run has started, with the busy look shown.
void BeginRunProgress();
// The timer: shows the progress, or ends the display once the run is over.
void OnRunProgressTimer();
// Writes the progress into the status bar now, while the run still measures.
void ShowRunProgress();
// Ends the display; a run that did not complete gets back its one-part status bar.
// May be called when nothing is shown.
void EndRunProgress();
// True while the status bar's parts are the progress display's: from the start of a run
// until its end steps, which lay the status bar out themselves, or its cancel.
bool RunProgressOwnsStatusBar();
// Fits the status bar's parts and the progress bar to the window's width.
void LayoutRunProgress();
// Lets go of the taskbar button before COM goes.
void ReleaseTaskbarProgress();

}  // namespace lurmo
