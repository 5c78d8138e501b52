// The main window at the DPI of the test prefix (96, or 144 in the run that sets
// LURMO_DPI) and after a move to a monitor of 192 DPI.
#include <windows.h>
#include <commctrl.h>
#include <shellapi.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "state/app_state.h"
#include "app/settings.h"
#include "list/dpi.h"
#include "list/menu_entries.h"
#include "list/result_rows.h"
#include "tests/ui_support.h"

using namespace lurmo;
using namespace lurmo::test;

namespace {

UINT ExpectedDpi() {
    const char* dpi = std::getenv("LURMO_DPI");
    return dpi ? static_cast<UINT>(std::atoi(dpi)) : 96;
}

void StoreDword(const wchar_t* name, DWORD value) {
    RegSetKeyValueW(HKEY_CURRENT_USER, kSettingsKey, name, REG_DWORD, &value, sizeof(value));
}

DWORD StoredDword(const wchar_t* name) {
    DWORD value = 0xDEADBEEF, size = sizeof(value);
    RegGetValueW(HKEY_CURRENT_USER, kSettingsKey, name, RRF_RT_REG_DWORD, nullptr, &value, &size);
    return value;
}

RECT ClientRectOf(HWND child) {
    RECT rect{};
    GetWindowRect(child, &rect);
    MapWindowPoints(nullptr, g_app.main, reinterpret_cast<POINT*>(&rect), 2);
    return rect;
}

int ColumnWidth(int column) { return static_cast<int>(SendMessageW(g_app.list, LVM_GETCOLUMNWIDTH, column, 0)); }

SIZE TextSize(HWND window, const std::wstring& text) {
    HDC dc = GetDC(window);
    HGDIOBJ previous = SelectObject(dc, reinterpret_cast<HFONT>(SendMessageW(window, WM_GETFONT, 0, 0)));
    SIZE size{};
    GetTextExtentPoint32W(dc, text.c_str(), static_cast<int>(text.size()), &size);
    SelectObject(dc, previous);
    ReleaseDC(window, dc);
    return size;
}

int TextWidth(HWND window, const std::wstring& text) { return TextSize(window, text).cx; }

LONG FontHeightOf(HWND window) {
    LOGFONTW font{};
    GetObjectW(reinterpret_cast<HFONT>(SendMessageW(window, WM_GETFONT, 0, 0)), sizeof(font), &font);
    return font.lfHeight;
}

int IconSizeOf(HIMAGELIST list) {
    int width = 0, height = 0;
    ImageList_GetIconSize(list, &width, &height);
    return width;
}

constexpr GUID kImageListInterface = {0x46eb5926, 0x582e, 0x4017, {0x9f, 0xdf, 0xe8, 0x99, 0x8d, 0xaa, 0x09, 0x50}};

// The icon size of the system image list nearest the wanted size (of two, the larger).
int NearestSystemIconSize(int wanted) {
    std::vector<int> sizes;
    HIMAGELIST large = nullptr, small = nullptr;
    Shell_GetImageLists(&large, &small);
    sizes = {IconSizeOf(small), IconSizeOf(large)};
    for (int which : {SHIL_SMALL, SHIL_LARGE, SHIL_EXTRALARGE}) {
        HIMAGELIST list = nullptr;
        if (SUCCEEDED(SHGetImageList(which, kImageListInterface, reinterpret_cast<void**>(&list)))) {
            sizes.push_back(IconSizeOf(list));
        }
    }
    int best = 0;
    for (int size : sizes) {
        const int distance = std::abs(size - wanted), bestDistance = std::abs(best - wanted);
        if (size > 0 && (best == 0 || distance < bestDistance || (distance == bestDistance && size > best))) best = size;
    }
    return best;
}

// Every visible child inside the client area, the buttons apart from each other and from
// the target box, and each button's text inside its button.
void ExpectNothingCut() {
    RECT client{};
    GetClientRect(g_app.main, &client);
    for (HWND child = GetWindow(g_app.main, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
        if (!IsWindowVisible(child)) continue;
        const RECT rect = ClientRectOf(child);
        EXPECT_TRUE(rect.left >= 0 && rect.top >= 0 && rect.right <= client.right && rect.bottom <= client.bottom)
            << "child " << GetDlgCtrlID(child) << " at " << rect.left << "," << rect.top << "-" << rect.right << ","
            << rect.bottom << " in " << client.right << "x" << client.bottom;
    }
    const std::vector<HWND> row = {g_app.driveBox, g_app.targetListButton, g_app.browseButton, g_app.accumulateButton};
    for (size_t i = 0; i + 1 < row.size(); ++i) {
        EXPECT_LE(ClientRectOf(row[i]).right, ClientRectOf(row[i + 1]).left) << "overlap after " << i;
    }
    for (HWND button : {g_app.targetListButton, g_app.browseButton, g_app.accumulateButton}) {
        wchar_t text[64]{};
        GetWindowTextW(button, text, 64);
        std::wstring shown = text;
        shown.erase(shown.find(L'&'), 1);
        const RECT rect = ClientRectOf(button);
        EXPECT_LT(TextWidth(button, shown), rect.right - rect.left) << Narrow(shown);
    }
}

// The header draws its text between margins of three edge widths on either side and cuts
// what does not fit there; a sorted column's arrow, as wide as the text is high, sits
// beside the text behind one more margin.
void ExpectEveryHeaderTextFits() {
    HWND header = reinterpret_cast<HWND>(SendMessageW(g_app.list, LVM_GETHEADER, 0, 0));
    const int count = static_cast<int>(SendMessageW(header, HDM_GETITEMCOUNT, 0, 0));
    ASSERT_GE(count, 4);
    for (int column = 0; column < count; ++column) {
        wchar_t text[64]{};
        HDITEMW item{};
        item.mask = HDI_TEXT;
        item.pszText = text;
        item.cchTextMax = 64;
        SendMessageW(header, HDM_GETITEMW, column, reinterpret_cast<LPARAM>(&item));
        const SIZE size = TextSize(header, text);
        const int needed = size.cx + 9 * GetSystemMetrics(SM_CXEDGE) + (text[0] ? size.cy : 0);
        EXPECT_GE(ColumnWidth(column), needed) << "column " << column << " " << Narrow(text);
    }
}

}  // namespace

TEST(Dpi, ScaledWidthsComeBackAsTheyWere) {
    for (UINT dpi : {96u, 120u, 144u, 168u, 192u}) {
        for (int width = 0; width <= 2000; ++width) {
            ASSERT_EQ(UnscaleForDpi(ScaleForDpi(width, dpi), dpi), width) << dpi;
        }
    }
    EXPECT_EQ(ScaleForDpi(180, 144), 270);
    EXPECT_EQ(ScaleForDpi(115, 144), 173);
}

TEST(Dpi, UserFontKeepsItsPointSize) {
    EXPECT_EQ(FontHeightFromPointSize(90, 144), -18);
    EXPECT_EQ(FontHeightFromPointSize(100, 120), -16);
    EXPECT_EQ(FontHeightFromPointSize(90, 192), -24);
}

TEST(Dpi, WindowTakesTheDpiOfItsScreen) {
    MainWindow window;
    ASSERT_TRUE(window.handle());
    EXPECT_EQ(g_app.dpi, ExpectedDpi());
    EXPECT_EQ(IconSizeOf(g_app.smallImages), NearestSystemIconSize(SmallIconSize(g_app.dpi)));
    EXPECT_EQ(reinterpret_cast<HIMAGELIST>(SendMessageW(g_app.list, LVM_GETIMAGELIST, LVSIL_SMALL, 0)),
              g_app.smallImages);
}

TEST(Dpi, NothingIsCutAtTheDefaultSize) {
    MainWindow window;
    ASSERT_TRUE(window.handle());
    ExpectNothingCut();
    ExpectEveryHeaderTextFits();
    // The status bar's first part ends 150 pixels in at 96 DPI.
    RefreshStatusBar();
    int edges[2]{};
    SendMessageW(g_app.status, SB_GETPARTS, 2, reinterpret_cast<LPARAM>(edges));
    EXPECT_EQ(edges[0], ScaleForDpi(150, g_app.dpi));
}

TEST(Dpi, DefaultWidthsGrowWhereTheirHeaderWouldNotFit) {
    ForgetStoredSettings();
    StoreDword(L"UseSystemFont", 0);
    StoreDword(L"FontSize", 240);
    const wchar_t face[] = L"MS UI Gothic";
    RegSetKeyValueW(HKEY_CURRENT_USER, kSettingsKey, L"FontName", REG_SZ, face, sizeof(face));
    MainWindow window(L"", true);
    ASSERT_TRUE(window.handle());
    ExpectEveryHeaderTextFits();
    // Where the header fits, the default stays.
    EXPECT_EQ(ColumnWidth(0), ScaleForDpi(180, g_app.dpi));
}

TEST(Dpi, StoredWidthsAreAt96DpiAndWrittenBackSo) {
    ForgetStoredSettings();
    StoreDword(L"ColumnWidthName", 180);
    StoreDword(L"ColumnWidthSize", 60);
    {
        MainWindow window(L"", true);
        ASSERT_TRUE(window.handle());
        EXPECT_EQ(ColumnWidth(0), ScaleForDpi(180, ExpectedDpi()));
        // A stored width is the user's, even where it cuts its header.
        EXPECT_EQ(ColumnWidth(1), ScaleForDpi(60, ExpectedDpi()));
    }
    EXPECT_EQ(StoredDword(L"ColumnWidthName"), 180u);
    EXPECT_EQ(StoredDword(L"ColumnWidthSize"), 60u);
}

TEST(Dpi, MovingToAnotherDpiLaysEverythingOutAgain) {
    ForgetStoredSettings();
    StoreDword(L"ColumnWidthName", 180);
    StoreDword(L"UseSystemFont", 0);
    StoreDword(L"FontSize", 90);
    const wchar_t face[] = L"MS UI Gothic";
    RegSetKeyValueW(HKEY_CURRENT_USER, kSettingsKey, L"FontName", REG_SZ, face, sizeof(face));
    {
        MainWindow window(L"", true);
        ASSERT_TRUE(window.handle());
        const UINT before = g_app.dpi;
        const LONG buttonFont = FontHeightOf(g_app.accumulateButton);
        RefreshStatusBar();
        RECT frame{};
        GetWindowRect(g_app.main, &frame);
        RECT suggested = {frame.left, frame.top, frame.left + MulDiv(frame.right - frame.left, 192, before),
                          frame.top + MulDiv(frame.bottom - frame.top, 192, before)};
        SendMessageW(g_app.main, WM_DPICHANGED, MAKEWPARAM(192, 192), reinterpret_cast<LPARAM>(&suggested));

        EXPECT_EQ(g_app.dpi, 192u);
        RECT now{};
        GetWindowRect(g_app.main, &now);
        EXPECT_TRUE(EqualRect(&now, &suggested));
        RECT client{};
        GetClientRect(g_app.main, &client);
        EXPECT_EQ(ClientRectOf(g_app.accumulateButton).left, client.right - 140);
        EXPECT_EQ(ClientRectOf(g_app.targetListButton).left, client.right - 420);
        EXPECT_EQ(ColumnWidth(0), 360);
        EXPECT_EQ(FontHeightOf(g_app.list), FontHeightFromPointSize(90, 192));
        EXPECT_EQ(FontHeightOf(g_app.accumulateButton), MulDiv(buttonFont, 192, before));
        EXPECT_EQ(IconSizeOf(g_app.smallImages), NearestSystemIconSize(SmallIconSize(192)));
        EXPECT_EQ(reinterpret_cast<HIMAGELIST>(SendMessageW(g_app.list, LVM_GETIMAGELIST, LVSIL_SMALL, 0)),
                  g_app.smallImages);
        int edges[2]{};
        SendMessageW(g_app.status, SB_GETPARTS, 2, reinterpret_cast<LPARAM>(edges));
        EXPECT_EQ(edges[0], 300);
        ExpectNothingCut();
        ExpectEveryHeaderTextFits();

        // The new-item menu's entries are never lower than an icon of the new size.
        MEASUREITEMSTRUCT item{};
        item.CtlType = ODT_MENU;
        item.itemID = IDM_NEW_FOLDER;
        item.itemData = reinterpret_cast<ULONG_PTR>(L"フォルダ(&F)");
        MeasureMenuEntry(&item);
        EXPECT_GE(item.itemHeight, static_cast<UINT>(SmallIconSize(192) + 4));
    }
    EXPECT_EQ(StoredDword(L"ColumnWidthName"), 180u);
}
