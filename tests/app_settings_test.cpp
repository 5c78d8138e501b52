// Settings against the real registry of the test prefix.
#include <gtest/gtest.h>

#include <utility>

#include "state/app_state.h"
#include "app/settings.h"
#include "tests/ui_support.h"

using namespace lurmo;
using namespace lurmo::test;

namespace {

void DeleteSettingsKey() { RegDeleteTreeW(HKEY_CURRENT_USER, kSettingsKey); }

HKEY OpenForWriting() {
    HKEY key = nullptr;
    RegCreateKeyExW(HKEY_CURRENT_USER, kSettingsKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr);
    return key;
}

DWORD StoredDword(const wchar_t* name) {
    DWORD value = 0xDEADBEEF, size = sizeof(value);
    RegGetValueW(HKEY_CURRENT_USER, kSettingsKey, name, RRF_RT_REG_DWORD, nullptr, &value, &size);
    return value;
}

}  // namespace

TEST(Settings, FirstStartTakesTheDefaults) {
    DeleteSettingsKey();
    ListWindow window;
    RECT before{};
    GetWindowRect(g_app.main, &before);
    LoadSettings();
    const Settings& s = g_app.settings;
    EXPECT_EQ(s.left, before.left);
    EXPECT_EQ(s.width, before.right - before.left);
    EXPECT_EQ(s.snapShot, 0u);
    EXPECT_EQ(s.unit, 0u);
    EXPECT_EQ(s.usedSize, 1u);
    EXPECT_EQ(s.comma, 1u);
    EXPECT_EQ(s.maxHistory, 10u);
    EXPECT_EQ(s.sort, 3u);
    EXPECT_EQ(s.targetList, 0u);
    EXPECT_EQ(s.useSystemFont, 1u);
    EXPECT_EQ(s.displayGraph, 0u);
    EXPECT_EQ(s.graphColor, 0u);
    EXPECT_EQ(s.followLinks, 1u);
    EXPECT_EQ(s.columnWidthName, 180);
    EXPECT_EQ(s.columnWidthDateTime, 115);
    EXPECT_EQ(s.chooseFont.rgbColors, GetSysColor(COLOR_WINDOWTEXT));
    EXPECT_EQ(s.chooseFont.lpLogFont, &g_app.settings.logFont);
    EXPECT_FALSE(g_app.userFont);
    EXPECT_EQ(g_app.effect.usedSize, 1u);
    EXPECT_EQ(g_app.dateColumn, 3);
}

