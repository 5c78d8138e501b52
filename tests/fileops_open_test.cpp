// Opening rows, the open-with dialog, the target's properties, new folders and the
// new-shortcut wizard, with the real shell and a test program registered for a test type.
#include <windows.h>
#include <commctrl.h>
#include <ole2.h>
#include <shlobj.h>
#include <shlwapi.h>
#include <gtest/gtest.h>

#include <set>
#include <vector>

#include "state/app_state.h"
#include "app/run_control.h"
#include "fileops/file_operations.h"
#include "fileops/file_paths.h"
#include "list/result_rows.h"
#include "list/watcher.h"
#include "tests/fileops_dialog_hook.h"
#include "tests/fileops_helpers.h"

using namespace lurmo;
using namespace lurmo::test;

namespace {

void DoubleClick(const std::wstring& name) {
    NMITEMACTIVATE click{};
    click.hdr.hwndFrom = g_app.list;
    click.hdr.idFrom = IDC_RESULT_LIST;
    click.hdr.code = NM_DBLCLK;
    click.iItem = FindRowByName(name);
    SendMessageW(g_app.main, WM_NOTIFY, IDC_RESULT_LIST, reinterpret_cast<LPARAM>(&click));
}

bool RunEnded() { return !g_app.busy.load() && (!g_app.worker || WaitForSingleObject(g_app.worker.get(), 0) == WAIT_OBJECT_0); }

void MakeShortcut(const std::wstring& file, const std::wstring& destination) {
    com_ptr<IShellLinkW> link;
    ASSERT_EQ(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW, link.put_void()), S_OK);
    link->SetPath(destination.c_str());
    com_ptr<IPersistFile> persist;
    ASSERT_EQ(link->QueryInterface(IID_IPersistFile, persist.put_void()), S_OK);
    ASSERT_EQ(persist->Save(file.c_str(), TRUE), S_OK);
}

// The test program opens files of the type ".lurmotest" and notes its working folder.
class TestFileType {
public:
    TestFileType() {
        wchar_t self[MAX_PATH]{};
        GetModuleFileNameW(nullptr, self, MAX_PATH);
        std::wstring peer = self;
        peer = peer.substr(0, peer.rfind(L'\\') + 1) + L"clipboard_peer.exe";
        const std::wstring command = L"\"" + peer + L"\" opened \"%1\"";
        SHSetValueW(HKEY_LOCAL_MACHINE, L"Software\\Classes\\.lurmotest", nullptr, REG_SZ, L"LurmoTest.Document",
                    sizeof(L"LurmoTest.Document"));
        SHSetValueW(HKEY_LOCAL_MACHINE, L"Software\\Classes\\LurmoTest.Document\\shell\\open\\command", nullptr, REG_SZ,
                    command.c_str(), static_cast<DWORD>((command.size() + 1) * sizeof(wchar_t)));
    }
    ~TestFileType() {
        SHDeleteKeyW(HKEY_LOCAL_MACHINE, L"Software\\Classes\\.lurmotest");
        SHDeleteKeyW(HKEY_LOCAL_MACHINE, L"Software\\Classes\\LurmoTest.Document");
    }
    TestFileType(const TestFileType&) = delete;
    TestFileType& operator=(const TestFileType&) = delete;

    // The working folder and the file the program was started with, once it has run.
    static std::vector<std::wstring> Opened(const std::wstring& file) {
        const std::wstring note = file + L".opened";
        if (!PumpUntil([&] { return ReadFileBytes(note) != "<missing>"; }, 20000)) return {};
        const std::string bytes = ReadFileBytes(note);
        std::wstring text(reinterpret_cast<const wchar_t*>(bytes.data()), bytes.size() / sizeof(wchar_t));
        std::vector<std::wstring> lines;
        for (size_t start = 0, end; (end = text.find(L'\n', start)) != std::wstring::npos; start = end + 1) {
            lines.push_back(text.substr(start, end - start));
        }
        return lines;
    }
};

// Stands in for the shell's run-time entry points, which Wine lacks or leaves empty.
std::vector<std::wstring> g_entryCalls;
void WINAPI RecordEntryCall(HWND, HINSTANCE, LPWSTR argument, int) { g_entryCalls.push_back(argument); }
FARPROC FindRecorder(HMODULE, const char* name) {
    if (!strcmp(name, "OpenAs_RunDLLW") || !strcmp(name, "NewLinkHereW")) return reinterpret_cast<FARPROC>(reinterpret_cast<void*>(&RecordEntryCall));
    return nullptr;
}

