// The one process-wide record of the main window: handles, settings and the values in
// effect, the run's shared values. Each field that more than one thread touches says
// which thread writes it; every other field is written and read by the user-interface
// thread only.
#pragma once

#include <windows.h>
#include <commctrl.h>
#include <shlobj.h>

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

#include "state/settings.h"
#include "engine/handles.h"
#include "engine/run_counters.h"
#include "engine/size_rule.h"
#include "res/resource.h"

namespace lurmo {

// The counters are read by the user-interface thread while the worker writes them; on
// the 32-bit build a plain 64-bit value could be read half old, half new.
static_assert(std::atomic<uint64_t>::is_always_lock_free, "the grand total must be read whole");

struct AppState {
    HINSTANCE instance = nullptr;
    std::wstring caption = L"Lurmo";
    std::wstring initialTarget;

    HWND main = nullptr;
    HMENU fileMenu = nullptr, editMenu = nullptr, viewMenu = nullptr;
    COLORREF menuHighlight = 0, menuHighlightText = 0;
    // Explorer's colours for compressed and encrypted names, read once at set-up.
    COLORREF compressedColor = 0, encryptedColor = 0;
    HWND driveBox = nullptr, historyBox = nullptr;
    HWND targetListButton = nullptr, browseButton = nullptr, accumulateButton = nullptr;
    HWND list = nullptr, status = nullptr;
    HWND treemap = nullptr;
    // Counted up at every change to the rows or to their trees, so that the map throws
    // away a drawing begun before it rather than read records that may be gone.
    unsigned mapChanges = 0;
    int statusHeight = 0;
    // The DPI the window is laid out for; every pixel constant is written for 96 and
    // scaled by Scaled(). Changes when the window moves to a monitor of another DPI.
    UINT dpi = 96;
    // The dialog's font made again for a DPI the window moved to; empty until then.
    unique_hfont dialogFont;
    WNDPROC previousListProc = nullptr;
    bool columnsCreated = false;
    // While a run adds rows, the list's redraw is switched off at each inserted row and
    // back on by a timer; a list that takes no rows for a moment is live as ever.
    bool runPaintHold = false;
    bool listRedrawOff = false;
    HWND nextClipboardViewer = nullptr;
    ULONG driveNotification = 0;
    UINT dropEffectFormat = 0;
    // Set while a drag started from the result list is under way (see StartDrag).
    LONG ownDrag = 0;
    bool dropTargetRegistered = false;
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
    // The new-item submenu while the list's background menu is open; its keys are
    // answered at WM_MENUCHAR.
    HMENU newItemMenu = nullptr;

    Settings settings;
    InEffect effect;
    int dateColumn = 3;          // 4 while the bar-graph column exists
    // The change column right after the date column, -1 while it does not exist (snapshot
    // mode, or hidden). Written by the user-interface thread only.
    int changeColumn = -1;
    // 0, or the order by change: 1 largest growth first, 2 the reverse. Held beside the
    // Sort setting, which keeps the last order by name, size or time.
    int changeSort = 0;
    // Set as a run ends, when every row holds its baseline and baselineTotal the grand
    // total of that moment; cleared when a run starts. Written by the user-interface
    // thread before a worker starts and by the worker as it ends; read by both.
    std::atomic<bool> baselineTaken{false};
    std::atomic<uint64_t> baselineTotal{0};
    unique_hfont userFont;

    // The drive box's item paths, in the box's order.
    std::vector<std::wstring> drivePaths;

    // The target: the user-facing path buffer (MAX_PATH units, trailing backslash) and
    // the name slot behind it. Written only by the user-interface thread, and only while
    // no worker runs; a worker measures with its own copy.
    wchar_t pathBuffer[MAX_PATH]{};
    size_t nameSlot = 0;

    // The run. The worker thread handle and the run number belong to the user-interface
    // thread, which starts every worker and counts the runs; the worker's posted
    // messages carry its run number.
    unique_handle worker;
    unsigned runNumber = 0;
    // Set by the user-interface thread when it starts a worker; cleared by the worker
    // as its very last act, after its end steps, or by the user-interface thread after a
    // forced end. While it is set, no new run may start.
    std::atomic<LONG> busy{0};
    // Set by the user-interface thread to ask the worker to stop; cleared when a worker
    // is started.
    std::atomic<LONG> cancel{0};
    // The number of the last run whose measuring finished without a cancel; written by
    // the worker as it begins its end steps.
    std::atomic<unsigned> completedRun{0};
    // Row count and grand total: during a run written by the worker alone; between runs
    // by the user-interface thread, which applies the change notices and lists new
    // folders. Read by the user-interface thread at any time.
    std::atomic<int> rowCount{0};
    std::atomic<uint64_t> grandTotal{0};
    // What the run has measured so far: each of its threads counts in a lane of its own.
    // The user-interface thread resets them before it starts a worker and sums them for
    // the status bar; they outlive the worker, so a late read finds them still there.
    RunCounters runCounters;
    // The run's progress as the status bar shows it; user-interface thread only.
    bool runProgressShown = false;
    DWORD runStartTick = 0;
    bool runVolume = false;          // the target is a volume's root
    uint64_t runVolumeUsed = 0;      // that volume's used space when the run started
    HWND runProgressBar = nullptr;   // in the status bar's second part, for a volume
    // The taskbar button's progress, where the system offers it; asked for once.
    com_ptr<ITaskbarList3> taskbar;
    bool taskbarAsked = false;
    // Set by the user-interface thread as it starts a run and cleared by the worker as
    // its run completes: while set, the rows are what a stopped or failed run left, and
    // no total or share is shown as if the listing were whole.
    std::atomic<LONG> listingIncomplete{0};
    // Folders of the listing that could not be read (counted as far as they were read):
    // during a run written by the worker, between runs by the user-interface thread.
    std::atomic<int> unreadableFolders{0};
    // The target bound as a shell folder, for the icons of rows that the user-interface
    // thread makes (notices, new folders); the worker binds its own.
    com_ptr<IShellFolder> targetFolder;
    com_ptr<IShellIcon> targetIcon;
    // Parameters for measuring on the user-interface thread (notices, file operations).
    RunParameters scan;
    // The name of an item made from a template, opened for renaming when it is listed.
    std::wstring pendingRenameName;
};

// Defined here rather than in a source file of the main window, so that the folders
// below it (the list, the file operations) use the record without linking upward.
inline AppState g_app;

// A length given at 96 DPI, at the window's DPI.
inline int Scaled(int pixels) { return MulDiv(pixels, static_cast<int>(g_app.dpi), 96); }

// The installed target as the user sees it, with its trailing backslash ("C:\Data\");
// empty when none is installed.
inline std::wstring TargetPath() { return std::wstring(g_app.pathBuffer, g_app.nameSlot); }

// The same without the trailing backslash, except that a drive root keeps it ("C:\").
inline std::wstring TargetFolder() {
    std::wstring path = TargetPath();
    if (path.size() > 3 && path.back() == L'\\') path.pop_back();
    return path;
}

}  // namespace lurmo
