// The list's right-click menus through the real main window: the shell's menu on rows,
// the program's menu with the new-item submenu on empty space, its owner-drawn entries.
#include <windows.h>
#include <commctrl.h>
#include <shlobj.h>
#include <gtest/gtest.h>

#include <functional>
#include <map>

#include "state/app_state.h"
#include "fileops/context_menu.h"
#include "fileops/file_operations.h"
#include "fileops/new_item_templates.h"
#include "list/menu_entries.h"
#include "tests/fileops_helpers.h"

using namespace lurmo;
using namespace lurmo::test;

namespace {

// A step run on timer ticks inside the menu loop of a right click until it returns true.
std::function<bool()> g_step;
int g_ticks = 0;

void CALLBACK OnMenuTick(HWND, UINT, UINT_PTR, DWORD) {
    if (g_step && ++g_ticks > 300) {
        ADD_FAILURE() << "the menu step never finished";
        g_step = nullptr;
        EndMenu();
    } else if (g_step && g_step()) {
        g_step = nullptr;
    }
}

void RightClick(const std::wstring& row, std::function<bool()> step) {
    NMITEMACTIVATE info{};
    info.hdr = {g_app.list, IDC_RESULT_LIST, static_cast<UINT>(NM_RCLICK)};
    info.iItem = row.empty() ? -1 : FindRowByName(row);
    info.ptAction = row.empty() ? EmptySpacePoint() : RowPoint(row);
    ScreenToClient(g_app.list, &info.ptAction);
    g_step = std::move(step);
    g_ticks = 0;
    const UINT_PTR timer = SetTimer(nullptr, 0, 30, OnMenuTick);
    SendMessageW(g_app.main, WM_NOTIFY, IDC_RESULT_LIST, reinterpret_cast<LPARAM>(&info));
    KillTimer(nullptr, timer);
    EXPECT_FALSE(g_step) << "no menu was shown";
    g_step = nullptr;
    PumpMessages();
}

HMENU OpenMenu() {
    HWND window = FindWindowW(L"#32768", nullptr);
    return window ? reinterpret_cast<HMENU>(SendMessageW(window, MN_GETHMENU, 0, 0)) : nullptr;
}

std::wstring Verb(UINT id) {
    wchar_t verb[MAX_PATH]{};
    if (id == 0 || id > 0x7FFF) return {};
    g_app.trackedShellMenu->GetCommandString(id - 1, GCS_VERBW, nullptr, reinterpret_cast<LPSTR>(verb), MAX_PATH);
    return verb;
}

// Walks the highlight down to the item that matches, as the arrow keys do, and takes it.
// One key at a time: the next is sent once the menu has moved for the last.
std::function<bool()> Choose(std::function<bool(UINT id)> wanted) {
    return [wanted, movedFrom = -2]() mutable {
        HMENU menu = OpenMenu();
        if (!menu) return false;
        HWND window = FindWindowW(L"#32768", nullptr);
        int highlighted = -1;
        for (int position = 0; position < GetMenuItemCount(menu); ++position) {
            if (GetMenuState(menu, position, MF_BYPOSITION) & MF_HILITE) highlighted = position;
        }
        if (highlighted == movedFrom) return false;
        if (highlighted >= 0 && wanted(GetMenuItemID(menu, highlighted))) {
            PostMessageW(window, WM_KEYDOWN, VK_RETURN, 0);
            return true;
        }
        movedFrom = highlighted;
        PostMessageW(window, WM_KEYDOWN, VK_DOWN, 0);
        return false;
    };
}

// The rows whose label edit the list began while it lived.
std::vector<int> g_editedRows;
LRESULT CALLBACK WatchLabelEdits(int code, WPARAM wParam, LPARAM lParam) {
    const auto* call = reinterpret_cast<const CWPSTRUCT*>(lParam);
    if (call->message == WM_NOTIFY && reinterpret_cast<const NMHDR*>(call->lParam)->code == LVN_BEGINLABELEDITW) {
        g_editedRows.push_back(reinterpret_cast<const NMLVDISPINFOW*>(call->lParam)->item.iItem);
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
}
struct LabelEditWatch {
    HHOOK hook = SetWindowsHookExW(WH_CALLWNDPROC, WatchLabelEdits, nullptr, GetCurrentThreadId());
    LabelEditWatch() { g_editedRows.clear(); }
    ~LabelEditWatch() { UnhookWindowsHookEx(hook); }
};

}  // namespace

TEST(RowMenu, OneFolderStartsWithGoingIntoItAndChoosingItMakesItTheTarget) {
    TempFolder root;
    root.Folder(L"sub");
    root.Folder(L"other");
    root.File(L"a.txt", 10);
    MainWindow window;
    Listen(root.path());
    for (const auto& names : {std::vector<std::wstring>{L"a.txt"}, std::vector<std::wstring>{L"sub", L"other"}}) {
        SelectOnly(names);
        RightClick(names[0], [] {
            if (!OpenMenu()) return false;
            EXPECT_NE(GetMenuItemID(OpenMenu(), 0), static_cast<UINT>(IDM_SELECTED_FOLDER));
            EndMenu();
            return true;
        });
    }
    SelectOnly({L"sub"});
    HMENU shown = nullptr;
    auto choose = Choose([](UINT id) { return id == IDM_SELECTED_FOLDER; });
    RightClick(L"sub", [&] {
        if (!shown) {
            if (!(shown = OpenMenu())) return false;
            wchar_t text[MAX_PATH]{};
            GetMenuStringW(shown, 0, text, MAX_PATH, MF_BYPOSITION);
            EXPECT_STREQ(text, L"選択フォルダへ(&S)");
            EXPECT_TRUE(GetMenuState(shown, 1, MF_BYPOSITION) & MF_SEPARATOR);
        }
        return choose();
    });
    EXPECT_TRUE(PumpUntil([&] { return TargetPath() == root / L"sub\\"; }));
    EXPECT_FALSE(IsMenu(shown)) << "the row menu outlives the right click";
}

TEST(RowMenu, TheShellsCutMarksTheRowsAndAPasteThenMoves) {
    TempFolder root, other;
    root.File(L"a.txt", 10);
    root.File(L"b.txt", 20);
    MainWindow window;
    Listen(root.path());
    SelectOnly({L"a.txt"});
    OleSetClipboard(nullptr);
    RightClick(L"a.txt", Choose([](UINT id) { return Verb(id) == L"copy"; }));   // the shell's own
    EXPECT_TRUE(ClipboardHasFiles());
    RightClick(L"a.txt", Choose([](UINT id) { return Verb(id) == L"cut"; }));
    EXPECT_EQ(RowState(L"a.txt", LVIS_CUT), static_cast<UINT>(LVIS_CUT));
    EXPECT_EQ(RowState(L"b.txt", LVIS_CUT), 0u);
    Listen(other.path());
    EXPECT_TRUE(PasteFiles());
    EXPECT_TRUE(Exists(other / L"a.txt") && !Exists(root / L"a.txt"));
}

TEST(RowMenu, SnapshotModeGraysTheVerbsThatChangeItems) {
    TempFolder root;
    root.File(L"a.txt", 10);
    MainWindow window;
    Listen(root.path(), true);
    SelectOnly({L"a.txt"});
    RightClick(L"a.txt", [] {
        HMENU menu = OpenMenu();
        if (!menu) return false;
        std::wstring grayed;
        for (int position = 0; position < GetMenuItemCount(menu); ++position) {
            const UINT id = GetMenuItemID(menu, position);
            if (id != 0 && (GetMenuState(menu, position, MF_BYPOSITION) & MF_GRAYED)) grayed += Verb(id) + L" ";
        }
        EXPECT_EQ(grayed, L"cut link delete ");   // Wine's menu has no paste
        EndMenu();
        return true;
    });
}

// Wine's shell menu has no rename; a shell whose menu has one gets the list's own edit.
TEST(RowMenu, TheShellsRenameBeginsTheListsEditOnTheClickedRow) {
    struct OneVerbMenu : IContextMenu {
        const wchar_t* verb;
        int invoked = 0;
        explicit OneVerbMenu(const wchar_t* v) : verb(v) {}
        HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void**) override { return E_NOINTERFACE; }
        ULONG STDMETHODCALLTYPE AddRef() override { return 1; }
        ULONG STDMETHODCALLTYPE Release() override { return 1; }
        HRESULT STDMETHODCALLTYPE QueryContextMenu(HMENU, UINT, UINT, UINT, UINT) override { return E_NOTIMPL; }
        HRESULT STDMETHODCALLTYPE InvokeCommand(CMINVOKECOMMANDINFO*) override { return ++invoked, S_OK; }
        HRESULT STDMETHODCALLTYPE GetCommandString(UINT_PTR, UINT, UINT*, LPSTR name, UINT room) override {
            return lstrcpynW(reinterpret_cast<wchar_t*>(name), verb, static_cast<int>(room)), S_OK;
        }
    };
    TempFolder root;
    root.File(L"a.txt", 10);
    root.File(L"b.txt", 10);
    MainWindow window;
    Listen(root.path());
    LabelEditWatch watch;
    OneVerbMenu rename(L"Rename"), copy(L"copy");
    RunShellMenuCommand(&rename, 5, FindRowByName(L"b.txt"));
    RunShellMenuCommand(&copy, 5, FindRowByName(L"b.txt"));
    EXPECT_EQ(g_editedRows, std::vector<int>{FindRowByName(L"b.txt")});
    EXPECT_EQ(rename.invoked + 10 * copy.invoked, 10);
}

