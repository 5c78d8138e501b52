// The map pane in the real main window: shown by default, remembered, clicked, and
// following the watch.
#include <windows.h>
#include <commctrl.h>
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "app/target_boxes.h"
#include "list/result_rows.h"
#include "list/watcher.h"
#include "map/file_types_list.h"
#include "map/treemap.h"
#include "map/treemap_pane.h"
#include "state/app_state.h"
#include "tests/test_support.h"
#include "tests/ui_support.h"

using namespace lurmo;
using namespace lurmo::test;

namespace {

void Measure(const std::wstring& folder) {
    SendMessageW(g_app.driveBox, CB_SETCURSEL, static_cast<WPARAM>(-1), 0);
    SetBoxEditText(g_app.driveBox, folder);
    SendMessageW(g_app.main, WM_COMMAND, IDC_ACCUMULATE_BUTTON, 0);
    ASSERT_TRUE(PumpUntil([] { return !g_app.busy.load(); }));
    ASSERT_TRUE(PumpUntil([] { return IsWatching(); }));
}

bool PictureReady() {
    int width = 0, height = 0;
    return CurrentTreemapPicture(width, height) != nullptr;
}

MapSource RowsNow() {
    MapSource source;
    for (int row = 0; row < g_app.rowCount; ++row) source.rows.push_back(RowEntryAt(row));
    return source;
}

// The top-level tiles as the pane lays them out, in the pane's client coordinates.
std::vector<PixelRect> PaneTiles(int& top) {
    RECT client{};
    GetClientRect(g_app.treemap, &client);
    top = TreemapSplitterHeight(g_app.treemap);
    // The list of file types, when shown, takes the right of the pane.
    RECT types{};
    if (IsWindowVisible(FileTypesList())) GetWindowRect(FileTypesList(), &types);
    return TopLevelTiles(RowsNow(), client.right - (types.right - types.left), client.bottom - top);
}

int Area(const PixelRect& r) { return r.Width() * r.Height(); }

}  // namespace

TEST(MapPane, IsFoundByItsClassAndShownInFileOperationMode) {
    MainWindow window;
    ASSERT_NE(g_app.treemap, nullptr);
    EXPECT_EQ(FindWindowExW(window.handle(), nullptr, kTreemapClass, nullptr), g_app.treemap);
    EXPECT_TRUE(IsWindowVisible(g_app.treemap));
    // The list ends where the pane begins.
    RECT list{}, pane{};
    GetWindowRect(g_app.list, &list);
    GetWindowRect(g_app.treemap, &pane);
    EXPECT_EQ(list.bottom, pane.top);
    EXPECT_GT(pane.bottom - pane.top, TreemapMinimumHeight(g_app.treemap));
}

TEST(MapPane, HidingItIsRememberedAndTheListTakesItsPlace) {
    {
        MainWindow window;
        RECT before{};
        GetWindowRect(g_app.list, &before);
        SendMessageW(window.handle(), WM_COMMAND, IDM_VIEW_TREEMAP, 0);
        EXPECT_FALSE(IsWindowVisible(g_app.treemap));
        RECT after{};
        GetWindowRect(g_app.list, &after);
        EXPECT_GT(after.bottom, before.bottom);
        HMENU view = GetSubMenu(GetMenu(window.handle()), 2);
        SendMessageW(window.handle(), WM_INITMENUPOPUP, reinterpret_cast<WPARAM>(view), 2);
        EXPECT_EQ(GetMenuState(view, IDM_VIEW_TREEMAP, MF_BYCOMMAND) & MF_CHECKED, 0u);
    }
    MainWindow again(L"", true);
    EXPECT_FALSE(IsWindowVisible(g_app.treemap));
    SendMessageW(again.handle(), WM_COMMAND, IDM_VIEW_TREEMAP, 0);
    EXPECT_TRUE(IsWindowVisible(g_app.treemap));
}

