#include "fileops/file_transfer.h"

#include <shellapi.h>

#include <algorithm>
#include <new>
#include <vector>

#include "state/app_state.h"
#include "state/message_box.h"
#include "engine/error_report.h"
#include "engine/file_system.h"
#include "fileops/data_object.h"
#include "fileops/file_paths.h"

namespace lurmo {

namespace {

const wchar_t kCopyPrefix[] = L"コピー ～ ";

// "C:\Data\" and "C:\Data" name one folder; a drive root is compared as "C:".
std::wstring Unslashed(std::wstring path) {
    while (!path.empty() && path.back() == L'\\') path.pop_back();
    return path;
}

void AppendToList(std::wstring& list, const std::wstring& path) {
    list += path;
    list.push_back(L'\0');
}

// One item of a transfer: where it comes from and goes, and what both held before the
// shell was asked, so that what arrived can be told from what did not.
struct TransferItem {
    std::wstring source;
    std::wstring target;
    TreeSize sourceBefore;
    TreeSize targetBefore;
};

// Everything the shell cannot be trusted to refuse by itself: a destination that is gone
// (Wine renames a moved file to the folder's name), a folder dropped into itself or into
// one of its sub-folders (Wine reports success and does nothing), a name the path rules
// would change (the shell would act on another item), and paths too long.
DWORD CheckTransfer(const std::vector<std::wstring>& sources, const std::wstring& destination) {
    if (!FitsPathBuffer(destination)) {
        ReportPathTooLong(destination);
        return kTransferPathTooLong;
    }
    if (!NamesKept({destination})) return kTransferNameAltered;
    if (!IsExistingFolder(destination)) {
        ShowMessage(L"指定されたフォルダは存在しません. : " + destination, MB_ICONERROR);
        return kTransferNoDestination;
    }
    for (const std::wstring& source : sources) {
        if (!FitsPathBuffer(source)) {
            ReportPathTooLong(source);
            return kTransferPathTooLong;
        }
        if (IsSameOrInside(destination, source)) {
            ShowMessage(L"コピー先または移動先が、元のフォルダの中にあります. : " + source, MB_ICONERROR);
            return kTransferIntoItself;
        }
    }
    if (!NamesKept(sources)) return kTransferNameAltered;
    return kTransferDone;
}

// Two sources of one name would land on one destination: the shell under Wine lets the
// second replace the first without a word (a move destroys the first item). Nothing is
// handed over then, and the user is told which items clash.
DWORD CheckSameNames(const std::vector<TransferItem>& items) {
    for (size_t i = 0; i < items.size(); ++i) {
        for (size_t j = i + 1; j < items.size(); ++j) {
            if (!SamePath(items[i].target, items[j].target)) continue;
            ShowMessage(L"同じ名前の項目が複数あるため、コピーも移動もしませんでした. : " + items[i].source + L" , " +
                            items[j].source,
                        MB_ICONERROR);
            return kTransferSameNames;
        }
    }
    return kTransferDone;
}

// The shell walks a folder with buffers of MAX_PATH: a deeper path makes Wine's shell
// crash, and a deletion then took items beside the folder. A folder that holds a path
// too long on either side is refused before the shell sees it.
DWORD CheckDepth(std::vector<TransferItem>& items) {
    for (TransferItem& item : items) {
        item.sourceBefore = MeasureTree(item.source);
        item.targetBefore = MeasureTree(item.target);
        const size_t longest = item.sourceBefore.longest;
        if (longest == 0) continue;
        const std::wstring& deeper = item.source.size() > item.target.size() ? item.source : item.target;
        if (!FitsPathBuffer(deeper) || deeper.size() + longest >= MAX_PATH) {
            ReportPathTooLong(deeper + L"\\…");
            return kTransferPathTooLong;
        }
    }
    return kTransferDone;
}

DWORD RunShellOperation(UINT function, const std::wstring& from, const std::wstring& to, FILEOP_FLAGS flags) {
    SHFILEOPSTRUCTW operation{};
    operation.hwnd = g_app.main;
    operation.wFunc = function;
    operation.pFrom = from.c_str();
    operation.pTo = to.c_str();
    operation.fFlags = flags;
    operation.lpszProgressTitle = g_app.caption.c_str();
    const int result = SHFileOperationW(&operation);
    // The shell's codes are its own, not HRESULTs; a run the user cut short may still
    // answer 0 and only set the abort flag.
    if (result != 0) return static_cast<DWORD>(result);
    return operation.fAnyOperationsAborted ? kTransferCancelled : kTransferDone;
}

// Why an item did not arrive whole: a destination without room is the usual cause (Wine's
// shell then answers success and leaves a short copy); otherwise only what was seen.
std::wstring MissingReason(const TransferItem& item, const TreeSize& arrived) {
    ULARGE_INTEGER freeBytes{};
    const std::wstring folder = FolderOf(item.target);
    if (GetDiskFreeSpaceExW(JoinPath(folder, L"").c_str(), &freeBytes, nullptr, nullptr) &&
        freeBytes.QuadPart < item.sourceBefore.bytes - std::min(arrived.bytes, item.sourceBefore.bytes) + 65536) {
        return SystemErrorText(ERROR_DISK_FULL);
    }
    if (!arrived.exists) return L"コピー先に作られませんでした";
    return L"コピー先の大きさが元と違います";
}

// Wine's shell answers 0 for copies and moves that ran out of room, and for a move whose
// source does not exist. So every item is checked against what its source held: a copy
// must be there with as many files and bytes; a move must also have left its place. A
// destination that is still what it was before is an item the user chose to keep; a
// short copy the operation made is removed, never an item that was there before.
// The sources that arrived whole go into `done`; the others are named to the user.
void CheckArrivals(const std::vector<TransferItem>& items, bool move, std::vector<std::wstring>& done) {
    std::wstring failures;
    for (const TransferItem& item : items) {
        if (!item.sourceBefore.exists) {
            failures += L"\r\n" + item.source + L" (" + SystemErrorText(ERROR_FILE_NOT_FOUND) + L")";
            continue;
        }
        const TreeSize arrived = MeasureTree(item.target);
        const bool whole = arrived.SameContent(item.sourceBefore);
        const bool sourceLeft = !move || !ItemExists(item.source);
        if (whole && sourceLeft) {
            done.push_back(item.source);
            continue;
        }
        const bool untouched = item.targetBefore.exists && arrived.SameContent(item.targetBefore) &&
                               CompareFileTime(&arrived.written, &item.targetBefore.written) == 0;
        if (untouched) continue;
        if (whole) {
            failures += L"\r\n" + item.source + L" (元の場所から削除できませんでした)";
            continue;
        }
        std::wstring reason = MissingReason(item, arrived);
        if (arrived.exists && !item.targetBefore.exists) {
            std::vector<std::wstring> left;
            if (!DeleteTree(item.target, left)) reason += L"; 途中までのコピーが残っています: " + item.target;
        }
        failures += L"\r\n" + item.source + L" (" + reason + L")";
    }
    if (failures.empty()) return;
    ShowMessage((move ? L"次の項目は移動されませんでした." : L"次の項目はコピーされませんでした.") + failures,
                MB_ICONERROR);
}

std::vector<TransferItem> CopyItems(const std::vector<std::wstring>& sources, const std::wstring& destination) {
    std::vector<TransferItem> items;
    for (const std::wstring& source : sources) {
        const bool sameFolder = SamePath(FolderOf(source), Unslashed(destination));
        items.push_back({source, JoinPath(destination, (sameFolder ? kCopyPrefix : L"") + NameOf(source)), {}, {}});
    }
    return items;
}

// Under Wine a move replaces an item of the same name without a word; there Lurmo asks
// first, and an item the user keeps is left out of the move. Windows asks by itself.
bool MayReplace(const std::wstring& target) {
    if (!IsWine() || !ItemExists(target)) return true;
    return ShowMessage(L"移動先に同じ名前の項目があります. 置き換えますか？ : " + target, MB_ICONQUESTION | MB_YESNO) == IDYES;
}

// The clipboard is emptied after a move only when everything it offers was moved: a cut
// that was pasted elsewhere stays, as does anything unrelated a drag found there.
void ForgetMovedClipboardFiles(const std::vector<std::wstring>& moved) {
    com_ptr<IDataObject> clipboard;
    if (FAILED(OleGetClipboard(clipboard.put()))) return;
    std::vector<std::wstring> offered;
    if (ReadDroppedPaths(clipboard.get(), offered) != S_OK || offered.empty()) return;
    for (const std::wstring& path : offered) {
        bool found = false;
        for (const std::wstring& source : moved) found = found || SamePath(path, source);
        if (!found) return;
    }
    clipboard.reset();
    OleSetClipboard(nullptr);
}

// Each item is given its full destination: Wine refuses (ERROR_CANCELLED) a move of
// several files into one destination folder, while one destination per item moves on
// both systems.
DWORD RunTransfer(std::vector<TransferItem>& items, bool move) {
    if (const DWORD refused = CheckSameNames(items)) return refused;
    for (const TransferItem& item : items) {
        if (!FitsPathBuffer(item.target)) {
            ReportPathTooLong(item.target);
            return kTransferPathTooLong;
        }
    }
    if (const DWORD refused = CheckDepth(items)) return refused;
    // An item already in the destination has nowhere to go, and one the user keeps stays:
    // a move with such an item is no move of everything.
    const size_t asked = items.size();
    std::vector<TransferItem> going;
    for (TransferItem& item : items) {
        if (move && SamePath(item.source, item.target)) continue;
        if (move && !MayReplace(item.target)) continue;
        going.push_back(std::move(item));
    }
    if (going.empty()) return kTransferCancelled;
    std::wstring from, to;
    for (const TransferItem& item : going) {
        AppendToList(from, item.source);
        AppendToList(to, item.target);
    }
    from.push_back(L'\0');
    to.push_back(L'\0');
    const DWORD result = RunShellOperation(move ? FO_MOVE : FO_COPY, from, to, FOF_MULTIDESTFILES);
    std::vector<std::wstring> done;
    CheckArrivals(going, move, done);
    if (move && !done.empty()) ForgetMovedClipboardFiles(done);
    if (result != kTransferDone) return result;
    if (done.size() != asked) return move ? kTransferNotMoved : kTransferIncomplete;
    return kTransferDone;
}

DWORD TransferPaths(DWORD effect, const std::vector<std::wstring>& sources, const std::wstring& destination) {
    if (sources.empty()) return kTransferNoFiles;
    if (!(effect & (DROPEFFECT_COPY | DROPEFFECT_MOVE))) return kTransferDone;
    if (const DWORD refused = CheckTransfer(sources, destination)) return refused;
    std::vector<TransferItem> items = CopyItems(sources, destination);
    if (!(effect & DROPEFFECT_COPY)) {
        for (TransferItem& item : items) item.target = JoinPath(destination, NameOf(item.source));
    }
    return RunTransfer(items, !(effect & DROPEFFECT_COPY));
}

DWORD Transfer(DWORD requestedEffect, IDataObject* data, const std::wstring& destination) {
    DWORD effect = requestedEffect;
    if (effect == 0 && !ReadPreferredEffect(data, effect)) effect = DROPEFFECT_COPY;
    std::vector<std::wstring> sources;
    const HRESULT read = ReadDroppedPaths(data, sources);
    if (FAILED(read)) return static_cast<DWORD>(read);
    if (!FullPathsOnly(sources)) return kTransferNoFiles;
    return TransferPaths(effect, sources, destination);
}

}  // namespace

DWORD TransferFiles(DWORD effect, const std::vector<std::wstring>& sources, const std::wstring& destination) {
    try {
        return TransferPaths(effect, sources, destination);
    } catch (const std::bad_alloc&) {
        ShowMessage(L"メモリ不足です.", MB_ICONERROR);
        return kTransferOutOfMemory;
    }
}

DWORD TransferDroppedFiles(DWORD requestedEffect, IDataObject* data, const std::wstring& destination) {
    try {
        return Transfer(requestedEffect, data, destination);
    } catch (const std::bad_alloc&) {
        ShowMessage(L"メモリ不足です.", MB_ICONERROR);
        return kTransferOutOfMemory;
    }
}

HRESULT TransferResultToHresult(DWORD result) {
    if (result == kTransferDone) return S_OK;
    if (FAILED(static_cast<HRESULT>(result))) return static_cast<HRESULT>(result);
    return result <= 0xFFFF ? HRESULT_FROM_WIN32(result) : E_FAIL;
}

}  // namespace lurmo
