// The real main window in this process: its set-up, layout, menus, history and drives.
#include <windows.h>
#include <commctrl.h>
#include <gtest/gtest.h>

#include "state/app_state.h"
#include "app/main_window.h"
#include "app/run_control.h"
#include "app/settings.h"
#include "app/target_boxes.h"
#include "state/window_messages.h"
#include "list/result_rows.h"
#include "tests/test_support.h"
#include "tests/ui_support.h"
#include "tests/key_input.h"

using namespace lurmo;
using namespace lurmo::test;

namespace {

std::wstring WindowText(HWND window) {
    wchar_t text[512]{};
    GetWindowTextW(window, text, 512);
    return text;
}

bool Enabled(HMENU menu, UINT id) { return !(GetMenuState(menu, id, MF_BYCOMMAND) & (MF_GRAYED | MF_DISABLED)); }

void OpenPopup(HMENU popup) { SendMessageW(g_app.main, WM_INITMENUPOPUP, reinterpret_cast<WPARAM>(popup), 0); }

void SelectRows(std::initializer_list<int> rows) {
    LVITEMW item{};
    item.stateMask = LVIS_SELECTED;
    item.state = 0;
    SendMessageW(g_app.list, LVM_SETITEMSTATE, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(&item));
    item.state = LVIS_SELECTED;
    for (int row : rows) SendMessageW(g_app.list, LVM_SETITEMSTATE, row, reinterpret_cast<LPARAM>(&item));
}

void SetClientWidth(int width) {
    RECT frame{}, client{};
    GetWindowRect(g_app.main, &frame);
    GetClientRect(g_app.main, &client);
    const int extra = (frame.right - frame.left) - client.right;
    SetWindowPos(g_app.main, nullptr, 0, 0, width + extra, 400, SWP_NOMOVE | SWP_NOZORDER);
}

int ChildX(HWND child) {
    RECT rect{};
    GetWindowRect(child, &rect);
    MapWindowPoints(nullptr, g_app.main, reinterpret_cast<POINT*>(&rect), 2);
    return rect.left;
}

int ChildWidth(HWND child) {
    RECT rect{};
    GetWindowRect(child, &rect);
    return rect.right - rect.left;
}

std::vector<std::wstring> HistoryItems() {
    std::vector<std::wstring> items;
    for (int i = 0; i < BoxCount(g_app.historyBox); ++i) items.push_back(BoxItemText(g_app.historyBox, i));
    return items;
}

void MeasuredTarget(const std::wstring& path) { AddToHistory(path); }

std::wstring StoredHistory(int position) {
    wchar_t name[8];
    swprintf(name, 8, L"%02d", position);
    wchar_t text[300]{};
    DWORD bytes = sizeof(text) - sizeof(wchar_t);
    if (RegGetValueW(HKEY_CURRENT_USER, kHistoryKey, name, RRF_RT_REG_SZ | RRF_NOEXPAND, nullptr, text, &bytes) !=
        ERROR_SUCCESS)
        return L"<none>";
    return text;
}

}  // namespace

TEST(MainWindow, SetsUpItsControlsAndCaptions) {
    MessageBoxCatcher catcher;
    MainWindow window;
    for (const auto& box : catcher.boxes()) ADD_FAILURE() << Narrow(box.text);
    ASSERT_TRUE(window.handle());
    EXPECT_EQ(g_app.main, window.handle());
    EXPECT_EQ(WindowText(g_app.targetListButton), L"履歴(&H)");
    EXPECT_EQ(WindowText(g_app.browseButton), L"参照(&B)");
    EXPECT_EQ(WindowText(g_app.accumulateButton), L"集計(&A)");
    EXPECT_TRUE(IsWindowVisible(g_app.driveBox));
    EXPECT_FALSE(IsWindowVisible(g_app.historyBox));
    EXPECT_EQ(GetDlgCtrlID(g_app.status), IDC_STATUS_BAR);
    EXPECT_EQ(ColumnCaption(0), L"名前");
    EXPECT_EQ(ColumnCaption(3), L"更新日時");
    EXPECT_TRUE(g_app.desktop);
    // The drive box lists the storage of the computer folder, in step with its paths.
    EXPECT_EQ(static_cast<size_t>(BoxCount(g_app.driveBox)), g_app.drivePaths.size());
    EXPECT_GT(g_app.drivePaths.size(), 0u);
    wchar_t menuText[64]{};
    GetMenuStringW(GetMenu(g_app.main), IDM_COMMA, menuText, 64, MF_BYCOMMAND);
    EXPECT_STREQ(menuText, L"サイズ表示にカンマを使用(&C)");
}

