// The list's right-click menus through the real main window: the shell's menu on rows,
// the program's menu with the new-item submenu on empty space, and its owner-drawn
// entries. The new-item types are registered in the test prefix, which has none.
#include <windows.h>
#include <commctrl.h>
#include <shlobj.h>
#include <gtest/gtest.h>

#include <functional>
#include <map>

#include "app/app_state.h"
#include "fileops/context_menu.h"
#include "fileops/file_operations.h"
#include "fileops/new_item_templates.h"
#include "list/menu_entries.h"
#include "tests/fileops_helpers.h"

using namespace lurmo;
using namespace lurmo::test;

namespace {

// Runs a step on every timer tick while the menu loop of a right click runs; the step
// returns true when it is done. A menu left open too long is closed.
std::function<bool()> g_step;
int g_ticks = 0;

void CALLBACK OnMenuTick(HWND, UINT, UINT_PTR, DWORD) {
    if (!g_step) return;
    if (++g_ticks > 300) {
        ADD_FAILURE() << "the menu step never finished";
        g_step = nullptr;
        EndMenu();
    } else if (g_step()) {
        g_step = nullptr;
    }
}

void RightClick(int row, std::function<bool()> step) {
    NMITEMACTIVATE info{};
    info.hdr.hwndFrom = g_app.list;
    info.hdr.idFrom = IDC_RESULT_LIST;
    info.hdr.code = NM_RCLICK;
    info.iItem = row;
    POINT point = row >= 0 ? RowPoint(CellText(row, 0)) : EmptySpacePoint();
    ScreenToClient(g_app.list, &point);
    info.ptAction = point;
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

std::wstring MenuText(HMENU menu, int position) {
    wchar_t text[MAX_PATH]{};
    GetMenuStringW(menu, static_cast<UINT>(position), text, MAX_PATH, MF_BYPOSITION);
    return text;
}

std::wstring Verb(UINT id) {
    wchar_t verb[MAX_PATH]{};
    if (id == 0 || id > 0x7FFF ||
        FAILED(g_app.trackedShellMenu->GetCommandString(id - 1, GCS_VERBW, nullptr, reinterpret_cast<LPSTR>(verb),
                                                        MAX_PATH))) {
        return {};
    }
    return verb;
}

// Walks the highlight down to the item that matches, as the arrow keys do, and takes it.
std::function<bool()> Choose(std::function<bool(UINT id)> wanted) {
    return [wanted] {
        HWND window = FindWindowW(L"#32768", nullptr);
        HMENU menu = OpenMenu();
        if (!menu) return false;
        for (int position = 0; position < GetMenuItemCount(menu); ++position) {
            if (!wanted(GetMenuItemID(menu, position))) continue;
            if (GetMenuState(menu, static_cast<UINT>(position), MF_BYPOSITION) & MF_HILITE) {
                PostMessageW(window, WM_KEYDOWN, VK_RETURN, 0);
                return true;
            }
        }
        PostMessageW(window, WM_KEYDOWN, VK_DOWN, 0);
        return false;
    };
}

// Records the rows whose label edit the list begins.
std::vector<int> g_editedRows;
LRESULT CALLBACK WatchLabelEdits(int code, WPARAM wParam, LPARAM lParam) {
    const auto* call = reinterpret_cast<const CWPSTRUCT*>(lParam);
    if (code == HC_ACTION && call->message == WM_NOTIFY && call->hwnd == g_app.main) {
        const auto* header = reinterpret_cast<const NMHDR*>(call->lParam);
        if (header->code == LVN_BEGINLABELEDITW) {
            g_editedRows.push_back(reinterpret_cast<const NMLVDISPINFOW*>(header)->item.iItem);
        }
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
        RightClick(FindRowByName(names[0]), [] {
            if (!OpenMenu()) return false;
            EXPECT_NE(GetMenuItemID(OpenMenu(), 0), static_cast<UINT>(IDM_SELECTED_FOLDER));
            EXPECT_GT(GetMenuItemCount(OpenMenu()), 3);
            EndMenu();
            return true;
        });
    }
    SelectOnly({L"sub"});
    RightClick(FindRowByName(L"sub"), [] {
        HMENU menu = OpenMenu();
        if (!menu) return false;
        EXPECT_EQ(MenuText(menu, 0), L"選択フォルダへ(&S)");
        EXPECT_EQ(GetMenuState(menu, 1, MF_BYPOSITION) & MF_SEPARATOR, static_cast<UINT>(MF_SEPARATOR));
        g_step = Choose([](UINT id) { return id == IDM_SELECTED_FOLDER; });
        return false;
    });
    EXPECT_TRUE(PumpUntil([&] { return TargetPath() == root / L"sub\\"; }));
}

TEST(RowMenu, TheShellsCutMarksTheRowsAndAPasteThenMoves) {
    TempFolder root, other;
    root.File(L"a.txt", 10);
    root.File(L"b.txt", 20);
    MainWindow window;
    Listen(root.path());
    SelectOnly({L"a.txt"});
    // Other verbs are the shell's own.
    OleSetClipboard(nullptr);
    RightClick(FindRowByName(L"a.txt"), Choose([](UINT id) { return Verb(id) == L"copy"; }));
    EXPECT_TRUE(ClipboardHasFiles());
    EXPECT_EQ(RowState(L"a.txt", LVIS_CUT), 0u);
    RightClick(FindRowByName(L"a.txt"), Choose([](UINT id) { return Verb(id) == L"cut"; }));
    EXPECT_EQ(RowState(L"a.txt", LVIS_CUT), static_cast<UINT>(LVIS_CUT));
    EXPECT_EQ(RowState(L"b.txt", LVIS_CUT), 0u);
    Listen(other.path());
    EXPECT_TRUE(PasteFiles());
    EXPECT_TRUE(Exists(other / L"a.txt"));
    EXPECT_FALSE(Exists(root / L"a.txt"));
}

TEST(RowMenu, SnapshotModeGraysTheVerbsThatChangeItems) {
    TempFolder root;
    root.File(L"a.txt", 10);
    MainWindow window;
    Listen(root.path(), true);
    SelectOnly({L"a.txt"});
    RightClick(FindRowByName(L"a.txt"), [] {
        HMENU menu = OpenMenu();
        if (!menu) return false;
        int grayed = 0;
        for (int position = 0; position < GetMenuItemCount(menu); ++position) {
            const std::wstring verb = Verb(GetMenuItemID(menu, position));
            const bool gray = GetMenuState(menu, static_cast<UINT>(position), MF_BYPOSITION) & MF_GRAYED;
            const bool changes = verb == L"cut" || verb == L"delete" || verb == L"link" || verb == L"paste";
            if (GetMenuItemID(menu, position) == 0) continue;   // separators read as grayed
            EXPECT_EQ(gray, changes) << Narrow(verb);
            grayed += gray;
        }
        EXPECT_EQ(grayed, 3);   // Wine's menu offers no paste
        EndMenu();
        return true;
    });
}

// A shell menu that offers one item, whose verb is the one given.
struct OneVerbMenu : IContextMenu {
    const wchar_t* verb;
    int invoked = 0;
    explicit OneVerbMenu(const wchar_t* v) : verb(v) {}
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void** out) override {
        *out = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return 1; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
    HRESULT STDMETHODCALLTYPE QueryContextMenu(HMENU, UINT, UINT, UINT, UINT) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE InvokeCommand(CMINVOKECOMMANDINFO*) override {
        ++invoked;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetCommandString(UINT_PTR, UINT type, UINT*, LPSTR name, UINT room) override {
        if (type != GCS_VERBW) return E_INVALIDARG;
        lstrcpynW(reinterpret_cast<wchar_t*>(name), verb, static_cast<int>(room));
        return S_OK;
    }
};

// Wine's shell offers no rename item; a shell that does gets the list's own edit.
TEST(RowMenu, TheShellsRenameBeginsTheListsEditOnTheClickedRow) {
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
    EXPECT_EQ(rename.invoked, 0);
    EXPECT_EQ(copy.invoked, 1);
}

namespace {

struct TestType {
    const wchar_t* extension;
    const wchar_t* progId;
    std::wstring name;
    const wchar_t* value;   // the ShellNew value; null for none
    std::wstring data;
    bool icon;
    bool listed;
};

const wchar_t kIcon[] = L"\"%SystemRoot%\\system32\\shell32.dll\",1";

void SetValue(const std::wstring& key, const wchar_t* name, DWORD type, const void* data, DWORD bytes) {
    HKEY handle = nullptr;
    ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, (L"Software\\Classes\\" + key).c_str(), 0, nullptr, 0,
                              KEY_ALL_ACCESS, nullptr, &handle, nullptr), ERROR_SUCCESS);
    RegSetValueExW(handle, name, 0, type, static_cast<const BYTE*>(data), bytes);
    RegCloseKey(handle);
}

void SetText(const std::wstring& key, const wchar_t* name, const std::wstring& text, DWORD type = REG_SZ) {
    SetValue(key, name, type, text.c_str(), static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)));
}

