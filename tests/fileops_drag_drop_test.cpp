// Drags out of the real main window's list and drops onto it, driven without a mouse:
// DoDragDrop with the cursor placed (and the thread's key state set), another process
// dragging, or the drop target's methods called directly.
#include <windows.h>
#include <commctrl.h>
#include <ole2.h>
#include <shlwapi.h>
#include <gtest/gtest.h>

#include "state/app_state.h"
#include "fileops/data_object.h"
#include "fileops/drag_drop.h"
#include "fileops/file_operations.h"
#include "list/result_rows.h"
#include "tests/fileops_helpers.h"

using namespace lurmo;
using namespace lurmo::test;

namespace {

POINTL At(const POINT& point) { return {point.x, point.y}; }

void DragSelectionTo(const POINT& point) {
    SetCursorPos(point.x, point.y);
    StartDrag(nullptr);
    PumpMessages();
}

std::wstring PeerDrag(const POINT& point, const wchar_t* keys, const std::wstring& path) {
    return L"drag " + std::to_wstring(point.x) + L" " + std::to_wstring(point.y) + L" " + keys + L" " + Quoted(path);
}

ULONG References(IUnknown* object) {
    object->AddRef();
    return object->Release();
}

// A drop target of another window that only notes the effects a drag offers it.
class RecordingTarget final : public IDropTarget {
public:
    DWORD offered = 0;
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void** ppv) override {
        *ppv = this;
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
    HRESULT STDMETHODCALLTYPE DragEnter(IDataObject*, DWORD, POINTL, DWORD* effect) override {
        offered = *effect;
        *effect = DROPEFFECT_NONE;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE DragOver(DWORD, POINTL, DWORD* effect) override { return DragEnter(nullptr, 0, {}, effect); }
    HRESULT STDMETHODCALLTYPE DragLeave() override { return S_OK; }
    HRESULT STDMETHODCALLTYPE Drop(IDataObject*, DWORD, POINTL, DWORD* effect) override { return DragOver(0, {}, effect); }
};

}  // namespace

TEST(DragDrop, OwnRowsOnEmptySpaceStayUnlessCtrlCopiesThem) {
    TempFolder root;
    root.File(L"a.txt", 10);
    MainWindow window;
    Listen(root.path());
    SelectOnly({L"a.txt"});
    DragSelectionTo(EmptySpacePoint());
    EXPECT_EQ(RowNames(), L"a.txt");
    EXPECT_FALSE(Exists(root / L"コピー ～ a.txt"));
    {
        HeldKeys ctrl({VK_CONTROL});
        DragSelectionTo(EmptySpacePoint());
    }
    EXPECT_TRUE(Exists(root / L"コピー ～ a.txt") && Exists(root / L"a.txt"));
    EXPECT_TRUE(PumpUntil([] { return g_app.rowCount == 2; }));
}

TEST(DragDrop, OwnRowsOnAFolderRowMoveIntoItOrWithCtrlCopy) {
    TempFolder root;
    root.File(L"a.txt", 10);
    root.File(L"b.txt", 10);
    root.Folder(L"Docs");
    MainWindow window;
    Listen(root.path());
    SelectOnly({L"a.txt"});
    DragSelectionTo(RowPoint(L"Docs"));
    EXPECT_TRUE(Exists(root / L"Docs\\a.txt"));
    EXPECT_FALSE(Exists(root / L"a.txt"));
    ASSERT_TRUE(PumpUntil([] { return FindRowByName(L"a.txt") < 0; }));
    SelectOnly({L"b.txt"});
    {
        HeldKeys ctrl({VK_CONTROL});
        DragSelectionTo(RowPoint(L"Docs"));
    }
    EXPECT_TRUE(Exists(root / L"Docs\\b.txt") && Exists(root / L"b.txt"));
    EXPECT_EQ(g_app.ownDrag, 0);
}

// The drag moves files that the clipboard does not offer: the clipboard keeps its text.
TEST(DragDrop, FilesFromAnotherProcessMoveInOrWithCtrlCopy) {
    TempFolder root, other;
    other.File(L"x.bin", 100);
    other.File(L"y.bin", 200);
    MainWindow window;
    Listen(root.path());
    ASSERT_EQ(RunPeer(L"text keep"), 0u);
    EXPECT_EQ(RunPeer(PeerDrag(EmptySpacePoint(), L"plain", other / L"x.bin")), static_cast<DWORD>(DROPEFFECT_MOVE));
    EXPECT_TRUE(Exists(root / L"x.bin"));
    EXPECT_FALSE(Exists(other / L"x.bin"));
    EXPECT_EQ(RunPeer(PeerDrag(EmptySpacePoint(), L"ctrl", other / L"y.bin")), static_cast<DWORD>(DROPEFFECT_COPY));
    EXPECT_TRUE(Exists(root / L"y.bin") && Exists(other / L"y.bin"));
    EXPECT_TRUE(PumpUntil([] { return g_app.rowCount == 2 && g_app.grandTotal == 300u; }));
    EXPECT_TRUE(IsClipboardFormatAvailable(CF_UNICODETEXT));
}

TEST(DragDrop, AShortcutToAFolderHighlightsAndReceives) {
    TempFolder root, other;
    root.Folder(L"Docs");
    other.File(L"z.bin", 5);
    MainWindow window;
    Listen(root.path());
    ASSERT_EQ(RunPeer(L"files 1 " + Quoted(root / L"Docs")), 0u);
    PasteShortcuts();
    const std::wstring shortcut = L"Docs へのショートカット.lnk";
    ASSERT_TRUE(PumpUntil([&] { return FindRowByName(shortcut) >= 0; }));
    com_ptr<IDropTarget> target(NewDropTarget());
    com_ptr<IDataObject> data = FilesObject({other / L"z.bin"});
    DWORD effect = DROPEFFECT_COPY | DROPEFFECT_MOVE;
    EXPECT_EQ(target->DragEnter(data.get(), MK_LBUTTON, At(RowPoint(shortcut)), &effect), S_OK);
    EXPECT_EQ(effect, static_cast<DWORD>(DROPEFFECT_MOVE));
    EXPECT_EQ(RowState(shortcut, LVIS_DROPHILITED), static_cast<UINT>(LVIS_DROPHILITED));
    effect = DROPEFFECT_COPY | DROPEFFECT_MOVE;
    EXPECT_EQ(target->Drop(data.get(), 0, At(RowPoint(shortcut)), &effect), S_OK);
    EXPECT_EQ(effect, static_cast<DWORD>(DROPEFFECT_MOVE));
    EXPECT_TRUE(Exists(root / L"Docs\\z.bin"));
    EXPECT_EQ(RowState(shortcut, LVIS_DROPHILITED), 0u);
}

TEST(DragDrop, AFileTypeWithADropHandlerShowsMoveAndOtherFilesNothing) {
    TempFolder root;
    root.File(L"x.lurmodrop", 1);
    root.File(L"plain.txt", 1);
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, L"Software\\Classes\\.lurmodrop", 0, nullptr, 0, KEY_WRITE, nullptr,
                              &key, nullptr), ERROR_SUCCESS);
    RegSetValueExW(key, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(L"Lurmo.DropTest"), 30);
    RegCloseKey(key);
    ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, L"Software\\Classes\\Lurmo.DropTest\\shellex\\DropHandler", 0,
                              nullptr, 0, KEY_WRITE, nullptr, &key, nullptr), ERROR_SUCCESS);
    RegCloseKey(key);
    MainWindow window;
    Listen(root.path());
    com_ptr<IDropTarget> target(NewDropTarget());
    com_ptr<IDataObject> data = FilesObject({root / L"plain.txt"});
    DWORD effect = DROPEFFECT_COPY | DROPEFFECT_MOVE;
    EXPECT_EQ(target->DragEnter(data.get(), MK_CONTROL, At(RowPoint(L"x.lurmodrop")), &effect), S_OK);
    EXPECT_EQ(effect, static_cast<DWORD>(DROPEFFECT_MOVE));
    EXPECT_EQ(RowState(L"x.lurmodrop", LVIS_DROPHILITED), static_cast<UINT>(LVIS_DROPHILITED));
    effect = DROPEFFECT_COPY | DROPEFFECT_MOVE;
    EXPECT_EQ(target->DragOver(0, At(RowPoint(L"plain.txt")), &effect), S_FALSE);
    EXPECT_EQ(effect, static_cast<DWORD>(DROPEFFECT_NONE));
    EXPECT_EQ(RowState(L"x.lurmodrop", LVIS_DROPHILITED) | RowState(L"plain.txt", LVIS_DROPHILITED), 0u);
    target->DragLeave();
    SHDeleteKeyW(HKEY_LOCAL_MACHINE, L"Software\\Classes\\.lurmodrop");
    SHDeleteKeyW(HKEY_LOCAL_MACHINE, L"Software\\Classes\\Lurmo.DropTest");
}