TEST(MainWindow, FlippingTheTargetListShowsTheOtherBox) {
    MainWindow window;
    SendMessageW(g_app.main, WM_COMMAND, IDC_TARGET_LIST_BUTTON, 0);
    EXPECT_EQ(g_app.settings.targetList, 1u);
    EXPECT_EQ(WindowText(g_app.targetListButton), L"ドライブ(&D)");
    EXPECT_TRUE(IsWindowVisible(g_app.historyBox));
    EXPECT_FALSE(IsWindowEnabled(g_app.driveBox));
    PumpMessages();
    SendMessageW(g_app.historyBox, CB_SHOWDROPDOWN, FALSE, 0);
    SendMessageW(g_app.main, WM_COMMAND, IDC_TARGET_LIST_BUTTON, 0);
    EXPECT_EQ(g_app.settings.targetList, 0u);
    EXPECT_EQ(WindowText(g_app.targetListButton), L"履歴(&H)");
    PumpMessages();
    EXPECT_TRUE(SendMessageW(g_app.driveBox, CB_GETDROPPEDSTATE, 0, 0));   // its list opened
    SendMessageW(g_app.driveBox, CB_SHOWDROPDOWN, FALSE, 0);
}

TEST(MainWindow, LayoutFollowsTheClientWidth) {
    MainWindow window;
    for (int width : {800, 400, 262, 261, 150}) {
        SetClientWidth(width);
        EXPECT_EQ(ChildX(g_app.accumulateButton), width - 70) << width;
        EXPECT_EQ(ChildX(g_app.browseButton), width - 140) << width;
        EXPECT_EQ(ChildX(g_app.targetListButton), width - 210) << width;
        EXPECT_EQ(ChildWidth(g_app.driveBox), width > 262 ? width - 262 : 0) << width;
        EXPECT_EQ(ChildWidth(g_app.list), width) << width;
    }
}

TEST(MainWindow, TheTargetBoxSitsRightOfItsLabelAndEndsBeforeTheButtons) {
    MainWindow window;
    for (int width : {900, 500, 300}) {
        SetClientWidth(width);
        for (HWND box : {g_app.driveBox, g_app.historyBox}) {
            RECT rect{};
            GetWindowRect(box, &rect);
            MapWindowPoints(nullptr, g_app.main, reinterpret_cast<POINT*>(&rect), 2);
            EXPECT_EQ(rect.left, 42) << width;
            EXPECT_EQ(rect.top, 2) << width;
        }
        RECT box{};
        GetWindowRect(g_app.driveBox, &box);
        MapWindowPoints(nullptr, g_app.main, reinterpret_cast<POINT*>(&box), 2);
        EXPECT_LE(box.right, ChildX(g_app.targetListButton)) << width;
    }
}

TEST(MainWindow, ClosingWhileMinimizedKeepsTheNormalPlacement) {
    {
        MainWindow window;
        SetWindowPos(g_app.main, nullptr, 120, 90, 640, 420, SWP_NOZORDER);
        ShowWindow(g_app.main, SW_MINIMIZE);
        PumpMessages();
        ASSERT_TRUE(IsIconic(g_app.main));
    }
    MainWindow reopened(L"", true);
    RECT rect{};
    GetWindowRect(g_app.main, &rect);
    EXPECT_EQ(rect.left, 120);
    EXPECT_EQ(rect.top, 90);
    EXPECT_EQ(rect.right - rect.left, 640);
    EXPECT_EQ(rect.bottom - rect.top, 420);
}