class NewItems : public testing::Test {
protected:
    static std::vector<TestType> Types() {
        return {
            {L".txt", L"LurmoText", L"テキスト ドキュメント", L"NullFile", L"", true, true},
            {L".lurmoabs", L"LurmoAbs", L"絶対 雛形", L"FileName", Absolute(), true, true},
            {L".lurmorel", L"LurmoRel", L"相対雛形", L"FileName", L"lurmo-rel.tpl", true, true},
            {L".lurmocmd", L"LurmoCmd", L"コマンド 雛形", L"Command",
             L"\"%SystemRoot%\\system32\\cmd.exe\" /c echo made> %1", true, true},
            {L".lurmodata", L"LurmoData", L"データ雛形", L"Data", L"", true, true},
            {L".lurmopct", L"LurmoPct", L"二つ目", L"Command", L"cmd.exe /c copy %1 %2", true, false},
            {L".lurmonoicon", L"LurmoNoIcon", L"アイコンなし", L"NullFile", L"", false, false},
            {L".lurmolong", L"LurmoLong", std::wstring(230, L'x'), L"NullFile", L"", true, true},
        };
    }
    static std::wstring Absolute() { return Folder() + L"\\absolute.tpl"; }
    static std::wstring Folder() {
        wchar_t path[MAX_PATH]{};
        GetTempPathW(MAX_PATH, path);
        return std::wstring(path) + L"lurmo-templates";
    }
    static std::wstring SystemTemplates() {
        wchar_t path[MAX_PATH]{};
        ExpandEnvironmentStringsW(L"%SystemRoot%\\ShellNew", path, MAX_PATH);
        return path;
    }

