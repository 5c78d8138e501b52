#include "export/export_file.h"

#include <commctrl.h>

#include <algorithm>

#include "engine/entries.h"
#include "engine/handles.h"
#include "export/replace_file.h"
#include "export/save_dialog.h"
#include "list/result_rows.h"

namespace lurmo {

namespace {

constexpr int kPercentColumn = 2;
// Lines gather in memory and go to the file in pieces of about this size.
constexpr size_t kFlushSize = 64 * 1024;

const RowEntry* ReadRowRecord(HWND list, int index) {
    LVITEMW item{};
    item.mask = LVIF_PARAM;
    item.iItem = index;
    if (!SendMessageW(list, LVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&item))) return nullptr;
    return reinterpret_cast<const RowEntry*>(item.lParam);
}

}  // namespace

std::vector<ListedRow> ReadListedRows(HWND list, bool selectedOnly, int dateColumn) {
    std::vector<int> indices;
    if (selectedOnly) {
        int index = -1;
        for (;;) {
            index = static_cast<int>(SendMessageW(list, LVM_GETNEXTITEM, static_cast<WPARAM>(index), LVNI_SELECTED));
            if (index < 0) break;
            indices.push_back(index);
        }
    } else {
        const int count = static_cast<int>(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0));
        for (int index = 0; index < count; ++index) indices.push_back(index);
    }

    std::vector<ListedRow> rows;
    rows.reserve(indices.size());
    for (int index : indices) {
        const RowEntry* record = ReadRowRecord(list, index);
        if (!record) continue;
        rows.push_back({record->name, record->size, CellText(list, index, kPercentColumn).substr(0, kExportPercentLength),
                        CellText(list, index, dateColumn).substr(0, kExportTimeLength)});
    }
    return rows;
}

namespace {

// The listing into an open file; false when a WriteFile fails.
bool WriteListingBytes(const ExportRequest& request, HANDLE file, int kind) {
    std::string pending = ExportPreamble(kind) + ExportHeaderBytes(kind, request.unit);
    for (const ListedRow& listed : ReadListedRows(request.list, request.selectedOnly, request.dateColumn)) {
        const ExportRow row{listed.name, listed.size, listed.percent, listed.time};
        pending += ExportRowBytes(kind, row, request.unit, request.comma);
        if (pending.size() >= kFlushSize) {
            if (!WriteAll(file, pending)) return false;
            pending.clear();
        }
    }
    return WriteAll(file, pending);
}

}  // namespace

bool WriteListingTo(const ExportRequest& request, HANDLE file, int kind) {
    if (WriteListingBytes(request, file, kind)) return true;
    request.showMessage(request.owner, L"エラー：WriteFile()", MB_ICONERROR);
    return false;
}

bool WriteListing(const ExportRequest& request, const std::wstring& path, int kind) {
    if (!IsExportKind(kind)) kind = kExportCsv;
    WriteFailure failure;
    if (!ReplaceFileWith(path, [&](HANDLE file) { return WriteListingBytes(request, file, kind); }, failure)) {
        request.showMessage(request.owner, DescribeWriteFailure(failure, path), MB_ICONERROR);
        return false;
    }
    request.showMessage(request.owner, L"エキスポートが完了しました.", MB_ICONINFORMATION);
    return true;
}

void ExportListing(const ExportRequest& request) {
    ExportChoice choice;
    if (!ChooseExportFile(request.owner, request.targetPath, request.osVersion, choice)) return;
    WriteListing(request, choice.path, choice.kind);
}

}  // namespace lurmo