TEST(MainWindow, AFolderNamedWithATrailingBackslashIsMeasured) {
    TempFolder root;
    root.File(L"a.bin", 5);
    MessageBoxCatcher catcher;
    MainWindow window(root.path() + L"\\");
    EXPECT_TRUE(catcher.boxes().empty());
    ASSERT_TRUE(PumpUntil([] { return g_app.rowCount == 1 && !g_app.busy.load(); }));
    EXPECT_EQ(WindowText(g_app.main), root.path() + L" - Lurmo");
}

TEST(MainWindow, ANavigationReplacesADriveChosenInTheBox) {
    TempFolder drive, other;
    drive.File(L"on-the-drive.bin", 1);
    other.File(L"Sub\\in-sub.bin", 1);
    MainWindow window;
    AddDrive(drive.path(), L"Test drive", 0);
    int index = -1;
    for (size_t i = 0; i < g_app.drivePaths.size(); ++i) {
        if (g_app.drivePaths[i] == drive.path()) index = static_cast<int>(i);
    }
    ASSERT_GE(index, 0);
    SendMessageW(g_app.driveBox, CB_SETCURSEL, index, 0);
    OpenFolderAsTarget(other / L"Sub", 0);
    ASSERT_TRUE(PumpUntil([] { return g_app.rowCount == 1 && !g_app.busy.load(); }));
    // Pressing the button again measures what the box now shows: the folder gone into.
    SendMessageW(g_app.main, WM_COMMAND, IDC_ACCUMULATE_BUTTON, 0);
    ASSERT_TRUE(PumpUntil([] { return g_app.rowCount == 1 && !g_app.busy.load(); }));
    EXPECT_EQ(WindowText(g_app.main), (other / L"Sub") + L" - Lurmo");
    EXPECT_EQ(CellText(0, 0), L"in-sub.bin");
}

bool RunEnded() { return g_app.worker && WaitForSingleObject(g_app.worker.get(), 0) == WAIT_OBJECT_0 && !g_app.busy.load(); }

// The history box keeps its last choice selected while the user types over it: what is
// typed is measured, not the choice again. The same over a drive chosen in the drive box.
TEST(MainWindow, ATypedTargetIsMeasuredOverTheBoxsLastChoice) {
    TempFolder first, second, drive;
    first.File(L"first.bin", 1);
    second.File(L"second.bin", 2);
    MainWindow window;
    g_app.settings.targetList = 1;
    ShowTargetList();
    AddToHistory(first.path() + L"\\");
    ASSERT_EQ(BoxSelection(g_app.historyBox), 0);
    SetBoxEditText(g_app.historyBox, second.path());
    SendMessageW(g_app.main, WM_COMMAND, IDC_ACCUMULATE_BUTTON, 0);
    ASSERT_TRUE(PumpUntil(RunEnded));
    EXPECT_EQ(WindowText(g_app.main), second.path() + L" - Lurmo");

    g_app.settings.targetList = 0;
    ShowTargetList();
    AddDrive(drive.path(), L"Test drive", 0);
    for (size_t i = 0; i < g_app.drivePaths.size(); ++i) {
        if (g_app.drivePaths[i] == drive.path()) SendMessageW(g_app.driveBox, CB_SETCURSEL, i, 0);
    }
    ASSERT_GE(BoxSelection(g_app.driveBox), 0);
    SendMessageW(g_app.main, WM_COMMAND, IDC_ACCUMULATE_BUTTON, 0);   // the choice as it stands
    ASSERT_TRUE(PumpUntil(RunEnded));
    EXPECT_EQ(WindowText(g_app.main), drive.path() + L" - Lurmo");
    SetBoxEditText(g_app.driveBox, first.path());
    SendMessageW(g_app.main, WM_COMMAND, IDC_ACCUMULATE_BUTTON, 0);
    ASSERT_TRUE(PumpUntil([] { return RunEnded() && g_app.rowCount == 1; }));
    EXPECT_EQ(WindowText(g_app.main), first.path() + L" - Lurmo");
}

