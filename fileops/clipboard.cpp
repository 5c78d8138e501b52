// The Edit menu's clipboard commands: the listing as text, files cut or copied, pasted,
// and pasted as shortcuts.
#include <windows.h>
#include <commctrl.h>
#include <ole2.h>

#include <cstring>
#include <string>

#include "state/app_state.h"
#include "state/message_box.h"
#include "fileops/data_object.h"
#include "fileops/file_operations.h"
#include "fileops/file_transfer.h"
#include "fileops/shortcuts.h"
#include "list/number_format.h"
#include "list/result_rows.h"

namespace lurmo {

namespace {

void ReportClipboardError(const wchar_t* call) { ShowMessage(std::wstring(L"エラー：") + call + L"()", MB_ICONERROR); }

// A cell read with the room the list shows it in: the percent fits 6 units, the date 20.
std::wstring LimitedCell(int row, int column, size_t room) {
    std::wstring text = CellText(row, column);
    if (text.size() >= room) text.resize(room - 1);
    return text;
}

// One line per selected row. The text is measured as it is built, so a long name beside
// a long size never runs past the block handed to the clipboard.
std::wstring ListingText() {
    std::wstring text;
    const int unit = static_cast<int>(g_app.settings.unit);
    const bool comma = g_app.settings.comma != 0;
    int row = -1;
    while ((row = static_cast<int>(SendMessageW(g_app.list, LVM_GETNEXTITEM, row, LVNI_SELECTED))) >= 0) {
        const RowEntry* entry = RowEntryAt(row);
        if (!entry) continue;
        text += TabFieldText(entry->name) + L"\t" + FormatSize(entry->size, unit, comma) + L"\t" + LimitedCell(row, 2, 6) + L"\t" +
                LimitedCell(row, g_app.dateColumn, 20) + L"\r\n";
    }
    return text;
}

com_ptr<IDataObject> OpenOleClipboard() {
    com_ptr<IDataObject> clipboard;
    if (FAILED(OleGetClipboard(clipboard.put()))) {
        ReportClipboardError(L"OleGetClipboard");
        return {};
    }
    return clipboard;
}

}  // namespace

void CopyListingText() {
    if (SendMessageW(g_app.list, LVM_GETSELECTEDCOUNT, 0, 0) == 0) return;
    const std::wstring text = ListingText();
    const size_t bytes = (text.size() + 1) * sizeof(wchar_t);
    unique_hglobal block(GlobalAlloc(GMEM_MOVEABLE, bytes));
    void* memory = block ? GlobalLock(block.get()) : nullptr;
    if (!memory) {
        ReportClipboardError(L"GlobalAlloc");
        return;
    }
    memcpy(memory, text.c_str(), bytes);
    GlobalUnlock(block.get());
    if (!OpenClipboard(g_app.main)) {
        ReportClipboardError(L"OpenClipboard");
        return;
    }
    if (!EmptyClipboard()) {
        CloseClipboard();
        ReportClipboardError(L"EmpyClipboard");
        return;
    }
    if (!SetClipboardData(CF_UNICODETEXT, block.get())) {
        CloseClipboard();
        ReportClipboardError(L"SetClipboardData");
        return;
    }
    block.release();   // the clipboard's now
    CloseClipboard();
}

// The creator's reference goes when this returns, whether the clipboard took the object
// (and holds its own reference) or refused it. A snapshot's items are never offered for a
// move, not even by an accelerator that a stale menu state let through.
bool PutFilesOnClipboard(DWORD dropEffect) {
    if (g_app.effect.snapShot && (dropEffect & DROPEFFECT_MOVE)) return false;
    com_ptr<IDataObject> object = MakeSelectionDataObject(2, dropEffect);
    if (!object) return false;
    return OleSetClipboard(object.get()) == S_OK;
}

bool ClipboardHasFiles() {
    com_ptr<IDataObject> clipboard = OpenOleClipboard();
    if (!clipboard) return false;
    FORMATETC wanted = GlobalFormat(CF_HDROP);
    return clipboard->QueryGetData(&wanted) == S_OK;
}

bool PasteFiles() {
    if (g_app.nameSlot == 0 || g_app.effect.snapShot) return false;
    com_ptr<IDataObject> clipboard = OpenOleClipboard();
    if (!clipboard) return false;
    return TransferDroppedFiles(0, clipboard.get(), TargetFolder()) == kTransferDone;
}

void PasteShortcuts() {
    if (g_app.nameSlot == 0 || g_app.effect.snapShot) return;
    com_ptr<IDataObject> clipboard = OpenOleClipboard();
    if (clipboard) CreateShortcuts(clipboard.get());
}

}  // namespace lurmo
