// Renaming a row in place through the list's own label edit, as the user types it, with
// the change watcher following the target all along.
#include <windows.h>
#include <commctrl.h>
#include <shlwapi.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <vector>

#include "state/app_state.h"
#include "fileops/file_operations.h"
#include "list/result_rows.h"
#include "tests/fileops_dialog_hook.h"
#include "tests/fileops_helpers.h"
#include "tests/key_input.h"

using namespace lurmo;
using namespace lurmo::test;

namespace {

// F2 on the row: the edit the user types into.
HWND StartEdit(const std::wstring& name) {
    SelectOnly({name});
    SendMessageW(g_app.main, WM_COMMAND, IDM_RENAME, 0);
    return g_app.labelEdit;
}

std::wstring EditText(HWND edit) {
    wchar_t text[MAX_PATH]{};
    GetWindowTextW(edit, text, MAX_PATH);
    return text;
}

// The edit's text replaced (as a paste does) and Enter pressed; the refused edit's
// reopening is let through.
void EndEdit(HWND edit, const std::wstring& text) {
    SetWindowTextW(edit, text.c_str());
    SendMessageW(edit, WM_KEYDOWN, VK_RETURN, 0);
    PumpMessages();
}

struct Boxes {
    std::vector<std::wstring> texts;
    std::function<void()> whileShown;
    DialogAnswerer answerer{[this](HWND box) {
        texts.push_back(DialogAnswerer::BoxText(box));
        if (whileShown) whileShown();
        PostMessageW(box, WM_COMMAND, IDOK, 0);
    }};
};

int IconOf(const std::wstring& name) {
    LVITEMW item{};
    item.mask = LVIF_IMAGE;
    item.iItem = FindRowByName(name);
    SendMessageW(g_app.list, LVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&item));
    return item.iImage;
}

// Every change before this one has been applied once the watcher lists the new file.
void WaitForWatcher(const TempFolder& root, const std::wstring& marker) {
    root.File(marker, 1);
    ASSERT_TRUE(PumpUntil([&] { return FindRowByName(marker) >= 0; }));
}

// The names in a folder, as the file system lists them.
std::set<std::wstring> NamesIn(const std::wstring& folder) {
    std::set<std::wstring> names;
    WIN32_FIND_DATAW data{};
    HANDLE find = FindFirstFileW((folder + L"\\*").c_str(), &data);
    if (find == INVALID_HANDLE_VALUE) return names;
    do {
        if (wcscmp(data.cFileName, L".") && wcscmp(data.cFileName, L"..")) names.insert(data.cFileName);
    } while (FindNextFileW(find, &data));
    FindClose(find);
    return names;
}

// The rows as a fresh measurement would list them: names and the grand total.
void ExpectListEqualsDisk(const std::wstring& folder) {
    std::set<std::wstring> listed;
    for (int row = 0; row < g_app.rowCount; ++row) listed.insert(RowEntryAt(row)->name);
    EXPECT_EQ(listed, NamesIn(folder));
    EXPECT_EQ(static_cast<int>(SendMessageW(g_app.list, LVM_GETITEMCOUNT, 0, 0)), g_app.rowCount.load());
}

// One refusal with this text; the edit it reopened is then ended with Esc.
void ExpectOneRefusal(const Boxes& boxes, const std::wstring& text) {
    ASSERT_EQ(boxes.texts.size(), 1u);
    EXPECT_EQ(boxes.texts[0], text);
    SendMessageW(g_app.labelEdit, WM_KEYDOWN, VK_ESCAPE, 0);
    PumpMessages();
}

std::wstring ClipboardText() {
    std::wstring text;
    if (!OpenClipboard(nullptr)) return text;
    if (HANDLE data = GetClipboardData(CF_UNICODETEXT)) {
        if (const auto* chars = static_cast<const wchar_t*>(GlobalLock(data))) {
            text = chars;
            GlobalUnlock(data);
        }
    }
    CloseClipboard();
    return text;
}

