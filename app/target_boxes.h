// The two target boxes: the drive box over the shell's computer folder, and the history
// of measured targets with its registry form.
#pragma once

#include <windows.h>
#include <shlobj.h>

#include <string>

namespace lurmo {

constexpr wchar_t kHistoryKey[] = L"Software\\Brennic\\Lurmo\\History";

void FillDriveBox();
void LoadHistory();
void ShowTargetList();
void RegisterDriveNotifications();
void OnDriveChange(PCIDLIST_ABSOLUTE* idLists, LONG event);
// Keep the drive box and its path list in step; the path is a drive root such as E:\.
void AddDrive(const std::wstring& path, const std::wstring& displayName, int icon);
void RemoveDrive(const std::wstring& path);

// Called at the end of a run, on the worker's thread, with the target it measured: only
// messages reach the box.
void AddToHistory(const std::wstring& target);
void SaveHistory();
void ClearHistory();
void TrimHistory();

// Helpers shared with the run control.
std::wstring BoxEditText(HWND box);
void SetBoxEditText(HWND box, const std::wstring& text);
std::wstring BoxItemText(HWND box, int index);
int BoxSelection(HWND box);
// The target as the visible box names it: the chosen item (a drive's path, a history
// entry) or else the typed text; empty for an unknown box setting.
std::wstring TargetBoxText();
int BoxCount(HWND box);
int SmallIconOf(const std::wstring& path);

}  // namespace lurmo