TEST(DragDrop, SnapshotModeRefusesDropsAndOffersOnlyCopyAndLink) {
    TempFolder root;
    root.File(L"a.txt", 1);
    MainWindow window;
    Listen(root.path(), true);
    com_ptr<IDropTarget> target(NewDropTarget());
    com_ptr<IDataObject> data = FilesObject({root / L"a.txt"});
    DWORD effect = DROPEFFECT_COPY | DROPEFFECT_MOVE;
    EXPECT_EQ(target->DragEnter(data.get(), 0, At(EmptySpacePoint()), &effect), S_FALSE);
    EXPECT_EQ(effect, static_cast<DWORD>(DROPEFFECT_NONE));
    RecordingTarget recorder;
    HWND other = CreateWindowExW(WS_EX_TOPMOST, L"BUTTON", L"", WS_POPUP | WS_VISIBLE, 1100, 900, 100, 100, nullptr,
                                 nullptr, nullptr, nullptr);
    ASSERT_EQ(RegisterDragDrop(other, &recorder), S_OK);
    SelectOnly({L"a.txt"});
    DragSelectionTo({1150, 950});
    EXPECT_EQ(recorder.offered, static_cast<DWORD>(DROPEFFECT_COPY | DROPEFFECT_LINK));
    RevokeDragDrop(other);
    DestroyWindow(other);
}