struct EntryPointRecorder {
    EntryPointRecorder() {
        g_entryCalls.clear();
        SetEntryPointFinder(FindRecorder);
    }
    ~EntryPointRecorder() { SetEntryPointFinder(nullptr); }
};

}  // namespace

TEST(Open, DoubleClickOnAFolderOrAShortcutToOneMakesItTheTarget) {
    TempFolder root, elsewhere;
    root.File(L"d\\x.bin", 1);
    MainWindow window;
    MakeShortcut(root / L"far.lnk", elsewhere.path());
    Listen(root.path());
    DoubleClick(L"d");
    ASSERT_TRUE(PumpUntil([] { return RunEnded(); }));
    EXPECT_EQ(TargetPath(), root / L"d\\");
    Listen(root.path());
    DoubleClick(L"far.lnk");
    ASSERT_TRUE(PumpUntil([] { return RunEnded(); }));
    EXPECT_EQ(TargetPath(), elsewhere.path() + L"\\");
}

TEST(Open, EnterOnSeveralFoldersHandsEachToAFurtherInstance) {
    TempFolder root;
    for (const wchar_t* name : {L"d1", L"d2", L"d3"}) root.Folder(name);
    MainWindow window;
    Listen(root.path());
    static std::vector<std::pair<std::wstring, int>> opened;
    opened.clear();
    FileOperationHost host = GetFileOperationHost();
    host.openFolder = [](const std::wstring& path, int rows) { opened.emplace_back(path, rows); };
    SetFileOperationHost(host);
    SelectOnly({L"d1", L"d2", L"d3"});
    SendMessageW(g_app.main, WM_COMMAND, IDOK, 0);
    using Opened = std::set<std::pair<std::wstring, int>>;
    EXPECT_EQ(Opened(opened.begin(), opened.end()), (Opened{{root / L"d1", 3}, {root / L"d2", 3}, {root / L"d3", 3}}));
    EXPECT_EQ(opened.size(), 3u);
    EXPECT_EQ(TargetPath(), root.path() + L"\\");
}

TEST(Open, AShortcutToADocumentOpensTheDocumentInTheTarget) {
    TempFolder root, documents;
    TestFileType type;
    documents.File(L"doc.lurmotest", 3);
    MainWindow window;
    MakeShortcut(root / L"doc.lnk", documents / L"doc.lurmotest");
    Listen(root.path());
    DoubleClick(L"doc.lnk");
    const std::vector<std::wstring> opened = TestFileType::Opened(documents / L"doc.lurmotest");
    ASSERT_EQ(opened.size(), 2u);
    EXPECT_EQ(opened[0], root.path());
    EXPECT_EQ(opened[1], documents / L"doc.lurmotest");
}

// "X:" alone names the drive's current folder, which is not its root.
TEST(Open, AtADriveRootTheRootIsTheWorkingFolder) {
    TempFolder root;
    TestFileType type;
    root.File(L"doc.lurmotest", 3);
    root.Folder(L"sub");
    MappedDrive drive(root.path());
    ASSERT_FALSE(drive.root().empty());
    const std::wstring letter = drive.root().substr(0, 2);
    SetEnvironmentVariableW((L"=" + letter).c_str(), (drive.root() + L"sub").c_str());
    MainWindow window;
    Listen(drive.root());
    DoubleClick(L"doc.lurmotest");
    const std::vector<std::wstring> opened = TestFileType::Opened(root / L"doc.lurmotest");
    SetEnvironmentVariableW((L"=" + letter).c_str(), nullptr);
    ASSERT_EQ(opened.size(), 2u);
    EXPECT_EQ(opened[0], drive.root());
}

// Only a type without a program gets the open-with dialog; a file that is gone or a
// shortcut that leads nowhere gets nothing.
TEST(Open, OpenWithIsOfferedOnlyWhenNoProgramIsRegistered) {
    TempFolder root;
    root.File(L"plain.lurmounknown", 1);
    root.File(L"gone.lurmounknown", 1);
    MainWindow window;
    MakeShortcut(root / L"dangling.lnk", root / L"nothing.txt");
    Listen(root.path());
    EntryPointRecorder recorder;
    DoubleClick(L"plain.lurmounknown");
    ASSERT_EQ(g_entryCalls.size(), 1u);
    EXPECT_EQ(g_entryCalls[0], root / L"plain.lurmounknown");
    DoubleClick(L"dangling.lnk");
    StopWatcher();
    DeleteFileW((root / L"gone.lurmounknown").c_str());
    DoubleClick(L"gone.lurmounknown");
    EXPECT_EQ(g_entryCalls.size(), 1u);
}

