#include "app/run_control.h"

#include <commctrl.h>
#include <shellapi.h>

#include "state/app_state.h"
#include "app/command_line.h"
#include "state/message_box.h"
#include "app/run_progress.h"
#include "app/run_worker.h"
#include "app/target_boxes.h"
#include "list/growth.h"
#include "list/result_rows.h"
#include "list/thread_wait.h"
#include "list/watcher.h"

namespace lurmo {

namespace {

void ShowPathError(const wchar_t* text, const std::wstring& path) { ShowMessage(text + path, MB_ICONERROR); }

void SetClassCursors(HCURSOR cursor) {
    SetClassLongPtrW(g_app.main, GCLP_HCURSOR, reinterpret_cast<LONG_PTR>(cursor));
    SetClassLongPtrW(g_app.list, GCLP_HCURSOR, reinterpret_cast<LONG_PTR>(cursor));
}

// Puts a navigation target in both boxes, checks it and starts its run; a refused
// target after a stopped run shows the idle look. A drive picked earlier in the drive
// box is no longer the box's choice: the box now names the new target.
void NavigateTo(const std::wstring& path, bool stoppedRun) {
    SendMessageW(g_app.driveBox, CB_SETCURSEL, static_cast<WPARAM>(-1), 0);
    SendMessageW(g_app.historyBox, CB_SETCURSEL, static_cast<WPARAM>(-1), 0);
    SetBoxEditText(g_app.driveBox, path);
    SetBoxEditText(g_app.historyBox, path);
    if (CheckTarget(path)) StartAccumulation();
    else if (stoppedRun) ShowIdleLook();
}

// True when a run was stopped before it completed.
bool StopRunningWorker() {
    if (!g_app.busy.load()) return false;
    return StopAccumulation();
}

}  // namespace

bool CheckTargetLength(const std::wstring& text) {
    std::wstring path = text;
    if (path.empty() || path.back() != L'\\') path.push_back(L'\\');
    if (path.size() < MAX_PATH - 1) return true;
    ShowPathError(L"パスが長すぎます. : ", text);
    return false;
}

bool CheckFolderExists(const std::wstring& path) {
    std::wstring cut = path;
    // A folder named with its trailing backslash ("C:\Data\") is looked up by its own
    // name, which the search does not accept with the backslash.
    while (cut.size() > 3 && cut.back() == L'\\') cut.pop_back();
    WIN32_FIND_DATAW data;
    HANDLE find = FindFirstFileW(cut.c_str(), &data);
    if (find != INVALID_HANDLE_VALUE) {
        FindClose(find);
        if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) return true;
    }
    // A drive root has no find data of its own; it exists when its volume answers.
    if (cut.size() <= 3 && cut.size() >= 2 && cut[1] == L':') {
        std::wstring root = cut.substr(0, 2) + L"\\";
        if (GetFileAttributesW(root.c_str()) != INVALID_FILE_ATTRIBUTES) return true;
    }
    ShowPathError(L"指定されたフォルダは存在しません. : ", path);
    return false;
}

bool CheckTargetPath(const std::wstring& text) {
    std::wstring path = text;
    if (!path.empty() && path.back() == L':') path.push_back(L'\\');
    SHFILEINFOW info{};
    info.dwAttributes = 0;
    const bool fileSystem = !path.empty() &&
                            SHGetFileInfoW(path.c_str(), 0, &info, sizeof(info), SHGFI_ATTRIBUTES) &&
                            (info.dwAttributes & SFGAO_FILESYSTEM);
    if (path.empty() || path.back() != L'\\') path.push_back(L'\\');
    // The target and at least one character of a row name must fit the path buffer.
    if (!fileSystem || path.size() >= MAX_PATH - 1) {
        ShowPathError(L"指定されたパスが見つかりません. : ", text);
        return false;
    }
    const size_t length = path.copy(g_app.pathBuffer, MAX_PATH - 1);
    g_app.pathBuffer[length] = L'\0';
    g_app.nameSlot = length;
    std::wstring title = path;
    title.pop_back();
    SetWindowTextW(g_app.main, (title + L" - Lurmo").c_str());
    return true;
}

bool CheckTarget(const std::wstring& text) {
    return CheckTargetLength(text) && QueryClusterSize(g_app.scan, text.c_str()) && CheckTargetPath(text);
}

bool ReadTargetBox() {
    if (g_app.settings.targetList > 1) return false;
    const std::wstring text = TargetBoxText();
    if (text.empty()) {
        ShowMessage(L"対象を入力してください.", MB_ICONERROR);
        return false;
    }
    return CheckTarget(text);
}

void ShowBusyLook() {
    SetClassCursors(g_app.appStartingCursor);
    SetWindowTextW(g_app.accumulateButton, L"中止(&S)");
    RECT client{};
    GetClientRect(g_app.main, &client);
    int edge = client.right;
    SendMessageW(g_app.status, SB_SETPARTS, 1, reinterpret_cast<LPARAM>(&edge));
    SendMessageW(g_app.status, SB_SETTEXTW, SBT_NOBORDERS, reinterpret_cast<LPARAM>(L"しばらくお待ちください..."));
    const Settings& s = g_app.settings;
    g_app.effect.snapShot = s.snapShot;
    g_app.effect.usedSize = s.usedSize;
    g_app.effect.displayGraph = s.displayGraph;
    ApplyBarGraphColumn();
    g_app.effect.graphColor = s.graphColor;
    g_app.effect.followLinks = s.followLinks;
    const DWORD fullRow = s.snapShot ? LVS_EX_FULLROWSELECT : 0;
    SendMessageW(g_app.list, LVM_SETEXTENDEDLISTVIEWSTYLE, LVS_EX_HEADERDRAGDROP | LVS_EX_FULLROWSELECT,
                 LVS_EX_HEADERDRAGDROP | fullRow);
    DragAcceptFiles(g_app.list, !s.snapShot);
    LONG_PTR style = GetWindowLongPtrW(g_app.list, GWL_STYLE);
    style = s.snapShot ? (style & ~static_cast<LONG_PTR>(LVS_EDITLABELS)) : (style | LVS_EDITLABELS);
    SetWindowLongPtrW(g_app.list, GWL_STYLE, style);
}

