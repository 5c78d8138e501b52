#include "list/custom_draw.h"

#include <cstdint>

#include "state/app_state.h"
#include "engine/entries.h"
#include "list/growth.h"
#include "list/result_rows.h"

namespace lurmo {

namespace {

// The bar graph's sub-item number; it stays 3 wherever the user drags its header.
constexpr int kBarColumn = 3;

constexpr COLORREF kDefaultCompressedColor = RGB(0, 0, 255);
constexpr COLORREF kDefaultEncryptedColor = RGB(0, 128, 0);

// Explorer keeps each colour as red, green and blue bytes (and one spare). A value
// shorter than four bytes fills only the front of the zeroed buffer, so it still reads
// as a defined colour; a longer one does not fit and counts as missing.
COLORREF ReadExplorerColor(HKEY key, const wchar_t* name, COLORREF fallback) {
    BYTE bytes[4]{};
    DWORD size = sizeof(bytes);
    if (RegQueryValueExW(key, name, nullptr, nullptr, bytes, &size) != ERROR_SUCCESS) return fallback;
    return RGB(bytes[0], bytes[1], bytes[2]);
}

// The row's text colour as the item stage chose it, for the sub-items after the change
// cell: Windows hands each sub-item the colours the one before it was given.
COLORREF g_rowTextColor = 0;

LRESULT ColorRow(NMLVCUSTOMDRAW* draw) {
    const RowEntry* entry = RowEntryAt(static_cast<int>(draw->nmcd.dwItemSpec));
    if (!entry) return CDRF_DODEFAULT;
    // The row under a drag that would take the drop: Wine's list keeps the state but does
    // not paint it, so the highlight is given here (Windows paints the same colours).
    if (SendMessageW(draw->nmcd.hdr.hwndFrom, LVM_GETITEMSTATE, draw->nmcd.dwItemSpec, LVIS_DROPHILITED) &
        LVIS_DROPHILITED) {
        draw->clrText = GetSysColor(COLOR_HIGHLIGHTTEXT);
        draw->clrTextBk = GetSysColor(COLOR_HIGHLIGHT);
    } else if (entry->kind & kKindCompressed) {
        draw->clrText = g_app.compressedColor;
    } else if (entry->kind & kKindEncrypted) {
        draw->clrText = g_app.encryptedColor;
    } else if (!g_app.settings.useSystemFont) {
        draw->clrText = g_app.settings.chooseFont.rgbColors;
    }
    g_rowTextColor = draw->clrText;
    return g_app.effect.displayGraph || g_app.changeColumn >= 0 ? CDRF_NOTIFYSUBITEMDRAW : CDRF_DODEFAULT;
}

// The change cell in the colour of growth or shrinkage; every other cell in the row's.
// Only the name cell shows a selection (the list selects whole rows in snapshot mode
// alone, where there is no change column), so the change colours always stand on the
// list's background.
LRESULT ColorChangeCell(NMLVCUSTOMDRAW* draw) {
    if (g_app.changeColumn < 0) return CDRF_DODEFAULT;
    draw->clrText = g_rowTextColor;
    if (draw->iSubItem != g_app.changeColumn) return CDRF_NEWFONT;
    const RowEntry* entry = RowEntryAt(static_cast<int>(draw->nmcd.dwItemSpec));
    if (!entry) return CDRF_NEWFONT;
    if (const std::optional<COLORREF> color = ChangeColor(*entry)) draw->clrText = *color;
    return CDRF_NEWFONT;
}

// From Windows 6.0 on the notice carries the cell's rectangle. Earlier lists do not give
// it at the sub-item stage, so the list is asked for the cell, which also accounts for
// scrolling and for a header dragged into another order.
bool BarCell(const NMLVCUSTOMDRAW* draw, RECT& cell) {
    if (g_app.osVersion >= 0x600) {
        cell = draw->nmcd.rc;
        return true;
    }
    cell = RECT{LVIR_BOUNDS, kBarColumn, 0, 0};
    return SendMessageW(draw->nmcd.hdr.hwndFrom, LVM_GETSUBITEMRECT, draw->nmcd.dwItemSpec,
                        reinterpret_cast<LPARAM>(&cell)) != 0;
}

LRESULT DrawBar(const NMLVCUSTOMDRAW* draw) {
    if (g_app.busy.load()) return CDRF_DODEFAULT;
    const uint64_t total = g_app.grandTotal.load();
    if (total == 0) return CDRF_DODEFAULT;
    const RowEntry* entry = RowEntryAt(static_cast<int>(draw->nmcd.dwItemSpec));
    RECT cell{};
    if (!entry || !BarCell(draw, cell)) return CDRF_DODEFAULT;
    // A change notice can leave a row briefly larger than the total it was added to; the
    // bar then fills its cell and never paints into the next column.
    double fraction = static_cast<double>(entry->size) / static_cast<double>(total);
    if (fraction > 1.0) fraction = 1.0;
    RECT bar = cell;
    bar.right = bar.left + static_cast<LONG>((cell.right - cell.left) * fraction);
    bar.top += Scaled(2);
    bar.bottom -= Scaled(2);
    unique_hbrush brush(CreateSolidBrush(g_app.effect.graphColor));
    if (brush) FillRect(draw->nmcd.hdc, &bar, brush.get());
    return CDRF_SKIPDEFAULT;
}

LRESULT DrawCell(NMLVCUSTOMDRAW* draw) {
    if (g_app.effect.displayGraph && draw->iSubItem == kBarColumn) return DrawBar(draw);
    return ColorChangeCell(draw);
}

}  // namespace

void ReadExplorerColors() {
    g_app.compressedColor = 0;
    g_app.encryptedColor = 0;
    HKEY raw = nullptr;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, kExplorerKey, 0, KEY_QUERY_VALUE, &raw) != ERROR_SUCCESS) return;
    unique_hkey key(raw);
    g_app.compressedColor = ReadExplorerColor(raw, L"AltColor", kDefaultCompressedColor);
    g_app.encryptedColor = ReadExplorerColor(raw, L"AltEncryptionColor", kDefaultEncryptedColor);
}

std::optional<LRESULT> OnListCustomDraw(NMLVCUSTOMDRAW* draw) {
    switch (draw->nmcd.dwDrawStage) {
        case CDDS_PREPAINT: return CDRF_NOTIFYITEMDRAW;
        case CDDS_ITEMPREPAINT: return ColorRow(draw);
        case CDDS_ITEMPREPAINT | CDDS_SUBITEM: return DrawCell(draw);
        case CDDS_ITEMPOSTPAINT | CDDS_SUBITEM: return CDRF_DODEFAULT;
        default: return std::nullopt;
    }
}

}  // namespace lurmo
