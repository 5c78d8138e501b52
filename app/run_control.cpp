#include "app/run_control.h"

#include <commctrl.h>
#include <shellapi.h>

#include "app/app_state.h"
#include "app/command_line.h"
#include "app/run_worker.h"
#include "app/target_boxes.h"
#include "list/result_rows.h"
#include "list/watcher.h"

namespace lurmo {

namespace {

void ShowPathError(const wchar_t* text, const std::wstring& path) { ShowMessage(text + path, MB_ICONERROR); }

void SetClassCursors(HCURSOR cursor) {
    SetClassLongPtrW(g_app.main, GCLP_HCURSOR, reinterpret_cast<LONG_PTR>(cursor));
    SetClassLongPtrW(g_app.list, GCLP_HCURSOR, reinterpret_cast<LONG_PTR>(cursor));
}

// Puts a navigation target in both boxes, checks it and starts its run; a refused
// target after a stopped run shows the idle look.
void NavigateTo(const std::wstring& path, bool stoppedRun) {
    SetBoxEditText(g_app.driveBox, path);
    SetBoxEditText(g_app.historyBox, path);
    if (CheckTarget(path)) StartAccumulation();
    else if (stoppedRun) ShowIdleLook();
}

bool StopRunningWorker() {
    if (!g_app.busy.load()) return false;
    StopAccumulation();
    return true;
}

}  // namespace

bool WaitForThreadAnsweringMessages(HANDLE thread, DWORD timeout) {
    const DWORD start = GetTickCount();
    for (;;) {
        const DWORD elapsed = GetTickCount() - start;
        if (elapsed >= timeout) return WaitForSingleObject(thread, 0) == WAIT_OBJECT_0;
        const DWORD result = MsgWaitForMultipleObjects(1, &thread, FALSE, timeout - elapsed, QS_SENDMESSAGE);
        if (result == WAIT_OBJECT_0) return true;
        if (result != WAIT_OBJECT_0 + 1) return WaitForSingleObject(thread, 0) == WAIT_OBJECT_0;
        // Answer the messages the thread is sending us (to the list, the status bar, the
        // boxes), so it can reach its next look at the cancel request. Posted messages
        // stay queued for the message loop.
        MSG message;
        PeekMessageW(&message, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
    }
}

bool CheckFolderExists(const std::wstring& path) {
    std::wstring cut = path.substr(0, MAX_PATH - 1);
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
    wcscpy_s(g_app.pathBuffer, path.c_str());
    g_app.nameSlot = path.size();
    std::wstring title = path;
    title.pop_back();
    SetWindowTextW(g_app.main, (title + L" - Lurmo").c_str());
    return true;
}

bool CheckTarget(const std::wstring& text) {
    return QueryClusterSize(g_app.scan, text.c_str()) && CheckTargetPath(text);
}

bool ReadTargetBox() {
    std::wstring text;
    if (g_app.settings.targetList == 1) {
        const int selected = BoxSelection(g_app.historyBox);
        text = selected >= 0 ? BoxItemText(g_app.historyBox, selected) : BoxEditText(g_app.historyBox);
    } else if (g_app.settings.targetList == 0) {
        const int selected = BoxSelection(g_app.driveBox);
        if (selected >= 0 && static_cast<size_t>(selected) < g_app.drivePaths.size()) text = g_app.drivePaths[selected];
        else text = BoxEditText(g_app.driveBox);
    } else {
        return false;
    }
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

void StartAccumulation() {
    StopWatcher();
    SendMessageW(g_app.list, LVM_DELETEALLITEMS, 0, 0);
    g_app.rowCount = 0;
    g_app.grandTotal = 0;
    ShowBusyLook();
    if (!g_app.effect.snapShot) ArmWatcher();
    if (!StartWorker()) {
        StopWatcher();
        ShowIdleLook();
    }
}

void StopAccumulation() {
    if (!g_app.worker) return;
    g_app.cancel.store(1);
    if (!WaitForThreadAnsweringMessages(g_app.worker.get(), 5000)) {
        // The last resort: a worker that did not answer within the bound.
        TerminateThread(g_app.worker.get(), 0);
        g_app.busy.store(0);
    }
    g_app.worker.reset();
    EndListPaintHold();
    // A cancelled run starts no watch: the request armed for it goes too.
    StopWatcher();
}

void OnAccumulateButton() {
    if (!g_app.busy.load()) {
        if (ReadTargetBox()) StartAccumulation();
        return;
    }
    if (ShowMessage(L"中止しますか？", MB_ICONQUESTION | MB_YESNO) != IDYES) return;
    // The run may have ended while the question was open; its rows and look then stand.
    if (!g_app.busy.load()) return;
    StopAccumulation();
    ShowIdleLook();
}

void GoUpOneLevel() {
    const bool stopped = StopRunningWorker();
    std::wstring path(g_app.pathBuffer, g_app.nameSlot);
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
    std::wstring path(g_app.pathBuffer, g_app.nameSlot);
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
        StartProcessWithCommandLine(ExecutablePath() + L" " + argument, SW_SHOWNORMAL);
        return;
    }
    NavigateTo(path, StopRunningWorker());
}

}  // namespace lurmo