    static void SetUpTestSuite() {
        MakeFolders(Folder());
        MakeFolders(SystemTemplates());
        WriteFileOfSize(Absolute(), 7);
        WriteFileOfSize(SystemTemplates() + L"\\lurmo-rel.tpl", 9);
        wchar_t old[MAX_PATH]{};
        LONG bytes = sizeof(old) - sizeof(wchar_t);
        if (RegQueryValueW(HKEY_CLASSES_ROOT, L".txt", old, &bytes) == ERROR_SUCCESS) oldText_ = old;
        for (const TestType& type : Types()) {
            // The data type's ProgID is stored without its terminator, as some programs do.
            const DWORD terminator = type.value && wcscmp(type.value, L"Data") == 0 ? 0 : 1;
            SetValue(type.extension, nullptr, REG_SZ, type.progId,
                     static_cast<DWORD>((wcslen(type.progId) + terminator) * sizeof(wchar_t)));
            SetText(type.progId, nullptr, type.name);
            if (type.icon) SetText(std::wstring(type.progId) + L"\\DefaultIcon", nullptr, kIcon, REG_EXPAND_SZ);
            const std::wstring shellNew = std::wstring(type.extension) + L"\\ShellNew";
            if (wcscmp(type.value, L"Data") == 0) {
                SetValue(shellNew, L"Data", REG_BINARY, "LURMO\0\x01", 7);
            } else {
                SetText(shellNew, type.value, type.data, REG_EXPAND_SZ);
            }
        }
    }

    static void TearDownTestSuite() {
        for (const TestType& type : Types()) {
            RegDeleteTreeW(HKEY_LOCAL_MACHINE, (std::wstring(L"Software\\Classes\\") + type.progId).c_str());
            if (wcscmp(type.extension, L".txt") != 0) {
                RegDeleteTreeW(HKEY_LOCAL_MACHINE, (std::wstring(L"Software\\Classes\\") + type.extension).c_str());
            }
        }
        RegDeleteTreeW(HKEY_LOCAL_MACHINE, L"Software\\Classes\\.txt\\ShellNew");
        SetText(L".txt", nullptr, oldText_);
        RemoveTree(Folder());
    }

