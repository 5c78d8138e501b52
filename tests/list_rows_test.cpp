// Rows written into a real list view and the status bar texts.
#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>
#include <shlobj.h>

#include "state/app_state.h"
#include "list/number_format.h"
#include "list/result_rows.h"
#include "tests/ui_support.h"

using namespace lurmo;
using namespace lurmo::test;

namespace {

int RowCountOfList() { return static_cast<int>(SendMessageW(g_app.list, LVM_GETITEMCOUNT, 0, 0)); }

void AddTotal(const RowEntry* entry) { g_app.grandTotal += entry->size; }

HWND ListViewHeader() { return reinterpret_cast<HWND>(SendMessageW(g_app.list, LVM_GETHEADER, 0, 0)); }

}  // namespace

TEST(ResultRows, CellsOfFileAndFolderRows) {
    ListWindow window;
    const FILETIME time = LocalTime(2010, 3, 7, 9, 5, 0);
    EXPECT_EQ(ColumnCaption(0), L"名前");
    EXPECT_EQ(ColumnCaption(1), L"サイズ(Byte)");
    EXPECT_EQ(ColumnCaption(2), L"%");
    EXPECT_EQ(ColumnCaption(3), L"更新日時");

    AppendFolderRow(NewFolderEntry(L"Docs", 1234567, time));
    AppendFileRow(NewFileEntry(L"a.txt", 999, time));
    EXPECT_EQ(g_app.rowCount, 2);
    EXPECT_EQ(RowCountOfList(), 2);
    EXPECT_EQ(CellText(0, 0), L"Docs");
    EXPECT_EQ(CellText(0, 1), L"1,234,567");
    EXPECT_EQ(CellText(0, 2), L"");   // no percent until the caller refreshes them
    EXPECT_EQ(CellText(0, 3), L"2010/03/07 09:05:00");
    EXPECT_EQ(CellText(1, 1), L"999");
    EXPECT_EQ(RowEntryAt(1)->name, L"a.txt");
    EXPECT_EQ(RowEntryAt(5), nullptr);
}

TEST(ResultRows, DateMovesToColumnFourWithTheBarGraph) {
    ListWindow window(false, true);
    EXPECT_EQ(g_app.dateColumn, 4);
    EXPECT_EQ(ColumnCaption(3), L"");
    EXPECT_EQ(ColumnCaption(4), L"更新日時");
    AppendFileRow(NewFileEntry(L"f", 1, LocalTime(2020, 1, 2, 3, 4, 5)));
    EXPECT_EQ(CellText(0, 3), L"");
    EXPECT_EQ(CellText(0, 4), L"2020/01/02 03:04:05");

    // Hiding the graph at the next run takes the column away again.
    g_app.effect.displayGraph = 0;
    ApplyBarGraphColumn();
    EXPECT_EQ(g_app.dateColumn, 3);
    EXPECT_EQ(ColumnCaption(3), L"更新日時");
    EXPECT_EQ(CellText(0, 3), L"2020/01/02 03:04:05");
}

TEST(ResultRows, ShortcutRuleMarksOnlyTheLnkExtension) {
    ListWindow window;
    FileEntry* setup = NewFileEntry(L"Setup.LNK", 1);
    FileEntry* notes = NewFileEntry(L"notes.lnk.txt", 1);
    FileEntry* bare = NewFileEntry(L"README", 1);
    AppendFileRow(setup);
    AppendFileRow(notes);
    AppendFileRow(bare);
    EXPECT_TRUE(setup->kind & kKindShortcut);
    EXPECT_FALSE(notes->kind & kKindShortcut);
    EXPECT_FALSE(bare->kind & kKindShortcut);
    // A folder never takes the shortcut bit, whatever its name.
    FolderEntry* folder = NewFolderEntry(L"links.lnk", 0);
    AppendFolderRow(folder);
    EXPECT_FALSE(folder->kind & kKindShortcut);
}