namespace {

void SetValue(const std::wstring& key, const wchar_t* name, DWORD type, const void* data, size_t bytes) {
    HKEY handle = nullptr;
    RegCreateKeyExW(HKEY_LOCAL_MACHINE, (L"Software\\Classes\\" + key).c_str(), 0, nullptr, 0, KEY_ALL_ACCESS,
                    nullptr, &handle, nullptr);
    RegSetValueExW(handle, name, 0, type, static_cast<const BYTE*>(data), static_cast<DWORD>(bytes));
    RegCloseKey(handle);
}

void SetText(const std::wstring& key, const wchar_t* name, const std::wstring& text, DWORD type = REG_EXPAND_SZ) {
    SetValue(key, name, type, text.c_str(), (text.size() + 1) * sizeof(wchar_t));
}

struct TestType {
    std::wstring extension, progId, name, value, data;
    bool icon = true, listed = true;
};

std::wstring LongName() { return std::wstring(230, L'x'); }

// Types registered in the test prefix, which has no ShellNew entries of its own.
class NewItems : public testing::Test {
protected:
    TempFolder templates;
    std::wstring oldTextType;
    std::vector<TestType> types{
        {L".txt", L"LurmoText", L"テキスト ドキュメント", L"NullFile", L""},
        {L".lurmoabs", L"LurmoAbs", L"絶対 雛形", L"FileName", templates / L"absolute.tpl"},
        {L".lurmorel", L"LurmoRel", L"相対雛形", L"FileName", L"lurmo-rel.tpl"},
        {L".lurmocmd", L"LurmoCmd", L"コマンド 雛形", L"Command", L"%SystemRoot%\\system32\\cmd.exe /c echo> %1"},
        {L".lurmodata", L"LurmoData", L"データ雛形", L"Data", L""},
        {L".lurmopct", L"LurmoPct", L"二つ目", L"Command", L"cmd.exe /c copy %1 %2", true, false},
        {L".lurmonoicon", L"LurmoNoIcon", L"アイコンなし", L"NullFile", L"", false, false},
        {L".lurmolong", L"LurmoLong", LongName(), L"NullFile", L""},
    };

