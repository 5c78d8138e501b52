// Starting, cancelling and replacing accumulations, and navigating between targets.
#pragma once

#include <windows.h>

#include <string>

namespace lurmo {

bool CheckFolderExists(const std::wstring& path);
bool ReadTargetBox();
// Checks a target and installs it in the path buffer and the title.
bool CheckTargetPath(const std::wstring& text);
// QueryClusterSize, then CheckTargetPath.
bool CheckTarget(const std::wstring& text);
void StartAccumulation();
void StopAccumulation();
void ShowBusyLook();
void ShowIdleLook();
void OnAccumulateButton();
void GoUpOneLevel();
void GoIntoSelectedFolder();
void OpenFolderAsTarget(const std::wstring& path, int rowsBeingOpened);
// The arrow cursor back on the list and the main window.
void RestoreArrowCursors();

// Waits for a thread that may be sending messages to this one, answering them, for at
// most timeout milliseconds. True when the thread ended.
bool WaitForThreadAnsweringMessages(HANDLE thread, DWORD timeout);

}  // namespace lurmo
