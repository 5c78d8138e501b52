// The settings under HKEY_CURRENT_USER\Software\Brennic\Lurmo, as records: the main
// window reads them once when it is set up and writes them once when it is destroyed.
#pragma once

#include <windows.h>
#include <commdlg.h>

namespace lurmo {

constexpr wchar_t kSettingsKey[] = L"Software\\Brennic\\Lurmo";

// The stored settings, as loaded and as saved.
struct Settings {
    int left = 0, top = 0, width = 0, height = 0;
    int columnWidthName = 180;
    int columnWidthSize = 100;
    int columnWidthPercent = 40;
    int columnWidthBarGraph = 100;
    int columnWidthDateTime = 115;
    bool columnWidthDateTimeStored = false;   // read from the registry, not the default
    // The other widths read from the registry, one bit per ColumnWidth* in table order
    // (name, size, percent, bar graph): a stored width is the user's and is kept, a
    // default may grow to fit its header. Widths are in pixels at 96 DPI.
    unsigned storedColumnWidths = 0;
    DWORD snapShot = 0;
    DWORD unit = 0;
    DWORD usedSize = 1;
    DWORD comma = 1;
    DWORD maxHistory = 10;
    DWORD sort = 3;
    DWORD targetList = 0;
    DWORD useSystemFont = 1;
    LOGFONTW logFont{};
    CHOOSEFONTW chooseFont{};   // iPointSize is FontSize, rgbColors is FontColor
    DWORD displayGraph = 0;
    COLORREF graphColor = 0;
    DWORD followLinks = 1;    // 0: no link is entered and every link counts 0
    DWORD displayChange = 1;   // the change column in file-operation mode
    // The map pane below the list: shown unless the user hid it (by default only in
    // file-operation mode, where it has a tree to show), and its height at 96 DPI.
    DWORD treemapShown = 1;
    bool treemapShownStored = false;
    int treemapHeight = 180;
    // The list of file types beside the map (file-operation mode only).
    DWORD fileTypesShown = 0;
};

// The copies that an accumulation takes from the settings when it starts; every part of
// the program but the options reads these.
struct InEffect {
    DWORD snapShot = 0;
    DWORD usedSize = 1;
    DWORD displayGraph = 0;
    COLORREF graphColor = 0;
    DWORD followLinks = 1;
};

}  // namespace lurmo
