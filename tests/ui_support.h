// Helpers for tests that drive real windows: a stand-in main window holding a real
// result list and status bar, installed in the process-wide state record.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

#include "engine/entries.h"

namespace lurmo::test {

// A top-level window with a report list view and a status bar, set as g_app's main
// window, list and status bar. Deleted rows release their records as in the program.
class ListWindow {
public:
    explicit ListWindow(bool snapshotMode = false, bool barGraph = false);
    ~ListWindow();
    ListWindow(const ListWindow&) = delete;
    ListWindow& operator=(const ListWindow&) = delete;
};

// Row records made in memory; the list releases them.
FileEntry* NewFileEntry(const std::wstring& name, uint64_t size, const FILETIME& time = {});
FolderEntry* NewFolderEntry(const std::wstring& name, uint64_t size, const FILETIME& time = {});
SnapshotEntry* NewSnapshotEntry(const std::wstring& name, uint32_t kind, uint64_t size,
                                const FILETIME& time = {});
FILETIME LocalTime(int year, int month, int day, int hour, int minute, int second);

std::wstring StatusText(int part);
std::wstring ColumnCaption(int column);
// The sort arrow bits (HDF_SORTUP / HDF_SORTDOWN) of a header item.
int ArrowOf(int column);
// The names of the rows in list order.
std::wstring RowNames();
// Processes the thread's pending messages.
void PumpMessages();

}  // namespace lurmo::test