TEST(MapPane, AClickInsideATileSelectsItsRow) {
    TempFolder root;
    root.File(L"big\\inner\\a.bin", 60000);
    root.File(L"mid.dat", 30000);
    root.File(L"small\\b.txt", 10000);
    MainWindow window;
    Measure(root.path());
    ASSERT_TRUE(PumpUntil(PictureReady));
    int top = 0;
    const std::vector<PixelRect> tiles = PaneTiles(top);
    for (int row = 0; row < g_app.rowCount; ++row) {
        const PixelRect& tile = tiles[row];
        ASSERT_GT(Area(tile), 0) << row;
        const int x = (tile.left + tile.right) / 2, y = top + (tile.top + tile.bottom) / 2;
        SendMessageW(g_app.treemap, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(x, y));
        SendMessageW(g_app.treemap, WM_LBUTTONUP, 0, MAKELPARAM(x, y));
        EXPECT_EQ(SendMessageW(g_app.list, LVM_GETSELECTEDCOUNT, 0, 0), 1);
        EXPECT_EQ(SendMessageW(g_app.list, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_SELECTED), row);
    }
}

TEST(MapPane, AChangeByAnotherProgramChangesTheAreas) {
    TempFolder root;
    root.File(L"grows\\a.bin", 1000);
    root.File(L"stays.bin", 100000);
    MainWindow window;
    Measure(root.path());
    ASSERT_TRUE(PumpUntil(PictureReady));
    const int grows = FindRowByName(L"grows");
    ASSERT_GE(grows, 0);
    int top = 0;
    const int before = Area(PaneTiles(top)[grows]);
    RunHostCommand("head -c 300000 /dev/zero > '" + UnixPath(root / L"grows\\b.bin") + "'");
    // The watch applies the change and the pane draws the new areas, with no new run.
    const unsigned run = g_app.runNumber;
    ASSERT_TRUE(PumpUntil([&] { return Area(PaneTiles(top)[FindRowByName(L"grows")]) > 2 * before && PictureReady(); }));
    EXPECT_EQ(g_app.runNumber, run);
    const PixelRect tile = PaneTiles(top)[FindRowByName(L"grows")];
    int width = 0, height = 0;
    const uint32_t* picture = CurrentTreemapPicture(width, height);
    ASSERT_NE(picture, nullptr);
    // The grown tile is painted, not left as background.
    const int x = tile.left + tile.Width() / 4, y = tile.top + tile.Height() / 4;
    EXPECT_NE(picture[y * width + x], kMapBackground);
}

TEST(MapPane, DuringARunThePictureIsNotShown) {
    TempFolder root;
    root.File(L"x.bin", 5000);
    MainWindow window;
    Measure(root.path());
    ASSERT_TRUE(PumpUntil(PictureReady));
    // A new run makes the old picture stale at once: it names records that are going.
    g_app.busy.store(1);
    EXPECT_FALSE(PictureReady());
    g_app.busy.store(0);
    ++g_app.mapChanges;
    EXPECT_FALSE(PictureReady());
    EXPECT_TRUE(PumpUntil(PictureReady));
}

TEST(MapPane, SelectedFileTypesLightTheirTilesAndDimTheOthers) {
    TempFolder root;
    root.File(L"a.one", 50000);
    root.File(L"b.two", 50000);
    MainWindow window;
    SendMessageW(window.handle(), WM_COMMAND, IDM_VIEW_FILE_TYPES, 0);
    Measure(root.path());
    ASSERT_TRUE(PumpUntil(PictureReady));
    HWND types = FileTypesList();
    ASSERT_TRUE(IsWindowVisible(types));
    ASSERT_TRUE(PumpUntil([&] { return SendMessageW(types, LVM_GETITEMCOUNT, 0, 0) == 2; }));
    int top = 0;
    const std::vector<PixelRect> tiles = PaneTiles(top);
    const int one = FindRowByName(L"a.one"), two = FindRowByName(L"b.two");
    int width = 0, height = 0;
    const auto centre = [&](const PixelRect& t) {
        return CurrentTreemapPicture(width, height)[((t.top + t.bottom) / 2) * width + (t.left + t.right) / 2];
    };
    const uint32_t oneBefore = centre(tiles[one]), twoBefore = centre(tiles[two]);
    // Select the row of ".one" in the types list.
    int typeRow = -1;
    for (int row = 0; row < 2; ++row) {
        if (CellText(types, row, 0) == L".one") typeRow = row;
    }
    ASSERT_GE(typeRow, 0);
    LVITEMW item{};
    item.stateMask = item.state = LVIS_SELECTED;
    SendMessageW(types, LVM_SETITEMSTATE, typeRow, reinterpret_cast<LPARAM>(&item));
    ASSERT_EQ(SelectedFileTypes(types), std::vector<std::wstring>{L"one"});
    ASSERT_TRUE(PumpUntil([&] { return PictureReady() && centre(tiles[two]) != twoBefore; }));
    EXPECT_EQ(centre(tiles[one]), oneBefore);
}

