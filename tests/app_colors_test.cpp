// The row colours of a real run as the main window paints them.
#include <gtest/gtest.h>

#include <windows.h>

#include <cwchar>

#include "state/app_state.h"
#include "engine/file_system.h"
#include "list/custom_draw.h"
#include "list/result_rows.h"
#include "tests/test_support.h"
#include "tests/ui_support.h"

using namespace lurmo;
using namespace lurmo::test;

namespace {

// Wine's file system shows neither attribute; these names carry them.
DWORD MarkByName(const WIN32_FIND_DATAW& data) {
    DWORD attributes = data.dwFileAttributes;
    if (wcsstr(data.cFileName, L"packed")) attributes |= FILE_ATTRIBUTE_COMPRESSED;
    if (wcsstr(data.cFileName, L"sealed")) attributes |= FILE_ATTRIBUTE_ENCRYPTED;
    return attributes;
}

// Pixels of the colour in the row of that name; ■ draws solid in the text colour.
int PixelsIn(const std::wstring& name, COLORREF color) {
    return ListPixels().Count(CellRect(FindRowByName(name + L"■■■■"), 0), color);
}

}  // namespace

TEST(Colors, CompressedAndEncryptedItemsInExplorersColoursOthersInTheUsers) {
    TempFolder root;
    for (const wchar_t* name : {L"packed", L"sealed", L"packed-sealed", L"plain"}) {
        root.File(name + std::wstring(L"■■■■"), 10);
    }
    static const CompressionProbe probe{MarkByName, nullptr};
    const CompressionProbe* previous = InstallCompressionProbe(&probe);
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, kExplorerKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
              ERROR_SUCCESS);
    RegDeleteValueW(key, L"AltColor");
    RegDeleteValueW(key, L"AltEncryptionColor");
    struct Case {
        bool stored;
        COLORREF compressed, encrypted;
    };
    // Without Explorer's values blue and green; then Explorer's red, green and blue bytes,
    // where a value short of its blue byte reads as no blue.
    for (const Case& colors : {Case{false, RGB(0, 0, 255), RGB(0, 128, 0)}, Case{true, 0x904020, 0x004090}}) {
        if (colors.stored) {
            const BYTE compressed[4] = {0x20, 0x40, 0x90, 0}, encrypted[2] = {0x90, 0x40};
            RegSetValueExW(key, L"AltColor", 0, REG_BINARY, compressed, 4);
            RegSetValueExW(key, L"AltEncryptionColor", 0, REG_BINARY, encrypted, 2);
        }
        MainWindow window;
        ASSERT_TRUE(AccumulateAndWait(root.path()));
        EXPECT_GT(PixelsIn(L"packed", colors.compressed), 20);
        EXPECT_GT(PixelsIn(L"sealed", colors.encrypted), 20);
        EXPECT_GT(PixelsIn(L"packed-sealed", colors.compressed), 20);
        EXPECT_EQ(PixelsIn(L"packed-sealed", colors.encrypted), 0);
        // A plain row keeps the list's colour until the user's font is in use.
        const COLORREF user = RGB(160, 0, 160);
        g_app.settings.chooseFont.rgbColors = user;
        EXPECT_EQ(PixelsIn(L"plain", user), 0);
        g_app.settings.useSystemFont = 0;
        EXPECT_GT(PixelsIn(L"plain", user), 20);
        EXPECT_GT(PixelsIn(L"packed", colors.compressed), 20);
    }
    RegDeleteValueW(key, L"AltColor");
    RegDeleteValueW(key, L"AltEncryptionColor");
    RegCloseKey(key);
    InstallCompressionProbe(previous);
}
