// The list as it is painted: bars read back pixel by pixel, and the row colours.
#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>

#include "app/app_state.h"
#include "list/custom_draw.h"
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
    void AddRows(std::initializer_list<uint64_t> sizes) {
        for (uint64_t size : sizes) AppendFileRow(NewFileEntry(L"■■■■", size));
        RedrawWindow(g_app.list, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE);
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
}

TEST_F(BarGraph, NoBarsWhileARunGoesOnOrWithNothingMeasured) {
    AddRows({200, 400});
    g_app.busy = 1;
    RedrawWindow(g_app.list, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE);
    EXPECT_EQ(BarOf(ListPixels(), 1).length, 0);
    g_app.busy = 0;
    g_app.grandTotal = 0;
    RedrawWindow(g_app.list, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE);
    EXPECT_EQ(BarOf(ListPixels(), 1).length, 0);
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
    const ListPixels pixels;   // the button is still down
    SendMessageW(header, WM_LBUTTONUP, 0, MAKELPARAM(item.right + 59, y));
    EXPECT_EQ(SendMessageW(g_app.list, LVM_GETCOLUMNWIDTH, 3, 0), 161);
    EXPECT_EQ(BarOf(pixels, 0).length, 80);
    EXPECT_EQ(BarOf(pixels, 1).length, 161);
}

TEST_F(BarGraph, BarsFollowTheColumnToItsNewPlaceInTheHeader) {
    AddRows({200});
    int order[] = {0, 3, 1, 2, 4};
    SendMessageW(g_app.list, LVM_SETCOLUMNORDERARRAY, 5, reinterpret_cast<LPARAM>(order));
    RedrawWindow(g_app.list, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE);
    const Bar bar = BarOf(ListPixels(), 0);
    EXPECT_EQ(bar.length, 50);
    EXPECT_EQ(bar.left, BarColumnLeft(0));
    EXPECT_LT(bar.left, CellRect(0, 1).left);
}

// Before Windows 6.0 the cell comes from the list, so scrolled rows keep their bars.
TEST_F(BarGraph, OlderWindowsDrawScrolledBarsInTheirOwnCells) {
    g_app.osVersion = 0x501;
    for (int i = 0; i < 40; ++i) AddRows({200});
    const RECT first = CellRect(0, 0);
    SendMessageW(g_app.list, LVM_SCROLL, 0, (first.bottom - first.top) * 20);
    const int top = static_cast<int>(SendMessageW(g_app.list, LVM_GETTOPINDEX, 0, 0));
    ASSERT_GT(top, 10);
    RedrawWindow(g_app.list, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE);
    const Bar bar = BarOf(ListPixels(), top + 1);
    EXPECT_EQ(bar.length, 50);
    EXPECT_EQ(bar.left, BarColumnLeft(top + 1));
}

TEST_F(BarGraph, RowsTakeExplorersColoursOrTheUsersTextColour) {
    g_app.compressedColor = RGB(0, 0, 250);
    g_app.encryptedColor = RGB(0, 140, 0);
    const COLORREF user = RGB(160, 0, 160);
    g_app.settings.chooseFont.rgbColors = user;
    for (bool bars : {true, false}) {
        SCOPED_TRACE(bars ? "bars" : "no bars");
        g_app.effect.displayGraph = bars;
        SendMessageW(g_app.list, LVM_DELETEALLITEMS, 0, 0);
        g_app.rowCount = 0;
        AddRows({1, 1, 1});
        RowEntryAt(0)->kind |= kKindCompressed | kKindEncrypted;
        RowEntryAt(1)->kind |= kKindEncrypted;
        for (DWORD systemFont : {1u, 0u}) {
            g_app.settings.useSystemFont = systemFont;
            RedrawWindow(g_app.list, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE);
            const ListPixels pixels;
            EXPECT_GT(pixels.Count(CellRect(0, 0), g_app.compressedColor), 20);
            EXPECT_GT(pixels.Count(CellRect(1, 0), g_app.encryptedColor), 20);
            const COLORREF plain = systemFont ? GetSysColor(COLOR_WINDOWTEXT) : user;
            EXPECT_GT(pixels.Count(CellRect(2, 0), plain), 20) << systemFont;
            if (systemFont) {
                EXPECT_EQ(pixels.Count(CellRect(2, 0), user), 0);
            }
        }
    }
}

TEST(ExplorerColors, DefaultsRegistryValuesAndShortValues) {
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, kExplorerKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
              ERROR_SUCCESS);
    RegDeleteValueW(key, L"AltColor");
    RegDeleteValueW(key, L"AltEncryptionColor");
    ReadExplorerColors();
    EXPECT_EQ(g_app.compressedColor, 0xFF0000u);
    EXPECT_EQ(g_app.encryptedColor, 0x008000u);
    const BYTE color[4] = {0x11, 0x22, 0x33, 0x44};
    RegSetValueExW(key, L"AltColor", 0, REG_BINARY, color, 4);
    RegSetValueExW(key, L"AltEncryptionColor", 0, REG_BINARY, color, 2);
    ReadExplorerColors();
    EXPECT_EQ(g_app.compressedColor, RGB(0x11, 0x22, 0x33));
    EXPECT_EQ(g_app.encryptedColor, RGB(0x11, 0x22, 0));
    RegDeleteValueW(key, L"AltColor");
    RegDeleteValueW(key, L"AltEncryptionColor");
    RegCloseKey(key);
}
