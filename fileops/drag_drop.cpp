// Drags out of the result list.
#include "fileops/drag_drop.h"

#include <commctrl.h>

#include <new>

#include "state/app_state.h"
#include "state/message_box.h"
#include "engine/handles.h"
#include "fileops/com_object.h"
#include "fileops/data_object.h"
#include "fileops/file_operations.h"

namespace lurmo {

namespace {

class CDropSource final : public ComObject<IDropSource, IID_IDropSource> {
public:
    // The right button pressed during a left-button drag cancels it, as in Explorer.
    HRESULT STDMETHODCALLTYPE QueryContinueDrag(BOOL escapePressed, DWORD keys) override {
        if (escapePressed || ((keys & MK_LBUTTON) && (keys & MK_RBUTTON))) return DRAGDROP_S_CANCEL;
        if (keys & (MK_LBUTTON | MK_RBUTTON)) return S_OK;
        return DRAGDROP_S_DROP;
    }
    HRESULT STDMETHODCALLTYPE GiveFeedback(DWORD) override { return DRAGDROP_S_USEDEFAULTCURSORS; }

};

}  // namespace

IDropSource* NewDropSource() { return new (std::nothrow) CDropSource; }

// The own-drag flag tells the list's drop target that the rows come from the list itself.
// It is cleared when the drag ends whatever became of it: a drag that ended over another
// window never reached the list's DragLeave, and the next drag from elsewhere would be
// taken for the list's own.
void StartDrag(const NMLISTVIEW*) {
    g_app.ownDrag = 1;
    com_ptr<IDataObject> object = MakeSelectionDataObject(1, 0);
    if (object) {
        com_ptr<IDropSource> source(NewDropSource());
        if (source) {
            const DWORD allowed = g_app.effect.snapShot ? (DROPEFFECT_COPY | DROPEFFECT_LINK)
                                                        : (DROPEFFECT_COPY | DROPEFFECT_MOVE | DROPEFFECT_LINK);
            DWORD effect = DROPEFFECT_NONE;
            DoDragDrop(object.get(), source.get(), allowed, &effect);
        } else {
            ShowMessage(L"メモリ不足です.", MB_ICONERROR);
        }
    }
    g_app.ownDrag = 0;
}

}  // namespace lurmo
