#include "list/dpi.h"

#include <shellapi.h>
#include <shlobj.h>

#include <cstddef>
#include <cstdlib>
#include <initializer_list>

namespace lurmo {

namespace {

// Windows 10 (1607) gives each window its monitor's DPI and system metrics per DPI; XP
// and later versions before it have none of these, so they are looked up by name.
using GetDpiForWindowFn = UINT(WINAPI*)(HWND);
using GetSystemMetricsForDpiFn = int(WINAPI*)(int, UINT);
using SystemParametersInfoForDpiFn = BOOL(WINAPI*)(UINT, UINT, void*, UINT, UINT);
// SHGetImageList is exported by name from XP SP1 on, by ordinal 727 before.
using SHGetImageListFn = HRESULT(WINAPI*)(int, REFIID, void**);

template <typename Fn>
Fn FindEntry(const wchar_t* module, const char* name) {
    HMODULE handle = GetModuleHandleW(module);
    if (!handle) handle = LoadLibraryW(module);
    if (!handle) return nullptr;
    return reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(handle, name)));
}

// IImageList, which the system image lists answer to; an interface pointer to one is
// also its image-list handle.
constexpr GUID kImageListInterface = {0x46eb5926, 0x582e, 0x4017, {0x9f, 0xdf, 0xe8, 0x99, 0x8d, 0xaa, 0x09, 0x50}};

// The size of the icons in a system image list; 0 when it cannot be had.
int IconSizeOf(HIMAGELIST list) {
    int width = 0, height = 0;
    if (!list || !ImageList_GetIconSize(list, &width, &height)) return 0;
    return width;
}

}  // namespace

UINT SystemDpi() {
    HDC screen = GetDC(nullptr);
    if (!screen) return kBaseDpi;
    const int dpi = GetDeviceCaps(screen, LOGPIXELSY);
    ReleaseDC(nullptr, screen);
    return dpi > 0 ? static_cast<UINT>(dpi) : kBaseDpi;
}

UINT WindowDpi(HWND window) {
    static const auto forWindow = FindEntry<GetDpiForWindowFn>(L"user32.dll", "GetDpiForWindow");
    if (forWindow && window) {
        if (const UINT dpi = forWindow(window)) return dpi;
    }
    return SystemDpi();
}

int SmallIconSize(UINT dpi) {
    static const auto forDpi = FindEntry<GetSystemMetricsForDpiFn>(L"user32.dll", "GetSystemMetricsForDpi");
    if (forDpi) {
        if (const int size = forDpi(SM_CXSMICON, dpi)) return size;
    }
    // Without per-DPI metrics the system's metric is for the system's DPI.
    return MulDiv(GetSystemMetrics(SM_CXSMICON), static_cast<int>(dpi), static_cast<int>(SystemDpi()));
}

// The shell keeps one image list per icon size, with the same index for an icon in
// each; the nearest size wins, and of two equally near the larger, as a slightly large
// icon stays sharp where a small one looks lost.
HIMAGELIST SystemImageListFor(int iconSize) {
    HIMAGELIST best = nullptr;
    int bestSize = 0;
    auto consider = [&](HIMAGELIST list) {
        const int size = IconSizeOf(list);
        if (size <= 0) return;
        const int distance = std::abs(size - iconSize), bestDistance = std::abs(bestSize - iconSize);
        if (!best || distance < bestDistance || (distance == bestDistance && size > bestSize)) {
            best = list;
            bestSize = size;
        }
    };
    HIMAGELIST large = nullptr, small = nullptr;
    if (Shell_GetImageLists(&large, &small)) {
        consider(small);
        consider(large);
    }
    static const SHGetImageListFn byName = FindEntry<SHGetImageListFn>(L"shell32.dll", "SHGetImageList");
    static const SHGetImageListFn byNumber =
        FindEntry<SHGetImageListFn>(L"shell32.dll", reinterpret_cast<const char*>(static_cast<ULONG_PTR>(727)));
    if (const SHGetImageListFn get = byName ? byName : byNumber) {
        for (int which : {SHIL_SMALL, SHIL_LARGE, SHIL_EXTRALARGE}) {
            HIMAGELIST list = nullptr;
            if (SUCCEEDED(get(which, kImageListInterface, reinterpret_cast<void**>(&list)))) consider(list);
        }
    }
    return best;
}

bool MenuLogFont(UINT dpi, LOGFONTW& font) {
    // Only the part of the structure that every Windows version knows is asked for, so
    // that the call also succeeds before version 6.0.
    NONCLIENTMETRICSW metrics{};
    metrics.cbSize = offsetof(NONCLIENTMETRICSW, lfMessageFont) + sizeof(metrics.lfMessageFont);
    static const auto forDpi =
        FindEntry<SystemParametersInfoForDpiFn>(L"user32.dll", "SystemParametersInfoForDpi");
    if (forDpi && forDpi(SPI_GETNONCLIENTMETRICS, metrics.cbSize, &metrics, 0, dpi)) {
        font = metrics.lfMenuFont;
        return true;
    }
    if (!SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, metrics.cbSize, &metrics, 0)) return false;
    font = metrics.lfMenuFont;
    font.lfHeight = MulDiv(font.lfHeight, static_cast<int>(dpi), static_cast<int>(SystemDpi()));
    return true;
}

}  // namespace lurmo
