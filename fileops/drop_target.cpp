// The result list as a drop target: files dropped on empty space go into the target,
// on a folder row (or a shortcut to a folder) into that folder, and on a file row to the
// drop handler its type registers.
#include <windows.h>
#include <commctrl.h>
#include <shlobj.h>

#include <new>
#include <string>

#include "state/app_state.h"
#include "state/message_box.h"
#include "engine/handles.h"
#include "fileops/com_object.h"
#include "fileops/data_object.h"
#include "fileops/drag_drop.h"
#include "fileops/file_paths.h"
#include "fileops/file_transfer.h"
#include "fileops/shortcuts.h"
#include "list/result_rows.h"

namespace lurmo {

namespace {

enum class PlaceKind { Nothing, Space, Folder, Handler };

// What lies under the cursor: empty space, a folder to drop into (the row's own path or
// a shortcut's target), a file whose drop handler takes the drop, or nothing that does.
struct DropPlace {
    PlaceKind kind = PlaceKind::Nothing;
    int row = -1;
    std::wstring name;     // the row's name
    std::wstring folder;   // the destination of a folder place
};

DWORD CtrlEffect(DWORD keys) { return (keys & MK_CONTROL) ? DROPEFFECT_COPY : DROPEFFECT_MOVE; }

// The source decides what it allows: a move it does not allow becomes a copy, and
// nothing else is turned into an effect it did not offer.
DWORD KeepAllowed(DWORD effect, DWORD allowed) {
    if (effect & allowed) return effect & allowed;
    if (effect == DROPEFFECT_MOVE && (allowed & DROPEFFECT_COPY)) return DROPEFFECT_COPY;
    return DROPEFFECT_NONE;
}

bool HasDropHandler(const std::wstring& extension) {
    unique_hkey type;
    if (RegOpenKeyExW(HKEY_CLASSES_ROOT, extension.c_str(), 0, KEY_QUERY_VALUE, type.put()) != ERROR_SUCCESS) {
        return false;
    }
    wchar_t progId[MAX_PATH]{};
    DWORD kind = 0, bytes = sizeof(progId) - sizeof(wchar_t);
    if (RegQueryValueExW(type.get(), nullptr, nullptr, &kind, reinterpret_cast<BYTE*>(progId), &bytes) != ERROR_SUCCESS ||
        kind != REG_SZ || bytes < 2 * sizeof(wchar_t)) {
        return false;
    }
    progId[bytes / sizeof(wchar_t)] = L'\0';
    const std::wstring handlerKey = std::wstring(progId) + L"\\shellex\\DropHandler";
    unique_hkey handler;
    return RegOpenKeyExW(HKEY_CLASSES_ROOT, handlerKey.c_str(), 0, KEY_QUERY_VALUE, handler.put()) == ERROR_SUCCESS;
}

DropPlace FindDropPlace(POINTL screen) {
    DropPlace place;
    LVHITTESTINFO hit{};
    hit.pt = {screen.x, screen.y};
    ScreenToClient(g_app.list, &hit.pt);
    const int row = static_cast<int>(SendMessageW(g_app.list, LVM_HITTEST, 0, reinterpret_cast<LPARAM>(&hit)));
    if (row < 0 || !(hit.flags & LVHT_ONITEM)) {
        place.kind = PlaceKind::Space;
        return place;
    }
    place.row = row;
    const RowEntry* entry = RowEntryAt(row);
    if (!entry) return place;
    place.name = entry->name;
    const std::wstring path = TargetPath() + entry->name;
    if (!FitsPathBuffer(path) || IsNameAlteredByPathRules(path)) return place;
    if (!(entry->kind & kKindFile)) {
        place.kind = PlaceKind::Folder;
        place.folder = path;
        return place;
    }
    std::wstring extension = ExtensionOf(entry->name);
    if (extension.empty()) return place;
    if (lstrcmpiW(extension.c_str(), L".lnk") == 0) {
        std::wstring target;
        WIN32_FIND_DATAW data;
        if (!ResolveShortcut(path, target, data)) return place;
        if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            place.kind = PlaceKind::Folder;
            place.folder = target;
            return place;
        }
        extension = ExtensionOf(target);
        if (extension.empty()) return place;
    }
    if (HasDropHandler(extension)) place.kind = PlaceKind::Handler;
    return place;
}

class CDropTarget final : public ComObject<IDropTarget, IID_IDropTarget> {
public:
    // A DragEnter without the DragLeave or Drop of an earlier one lets go of that one's
    // data object first.
    HRESULT STDMETHODCALLTYPE DragEnter(IDataObject* data, DWORD keys, POINTL point, DWORD* effect) override {
        if (!effect) return E_INVALIDARG;
        const DWORD allowed = *effect;
        *effect = DROPEFFECT_NONE;
        held_.reset();
        try {
            FORMATETC files = GlobalFormat(CF_HDROP);
            if (g_app.effect.snapShot || !data || data->QueryGetData(&files) != S_OK) return S_FALSE;
            data->AddRef();
            held_.reset(data);
            ChooseDropEffect(keys, point, allowed, effect);
            return S_OK;
        } catch (const std::exception&) {
            return E_UNEXPECTED;
        }
    }
    HRESULT STDMETHODCALLTYPE DragOver(DWORD keys, POINTL point, DWORD* effect) override {
        if (!effect) return E_INVALIDARG;
        const DWORD allowed = *effect;
        *effect = DROPEFFECT_NONE;
        if (!held_) return S_FALSE;
        try {
            return ChooseDropEffect(keys, point, allowed, effect);
        } catch (const std::exception&) {
            return E_UNEXPECTED;
        }
    }
    HRESULT STDMETHODCALLTYPE DragLeave() override {
        g_app.ownDrag = 0;
        held_.reset();
        ClearHighlight();
        return S_OK;
    }
    // The data object taken at DragEnter is let go on every way out.
    HRESULT STDMETHODCALLTYPE Drop(IDataObject*, DWORD keys, POINTL point, DWORD* effect) override {
        const bool ownDrag = g_app.ownDrag != 0;
        g_app.ownDrag = 0;
        ClearHighlight();
        com_ptr<IDataObject> held = std::move(held_);
        if (!effect) return E_INVALIDARG;
        const DWORD allowed = *effect;
        *effect = DROPEFFECT_NONE;
        if (!held || g_app.effect.snapShot) return S_FALSE;
        try {
            return DropAt(held.get(), ownDrag, keys, point, allowed, effect);
        } catch (const std::exception&) {
            return E_UNEXPECTED;
        }
    }

private:
    void ClearHighlight() {
        if (highlighted_ < 0) return;
        SetDropHighlight(highlighted_, false);
        highlighted_ = -1;
    }
    void Highlight(int row) {
        if (row == highlighted_) return;
        ClearHighlight();
        SetDropHighlight(row, true);
        highlighted_ = row;
    }
    static void SetDropHighlight(int row, bool on) {
        LVITEMW item{};
        item.stateMask = LVIS_DROPHILITED;
        item.state = on ? LVIS_DROPHILITED : 0;
        SendMessageW(g_app.list, LVM_SETITEMSTATE, row, reinterpret_cast<LPARAM>(&item));
    }