// Enter pressed in the target box measures the typed target; in the list it opens the
// selected row (here a folder, which becomes the target).
TEST(MainWindow, EnterInTheTargetBoxMeasuresTheTypedTarget) {
    TempFolder shown, typed;
    shown.File(L"sub\\in-sub.bin", 1);
    typed.File(L"typed.bin", 2);
    MainWindow window;
    ASSERT_TRUE(AccumulateAndWait(shown.path()));
    SelectRows({0});
    BringToFront();
    SetBoxEditText(g_app.driveBox, typed.path());
    SetFocus(reinterpret_cast<HWND>(SendMessageW(g_app.driveBox, CBEM_GETEDITCONTROL, 0, 0)));
    PressKey(VK_RETURN);
    ASSERT_TRUE(PumpUntil(RunEnded));
    EXPECT_EQ(WindowText(g_app.main), typed.path() + L" - Lurmo");

    ASSERT_TRUE(AccumulateAndWait(shown.path()));
    SelectRows({0});
    SetFocus(g_app.list);
    PressKey(VK_RETURN);
    ASSERT_TRUE(PumpUntil([] { return RunEnded() && g_app.rowCount == 1 && CellText(0, 0) == L"in-sub.bin"; }));
    EXPECT_EQ(WindowText(g_app.main), (shown / L"sub") + L" - Lurmo");
}

// A target longer than the path buffer can take is refused by its whole name, whether it
// came on the command line or was typed; nothing is cut and then not found.
TEST(MainWindow, ATargetTooLongForThePathBufferIsRefusedWhole) {
    const std::wstring tooLong = L"C:\\" + std::wstring(317, L'x');   // 320 characters
    {
        MessageBoxCatcher catcher;
        MainWindow window(tooLong);
        ASSERT_EQ(catcher.boxes().size(), 1u);
        EXPECT_EQ(catcher.boxes()[0].text, L"パスが長すぎます. : " + tooLong);
    }
    MainWindow window;
    MessageBoxCatcher catcher;
    SendMessageW(g_app.driveBox, CB_SETCURSEL, static_cast<WPARAM>(-1), 0);
    SetBoxEditText(g_app.driveBox, tooLong);
    SendMessageW(g_app.main, WM_COMMAND, IDC_ACCUMULATE_BUTTON, 0);
    ASSERT_EQ(catcher.boxes().size(), 1u);
    EXPECT_EQ(catcher.boxes()[0].text, L"パスが長すぎます. : " + tooLong);
    EXPECT_EQ(g_app.nameSlot, 0u);
}

TEST(MainWindow, TheStatusBarsClicksAreNotTakenForTheLists) {
    TempFolder root;
    root.File(L"Folder\\x.bin", 1);
    MainWindow window(root.path());
    ASSERT_TRUE(PumpUntil([] { return g_app.rowCount == 1 && !g_app.busy.load(); }));
    const std::wstring title = WindowText(g_app.main);
    MessageBoxCatcher catcher;
    // The status bar names its part 0 where a list would name its row 0.
    for (UINT code : {static_cast<UINT>(NM_DBLCLK), static_cast<UINT>(NM_RCLICK)}) {
        NMMOUSE click{};
        click.hdr.hwndFrom = g_app.status;
        click.hdr.idFrom = IDC_STATUS_BAR;
        click.hdr.code = code;
        click.dwItemSpec = 0;
        SendMessageW(g_app.main, WM_NOTIFY, IDC_STATUS_BAR, reinterpret_cast<LPARAM>(&click));
    }
    PumpMessages();
    EXPECT_EQ(WindowText(g_app.main), title);
    EXPECT_FALSE(g_app.busy.load());
    EXPECT_TRUE(catcher.boxes().empty());
}

