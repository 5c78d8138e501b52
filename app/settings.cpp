#include "app/settings.h"

#include <algorithm>
#include <cwchar>

#include "state/app_state.h"
#include "list/dpi.h"

namespace lurmo {

namespace {

// A value is taken only when it is there and fits: a longer value of any type is
// ignored, so a damaged value never replaces the default.
bool ReadDword(HKEY key, const wchar_t* name, DWORD& out) {
    DWORD value = 0, size = sizeof(value);
    if (RegQueryValueExW(key, name, nullptr, nullptr, reinterpret_cast<BYTE*>(&value), &size) != ERROR_SUCCESS)
        return false;
    if (size != sizeof(value)) return false;
    out = value;
    return true;
}

void ReadInt(HKEY key, const wchar_t* name, int& out) {
    DWORD value = 0;
    if (ReadDword(key, name, value)) out = static_cast<int>(value);
}

void ReadByte(HKEY key, const wchar_t* name, BYTE& out) {
    DWORD value = 0;
    if (ReadDword(key, name, value)) out = static_cast<BYTE>(value & 0xFF);
}

void ReadFaceName(HKEY key, wchar_t (&face)[LF_FACESIZE]) {
    wchar_t buffer[LF_FACESIZE + 1]{};
    DWORD size = sizeof(face);
    if (RegQueryValueExW(key, L"FontName", nullptr, nullptr, reinterpret_cast<BYTE*>(buffer), &size) !=
        ERROR_SUCCESS)
        return;
    buffer[LF_FACESIZE - 1] = L'\0';   // a value stored without its terminator stays bounded
    std::wmemcpy(face, buffer, LF_FACESIZE);
}

void WriteDword(HKEY key, const wchar_t* name, DWORD value) {
    RegSetValueExW(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof(value));
}

// The window's outer rectangle as it stands when neither minimized nor maximized: a
// window closed while minimized would otherwise be saved at -32000,-32000 and open off
// the screen next time.
RECT NormalWindowRect(HWND window) {
    RECT rect{};
    GetWindowRect(window, &rect);
    if (!IsIconic(window) && !IsZoomed(window)) return rect;
    WINDOWPLACEMENT placement{};
    placement.length = sizeof(placement);
    if (!GetWindowPlacement(window, &placement)) return rect;
    rect = placement.rcNormalPosition;
    // The normal position is in workspace coordinates: relative to the work area, which
    // a task bar at the left or top moves away from the screen's corner.
    MONITORINFO monitor{};
    monitor.cbSize = sizeof(monitor);
    if (GetMonitorInfoW(MonitorFromRect(&rect, MONITOR_DEFAULTTOPRIMARY), &monitor)) {
        OffsetRect(&rect, monitor.rcWork.left - monitor.rcMonitor.left, monitor.rcWork.top - monitor.rcMonitor.top);
    }
    return rect;
}

// Widths are kept at 96 DPI, so that a width means the same on every monitor and the
// values stored by earlier versions, which Windows showed unscaled, keep their meaning.
int ColumnWidth(int column) {
    return UnscaleForDpi(static_cast<int>(SendMessageW(g_app.list, LVM_GETCOLUMNWIDTH, column, 0)), g_app.dpi);
}

unsigned ReadStoredColumnWidths(HKEY key) {
    unsigned stored = 0, bit = 1;
    for (const wchar_t* name : {L"ColumnWidthName", L"ColumnWidthSize", L"ColumnWidthPercent", L"ColumnWidthBarGraph"}) {
        DWORD value = 0;
        if (ReadDword(key, name, value)) stored |= bit;
        bit <<= 1;
    }
    return stored;
}

// Ranges outside of which a stored value is taken for damage, not for a choice: sizes in
// tenths of a point from 4 to 144 points (the chooser offers 8 to 72), the weights
// LOGFONTW knows, and column widths up to a very wide screen.
constexpr int kMinPointSize = 40, kMaxPointSize = 1440;
constexpr LONG kMaxFontWeight = 1000;
constexpr int kMaxColumnWidth = 8192;
constexpr int kMaxCoordinate = 0x8000;
constexpr int kMinTreemapHeight = 40;
constexpr DWORD kUnits = 4, kSortStates = 6, kTargetLists = 2;

template <typename T>
void KeepInRange(T& value, T low, T high, T fallback) {
    if (value < low || value > high) value = fallback;
}

// Every stored value the program cannot use is replaced by its default as it is read, so
// that it is neither used nor written back.
void ReplaceValuesOutOfRange(Settings& s) {
    const Settings defaults;
    KeepInRange(s.columnWidthName, 0, kMaxColumnWidth, defaults.columnWidthName);
    KeepInRange(s.columnWidthSize, 0, kMaxColumnWidth, defaults.columnWidthSize);
    KeepInRange(s.columnWidthPercent, 0, kMaxColumnWidth, defaults.columnWidthPercent);
    KeepInRange(s.columnWidthBarGraph, 0, kMaxColumnWidth, defaults.columnWidthBarGraph);
    if (s.columnWidthDateTime < 0 || s.columnWidthDateTime > kMaxColumnWidth) {
        s.columnWidthDateTime = defaults.columnWidthDateTime;
        s.columnWidthDateTimeStored = false;
    }
    KeepInRange(s.snapShot, 0ul, 1ul, defaults.snapShot);
    KeepInRange(s.unit, 0ul, kUnits - 1, defaults.unit);
    KeepInRange(s.sort, 0ul, kSortStates - 1, defaults.sort);
    KeepInRange(s.targetList, 0ul, kTargetLists - 1, defaults.targetList);
    // Zero is the chooser's "no size": the font then takes its own default height.
    if (s.chooseFont.iPointSize != 0) KeepInRange(s.chooseFont.iPointSize, kMinPointSize, kMaxPointSize, 0);
    KeepInRange(s.logFont.lfWeight, 0L, kMaxFontWeight, 0L);
}

// A window that would lie off every screen (a monitor since removed, a damaged value) is
// brought onto the nearest one, and made no larger than its work area.
RECT OntoNearestScreen(RECT rect) {
    if (MonitorFromRect(&rect, MONITOR_DEFAULTTONULL)) return rect;
    MONITORINFO monitor{};
    monitor.cbSize = sizeof(monitor);
    if (!GetMonitorInfoW(MonitorFromRect(&rect, MONITOR_DEFAULTTONEAREST), &monitor)) return rect;
    const RECT& work = monitor.rcWork;
    const LONG width = std::min(rect.right - rect.left, work.right - work.left);
    const LONG height = std::min(rect.bottom - rect.top, work.bottom - work.top);
    const LONG left = std::clamp(rect.left, work.left, work.right - width);
    const LONG top = std::clamp(rect.top, work.top, work.bottom - height);
    return RECT{left, top, left + width, top + height};
}

}  // namespace

// Whole points at the DPI; at 96 this is the old rule of four pixels for three points.
LONG FontHeightFromPointSize(int tenthsOfPoint, UINT dpi) {
    return -((tenthsOfPoint / 10) * static_cast<LONG>(dpi) / 72);
}

void LoadSettings() {
    Settings& s = g_app.settings;
    RECT placement{};
    if (g_app.main) GetWindowRect(g_app.main, &placement);

    s = Settings{};
    s.left = placement.left;
    s.top = placement.top;
    s.width = placement.right - placement.left;
    s.height = placement.bottom - placement.top;
    s.chooseFont.lStructSize = sizeof(CHOOSEFONTW);
    s.chooseFont.lpLogFont = &s.logFont;
    s.chooseFont.rgbColors = GetSysColor(COLOR_WINDOWTEXT);
    g_app.userFont.reset();

    HKEY raw = nullptr;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, kSettingsKey, 0, KEY_QUERY_VALUE, &raw) == ERROR_SUCCESS) {
        unique_hkey key(raw);
        ReadInt(raw, L"Left", s.left);
        ReadInt(raw, L"Top", s.top);
        ReadInt(raw, L"Width", s.width);
        ReadInt(raw, L"Height", s.height);
        ReadInt(raw, L"ColumnWidthName", s.columnWidthName);
        ReadInt(raw, L"ColumnWidthSize", s.columnWidthSize);
        ReadInt(raw, L"ColumnWidthPercent", s.columnWidthPercent);
        ReadInt(raw, L"ColumnWidthBarGraph", s.columnWidthBarGraph);
        s.storedColumnWidths = ReadStoredColumnWidths(raw);
        DWORD dateWidth = 0;
        if (ReadDword(raw, L"ColumnWidthDateTime", dateWidth)) {
            s.columnWidthDateTime = static_cast<int>(dateWidth);
            s.columnWidthDateTimeStored = true;
        }
        ReadDword(raw, L"SnapShot", s.snapShot);
        ReadDword(raw, L"Unit", s.unit);
        ReadDword(raw, L"UsedSize", s.usedSize);
        ReadDword(raw, L"Comma", s.comma);
        ReadDword(raw, L"MaxHistory", s.maxHistory);
        ReadDword(raw, L"Sort", s.sort);
        ReadDword(raw, L"TargetList", s.targetList);
        ReadDword(raw, L"UseSystemFont", s.useSystemFont);
        ReadInt(raw, L"FontSize", s.chooseFont.iPointSize);
        ReadDword(raw, L"FontColor", s.chooseFont.rgbColors);
        DWORD weight = 0;
        if (ReadDword(raw, L"FontWeight", weight)) s.logFont.lfWeight = static_cast<LONG>(weight);
        ReadFaceName(raw, s.logFont.lfFaceName);
        ReadByte(raw, L"FontItalic", s.logFont.lfItalic);
        ReadByte(raw, L"FontUnderLine", s.logFont.lfUnderline);
        ReadByte(raw, L"FontStrikeOut", s.logFont.lfStrikeOut);
        ReadByte(raw, L"FontOutPrecision", s.logFont.lfOutPrecision);
        ReadByte(raw, L"FontCharSet", s.logFont.lfCharSet);
        ReadDword(raw, L"DisplayGraph", s.displayGraph);
        ReadDword(raw, L"GraphColor", s.graphColor);
        ReadDword(raw, L"FollowLinks", s.followLinks);
        ReadDword(raw, L"DisplayChange", s.displayChange);
        s.treemapShownStored = ReadDword(raw, L"TreemapShown", s.treemapShown);
        ReadInt(raw, L"TreemapHeight", s.treemapHeight);
        ReadDword(raw, L"FileTypesShown", s.fileTypesShown);
    }
    // Until the user shows or hides the map it follows the mode: shown where it has a tree.
    if (!s.treemapShownStored) s.treemapShown = s.snapShot == 0;
    s.treemapShown = s.treemapShown != 0;
    s.fileTypesShown = s.fileTypesShown != 0;
    KeepInRange(s.treemapHeight, kMinTreemapHeight, kMaxCoordinate, Settings{}.treemapHeight);
    ReplaceValuesOutOfRange(s);
    // Coordinates and sizes beyond any screen are the window's own, as for a first start.
    KeepInRange(s.left, -kMaxCoordinate, kMaxCoordinate, static_cast<int>(placement.left));
    KeepInRange(s.top, -kMaxCoordinate, kMaxCoordinate, static_cast<int>(placement.top));
    if (s.width <= 0 || s.height <= 0 || s.width > kMaxCoordinate || s.height > kMaxCoordinate) {
        s.width = placement.right - placement.left;
        s.height = placement.bottom - placement.top;
    }
    if (g_app.main) {
        const RECT onScreen = OntoNearestScreen(RECT{s.left, s.top, s.left + s.width, s.top + s.height});
        s.left = onScreen.left;
        s.top = onScreen.top;
        s.width = onScreen.right - onScreen.left;
        s.height = onScreen.bottom - onScreen.top;
    }
    if (s.logFont.lfFaceName[0] != L'\0') {
        s.logFont.lfHeight = FontHeightFromPointSize(s.chooseFont.iPointSize, g_app.dpi);
        g_app.userFont.reset(CreateFontIndirectW(&s.logFont));
    }
    g_app.effect.snapShot = s.snapShot;
    g_app.effect.usedSize = s.usedSize;
    g_app.effect.displayGraph = s.displayGraph;
    g_app.effect.graphColor = s.graphColor;
    g_app.effect.followLinks = s.followLinks;
    g_app.dateColumn = s.displayGraph ? 4 : 3;

    if (g_app.main) SetWindowPos(g_app.main, nullptr, s.left, s.top, s.width, s.height, SWP_NOZORDER);
}