void SetClipboardText(const std::wstring& text) {
    OleSetClipboard(nullptr);
    ASSERT_TRUE(OpenClipboard(nullptr));
    EmptyClipboard();
    HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, (text.size() + 1) * sizeof(wchar_t));
    memcpy(GlobalLock(block), text.c_str(), (text.size() + 1) * sizeof(wchar_t));
    GlobalUnlock(block);
    SetClipboardData(CF_UNICODETEXT, block);
    CloseClipboard();
}


}  // namespace

// F2, typing, Ctrl+V and Esc pressed as keys: with files on the clipboard the paste is
// the edit's, not the folder's, and Esc leaves the folder and the name as they were.
TEST(Rename, KeysPressedWhileANameIsEditedLeaveTheFolderAlone) {
    TempFolder root, other;
    root.File(L"a.txt", 1);
    root.File(L"b.txt", 2);
    other.File(L"c.txt", 3);
    MainWindow window;
    Listen(root.path());
    ASSERT_EQ(RunPeer(L"files 1 " + Quoted(other / L"c.txt")), 0u);
    ASSERT_TRUE(ClipboardHasFiles());
    SelectOnly({L"a.txt"});
    BringToFront();
    PressKey(VK_F2);
    ASSERT_TRUE(g_app.labelEdit) << "F2 opened no edit";
    ASSERT_EQ(GetFocus(), g_app.labelEdit);
    TypeLetters("zq");
    PressKey('V', true);
    EXPECT_EQ(EditText(g_app.labelEdit), L"zq");
    EXPECT_EQ(NamesIn(root.path()), (std::set<std::wstring>{L"a.txt", L"b.txt"}));
    PressKey(VK_ESCAPE);
    EXPECT_FALSE(g_app.labelEdit);
    EXPECT_EQ(NamesIn(root.path()), (std::set<std::wstring>{L"a.txt", L"b.txt"}));
    EXPECT_EQ(CellText(FindRowByName(L"a.txt"), 0), L"a.txt");
    EXPECT_EQ(NamesIn(other.path()), (std::set<std::wstring>{L"c.txt"}));
}

// Ctrl+A, C, X, V and Z, Delete and Backspace edit the text and the clipboard keeps the
// user's text: no row is selected, cut-marked or put on the clipboard meanwhile.
TEST(Rename, ClipboardKeysActOnTheEditedText) {
    TempFolder root;
    root.File(L"a.txt", 1);
    root.File(L"b.txt", 2);
    root.File(L"c.txt", 3);
    MainWindow window;
    Listen(root.path());
    SetClipboardText(L"note");
    SelectOnly({L"b.txt"});
    BringToFront();
    PressKey(VK_F2);
    ASSERT_TRUE(g_app.labelEdit);
    PressKey('A', true);
    PressKey('V', true);
    EXPECT_EQ(EditText(g_app.labelEdit), L"note");
    PressKey(VK_BACK);
    PressKey(VK_HOME);
    PressKey(VK_DELETE);
    EXPECT_EQ(EditText(g_app.labelEdit), L"ot");
    PressKey('A', true);
    PressKey('C', true);
    EXPECT_EQ(ClipboardText(), L"ot");
    PressKey('X', true);
    EXPECT_EQ(EditText(g_app.labelEdit), L"");
    // Wine's edit undoes the cut together with the deletes before it.
    PressKey('Z', true);
    const std::wstring undone = EditText(g_app.labelEdit);
    EXPECT_TRUE(undone.size() >= 2 && undone.compare(undone.size() - 2, 2, L"ot") == 0) << Narrow(undone);
    EXPECT_FALSE(ClipboardHasFiles());
    EXPECT_EQ(SendMessageW(g_app.list, LVM_GETSELECTEDCOUNT, 0, 0), 1);
    EXPECT_EQ(SendMessageW(g_app.list, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_CUT), -1);
    PressKey(VK_ESCAPE);
    EXPECT_EQ(NamesIn(root.path()), (std::set<std::wstring>{L"a.txt", L"b.txt", L"c.txt"}));
    EXPECT_EQ(ClipboardText(), L"ot");
}