    // The listed types in the order the registry enumerates their extensions.
    static std::vector<std::wstring> ListedNamesInRegistryOrder() {
        std::vector<std::wstring> names;
        wchar_t key[MAX_PATH];
        for (DWORD index = 0;; ++index) {
            DWORD length = MAX_PATH;
            if (RegEnumKeyExW(HKEY_CLASSES_ROOT, index, key, &length, nullptr, nullptr, nullptr, nullptr) !=
                ERROR_SUCCESS) {
                break;
            }
            for (const TestType& type : Types()) {
                if (type.listed && _wcsicmp(type.extension, key) == 0) names.push_back(type.name);
            }
        }
        return names;
    }

    static inline std::wstring oldText_;
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
    RightClick(-1, [&] {
        HMENU popup = OpenMenu();
        if (!popup || !g_app.newItemMenu) return false;
        loaded = popup;
        EXPECT_EQ(MenuText(popup, 5), L"新規作成(&N)");
        EXPECT_EQ(GetSubMenu(popup, 5), g_app.newItemMenu);
        // Offered with nothing on the clipboard.
        EXPECT_FALSE(GetMenuState(popup, 5, MF_BYPOSITION) & MF_GRAYED);
        EXPECT_TRUE(GetMenuState(popup, IDM_PASTE, MF_BYCOMMAND) & MF_GRAYED);
        HMENU menu = g_app.newItemMenu;
        EXPECT_EQ(GetMenuItemID(menu, 0), static_cast<UINT>(IDM_NEW_FOLDER));
        EXPECT_EQ(GetMenuItemID(menu, 1), static_cast<UINT>(IDM_NEW_SHORTCUT));
        EXPECT_EQ(GetMenuState(menu, 2, MF_BYPOSITION) & MF_SEPARATOR, static_cast<UINT>(MF_SEPARATOR));
        std::vector<std::wstring> names;
        for (int position = 3; position < GetMenuItemCount(menu); ++position) {
            MENUITEMINFOW info{};
            info.cbSize = sizeof(info);
            info.fMask = MIIM_DATA | MIIM_ID | MIIM_FTYPE;
            GetMenuItemInfoW(menu, static_cast<UINT>(position), TRUE, &info);
            EXPECT_EQ(info.wID, static_cast<UINT>(IDM_FIRST_TEMPLATE + position - 3));
            EXPECT_TRUE(info.fType & MFT_OWNERDRAW);
            names.push_back(reinterpret_cast<const MenuEntryLook*>(info.dwItemData)->text);
            ids[names.back()] = info.wID;
        }
        EXPECT_EQ(names, ListedNamesInRegistryOrder());
        // The fixed entries answer their keys, in either case.
        for (wchar_t key : {L'f', L'F', L's', L'x'}) {
            const LRESULT answer = SendMessageW(g_app.main, WM_MENUCHAR, MAKEWPARAM(key, MF_POPUP),
                                                reinterpret_cast<LPARAM>(menu));
            EXPECT_EQ(answer, key == L'x' ? 0 : MAKELRESULT(towupper(key) == L'F' ? 0 : 1, MNC_EXECUTE));
        }
        EndMenu();
        return true;
    });
    EXPECT_FALSE(IsMenu(loaded)) << "the loaded menu outlives the right click";
    EXPECT_EQ(g_app.newItemMenu, nullptr);

