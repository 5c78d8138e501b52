// The map pane below the result list: a child window of class LurmoTreemap whose top
// edge is the splitter bar. It draws the map in slices into a bitmap, frames the tiles
// of the selected rows, shows a tile's path and size as a tooltip and hands clicks to
// the list.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

namespace lurmo {

constexpr wchar_t kTreemapClass[] = L"LurmoTreemap";

// What the pane asks of the main window: it lives below the file operations and the
// navigation, so they are handed to it.
struct TreemapHost {
    void (*openRow)(int row) = nullptr;                       // as a double click on the row
    void (*openFolder)(const std::wstring& path) = nullptr;   // a folder below a row
    void (*rowMenu)(int row, POINT screen) = nullptr;         // as a right click on the row
    void (*heightChanged)() = nullptr;                        // the splitter was dragged
};

bool RegisterTreemapClass(HINSTANCE instance, const TreemapHost& host);
HWND CreateTreemapPane(HWND parent);

// Pixels at 96 DPI scaled to the window's DPI.
int ScaleForDpi(HWND window, int pixels);
// The splitter bar's thickness and the smallest map, in pixels at the window's DPI.
int TreemapSplitterHeight(HWND window);
int TreemapMinimumHeight(HWND window);

// The finished picture when it shows the rows as they are now, else null (also while a
// run measures or a drawing is under way).
const uint32_t* CurrentTreemapPicture(int& width, int& height);

// Places the map and the file types list again (the types list was shown or hidden).
void LayOutTreemapPane();
// The list of file types inside the pane (class SysListView32, id IDC_FILE_TYPES).
HWND FileTypesList();

// The selection of the list changed: the frames follow at the next paint.
void RefreshTreemapFrames();

}  // namespace lurmo