// Wine's shell refuses the "properties" verb with a message of its own.
TEST(Properties, TheTargetsSheetOpens) {
    TempFolder root;
    root.File(L"a.txt", 1);
    MainWindow window;
    Listen(root.path());
    std::vector<std::wstring> dialogs;
    std::vector<std::wstring> boxes;
    DialogAnswerer answerer([&](HWND dialog) {
        const std::wstring text = DialogAnswerer::BoxText(dialog);
        if (!text.empty()) boxes.push_back(text);
        else dialogs.push_back(DialogAnswerer::TitleOf(dialog));
        PostMessageW(dialog, WM_COMMAND, IDCANCEL, 0);
    });
    SendMessageW(g_app.main, WM_COMMAND, IDM_PROPERTIES, 0);
    EXPECT_TRUE(PumpUntil([&] { return !dialogs.empty(); }));
    EXPECT_TRUE(boxes.empty()) << Narrow(boxes.empty() ? L"" : boxes[0]);
}

TEST(NewFolder, TheNextFreeNumberIsMadeAndOpenedForNaming) {
    TempFolder root;
    root.Folder(L"新しいフォルダ");
    root.Folder(L"新しいフォルダ (2)");
    root.File(L"a.txt", 1);
    MainWindow window;
    Listen(root.path());
    SendMessageW(g_app.main, WM_COMMAND, IDM_NEW_FOLDER, 0);
    PumpMessages();
    EXPECT_TRUE(IsExistingFolder(root / L"新しいフォルダ (3)"));
    ASSERT_TRUE(g_app.labelEdit);
    wchar_t text[MAX_PATH]{};
    GetWindowTextW(g_app.labelEdit, text, MAX_PATH);
    EXPECT_STREQ(text, L"新しいフォルダ (3)");
    SendMessageW(g_app.labelEdit, WM_KEYDOWN, VK_ESCAPE, 0);
    root.File(L"marker", 1);
    ASSERT_TRUE(PumpUntil([] { return FindRowByName(L"marker") >= 0; }));
    EXPECT_EQ(g_app.rowCount, 5);
}

// A target that cannot take a folder ends the attempts at once, with a message.
TEST(NewFolder, AFailureOtherThanATakenNameEndsTheAttempts) {
    TempFolder root;
    root.Folder(L"t");
    MainWindow window;
    Listen(root / L"t");
    StopWatcher();
    RemoveDirectoryW((root / L"t").c_str());
    MessageBoxCatcher boxes;
    SendMessageW(g_app.main, WM_COMMAND, IDM_NEW_FOLDER, 0);
    ASSERT_EQ(boxes.boxes().size(), 1u);
    EXPECT_EQ(boxes.boxes()[0].text, L"エラー：CreateDirectory()");
}

TEST(NewShortcut, TheItemIsGrayedWithoutTheWizardAndTheWizardGetsTheTarget) {
    TempFolder root;
    MainWindow window;
    Listen(root.path());
    unique_hmenu popup(CreatePopupMenu());
    AppendMenuW(popup.get(), MF_STRING, IDM_NEW_FOLDER, L"フォルダ(&F)");
    AppendMenuW(popup.get(), MF_STRING, IDM_NEW_SHORTCUT, L"ショートカット(&S)");
    auto grayed = [&] {
        SendMessageW(g_app.main, WM_INITMENUPOPUP, reinterpret_cast<WPARAM>(popup.get()), 5);
        return (GetMenuState(popup.get(), IDM_NEW_SHORTCUT, MF_BYCOMMAND) & MF_GRAYED) != 0;
    };
    EXPECT_EQ(grayed(), !NewShortcutWizardAvailable());
    EntryPointRecorder recorder;
    EXPECT_FALSE(grayed());
    SendMessageW(g_app.main, WM_COMMAND, IDM_NEW_SHORTCUT, 0);
    ASSERT_EQ(g_entryCalls.size(), 1u);
    EXPECT_EQ(g_entryCalls[0], root.path() + L"\\");
}
