// The path rules the file operations share: names and folders of full paths, case-blind
// comparison, and the limit of MAX_PATH that every path handed to the shell must keep.
#pragma once

#include <windows.h>

#include <string>

namespace lurmo {

// The part after the last backslash; the whole path when it has none.
std::wstring NameOf(const std::wstring& path);
// The part before the last backslash; empty when it has none.
std::wstring FolderOf(const std::wstring& path);
// The folder and the name joined by one backslash (a drive root keeps its own).
std::wstring JoinPath(const std::wstring& folder, const std::wstring& name);
// The extension of the last name of the path, with its dot; empty when it has none.
std::wstring ExtensionOf(const std::wstring& path);

// Equal paths, letters compared without regard to case.
bool SamePath(const std::wstring& a, const std::wstring& b);
// True when `path` is `folder` itself or lies anywhere below it.
bool IsSameOrInside(const std::wstring& path, const std::wstring& folder);

// True when the path and its terminator fit a buffer of MAX_PATH units.
bool FitsPathBuffer(const std::wstring& path);
// Tells the user that a path is too long to be handled.
void ReportPathTooLong(const std::wstring& path);
bool IsExistingFolder(const std::wstring& path);
bool ItemExists(const std::wstring& path);

}  // namespace lurmo
