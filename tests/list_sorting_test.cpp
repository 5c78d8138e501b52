// Sorting real rows from header clicks, commands and the stored state.
#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>

#include "state/app_state.h"
#include "list/result_rows.h"
#include "list/sorting.h"
#include "tests/ui_support.h"

using namespace lurmo;
using namespace lurmo::test;

namespace {

// Rows in measuring order: b-folder (300, 2012), a.txt (100, 2014), C-folder (200,
// 2010), d.bin (400, 2011).
void AddRows() {
    AppendFolderRow(NewFolderEntry(L"b-folder", 300, LocalTime(2012, 1, 1, 0, 0, 0)));
    AppendFileRow(NewFileEntry(L"a.txt", 100, LocalTime(2014, 1, 1, 0, 0, 0)));
    AppendFolderRow(NewFolderEntry(L"C-folder", 200, LocalTime(2010, 1, 1, 0, 0, 0)));
    AppendFileRow(NewFileEntry(L"d.bin", 400, LocalTime(2011, 1, 1, 0, 0, 0)));
}

}  // namespace

TEST(Sorting, EveryStateOrdersItsKey) {
    ListWindow window;
    AddRows();
    struct Case {
        DWORD state;
        const wchar_t* order;
    };
    const Case cases[] = {
        {0, L"b-folder,C-folder,a.txt,d.bin"},   // folders first, case ignored
        {1, L"d.bin,a.txt,C-folder,b-folder"},   // the exact reverse: files first
        {2, L"a.txt,C-folder,b-folder,d.bin"},   // sizes mix folders and files
        {3, L"d.bin,b-folder,C-folder,a.txt"},
        {4, L"C-folder,d.bin,b-folder,a.txt"},
        {5, L"a.txt,b-folder,d.bin,C-folder"},
    };
    for (const Case& c : cases) {
        g_app.settings.sort = c.state;
        ApplyStoredSort();
        EXPECT_EQ(RowNames(), c.order) << "state " << c.state;
        EXPECT_EQ(g_app.settings.sort, c.state);
    }
}

TEST(Sorting, SizeHeaderClicksCycleAndMoveTheArrow) {
    ListWindow window;
    AddRows();
    g_app.settings.sort = 0;
    ApplyStoredSort();
    EXPECT_EQ(ArrowOf(0), HDF_SORTUP);

    SortByColumn(1);
    EXPECT_EQ(g_app.settings.sort, 2u);
    EXPECT_EQ(ArrowOf(1), HDF_SORTUP);
    EXPECT_EQ(ArrowOf(0), 0);
    SortByColumn(1);
    EXPECT_EQ(g_app.settings.sort, 3u);
    EXPECT_EQ(ArrowOf(1), HDF_SORTDOWN);
    EXPECT_EQ(RowNames(), L"d.bin,b-folder,C-folder,a.txt");
    SortByColumn(1);
    EXPECT_EQ(g_app.settings.sort, 2u);
    EXPECT_EQ(ArrowOf(1), HDF_SORTUP);
}

TEST(Sorting, PercentHeaderSortsBySizeWithItsOwnArrow) {
    ListWindow window;
    AddRows();
    g_app.settings.sort = 0;
    SortByColumn(2);
    EXPECT_EQ(g_app.settings.sort, 2u);
    EXPECT_EQ(ArrowOf(2), HDF_SORTUP);
    EXPECT_EQ(ArrowOf(1), 0);
    SortByColumn(1);
    EXPECT_EQ(g_app.settings.sort, 3u);
    EXPECT_EQ(ArrowOf(1), HDF_SORTDOWN);
    EXPECT_EQ(ArrowOf(2), 0);
}