void RestoreArrowCursors() {
    SetClassCursors(g_app.arrowCursor);
    SetCursor(g_app.arrowCursor);
}

void ShowIdleLook() {
    SetWindowTextW(g_app.accumulateButton, L"集計(&A)");
    SendMessageW(g_app.status, SB_SETTEXTW, SBT_NOBORDERS, reinterpret_cast<LPARAM>(L""));
    RestoreArrowCursors();
}

namespace {

// A worker that has finished its run but not yet returned is waited for, so that two
// workers never exist at once.
void ReapWorker() {
    if (!g_app.worker) return;
    if (g_app.busy.load()) StopAccumulation();
    if (g_app.worker) WaitForThreadAnsweringMessages(g_app.worker.get(), 5000);
    g_app.worker.reset();
}

}  // namespace

namespace {

// In place, the rows stay for the run to measure into (see BeginMeasuringInPlace).
void StartRun(bool inPlace) {
    ReapWorker();
    StopWatcher();
    if (!inPlace) {
        SendMessageW(g_app.list, LVM_DELETEALLITEMS, 0, 0);
        g_app.rowCount = 0;
        g_app.grandTotal = 0;
    }
    ShowBusyLook();
    if (!g_app.effect.snapShot) ArmWatcher();
    if (!StartWorker(inPlace)) {
        StopWatcher();
        ShowIdleLook();
    }
}

}  // namespace

void StartAccumulation() { StartRun(false); }

void RemeasureTarget() {
    // Snapshot rows are kept another way: a mode chosen meanwhile lists afresh.
    if (g_app.settings.snapShot != g_app.effect.snapShot) {
        CarryBaselinesIntoNextRun();
        StartAccumulation();
        DropUnclaimedBaselines();
        return;
    }
    StartRun(true);
}

bool StopAccumulation() {
    if (!g_app.worker) return false;
    const unsigned run = g_app.runNumber;
    g_app.cancel.store(1);
    if (!WaitForThreadAnsweringMessages(g_app.worker.get(), 5000)) {
        // The last resort: a worker that did not answer within the bound.
        TerminateThread(g_app.worker.get(), 0);
        g_app.busy.store(0);
    }
    g_app.worker.reset();
    EndListPaintHold();
    EndRunProgress();
    // A run that had already finished measuring keeps its listing, and its watch starts
    // from its own message; a cancelled run starts no watch, so the request armed for it
    // goes too.
    const bool completed = g_app.completedRun.load() == run;
    if (!completed) StopWatcher();
    return !completed;
}

void OnRunFailed(unsigned run, bool outOfMemory) {
    if (run != g_app.runNumber) return;
    StopWatcher();
    EndListPaintHold();
    EndRunProgress();
    ShowIdleLook();
    if (outOfMemory) ShowMessage(L"メモリ不足です.", MB_ICONERROR);
}

void OnAccumulateButton() {
    if (!g_app.busy.load()) {
        ReapWorker();
        if (ReadTargetBox()) StartAccumulation();
        return;
    }
    if (ShowMessage(L"中止しますか？", MB_ICONQUESTION | MB_YESNO) != IDYES) return;
    // The run may have ended while the question was open; its rows and look then stand.
    if (!g_app.busy.load()) return;
    if (!StopAccumulation()) return;
    ShowIdleLook();
    // What the run had listed stays, marked as cut short.
    RefreshStatusBar();
}

void GoUpOneLevel() {
    const bool stopped = StopRunningWorker();
    std::wstring path = TargetPath();
    if (!path.empty() && path.back() == L'\\') path.pop_back();
    const size_t cut = path.rfind(L'\\');
    if (cut == std::wstring::npos) {
        if (stopped) ShowIdleLook();
        return;
    }
    NavigateTo(path.substr(0, cut), stopped);
}

void GoIntoSelectedFolder() {
    const bool stopped = StopRunningWorker();
    std::wstring path = TargetPath();
    if (path.empty() || path.back() != L'\\') path.push_back(L'\\');
    const int row = static_cast<int>(SendMessageW(g_app.list, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_SELECTED));
    if (row < 0) {
        if (stopped) ShowIdleLook();
        return;
    }
    NavigateTo(path + CellText(row, 0), stopped);
}

void OpenFolderAsTarget(const std::wstring& path, int rowsBeingOpened) {
    if (rowsBeingOpened > 1) {
        const std::wstring argument = path.find(L' ') != std::wstring::npos ? L"\"" + path + L"\"" : path;
        StartProcessWithCommandLine(FurtherInstanceCommandLine(ExecutablePath(), argument), SW_SHOWNORMAL);
        return;
    }
    NavigateTo(path, StopRunningWorker());
}

}  // namespace lurmo