TEST(MapPane, FileTypesAreGrayedInSnapshotMode) {
    MainWindow window;
    HMENU view = GetSubMenu(GetMenu(window.handle()), 2);
    g_app.effect.snapShot = 1;
    SendMessageW(window.handle(), WM_INITMENUPOPUP, reinterpret_cast<WPARAM>(view), 2);
    EXPECT_NE(GetMenuState(view, IDM_VIEW_FILE_TYPES, MF_BYCOMMAND) & MF_GRAYED, 0u);
    g_app.effect.snapShot = 0;
    SendMessageW(window.handle(), WM_INITMENUPOPUP, reinterpret_cast<WPARAM>(view), 2);
    EXPECT_EQ(GetMenuState(view, IDM_VIEW_FILE_TYPES, MF_BYCOMMAND) & MF_GRAYED, 0u);
}

TEST(MapPane, ADoubleClickGoesIntoTheFolderUnderIt) {
    TempFolder root;
    root.File(L"big\\inner\\a.bin", 60000);
    root.File(L"other.bin", 20000);
    MainWindow window;
    Measure(root.path());
    ASSERT_TRUE(PumpUntil(PictureReady));
    int top = 0;
    const PixelRect tile = PaneTiles(top)[FindRowByName(L"big")];
    const int x = (tile.left + tile.right) / 2, y = top + (tile.top + tile.bottom) / 2;
    // The tile under the pointer is the file's: its folder becomes the target.
    SendMessageW(g_app.treemap, WM_LBUTTONDBLCLK, MK_LBUTTON, MAKELPARAM(x, y));
    ASSERT_TRUE(PumpUntil([&] { return !g_app.busy.load() && TargetPath() == root / L"big\\inner\\"; }))
        << Narrow(TargetPath());
    ASSERT_TRUE(PumpUntil([] { return FindRowByName(L"a.bin") >= 0; }));
}

