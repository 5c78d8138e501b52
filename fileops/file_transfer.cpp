#include "fileops/file_transfer.h"

#include <shellapi.h>

#include <new>
#include <vector>

#include "state/app_state.h"
#include "state/message_box.h"
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

// Everything the shell cannot be trusted to refuse by itself: a destination that is gone
// (Wine renames a moved file to the folder's name), a folder dropped into itself or into
// one of its sub-folders (Wine reports success and does nothing), and paths too long.
DWORD CheckTransfer(const std::vector<std::wstring>& sources, const std::wstring& destination) {
    if (!FitsPathBuffer(destination)) {
        ReportPathTooLong(destination);
        return kTransferPathTooLong;
    }
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

DWORD CopyFiles(const std::vector<std::wstring>& sources, const std::wstring& destination) {
    std::wstring from, to;
    for (const std::wstring& source : sources) {
        const bool sameFolder = SamePath(FolderOf(source), Unslashed(destination));
        const std::wstring target = JoinPath(destination, (sameFolder ? kCopyPrefix : L"") + NameOf(source));
        if (!FitsPathBuffer(target)) {
            ReportPathTooLong(target);
            return kTransferPathTooLong;
        }
        AppendToList(from, source);
        AppendToList(to, target);
    }
    from.push_back(L'\0');
    to.push_back(L'\0');
    return RunShellOperation(FO_COPY, from, to, FOF_MULTIDESTFILES);
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
// Wine answers 0 for a move whose source does not exist; a move counts as done only when
// every item has left its place for its destination.
bool EveryItemMoved(const std::vector<std::wstring>& sources, const std::vector<std::wstring>& targets) {
    for (size_t i = 0; i < sources.size(); ++i) {
        if (ItemExists(sources[i]) || !ItemExists(targets[i])) return false;
    }
    return true;
}

DWORD MoveFiles(const std::vector<std::wstring>& sources, const std::wstring& destination) {
    std::vector<std::wstring> moving, targets;
    std::wstring from, to;
    for (const std::wstring& source : sources) {
        // An item already in the destination has nowhere to go.
        if (SamePath(FolderOf(source), Unslashed(destination))) continue;
        const std::wstring target = JoinPath(destination, NameOf(source));
        if (!FitsPathBuffer(target)) {
            ReportPathTooLong(target);
            return kTransferPathTooLong;
        }
        if (!MayReplace(target)) continue;
        moving.push_back(source);
        targets.push_back(target);
        AppendToList(from, source);
        AppendToList(to, target);
    }
    if (moving.empty()) return kTransferCancelled;
    from.push_back(L'\0');
    to.push_back(L'\0');
    const DWORD result = RunShellOperation(FO_MOVE, from, to, FOF_MULTIDESTFILES);
    if (result != kTransferDone) return result;
    if (!EveryItemMoved(moving, targets)) return kTransferNotMoved;
    ForgetMovedClipboardFiles(moving);
    return kTransferDone;
}

DWORD TransferPaths(DWORD effect, const std::vector<std::wstring>& sources, const std::wstring& destination) {
    if (sources.empty()) return kTransferNoFiles;
    if (!(effect & (DROPEFFECT_COPY | DROPEFFECT_MOVE))) return kTransferDone;
    if (const DWORD refused = CheckTransfer(sources, destination)) return refused;
    if (effect & DROPEFFECT_COPY) return CopyFiles(sources, destination);
    return MoveFiles(sources, destination);
}

DWORD Transfer(DWORD requestedEffect, IDataObject* data, const std::wstring& destination) {
    DWORD effect = requestedEffect;
    if (effect == 0 && !ReadPreferredEffect(data, effect)) effect = DROPEFFECT_COPY;
    std::vector<std::wstring> sources;
    const HRESULT read = ReadDroppedPaths(data, sources);
    if (FAILED(read)) return static_cast<DWORD>(read);
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