    void SetUp() override {
        WriteFileOfSize(templates / L"absolute.tpl", 7);
        wchar_t system[MAX_PATH]{};
        ExpandEnvironmentStringsW(L"%SystemRoot%\\ShellNew", system, MAX_PATH);
        MakeFolders(system);
        WriteFileOfSize(std::wstring(system) + L"\\lurmo-rel.tpl", 9);
        wchar_t old[MAX_PATH]{};
        LONG bytes = sizeof(old) - sizeof(wchar_t);
        if (RegQueryValueW(HKEY_CLASSES_ROOT, L".txt", old, &bytes) == ERROR_SUCCESS) oldTextType = old;
        for (const TestType& type : types) {
            SetText(type.extension, nullptr, type.progId, REG_SZ);
            SetText(type.progId, nullptr, type.name, REG_SZ);
            // Quoted and with a variable, in a value not marked for expansion.
            if (type.icon) SetText(type.progId + L"\\DefaultIcon", nullptr, L"\"%SystemRoot%\\system32\\shell32.dll\",1", REG_SZ);
            if (type.value == L"Data") SetValue(type.extension + L"\\ShellNew", L"Data", REG_BINARY, "LURMO\0\x01", 7);
            else SetText(type.extension + L"\\ShellNew", type.value.c_str(), type.data);
        }
    }

