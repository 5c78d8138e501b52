// The owner-drawn entries of the new-item submenu: an icon in front of each text.
#pragma once

#include <windows.h>

#include <string>

#include "engine/handles.h"

namespace lurmo {

// What a template entry shows. A template record begins with it, and the entry's item
// data points to it; the new-folder and new-shortcut entries carry their text alone and
// take their icons from the system image list.
struct MenuEntryLook {
    std::wstring text;
    unique_hicon icon;
};

// Inserts an owner-drawn entry; its item data is its text or its template record.
void InsertMenuEntry(HMENU menu, UINT position, UINT id, ULONG_PTR data);
// The caller passes only the submenu's own entries.
void MeasureMenuEntry(MEASUREITEMSTRUCT* item);
void DrawMenuEntry(const DRAWITEMSTRUCT* item);
// The WM_MENUCHAR result for the submenu: execute the entry whose mnemonic is the
// character, or 0 to leave the key to the system.
LRESULT MatchMenuMnemonic(wchar_t character, HMENU menu);

}  // namespace lurmo