    LabelEditWatch watch;
    auto make = [&](const std::wstring& name) { SendMessageW(g_app.main, WM_COMMAND, ids.at(name), 0); };
    make(L"テキスト ドキュメント");
    ASSERT_TRUE(PumpUntil([] { return FindRowByName(L"新規テキスト ドキュメント.txt") >= 0; }));
    EXPECT_TRUE(PumpUntil([] { return !g_editedRows.empty(); }));
    EXPECT_EQ(g_editedRows, std::vector<int>{FindRowByName(L"新規テキスト ドキュメント.txt")});
    make(L"テキスト ドキュメント");
    EXPECT_TRUE(Exists(root / L"新規テキスト ドキュメント(1).txt"));
    make(L"絶対 雛形");
    make(L"相対雛形");
    make(L"データ雛形");
    make(L"コマンド 雛形");
    make(std::wstring(230, L'x'));
    EXPECT_EQ(ReadFileBytes(root / L"新規絶対 雛形.lurmoabs").size(), 7u);
    EXPECT_EQ(ReadFileBytes(root / L"新規相対雛形.lurmorel").size(), 9u);
    EXPECT_EQ(ReadFileBytes(root / L"新規データ雛形.lurmodata"), std::string("LURMO\0\x01", 7));
    EXPECT_TRUE(PumpUntil([&] { return Exists(root / L"新規コマンド 雛形.lurmocmd"); }));
    EXPECT_TRUE(PumpUntil([] { return g_app.rowCount == 7; }));
    // A name too long for the program's paths makes nothing.
    EXPECT_FALSE(Exists(root / (L"新規" + std::wstring(230, L'x') + L".lurmolong")));
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

// An entry drawn into a bitmap of its own: its pixels, top-down, one per COLORREF.
std::vector<COLORREF> DrawnEntry(const std::function<void(HDC, const RECT&)>& draw) {
    const int width = 200, height = 20;
    BITMAPINFO info{};
    info.bmiHeader = {sizeof(BITMAPINFOHEADER), width, -height, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
    void* bits = nullptr;
    HDC dc = CreateCompatibleDC(nullptr);
    HBITMAP bitmap = CreateDIBSection(dc, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    HGDIOBJ previous = SelectObject(dc, bitmap);
    draw(dc, RECT{0, 0, width, height});
    GdiFlush();
    std::vector<COLORREF> pixels;
    for (int i = 0; i < width * height; ++i) {
        const DWORD p = static_cast<const DWORD*>(bits)[i];
        pixels.push_back(RGB((p >> 16) & 0xFF, (p >> 8) & 0xFF, p & 0xFF));
    }
    SelectObject(dc, previous);
    DeleteObject(bitmap);
    DeleteDC(dc);
    return pixels;
}

DRAWITEMSTRUCT EntryItem(HDC dc, const RECT& area, const MenuEntryLook& look, UINT state) {
    DRAWITEMSTRUCT item{};
    item.CtlType = ODT_MENU;
    item.itemID = IDM_FIRST_TEMPLATE;
    item.itemState = state;
    item.hDC = dc;
    item.rcItem = area;
    item.itemData = reinterpret_cast<ULONG_PTR>(&look);
    return item;
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
    const std::vector<COLORREF> drawn = DrawnEntry([&](HDC dc, const RECT& area) {
        SetTextColor(dc, RGB(1, 2, 3));
        const DRAWITEMSTRUCT item = EntryItem(dc, area, look, ODS_SELECTED);
        DrawMenuEntry(&item);
        textAfter = GetTextColor(dc);
    });
    const std::vector<COLORREF> icon = DrawnEntry([&](HDC dc, const RECT& area) {
        FillRect(dc, &area, GetSysColorBrush(COLOR_MENUHILIGHT));
        DrawIconEx(dc, 3, 1, look.icon.get(), iconWidth, iconHeight, 0, nullptr, DI_NORMAL);
    });
    int iconPixels = 0, textPixels = 0;
    for (int y = 0; y < 20; ++y) {
        for (int x = 0; x < 200; ++x) {
            const COLORREF pixel = drawn[y * 200 + x];
            if (x < iconWidth + 11) {
                EXPECT_EQ(pixel, icon[y * 200 + x]) << x << "," << y;
                iconPixels += pixel != g_app.menuHighlight;
            } else {
                textPixels += pixel == g_app.menuHighlightText;
            }
        }
    }
    EXPECT_GT(iconPixels, 20);
    EXPECT_GT(textPixels, 10);
    EXPECT_EQ(textAfter, RGB(1, 2, 3));

    // A lone "&" at the end of a type's name draws nothing of its own.
    MenuEntryLook plain{L"雛形", {}}, trailing{L"雛形&", {}};
    auto drawText = [](const MenuEntryLook& entry) {
        return DrawnEntry([&](HDC dc, const RECT& area) {
            const DRAWITEMSTRUCT item = EntryItem(dc, area, entry, 0);
            DrawMenuEntry(&item);
        });
    };
    EXPECT_EQ(drawText(trailing), drawText(plain));
    EXPECT_EQ(MnemonicOf(L"雛形&"), 0);
    EXPECT_EQ(MnemonicOf(L"A&&B&c"), L'C');
}