TEST(ResultRows, PercentagesAndTotals) {
    ListWindow window;
    FolderEntry* big = NewFolderEntry(L"big", 2000);
    FileEntry* small = NewFileEntry(L"small", 1000);
    FileEntry* empty = NewFileEntry(L"empty", 0);
    for (RowEntry* entry : {static_cast<RowEntry*>(big), static_cast<RowEntry*>(small), static_cast<RowEntry*>(empty)})
        AddTotal(entry);
    AppendFolderRow(big);
    AppendFileRow(small);
    AppendFileRow(empty);
    RefreshPercentages();
    EXPECT_EQ(CellText(0, 2), L"66.7");
    EXPECT_EQ(CellText(1, 2), L"33.3");
    EXPECT_EQ(CellText(2, 2), L"0.0");

    RefreshStatusBar();
    EXPECT_EQ(StatusText(0), L" 3 個");
    EXPECT_EQ(StatusText(1), L"合計：3,000 Bytes");

    // With the total gone to 0 the cells keep their last text.
    g_app.grandTotal = 0;
    RefreshPercentages();
    EXPECT_EQ(CellText(0, 2), L"66.7");
}

// Only cells whose text changes are written again: a row whose size changed while the
// total stayed, a row that came since, and a row whose share moved with the total must
// all read right.
TEST(ResultRows, SharesFollowSizesWhenOnlySomeCellsChange) {
    ListWindow window;
    FileEntry* a = NewFileEntry(L"a", 100);
    FileEntry* b = NewFileEntry(L"b", 300);
    AppendFileRow(a);
    AppendFileRow(b);
    g_app.grandTotal = 400;
    RefreshPercentages();
    EXPECT_EQ(CellText(0, 2), L"25.0");
    a->size = 300;   // one grew as much as the other shrank
    b->size = 100;
    RewriteSizeCell(a, 0);
    RewriteSizeCell(b, 1);
    RefreshPercentages();
    EXPECT_EQ(CellText(0, 2), L"75.0");
    EXPECT_EQ(CellText(1, 2), L"25.0");
    AppendFileRow(NewFileEntry(L"c", 400));
    g_app.grandTotal = 800;
    RefreshPercentages();
    EXPECT_EQ(CellText(0, 2), L"37.5");
    EXPECT_EQ(CellText(1, 2), L"12.5");
    EXPECT_EQ(CellText(2, 2), L"50.0");
    // A total that moves by two bytes takes a share across the edge of a tenth
    // (0.2506 to 0.2494): the cell is written though the two values are close.
    AppendFileRow(NewFileEntry(L"d", 1));
    g_app.grandTotal = 399;
    RefreshPercentages();
    EXPECT_EQ(CellText(3, 2), L"0.3");
    g_app.grandTotal = 401;
    RefreshPercentages();
    EXPECT_EQ(CellText(3, 2), L"0.2");
}

TEST(ResultRows, OnlyRowShowsAHundredPercent) {
    ListWindow window;
    AppendFileRow(NewFileEntry(L"one", 5));
    g_app.grandTotal = 5;
    RefreshPercentages();
    EXPECT_EQ(CellText(0, 2), L"100.0");
}

TEST(ResultRows, CountIsGroupedEvenWithoutCommas) {
    ListWindow window;
    g_app.settings.comma = 0;
    for (int i = 0; i < 1000; ++i) AppendFileRow(NewFileEntry(L"f" + std::to_wstring(i), 1000));
    g_app.grandTotal = 1000000;
    RefreshStatusBar();
    EXPECT_EQ(StatusText(0), L" 1,000 個");
    EXPECT_EQ(StatusText(1), L"合計：1000000 Bytes");
}

TEST(ResultRows, UnitChangeRewritesHeaderCellsAndTotalTogether) {
    ListWindow window;
    AppendFileRow(NewFileEntry(L"k", 1536));
    AppendFolderRow(NewFolderEntry(L"m", 5678 * 1024));
    g_app.grandTotal = 1536 + 5678 * 1024;
    RefreshStatusBar();
    SetSizeUnit(kUnitKB);
    EXPECT_EQ(g_app.settings.unit, 1u);
    EXPECT_EQ(ColumnCaption(1), L"サイズ(KB)");
    EXPECT_EQ(CellText(0, 1), L"1");
    EXPECT_EQ(CellText(1, 1), L"5,678");
    EXPECT_EQ(StatusText(1), L"合計：5,679 KB");
    SetSizeUnit(kUnitGB);
    EXPECT_EQ(ColumnCaption(1), L"サイズ(GB)");
    EXPECT_EQ(StatusText(1), L"合計：0 GB");
}

