// How far a run has come, in the real main window: the counts behind the waiting text
// while a run is held inside a file, the list's status bar again once it ends; for a
// volume's root a progress bar in the status bar that goes when the run is cancelled.
#include <windows.h>
#include <commctrl.h>
#include <gtest/gtest.h>

#include <atomic>
#include <string>

#include "state/app_state.h"
#include "app/target_boxes.h"
#include "engine/file_system.h"
#include "tests/test_support.h"
#include "tests/ui_support.h"

using namespace lurmo;
using namespace lurmo::test;

namespace {

HANDLE g_release = nullptr;
std::atomic<bool> g_held{false};

// Holds the measuring thread inside slow.bin until released or asked to stop; the
// file is not counted until it is measured.
DWORD HoldInSlowFile(const WIN32_FIND_DATAW& data) {
    if (wcscmp(data.cFileName, L"slow.bin") == 0) {
        g_held = true;
        for (int i = 0; i < 1000 && !g_app.cancel.load(); ++i) {
            if (WaitForSingleObject(g_release, 10) == WAIT_OBJECT_0) break;
        }
    }
    return data.dwFileAttributes;
}

CompressionProbe g_probe{HoldInSlowFile, nullptr};

// Starts a run of the target that is held in slow.bin until g_release is set.
void AccumulateHeld(const std::wstring& target) {
    g_held = false;
    ResetEvent(g_release);
    SendMessageW(g_app.driveBox, CB_SETCURSEL, static_cast<WPARAM>(-1), 0);
    SetBoxEditText(g_app.driveBox, target);
    SendMessageW(g_app.main, WM_COMMAND, IDC_ACCUMULATE_BUTTON, 0);
    ASSERT_TRUE(PumpUntil([] { return g_held.load(); }));
}

bool RunEnded() { return g_app.worker && WaitForSingleObject(g_app.worker.get(), 0) == WAIT_OBJECT_0; }

int StatusParts() { return static_cast<int>(SendMessageW(g_app.status, SB_GETPARTS, 0, 0)); }

HWND ProgressBar() { return FindWindowExW(g_app.status, nullptr, PROGRESS_CLASSW, nullptr); }

// a and a\sub hold 300 bytes in two files, b.txt 10 bytes, zzz the held slow.bin: while
// held, 3 files, 3 folders and 310 bytes are measured.
void MakeHeldTree(const TempFolder& root) {
    root.File(L"a\\x.bin", 100);
    root.File(L"a\\sub\\y.bin", 200);
    root.File(L"b.txt", 10);
    root.File(L"zzz\\slow.bin", 1);
}

const std::wstring kHeldCounts = L"しばらくお待ちください...  ファイル 3 個  フォルダ 3 個  310 Bytes  0:";

}  // namespace

TEST(RunProgress, TheStatusBarCountsWhileARunGoesOnAndIsTheListsAgainAtItsEnd) {
    TempFolder root;
    MakeHeldTree(root);
    g_release = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    const CompressionProbe* previous = InstallCompressionProbe(&g_probe);
    MainWindow window;
    g_app.settings.snapShot = 0;
    g_app.settings.usedSize = 0;
    // Twice: the second run counts from nothing again.
    for (int run = 0; run < 2; ++run) {
        AccumulateHeld(root.path());
        EXPECT_TRUE(PumpUntil([] { return StatusText(0).rfind(kHeldCounts, 0) == 0; }, 3000))
            << Narrow(StatusText(0));
        EXPECT_EQ(StatusParts(), 1);
        EXPECT_FALSE(ProgressBar()) << "no volume's root";
        SetEvent(g_release);
        ASSERT_TRUE(PumpUntil(RunEnded));
        PumpMessages();
        EXPECT_EQ(StatusParts(), 2);
        EXPECT_EQ(StatusText(0), L" 3 個");
        EXPECT_EQ(StatusText(1), L"合計：311 Bytes");
        // The timer is gone with the run: nothing writes over the totals afterwards.
        const DWORD start = GetTickCount();
        PumpUntil([start] { return GetTickCount() - start > 700; }, 1000);
        EXPECT_EQ(StatusText(0), L" 3 個");
    }
    InstallCompressionProbe(previous);
    CloseHandle(g_release);
}

TEST(RunProgress, AVolumesRootShowsItsShareAsABarThatACancelTakesAway) {
    TempFolder root;
    MakeHeldTree(root);
    MappedDrive drive(root.path());
    ASSERT_FALSE(drive.root().empty()) << "no drive letter could be mapped in the Wine prefix";
    g_release = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    const CompressionProbe* previous = InstallCompressionProbe(&g_probe);
    MainWindow window;
    g_app.settings.snapShot = 1;
    g_app.settings.usedSize = 0;
    AccumulateHeld(drive.root());
    // The share follows the counts; 310 bytes are far below any volume's used space.
    EXPECT_TRUE(PumpUntil([] { return StatusText(0).find(L"310 Bytes (0.0 %)  0:") != std::wstring::npos; }, 3000))
        << Narrow(StatusText(0));
    EXPECT_EQ(StatusParts(), 2);
    HWND bar = ProgressBar();
    ASSERT_TRUE(bar);
    EXPECT_TRUE(IsWindowVisible(bar));
    EXPECT_EQ(SendMessageW(bar, PBM_GETRANGE, FALSE, 0), 1000);
    EXPECT_EQ(SendMessageW(bar, PBM_GETPOS, 0, 0), 0);
    RECT part{}, placed{};
    SendMessageW(g_app.status, SB_GETRECT, 1, reinterpret_cast<LPARAM>(&part));
    GetWindowRect(bar, &placed);
    MapWindowPoints(nullptr, g_app.status, reinterpret_cast<POINT*>(&placed), 2);
    EXPECT_GE(placed.left, part.left);
    EXPECT_LE(placed.right, part.right);
    EXPECT_GT(placed.right - placed.left, 0);

    MessageBoxCatcher catcher(IDYES);
    SendMessageW(g_app.main, WM_COMMAND, IDC_ACCUMULATE_BUTTON, 0);
    ASSERT_EQ(catcher.boxes().size(), 1u);
    EXPECT_FALSE(g_app.busy.load());
    EXPECT_FALSE(ProgressBar());
    // The counts give way to what a cancelled listing shows: its rows and its total,
    // marked as cut short.
    EXPECT_EQ(StatusParts(), 2);
    EXPECT_EQ(StatusText(0).find(L"ファイル"), std::wstring::npos) << Narrow(StatusText(0));
    EXPECT_NE(StatusText(1).find(L"(中止)"), std::wstring::npos) << Narrow(StatusText(1));
    InstallCompressionProbe(previous);
    CloseHandle(g_release);
}
