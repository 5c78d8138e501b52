// Cut, copy and paste through the real OLE clipboard between the program's main window
// and another process, with the list following through the change watcher.
#include <windows.h>
#include <commctrl.h>
#include <ole2.h>
#include <gtest/gtest.h>

#include "state/app_state.h"
#include "engine/error_report.h"
#include "fileops/data_object.h"
#include "fileops/file_operations.h"
#include "fileops/file_paths.h"
#include "fileops/file_transfer.h"
#include "fileops/shortcuts.h"
#include "list/result_rows.h"
#include "tests/fileops_helpers.h"

using namespace lurmo;
using namespace lurmo::test;

namespace {

std::wstring PeerFiles(const std::wstring& effect, const std::vector<std::wstring>& paths) {
    std::wstring arguments = L"files " + effect;
    for (const auto& path : paths) arguments += L" " + Quoted(path);
    return arguments;
}

bool ClipboardOffersFiles() { return IsClipboardFormatAvailable(CF_HDROP) != FALSE; }

}  // namespace

TEST(Clipboard, CopiedRowsStayReadableByAnotherProgramAfterExit) {
    TempFolder root, out;
    root.File(L"a.txt", 10);
    root.File(L"日本語の名前.txt", 20);
    root.File(L"c.txt", 30);
    std::string a = Narrow(root / L"a.txt") + "\n", japanese = Narrow(root / L"日本語の名前.txt") + "\n";
    {
        MainWindow window;
        Listen(root.path());
        SelectOnly({L"a.txt", L"日本語の名前.txt"});
        SendMessageW(g_app.main, WM_COMMAND, IDM_COPY, 0);
        // The paths come in the list's order.
        if (FindRowByName(L"a.txt") > FindRowByName(L"日本語の名前.txt")) std::swap(a, japanese);
    }
    ASSERT_EQ(RunPeer(L"read " + Quoted(out / L"read.txt")), 0u);
    EXPECT_EQ(ReadFileBytes(out / L"read.txt"), a + japanese + "effect=1\n");
}

bool PasteEnabled() {
    SendMessageW(g_app.main, WM_INITMENUPOPUP, reinterpret_cast<WPARAM>(g_app.editMenu), 1);
    const bool paste = !(GetMenuState(g_app.editMenu, IDM_PASTE, MF_BYCOMMAND) & MF_GRAYED);
    EXPECT_EQ(paste, !(GetMenuState(g_app.editMenu, IDM_PASTE_SHORTCUT, MF_BYCOMMAND) & MF_GRAYED));
    return paste;
}

TEST(Clipboard, CutMarksTheRowsAndPasteIsOfferedUntilAnotherProgramChangesIt) {
    TempFolder root;
    root.File(L"a.txt", 10);
    root.File(L"b.txt", 10);
    MainWindow window;
    Listen(root.path());
    SelectOnly({L"a.txt"});
    SendMessageW(g_app.main, WM_COMMAND, IDM_CUT, 0);
    EXPECT_EQ(RowState(L"a.txt", LVIS_CUT), static_cast<UINT>(LVIS_CUT));
    EXPECT_EQ(RowState(L"b.txt", LVIS_CUT), 0u);
    EXPECT_TRUE(PasteEnabled());
    g_app.effect.snapShot = 1;
    EXPECT_FALSE(PasteEnabled());
    EXPECT_FALSE(PutFilesOnClipboard(DROPEFFECT_MOVE) || PasteFiles());
    g_app.effect.snapShot = 0;
    ASSERT_EQ(RunPeer(L"text other"), 0u);
    EXPECT_TRUE(PumpUntil([] { return RowState(L"a.txt", LVIS_CUT) == 0; }));
    EXPECT_FALSE(PasteEnabled());
}

TEST(Clipboard, ACutFromAnotherProgramIsMovedInAndTheClipboardEmptied) {
    TempFolder root, other;
    root.File(L"a.txt", 100);
    other.File(L"moved.bin", 1000);
    other.File(L"日本.bin", 2000);
    MainWindow window;
    Listen(root.path());
    ASSERT_EQ(RunPeer(PeerFiles(L"2", {other / L"moved.bin", other / L"日本.bin"})), 0u);
    EXPECT_TRUE(PasteFiles());
    EXPECT_TRUE(Exists(root / L"moved.bin") && Exists(root / L"日本.bin"));
    EXPECT_FALSE(Exists(other / L"moved.bin") || Exists(other / L"日本.bin"));
    EXPECT_TRUE(PumpUntil([] { return g_app.rowCount == 3 && g_app.grandTotal == 3100u; }));
    EXPECT_EQ(StatusText(1), L"合計：3,100 Bytes (+3,000)");
    EXPECT_FALSE(ClipboardOffersFiles());
}

