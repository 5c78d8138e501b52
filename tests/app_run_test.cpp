// Accumulations end to end in the real main window: typing a target, measuring it in
// both modes, cancelling, navigating and closing during a run.
#include <windows.h>
#include <commctrl.h>
#include <gtest/gtest.h>
#include <objbase.h>

#include <atomic>
#include <cstdlib>
#include <map>
#include <new>
#include <string>

#include "state/app_state.h"
#include "app/run_control.h"
#include "app/target_boxes.h"
#include "state/window_messages.h"
#include "engine/file_system.h"
#include "list/number_format.h"
#include "list/result_rows.h"
#include "list/watcher.h"
#include "tests/test_support.h"
#include "tests/ui_support.h"

using namespace lurmo;
using namespace lurmo::test;
using lurmo::test::MappedDrive;

namespace {

std::wstring WindowText(HWND window) {
    wchar_t text[512]{};
    GetWindowTextW(window, text, 512);
    return text;
}

// The worker has ended: its last rows, totals and history are written.
bool RunEnded() { return g_app.worker && WaitForSingleObject(g_app.worker.get(), 0) == WAIT_OBJECT_0; }

// Types the target into the drive box and presses the accumulate button.
void Accumulate(const std::wstring& target) {
    SendMessageW(g_app.driveBox, CB_SETCURSEL, static_cast<WPARAM>(-1), 0);
    SetBoxEditText(g_app.driveBox, target);
    SendMessageW(g_app.main, WM_COMMAND, IDC_ACCUMULATE_BUTTON, 0);
}

void WaitForRun() {
    ASSERT_TRUE(PumpUntil(RunEnded)) << "the run did not end";
    PumpMessages();
}

std::map<std::wstring, uint64_t> RowSizes() {
    std::map<std::wstring, uint64_t> sizes;
    for (int row = 0; row < g_app.rowCount; ++row) {
        const RowEntry* entry = RowEntryAt(row);
        sizes[entry->name] = entry->size;
    }
    return sizes;
}

// The settings as the options would leave them for the next run.
void ChooseMode(bool snapshot, bool used) {
    g_app.settings.snapShot = snapshot;
    g_app.settings.usedSize = used;
}

// A small tree: Big (8192 + 1 bytes), Small (one 100-byte file), note.txt (10 bytes).
void MakeTree(const TempFolder& root) {
    root.File(L"Big\\a.bin", 8192);
    root.File(L"Big\\deep\\b.bin", 1);
    root.File(L"Small\\c.bin", 100);
    root.File(L"note.txt", 10);
}

int g_listPaints = 0;

// Counts the list's paints by the custom-draw notices it sends its parent as it paints.
LRESULT CALLBACK CountListPaints(int code, WPARAM wParam, LPARAM lParam) {
    const auto* sent = reinterpret_cast<const CWPSTRUCT*>(lParam);
    if (code == HC_ACTION && sent->message == WM_NOTIFY) {
        const auto* header = reinterpret_cast<const NMHDR*>(sent->lParam);
        if (header->hwndFrom == g_app.list && header->code == NM_CUSTOMDRAW) ++g_listPaints;
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

// The list paints a change to its first row at once: false while its paints are still
// held back for a run.
bool ListPaintsChanges() {
    if (g_app.rowCount == 0) return false;
    HHOOK hook = SetWindowsHookExW(WH_CALLWNDPROC, CountListPaints, nullptr, GetCurrentThreadId());
    g_listPaints = 0;
    SendMessageW(g_app.list, LVM_REDRAWITEMS, 0, 0);
    UpdateWindow(g_app.list);
    UnhookWindowsHookEx(hook);
    return g_listPaints > 0;
}

bool PostedMessageWaiting(UINT message) {
    MSG queued;
    return PeekMessageW(&queued, g_app.main, message, message, PM_NOREMOVE) != FALSE;
}

}  // namespace

TEST(Run, MeasuresEveryChildInBothModes) {
    TempFolder root;
    MakeTree(root);
    MainWindow window;
    for (bool snapshot : {false, true}) {
        for (bool used : {false, true}) {
            ChooseMode(snapshot, used);
            Accumulate(root.path());
            WaitForRun();
            EXPECT_EQ(g_app.effect.snapShot, static_cast<DWORD>(snapshot));
            const std::map<std::wstring, uint64_t> expected = used
                ? std::map<std::wstring, uint64_t>{{L"Big", 12288}, {L"Small", 4096}, {L"note.txt", 4096}}
                : std::map<std::wstring, uint64_t>{{L"Big", 8193}, {L"Small", 100}, {L"note.txt", 10}};
            EXPECT_EQ(RowSizes(), expected);
            const uint64_t total = used ? 20480 : 8303;
            EXPECT_EQ(g_app.grandTotal, total);
            // Stored sort 3: by size, descending, with the arrow on the size column (used
            // sizes make Small and note.txt equal, and equal keys keep no order).
            if (used) EXPECT_EQ(CellText(0, 0), L"Big");
            else EXPECT_EQ(RowNames(), L"Big,Small,note.txt");
            EXPECT_EQ(ArrowOf(1), HDF_SORTDOWN);
            EXPECT_EQ(CellText(0, 2), FormatPercent(expected.at(L"Big"), total));
            EXPECT_EQ(StatusText(0), L" 3 個");
            EXPECT_EQ(StatusText(1), used ? L"合計：20,480 Bytes" : L"合計：8,303 Bytes");
            EXPECT_EQ(WindowText(g_app.main), root.path() + L" - Lurmo");
            EXPECT_EQ(BoxItemText(g_app.historyBox, 0), root.path());
            EXPECT_TRUE(PumpUntil(ListPaintsChanges, 1000));
        }
    }
}

TEST(Run, EmptyTargetAndASingleEmptyFile) {
    TempFolder empty, single;
    single.File(L"zero.bin", 0);
    MainWindow window;
    Accumulate(empty.path());
    WaitForRun();
    EXPECT_EQ(g_app.rowCount, 0);
    EXPECT_EQ(StatusText(0), L" 0 個");
    EXPECT_EQ(StatusText(1), L"合計：0 Bytes");

    Accumulate(single.path());
    WaitForRun();
    ASSERT_EQ(g_app.rowCount, 1);
    EXPECT_EQ(CellText(0, 1), L"0");
    EXPECT_EQ(CellText(0, 2), L"");   // nothing to share out
    EXPECT_EQ(g_app.grandTotal, 0u);
}

TEST(Run, RefusesTargetsItCannotMeasure) {
    MainWindow window;
    MessageBoxCatcher catcher;
    Accumulate(L"Q:\\no drive here");
    ASSERT_EQ(catcher.boxes().size(), 1u);
    EXPECT_EQ(catcher.boxes()[0].text, L"読み取りできませんでした. : Q:\\no drive here");
    EXPECT_FALSE(g_app.busy.load());

    // A folder whose path leaves no room for a row name behind its backslash: it is
    // refused as too long, by its whole name.
    TempFolder root;
    std::wstring tooLong = root.path();
    while (tooLong.size() + 31 < 258) tooLong += L"\\" + std::wstring(30, L'x');
    tooLong += L"\\" + std::wstring(258 - tooLong.size() - 1, L'y');
    ASSERT_EQ(tooLong.size(), 258u);
    lurmo::test::MakeFolders(L"\\\\?\\" + tooLong);
    Accumulate(tooLong);
    ASSERT_EQ(catcher.boxes().size(), 2u);
    EXPECT_EQ(catcher.boxes()[1].text, L"パスが長すぎます. : " + tooLong);
    EXPECT_EQ(g_app.nameSlot, 0u);   // nothing was installed
}

TEST(Run, SettingsTakeEffectOnlyAtTheNextRun) {
    TempFolder root;
    MakeTree(root);
    MainWindow window;
    ChooseMode(false, false);
    g_app.settings.displayGraph = 0;
    Accumulate(root.path());
    WaitForRun();
    // The options change, the listing stays as measured.
    g_app.settings.usedSize = 1;
    g_app.settings.displayGraph = 1;
    EXPECT_EQ(g_app.effect.usedSize, 0u);
    EXPECT_EQ(g_app.dateColumn, 3);
    EXPECT_EQ(g_app.grandTotal, 8303u);
    Accumulate(root.path());
    WaitForRun();
    EXPECT_EQ(g_app.effect.usedSize, 1u);
    EXPECT_EQ(g_app.effect.displayGraph, 1u);
    EXPECT_EQ(g_app.dateColumn, 4);
    EXPECT_EQ(g_app.grandTotal, 20480u);
    EXPECT_FALSE(CellText(0, 4).empty());
}

TEST(Run, LinksAmongTheChildrenAreEnteredAndLoopsEnd) {
    const char* tree = std::getenv("LURMO_LINK_TREE");
    ASSERT_NE(tree, nullptr);
    std::wstring root(tree, tree + strlen(tree));
    for (wchar_t& c : root) if (c == L'/') c = L'\\';
    MainWindow window;
    ChooseMode(false, false);
    Accumulate(root);
    WaitForRun();
    // a holds ten.bin, a loop back to the root (not entered) and a link to b, whose bytes
    // count at b.
    EXPECT_EQ(RowSizes(), (std::map<std::wstring, uint64_t>{{L"a", 10}, {L"b", 100}}));
}

namespace {

std::atomic<bool> g_cancelInTrigger{false};

// Sets the cancel request when a measuring thread meets the trigger file, as a user would
// in the middle of that folder once the rows before it are shown (folders are measured
// side by side, so the trigger's walk waits for them).
DWORD CancelAtTrigger(const WIN32_FIND_DATAW& data) {
    if (g_cancelInTrigger && wcscmp(data.cFileName, L"trigger.bin") == 0) {
        const DWORD start = GetTickCount();
        while (g_app.rowCount < 2 && GetTickCount() - start < 10000) Sleep(1);
        g_app.cancel.store(1);
    }
    return data.dwFileAttributes;
}

std::vector<std::wstring> EnumerationOrder(const std::wstring& folder) {
    std::vector<std::wstring> names;
    WIN32_FIND_DATAW data;
    HANDLE find = FindFirstFileW((folder + L"\\*").c_str(), &data);
    if (find == INVALID_HANDLE_VALUE) return names;
    do {
        if (!IsDotEntry(data)) names.push_back(data.cFileName);
    } while (FindNextFileW(find, &data));
    FindClose(find);
    return names;
}

}  // namespace

TEST(Run, CancellingKeepsTheFinishedRowsAndPostsNothing) {
    TempFolder root;
    for (const wchar_t* name : {L"one", L"two", L"three", L"four"}) root.File(std::wstring(name) + L"\\x.bin", 10);
    // The third folder the file system returns holds the trigger.
    const std::vector<std::wstring> order = EnumerationOrder(root.path());
    ASSERT_EQ(order.size(), 4u);
    root.File(order[2] + L"\\trigger.bin", 5);

    static CompressionProbe probe{CancelAtTrigger, nullptr};
    const CompressionProbe* previous = InstallCompressionProbe(&probe);
    MainWindow window;
    ChooseMode(false, false);
    g_cancelInTrigger = true;
    Accumulate(root.path());
    ASSERT_TRUE(PumpUntil(RunEnded));
    g_cancelInTrigger = false;
    InstallCompressionProbe(previous);

    EXPECT_FALSE(PostedMessageWaiting(kMsgRunFinishedTree));
    EXPECT_FALSE(PostedMessageWaiting(kMsgRunFinished));
    EXPECT_EQ(g_app.rowCount, 2);
    EXPECT_EQ(RowNames(), order[0] + L"," + order[1]);
    EXPECT_EQ(g_app.grandTotal, 20u);
    EXPECT_EQ(WindowText(g_app.accumulateButton), L"中止(&S)");   // the canceller restores the look
    EXPECT_TRUE(PumpUntil(ListPaintsChanges, 1000));
    ShowIdleLook();
    EXPECT_EQ(WindowText(g_app.accumulateButton), L"集計(&A)");
}

namespace {

HANDLE g_releaseSlowFile = nullptr;
std::atomic<bool> g_inSlowFile{false};

// Holds the worker inside slow.bin until released or asked to stop, as a child that
// takes long to measure.
DWORD WaitInSlowFile(const WIN32_FIND_DATAW& data) {
    if (wcscmp(data.cFileName, L"slow.bin") == 0) {
        g_inSlowFile = true;
        for (int i = 0; i < 1000 && !g_app.cancel.load(); ++i) {
            if (WaitForSingleObject(g_releaseSlowFile, 10) == WAIT_OBJECT_0) break;
        }
    }
    return data.dwFileAttributes;
}

}  // namespace

TEST(Run, TheListPaintsWhileALongChildIsMeasured) {
    TempFolder root;
    for (int i = 0; i < 40; ++i) root.File(L"f" + std::to_wstring(i), 1);
    root.File(L"zzz\\slow.bin", 1);
    ASSERT_EQ(EnumerationOrder(root.path()).back(), L"zzz");
    g_releaseSlowFile = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    static CompressionProbe probe{WaitInSlowFile, nullptr};
    const CompressionProbe* previous = InstallCompressionProbe(&probe);
    MainWindow window;
    ChooseMode(false, false);
    Accumulate(root.path());
    EXPECT_TRUE(PumpUntil([] { return g_inSlowFile.load(); }));
    // The rows so far are painted, and so is any later change, while the run goes on.
    EXPECT_TRUE(PumpUntil(ListPaintsChanges, 2000));
    EXPECT_TRUE(g_app.busy.load());
    EXPECT_EQ(g_app.rowCount, 40);
    SetEvent(g_releaseSlowFile);
    WaitForRun();
    InstallCompressionProbe(previous);
    CloseHandle(g_releaseSlowFile);
    EXPECT_EQ(g_app.rowCount, 41);
    EXPECT_TRUE(ListPaintsChanges());
}

TEST(Run, TheCancelQuestionCanBeAnsweredEitherWay) {
    TempFolder root;
    for (int i = 0; i < 5; ++i) root.File(L"f" + std::to_wstring(i), 1);
    root.File(L"zzz\\slow.bin", 1);
    g_releaseSlowFile = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    static CompressionProbe probe{WaitInSlowFile, nullptr};
    const CompressionProbe* previous = InstallCompressionProbe(&probe);
    MainWindow window;
    ChooseMode(false, false);
    for (int answer : {IDNO, IDYES}) {
        g_inSlowFile = false;
        ResetEvent(g_releaseSlowFile);
        Accumulate(root.path());
        ASSERT_TRUE(PumpUntil([] { return g_inSlowFile.load(); }));
        MessageBoxCatcher catcher(answer);
        // The worker is still held when the question is answered: "no" lets it run on,
        // "yes" stops it, and the folder it was in is not listed.
        SendMessageW(g_app.main, WM_COMMAND, IDC_ACCUMULATE_BUTTON, 0);
        ASSERT_EQ(catcher.boxes().size(), 1u);
        EXPECT_EQ(catcher.boxes()[0].text, L"中止しますか？");
        if (answer == IDNO) {
            EXPECT_FALSE(RunEnded());
            EXPECT_EQ(WindowText(g_app.accumulateButton), L"中止(&S)");
            SetEvent(g_releaseSlowFile);
            WaitForRun();
            EXPECT_EQ(g_app.rowCount, 6);   // the run went on to its end
            EXPECT_EQ(BoxItemText(g_app.historyBox, 0), root.path());
        } else {
            EXPECT_FALSE(g_app.worker);   // stopped and waited for
            EXPECT_FALSE(g_app.busy.load());
            EXPECT_EQ(WindowText(g_app.accumulateButton), L"集計(&A)");
            EXPECT_EQ(g_app.rowCount, 5);
        }
    }
    InstallCompressionProbe(previous);
    CloseHandle(g_releaseSlowFile);
}

TEST(Run, ACancelledListingNeverLooksComplete) {
    TempFolder root;
    for (int i = 0; i < 3; ++i) root.File(L"f" + std::to_wstring(i), 1000);
    root.File(L"zzz\\slow.bin", 1);
    g_releaseSlowFile = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    static CompressionProbe probe{WaitInSlowFile, nullptr};
    const CompressionProbe* previous = InstallCompressionProbe(&probe);
    MainWindow window;
    ChooseMode(false, false);
    g_inSlowFile = false;
    Accumulate(root.path());
    ASSERT_TRUE(PumpUntil([] { return g_inSlowFile.load(); }));
    {
        MessageBoxCatcher catcher(IDYES);
        SendMessageW(g_app.main, WM_COMMAND, IDC_ACCUMULATE_BUTTON, 0);
    }
    InstallCompressionProbe(previous);
    ASSERT_EQ(g_app.rowCount, 3);
    EXPECT_EQ(StatusText(1), L"合計：3,000 Bytes (中止)");
    // The program's own operation lists its folder, but the shares of a part stay unsaid.
    SendMessageW(g_app.main, WM_COMMAND, IDM_NEW_FOLDER, 0);
    PumpMessages();
    SendMessageW(g_app.list, LVM_CANCELEDITLABEL, 0, 0);
    ASSERT_EQ(g_app.rowCount, 4);
    EXPECT_EQ(StatusText(0), L" 4 個");
    EXPECT_EQ(StatusText(1), L"合計：3,000 Bytes (中止)");
    for (int row = 0; row < g_app.rowCount; ++row) EXPECT_EQ(CellText(row, 2), L"") << row;
    // The next complete run clears the mark.
    SetEvent(g_releaseSlowFile);
    Accumulate(root.path());
    WaitForRun();
    CloseHandle(g_releaseSlowFile);
    EXPECT_EQ(StatusText(1), L"合計：3,001 Bytes");
}

TEST(Run, TheStatusBarCountsTheFoldersThatCouldNotBeRead) {
    TempFolder root;
    root.File(L"a\\locked\\x.bin", 4000);
    root.File(L"b\\y.bin", 10);
    root.File(L"locked\\z.bin", 10);
    static const EnumerationProbe refuse{[](const std::wstring& folder) {
        return folder.size() >= 6 && folder.compare(folder.size() - 6, 6, L"locked") == 0;
    }};
    const EnumerationProbe* previous = InstallEnumerationProbe(&refuse);
    MainWindow window;
    for (bool snapshot : {false, true}) {
        ChooseMode(snapshot, false);
        Accumulate(root.path());
        WaitForRun();
        EXPECT_EQ(StatusText(1), L"合計：10 Bytes (読み取りできないフォルダ 2 個)") << snapshot;
    }
    InstallEnumerationProbe(previous);
    Accumulate(root.path());
    WaitForRun();
    EXPECT_EQ(StatusText(1), L"合計：4,020 Bytes");
}

TEST(Run, RunsStartedAsEarlierOnesEndKeepToThemselves) {
    TempFolder first, second;
    for (int i = 0; i < 30; ++i) first.File(L"a" + std::to_wstring(i), 10);
    second.File(L"only.bin", 7);
    MainWindow window;
    for (bool snapshot : {false, true}) {
        SCOPED_TRACE(snapshot ? "snapshot" : "file operations");
        ChooseMode(snapshot, false);
        for (int round = 0; round < 10; ++round) {
            // The second run is asked for the moment the first no longer counts as
            // busy, while its last steps may still be under way.
            Accumulate(first.path());
            ASSERT_TRUE(PumpUntil([] { return !g_app.busy.load(); }));
            Accumulate(second.path());
            WaitForRun();
            ASSERT_EQ(RowNames(), L"only.bin");
            EXPECT_EQ(StatusText(1), L"合計：7 Bytes");
            EXPECT_EQ(WindowText(g_app.accumulateButton), L"集計(&A)");
            EXPECT_EQ(WindowText(g_app.main), second.path() + L" - Lurmo");
            ASSERT_GE(BoxCount(g_app.historyBox), 2);
            EXPECT_EQ(BoxItemText(g_app.historyBox, 0), second.path());
            EXPECT_EQ(BoxItemText(g_app.historyBox, 1), first.path());
        }
        // The watch, when there is one, follows the second target.
        if (!snapshot) {
            ASSERT_TRUE(PumpUntil([] { return IsWatching(); }));
            second.File(L"late.bin", 3);
            EXPECT_TRUE(PumpUntil([] { return FindRowByName(L"late.bin") >= 0; }));
            DeleteFileW((second / L"late.bin").c_str());
        } else {
            EXPECT_FALSE(IsWatching());
        }
    }
}

namespace {

std::atomic<HRESULT> g_workerApartment{E_FAIL};

// Asks, on the worker's own thread, whether COM is already set up there.
DWORD RecordApartment(const WIN32_FIND_DATAW& data) {
    const HRESULT result = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    if (SUCCEEDED(result)) CoUninitialize();
    g_workerApartment = result;
    return data.dwFileAttributes;
}

// Runs out of memory when the worker meets this name.
DWORD ThrowAtNoMemory(const WIN32_FIND_DATAW& data) {
    if (wcscmp(data.cFileName, L"no-memory.bin") == 0) throw std::bad_alloc();
    return data.dwFileAttributes;
}

}  // namespace

TEST(Run, TheWorkerSetsUpComForItself) {
    TempFolder root;
    root.File(L"a.bin", 1);
    static CompressionProbe probe{RecordApartment, nullptr};
    const CompressionProbe* previous = InstallCompressionProbe(&probe);
    MainWindow window;
    Accumulate(root.path());
    WaitForRun();
    InstallCompressionProbe(previous);
    // S_FALSE: the thread's apartment was there before the worker looked at its children.
    EXPECT_EQ(g_workerApartment.load(), S_FALSE);
}

TEST(Run, RunningOutOfMemoryEndsTheRunWithAMessage) {
    TempFolder root;
    root.File(L"Folder\\no-memory.bin", 1);
    root.File(L"Folder\\other.bin", 1);
    static CompressionProbe probe{ThrowAtNoMemory, nullptr};
    const CompressionProbe* previous = InstallCompressionProbe(&probe);
    MainWindow window;
    for (bool snapshot : {false, true}) {
        ChooseMode(snapshot, false);
        MessageBoxCatcher catcher;
        Accumulate(root.path());
        ASSERT_TRUE(PumpUntil([&] { return !catcher.boxes().empty(); }));
        EXPECT_EQ(catcher.boxes()[0].text, L"メモリ不足です.");
        EXPECT_TRUE(PumpUntil(RunEnded));
        EXPECT_FALSE(g_app.busy.load());
        EXPECT_EQ(WindowText(g_app.accumulateButton), L"集計(&A)");
        EXPECT_EQ(g_app.rowCount, 0);
        EXPECT_FALSE(IsWatching());
    }
    InstallCompressionProbe(previous);
    // The process goes on: the next run measures as ever.
    Accumulate(root.path());
    WaitForRun();
    EXPECT_EQ(RowNames(), L"Folder");
}

TEST(Run, NavigationGoesUpAndIntoFolders) {
    TempFolder root;
    MakeTree(root);
    MainWindow window;
    ChooseMode(false, false);
    Accumulate(root / L"Big");
    WaitForRun();
    EXPECT_EQ(RowSizes(), (std::map<std::wstring, uint64_t>{{L"a.bin", 8192}, {L"deep", 1}}));

    SendMessageW(g_app.main, WM_COMMAND, IDM_UP_ONE_LEVEL, 0);
    WaitForRun();
    EXPECT_EQ(BoxEditText(g_app.driveBox), root.path());
    EXPECT_EQ(BoxEditText(g_app.historyBox), root.path());
    EXPECT_EQ(g_app.rowCount, 3);

    const int row = FindRowByName(L"Small");
    ASSERT_GE(row, 0);
    LVITEMW item{};
    item.stateMask = LVIS_SELECTED;
    item.state = LVIS_SELECTED;
    SendMessageW(g_app.list, LVM_SETITEMSTATE, row, reinterpret_cast<LPARAM>(&item));
    SendMessageW(g_app.main, WM_COMMAND, IDM_SELECTED_FOLDER, 0);
    WaitForRun();
    EXPECT_EQ(std::wstring(g_app.pathBuffer), root.path() + L"\\Small\\");
    EXPECT_EQ(RowSizes(), (std::map<std::wstring, uint64_t>{{L"c.bin", 100}}));
}

TEST(Run, ClosingDuringARunEndsWithinTheBound) {
    TempFolder root;
    for (int folder = 0; folder < 20; ++folder)
        for (int i = 0; i < 50; ++i) root.File(L"d" + std::to_wstring(folder) + L"\\f" + std::to_wstring(i), 1);
    MainWindow window;
    ChooseMode(false, false);
    Accumulate(root.path());
    const DWORD start = GetTickCount();
    window.Destroy();
    EXPECT_LT(GetTickCount() - start, 6000u);
    EXPECT_FALSE(g_app.busy.load());
    EXPECT_FALSE(g_app.worker);
}

TEST(Run, ADriveRootAndGoingUpToIt) {
    TempFolder folder;
    folder.File(L"inner\\deep.bin", 300);
    folder.File(L"second.bin", 20);
    MappedDrive drive(folder.path());
    ASSERT_FALSE(drive.root().empty()) << "no drive letter could be mapped in the Wine prefix";
    const std::wstring bare = drive.root().substr(0, 2);   // "X:"
    MainWindow window;
    ChooseMode(false, false);

    // A folder directly below the root, then one level up: the boxes show the bare
    // drive and the run measures the root, first child included.
    Accumulate(drive.root() + L"inner");
    WaitForRun();
    EXPECT_EQ(RowSizes(), (std::map<std::wstring, uint64_t>{{L"deep.bin", 300}}));
    SendMessageW(g_app.main, WM_COMMAND, IDM_UP_ONE_LEVEL, 0);
    WaitForRun();
    EXPECT_EQ(BoxEditText(g_app.driveBox), bare);
    // The history box took the bare drive too, then selected the run's history entry.
    EXPECT_EQ(BoxEditText(g_app.historyBox), drive.root());
    EXPECT_EQ(std::wstring(g_app.pathBuffer), drive.root());
    EXPECT_EQ(WindowText(g_app.main), bare + L" - Lurmo");
    EXPECT_EQ(RowSizes(), (std::map<std::wstring, uint64_t>{{L"inner", 300}, {L"second.bin", 20}}));
    EXPECT_EQ(BoxItemText(g_app.historyBox, 0), drive.root());   // a root keeps its backslash

    // Typing the bare drive measures its root too.
    Accumulate(bare);
    WaitForRun();
    EXPECT_EQ(g_app.rowCount, 2);
}