TEST(MainWindow, MenusFollowModeAndSelection) {
    MainWindow window;
    wcscpy_s(g_app.pathBuffer, L"C:\\Data\\");
    g_app.nameSlot = 8;
    AppendFolderRow(NewFolderEntry(L"folder", 10));
    AppendFileRow(NewFileEntry(L"file", 5));
    AppendFileRow(NewFileEntry(L"other", 5));

    // Two rows in snapshot mode: only the copying commands.
    g_app.effect.snapShot = 1;
    SelectRows({1, 2});
    OpenPopup(g_app.editMenu);
    for (UINT id : {IDM_RENAME, IDM_CUT, IDM_MOVE_TO_FOLDER, IDM_DELETE, IDM_PASTE, IDM_PASTE_SHORTCUT})
        EXPECT_FALSE(Enabled(g_app.editMenu, id)) << id;
    for (UINT id : {IDM_COPY_LISTING, IDM_COPY, IDM_COPY_TO_FOLDER, IDM_SELECT_ALL, IDM_INVERT_SELECTION})
        EXPECT_TRUE(Enabled(g_app.editMenu, id)) << id;

    // One row in file-operation mode: rename, cut, move and delete come back.
    g_app.effect.snapShot = 0;
    SelectRows({1});
    OpenPopup(g_app.editMenu);
    for (UINT id : {IDM_RENAME, IDM_CUT, IDM_MOVE_TO_FOLDER, IDM_DELETE}) EXPECT_TRUE(Enabled(g_app.editMenu, id)) << id;

    OpenPopup(g_app.fileMenu);
    EXPECT_TRUE(Enabled(g_app.fileMenu, IDM_EXPORT_ALL));
    EXPECT_TRUE(Enabled(g_app.fileMenu, IDM_EXPORT_SELECTED));
    SelectRows({});
    OpenPopup(g_app.fileMenu);
    EXPECT_FALSE(Enabled(g_app.fileMenu, IDM_EXPORT_SELECTED));
    g_app.busy.store(1);
    OpenPopup(g_app.fileMenu);
    EXPECT_FALSE(Enabled(g_app.fileMenu, IDM_EXPORT_ALL));
    g_app.busy.store(0);

    // The selected-folder command needs exactly one folder row.
    SelectRows({0});
    OpenPopup(g_app.viewMenu);
    EXPECT_TRUE(Enabled(g_app.viewMenu, IDM_SELECTED_FOLDER));
    SelectRows({1});
    OpenPopup(g_app.viewMenu);
    EXPECT_FALSE(Enabled(g_app.viewMenu, IDM_SELECTED_FOLDER));
    EXPECT_TRUE(Enabled(g_app.viewMenu, IDM_UP_ONE_LEVEL));
    EXPECT_TRUE(GetMenuState(g_app.viewMenu, IDM_COMMA, MF_BYCOMMAND) & MF_CHECKED);

    // At a drive root there is no level above.
    wcscpy_s(g_app.pathBuffer, L"C:\\");
    g_app.nameSlot = 3;
    OpenPopup(g_app.viewMenu);
    EXPECT_FALSE(Enabled(g_app.viewMenu, IDM_UP_ONE_LEVEL));

    // No rows: nothing to select or export.
    SendMessageW(g_app.list, LVM_DELETEALLITEMS, 0, 0);
    g_app.rowCount = 0;
    OpenPopup(g_app.editMenu);
    EXPECT_FALSE(Enabled(g_app.editMenu, IDM_SELECT_ALL));
    OpenPopup(g_app.fileMenu);
    EXPECT_FALSE(Enabled(g_app.fileMenu, IDM_EXPORT_ALL));
}

TEST(MainWindow, SelectionCommandsSelectAndInvert) {
    MainWindow window;
    for (const wchar_t* name : {L"a", L"b", L"c"}) AppendFileRow(NewFileEntry(name, 1));
    SendMessageW(g_app.main, WM_COMMAND, IDM_SELECT_ALL, 0);
    EXPECT_EQ(SendMessageW(g_app.list, LVM_GETSELECTEDCOUNT, 0, 0), 3);
    SelectRows({1});
    SendMessageW(g_app.main, WM_COMMAND, IDM_INVERT_SELECTION, 0);
    EXPECT_EQ(SendMessageW(g_app.list, LVM_GETSELECTEDCOUNT, 0, 0), 2);
    EXPECT_EQ(SendMessageW(g_app.list, LVM_GETITEMSTATE, 1, LVIS_SELECTED), 0);
}