// A command on the rows sent while a name is edited is not carried out, and the edit
// menu shows it grayed.
TEST(Rename, RowCommandsWaitWhileANameIsEdited) {
    TempFolder root;
    root.File(L"a.txt", 1);
    root.File(L"b.txt", 2);
    MainWindow window;
    Listen(root.path());
    SetClipboardText(L"note");
    ASSERT_TRUE(StartEdit(L"a.txt"));
    for (UINT id : {IDM_SELECT_ALL, IDM_CUT, IDM_COPY}) SendMessageW(g_app.main, WM_COMMAND, id, 0);
    EXPECT_EQ(SendMessageW(g_app.list, LVM_GETSELECTEDCOUNT, 0, 0), 1);
    EXPECT_EQ(SendMessageW(g_app.list, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_CUT), -1);
    EXPECT_EQ(ClipboardText(), L"note");
    SendMessageW(g_app.main, WM_INITMENUPOPUP, reinterpret_cast<WPARAM>(g_app.editMenu), 1);
    for (UINT id : {IDM_CUT, IDM_COPY, IDM_DELETE, IDM_RENAME}) {
        EXPECT_TRUE(GetMenuState(g_app.editMenu, id, MF_BYCOMMAND) & MF_GRAYED) << id;
    }
    SendMessageW(g_app.labelEdit, WM_KEYDOWN, VK_ESCAPE, 0);
    PumpMessages();
    SendMessageW(g_app.main, WM_INITMENUPOPUP, reinterpret_cast<WPARAM>(g_app.editMenu), 1);
    EXPECT_FALSE(GetMenuState(g_app.editMenu, IDM_CUT, MF_BYCOMMAND) & MF_GRAYED);
}

// After a refusal the edit opens again on the row being renamed, though the selection
// moved to another row meanwhile, and the next name renames that row only.
TEST(Rename, ARefusedNameReopensOnTheRowBeingRenamed) {
    TempFolder root;
    root.File(L"a.txt", 1);
    root.File(L"b.txt", 2);
    root.File(L"c.txt", 3);
    MainWindow window;
    Listen(root.path());
    Boxes boxes;
    boxes.whileShown = [] { SelectOnly({L"a.txt"}); };
    EndEdit(StartEdit(L"c.txt"), L"b.txt");
    ASSERT_EQ(boxes.texts.size(), 1u);
    ASSERT_TRUE(g_app.labelEdit);
    EndEdit(g_app.labelEdit, L"d.txt");
    EXPECT_EQ(NamesIn(root.path()), (std::set<std::wstring>{L"a.txt", L"b.txt", L"d.txt"}));
}

// A name that differs only in case is a rename, though the system finds the old file
// under the new name.
TEST(Rename, ACaseOnlyChangeRenames) {
    TempFolder root;
    root.File(L"a.txt", 5);
    root.File(L"dir\\x.bin", 1);
    MainWindow window;
    Listen(root.path());
    Boxes boxes;
    EndEdit(StartEdit(L"a.txt"), L"A.txt");
    EndEdit(StartEdit(L"dir"), L"Dir");
    EXPECT_TRUE(boxes.texts.empty());
    WaitForWatcher(root, L"marker");
    EXPECT_EQ(NamesIn(root.path()), (std::set<std::wstring>{L"A.txt", L"Dir", L"marker"}));
    EXPECT_EQ(CellText(FindRowByName(L"A.txt"), 0), L"A.txt");
    EXPECT_EQ(CellText(FindRowByName(L"Dir"), 0), L"Dir");
    EXPECT_TRUE(Exists(root / L"Dir\\x.bin"));
}