    // The effect the cursor shows, with the row under it highlighted when it takes files.
    HRESULT ChooseDropEffect(DWORD keys, POINTL point, DWORD allowed, DWORD* effect) {
        const DropPlace place = FindDropPlace(point);
        DWORD chosen = DROPEFFECT_NONE;
        switch (place.kind) {
            case PlaceKind::Space:
                ClearHighlight();
                // Rows moved back onto their own folder would go nowhere.
                if (!g_app.ownDrag) chosen = CtrlEffect(keys);
                else if (keys & (MK_CONTROL | MK_SHIFT)) chosen = DROPEFFECT_COPY;
                break;
            case PlaceKind::Folder:
                Highlight(place.row);
                chosen = CtrlEffect(keys);
                break;
            case PlaceKind::Handler:
                Highlight(place.row);
                chosen = DROPEFFECT_MOVE;
                break;
            case PlaceKind::Nothing: ClearHighlight(); break;
        }
        *effect = KeepAllowed(chosen, allowed);
        return *effect == DROPEFFECT_NONE ? S_FALSE : S_OK;
    }

    static HRESULT DropAt(IDataObject* data, bool ownDrag, DWORD keys, POINTL point, DWORD allowed, DWORD* effect) {
        const DropPlace place = FindDropPlace(point);
        DWORD chosen = DROPEFFECT_NONE;
        std::wstring destination;
        switch (place.kind) {
            case PlaceKind::Nothing: return S_FALSE;
            case PlaceKind::Handler: return DropOnHandler(place, data, keys, point, allowed, effect);
            case PlaceKind::Folder:
                chosen = CtrlEffect(keys);
                destination = place.folder;
                break;
            case PlaceKind::Space:
                // At the drop only Ctrl copies the list's own rows; Shift alone drops nothing.
                if (ownDrag && !(keys & MK_CONTROL)) return S_FALSE;
                chosen = ownDrag ? DROPEFFECT_COPY : CtrlEffect(keys);
                destination = TargetFolder();
                break;
        }
        chosen = KeepAllowed(chosen, allowed);
        if (chosen == DROPEFFECT_NONE) return S_FALSE;
        const DWORD result = TransferDroppedFiles(chosen, data, destination);
        // A move that did not happen must not be answered as one: the source would
        // delete originals that were never moved.
        if (result == kTransferOutOfMemory) return S_FALSE;
        if (result != kTransferDone) return TransferResultToHresult(result);
        *effect = chosen;
        return S_OK;
    }

    // The handler sees only the drop itself, as Explorer hands it on.
    static HRESULT DropOnHandler(const DropPlace& place, IDataObject* data, DWORD keys, POINTL point, DWORD allowed,
                                 DWORD* effect) {
        if (!g_app.targetFolder) return S_FALSE;
        PIDLIST_RELATIVE item = nullptr;
        if (FAILED(g_app.targetFolder->ParseDisplayName(g_app.main, nullptr, const_cast<wchar_t*>(place.name.c_str()),
                                                         nullptr, &item, nullptr))) {
            return S_FALSE;
        }
        unique_cotaskmem itemOwner(item);   // an item identifier is freed as task memory
        com_ptr<IDropTarget> handler;
        PCUITEMID_CHILD items[] = {item};
        if (FAILED(g_app.targetFolder->GetUIObjectOf(g_app.main, 1, items, IID_IDropTarget, nullptr,
                                                     handler.put_void()))) {
            return S_FALSE;
        }
        *effect = allowed;
        return handler->Drop(data, keys, point, effect);
    }

    com_ptr<IDataObject> held_;
    int highlighted_ = -1;
};

}  // namespace

IDropTarget* NewDropTarget() { return new (std::nothrow) CDropTarget; }

bool RegisterListDropTarget() {
    com_ptr<IDropTarget> target(NewDropTarget());
    if (!target) return false;
    g_app.dropTargetRegistered = SUCCEEDED(RegisterDragDrop(g_app.list, target.get()));
    return g_app.dropTargetRegistered;
}

void RevokeListDropTarget() {
    if (g_app.dropTargetRegistered) RevokeDragDrop(g_app.list);
    g_app.dropTargetRegistered = false;
}

}  // namespace lurmo
