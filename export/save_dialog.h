// Choosing where an export goes and which of the three file types it takes.
#pragma once

#include <windows.h>

#include <string>

namespace lurmo {

struct ExportChoice {
    std::wstring path;
    int kind = 0;   // the dialog's 1-based file-type index (ExportKind)
};

// Asks for the export file with the save dialog of the running system: the common item
// dialog from version 0x600 on (major << 8 | minor), the older one below. False when the
// user cancels or the dialog cannot be had.
bool ChooseExportFile(HWND owner, const std::wstring& targetPath, DWORD osVersion, ExportChoice& choice);

// The folder the older dialog opens in: the folder of the last export chosen through it,
// kept for the life of the program. Empty until the first export.
const std::wstring& GetExportFolder();
void SetExportFolder(const std::wstring& folder);

// The folder offered when there is no earlier one: My Documents, the desktop, the current
// folder or "C:\", whichever is had first, without its trailing backslash.
std::wstring FindDefaultExportFolder(HWND owner);

// The name offered for the file: the target folder's own name.
std::wstring SuggestExportName(const std::wstring& targetPath);

// The file name the older dialog shows after the file type changed to kind: its
// extension replaced (everything from the last ".") or appended. Empty stays empty.
std::wstring SwitchExportExtension(const std::wstring& name, int kind);

// Everything before the last backslash of path; empty when there is none.
std::wstring ExtractFolder(const std::wstring& path);

}  // namespace lurmo
