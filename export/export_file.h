// Writing the rows of the result list to a file the user chooses.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "export/export_lines.h"

namespace lurmo {

// Shows a message box; the program routes every box of the export through its one
// message-box function, so the caller names it.
using ShowMessageFunction = int (*)(HWND owner, const std::wstring& text, UINT type);

struct ExportRequest {
    HWND owner = nullptr;        // the main window: owns the dialog and the boxes
    HWND list = nullptr;         // the result list; each item's lParam is its RowEntry*
    bool selectedOnly = false;
    int dateColumn = 3;          // 4 when the bar graph column shows
    int unit = 0;
    bool comma = true;
    std::wstring targetPath;     // the measured folder: its name is the suggested file name
    DWORD osVersion = 0x601;     // major << 8 | minor: picks the save dialog
    ShowMessageFunction showMessage = nullptr;   // required
};

// Asks for the file, writes the listing and tells how it went. A cancelled dialog ends it
// silently.
void ExportListing(const ExportRequest& request);

// Writes the listing to path as kind and shows the completion message; a file that cannot
// be created or written is reported instead, naming it and the system's reason, and an
// earlier file at path is left as it was. The part of an export after the dialog.
bool WriteListing(const ExportRequest& request, const std::wstring& path, int kind);

// The rows to export in list order, read from the list: the records' names and sizes and
// the texts of the percent and date columns.
struct ListedRow {
    std::wstring name;
    uint64_t size = 0;
    std::wstring percent;
    std::wstring time;
};
std::vector<ListedRow> ReadListedRows(HWND list, bool selectedOnly, int dateColumn);

// Writes the preamble, the header and the rows to an open file; a failing WriteFile is
// reported and ends the writing.
bool WriteListingTo(const ExportRequest& request, HANDLE file, int kind);

}  // namespace lurmo