TEST(Rename, InvalidNamesAreSwallowedOrReportedAndTheEditReopens) {
    TempFolder root;
    root.File(L"a.txt", 1);
    MainWindow window;
    Listen(root.path());
    Boxes boxes;
    HWND edit = StartEdit(L"a.txt");
    ASSERT_TRUE(edit);
    SetWindowTextW(edit, L"ab");
    SendMessageW(edit, EM_SETSEL, 2, 2);
    SendMessageW(edit, WM_CHAR, L':', 0);
    SendMessageW(edit, WM_CHAR, L'c', 0);
    EXPECT_EQ(EditText(edit), L"abc");
    // Pasted, it is caught as the edit ends; of several, the earliest of the list.
    EndEdit(edit, L"x:y.txt");
    EndEdit(g_app.labelEdit, L"x?y\\z.txt");
    ASSERT_EQ(boxes.texts.size(), 2u);
    EXPECT_EQ(boxes.texts[0], L"ファイル名に含めることのできない文字が含まれています. \":\"");
    EXPECT_EQ(boxes.texts[1], L"ファイル名に含めることのできない文字が含まれています. \"\\\"");
    // An empty name reopens without a word; Esc ends the edit for good.
    EndEdit(g_app.labelEdit, L"");
    EXPECT_EQ(boxes.texts.size(), 2u);
    ASSERT_TRUE(g_app.labelEdit);
    EXPECT_EQ(EditText(g_app.labelEdit), L"a.txt");
    SendMessageW(g_app.labelEdit, WM_KEYDOWN, VK_ESCAPE, 0);
    PumpMessages();
    EXPECT_FALSE(g_app.labelEdit);
    EXPECT_TRUE(Exists(root / L"a.txt"));
    EXPECT_EQ(CellText(FindRowByName(L"a.txt"), 0), L"a.txt");
}

// A fresh prefix gives .txt and .bmp the same icon: the new name's type has its own.
TEST(Rename, TheRowTakesTheNewNameAndIconWithoutBeingListedAgain) {
    const wchar_t* kType = L"Software\\Classes\\LurmoTest.Picture";
    const wchar_t icon[] = L"C:\\windows\\system32\\shell32.dll,5";
    SHSetValueW(HKEY_LOCAL_MACHINE, L"Software\\Classes\\.lurmopic", nullptr, REG_SZ, L"LurmoTest.Picture",
                sizeof(L"LurmoTest.Picture"));
    SHSetValueW(HKEY_LOCAL_MACHINE, (std::wstring(kType) + L"\\DefaultIcon").c_str(), nullptr, REG_SZ, icon, sizeof(icon));
    TempFolder root;
    root.File(L"a.txt", 5);
    root.File(L"other.txt", 7);
    MainWindow window;
    Listen(root.path());
    const RowEntry* entry = RowEntryAt(FindRowByName(L"a.txt"));
    const int textIcon = IconOf(L"a.txt");
    EndEdit(StartEdit(L"a.txt"), L"a.lurmopic");
    SHDeleteKeyW(HKEY_LOCAL_MACHINE, L"Software\\Classes\\.lurmopic");
    SHDeleteKeyW(HKEY_LOCAL_MACHINE, kType);
    EXPECT_TRUE(Exists(root / L"a.lurmopic"));
    EXPECT_FALSE(Exists(root / L"a.txt"));
    WaitForWatcher(root, L"marker");
    const int row = FindRowByName(L"a.lurmopic");
    ASSERT_GE(row, 0);
    EXPECT_EQ(RowEntryAt(row), entry);
    EXPECT_EQ(CellText(row, 0), L"a.lurmopic");
    EXPECT_NE(IconOf(L"a.lurmopic"), textIcon);
    EXPECT_EQ(g_app.rowCount, 3);
    EXPECT_EQ(g_app.grandTotal, 13u);
}