TEST(History, KeepsTheMostRecentFirstWithinTheLimit) {
    MainWindow window;
    g_app.settings.maxHistory = 3;
    for (const wchar_t* path : {L"C:\\C\\", L"C:\\B\\", L"C:\\A\\"}) MeasuredTarget(path);
    EXPECT_EQ(HistoryItems(), (std::vector<std::wstring>{L"C:\\A", L"C:\\B", L"C:\\C"}));
    MeasuredTarget(L"C:\\D\\");
    EXPECT_EQ(HistoryItems(), (std::vector<std::wstring>{L"C:\\D", L"C:\\A", L"C:\\B"}));
    MeasuredTarget(L"c:\\b\\");   // found without regard to case, moved, nothing deleted
    EXPECT_EQ(HistoryItems(), (std::vector<std::wstring>{L"C:\\B", L"C:\\D", L"C:\\A"}));
    EXPECT_EQ(BoxEditText(g_app.historyBox), L"C:\\B");
    MeasuredTarget(L"C:\\");
    EXPECT_EQ(HistoryItems().front(), L"C:\\");   // a drive root keeps its backslash

    g_app.settings.maxHistory = 1;
    TrimHistory();
    EXPECT_EQ(HistoryItems(), (std::vector<std::wstring>{L"C:\\"}));
    ClearHistory();
    EXPECT_TRUE(HistoryItems().empty());
    g_app.settings.maxHistory = 0;
    MeasuredTarget(L"C:\\E\\");
    EXPECT_TRUE(HistoryItems().empty());
}

TEST(History, IsSavedAtDestructionAndLoadedWhole) {
    const std::wstring longPath = L"C:\\" + std::wstring(197, L'y');   // 200 characters
    {
        MainWindow window;
        g_app.settings.maxHistory = 10;
        MeasuredTarget(L"C:\\old\\");
        MeasuredTarget(longPath + L"\\");
        MeasuredTarget(L"\\\\server\\share\\");
        SendMessageW(g_app.main, WM_COMMAND, IDM_UNIT_MB, 0);
    }
    EXPECT_EQ(StoredHistory(1), L"\\\\server\\share");
    EXPECT_EQ(StoredHistory(2), longPath);
    EXPECT_EQ(StoredHistory(3), L"C:\\old");
    EXPECT_EQ(StoredHistory(4), L"<none>");
    DWORD unit = 0, size = sizeof(unit);
    RegGetValueW(HKEY_CURRENT_USER, kSettingsKey, L"Unit", RRF_RT_REG_DWORD, nullptr, &unit, &size);
    EXPECT_EQ(unit, 2u);   // settings are saved with the history

    // Values are stored without a terminator and come back whole.
    DWORD type = 0, bytes = 0;
    HKEY key = nullptr;
    ASSERT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, kHistoryKey, 0, KEY_QUERY_VALUE, &key), ERROR_SUCCESS);
    RegQueryValueExW(key, L"02", nullptr, &type, nullptr, &bytes);
    RegCloseKey(key);
    EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
    // Written without a terminator; the registry itself may add one when the text in
    // memory is followed by a null, as NT does.
    EXPECT_GE(bytes, longPath.size() * sizeof(wchar_t));
    EXPECT_LE(bytes, (longPath.size() + 1) * sizeof(wchar_t));
    MainWindow again(L"", true);
    EXPECT_EQ(HistoryItems(), (std::vector<std::wstring>{L"\\\\server\\share", longPath, L"C:\\old"}));
    EXPECT_EQ(g_app.settings.unit, 2u);
}