TEST(ResultRows, CommaToggleChangesCellsButNotTheTotalUntilRefreshed) {
    ListWindow window;
    AppendFileRow(NewFileEntry(L"x", 1234567));
    g_app.grandTotal = 1234567;
    RefreshStatusBar();
    ToggleComma();
    EXPECT_EQ(g_app.settings.comma, 0u);
    EXPECT_EQ(CellText(0, 1), L"1234567");
    EXPECT_EQ(StatusText(1), L"合計：1,234,567 Bytes");
    RefreshStatusBar();
    EXPECT_EQ(StatusText(1), L"合計：1234567 Bytes");
    ToggleComma();
    EXPECT_EQ(CellText(0, 1), L"1,234,567");
}

TEST(ResultRows, UpdatesFollowFreshFindData) {
    ListWindow window;
    g_app.settings.usedSize = 0;
    FileEntry* file = NewFileEntry(L"grow.bin", 10);
    FolderEntry* folder = NewFolderEntry(L"dir", 777);
    AppendFileRow(file);
    AppendFolderRow(folder);

    RunParameters params;
    params.usedSize = false;
    WIN32_FIND_DATAW data{};
    data.nFileSizeLow = 5000;
    data.dwFileAttributes = FILE_ATTRIBUTE_ENCRYPTED;
    data.ftLastWriteTime = LocalTime(2011, 1, 1, 0, 0, 0);   // taken as UTC, shown local
    EXPECT_EQ(UpdateFileRow(params, data, file, 0), 5000u);
    EXPECT_EQ(CellText(0, 1), L"5,000");
    EXPECT_TRUE(file->kind & kKindEncrypted);
    EXPECT_EQ(CellText(0, 3), FormatDate(ToLocalFileTime(data.ftLastWriteTime)));

    data.dwFileAttributes = FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_COMPRESSED;
    UpdateFolderRow(data, folder, 1);
    EXPECT_EQ(folder->size, 777u);                 // a folder's size comes from its tree
    EXPECT_EQ(folder->kind, kKindCompressed);
    EXPECT_EQ(CellText(1, 1), L"777");
}

TEST(ResultRows, FindRowByNameIgnoresCase) {
    ListWindow window;
    AppendFileRow(NewFileEntry(L"Alpha", 1));
    AppendFileRow(NewFileEntry(L"beta", 1));
    EXPECT_EQ(FindRowByName(L"BETA"), 1);
    EXPECT_EQ(FindRowByName(L"alpha"), 0);
    EXPECT_EQ(FindRowByName(L"alph"), -1);
}

TEST(ResultRows, SnapshotRowsCarryTheirOwnRecords) {
    ListWindow window(true);
    AppendSnapshotRow(NewSnapshotEntry(L"folder", 0, 4096));
    AppendSnapshotRow(NewSnapshotEntry(L"file.lnk", kKindFile | kKindShortcut, 1));
    EXPECT_EQ(g_app.rowCount, 2);
    EXPECT_EQ(CellText(0, 1), L"4,096");
    EXPECT_TRUE(RowEntryAt(1)->kind & kKindShortcut);
    // Deleting the rows releases the snapshot records through the deletion notice.
    SendMessageW(g_app.list, LVM_DELETEALLITEMS, 0, 0);
    EXPECT_EQ(RowCountOfList(), 0);
}