TEST(DragDrop, TheRightButtonCancelsADrag) {
    TempFolder root;
    root.File(L"a.txt", 1);
    root.Folder(L"Docs");
    MainWindow window;
    Listen(root.path());
    SelectOnly({L"a.txt"});
    {
        HeldKeys buttons({VK_LBUTTON, VK_RBUTTON});
        DragSelectionTo(RowPoint(L"Docs"));
    }
    EXPECT_TRUE(Exists(root / L"a.txt"));
    EXPECT_FALSE(Exists(root / L"Docs\\a.txt"));
}

// A move the source does not allow becomes a copy; a copy it does not allow is no drop.
// The target holds one reference from DragEnter to Drop, whichever way they end.
TEST(DragDrop, OnlyEffectsTheSourceAllowsAreAnsweredAndTheDataIsLetGo) {
    TempFolder root, other;
    root.Folder(L"Docs");
    other.File(L"a.txt", 1);
    MainWindow window;
    Listen(root.path());
    com_ptr<IDropTarget> target(NewDropTarget());
    com_ptr<IDataObject> data = FilesObject({other / L"a.txt"});
    const POINTL docs = At(RowPoint(L"Docs"));
    DWORD effect = DROPEFFECT_MOVE;
    target->DragEnter(data.get(), MK_CONTROL, docs, &effect);
    EXPECT_EQ(effect, static_cast<DWORD>(DROPEFFECT_NONE));
    effect = DROPEFFECT_MOVE;
    target->DragEnter(data.get(), MK_CONTROL, docs, &effect);
    EXPECT_EQ(References(data.get()), 2u);
    effect = DROPEFFECT_COPY;
    EXPECT_EQ(target->DragOver(0, docs, &effect), S_OK);
    EXPECT_EQ(effect, static_cast<DWORD>(DROPEFFECT_COPY));
    effect = DROPEFFECT_COPY;
    EXPECT_EQ(target->Drop(data.get(), 0, docs, &effect), S_OK);
    EXPECT_EQ(effect, static_cast<DWORD>(DROPEFFECT_COPY));
    EXPECT_TRUE(Exists(root / L"Docs\\a.txt") && Exists(other / L"a.txt"));
    EXPECT_EQ(References(data.get()), 1u);
    effect = DROPEFFECT_COPY;
    target->DragEnter(data.get(), 0, docs, &effect);
    root.File(L"plain.txt", 1);
    ASSERT_TRUE(PumpUntil([] { return FindRowByName(L"plain.txt") >= 0; }));
    effect = DROPEFFECT_COPY;
    EXPECT_EQ(target->Drop(data.get(), 0, At(RowPoint(L"plain.txt")), &effect), S_FALSE);
    EXPECT_EQ(References(data.get()), 1u);
}