TEST(Settings, EverySavedValueComesBack) {
    DeleteSettingsKey();
    {
        ListWindow window;
        LoadSettings();
        Settings& s = g_app.settings;
        SetWindowPos(g_app.main, nullptr, 11, 22, 640, 480, SWP_NOZORDER);
        SendMessageW(g_app.list, LVM_SETCOLUMNWIDTH, 0, 222);
        SendMessageW(g_app.list, LVM_SETCOLUMNWIDTH, 3, 133);
        s.snapShot = 1;
        s.unit = 2;
        s.usedSize = 0;
        s.comma = 0;
        s.maxHistory = 3;
        s.sort = 5;
        s.targetList = 1;
        s.useSystemFont = 0;
        s.chooseFont.iPointSize = 90;
        s.chooseFont.rgbColors = RGB(1, 2, 3);
        s.logFont.lfWeight = FW_BOLD;
        wcscpy_s(s.logFont.lfFaceName, L"ABCDEFGHIJKLMNOPQRSTUVWXYZabcde");   // 31 characters
        s.logFont.lfItalic = 1;
        s.logFont.lfUnderline = 1;
        s.logFont.lfStrikeOut = 1;
        s.logFont.lfOutPrecision = 3;
        s.logFont.lfCharSet = SHIFTJIS_CHARSET;
        s.displayGraph = 1;
        s.graphColor = RGB(10, 20, 30);
        s.followLinks = 0;
        SaveSettings();
    }
    EXPECT_EQ(StoredDword(L"FontUnderLine"), 1u);
    EXPECT_EQ(StoredDword(L"SnapShot"), 1u);
    ListWindow window;
    LoadSettings();
    const Settings& s = g_app.settings;
    RECT placed{};
    GetWindowRect(g_app.main, &placed);
    EXPECT_EQ(placed.left, 11);
    EXPECT_EQ(placed.top, 22);
    EXPECT_EQ(placed.right - placed.left, 640);
    EXPECT_EQ(s.columnWidthName, 222);
    EXPECT_EQ(s.columnWidthDateTime, 133);
    EXPECT_EQ(s.snapShot, 1u);
    EXPECT_EQ(g_app.effect.snapShot, 1u);
    EXPECT_EQ(s.unit, 2u);
    EXPECT_EQ(s.usedSize, 0u);
    EXPECT_EQ(g_app.effect.usedSize, 0u);
    EXPECT_EQ(s.comma, 0u);
    EXPECT_EQ(s.maxHistory, 3u);
    EXPECT_EQ(s.sort, 5u);
    EXPECT_EQ(s.targetList, 1u);
    EXPECT_EQ(s.useSystemFont, 0u);
    EXPECT_EQ(s.chooseFont.iPointSize, 90);
    EXPECT_EQ(s.chooseFont.rgbColors, RGB(1, 2, 3));
    EXPECT_EQ(s.logFont.lfWeight, FW_BOLD);
    EXPECT_STREQ(s.logFont.lfFaceName, L"ABCDEFGHIJKLMNOPQRSTUVWXYZabcde");
    EXPECT_EQ(s.logFont.lfItalic, 1);
    EXPECT_EQ(s.logFont.lfUnderline, 1);
    EXPECT_EQ(s.logFont.lfStrikeOut, 1);
    EXPECT_EQ(s.logFont.lfOutPrecision, 3);
    EXPECT_EQ(s.logFont.lfCharSet, SHIFTJIS_CHARSET);
    EXPECT_EQ(s.logFont.lfHeight, -12);
    EXPECT_TRUE(g_app.userFont);
    EXPECT_EQ(s.displayGraph, 1u);
    EXPECT_EQ(g_app.effect.displayGraph, 1u);
    EXPECT_EQ(g_app.dateColumn, 4);
    EXPECT_EQ(s.graphColor, RGB(10, 20, 30));
    EXPECT_EQ(g_app.effect.graphColor, RGB(10, 20, 30));
    EXPECT_EQ(StoredDword(L"FollowLinks"), 0u);
    EXPECT_EQ(s.followLinks, 0u);
    EXPECT_EQ(g_app.effect.followLinks, 0u);
}

TEST(Settings, AValueOfTheWrongSizeKeepsItsDefault) {
    DeleteSettingsKey();
    HKEY key = OpenForWriting();
    const unsigned long long wide = 2;
    RegSetValueExW(key, L"Unit", 0, REG_QWORD, reinterpret_cast<const BYTE*>(&wide), sizeof(wide));
    const WORD narrow = 0;
    RegSetValueExW(key, L"Comma", 0, REG_BINARY, reinterpret_cast<const BYTE*>(&narrow), sizeof(narrow));
    const DWORD anyType = 1;   // four bytes of another type are taken as they are
    RegSetValueExW(key, L"SnapShot", 0, REG_BINARY, reinterpret_cast<const BYTE*>(&anyType), sizeof(anyType));
    const wchar_t longName[] = L"A face name far longer than thirty-one characters";
    RegSetValueExW(key, L"FontName", 0, REG_SZ, reinterpret_cast<const BYTE*>(longName), sizeof(longName));
    RegCloseKey(key);
    ListWindow window;
    LoadSettings();
    EXPECT_EQ(g_app.settings.unit, 0u);
    EXPECT_EQ(g_app.settings.comma, 1u);
    EXPECT_EQ(g_app.settings.snapShot, 1u);
    EXPECT_STREQ(g_app.settings.logFont.lfFaceName, L"");
    EXPECT_FALSE(g_app.userFont);
}

