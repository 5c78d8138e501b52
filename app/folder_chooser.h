// The program's folder chooser: the shell's folder browser, for the target and for the
// destinations of copy and move.
#pragma once

#include <windows.h>

#include <string>

namespace lurmo {

// verb may be null. True with the chosen folder's parsing name in result.
bool ChooseFolder(UINT extraFlags, const wchar_t* verb, const std::wstring& initialFolder, std::wstring& result,
                  const wchar_t* title);
void BrowseForTarget();
// What the chooser does with a chosen folder: select its drive, or put it in both boxes.
void InstallChosenFolder(std::wstring path);

}  // namespace lurmo