// Windows keeps no trailing dots or blanks: the row shows the name the file really got.
TEST(Rename, TheRowShowsTheNameAsStored) {
    TempFolder root;
    root.File(L"a.txt", 5);
    MainWindow window;
    Listen(root.path());
    EndEdit(StartEdit(L"a.txt"), L"b.txt. .");
    ASSERT_TRUE(Exists(root / L"b.txt"));
    const int row = FindRowByName(L"b.txt");
    ASSERT_GE(row, 0);
    EXPECT_EQ(CellText(row, 0), L"b.txt");
    EXPECT_EQ(RowEntryAt(row)->name, L"b.txt");
}

// The paths are made whole: a name that the target has no room for is refused, not cut.
TEST(Rename, ANewPathTooLongIsRefusedNotCut) {
    TempFolder root;
    const std::wstring deep = root / std::wstring(200 - root.path().size(), L'd');
    MakeFolders(deep);
    WriteFileOfSize(deep + L"\\a.txt", 1);
    MainWindow window;
    Listen(deep);
    Boxes boxes;
    const std::wstring name = std::wstring(70, L'n') + L".txt";
    EndEdit(StartEdit(L"a.txt"), name);
    ASSERT_NO_FATAL_FAILURE(ExpectOneRefusal(boxes, L"パスが長すぎます. : " + deep + L"\\" + name));
    ExpectListEqualsDisk(deep);
    EXPECT_TRUE(Exists(deep + L"\\a.txt"));
}

// An existing name is refused and the file keeps its name; what another program changes
// meanwhile is not lost, as the watch goes on.
TEST(Rename, AnExistingNameIsRefusedAndTheListStaysLive) {
    TempFolder root;
    root.File(L"a.txt", 1);
    root.File(L"b.txt", 2);
    MainWindow window;
    Listen(root.path());
    Boxes boxes;
    boxes.whileShown = [&] { root.File(L"meanwhile.txt", 40); };
    EndEdit(StartEdit(L"a.txt"), L"b.txt");
    ASSERT_NO_FATAL_FAILURE(ExpectOneRefusal(boxes, L"指定された名前は既に存在しています."));
    EXPECT_TRUE(PumpUntil([] { return FindRowByName(L"meanwhile.txt") >= 0; }));
    ExpectListEqualsDisk(root.path());
    EXPECT_EQ(g_app.grandTotal, 43u);
}

// A renamed folder is followed inside, too (Wine's watch goes on naming it by its old
// name, so there the target is measured afresh).
TEST(Rename, ARenamedFolderIsStillFollowed) {
    TempFolder root;
    root.File(L"d\\sub\\x.bin", 10);
    MainWindow window;
    Listen(root.path());
    EndEdit(StartEdit(L"d"), L"e");
    ASSERT_TRUE(Exists(root / L"e\\sub\\x.bin"));
    root.File(L"e\\sub\\y.bin", 90);
    EXPECT_TRUE(PumpUntil([] { return g_app.grandTotal == 100u; }));
    EXPECT_EQ(RowEntryAt(FindRowByName(L"e"))->size, 100u);
    ExpectListEqualsDisk(root.path());
}

// The shell's path rules make "g." into "g": the rename acts on the row's own item.
TEST(Rename, ARowWhoseNameEndsInADotIsTheOneRenamed) {
    TempFolder root;
    root.File(L"g", 1);
    HANDLE file = CreateFileW((L"\\\\?\\" + (root / L"g.")).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    CloseHandle(file);
    MainWindow window;
    Listen(root.path());
    EndEdit(StartEdit(L"g."), L"renamed");
    EXPECT_TRUE(Exists(root / L"renamed"));
    EXPECT_EQ(ReadFileBytes(root / L"g").size(), 1u);
    EXPECT_EQ(ReadFileBytes(root / L"renamed").size(), 0u);
}