    void TearDown() override {
        for (const TestType& type : types) {
            RegDeleteTreeW(HKEY_LOCAL_MACHINE, (L"Software\\Classes\\" + type.progId).c_str());
            RegDeleteTreeW(HKEY_LOCAL_MACHINE, (L"Software\\Classes\\" + type.extension + L"\\ShellNew").c_str());
            if (type.extension != L".txt") RegDeleteTreeW(HKEY_LOCAL_MACHINE, (L"Software\\Classes\\" + type.extension).c_str());
        }
        SetText(L".txt", nullptr, oldTextType, REG_SZ);
    }

    // The names of the listed types in the order the registry enumerates their extensions.
    std::vector<std::wstring> ListedInRegistryOrder() const {
        std::vector<std::wstring> names;
        wchar_t key[MAX_PATH];
        DWORD length = MAX_PATH;
        for (DWORD index = 0; RegEnumKeyExW(HKEY_CLASSES_ROOT, index, key, &length, nullptr, nullptr, nullptr,
                                            nullptr) == ERROR_SUCCESS; ++index, length = MAX_PATH) {
            for (const TestType& type : types) {
                if (type.listed && _wcsicmp(type.extension.c_str(), key) == 0) names.push_back(type.name);
            }
        }
        return names;
    }
};

}  // namespace

TEST_F(NewItems, TheSubmenuOffersTheTemplatesInRegistryOrderAndEachMakesItsItem) {
    TempFolder root;
    root.File(L"a.txt", 10);
    MainWindow window;
    Listen(root.path());
    OleSetClipboard(nullptr);
    HMENU loaded = nullptr;
    std::map<std::wstring, UINT> ids;
    RightClick(L"", [&] {
        HMENU menu = g_app.newItemMenu;
        if (!(loaded = OpenMenu()) || !menu) return false;
        wchar_t text[MAX_PATH]{};
        GetMenuStringW(loaded, 5, text, MAX_PATH, MF_BYPOSITION);
        EXPECT_STREQ(text, L"新規作成(&N)");
        EXPECT_EQ(GetSubMenu(loaded, 5), menu);
        // Offered with nothing on the clipboard, unlike paste.
        EXPECT_FALSE(GetMenuState(loaded, 5, MF_BYPOSITION) & MF_GRAYED);
        EXPECT_TRUE(GetMenuState(loaded, IDM_PASTE, MF_BYCOMMAND) & MF_GRAYED);
        EXPECT_EQ(GetMenuItemID(menu, 0), static_cast<UINT>(IDM_NEW_FOLDER));
        EXPECT_EQ(GetMenuItemID(menu, 1), static_cast<UINT>(IDM_NEW_SHORTCUT));
        EXPECT_TRUE(GetMenuState(menu, 2, MF_BYPOSITION) & MF_SEPARATOR);
        std::vector<std::wstring> names;
        for (int position = 3; position < GetMenuItemCount(menu); ++position) {
            MENUITEMINFOW info{};
            info.cbSize = sizeof(info);
            info.fMask = MIIM_DATA | MIIM_ID | MIIM_FTYPE;
            GetMenuItemInfoW(menu, position, TRUE, &info);
            EXPECT_EQ(info.wID, static_cast<UINT>(IDM_FIRST_TEMPLATE + position - 3));
            EXPECT_TRUE(info.fType & MFT_OWNERDRAW);
            names.push_back(reinterpret_cast<const MenuEntryLook*>(info.dwItemData)->text);
            ids[names.back()] = info.wID;
        }
        EXPECT_EQ(names, ListedInRegistryOrder());
        for (wchar_t key : {L'f', L'F', L's', L'x'}) {
            EXPECT_EQ(SendMessageW(g_app.main, WM_MENUCHAR, MAKEWPARAM(key, MF_POPUP), reinterpret_cast<LPARAM>(menu)),
                      key == L'x' ? 0 : MAKELRESULT(towupper(key) == L'F' ? 0 : 1, MNC_EXECUTE));
        }
        EndMenu();
        return true;
    });
    EXPECT_FALSE(IsMenu(loaded)) << "the loaded menu outlives the right click";

    LabelEditWatch watch;
    auto make = [&](const std::wstring& name) { SendMessageW(g_app.main, WM_COMMAND, ids[name], 0); };
    make(L"テキスト ドキュメント");
    ASSERT_TRUE(PumpUntil([] { return !g_editedRows.empty(); }));
    EXPECT_EQ(g_editedRows, std::vector<int>{FindRowByName(L"新規テキスト ドキュメント.txt")});
    ASSERT_TRUE(PumpUntil([] { return g_app.labelEdit != nullptr; })) << "the new row's name is not open for renaming";
    SendMessageW(g_app.labelEdit, WM_KEYDOWN, VK_ESCAPE, 0);
    for (const wchar_t* name : {L"テキスト ドキュメント", L"絶対 雛形", L"相対雛形", L"データ雛形", L"コマンド 雛形"}) {
        make(name);
    }
    make(LongName());
    EXPECT_TRUE(Exists(root / L"新規テキスト ドキュメント(1).txt"));
    EXPECT_EQ(ReadFileBytes(root / L"新規絶対 雛形.lurmoabs").size(), 7u);
    EXPECT_EQ(ReadFileBytes(root / L"新規相対雛形.lurmorel").size(), 9u);
    EXPECT_EQ(ReadFileBytes(root / L"新規データ雛形.lurmodata"), std::string("LURMO\0\x01", 7));
    EXPECT_TRUE(PumpUntil([&] { return Exists(root / L"新規コマンド 雛形.lurmocmd"); }));
    // A name too long for the program's paths makes nothing.
    EXPECT_FALSE(Exists(root / (L"新規" + LongName() + L".lurmolong")));
}