// A damaged entry (too long, empty, not a text) is skipped; the entries after it are
// read and saved again.
TEST(History, ADamagedEntryCostsNoOther) {
    ForgetStoredSettings();
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, kHistoryKey, 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key, nullptr),
              ERROR_SUCCESS);
    auto text = [&](const wchar_t* name, const std::wstring& value) {
        RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                       static_cast<DWORD>(value.size() * sizeof(wchar_t)));
    };
    const DWORD number = 7;
    text(L"01", L"C:\\one");
    text(L"02", std::wstring(5000, L'z'));
    RegSetValueExW(key, L"03", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&number), sizeof(number));
    text(L"04", L"");
    text(L"05", L"C:\\five");
    RegCloseKey(key);
    {
        MainWindow window(L"", true);
        EXPECT_EQ(HistoryItems(), (std::vector<std::wstring>{L"C:\\one", L"C:\\five"}));
    }
    EXPECT_EQ(StoredHistory(1), L"C:\\one");
    EXPECT_EQ(StoredHistory(2), L"C:\\five");
    EXPECT_EQ(StoredHistory(3), L"<none>");
}

TEST(Drives, PathListStaysInStepWithTheBox) {
    MainWindow window;
    const std::vector<std::wstring> before = g_app.drivePaths;
    const int count = BoxCount(g_app.driveBox);
    AddDrive(L"Y:\\", L"Removable (Y:)", 0);
    ASSERT_EQ(BoxCount(g_app.driveBox), count + 1);
    ASSERT_EQ(g_app.drivePaths.size(), before.size() + 1);
    // Sorted in: after every path that compares less.
    size_t at = 0;
    while (at < before.size() && _wcsicmp(before[at].c_str(), L"Y:\\") < 0) ++at;
    EXPECT_EQ(g_app.drivePaths[at], L"Y:\\");
    EXPECT_EQ(BoxItemText(g_app.driveBox, static_cast<int>(at)), L"Removable (Y:)");
    AddDrive(L"y:\\", L"again", 0);   // already listed
    EXPECT_EQ(BoxCount(g_app.driveBox), count + 1);
    AddDrive(L"~last", L"Last", 0);   // sorts after every drive root
    EXPECT_EQ(g_app.drivePaths.back(), L"~last");
    EXPECT_EQ(BoxItemText(g_app.driveBox, BoxCount(g_app.driveBox) - 1), L"Last");
    RemoveDrive(L"Q:\\NotThere");
    EXPECT_EQ(BoxCount(g_app.driveBox), count + 2);
    RemoveDrive(L"Y:\\");
    RemoveDrive(L"~LAST");
    EXPECT_EQ(g_app.drivePaths, before);
    EXPECT_EQ(BoxCount(g_app.driveBox), count);
    for (int i = 0; i < count; ++i) EXPECT_NE(BoxItemText(g_app.driveBox, i), L"Removable (Y:)");
}

TEST(Drives, ArrivalAndRemovalNoticesReachTheBox) {
    MainWindow window;
    const int count = BoxCount(g_app.driveBox);
    // The notice names the drive by an item list, as the shell sends it.
    PIDLIST_ABSOLUTE drive = ILCreateFromPathW(L"Z:\\");
    ASSERT_NE(drive, nullptr);
    RemoveDrive(L"Z:\\");
    ASSERT_EQ(BoxCount(g_app.driveBox), count - 1);
    PCIDLIST_ABSOLUTE lists[2] = {drive, nullptr};
    SendMessageW(g_app.main, kMsgDriveChange, reinterpret_cast<WPARAM>(lists), SHCNE_DRIVEADD);
    EXPECT_EQ(BoxCount(g_app.driveBox), count);
    EXPECT_NE(std::find(g_app.drivePaths.begin(), g_app.drivePaths.end(), L"Z:\\"), g_app.drivePaths.end());
    SendMessageW(g_app.main, kMsgDriveChange, reinterpret_cast<WPARAM>(lists), SHCNE_DRIVEREMOVED);
    EXPECT_EQ(BoxCount(g_app.driveBox), count - 1);
    SendMessageW(g_app.main, kMsgDriveChange, reinterpret_cast<WPARAM>(lists), SHCNE_DRIVEADD);
    ILFree(drive);
}

