// Helpers for tests that drive real windows: a stand-in main window holding a real
// result list and status bar, installed in the process-wide state record.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "engine/entries.h"
#include "tests/unix_path.h"

namespace lurmo::test {

// A top-level window with a report list view and a status bar, set as g_app's main
// window, list and status bar. Deleted rows release their records, and the list is drawn
// with its colours and bars, as in the program.
class ListWindow {
public:
    explicit ListWindow(bool snapshotMode = false, bool barGraph = false);
    ~ListWindow();
    ListWindow(const ListWindow&) = delete;
    ListWindow& operator=(const ListWindow&) = delete;
    // The commands the stand-in main window received since the last call.
    static std::vector<UINT> TakeCommands();
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

// The result list's client area as it shows on the screen: painted afresh, or with only
// the paints that are pending.
class ListPixels {
public:
    explicit ListPixels(bool repaint = true);
    // How many pixels of the area have the colour; `first` gets the left of the first.
    int Count(const RECT& area, COLORREF color, int* first = nullptr) const;

private:
    int width_ = 0, height_ = 0;
    std::vector<uint32_t> pixels_;
};
// The bounds of a cell of the result list.
RECT CellRect(int row, int column);

}  // namespace lurmo::test

namespace lurmo::test {

// Answers every message box the thread shows while it lives, recording what it said.
class MessageBoxCatcher {
public:
    explicit MessageBoxCatcher(int answer = IDOK);
    ~MessageBoxCatcher();
    MessageBoxCatcher(const MessageBoxCatcher&) = delete;
    MessageBoxCatcher& operator=(const MessageBoxCatcher&) = delete;

    struct Box {
        std::wstring text;
        std::wstring caption;
    };
    const std::vector<Box>& boxes() const;
    void SetAnswer(int answer);
};

// Creates the program's real main window in this process on an empty settings key, an
// optional initial target, and destroys it at the end (saving settings and history).
class MainWindow {
public:
    explicit MainWindow(const std::wstring& initialTarget = L"", bool keepRegistry = false);
    ~MainWindow();
    MainWindow(const MainWindow&) = delete;
    MainWindow& operator=(const MainWindow&) = delete;
    HWND handle() const { return handle_; }
    void Destroy();

private:
    HWND handle_ = nullptr;
};

// Pumps messages until the condition holds or the time is up; true when it held.
template <typename Condition>
bool PumpUntil(Condition condition, DWORD timeout = 10000) {
    const DWORD start = GetTickCount();
    while (!condition()) {
        if (GetTickCount() - start > timeout) return false;
        PumpMessages();
        // Wakes at once for a message another thread sends, so a worker adding rows
        // one message at a time is not slowed down by the waiting.
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 5, QS_ALLINPUT);
    }
    return true;
}

// Types the target into the drive box, presses the accumulate button and waits until
// the run has ended; false when it did not end in time.
bool AccumulateAndWait(const std::wstring& target);

// UTF-8 of a wide text, for failure messages.
std::string Narrow(const std::wstring& text);

// Deletes the program's settings and history from the registry of the test prefix.
void ForgetStoredSettings();

// Runs a host shell command, as another program changing the disk, and waits until it
// is done (a failure is a test failure).
void RunHostCommand(const std::string& command);

}  // namespace lurmo::test
