// The result list: its columns, the rows written from the row records, the percent
// column and the status bar. Rows may be written from the worker's thread; every list
// operation is a SendMessageW and so runs on the user-interface thread in call order.
#pragma once

#include <windows.h>
#include <shlobj.h>
#include <commctrl.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "engine/entries.h"
#include "engine/size_rule.h"
#include "list/type_icons.h"

namespace lurmo {

// Columns take the stored widths, which are at 96 DPI, scaled to the window's DPI.
void CreateResultColumns();
// Every column's width kept in 96-DPI terms as the window goes from the previous DPI
// to g_app.dpi.
void RescaleColumns(UINT previousDpi);
// Inserts or removes the bar-graph column to match the value in effect, and sets the
// date column index.
void ApplyBarGraphColumn();

// Where a row's icon and share attribute come from. Shell objects belong to the thread
// that bound them: the worker binds the target on its own thread for its rows, and rows
// made on the user-interface thread use the main window's binding.
struct RowShell {
    IShellFolder* folder = nullptr;
    IShellIcon* icon = nullptr;
    std::wstring target;   // the target's path with its trailing backslash
    // The icons of file types known so far in this run, owned by the thread that makes
    // the rows; without it every file is asked by path.
    TypeIcons* types = nullptr;
};
RowShell MainThreadRowShell();
// The user-interface thread's icons by type are forgotten when a run starts, so a type
// registered meanwhile shows its new icon.
void ForgetMainThreadTypeIcons();

// Each appends a row that takes over the record; false when the list refused the row
// (or something failed before it was made), and the record is then still the caller's.
bool AppendFileRow(FileEntry* entry, const RowShell& shell = MainThreadRowShell());
bool AppendFolderRow(FolderEntry* entry, const RowShell& shell = MainThreadRowShell());
bool AppendSnapshotRow(SnapshotEntry* entry, const RowShell& shell = MainThreadRowShell());

// Runs work on the list's thread: at once when called there, else through one sent
// message. Every list message of the work is then a direct call rather than a message
// between threads, which under Wine costs a trip through the server each.
void RunOnListThread(const std::function<void()>& work);
// Before many rows change on the list's thread (cells written, states set): the list's
// redraw goes off until the thread is idle again, as for a burst of insertions, then the
// list is drawn once. With it on, Wine draws or invalidates each change at once: the
// share cells of 100,000 rows took 4.5 s, their size cells after a change of unit 5 s,
// selecting them all ten. Nothing for a short list.
void HoldRedrawForManyRows();

// Rows made on a thread other than the list's and inserted in one go: each row's icon and
// overlay are asked on the making thread (whose shell objects they are), the insertions
// happen on the list's thread. Records stay the batch's until a row holds them; the
// batch releases those that no row took.
struct RowBatch {
    struct Row {
        RowEntry* entry;
        LVITEMW look;
        bool accepted;
    };
    bool snapshot = false;   // the layout of the records
    // A run measuring the target again into the rows in place: a row already listed
    // under the name takes the new figures, and only new names are inserted.
    bool inPlace = false;
    std::vector<Row> rows;

    RowBatch() = default;
    RowBatch(const RowBatch&) = delete;
    RowBatch& operator=(const RowBatch&) = delete;
    ~RowBatch();
    void Add(RowEntry* entry, bool folder, const RowShell& shell);
    // Inserts the rows where the list's current order puts each (at the end, in the order
    // they came, when the list has none), releases the records no row took and empties
    // the batch; returns the size of the rows taken.
    uint64_t Flush();
};

// A run that measures the target again into the rows in place (the watch lost track of
// it) keeps the user's selection, scroll position and the rows' baselines, and the list
// view inserts only new names. Begin before its rows come; end when it is over: once it
// has completed, the rows it did not meet go; either way the total is summed again.
void BeginMeasuringInPlace();
void EndMeasuringInPlace(bool completed);

// The record behind a row, or null.
RowEntry* RowEntryAt(int row);
// Releases the record of a deleted row by the layout of the current listing.
void ReleaseDeletedRow(LPARAM entry);

void RewriteSizeCell(const RowEntry* entry, int row);
// Re-measures a file's row from fresh find data; params.path holds its full path.
uint64_t UpdateFileRow(RunParameters& params, const WIN32_FIND_DATAW& data, FileEntry* entry, int row);
void UpdateFolderRow(const WIN32_FIND_DATAW& data, FolderEntry* entry, int row);
void RewriteSizeColumn();
void SetSizeUnit(int unit);
void ToggleComma();
void RefreshPercentages();
void RefreshStatusBar();
// Sets the two status-bar parts of the idle look: edges 150 (at 96 DPI) and the client
// width.
void SetStatusBarParts();
// The row of a name (without regard to case) or of a record, or -1; found through the
// index the list keeps, in constant time, from any thread.
int FindRowByName(const std::wstring& name);
int FindRowOfEntry(const RowEntry* entry);

// Menu marks of the unit popup and the comma item.
void MarkUnitMenu(HMENU popup);
void MarkCommaItem(HMENU menu);

// The text of a cell of a list view (the result list unless another is named).
std::wstring CellText(HWND list, int row, int column);
std::wstring CellText(int row, int column);

}  // namespace lurmo
