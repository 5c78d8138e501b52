// The one process-wide record of the main window: handles, settings and the values in
// effect, the run's shared values. Each field says which thread writes it; anything not
// marked is written and read by the user-interface thread only.
#pragma once

#include <windows.h>
#include <commctrl.h>
#include <commdlg.h>
#include <shlobj.h>

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

#include "engine/handles.h"
#include "engine/size_rule.h"

namespace lurmo {

// Control and command identifiers shared with the resource script.
enum : int {
    kIdDriveBox = 1000,
    kIdHistoryBox = 1001,
    kIdTargetListButton = 1002,
    kIdBrowseButton = 1003,
    kIdAccumulateButton = 1004,
    kIdResultList = 1005,
    kIdStatusBar = 1006,
};

enum : UINT {
    kCmdExportAll = 32772,
    kCmdExportSelected = 32773,
    kCmdExit = 32774,
    kCmdCopyListing = 32775,
    kCmdCut = 32776,
    kCmdCopy = 32777,
    kCmdPaste = 32778,
    kCmdCopyToFolder = 32779,
    kCmdMoveToFolder = 32780,
    kCmdDelete = 32781,
    kCmdRename = 32782,
    kCmdSelectAll = 32783,
    kCmdInvertSelection = 32784,
    kCmdSortByName = 32785,
    kCmdSortBySize = 32786,
    kCmdSortByTime = 32787,
    kCmdUpOneLevel = 32788,
    kCmdSelectedFolder = 32789,
    kCmdOptions = 32790,
    kCmdAbout = 32791,
    kCmdProperties = 32792,
    kCmdPasteShortcut = 32793,
    kCmdNewFolder = 32794,
    kCmdNewShortcut = 32795,
    kCmdUnitByte = 32796,
    kCmdUnitKB = 32797,
    kCmdUnitMB = 32798,
    kCmdUnitGB = 32799,
    kCmdComma = 32800,
    kCmdFirstTemplate = 32801,
};

// Private messages of the main window.
constexpr UINT kMsgRunFinishedTree = WM_APP + 1;   // start the change watcher
constexpr UINT kMsgDriveChange = WM_APP + 2;       // shell drive arrival or removal
constexpr UINT kMsgRunFinished = WM_APP + 3;       // restore the arrow cursors
// Sent by the change watcher with a completed buffer (wParam kApplyNotices, lParam the
// batch), or posted when its watch ended in a way the window must act on.
constexpr UINT kMsgWatcher = WM_APP + 4;
enum : WPARAM { kApplyNotices = 0, kRemeasureTarget = 1, kRequestRefused = 2 };

// The main window's timer that paints the list while a run adds rows.
constexpr UINT_PTR kTimerRunPaint = 1;

// Resource identifiers.
constexpr int kStringCaption = 101;
constexpr int kDialogMain = 102;
constexpr int kDialogAbout = 106;
constexpr int kIconMain = 107;
constexpr int kMenuMain = 108;
constexpr int kAcceleratorsMain = 110;
constexpr int kMenuListBackground = 111;

// The stored settings, as loaded and as saved.
struct Settings {
    int left = 0, top = 0, width = 0, height = 0;
    int columnWidthName = 180;
    int columnWidthSize = 100;
    int columnWidthPercent = 40;
    int columnWidthBarGraph = 100;
    int columnWidthDateTime = 115;
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
};

// The copies that an accumulation takes from the settings when it starts.
struct InEffect {
    DWORD snapShot = 0;
    DWORD usedSize = 1;
    DWORD displayGraph = 0;
    COLORREF graphColor = 0;
};

struct AppState {
    HINSTANCE instance = nullptr;
    std::wstring caption = L"Lurmo";
    std::wstring initialTarget;

    HWND main = nullptr;
    HMENU fileMenu = nullptr, editMenu = nullptr, viewMenu = nullptr;
    COLORREF menuHighlight = 0, menuHighlightText = 0;
    HWND driveBox = nullptr, historyBox = nullptr;
    HWND targetListButton = nullptr, browseButton = nullptr, accumulateButton = nullptr;
    HWND list = nullptr, status = nullptr;
    int statusHeight = 0;
    WNDPROC previousListProc = nullptr;
    // While a run adds rows, the list's redraw is switched off at each inserted row and
    // back on by a timer; a list that takes no rows for a moment is live as ever.
    bool runPaintHold = false;
    bool listRedrawOff = false;
    HWND nextClipboardViewer = nullptr;
    ULONG driveNotification = 0;
    UINT dropEffectFormat = 0;
    HCURSOR arrowCursor = nullptr, appStartingCursor = nullptr;
    DWORD osVersion = 0;
    com_ptr<IShellFolder> desktop;
    HIMAGELIST smallImages = nullptr;
    int shortcutOverlay = 0, shareOverlay = 0;
    int folderIconIndex = 8;
    int headerHeight = 0;
    COLORREF customColors[16]{};
    HWND labelEdit = nullptr;
    // A shell context menu while it is tracked; it sees owner-draw messages first.
    IContextMenu2* trackedShellMenu = nullptr;

    Settings settings;
    InEffect effect;
    int dateColumn = 3;          // 4 while the bar-graph column exists
    unique_hfont userFont;

    // The drive box's item paths, in the box's order.
    std::vector<std::wstring> drivePaths;

    // The target: the user-facing path buffer (MAX_PATH units, trailing backslash) and
    // the name slot behind it. Written by the user-interface thread before a run starts.
    wchar_t pathBuffer[MAX_PATH]{};
    size_t nameSlot = 0;

    // The run. The worker measures with its own copy of the parameters, so the
    // user-interface thread may use scan for a notice or a file operation meanwhile.
    unique_handle worker;
    std::atomic<LONG> busy{0};      // set by the worker at its start, cleared at its end
    std::atomic<LONG> cancel{0};    // set by the user-interface thread
    // Row count and grand total: written by the worker during a run, by whoever applies
    // change notices between runs (always the user-interface thread).
    int rowCount = 0;
    uint64_t grandTotal = 0;
    // The target bound as a shell folder for the rows' icons; replaced by each run.
    com_ptr<IShellFolder> targetFolder;
    com_ptr<IShellIcon> targetIcon;
    // Parameters for measuring on the user-interface thread (notices, file operations).
    RunParameters scan;
    // The name of an item made from a template, opened for renaming when it is listed.
    std::wstring pendingRenameName;
};

extern AppState g_app;

// The one place that shows a message box: owned by the main window, titled with the
// program caption.
int ShowMessage(const std::wstring& text, UINT type);

}  // namespace lurmo
