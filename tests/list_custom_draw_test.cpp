// The bar graph as the list paints it, read back pixel by pixel.
#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>

#include <vector>

#include "state/app_state.h"
#include "list/result_rows.h"
#include "tests/ui_support.h"

using namespace lurmo;
using namespace lurmo::test;

namespace {

constexpr COLORREF kBar = RGB(200, 30, 40);

// A shown list with the bar column 101 pixels wide, on a grand total of 400.
class BarGraph : public testing::Test {
protected:
    void SetUp() override {
        g_app.osVersion = 0x601;
        g_app.effect.graphColor = kBar;
        SendMessageW(g_app.list, LVM_SETCOLUMNWIDTH, 3, 101);
        ShowWindow(g_app.main, SW_SHOWNA);
        g_app.grandTotal = 400;
    }
    void AddRows(const std::vector<uint64_t>& sizes) {
        for (uint64_t size : sizes) AppendFileRow(NewFileEntry(L"■■■■", size));
    }
    ListWindow window_{false, true};
};

// The bar of a row as painted: its left edge and length on the row's middle line,
// which must hold nothing else of the bar's colour.
struct Bar {
    int left = -1, length = 0;
};
Bar BarOf(const ListPixels& pixels, int row) {
    const RECT cell = CellRect(row, 0);
    const int middle = (cell.top + cell.bottom) / 2;
    Bar bar;
    bar.length = pixels.Count(RECT{0, middle, 10000, middle + 1}, kBar, &bar.left);
    return bar;
}

int BarColumnLeft(int row) { return CellRect(row, 3).left; }

}  // namespace

TEST_F(BarGraph, EachBarIsItsRowsShareOfTheColumnRoundedDown) {
    // Half, a quarter, all, nothing, and more than the total (as a notice can leave it).
    AddRows({200, 100, 400, 0, 500});
    ListPixels pixels;
    const int expected[] = {50, 25, 101, 0, 101};
    for (int row = 0; row < 5; ++row) {
        SCOPED_TRACE(row);
        EXPECT_EQ(BarOf(pixels, row).length, expected[row]);
        if (expected[row]) {
            EXPECT_EQ(BarOf(pixels, row).left, BarColumnLeft(row));
        }
    }
    // While a run goes on, and with nothing measured, the column stays blank.
    for (bool running : {true, false}) {
        g_app.busy = running;
        if (!running) g_app.grandTotal = 0;
        EXPECT_EQ(BarOf(ListPixels(), 2).length, 0) << running;
    }
}

TEST_F(BarGraph, DraggingTheColumnEdgeStretchesEveryBarAsTheMouseMoves) {
    AddRows({200, 400});
    UpdateWindow(g_app.list);
    HWND header = reinterpret_cast<HWND>(SendMessageW(g_app.list, LVM_GETHEADER, 0, 0));
    RECT item{};
    SendMessageW(header, HDM_GETITEMRECT, 3, reinterpret_cast<LPARAM>(&item));
    const int y = (item.top + item.bottom) / 2;
    SendMessageW(header, WM_MOUSEMOVE, 0, MAKELPARAM(item.right - 1, y));
    SendMessageW(header, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(item.right - 1, y));
    SendMessageW(header, WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(item.right + 59, y));
    const ListPixels pixels(false);   // what the drag itself repainted, the button still down
    SendMessageW(header, WM_LBUTTONUP, 0, MAKELPARAM(item.right + 59, y));
    EXPECT_EQ(SendMessageW(g_app.list, LVM_GETCOLUMNWIDTH, 3, 0), 161);
    EXPECT_EQ(BarOf(pixels, 0).length, 80);
    EXPECT_EQ(BarOf(pixels, 1).length, 161);
}

// Wherever the cell goes, the bar goes: a header dragged into another order, and rows
// scrolled on a list before Windows 6.0, whose cells come from the list itself.
TEST_F(BarGraph, BarsStayInTheirCellsWhenTheColumnMovesOrTheRowsScroll) {
    AddRows(std::vector<uint64_t>(40, 200));
    int order[] = {0, 3, 1, 2, 4, 5};   // the change column stays last
    SendMessageW(g_app.list, LVM_SETCOLUMNORDERARRAY, 6, reinterpret_cast<LPARAM>(order));
    ASSERT_LT(BarColumnLeft(0), CellRect(0, 1).left);
    for (DWORD version : {0x601u, 0x501u}) {
        g_app.osVersion = version;
        const RECT first = CellRect(0, 0);
        SendMessageW(g_app.list, LVM_SCROLL, 0, (first.bottom - first.top) * 10);
        const int row = static_cast<int>(SendMessageW(g_app.list, LVM_GETTOPINDEX, 0, 0)) + 1;
        ASSERT_GT(row, 5);
        const Bar bar = BarOf(ListPixels(), row);
        EXPECT_EQ(bar.length, 50) << version;
        EXPECT_EQ(bar.left, BarColumnLeft(row)) << version;
    }
}

TEST(RowColors, TheRowUnderADragIsPaintedHighlighted) {
    ListWindow window;
    ShowWindow(g_app.main, SW_SHOWNA);
    AppendFolderRow(NewFolderEntry(L"Target", 1));
    AppendFolderRow(NewFolderEntry(L"Other", 1));
    LVITEMW item{};
    item.stateMask = LVIS_DROPHILITED;
    item.state = LVIS_DROPHILITED;
    SendMessageW(g_app.list, LVM_SETITEMSTATE, 0, reinterpret_cast<LPARAM>(&item));
    const COLORREF highlight = GetSysColor(COLOR_HIGHLIGHT);
    ListPixels pixels;
    const RECT target = CellRect(0, 0), other = CellRect(1, 0);
    EXPECT_GT(pixels.Count(target, highlight), 0);
    EXPECT_EQ(pixels.Count(other, highlight), 0);
}
