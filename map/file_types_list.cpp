#include "map/file_types_list.h"

#include <algorithm>

#include "list/number_format.h"
#include "map/treemap_pane.h"
#include "state/app_state.h"

namespace lurmo {

namespace {

constexpr int kColourColumn = 1;

// The rows' parameters are indexes into this copy of the table's extensions and colours,
// so a refill never leaves a row naming a record that is gone.
struct TypeRow {
    std::wstring extension;
    COLORREF colour;
};
std::vector<TypeRow> g_typeRows;

std::wstring ShownName(const std::wstring& extension) {
    return extension.empty() ? std::wstring(L"(なし)") : L"." + extension;
}

// Widths are given at 96 DPI and grow with the window's DPI, as its text does.
void AddColumn(HWND list, int index, const wchar_t* caption, int width, int format) {
    width = ScaleForDpi(list, width);
    LVCOLUMNW column{};
    column.mask = LVCF_TEXT | LVCF_WIDTH | LVCF_FMT;
    column.fmt = format;
    column.cx = width;
    column.pszText = const_cast<wchar_t*>(caption);
    SendMessageW(list, LVM_INSERTCOLUMNW, index, reinterpret_cast<LPARAM>(&column));
}

void SetCellText(HWND list, int row, int column, const std::wstring& text) {
    LVITEMW item{};
    item.iSubItem = column;
    item.pszText = const_cast<wchar_t*>(text.c_str());
    SendMessageW(list, LVM_SETITEMTEXTW, row, reinterpret_cast<LPARAM>(&item));
}

}  // namespace

HWND CreateFileTypesList(HWND parent) {
    HWND list = CreateWindowExW(WS_EX_CLIENTEDGE, WC_LISTVIEWW, L"",
                                WS_CHILD | LVS_REPORT | LVS_SHOWSELALWAYS | LVS_NOSORTHEADER, 0, 0, 0, 0, parent,
                                reinterpret_cast<HMENU>(static_cast<INT_PTR>(IDC_FILE_TYPES)), g_app.instance, nullptr);
    if (!list) return nullptr;
    SendMessageW(list, LVM_SETEXTENDEDLISTVIEWSTYLE, LVS_EX_FULLROWSELECT, LVS_EX_FULLROWSELECT);
    AddColumn(list, 0, L"拡張子", 70, LVCFMT_LEFT);
    AddColumn(list, 1, L"色", 28, LVCFMT_LEFT);
    AddColumn(list, 2, SizeCaption(ClampUnit(static_cast<int>(g_app.settings.unit))), 90, LVCFMT_RIGHT);
    AddColumn(list, 3, L"%", 44, LVCFMT_RIGHT);
    AddColumn(list, 4, L"ファイル数", 70, LVCFMT_RIGHT);
    return list;
}

void FillFileTypesList(HWND list, const ExtensionTable& table, int unit, bool comma) {
    const std::vector<std::wstring> selected = SelectedFileTypes(list);
    SendMessageW(list, WM_SETREDRAW, FALSE, 0);
    SendMessageW(list, LVM_DELETEALLITEMS, 0, 0);
    g_typeRows.clear();
    LVCOLUMNW caption{};
    caption.mask = LVCF_TEXT;
    caption.pszText = const_cast<wchar_t*>(SizeCaption(unit));
    SendMessageW(list, LVM_SETCOLUMNW, 2, reinterpret_cast<LPARAM>(&caption));
    for (const ExtensionStat& stat : table.rows) {
        const int index = static_cast<int>(g_typeRows.size());
        const COLORREF colour = RGB((stat.colour >> 16) & 0xFF, (stat.colour >> 8) & 0xFF, stat.colour & 0xFF);
        g_typeRows.push_back(TypeRow{stat.extension, colour});
        const std::wstring name = ShownName(stat.extension);
        LVITEMW item{};
        item.mask = LVIF_TEXT | LVIF_PARAM;
        item.iItem = index;
        item.pszText = const_cast<wchar_t*>(name.c_str());
        item.lParam = index;
        const int row = static_cast<int>(SendMessageW(list, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item)));
        if (row < 0) continue;
        SetCellText(list, row, 2, FormatSize(stat.bytes, unit, comma));
        SetCellText(list, row, 3, table.bytes ? FormatPercent(stat.bytes, table.bytes) : std::wstring());
        SetCellText(list, row, 4, FormatCount(static_cast<int64_t>(stat.files)));
        if (std::find(selected.begin(), selected.end(), stat.extension) != selected.end()) {
            LVITEMW state{};
            state.stateMask = state.state = LVIS_SELECTED;
            SendMessageW(list, LVM_SETITEMSTATE, row, reinterpret_cast<LPARAM>(&state));
        }
    }
    SendMessageW(list, WM_SETREDRAW, TRUE, 0);
    InvalidateRect(list, nullptr, TRUE);
}

std::vector<std::wstring> SelectedFileTypes(HWND list) {
    std::vector<std::wstring> types;
    int row = -1;
    while ((row = static_cast<int>(SendMessageW(list, LVM_GETNEXTITEM, row, LVNI_SELECTED))) >= 0) {
        LVITEMW item{};
        item.mask = LVIF_PARAM;
        item.iItem = row;
        if (!SendMessageW(list, LVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&item))) continue;
        const size_t index = static_cast<size_t>(item.lParam);
        if (index < g_typeRows.size()) types.push_back(g_typeRows[index].extension);
    }
    return types;
}

LRESULT DrawFileTypesCell(NMLVCUSTOMDRAW* draw) {
    switch (draw->nmcd.dwDrawStage) {
        case CDDS_PREPAINT: return CDRF_NOTIFYITEMDRAW;
        case CDDS_ITEMPREPAINT: return CDRF_NOTIFYSUBITEMDRAW;
        case CDDS_ITEMPREPAINT | CDDS_SUBITEM: {
            if (draw->iSubItem != kColourColumn) return CDRF_DODEFAULT;
            const size_t index = static_cast<size_t>(draw->nmcd.lItemlParam);
            if (index >= g_typeRows.size()) return CDRF_DODEFAULT;
            // A swatch inset in the cell, so the selection still shows around it.
            RECT cell{};
            cell.top = kColourColumn;
            cell.left = LVIR_BOUNDS;
            SendMessageW(draw->nmcd.hdr.hwndFrom, LVM_GETSUBITEMRECT, draw->nmcd.dwItemSpec,
                         reinterpret_cast<LPARAM>(&cell));
            InflateRect(&cell, -3, -2);
            HBRUSH brush = CreateSolidBrush(g_typeRows[index].colour);
            FillRect(draw->nmcd.hdc, &cell, brush);
            DeleteObject(brush);
            return CDRF_SKIPDEFAULT;
        }
        default: return CDRF_DODEFAULT;
    }
}

}  // namespace lurmo