namespace {

// What the right click's menu showed while it was open: taken on a timer tick inside
// the menu's own loop, which then ends it.
struct MenuSeen {
    bool shown = false;
    bool shellMenu = false;          // the shell's menu of the selected rows was tracked
    bool selectedFolderEntry = false;
    std::vector<int> selectedRows;
    std::vector<std::wstring> texts;
};

MenuSeen g_seen;
int g_menuTicks = 0;

void SelectOnlyRow(int row) {
    LVITEMW item{};
    item.stateMask = LVIS_SELECTED;
    SendMessageW(g_app.list, LVM_SETITEMSTATE, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(&item));
    item.state = LVIS_SELECTED;
    SendMessageW(g_app.list, LVM_SETITEMSTATE, row, reinterpret_cast<LPARAM>(&item));
}

void CALLBACK SeeMenu(HWND, UINT, UINT_PTR, DWORD) {
    HWND window = FindWindowW(L"#32768", nullptr);
    HMENU menu = window ? reinterpret_cast<HMENU>(SendMessageW(window, MN_GETHMENU, 0, 0)) : nullptr;
    if (!menu) {
        // Never a hang: a menu that does not come is ended after a few seconds.
        if (++g_menuTicks > 100) EndMenu();
        return;
    }
    if (g_seen.shown) return;
    g_seen.shown = true;
    g_seen.shellMenu = g_app.trackedShellMenu != nullptr;
    for (int position = 0; position < GetMenuItemCount(menu); ++position) {
        if (GetMenuItemID(menu, position) == IDM_SELECTED_FOLDER) g_seen.selectedFolderEntry = true;
        wchar_t text[MAX_PATH]{};
        GetMenuStringW(menu, static_cast<UINT>(position), text, MAX_PATH, MF_BYPOSITION);
        g_seen.texts.push_back(text);
    }
    int row = -1;
    while ((row = static_cast<int>(SendMessageW(g_app.list, LVM_GETNEXTITEM, row, LVNI_SELECTED))) >= 0) {
        g_seen.selectedRows.push_back(row);
    }
    EndMenu();
}

MenuSeen WhileMenuOpen(const std::function<void()>& click) {
    g_seen = MenuSeen{};
    g_menuTicks = 0;
    const UINT_PTR timer = SetTimer(nullptr, 0, 30, SeeMenu);
    click();
    KillTimer(nullptr, timer);
    PumpMessages();
    return g_seen;
}

MenuSeen RightClickTile(const std::wstring& name) {
    int top = 0;
    const PixelRect tile = PaneTiles(top)[FindRowByName(name)];
    const int x = (tile.left + tile.right) / 2, y = top + (tile.top + tile.bottom) / 2;
    return WhileMenuOpen([&] {
        SendMessageW(g_app.treemap, WM_RBUTTONDOWN, MK_RBUTTON, MAKELPARAM(x, y));
        SendMessageW(g_app.treemap, WM_RBUTTONUP, 0, MAKELPARAM(x, y));
    });
}

MenuSeen RightClickRow(const std::wstring& name) {
    const int row = FindRowByName(name);
    SelectOnlyRow(row);
    return WhileMenuOpen([&] {
        NMITEMACTIVATE info{};
        info.hdr = {g_app.list, IDC_RESULT_LIST, static_cast<UINT>(NM_RCLICK)};
        info.iItem = row;
        RECT cell{LVIR_LABEL, 0, 0, 0};
        SendMessageW(g_app.list, LVM_GETITEMRECT, row, reinterpret_cast<LPARAM>(&cell));
        info.ptAction = {cell.left + 2, cell.top + 2};
        SendMessageW(g_app.main, WM_NOTIFY, IDC_RESULT_LIST, reinterpret_cast<LPARAM>(&info));
    });
}

}  // namespace

TEST(MapPane, ARightClickOnATileOpensTheMenuOfItsRow) {
    TempFolder root;
    root.File(L"big\\inner\\a.bin", 60000);
    root.File(L"other.bin", 30000);
    MainWindow window;
    Measure(root.path());
    ASSERT_TRUE(PumpUntil(PictureReady));
    // Whatever was selected before, the menu is the clicked tile's row's, both ways round.
    SelectOnlyRow(FindRowByName(L"other.bin"));
    const MenuSeen folder = RightClickTile(L"big");
    ASSERT_TRUE(folder.shown);
    EXPECT_EQ(folder.selectedRows, std::vector<int>{FindRowByName(L"big")});
    EXPECT_TRUE(folder.shellMenu);
    EXPECT_TRUE(folder.selectedFolderEntry);
    EXPECT_EQ(folder.texts, RightClickRow(L"big").texts);

    const MenuSeen file = RightClickTile(L"other.bin");
    ASSERT_TRUE(file.shown);
    EXPECT_EQ(file.selectedRows, std::vector<int>{FindRowByName(L"other.bin")});
    EXPECT_TRUE(file.shellMenu);
    EXPECT_FALSE(file.selectedFolderEntry);
    EXPECT_EQ(file.texts, RightClickRow(L"other.bin").texts);
}
