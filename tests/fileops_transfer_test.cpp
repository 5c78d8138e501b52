// Copy and move to a chosen folder and delete, through the real shell, with the list
// following through the change watcher.
#include <windows.h>
#include <commctrl.h>
#include <shellapi.h>
#include <gtest/gtest.h>

#include <vector>

#include "state/app_state.h"
#include "fileops/file_operations.h"
#include "fileops/file_transfer.h"
#include "list/result_rows.h"
#include "tests/fileops_dialog_hook.h"
#include "tests/fileops_helpers.h"

using namespace lurmo;
using namespace lurmo::test;

namespace {

// Answers the folder chooser with the folder (cancels it when empty) and every other
// dialog with the button, recording what the others said.
struct ChooserRun {
    explicit ChooserRun(std::wstring folder = L"", int answer = IDNO) : chosen(std::move(folder)), otherAnswer(answer) {}
    std::wstring chosen;
    int otherAnswer;
    bool chooserSeen = false;
    std::vector<std::wstring> others;

    void operator()(UINT command) {
        DialogAnswerer answerer([this](HWND dialog) {
            const std::wstring title = DialogAnswerer::TitleOf(dialog);
            if (title == L"コピー先の選択" || title == L"移動先の選択") {
                chooserSeen = true;
                if (chosen.empty()) {
                    PostMessageW(dialog, WM_COMMAND, IDCANCEL, 0);
                    return;
                }
                PostMessageW(dialog, BFFM_SETSELECTIONW, TRUE, reinterpret_cast<LPARAM>(chosen.c_str()));
                PostMessageW(dialog, WM_COMMAND, IDOK, 0);
                return;
            }
            others.push_back(DialogAnswerer::BoxText(dialog));
            PostMessageW(dialog, WM_COMMAND, otherAnswer, 0);
        });
        SendMessageW(g_app.main, WM_COMMAND, command, 0);
    }
};

uint64_t FileSize(const std::wstring& path) {
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data)) return ~0ull;
    return (static_cast<uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

}  // namespace

TEST(CopyMoveToFolder, CancelLeavesEverythingCopyCopiesAndTheListFollowsAMove) {
    TempFolder root, copies, moved;
    root.File(L"a.txt", 10);
    root.File(L"b.txt", 20);
    root.File(L"c.txt", 40);
    MainWindow window;
    Listen(root.path());
    SelectOnly({L"a.txt", L"b.txt"});
    ChooserRun cancel;
    cancel(IDM_MOVE_TO_FOLDER);
    EXPECT_TRUE(cancel.chooserSeen);
    EXPECT_TRUE(Exists(root / L"a.txt") && Exists(root / L"b.txt"));

    ChooserRun copy(copies.path());
    copy(IDM_COPY_TO_FOLDER);
    EXPECT_TRUE(Exists(copies / L"a.txt") && Exists(copies / L"b.txt") && Exists(root / L"a.txt"));

    ChooserRun move(moved.path());
    move(IDM_MOVE_TO_FOLDER);
    EXPECT_TRUE(Exists(moved / L"a.txt") && Exists(moved / L"b.txt"));
    EXPECT_FALSE(Exists(root / L"a.txt") || Exists(root / L"b.txt"));
    EXPECT_TRUE(PumpUntil([] { return g_app.rowCount == 1 && g_app.grandTotal == 40u; }));
    EXPECT_TRUE(copy.others.empty() && move.others.empty());
}

// Wine's shell answers success to a move into the moved folder itself and does nothing.
TEST(CopyMoveToFolder, ADestinationInsideAMovedFolderIsRefusedBeforeTheShell) {
    TempFolder root;
    root.Folder(L"d\\inner");
    root.File(L"d\\inner\\x.bin", 5);
    MainWindow window;
    Listen(root.path());
    SelectOnly({L"d"});
    ChooserRun into(root / L"d\\inner");
    into(IDM_MOVE_TO_FOLDER);
    ASSERT_EQ(into.others.size(), 1u);
    EXPECT_EQ(into.others[0], L"コピー先または移動先が、元のフォルダの中にあります. : " + (root / L"d"));
    EXPECT_TRUE(Exists(root / L"d\\inner\\x.bin"));
}