TEST(ResultRows, HugeSizesFitTheirCells) {
    ListWindow window;
    AppendFileRow(NewFileEntry(L"max", UINT64_MAX));
    AppendFileRow(NewFileEntry(L"one", 1));
    g_app.grandTotal = UINT64_MAX;   // the sum wraps in real life only past 16 EiB
    RefreshPercentages();
    EXPECT_EQ(CellText(0, 1), L"18,446,744,073,709,551,615");
    EXPECT_EQ(CellText(0, 2), L"100.0");
    EXPECT_EQ(CellText(1, 2), L"0.0");
    RefreshStatusBar();
    EXPECT_EQ(StatusText(1), L"合計：18,446,744,073,709,551,615 Bytes");
}

TEST(ResultRows, MenuMarksFollowUnitAndComma) {
    ListWindow window;
    HMENU popup = CreatePopupMenu();
    for (UINT id = IDM_UNIT_BYTE; id <= IDM_UNIT_GB; ++id) AppendMenuW(popup, MF_STRING, id, L"u");
    AppendMenuW(popup, MF_STRING, IDM_COMMA, L"c");
    g_app.settings.unit = 2;
    MarkUnitMenu(popup);
    EXPECT_TRUE(GetMenuState(popup, IDM_UNIT_MB, MF_BYCOMMAND) & MF_CHECKED);
    EXPECT_FALSE(GetMenuState(popup, IDM_UNIT_BYTE, MF_BYCOMMAND) & MF_CHECKED);
    g_app.settings.unit = 9;
    MarkUnitMenu(popup);
    for (UINT id = IDM_UNIT_BYTE; id <= IDM_UNIT_GB; ++id) EXPECT_FALSE(GetMenuState(popup, id, MF_BYCOMMAND) & MF_CHECKED);
    g_app.settings.comma = 1;
    MarkCommaItem(popup);
    EXPECT_TRUE(GetMenuState(popup, IDM_COMMA, MF_BYCOMMAND) & MF_CHECKED);
    g_app.settings.comma = 0;
    MarkCommaItem(popup);
    EXPECT_FALSE(GetMenuState(popup, IDM_COMMA, MF_BYCOMMAND) & MF_CHECKED);
    DestroyMenu(popup);
}

TEST(ResultRows, TheDeleteKeyAsksForDeletionOnlyWhereItCanBeDone) {
    {
        ListWindow window;
        AppendFileRow(NewFileEntry(L"a", 1));
        ListWindow::TakeCommands();
        SendMessageW(g_app.list, WM_KEYDOWN, VK_DELETE, 0);
        EXPECT_EQ(ListWindow::TakeCommands(), std::vector<UINT>{IDM_DELETE});
        // Not while a name is being edited, and not for other keys.
        g_app.labelEdit = g_app.list;
        SendMessageW(g_app.list, WM_KEYDOWN, VK_DELETE, 0);
        g_app.labelEdit = nullptr;
        SendMessageW(g_app.list, WM_KEYDOWN, VK_INSERT, 0);
        EXPECT_TRUE(ListWindow::TakeCommands().empty());
    }
    ListWindow snapshot(true);
    AppendSnapshotRow(NewSnapshotEntry(L"a", kKindFile, 1));
    ListWindow::TakeCommands();
    SendMessageW(g_app.list, WM_KEYDOWN, VK_DELETE, 0);
    EXPECT_TRUE(ListWindow::TakeCommands().empty());   // a still picture deletes nothing
}

TEST(ResultRows, DraggingTheBarColumnEdgeRepaintsThatColumn) {
    // Sends the header's tracking notice for a column and returns the list's dirty area.
    auto dirtyAfterTracking = [](int column) {
        ValidateRect(g_app.list, nullptr);
        NMHEADERW notice{};
        notice.hdr.hwndFrom = ListViewHeader();
        notice.hdr.code = HDN_TRACKW;
        notice.iItem = column;
        SendMessageW(g_app.list, WM_NOTIFY, 0, reinterpret_cast<LPARAM>(&notice));
        RECT dirty{};
        GetUpdateRect(g_app.list, &dirty, FALSE);
        return dirty;
    };
    {
        ListWindow window(false, true);
        ShowWindow(g_app.main, SW_SHOWNA);
        AppendFileRow(NewFileEntry(L"a", 1));
        RECT column{};
        SendMessageW(ListViewHeader(), HDM_GETITEMRECT, 3, reinterpret_cast<LPARAM>(&column));
        const RECT bars = dirtyAfterTracking(3);
        EXPECT_EQ(bars.left, column.left);
        EXPECT_EQ(bars.right, column.right);
        EXPECT_GT(bars.bottom, column.bottom);   // the whole height, rows included
        const RECT sizes = dirtyAfterTracking(1);
        EXPECT_TRUE(IsRectEmpty(&sizes));
    }
    ListWindow window;   // no bar column: tracking the date column repaints nothing extra
    ShowWindow(g_app.main, SW_SHOWNA);
    AppendFileRow(NewFileEntry(L"a", 1));
    const RECT dates = dirtyAfterTracking(3);
    EXPECT_TRUE(IsRectEmpty(&dates));
}