TEST(Sorting, ColumnThreeIsTheBarGraphOrTheDate) {
    {
        ListWindow window(false, true);
        AddRows();
        g_app.settings.sort = 0;
        SortByColumn(3);
        EXPECT_EQ(g_app.settings.sort, 2u);
        EXPECT_EQ(ArrowOf(3), HDF_SORTUP);
        // The time command finds the date wherever it is.
        SortByColumn(4);
        EXPECT_EQ(g_app.settings.sort, 4u);
        EXPECT_EQ(ArrowOf(4), HDF_SORTUP);
        EXPECT_EQ(ArrowOf(3), 0);
    }
    {
        ListWindow window;
        AddRows();
        g_app.settings.sort = 0;
        SortByColumn(3);
        EXPECT_EQ(g_app.settings.sort, 4u);
        EXPECT_EQ(ArrowOf(3), HDF_SORTUP);
        EXPECT_EQ(RowNames(), L"C-folder,d.bin,b-folder,a.txt");
        SortByColumn(4);   // the time command while the date is column 3
        EXPECT_EQ(g_app.settings.sort, 5u);
        EXPECT_EQ(ArrowOf(3), HDF_SORTDOWN);
    }
}

TEST(Sorting, AStoredStateOutsideTheRangeLeavesTheOrder) {
    ListWindow window;
    AddRows();
    g_app.settings.sort = 7;
    ApplyStoredSort();
    EXPECT_EQ(RowNames(), L"b-folder,a.txt,C-folder,d.bin");
    for (int column = 0; column < 4; ++column) EXPECT_EQ(ArrowOf(column), 0);
    SortByColumn(0);
    EXPECT_EQ(g_app.settings.sort, 0u);
    EXPECT_EQ(ArrowOf(0), HDF_SORTUP);
    SortByColumn(9);   // not a column: nothing changes
    EXPECT_EQ(g_app.settings.sort, 0u);
}

TEST(Sorting, RowsAddedLaterStayAtTheBottomUntilTheNextSort) {
    ListWindow window;
    AddRows();
    g_app.settings.sort = 3;
    ApplyStoredSort();
    AppendFileRow(NewFileEntry(L"huge", 100000));
    EXPECT_EQ(RowNames(), L"d.bin,b-folder,C-folder,a.txt,huge");
    ApplyStoredSort();
    EXPECT_EQ(RowNames(), L"huge,d.bin,b-folder,C-folder,a.txt");
}

TEST(Sorting, MenuMarksTheKeyNotTheDirection) {
    ListWindow window;
    HMENU popup = CreatePopupMenu();
    for (UINT id = IDM_SORT_BY_NAME; id <= IDM_SORT_BY_TIME; ++id) AppendMenuW(popup, MF_STRING, id, L"s");
    const UINT expected[] = {IDM_SORT_BY_NAME, IDM_SORT_BY_NAME, IDM_SORT_BY_SIZE, IDM_SORT_BY_SIZE, IDM_SORT_BY_TIME, IDM_SORT_BY_TIME};
    for (DWORD state = 0; state <= 5; ++state) {
        g_app.settings.sort = state;
        MarkSortMenu(popup);
        for (UINT id = IDM_SORT_BY_NAME; id <= IDM_SORT_BY_TIME; ++id) {
            EXPECT_EQ((GetMenuState(popup, id, MF_BYCOMMAND) & MF_CHECKED) != 0, id == expected[state]);
        }
    }
    g_app.settings.sort = 6;
    MarkSortMenu(popup);
    for (UINT id = IDM_SORT_BY_NAME; id <= IDM_SORT_BY_TIME; ++id) EXPECT_FALSE(GetMenuState(popup, id, MF_BYCOMMAND) & MF_CHECKED);
    DestroyMenu(popup);
}

TEST(Sorting, SizesBeyondThirtyTwoBitsKeepTheirOrder) {
    ListWindow window;
    // A compare that narrows the 64-bit difference to an int sees these out of order.
    AppendFileRow(NewFileEntry(L"4g+5", (1ull << 32) + 5));
    AppendFileRow(NewFileEntry(L"three", 3));
    AppendFileRow(NewFileEntry(L"2g+1", (1ull << 31) + 1));
    AppendFileRow(NewFileEntry(L"8g", 1ull << 33));
    AppendFileRow(NewFileEntry(L"4g", 1ull << 32));
    g_app.settings.sort = 2;
    ApplyStoredSort();
    EXPECT_EQ(RowNames(), L"three,2g+1,4g,4g+5,8g");
    g_app.settings.sort = 3;
    ApplyStoredSort();
    EXPECT_EQ(RowNames(), L"8g,4g+5,4g,2g+1,three");
}