// Wine's shell replaces an item of the same name without asking. The folder is handed
// over as the chooser hands it: Wine's chooser now and then ends on another folder when
// the selection and OK are posted to it together.
TEST(TransferFiles, AMoveAsksBeforeReplacingAndKeepsWhatTheUserKeeps) {
    TempFolder root, other;
    root.File(L"a.txt", 10);
    other.File(L"a.txt", 99);
    MainWindow window;
    Listen(root.path());
    std::vector<std::wstring> boxes;
    {
        DialogAnswerer keep([&boxes](HWND dialog) {
            boxes.push_back(DialogAnswerer::BoxText(dialog));
            PostMessageW(dialog, WM_COMMAND, IDNO, 0);
        });
        TransferFiles(DROPEFFECT_MOVE, {root / L"a.txt"}, other.path());
    }
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0], L"移動先に同じ名前の項目があります. 置き換えますか？ : " + (other / L"a.txt"));
    EXPECT_EQ(FileSize(other / L"a.txt"), 99u);
    EXPECT_EQ(FileSize(root / L"a.txt"), 10u);
}


// Answered yes, the move replaces a file in a sub-folder: the folder's row takes the new
// file's size, not the sum of both nor the old one.
TEST(TransferFiles, AMoveThatReplacesAFileInASubFolderLeavesItsRowAtTheNewSize) {
    TempFolder root;
    root.File(L"Docs\\a.txt", 10);
    root.File(L"Docs\\keep.txt", 5);
    root.File(L"Pics\\a.txt", 700);
    MainWindow window;
    Listen(root.path());
    {
        DialogAnswerer replace([](HWND dialog) { PostMessageW(dialog, WM_COMMAND, IDYES, 0); });
        TransferFiles(DROPEFFECT_MOVE, {root / L"Pics\\a.txt"}, root / L"Docs");
    }
    ASSERT_EQ(FileSize(root / L"Docs\\a.txt"), 700u);
    auto sizeOf = [](const wchar_t* name) { return RowEntryAt(FindRowByName(name))->size; };
    EXPECT_TRUE(PumpUntil([&] { return sizeOf(L"Docs") == 705u && sizeOf(L"Pics") == 0u; }))
        << sizeOf(L"Docs") << " " << sizeOf(L"Pics");
    EXPECT_EQ(g_app.grandTotal, 705u);
}

// The recycle bin of Wine is the trash of the XDG data folder, here the test's own.
TEST(DeleteSelection, DeleteGoesToTheRecycleBinAndShiftDeletesForGood) {
    TempFolder root, data;
    SetEnvironmentVariableW(L"XDG_DATA_HOME", UnixName(data.path()).c_str());
    root.File(L"kept.txt", 10);
    root.File(L"gone.txt", 20);
    root.File(L"stays.txt", 40);
    MainWindow window;
    Listen(root.path());
    std::vector<std::wstring> confirmations;
    DialogAnswerer yes([&](HWND dialog) {
        confirmations.push_back(DialogAnswerer::TitleOf(dialog));
        PostMessageW(dialog, WM_COMMAND, IDYES, 0);
    });
    SelectOnly({L"kept.txt"});
    SendMessageW(g_app.main, WM_COMMAND, IDM_DELETE, 0);
    EXPECT_FALSE(Exists(root / L"kept.txt"));
    EXPECT_TRUE(Exists(data / L"Trash\\files\\kept.txt"));

    SelectOnly({L"gone.txt"});
    {
        HeldKeys shift({VK_SHIFT});
        SendMessageW(g_app.main, WM_COMMAND, IDM_DELETE, 0);
    }
    EXPECT_FALSE(Exists(root / L"gone.txt"));
    EXPECT_FALSE(Exists(data / L"Trash\\files\\gone.txt"));
    EXPECT_EQ(confirmations.size(), 2u);
    EXPECT_TRUE(PumpUntil([] { return g_app.rowCount == 1 && g_app.grandTotal == 40u; }));
}

