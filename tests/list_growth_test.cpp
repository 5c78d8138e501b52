// The change column: each row's change since its baseline, its texts, colours and order.
#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>

#include <cstdint>

#include "state/app_state.h"
#include "list/growth.h"
#include "list/result_rows.h"
#include "list/sorting.h"
#include "tests/ui_support.h"

using namespace lurmo;
using namespace lurmo::test;

namespace {

RowEntry Row(uint64_t baseline, uint64_t size) {
    RowEntry entry;
    entry.baseline = baseline;
    entry.size = size;
    return entry;
}

// Rows listed as a run lists them, then the run's end: every row has its baseline.
void ListAsRun(std::initializer_list<std::pair<const wchar_t*, uint64_t>> rows) {
    for (const auto& [name, size] : rows) {
        AppendFolderRow(NewFolderEntry(name, size));
        g_app.grandTotal += size;
    }
    TakeRunBaseline(g_app.runNumber);
}

// Gives a row a new size as a change notice does.
void Resize(const wchar_t* name, uint64_t size) {
    const int row = FindRowByName(name);
    RowEntry* entry = RowEntryAt(row);
    g_app.grandTotal += size - entry->size;
    entry->size = size;
    RewriteSizeCell(entry, row);
}

std::wstring ChangeText(const wchar_t* name) { return CellText(FindRowByName(name), g_app.changeColumn); }

}  // namespace

TEST(Growth, ChangesReadSignedInTheListsFormat) {
    EXPECT_EQ(FormatChange(1048576, 0, true), L"+1,048,576");
    EXPECT_EQ(FormatChange(-8192, 0, true), L"-8,192");
    EXPECT_EQ(FormatChange(-8192, 0, false), L"-8192");
    EXPECT_EQ(FormatChange(0, 0, true), L"");
    EXPECT_EQ(FormatChange(-8192, 1, true), L"-8");
    EXPECT_EQ(FormatChange(INT64_MIN, 0, true), L"-9,223,372,036,854,775,808");
}

TEST(Growth, AShrinkageBeyondFourGigabytesKeepsItsSign) {
    // Sizes past 32 bits: a change computed in 32 bits, or as a plain unsigned value,
    // would read as growth or as a small number.
    const RowEntry shrunk = Row(0x180000000ull, 0x80000000ull);
    EXPECT_EQ(RowChange(shrunk), -0x100000000ll);
    EXPECT_EQ(ChangeCellText(shrunk, 0, true), L"-4,294,967,296");
    EXPECT_EQ(ChangeColor(shrunk), kShrinkColor);
    EXPECT_EQ(ChangeColor(Row(5, 6)), kGrowthColor);
    EXPECT_EQ(ChangeColor(Row(6, 6)), std::nullopt);
}

TEST(Growth, ANewRowIsMarkedAndAllItsSizeIsGrowth) {
    const RowEntry fresh = Row(kNewRow, 4096);
    EXPECT_EQ(RowChange(fresh), 4096);
    EXPECT_EQ(ChangeCellText(fresh, 0, true), L"新規 +4,096");
    EXPECT_EQ(ChangeCellText(Row(kNewRow, 0), 0, true), L"新規 +0");
    EXPECT_EQ(ChangeColor(Row(kNewRow, 0)), kGrowthColor);
}

TEST(Growth, TheColumnFollowsTheDateColumnAndIsAbsentInSnapshotMode) {
    {
        ListWindow window;
        EXPECT_EQ(g_app.changeColumn, 4);
        EXPECT_EQ(ColumnCaption(4), L"増減");
    }
    {
        ListWindow window(false, true);
        EXPECT_EQ(g_app.changeColumn, 5);
        EXPECT_EQ(ColumnCaption(5), L"増減");
        // The bar column going away at a run's start takes the change column along.
        g_app.effect.displayGraph = 0;
        ApplyBarGraphColumn();
        EXPECT_EQ(g_app.changeColumn, 4);
        EXPECT_EQ(ColumnCaption(4), L"増減");
        g_app.effect.snapShot = 1;
        ApplyBarGraphColumn();
        EXPECT_EQ(g_app.changeColumn, -1);
        EXPECT_EQ(ColumnCaption(4), L"");
    }
    ListWindow snapshot(true);
    EXPECT_EQ(g_app.changeColumn, -1);
}