TEST(MainWindow, AMissingInitialTargetIsReported) {
    MessageBoxCatcher catcher;
    MainWindow window(L"C:\\no\\such\\folder");
    ASSERT_EQ(catcher.boxes().size(), 1u);
    EXPECT_EQ(catcher.boxes()[0].text, L"指定されたフォルダは存在しません. : C:\\no\\such\\folder");
    EXPECT_EQ(catcher.boxes()[0].caption, L"Lurmo");
    EXPECT_EQ(WindowText(g_app.accumulateButton), L"集計(&A)");
    EXPECT_EQ(BoxEditText(g_app.driveBox), L"C:\\no\\such\\folder");
}

TEST(MainWindow, AnEmptyTargetIsAskedFor) {
    MainWindow window;
    MessageBoxCatcher catcher;
    SetBoxEditText(g_app.driveBox, L"");
    SendMessageW(g_app.driveBox, CB_SETCURSEL, static_cast<WPARAM>(-1), 0);
    SendMessageW(g_app.main, WM_COMMAND, IDC_ACCUMULATE_BUTTON, 0);
    ASSERT_EQ(catcher.boxes().size(), 1u);
    EXPECT_EQ(catcher.boxes()[0].text, L"対象を入力してください.");
}

std::wstring g_aboutTexts;

BOOL CALLBACK CollectChildText(HWND child, LPARAM) {
    wchar_t text[128]{};
    GetWindowTextW(child, text, 128);
    g_aboutTexts += text;
    g_aboutTexts += L"|";
    return TRUE;
}

// Finds the modal About box, reads it and closes it.
void CALLBACK ReadAndCloseAbout(HWND, UINT, UINT_PTR id, DWORD) {
    HWND about = FindWindowW(L"#32770", L"Lurmo - バージョン情報");
    if (!about) return;
    KillTimer(nullptr, id);
    EnumChildWindows(about, CollectChildText, 0);
    PostMessageW(about, WM_COMMAND, IDOK, 0);
}

TEST(MainWindow, AboutBoxShowsTheVersion) {
    MainWindow window;
    g_aboutTexts.clear();
    SetTimer(nullptr, 0, 200, ReadAndCloseAbout);
    SendMessageW(g_app.main, WM_COMMAND, IDM_ABOUT, 0);
    EXPECT_NE(g_aboutTexts.find(L"Version 1.10"), std::wstring::npos) << Narrow(g_aboutTexts);
    EXPECT_NE(g_aboutTexts.find(L"OK"), std::wstring::npos);
}

TEST(MainWindow, CopyingElsewhereClearsTheCutMarks) {
    MainWindow window;
    for (const wchar_t* name : {L"a", L"b"}) AppendFileRow(NewFileEntry(name, 1));
    LVITEMW item{};
    item.stateMask = LVIS_CUT;
    item.state = LVIS_CUT;
    SendMessageW(g_app.list, LVM_SETITEMSTATE, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(&item));
    ASSERT_EQ(SendMessageW(g_app.list, LVM_GETITEMSTATE, 1, LVIS_CUT), LVIS_CUT);
    // Another program puts something on the clipboard: the viewer chain tells us.
    ASSERT_TRUE(OpenClipboard(nullptr));
    EmptyClipboard();
    HGLOBAL text = GlobalAlloc(GMEM_MOVEABLE, 4 * sizeof(wchar_t));
    wcscpy_s(static_cast<wchar_t*>(GlobalLock(text)), 4, L"abc");
    GlobalUnlock(text);
    SetClipboardData(CF_UNICODETEXT, text);
    CloseClipboard();
    EXPECT_TRUE(PumpUntil([] {
        return SendMessageW(g_app.list, LVM_GETITEMSTATE, 0, LVIS_CUT) == 0 &&
               SendMessageW(g_app.list, LVM_GETITEMSTATE, 1, LVIS_CUT) == 0;
    }, 3000));
}