TEST(Clipboard, APasteIntoTheItemsOwnFolderCopiesUnderThePrefix) {
    TempFolder root, other;
    root.File(L"a.txt", 10);
    root.File(L"x.txt", 10);
    other.File(L"y.txt", 10);
    MainWindow window;
    Listen(root.path());
    SelectOnly({L"a.txt"});
    SendMessageW(g_app.main, WM_COMMAND, IDM_COPY, 0);
    SendMessageW(g_app.main, WM_COMMAND, IDM_PASTE, 0);
    EXPECT_TRUE(Exists(root / L"コピー ～ a.txt"));
    // One list from two folders: only the item from the target gets the prefix.
    ASSERT_EQ(RunPeer(PeerFiles(L"1", {root / L"x.txt", other / L"y.txt"})), 0u);
    EXPECT_TRUE(PasteFiles());
    EXPECT_TRUE(Exists(root / L"コピー ～ x.txt") && Exists(root / L"y.txt") && Exists(other / L"y.txt"));
    EXPECT_FALSE(Exists(root / L"コピー ～ y.txt"));
    EXPECT_TRUE(PumpUntil([] { return g_app.rowCount == 5; }));
}

TEST(Clipboard, ThePreferredEffectDecidesBetweenCopyAndNothing) {
    TempFolder root, other;
    other.File(L"five.txt", 1);
    other.File(L"four.txt", 1);
    other.File(L"none.txt", 1);
    MainWindow window;
    Listen(root.path());
    ASSERT_EQ(RunPeer(PeerFiles(L"5", {other / L"five.txt"})), 0u);
    EXPECT_TRUE(PasteFiles());
    ASSERT_EQ(RunPeer(PeerFiles(L"4", {other / L"four.txt"})), 0u);
    PasteFiles();
    ASSERT_EQ(RunPeer(PeerFiles(L"none", {other / L"none.txt"})), 0u);
    EXPECT_TRUE(PasteFiles());
    EXPECT_TRUE(Exists(root / L"five.txt") && Exists(other / L"five.txt"));
    EXPECT_FALSE(Exists(root / L"four.txt"));
    EXPECT_TRUE(Exists(root / L"none.txt") && Exists(other / L"none.txt"));
}

TEST(Clipboard, PastedShortcutsTakeTheNextFreeName) {
    TempFolder root, other;
    other.File(L"report.doc", 1);
    other.Folder(L"Folder");
    MainWindow window;
    Listen(root.path());
    ASSERT_EQ(RunPeer(PeerFiles(L"1", {other / L"report.doc", other / L"Folder"})), 0u);
    SendMessageW(g_app.main, WM_COMMAND, IDM_PASTE_SHORTCUT, 0);
    SendMessageW(g_app.main, WM_COMMAND, IDM_PASTE_SHORTCUT, 0);
    EXPECT_TRUE(Exists(root / L"report.doc へのショートカット.lnk"));
    EXPECT_TRUE(Exists(root / L"report.doc へのショートカット (2).lnk"));
    EXPECT_FALSE(Exists(root / L"report.doc へのショートカット (3).lnk"));
    std::wstring target;
    WIN32_FIND_DATAW data;
    ASSERT_TRUE(ResolveShortcut(root / L"Folder へのショートカット (2).lnk", target, data));
    EXPECT_TRUE(SamePath(target, other / L"Folder"));
}

// The clipboard refuses the object while another window holds it open: the object is
// let go exactly once and nothing stays behind.
TEST(Clipboard, ARefusedObjectIsReleasedOnce) {
    TempFolder root;
    root.File(L"a.txt", 10);
    MainWindow window;
    Listen(root.path());
    SelectOnly({L"a.txt"});
    const long before = CountLiveDataObjects();
    ASSERT_TRUE(OpenClipboard(g_app.status));
    EXPECT_FALSE(PutFilesOnClipboard(DROPEFFECT_COPY));
    CloseClipboard();
    EXPECT_EQ(CountLiveDataObjects(), before);
    EXPECT_TRUE(PutFilesOnClipboard(DROPEFFECT_COPY));
}

// Under Wine a move replaces a file of the same name without asking; Lurmo asks, a "no"
// keeps both files and the cut on the clipboard, a "yes" moves and empties it.
TEST(Clipboard, AMoveOntoAnExistingNameAsksAndAFailedPasteKeepsTheCut) {
    TempFolder root, other;
    root.File(L"same.txt", 10);
    other.File(L"same.txt", 77);
    MainWindow window;
    Listen(root.path());
    ASSERT_EQ(RunPeer(PeerFiles(L"2", {other / L"same.txt"})), 0u);
    MessageBoxCatcher boxes(IDNO);
    EXPECT_FALSE(PasteFiles());
    ASSERT_EQ(boxes.boxes().size(), 1u);
    EXPECT_EQ(boxes.boxes()[0].text, L"移動先に同じ名前の項目があります. 置き換えますか？ : " + (root / L"same.txt"));
    EXPECT_EQ(ReadFileBytes(root / L"same.txt").size(), 10u);
    EXPECT_TRUE(Exists(other / L"same.txt"));
    EXPECT_TRUE(ClipboardOffersFiles());
    boxes.SetAnswer(IDYES);
    EXPECT_TRUE(PasteFiles());
    EXPECT_EQ(ReadFileBytes(root / L"same.txt").size(), 77u);
    EXPECT_FALSE(ClipboardOffersFiles());
}

