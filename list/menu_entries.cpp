#include "list/menu_entries.h"

#include <commctrl.h>

#include <cwctype>

#include "state/app_state.h"
#include "list/dpi.h"

namespace lurmo {

namespace {

// The fixed entries carry a pointer to their text; the template entries, to their record.
const wchar_t* EntryText(UINT id, ULONG_PTR data) {
    if (!data) return L"";
    if (id >= IDM_FIRST_TEMPLATE) return reinterpret_cast<const MenuEntryLook*>(data)->text.c_str();
    return reinterpret_cast<const wchar_t*>(data);
}

// The image list gives a fresh icon each time; the caller owns it.
unique_hicon ImageListIcon(UINT id) {
    int image = -1;
    if (id == IDM_NEW_FOLDER) image = g_app.folderIconIndex;
    if (id == IDM_NEW_SHORTCUT) image = g_app.shortcutOverlay >> 8;
    if (image < 0) return {};
    return unique_hicon(ImageList_GetIcon(g_app.smallImages, image, ILD_NORMAL));
}

HICON TemplateIcon(UINT id, ULONG_PTR data) {
    if (id < IDM_FIRST_TEMPLATE || !data) return nullptr;
    return reinterpret_cast<const MenuEntryLook*>(data)->icon.get();
}

// The font menus are drawn in, at the window's DPI.
unique_hfont CreateMenuFont() {
    LOGFONTW font{};
    if (!MenuLogFont(g_app.dpi, font)) return {};
    return unique_hfont(CreateFontIndirectW(&font));
}

// DrawTextW draws the "&" prefix as an underline, as the system's own menus do, and
// measures the text the same way.
constexpr UINT kTextFormat = DT_SINGLELINE | DT_VCENTER | DT_LEFT;

// A lone "&" at the very end marks no character; Wine's DrawTextW would draw it.
std::wstring ShownText(const wchar_t* text) {
    std::wstring shown = text;
    size_t ampersands = 0;
    while (ampersands < shown.size() && shown[shown.size() - 1 - ampersands] == L'&') ++ampersands;
    if (ampersands % 2 == 1) shown.pop_back();
    return shown;
}

// The character after the first single "&" of a text, upper-cased; 0 when there is none.
wchar_t MnemonicOf(const std::wstring& text) {
    for (size_t i = 0; i + 1 < text.size(); ++i) {
        if (text[i] != L'&') continue;
        if (text[i + 1] != L'&') return static_cast<wchar_t>(towupper(text[i + 1]));
        ++i;   // "&&" is an ampersand of the text
    }
    return 0;
}

}  // namespace

void InsertMenuEntry(HMENU menu, UINT position, UINT id, ULONG_PTR data) {
    MENUITEMINFOW item{};
    item.cbSize = sizeof(item);
    item.fMask = MIIM_STATE | MIIM_ID | MIIM_FTYPE | MIIM_DATA;
    item.fType = MFT_OWNERDRAW;
    item.wID = id;
    item.dwItemData = data;
    InsertMenuItemW(menu, position, TRUE, &item);
}

void MeasureMenuEntry(MEASUREITEMSTRUCT* item) {
    const int iconWidth = SmallIconSize(g_app.dpi), iconHeight = iconWidth;
    unique_window_dc dc(g_app.main);
    if (!dc) return;
    unique_hfont font = CreateMenuFont();
    HGDIOBJ previous = font ? SelectObject(dc.get(), font.get()) : nullptr;
    RECT text{};
    const std::wstring shown = ShownText(EntryText(item->itemID, item->itemData));
    DrawTextW(dc.get(), shown.c_str(), -1, &text, kTextFormat | DT_CALCRECT);
    if (previous) SelectObject(dc.get(), previous);
    item->itemWidth = static_cast<UINT>(iconWidth + (text.right - text.left) + Scaled(11));
    // An entry is never lower than its icon.
    const int height = text.bottom - text.top + Scaled(2);
    item->itemHeight = static_cast<UINT>(height > iconHeight + Scaled(2) ? height : iconHeight + Scaled(2));
}

void DrawMenuEntry(const DRAWITEMSTRUCT* item) {
    HDC dc = item->hDC;
    const RECT& area = item->rcItem;
    const bool selected = (item->itemState & ODS_SELECTED) != 0;
    const int iconWidth = SmallIconSize(g_app.dpi), iconHeight = iconWidth;
    FillRect(dc, &area, GetSysColorBrush(selected ? COLOR_MENUHILIGHT : COLOR_MENU));
    const COLORREF text = (item->itemState & ODS_GRAYED) ? GetSysColor(COLOR_GRAYTEXT)
                          : selected                     ? g_app.menuHighlightText
                                                         : GetSysColor(COLOR_MENUTEXT);
    const COLORREF previousText = SetTextColor(dc, text);
    const COLORREF previousBack = SetBkColor(dc, selected ? g_app.menuHighlight : GetSysColor(COLOR_MENU));
    const int previousMode = SetBkMode(dc, TRANSPARENT);

    unique_hicon owned = ImageListIcon(item->itemID);
    HICON icon = owned ? owned.get() : TemplateIcon(item->itemID, item->itemData);
    if (icon) DrawIconEx(dc, area.left + Scaled(3), area.top + Scaled(1), icon, iconWidth, iconHeight, 0, nullptr, DI_NORMAL);

    RECT textArea = area;
    textArea.left = area.left + iconWidth + Scaled(11);
    const UINT format = kTextFormat | ((item->itemState & ODS_NOACCEL) ? DT_HIDEPREFIX : 0);
    const std::wstring shown = ShownText(EntryText(item->itemID, item->itemData));
    DrawTextW(dc, shown.c_str(), -1, &textArea, format);

    SetBkMode(dc, previousMode);
    SetBkColor(dc, previousBack);
    SetTextColor(dc, previousText);
}

// Owner-drawn entries have no text the system could match a key against, so the submenu
// asks here; every entry with a mnemonic answers, the templates' included.
LRESULT MatchMenuMnemonic(wchar_t character, HMENU menu) {
    const wchar_t wanted = static_cast<wchar_t>(towupper(character));
    const int count = GetMenuItemCount(menu);
    for (int position = 0; position < count; ++position) {
        MENUITEMINFOW info{};
        info.cbSize = sizeof(info);
        info.fMask = MIIM_ID | MIIM_DATA | MIIM_FTYPE;
        if (!GetMenuItemInfoW(menu, static_cast<UINT>(position), TRUE, &info)) continue;
        if (!(info.fType & MFT_OWNERDRAW)) continue;
        if (MnemonicOf(EntryText(info.wID, info.dwItemData)) == wanted) {
            return MAKELRESULT(position, MNC_EXECUTE);
        }
    }
    return 0;
}

}  // namespace lurmo