void SaveSettings() {
    Settings& s = g_app.settings;
    RECT rect{};
    if (g_app.main) rect = NormalWindowRect(g_app.main);

    HKEY raw = nullptr;
    if (RegCreateKeyExW(HKEY_CURRENT_USER, kSettingsKey, 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_SET_VALUE,
                        nullptr, &raw, nullptr) != ERROR_SUCCESS)
        return;
    unique_hkey key(raw);
    WriteDword(raw, L"Left", static_cast<DWORD>(rect.left));
    WriteDword(raw, L"Top", static_cast<DWORD>(rect.top));
    WriteDword(raw, L"Width", static_cast<DWORD>(rect.right - rect.left));
    WriteDword(raw, L"Height", static_cast<DWORD>(rect.bottom - rect.top));
    // A set-up that failed before the columns were made has no widths to keep.
    const bool columns = g_app.list && g_app.columnsCreated;
    if (columns) {
        s.columnWidthName = ColumnWidth(0);
        s.columnWidthSize = ColumnWidth(1);
        s.columnWidthPercent = ColumnWidth(2);
        s.columnWidthDateTime = ColumnWidth(g_app.dateColumn);
    }
    WriteDword(raw, L"ColumnWidthName", static_cast<DWORD>(s.columnWidthName));
    WriteDword(raw, L"ColumnWidthSize", static_cast<DWORD>(s.columnWidthSize));
    WriteDword(raw, L"ColumnWidthPercent", static_cast<DWORD>(s.columnWidthPercent));
    // The in-memory bar width is what was loaded; only a shown column has a width to keep.
    if (columns && g_app.effect.displayGraph) WriteDword(raw, L"ColumnWidthBarGraph", static_cast<DWORD>(ColumnWidth(3)));
    WriteDword(raw, L"ColumnWidthDateTime", static_cast<DWORD>(s.columnWidthDateTime));
    WriteDword(raw, L"SnapShot", s.snapShot);
    WriteDword(raw, L"Unit", s.unit);
    WriteDword(raw, L"UsedSize", s.usedSize);
    WriteDword(raw, L"Comma", s.comma);
    WriteDword(raw, L"MaxHistory", s.maxHistory);
    WriteDword(raw, L"Sort", s.sort);
    WriteDword(raw, L"TargetList", s.targetList);
    WriteDword(raw, L"UseSystemFont", s.useSystemFont);
    WriteDword(raw, L"FontSize", static_cast<DWORD>(s.chooseFont.iPointSize));
    WriteDword(raw, L"FontColor", s.chooseFont.rgbColors);
    WriteDword(raw, L"FontWeight", static_cast<DWORD>(s.logFont.lfWeight));
    if (s.logFont.lfFaceName[0] != L'\0') {
        const DWORD bytes = static_cast<DWORD>((wcsnlen(s.logFont.lfFaceName, LF_FACESIZE - 1) + 1) * sizeof(wchar_t));
        RegSetValueExW(raw, L"FontName", 0, REG_SZ, reinterpret_cast<const BYTE*>(s.logFont.lfFaceName), bytes);
    }
    WriteDword(raw, L"FontItalic", s.logFont.lfItalic);
    WriteDword(raw, L"FontUnderLine", s.logFont.lfUnderline);
    WriteDword(raw, L"FontStrikeOut", s.logFont.lfStrikeOut);
    WriteDword(raw, L"FontOutPrecision", s.logFont.lfOutPrecision);
    WriteDword(raw, L"FontCharSet", s.logFont.lfCharSet);
    WriteDword(raw, L"DisplayGraph", s.displayGraph);
    WriteDword(raw, L"GraphColor", s.graphColor);
    WriteDword(raw, L"FollowLinks", s.followLinks);
    WriteDword(raw, L"DisplayChange", s.displayChange);
    if (s.treemapShownStored) WriteDword(raw, L"TreemapShown", s.treemapShown);
    WriteDword(raw, L"TreemapHeight", static_cast<DWORD>(s.treemapHeight));
    WriteDword(raw, L"FileTypesShown", s.fileTypesShown);
}

}  // namespace lurmo