namespace {

// A shell folder that knows one shared folder by name; every other call is refused.
class ShareReportingFolder : public IShellFolder {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
        if (iid == IID_IUnknown || iid == IID_IShellFolder) {
            *out = this;
            return S_OK;
        }
        *out = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return 1; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
    HRESULT STDMETHODCALLTYPE ParseDisplayName(HWND, IBindCtx*, LPWSTR name, ULONG*, PIDLIST_RELATIVE* item,
                                               ULONG* attributes) override {
        *item = static_cast<PIDLIST_RELATIVE>(CoTaskMemAlloc(sizeof(USHORT)));
        (*item)->mkid.cb = 0;
        if (attributes) *attributes = wcscmp(name, L"Shared") == 0 ? (*attributes & SFGAO_SHARE) : 0;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE EnumObjects(HWND, SHCONTF, IEnumIDList**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE BindToObject(PCUIDLIST_RELATIVE, IBindCtx*, REFIID, void**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE BindToStorage(PCUIDLIST_RELATIVE, IBindCtx*, REFIID, void**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE CompareIDs(LPARAM, PCUIDLIST_RELATIVE, PCUIDLIST_RELATIVE) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE CreateViewObject(HWND, REFIID, void**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetAttributesOf(UINT, PCUITEMID_CHILD_ARRAY, SFGAOF*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetUIObjectOf(HWND, UINT, PCUITEMID_CHILD_ARRAY, REFIID, UINT*, void**) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE GetDisplayNameOf(PCUITEMID_CHILD, SHGDNF, STRRET*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetNameOf(HWND, PCUITEMID_CHILD, LPCWSTR, SHGDNF, PITEMID_CHILD*) override {
        return E_NOTIMPL;
    }
};

UINT OverlayOf(int row) {
    return static_cast<UINT>(SendMessageW(g_app.list, LVM_GETITEMSTATE, row, LVIS_OVERLAYMASK));
}

}  // namespace

TEST(ResultRows, OnlyAFolderTheShellCallsSharedGetsTheShareOverlay) {
    ListWindow window;
    g_app.shareOverlay = INDEXTOOVERLAYMASK(2);
    // No shell folder to ask: no folder is taken for shared.
    AppendFolderRow(NewFolderEntry(L"Plain", 1), RowShell{});
    ShareReportingFolder shell;
    AppendFolderRow(NewFolderEntry(L"Shared", 1), RowShell{&shell, nullptr, L"C:\\"});
    AppendFolderRow(NewFolderEntry(L"Other", 1), RowShell{&shell, nullptr, L"C:\\"});
    EXPECT_EQ(OverlayOf(0), 0u);
    EXPECT_EQ(OverlayOf(1), INDEXTOOVERLAYMASK(2));
    EXPECT_EQ(OverlayOf(2), 0u);
    g_app.shareOverlay = 0;
}

TEST(ResultRows, TheBarGraphColumnIsLeftAligned) {
    ListWindow window(false, true);
    LVCOLUMNW column{};
    column.mask = LVCF_FMT;
    ASSERT_TRUE(SendMessageW(g_app.list, LVM_GETCOLUMNW, 3, reinterpret_cast<LPARAM>(&column)));
    EXPECT_EQ(column.fmt & LVCFMT_JUSTIFYMASK, LVCFMT_LEFT);
}