TEST(Growth, CellsAndStatusBarShowTheChangeSinceTheRun) {
    ListWindow window;
    ListAsRun({{L"X", 1000}, {L"Y", 9000}, {L"Z", 50}});
    EXPECT_EQ(ChangeText(L"X"), L"");
    Resize(L"X", 1000 + 1048576);
    Resize(L"Y", 9000 - 8192);
    RefreshStatusBar();
    EXPECT_EQ(ChangeText(L"X"), L"+1,048,576");
    EXPECT_EQ(ChangeText(L"Y"), L"-8,192");
    EXPECT_EQ(ChangeText(L"Z"), L"");
    EXPECT_EQ(StatusText(1), L"合計：1,050,434 Bytes (+1,040,384)");
    // The unit and commas of the list apply to the change too.
    SetSizeUnit(1);
    EXPECT_EQ(ChangeText(L"X"), L"+1,024");
    EXPECT_EQ(StatusText(1), L"合計：1,025 KB (+1,016)");
    SetSizeUnit(0);

    ResetBaselinesToNow();
    EXPECT_EQ(ChangeText(L"X"), L"");
    EXPECT_EQ(ChangeText(L"Y"), L"");
    EXPECT_EQ(StatusText(1), L"合計：1,050,434 Bytes");
}

TEST(Growth, HidingTheColumnHidesTheNetChangeAndShowingItFillsItAgain) {
    ListWindow window;
    ListAsRun({{L"X", 10}});
    Resize(L"X", 30);
    ToggleChangeColumn();
    EXPECT_EQ(g_app.changeColumn, -1);
    EXPECT_EQ(g_app.settings.displayChange, 0u);
    EXPECT_EQ(StatusText(1), L"合計：30 Bytes");
    ToggleChangeColumn();
    EXPECT_EQ(g_app.changeColumn, 4);
    EXPECT_EQ(ChangeText(L"X"), L"+20");
    EXPECT_EQ(StatusText(1), L"合計：30 Bytes (+20)");
}

TEST(Growth, ARowListedAfterTheRunIsNewAndARemovedRowsBytesStayInTheNetChange) {
    ListWindow window;
    ListAsRun({{L"X", 100}, {L"Y", 300}});
    AppendFileRow(NewFileEntry(L"late.bin", 2048));
    g_app.grandTotal += 2048;
    EXPECT_EQ(ChangeText(L"late.bin"), L"新規 +2,048");
    SendMessageW(g_app.list, LVM_DELETEITEM, FindRowByName(L"Y"), 0);
    --g_app.rowCount;
    g_app.grandTotal -= 300;
    RefreshStatusBar();
    EXPECT_EQ(StatusText(1), L"合計：2,148 Bytes (+1,748)");
}

TEST(Growth, HeaderClicksSortBySignedChangeLargestGrowthFirst) {
    ListWindow window;
    ListAsRun({{L"grew", 100}, {L"same", 100}, {L"shrank", 0x180000000ull}, {L"grew-more", 100}});
    Resize(L"grew", 200);
    Resize(L"shrank", 0x80000000ull);
    Resize(L"grew-more", 0x100000100ull);
    g_app.settings.sort = 2;
    ApplyStoredSort();
    ASSERT_EQ(ArrowOf(1), HDF_SORTUP);

    SortByChange();
    EXPECT_EQ(RowNames(), L"grew-more,grew,same,shrank");
    EXPECT_EQ(ArrowOf(4), HDF_SORTDOWN);
    EXPECT_EQ(ArrowOf(1), 0);
    EXPECT_EQ(g_app.settings.sort, 2u);   // the stored order is kept for the next start
    SortByChange();
    EXPECT_EQ(RowNames(), L"shrank,same,grew,grew-more");
    EXPECT_EQ(ArrowOf(4), HDF_SORTUP);

    // Back to size: the last size order does not count, so the first click is ascending.
    SortByColumn(1);
    EXPECT_EQ(g_app.settings.sort, 2u);
    EXPECT_EQ(ArrowOf(1), HDF_SORTUP);
    EXPECT_EQ(ArrowOf(4), 0);
    EXPECT_EQ(RowNames(), L"same,grew,shrank,grew-more");
}

TEST(Growth, TheChangeCellIsDrawnInTheColourOfItsSign) {
    ListWindow window;
    ShowWindow(g_app.main, SW_SHOWNA);
    g_app.settings.useSystemFont = 0;
    g_app.settings.chooseFont.rgbColors = RGB(128, 0, 128);
    ListAsRun({{L"■■■■", 10}, {L"■■■", 10}, {L"■■", 10}});
    Resize(L"■■■■", 5000000);
    Resize(L"■■■", 1);
    const ListPixels pixels;
    const RECT grew = CellRect(0, 4), shrank = CellRect(1, 4);
    EXPECT_GT(pixels.Count(grew, kGrowthColor), 0);
    EXPECT_EQ(pixels.Count(grew, kShrinkColor), 0);
    EXPECT_GT(pixels.Count(shrank, kShrinkColor), 0);
    EXPECT_EQ(pixels.Count(shrank, kGrowthColor), 0);
    // The other cells keep the user's colour, before and after the change cell.
    EXPECT_GT(pixels.Count(CellRect(0, 1), RGB(128, 0, 128)), 0);
    EXPECT_EQ(pixels.Count(CellRect(0, 1), kGrowthColor), 0);
    EXPECT_GT(pixels.Count(CellRect(1, 0), RGB(128, 0, 128)), 0);
}