TEST(NewItemFile, AFileThatAppearedMeanwhileIsLeftAsItIs) {
    TempFolder root;
    WriteFileOfSize(root / L"taken.txt", 5);
    EXPECT_FALSE(WriteNewItemFile(root / L"taken.txt", {'x'}));
    EXPECT_EQ(ReadFileBytes(root / L"taken.txt").size(), 5u);
    EXPECT_TRUE(WriteNewItemFile(root / L"free.txt", {'x'}));
    EXPECT_EQ(ReadFileBytes(root / L"free.txt"), "x");
}

namespace {

// What a drawing leaves in a 200 × 20 bitmap of its own, one COLORREF per pixel.
std::vector<COLORREF> Drawn(const std::function<void(HDC, RECT)>& draw) {
    BITMAPINFO info{};
    info.bmiHeader = {sizeof(BITMAPINFOHEADER), 200, -20, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
    void* bits = nullptr;
    HDC dc = CreateCompatibleDC(nullptr);
    HBITMAP bitmap = CreateDIBSection(dc, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    HGDIOBJ previous = SelectObject(dc, bitmap);
    draw(dc, RECT{0, 0, 200, 20});
    GdiFlush();
    std::vector<COLORREF> pixels;
    for (int i = 0; i < 200 * 20; ++i) {
        const DWORD pixel = static_cast<const DWORD*>(bits)[i];
        pixels.push_back(RGB(pixel >> 16 & 0xFF, pixel >> 8 & 0xFF, pixel & 0xFF));
    }
    SelectObject(dc, previous);
    DeleteObject(bitmap);
    DeleteDC(dc);
    return pixels;
}

std::vector<COLORREF> DrawnEntry(const MenuEntryLook& look, UINT state, COLORREF* textAfter = nullptr) {
    return Drawn([&](HDC dc, RECT area) {
        SetTextColor(dc, RGB(1, 2, 3));
        const auto data = reinterpret_cast<ULONG_PTR>(&look);
        DRAWITEMSTRUCT item{ODT_MENU, 0, IDM_FIRST_TEMPLATE, 0, state, nullptr, dc, area, data};
        DrawMenuEntry(&item);
        if (textAfter) *textAfter = GetTextColor(dc);
    });
}

}  // namespace

TEST(MenuEntries, AnEntryIsMeasuredAndDrawnWithItsIconInTheMenuColours) {
    MenuEntryLook look{L"雛形(&T)", {}};
    ExtractIconExW(L"shell32.dll", 1, nullptr, look.icon.put(), 1);
    ASSERT_TRUE(look.icon);
    g_app.menuHighlight = GetSysColor(COLOR_MENUHILIGHT);
    g_app.menuHighlightText = GetSysColor(COLOR_HIGHLIGHTTEXT);
    const int iconWidth = GetSystemMetrics(SM_CXSMICON), iconHeight = GetSystemMetrics(SM_CYSMICON);
    MEASUREITEMSTRUCT measure{ODT_MENU, 0, IDM_FIRST_TEMPLATE, 0, 0, reinterpret_cast<ULONG_PTR>(&look)};
    MeasureMenuEntry(&measure);
    EXPECT_GT(measure.itemWidth, static_cast<UINT>(iconWidth + 11 + 20));
    EXPECT_GE(measure.itemHeight, static_cast<UINT>(iconHeight + 2));

    COLORREF textAfter = 0;
    const std::vector<COLORREF> entry = DrawnEntry(look, ODS_SELECTED, &textAfter);
    const std::vector<COLORREF> icon = Drawn([&](HDC dc, RECT area) {
        FillRect(dc, &area, GetSysColorBrush(COLOR_MENUHILIGHT));
        DrawIconEx(dc, 3, 1, look.icon.get(), iconWidth, iconHeight, 0, nullptr, DI_NORMAL);
    });
    int iconPixels = 0, textPixels = 0;
    for (int i = 0; i < 200 * 20; ++i) {
        if (i % 200 < iconWidth + 11) {
            EXPECT_EQ(entry[i], icon[i]) << i;
            iconPixels += entry[i] != g_app.menuHighlight;
        } else {
            textPixels += entry[i] == g_app.menuHighlightText;
        }
    }
    EXPECT_GT(iconPixels, 20);
    EXPECT_GT(textPixels, 10);
    EXPECT_EQ(textAfter, RGB(1, 2, 3));
    // A lone "&" at the end of a type's name draws nothing of its own.
    EXPECT_EQ(DrawnEntry({L"雛形&", {}}, 0), DrawnEntry({L"雛形", {}}, 0));
}

// A separator, a colon or a quote in a type's name would make the item outside the
// target, a stream, or a broken command line.
TEST(NewItemName, CharactersNoFileNameCanHoldBecomeUnderscores) {
    EXPECT_EQ(SafeItemName(L"..\\up/a:b*c?d\"e<f>g|h"), L".._up_a_b_c_d_e_f_g_h");
    EXPECT_EQ(SafeItemName(L"普通 の名前"), L"普通 の名前");
}

// A program path with blanks is found whether or not the registry quotes it.
TEST(NewItemCommand, AProgramPathWithBlanksIsFoundQuotedOrNot) {
    TempFolder root;
    root.File(L"with blank\\tool.exe", 1);
    const std::wstring program = root / L"with blank\\tool.exe";
    std::wstring found, parameters;
    SplitCommandLine(program + L" /new \"x y.txt\"", found, parameters);
    EXPECT_EQ(found, program);
    EXPECT_EQ(parameters, L"/new \"x y.txt\"");
    SplitCommandLine(L"\"" + program + L"\" \"x.txt\"", found, parameters);
    EXPECT_EQ(found, program);
    EXPECT_EQ(parameters, L"\"x.txt\"");
    SplitCommandLine(root / L"with blank\\tool /n", found, parameters);
    EXPECT_EQ(found, root / L"with blank\\tool");
    EXPECT_EQ(parameters, L"/n");
}

// Data that does not fit the disk leaves no short file behind.
TEST(NewItemFile, AWriteThatRunsOutOfRoomLeavesNoFile) {
    SmallDisk disk;
    if (disk.path().empty()) GTEST_SKIP() << "no small file system mounted (tests/make_small_disk.sh)";
    disk.LeaveFree(8192);
    EXPECT_FALSE(WriteNewItemFile(disk / L"new.bin", std::vector<BYTE>(60000, 'x')));
    EXPECT_FALSE(Exists(disk / L"new.bin"));
}
