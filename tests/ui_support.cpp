#include "tests/ui_support.h"

#include <gtest/gtest.h>

#include <commctrl.h>
#include <shlwapi.h>

#include <algorithm>
#include <utility>

#include "state/app_state.h"
#include "list/custom_draw.h"
#include "list/result_rows.h"

namespace lurmo::test {

namespace {

std::vector<UINT> g_commands;

LRESULT CALLBACK StandInProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_COMMAND) g_commands.push_back(LOWORD(wParam));
    if (message == WM_NOTIFY) {
        const auto* header = reinterpret_cast<const NMHDR*>(lParam);
        if (header->code == LVN_DELETEITEM) {
            ReleaseDeletedRow(reinterpret_cast<const NMLISTVIEW*>(lParam)->lParam);
            return 0;
        }
        if (header->code == NM_CUSTOMDRAW && header->hwndFrom == g_app.list) {
            if (const auto result = OnListCustomDraw(reinterpret_cast<NMLVCUSTOMDRAW*>(lParam))) return *result;
        }
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

const wchar_t kClass[] = L"LurmoTestStandIn";

}  // namespace

ListWindow::ListWindow(bool snapshotMode, bool barGraph) {
    static bool registered = false;
    if (!registered) {
        INITCOMMONCONTROLSEX controls{sizeof(controls), ICC_LISTVIEW_CLASSES | ICC_BAR_CLASSES};
        InitCommonControlsEx(&controls);
        WNDCLASSW windowClass{};
        windowClass.lpfnWndProc = StandInProc;
        windowClass.hInstance = GetModuleHandleW(nullptr);
        windowClass.lpszClassName = kClass;
        RegisterClassW(&windowClass);
        registered = true;
    }
    g_app.settings = Settings{};
    g_app.effect = InEffect{};
    g_app.effect.snapShot = snapshotMode;
    g_app.effect.displayGraph = barGraph;
    g_app.settings.displayGraph = barGraph;
    g_app.rowCount = 0;
    g_app.grandTotal = 0;
    g_app.main = CreateWindowExW(0, kClass, L"Lurmo", WS_OVERLAPPEDWINDOW, 0, 0, 700, 400, nullptr, nullptr,
                                 GetModuleHandleW(nullptr), nullptr);
    g_app.list = CreateWindowExW(0, WC_LISTVIEWW, L"", WS_CHILD | WS_VISIBLE | LVS_REPORT | LVS_SHOWSELALWAYS, 0,
                                 30, 600, 300, g_app.main, reinterpret_cast<HMENU>(IDC_RESULT_LIST),
                                 GetModuleHandleW(nullptr), nullptr);
    g_app.status = CreateWindowExW(0, STATUSCLASSNAMEW, L"", WS_CHILD | WS_VISIBLE | SBARS_SIZEGRIP, 0, 0, 0, 0,
                                   g_app.main, reinterpret_cast<HMENU>(IDC_STATUS_BAR), GetModuleHandleW(nullptr),
                                   nullptr);
    CreateResultColumns();
}

std::vector<UINT> ListWindow::TakeCommands() { return std::exchange(g_commands, {}); }

ListWindow::~ListWindow() {
    SendMessageW(g_app.list, LVM_DELETEALLITEMS, 0, 0);
    DestroyWindow(g_app.main);
    g_app.main = g_app.list = g_app.status = nullptr;
    g_app.rowCount = 0;
    g_app.grandTotal = 0;
}

namespace {

template <typename Entry>
Entry* FillEntry(Entry* entry, const std::wstring& name, uint32_t kind, uint64_t size, const FILETIME& time) {
    entry->name = name;
    entry->kind = kind;
    entry->size = size;
    entry->time = time;
    return entry;
}

}  // namespace

FileEntry* NewFileEntry(const std::wstring& name, uint64_t size, const FILETIME& time) {
    return FillEntry(new FileEntry, name, kKindFile, size, time);
}

FolderEntry* NewFolderEntry(const std::wstring& name, uint64_t size, const FILETIME& time) {
    return FillEntry(new FolderEntry, name, 0, size, time);
}

SnapshotEntry* NewSnapshotEntry(const std::wstring& name, uint32_t kind, uint64_t size, const FILETIME& time) {
    return FillEntry(new SnapshotEntry, name, kind, size, time);
}

FILETIME LocalTime(int year, int month, int day, int hour, int minute, int second) {
    SYSTEMTIME st{};
    st.wYear = static_cast<WORD>(year);
    st.wMonth = static_cast<WORD>(month);
    st.wDay = static_cast<WORD>(day);
    st.wHour = static_cast<WORD>(hour);
    st.wMinute = static_cast<WORD>(minute);
    st.wSecond = static_cast<WORD>(second);
    FILETIME time{};
    SystemTimeToFileTime(&st, &time);
    return time;
}

std::wstring StatusText(int part) {
    wchar_t text[512]{};
    const LRESULT length = SendMessageW(g_app.status, SB_GETTEXTLENGTHW, part, 0);
    if (LOWORD(length) >= 512) return L"<too long>";
    SendMessageW(g_app.status, SB_GETTEXTW, part, reinterpret_cast<LPARAM>(text));
    return text;
}

std::wstring ColumnCaption(int column) {
    wchar_t text[128]{};
    LVCOLUMNW info{};
    info.mask = LVCF_TEXT;
    info.pszText = text;
    info.cchTextMax = 128;
    SendMessageW(g_app.list, LVM_GETCOLUMNW, column, reinterpret_cast<LPARAM>(&info));
    return text;
}

int ArrowOf(int column) {
    HWND header = reinterpret_cast<HWND>(SendMessageW(g_app.list, LVM_GETHEADER, 0, 0));
    HDITEMW item{};
    item.mask = HDI_FORMAT;
    SendMessageW(header, HDM_GETITEMW, column, reinterpret_cast<LPARAM>(&item));
    return item.fmt & (HDF_SORTUP | HDF_SORTDOWN);
}

std::wstring RowNames() {
    std::wstring names;
    const int count = static_cast<int>(SendMessageW(g_app.list, LVM_GETITEMCOUNT, 0, 0));
    for (int row = 0; row < count; ++row) {
        if (row) names += L",";
        names += CellText(row, 0);
    }
    return names;
}

void PumpMessages() {
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
}

ListPixels::ListPixels(bool repaint) {
    if (repaint) RedrawWindow(g_app.list, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE);
    UpdateWindow(g_app.list);
    RECT client{};
    GetClientRect(g_app.list, &client);
    width_ = client.right;
    height_ = client.bottom;
    BITMAPINFO info{};
    info.bmiHeader = {sizeof(BITMAPINFOHEADER), width_, -height_, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
    HDC screen = GetDC(g_app.list);
    HDC memory = CreateCompatibleDC(screen);
    void* bits = nullptr;
    HBITMAP bitmap = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    HGDIOBJ previous = SelectObject(memory, bitmap);
    BitBlt(memory, 0, 0, width_, height_, screen, 0, 0, SRCCOPY);
    GdiFlush();
    const auto* first = static_cast<const uint32_t*>(bits);
    if (first) pixels_.assign(first, first + static_cast<size_t>(width_) * height_);
    SelectObject(memory, previous);
    DeleteObject(bitmap);
    DeleteDC(memory);
    ReleaseDC(g_app.list, screen);
}

int ListPixels::Count(const RECT& area, COLORREF color, int* first) const {
    int count = 0;
    if (first) *first = -1;
    const int top = std::max(0, static_cast<int>(area.top)), bottom = std::min(height_, static_cast<int>(area.bottom));
    const int left = std::max(0, static_cast<int>(area.left)), right = std::min(width_, static_cast<int>(area.right));
    for (int y = top; y < bottom; ++y) {
        for (int x = left; x < right; ++x) {
            const uint32_t pixel = pixels_[static_cast<size_t>(y) * width_ + x];
            if (RGB((pixel >> 16) & 0xFF, (pixel >> 8) & 0xFF, pixel & 0xFF) != color) continue;
            if (first && *first < 0) *first = x;
            ++count;
        }
    }
    return count;
}

RECT CellRect(int row, int column) {
    RECT cell{LVIR_BOUNDS, column, 0, 0};
    SendMessageW(g_app.list, LVM_GETSUBITEMRECT, row, reinterpret_cast<LPARAM>(&cell));
    return cell;
}

}  // namespace lurmo::test

#include "app/settings.h"
#include "app/target_boxes.h"

namespace lurmo::test {

namespace {

HHOOK g_boxHook = nullptr;
std::vector<MessageBoxCatcher::Box> g_boxes;
int g_answer = IDOK;

LRESULT CALLBACK CatchBoxes(int code, WPARAM wParam, LPARAM lParam) {
    if (code == HCBT_ACTIVATE) {
        HWND window = reinterpret_cast<HWND>(wParam);
        wchar_t className[32]{};
        GetClassNameW(window, className, 32);
        // Only message boxes: the main window and the About box are dialogs too.
        const bool messageBox = wcscmp(className, L"#32770") == 0 && window != g_app.main &&
                                (GetDlgItem(window, 0xFFFF) || GetDlgItem(window, 100)) && !GetDlgItem(window, IDC_RESULT_LIST);
        if (messageBox) {
            wchar_t text[1024]{}, caption[256]{};
            // Windows gives the text control the id 0xFFFF, Wine 100.
            if (!GetDlgItemTextW(window, 0xFFFF, text, 1024)) GetDlgItemTextW(window, 100, text, 1024);

            GetWindowTextW(window, caption, 256);
            g_boxes.push_back({text, caption});
            PostMessageW(window, WM_COMMAND, g_answer, 0);
        }
    }
    return CallNextHookEx(g_boxHook, code, wParam, lParam);
}

}  // namespace

MessageBoxCatcher::MessageBoxCatcher(int answer) {
    g_boxes.clear();
    g_answer = answer;
    g_boxHook = SetWindowsHookExW(WH_CBT, CatchBoxes, nullptr, GetCurrentThreadId());
}

MessageBoxCatcher::~MessageBoxCatcher() {
    UnhookWindowsHookEx(g_boxHook);
    g_boxHook = nullptr;
}

const std::vector<MessageBoxCatcher::Box>& MessageBoxCatcher::boxes() const { return g_boxes; }
void MessageBoxCatcher::SetAnswer(int answer) { g_answer = answer; }

std::string Narrow(const std::wstring& text) {
    const int size = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, nullptr, 0, nullptr, nullptr);
    std::string narrow(size > 0 ? size - 1 : 0, '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, narrow.data(), size, nullptr, nullptr);
    return narrow;
}

void ForgetStoredSettings() {
    SHDeleteKeyW(HKEY_CURRENT_USER, kHistoryKey);
    SHDeleteKeyW(HKEY_CURRENT_USER, kSettingsKey);
}

// Runs a host shell command, as another program changing the disk, and waits until it
// is done: Wine gives no handle to wait on, so the command leaves a mark outside the
// watched folder when it ends.
void RunHostCommand(const std::string& command) {
    wchar_t temp[MAX_PATH]{};
    GetTempPathW(MAX_PATH, temp);
    const std::wstring mark = std::wstring(temp) + L"lurmo-host-done-" + std::to_wstring(GetTickCount());
    DeleteFileW(mark.c_str());
    const std::string full = command + " ; touch '" + UnixPath(mark) + "'";
    std::wstring line = L"/bin/sh -c \"" + std::wstring(full.begin(), full.end()) + L"\"";
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    ASSERT_TRUE(CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process));
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    ASSERT_TRUE(PumpUntil([&] { return GetFileAttributesW(mark.c_str()) != INVALID_FILE_ATTRIBUTES; }, 60000));
    DeleteFileW(mark.c_str());
}


}  // namespace lurmo::test
