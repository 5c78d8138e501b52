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

// Rows listed as a run lists them, the run's end, then new sizes as notices give them.
void ListAndResize(std::initializer_list<std::tuple<const wchar_t*, uint64_t, uint64_t>> rows) {
    for (const auto& [name, size, later] : rows) {
        AppendFolderRow(NewFolderEntry(name, size));
        g_app.grandTotal += size;
    }
    TakeRunBaseline(g_app.runNumber);
    for (const auto& [name, size, later] : rows) {
        const int row = FindRowByName(name);
        RowEntry* entry = RowEntryAt(row);
        g_app.grandTotal += later - size;
        entry->size = later;
        RewriteSizeCell(entry, row);
    }
}

}  // namespace

TEST(Growth, ChangesReadSignedInTheListsFormatAndANewRowIsMarked) {
    EXPECT_EQ(FormatChange(1048576, 0, true), L"+1,048,576");
    EXPECT_EQ(FormatChange(-8192, 0, false), L"-8192");
    EXPECT_EQ(FormatChange(-8192, 1, true), L"-8");
    EXPECT_EQ(FormatChange(0, 0, true), L"");
    EXPECT_EQ(FormatChange(INT64_MIN, 0, true), L"-9,223,372,036,854,775,808");
    // Past 32 bits: a change taken in 32 bits, or left unsigned, reads as growth.
    const RowEntry shrunk = Row(0x180000000ull, 0x80000000ull);
    EXPECT_EQ(ChangeCellText(shrunk, 0, true), L"-4,294,967,296");
    EXPECT_EQ(ChangeColor(shrunk), kShrinkColor);
    EXPECT_EQ(ChangeColor(Row(6, 6)), std::nullopt);
    EXPECT_EQ(ChangeCellText(Row(kNewRow, 4096), 0, true), L"新規 +4,096");
    EXPECT_EQ(ChangeCellText(Row(kNewRow, 0), 0, true), L"新規 +0");
    EXPECT_EQ(ChangeColor(Row(kNewRow, 0)), kGrowthColor);
}

TEST(Growth, TheColumnFollowsTheDateColumnAndIsAbsentInSnapshotMode) {
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

TEST(Growth, ARowListedAfterTheRunIsNewAndARemovedRowsBytesStayInTheNetChange) {
    ListWindow window;
    ListAndResize({{L"X", 100, 100}, {L"Y", 300, 300}});
    AppendFileRow(NewFileEntry(L"late.bin", 2048));
    g_app.grandTotal += 2048;
    EXPECT_EQ(CellText(FindRowByName(L"late.bin"), 4), L"新規 +2,048");
    SendMessageW(g_app.list, LVM_DELETEITEM, FindRowByName(L"Y"), 0);
    --g_app.rowCount;
    g_app.grandTotal -= 300;
    RefreshStatusBar();
    EXPECT_EQ(StatusText(1), L"合計：2,148 Bytes (+1,748)");
    SetSizeUnit(1);
    EXPECT_EQ(StatusText(1), L"合計：2 KB (+1)");
}

TEST(Growth, HeaderClicksSortBySignedChangeLargestGrowthFirst) {
    ListWindow window;
    ListAndResize({{L"grew", 100, 200}, {L"same", 100, 100}, {L"shrank", 0x180000000ull, 0x80000000ull},
                   {L"grew-more", 100, 0x100000100ull}});
    g_app.settings.sort = 2;
    ApplyStoredSort();
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
    EXPECT_EQ(ArrowOf(4), 0);
    EXPECT_EQ(RowNames(), L"same,grew,shrank,grew-more");
}

TEST(Growth, TheChangeCellIsDrawnInTheColourOfItsSign) {
    ListWindow window;
    ShowWindow(g_app.main, SW_SHOWNA);
    g_app.settings.useSystemFont = 0;
    g_app.settings.chooseFont.rgbColors = RGB(128, 0, 128);
    ListAndResize({{L"■■■■", 10, 5000000}, {L"■■■", 10, 1}});
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