namespace {

// Made through the extended form: the ordinary path would drop the trailing dot or blank.
void MakeExactFile(const std::wstring& path, DWORD size) {
    HANDLE file = CreateFileW((L"\\\\?\\" + path).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    std::string bytes(size, 'x');
    DWORD written = 0;
    WriteFile(file, bytes.data(), size, &written, nullptr);
    CloseHandle(file);
}

bool ExactExists(const std::wstring& path) {
    return GetFileAttributesW((L"\\\\?\\" + path).c_str()) != INVALID_FILE_ATTRIBUTES;
}

struct AnsweredBoxes {
    explicit AnsweredBoxes(int answer)
        : answerer([this, answer](HWND dialog) {
              texts.push_back(DialogAnswerer::BoxText(dialog));
              PostMessageW(dialog, WM_COMMAND, answer, 0);
          }) {}
    std::vector<std::wstring> texts;
    DialogAnswerer answerer;
};

}  // namespace

// The shell, given "g.", deletes "g": such a row is deleted by the program itself through
// the extended form, after asking, and handed to nothing that would act on its namesake.
TEST(DeleteSelection, ARowWhoseNameEndsInADotIsDeletedItselfNotItsNamesake) {
    TempFolder root;
    root.File(L"g", 1);
    MakeExactFile(root / L"g.", 5);
    MainWindow window;
    Listen(root.path());
    SelectOnly({L"g."});
    {
        MessageBoxCatcher boxes;
        EXPECT_FALSE(PutFilesOnClipboard(DROPEFFECT_COPY));
        ASSERT_EQ(boxes.boxes().size(), 1u);
        EXPECT_EQ(boxes.boxes()[0].text, L"名前の末尾がピリオドまたは空白のため、この項目は扱えません. : " + (root / L"g."));
    }
    AnsweredBoxes yes(IDYES);
    {
        HeldKeys shift({VK_SHIFT});
        SendMessageW(g_app.main, WM_COMMAND, IDM_DELETE, 0);
    }
    ASSERT_EQ(yes.texts.size(), 1u);
    EXPECT_EQ(yes.texts[0], L"次の項目を完全に削除しますか？\r\n" + (root / L"g."));
    EXPECT_FALSE(ExactExists(root / L"g."));
    EXPECT_TRUE(ExactExists(root / L"g"));
}

// Given a folder that holds paths over MAX_PATH, Wine's shell crashed and took items
// beside it; the program deletes such a folder itself, and its neighbours stay.
TEST(DeleteSelection, AFolderHoldingPathsTooLongForTheShellIsDeletedWhole) {
    TempFolder root;
    root.File(L"keep.txt", 3);
    std::wstring deep = L"\\\\?\\" + (root / L"deep");
    for (int i = 0; i < 30; ++i) {
        ASSERT_TRUE(CreateDirectoryW(deep.c_str(), nullptr));
        deep += L"\\component_" + std::to_wstring(i);
    }
    ASSERT_GT(deep.size(), 300u);
    MainWindow window;
    Listen(root.path());
    SelectOnly({L"deep"});
    AnsweredBoxes yes(IDYES);
    {
        HeldKeys shift({VK_SHIFT});
        SendMessageW(g_app.main, WM_COMMAND, IDM_DELETE, 0);
    }
    ASSERT_EQ(yes.texts.size(), 1u);
    EXPECT_EQ(yes.texts[0], L"次の項目を完全に削除しますか？\r\n" + (root / L"deep"));
    EXPECT_FALSE(Exists(root / L"deep"));
    EXPECT_TRUE(Exists(root / L"keep.txt"));
}

// Wine deletes an item its recycle bin cannot take for good, after asking only whether
// to delete it. The program asks first, saying so, and "no" keeps the item.
TEST(DeleteSelection, AnItemTheRecycleBinCannotTakeIsNotDeletedForGoodUnasked) {
    TempFolder root, data;
    WriteFileOfSize(data / L"not-a-folder", 1);
    SetEnvironmentVariableW(L"XDG_DATA_HOME", UnixName(data / L"not-a-folder\\share").c_str());
    root.File(L"t.txt", 10);
    MainWindow window;
    Listen(root.path());
    SelectOnly({L"t.txt"});
    {
        AnsweredBoxes no(IDNO);
        SendMessageW(g_app.main, WM_COMMAND, IDM_DELETE, 0);
        ASSERT_EQ(no.texts.size(), 1u);
        EXPECT_EQ(no.texts[0], L"次の項目はごみ箱に入れられません. 完全に削除しますか？\r\n" + (root / L"t.txt"));
    }
    EXPECT_TRUE(Exists(root / L"t.txt"));
    SetEnvironmentVariableW(L"XDG_DATA_HOME", nullptr);
}