// Values no user could have chosen are read as their defaults, the window comes up on
// the screen, and what is saved again is sane.
TEST(Settings, ValuesOutOfRangeAreReadAsDefaultsAndNotWrittenBack) {
    DeleteSettingsKey();
    HKEY key = OpenForWriting();
    const std::pair<const wchar_t*, DWORD> stored[] = {
        {L"Left", 3000}, {L"Top", 3000}, {L"Width", 500}, {L"Height", 400},
        {L"FontSize", 0x7FFFFFFF}, {L"FontWeight", 5000}, {L"UseSystemFont", 0},
        {L"Unit", 9}, {L"Sort", 77}, {L"SnapShot", 5}, {L"TargetList", 3},
        {L"ColumnWidthName", 0x7FFFFFFF}, {L"ColumnWidthSize", 0xFFFFFFF0}, {L"ColumnWidthDateTime", 100000},
    };
    for (const auto& [name, value] : stored) {
        RegSetValueExW(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof(value));
    }
    const wchar_t face[] = L"IPAゴシック";
    RegSetValueExW(key, L"FontName", 0, REG_SZ, reinterpret_cast<const BYTE*>(face), sizeof(face));
    RegCloseKey(key);
    {
        ListWindow window;
        LoadSettings();
        const Settings& s = g_app.settings;
        const Settings defaults;
        EXPECT_EQ(s.chooseFont.iPointSize, 0);
        EXPECT_EQ(s.logFont.lfHeight, 0);
        EXPECT_EQ(s.logFont.lfWeight, 0);
        EXPECT_TRUE(g_app.userFont);
        EXPECT_EQ(s.unit, defaults.unit);
        EXPECT_EQ(s.sort, defaults.sort);
        EXPECT_EQ(s.snapShot, defaults.snapShot);
        EXPECT_EQ(s.targetList, defaults.targetList);
        EXPECT_EQ(s.columnWidthName, defaults.columnWidthName);
        EXPECT_EQ(s.columnWidthSize, defaults.columnWidthSize);
        EXPECT_EQ(s.columnWidthDateTime, defaults.columnWidthDateTime);
        RECT placed{};
        GetWindowRect(g_app.main, &placed);
        EXPECT_TRUE(MonitorFromRect(&placed, MONITOR_DEFAULTTONULL)) << placed.left << "," << placed.top;
        EXPECT_EQ(placed.right - placed.left, 500);
        EXPECT_EQ(placed.bottom - placed.top, 400);
        g_app.columnsCreated = false;
        SaveSettings();
    }
    EXPECT_LT(StoredDword(L"Left"), 1280u);
    EXPECT_EQ(StoredDword(L"FontSize"), 0u);
    EXPECT_EQ(StoredDword(L"Unit"), 0u);
    EXPECT_EQ(StoredDword(L"ColumnWidthName"), 180u);
}

TEST(Settings, HiddenBarGraphKeepsTheStoredWidth) {
    DeleteSettingsKey();
    HKEY key = OpenForWriting();
    const DWORD width = 77;
    RegSetValueExW(key, L"ColumnWidthBarGraph", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&width), sizeof(width));
    RegCloseKey(key);
    {
        ListWindow window;
        LoadSettings();
        EXPECT_EQ(g_app.settings.columnWidthBarGraph, 77);
        SendMessageW(g_app.list, LVM_SETCOLUMNWIDTH, 3, 150);   // the date column, not the bar
        SaveSettings();
    }
    EXPECT_EQ(StoredDword(L"ColumnWidthBarGraph"), 77u);
    EXPECT_EQ(StoredDword(L"ColumnWidthDateTime"), 150u);
    // Shown, the bar column's width as dragged is saved.
    {
        ListWindow window(false, true);
        LoadSettings();
        g_app.effect.displayGraph = 1;
        SendMessageW(g_app.list, LVM_SETCOLUMNWIDTH, 3, 55);
        SaveSettings();
    }
    EXPECT_EQ(StoredDword(L"ColumnWidthBarGraph"), 55u);
}

TEST(Settings, WidthsAreKeptWhenTheColumnsWereNeverMade) {
    DeleteSettingsKey();
    HKEY key = OpenForWriting();
    const DWORD width = 222;
    RegSetValueExW(key, L"ColumnWidthName", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&width), sizeof(width));
    RegCloseKey(key);
    {
        ListWindow window;
        LoadSettings();
        // As after a set-up that failed before the list got its columns.
        while (SendMessageW(g_app.list, LVM_DELETECOLUMN, 0, 0)) {
        }
        g_app.columnsCreated = false;
        SaveSettings();
    }
    EXPECT_EQ(StoredDword(L"ColumnWidthName"), 222u);
    EXPECT_EQ(StoredDword(L"ColumnWidthDateTime"), 115u);
}

TEST(Settings, FontHeightFromTenthsOfAPoint) {
    EXPECT_EQ(FontHeightFromPointSize(90), -12);
    EXPECT_EQ(FontHeightFromPointSize(100), -13);
    EXPECT_EQ(FontHeightFromPointSize(0), 0);
    EXPECT_EQ(FontHeightFromPointSize(95), -12);
}