// A source told "moved" may delete its originals: a move that did not happen, or was
// refused, answers no effect and a failure.
TEST(DragDrop, AMoveThatDidNotHappenIsNotAnsweredAsOne) {
    TempFolder root;
    root.File(L"Docs\\in.txt", 1);
    MainWindow window;
    Listen(root.path());
    MessageBoxCatcher boxes;
    com_ptr<IDropTarget> target(NewDropTarget());
    const POINTL docs = At(RowPoint(L"Docs"));
    for (const std::vector<std::wstring>& paths :
         {std::vector<std::wstring>{root / L"ghost.txt"}, std::vector<std::wstring>{}, std::vector{root / L"Docs"}}) {
        com_ptr<IDataObject> data = FilesObject(paths);
        DWORD effect = DROPEFFECT_MOVE;
        target->DragEnter(data.get(), 0, docs, &effect);
        effect = DROPEFFECT_MOVE;
        EXPECT_TRUE(FAILED(target->Drop(data.get(), 0, docs, &effect)));
        EXPECT_EQ(effect, static_cast<DWORD>(DROPEFFECT_NONE));
    }
    EXPECT_TRUE(Exists(root / L"Docs\\in.txt"));
    EXPECT_FALSE(Exists(root / L"Docs\\Docs"));
}

// A drag that ends over another window never reaches the list's DragLeave; the next
// drag from elsewhere must not be taken for one of the list's own.
TEST(DragDrop, ADragThatEndsElsewhereLeavesNoOwnDragBehind) {
    TempFolder root;
    root.File(L"a.txt", 1);
    MainWindow window;
    Listen(root.path());
    SelectOnly({L"a.txt"});
    const long before = CountLiveDataObjects();
    DragSelectionTo({1279, 1023});
    EXPECT_EQ(g_app.ownDrag, 0);
    EXPECT_EQ(CountLiveDataObjects(), before);
}

// An item already in the destination stays where it is: a source told "moved" for the
// drop would delete it. Only the item that moved is gone from its place.
TEST(DragDrop, APartialMoveIsNotAnsweredAsAMove) {
    TempFolder root, other;
    root.File(L"here.txt", 1);
    other.File(L"there.txt", 2);
    MainWindow window;
    Listen(root.path());
    com_ptr<IDropTarget> target(NewDropTarget());
    com_ptr<IDataObject> data = FilesObject({root / L"here.txt", other / L"there.txt"});
    DWORD effect = DROPEFFECT_MOVE;
    ASSERT_EQ(target->DragEnter(data.get(), 0, At(EmptySpacePoint()), &effect), S_OK);
    effect = DROPEFFECT_MOVE;
    target->Drop(data.get(), 0, At(EmptySpacePoint()), &effect);
    EXPECT_EQ(effect, static_cast<DWORD>(DROPEFFECT_NONE));
    EXPECT_TRUE(Exists(root / L"here.txt") && Exists(root / L"there.txt"));
    EXPECT_FALSE(Exists(other / L"there.txt"));
}