// Wine would answer success and do nothing, or rename the file to the missing folder's
// name; both are refused before the shell is asked.
TEST(Clipboard, NoPasteIntoTheItemItselfOrIntoAFolderThatIsGone) {
    TempFolder root;
    root.File(L"Docs\\inner\\a.txt", 10);
    root.File(L"b.txt", 10);
    MainWindow window;
    Listen(root.path());
    MessageBoxCatcher boxes;
    com_ptr<IDataObject> folder = FilesObject({root / L"Docs"});
    EXPECT_EQ(TransferDroppedFiles(DROPEFFECT_MOVE, folder.get(), root / L"Docs\\inner"), kTransferIntoItself);
    EXPECT_EQ(TransferDroppedFiles(DROPEFFECT_COPY, folder.get(), root / L"Docs"), kTransferIntoItself);
    com_ptr<IDataObject> file = FilesObject({root / L"b.txt"});
    EXPECT_EQ(TransferDroppedFiles(DROPEFFECT_MOVE, file.get(), root / L"gone"), kTransferNoDestination);
    EXPECT_TRUE(Exists(root / L"b.txt") && Exists(root / L"Docs\\inner\\a.txt"));
    EXPECT_FALSE(Exists(root / L"gone") || Exists(root / L"Docs\\inner\\Docs"));
    ASSERT_EQ(boxes.boxes().size(), 3u);
    EXPECT_EQ(boxes.boxes()[2].text, L"指定されたフォルダは存在しません. : " + (root / L"gone"));
    com_ptr<IDataObject> empty = FilesObject({});
    EXPECT_EQ(TransferDroppedFiles(DROPEFFECT_COPY, empty.get(), root.path()), kTransferNoFiles);
}

// Wine's shell lets the second of two same-named sources replace the first without a
// word; the paste is refused as a whole, naming both, and the cut stays.
TEST(Clipboard, TwoSameNamedFilesAreRefusedAndNothingIsLost) {
    TempFolder root, a, b;
    a.File(L"same.txt", 10);
    b.File(L"same.txt", 20);
    MainWindow window;
    Listen(root.path());
    ASSERT_EQ(RunPeer(PeerFiles(L"2", {a / L"same.txt", b / L"same.txt"})), 0u);
    MessageBoxCatcher boxes;
    EXPECT_FALSE(PasteFiles());
    EXPECT_EQ(ReadFileBytes(a / L"same.txt").size(), 10u);
    EXPECT_EQ(ReadFileBytes(b / L"same.txt").size(), 20u);
    EXPECT_FALSE(Exists(root / L"same.txt"));
    ASSERT_EQ(boxes.boxes().size(), 1u);
    EXPECT_EQ(boxes.boxes()[0].text, L"同じ名前の項目が複数あるため、コピーも移動もしませんでした. : " + (a / L"same.txt") +
                                         L" , " + (b / L"same.txt"));
    EXPECT_TRUE(ClipboardOffersFiles());
}

// Wine's shell answers success for a copy or a move that ran out of room and leaves a
// short copy behind. The item is named with the reason, the short copy removed, the
// original and the cut kept.
TEST(Clipboard, APasteOntoAFullDiskIsReportedAndLeavesNoShortCopy) {
    SmallDisk disk;
    if (disk.path().empty()) GTEST_SKIP() << "no small file system mounted (tests/make_small_disk.sh)";
    TempFolder other;
    other.File(L"big.bin", 60000);
    disk.LeaveFree(30000);
    MainWindow window;
    Listen(disk.path());
    for (const wchar_t* effect : {L"1", L"2"}) {
        ASSERT_EQ(RunPeer(PeerFiles(effect, {other / L"big.bin"})), 0u);
        MessageBoxCatcher boxes;
        EXPECT_FALSE(PasteFiles());
        EXPECT_FALSE(Exists(disk / L"big.bin")) << Narrow(effect);
        EXPECT_EQ(ReadFileBytes(other / L"big.bin").size(), 60000u);
        ASSERT_EQ(boxes.boxes().size(), 1u);
        const std::wstring& text = boxes.boxes()[0].text;
        EXPECT_NE(text.find(other / L"big.bin"), std::wstring::npos) << Narrow(text);
        EXPECT_NE(text.find(SystemErrorText(ERROR_DISK_FULL)), std::wstring::npos) << Narrow(text);
        EXPECT_TRUE(ClipboardOffersFiles());
    }
}
