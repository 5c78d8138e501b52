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

// The small icon a target shows in the history box. Under Wine asking it of a folder
// costs time in proportion to the folder's entries (a tenth of a second for 100,000), so
// a run asks it on its own thread rather than while it holds the window.
int HistoryIconOf(const std::wstring& target);
// Puts target first in the history box, at the end of a run, on the window's thread;
// icon is its HistoryIconOf, asked here when -1.
void AddToHistory(const std::wstring& target, int icon = -1);
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
