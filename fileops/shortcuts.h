// Shortcut files: made for files on the clipboard, and read back for drops and opening.
#pragma once

#include <windows.h>
#include <ole2.h>

#include <string>

namespace lurmo {

// Makes a shortcut in the target for every file of the data object, each under the next
// free name "<name> へのショートカット.lnk", " (2).lnk", ...
void CreateShortcuts(IDataObject* data);
// The path a shortcut file leads to, and that item's find data (its attributes tell a
// folder); false when the file cannot be read as a shortcut.
bool ResolveShortcut(const std::wstring& path, std::wstring& target, WIN32_FIND_DATAW& data);

}  // namespace lurmo
