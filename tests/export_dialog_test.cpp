// Choosing the export file: the name the dialogs offer, the older dialog's extension that
// follows the file type, the folder it remembers, the common item dialog, and a whole
// export through a dialog. The dialogs are real; a second thread plays the user.
#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>
#include <shlobj.h>

#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "engine/entries.h"
#include "export/export_file.h"
#include "export/export_lines.h"
#include "export/save_dialog.h"
#include "list/number_format.h"
#include "tests/test_support.h"

using namespace lurmo;
using lurmo::test::TempFolder;

namespace {

constexpr int kTypeCombo = 1136;
constexpr int kOlderNameBox = 1148;
constexpr int kItemDialogNameBox = 1152;

// A save dialog of the thread, once it shows with its file-type box.
BOOL CALLBACK FindVisibleDialog(HWND window, LPARAM lParam) {
    wchar_t className[32] = {};
    GetClassNameW(window, className, 32);
    if (lstrcmpW(className, L"#32770") == 0 && IsWindowVisible(window) && GetDlgItem(window, kTypeCombo)) {
        *reinterpret_cast<HWND*>(lParam) = window;
        return FALSE;
    }
    return TRUE;
}

HWND WaitForDialog(DWORD thread) {
    for (int i = 0; i < 1200; ++i) {
        HWND found = nullptr;
        EnumThreadWindows(thread, FindVisibleDialog, reinterpret_cast<LPARAM>(&found));
        if (found) return found;
        Sleep(50);
    }
    return nullptr;
}

// True when the dialog went away by itself; otherwise it is cancelled, again and again,
// so that a test whose steps did not end the dialog fails instead of waiting forever.
bool WaitUntilClosed(HWND dialog) {
    for (int i = 0; i < 400; ++i) {
        if (!IsWindow(dialog)) return true;
        Sleep(50);
    }
    while (IsWindow(dialog)) {
        PostMessageW(dialog, WM_COMMAND, IDCANCEL, 0);
        Sleep(500);
    }
    return false;
}

std::wstring TextOf(HWND window) {
    wchar_t text[1024] = {};
    GetWindowTextW(window, text, 1024);
    return text;
}

std::wstring ItemText(HWND dialog, int id) {
    wchar_t text[1024] = {};
    GetDlgItemTextW(dialog, id, text, 1024);
    return text;
}

// Picks a file type the way a user's click does: the combo box changes its selection and
// tells the dialog that it changed and that the choice is made.
void PickType(HWND dialog, int kind) {
    HWND combo = GetDlgItem(dialog, kTypeCombo);
    SendMessageW(combo, CB_SETCURSEL, static_cast<WPARAM>(kind - 1), 0);
    SendMessageW(dialog, WM_COMMAND, MAKEWPARAM(kTypeCombo, CBN_SELCHANGE), reinterpret_cast<LPARAM>(combo));
    SendMessageW(dialog, WM_COMMAND, MAKEWPARAM(kTypeCombo, CBN_SELENDOK), reinterpret_cast<LPARAM>(combo));
}

void Press(HWND dialog, int id) {
    PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(dialog, id)));
}

// Runs choose() on this thread while user() acts on the dialog it opens from another.
template <typename Choose>
auto WithUser(Choose choose, const std::function<void(HWND dialog)>& user) {
    const DWORD self = GetCurrentThreadId();
    bool appeared = false, closed = false;
    std::thread driver([&] {
        HWND dialog = WaitForDialog(self);
        appeared = dialog != nullptr;
        if (!dialog) return;
        user(dialog);
        closed = WaitUntilClosed(dialog);
    });
    auto result = choose();
    driver.join();
    EXPECT_TRUE(appeared) << "no dialog came up";
    EXPECT_TRUE(closed) << "the dialog stayed open";
    return result;
}

// A top-level window to own the dialogs.
class OwnerWindow {
public:
    OwnerWindow() {
        window_ = CreateWindowExW(0, L"STATIC", L"Lurmo", WS_OVERLAPPEDWINDOW, 0, 0, 640, 480, nullptr, nullptr,
                                  GetModuleHandleW(nullptr), nullptr);
    }
    ~OwnerWindow() { DestroyWindow(window_); }
    OwnerWindow(const OwnerWindow&) = delete;
    OwnerWindow& operator=(const OwnerWindow&) = delete;
    HWND get() const { return window_; }

private:
    HWND window_ = nullptr;
};

struct ComScope {
    ComScope() { CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED); }
    ~ComScope() { CoUninitialize(); }
};

}  // namespace

TEST(ExportNames, TheExtensionFollowsTheFileType) {
    EXPECT_EQ(SwitchExportExtension(L"photos.csv", kExportTab), L"photos.txt");
    EXPECT_EQ(SwitchExportExtension(L"photos.txt", kExportCsv), L"photos.csv");
    EXPECT_EQ(SwitchExportExtension(L"photos.csv", kExportUnicode), L"photos.txt");
    EXPECT_EQ(SwitchExportExtension(L"my.report.final", kExportTab), L"my.report.txt");
    EXPECT_EQ(SwitchExportExtension(L"noext", kExportUnicode), L"noext.txt");
    EXPECT_EQ(SwitchExportExtension(L"noext", kExportCsv), L"noext.csv");
    EXPECT_EQ(SwitchExportExtension(L".", kExportCsv), L".csv");
    EXPECT_EQ(SwitchExportExtension(L"", kExportTab), L"");
    // Everything from the last dot goes, even a dot in a typed folder name.
    EXPECT_EQ(SwitchExportExtension(L"C:\\v1.2\\list", kExportTab), L"C:\\v1.txt");
}

TEST(ExportNames, TheSuggestedNameIsTheTargetFoldersOwnName) {
    EXPECT_EQ(SuggestExportName(L"C:\\data\\photos\\"), L"photos");
    EXPECT_EQ(SuggestExportName(L"C:\\data\\photos"), L"photos");
    EXPECT_EQ(SuggestExportName(L"\\\\server\\share\\"), L"share");
    EXPECT_EQ(SuggestExportName(L"C:\\"), L"C:");
    EXPECT_EQ(SuggestExportName(L"photos"), L"photos");
    EXPECT_EQ(ExtractFolder(L"C:\\out\\list.csv"), L"C:\\out");
    EXPECT_EQ(ExtractFolder(L"C:\\list.csv"), L"C:");
    EXPECT_EQ(ExtractFolder(L"list.csv"), L"");
}

TEST(ExportNames, TheDefaultFolderIsMyDocumentsWithoutItsBackslash) {
    wchar_t documents[MAX_PATH] = {};
    ASSERT_TRUE(SHGetSpecialFolderPathW(nullptr, documents, CSIDL_PERSONAL, FALSE));
    std::wstring expected = documents;
    if (expected.back() == L'\\') expected.pop_back();
    EXPECT_EQ(FindDefaultExportFolder(nullptr), expected);
    EXPECT_NE(FindDefaultExportFolder(nullptr).back(), L'\\');
}

TEST(OlderSaveDialog, OffersTheTargetsNameAndKeepsItsExtensionInStepWithTheType) {
    OwnerWindow owner;
    SetExportFolder(L"");
    std::wstring title, offered;
    HWND dialogOwner = nullptr;
    std::vector<std::wstring> names;
    const auto rename = [&](HWND dialog, const std::wstring& typed, int kind) {
        if (!typed.empty() || kind == kExportCsv) SetDlgItemTextW(dialog, kOlderNameBox, typed.c_str());
        PickType(dialog, kind);
        names.push_back(ItemText(dialog, kOlderNameBox));
    };
    ExportChoice choice;
    choice.path = L"untouched";
    const bool chosen = WithUser([&] { return ChooseExportFile(owner.get(), L"C:\\data\\photos\\", 0x502, choice); },
                                 [&](HWND dialog) {
                                     title = TextOf(dialog);
                                     dialogOwner = GetWindow(dialog, GW_OWNER);
                                     offered = ItemText(dialog, kOlderNameBox);
                                     PickType(dialog, kExportTab);
                                     names.push_back(ItemText(dialog, kOlderNameBox));
                                     PickType(dialog, kExportUnicode);
                                     names.push_back(ItemText(dialog, kOlderNameBox));
                                     PickType(dialog, kExportCsv);
                                     names.push_back(ItemText(dialog, kOlderNameBox));
                                     rename(dialog, L"my.report.final", kExportTab);
                                     rename(dialog, L"noext", kExportUnicode);
                                     SetDlgItemTextW(dialog, kOlderNameBox, L"");
                                     PickType(dialog, kExportCsv);
                                     names.push_back(ItemText(dialog, kOlderNameBox));
                                     Press(dialog, IDCANCEL);
                                 });
    EXPECT_FALSE(chosen);
    EXPECT_EQ(choice.path, L"untouched");
    EXPECT_EQ(title, L"出力先");
    EXPECT_EQ(dialogOwner, owner.get());
    EXPECT_EQ(offered, L"photos.csv");
    const std::vector<std::wstring> expected = {L"photos.txt", L"photos.txt", L"photos.csv", L"my.report.txt",
                                                L"noext.txt", L""};
    EXPECT_EQ(names, expected);
    // The first dialog of the program starts from My Documents, which it now remembers.
    EXPECT_EQ(GetExportFolder(), FindDefaultExportFolder(owner.get()));
}

TEST(OlderSaveDialog, OkGivesThePathAndTypeAndTheFolderIsRemembered) {
    OwnerWindow owner;
    TempFolder first, second;
    SetExportFolder(first.path());

    // A bare name lands in the folder the dialog opened in: the remembered one.
    ExportChoice choice;
    bool chosen = WithUser([&] { return ChooseExportFile(owner.get(), L"C:\\data\\photos", 0x502, choice); },
                           [&](HWND dialog) {
                               SetDlgItemTextW(dialog, kOlderNameBox, L"bare");
                               PickType(dialog, kExportTab);
                               Press(dialog, IDOK);
                           });
    ASSERT_TRUE(chosen);
    EXPECT_EQ(choice.path, first / L"bare.txt");
    EXPECT_EQ(choice.kind, kExportTab);
    EXPECT_EQ(GetExportFolder(), first.path());

    // A full path elsewhere moves the remembered folder there.
    chosen = WithUser([&] { return ChooseExportFile(owner.get(), L"C:\\data\\photos", 0x502, choice); },
                      [&](HWND dialog) {
                          PickType(dialog, kExportUnicode);
                          SetDlgItemTextW(dialog, kOlderNameBox, (second / L"wide.txt").c_str());
                          Press(dialog, IDOK);
                      });
    ASSERT_TRUE(chosen);
    EXPECT_EQ(choice.path, second / L"wide.txt");
    EXPECT_EQ(choice.kind, kExportUnicode);
    EXPECT_EQ(GetExportFolder(), second.path());
}

TEST(ItemSaveDialog, OffersTheNameAndTypesAndGivesTheChoiceWithoutTouchingTheFolder) {
    ComScope com;
    OwnerWindow owner;
    TempFolder folder;
    SetExportFolder(L"C:\\remembered");
    std::wstring offered, firstType;
    int typeCount = 0;
    ExportChoice choice;
    bool chosen = WithUser([&] { return ChooseExportFile(owner.get(), L"C:\\data\\photos\\", 0x601, choice); },
                           [&](HWND dialog) {
                               offered = ItemText(dialog, kItemDialogNameBox);
                               HWND combo = GetDlgItem(dialog, kTypeCombo);
                               typeCount = static_cast<int>(SendMessageW(combo, CB_GETCOUNT, 0, 0));
                               wchar_t text[256] = {};
                               SendMessageW(combo, CB_GETLBTEXT, 0, reinterpret_cast<LPARAM>(text));
                               firstType = text;
                               Press(dialog, IDCANCEL);
                           });
    EXPECT_FALSE(chosen);
    EXPECT_EQ(offered, L"photos");
    EXPECT_EQ(typeCount, 3);
    EXPECT_EQ(firstType, L"CSV(カンマ区切り)(*.csv)");

    chosen = WithUser([&] { return ChooseExportFile(owner.get(), L"C:\\data\\photos\\", 0x601, choice); },
                      [&](HWND dialog) {
                          PickType(dialog, kExportTab);
                          SetDlgItemTextW(dialog, kItemDialogNameBox, (folder / L"tabbed.txt").c_str());
                          Press(dialog, IDOK);
                      });
    ASSERT_TRUE(chosen);
    EXPECT_EQ(choice.path, folder / L"tabbed.txt");
    EXPECT_EQ(choice.kind, kExportTab);
    EXPECT_EQ(GetExportFolder(), L"C:\\remembered");
}

namespace {

std::vector<std::wstring> g_messages;
int CaptureMessage(HWND, const std::wstring& text, UINT) {
    g_messages.push_back(text);
    return IDOK;
}

}  // namespace

TEST(ExportThroughDialog, WritesTheChosenFileInTheChosenType) {
    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_LISTVIEW_CLASSES};
    InitCommonControlsEx(&controls);
    OwnerWindow owner;
    HWND list = CreateWindowExW(0, WC_LISTVIEWW, L"", WS_CHILD | LVS_REPORT, 0, 0, 600, 400, owner.get(), nullptr,
                                GetModuleHandleW(nullptr), nullptr);
    ASSERT_NE(list, nullptr);
    for (int column = 0; column < 4; ++column) {
        LVCOLUMNW info{};
        info.mask = LVCF_WIDTH;
        info.cx = 100;
        SendMessageW(list, LVM_INSERTCOLUMNW, column, reinterpret_cast<LPARAM>(&info));
    }
    SnapshotEntry record;
    record.name = L"a,b";
    record.size = 2048;
    LVITEMW item{};
    item.mask = LVIF_TEXT | LVIF_PARAM;
    item.pszText = record.name.data();
    item.lParam = reinterpret_cast<LPARAM>(static_cast<RowEntry*>(&record));
    ASSERT_EQ(SendMessageW(list, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item)), 0);
    const std::pair<int, const wchar_t*> cells[] = {{2, L"100.0"}, {3, L"2010/03/07 09:05:00"}};
    for (auto [column, text] : cells) {
        LVITEMW cell{};
        cell.iSubItem = column;
        cell.pszText = const_cast<wchar_t*>(text);
        SendMessageW(list, LVM_SETITEMTEXTW, 0, reinterpret_cast<LPARAM>(&cell));
    }

    TempFolder folder;
    SetExportFolder(folder.path());
    ExportRequest request;
    request.owner = owner.get();
    request.list = list;
    request.dateColumn = 3;
    request.unit = kUnitKB;
    request.comma = true;
    request.targetPath = L"C:\\data\\listing";
    request.osVersion = 0x502;
    request.showMessage = CaptureMessage;
    g_messages.clear();

    WithUser(
        [&] {
            ExportListing(request);
            return true;
        },
        [&](HWND dialog) {
            PickType(dialog, kExportTab);
            Press(dialog, IDOK);
        });
    ASSERT_EQ(g_messages, std::vector<std::wstring>{L"エキスポートが完了しました."});
    HANDLE file = CreateFileW((folder / L"listing.txt").c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                              OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    char bytes[512];
    DWORD got = 0;
    ReadFile(file, bytes, sizeof bytes, &got, nullptr);
    CloseHandle(file);
    EXPECT_EQ(std::string(bytes, got), ExportHeaderBytes(kExportTab, kUnitKB) + "a,b\t2\t100.0\t2010/03/07 09:05:00\r\n");

    // A cancelled dialog writes nothing and says nothing.
    g_messages.clear();
    WithUser(
        [&] {
            ExportListing(request);
            return true;
        },
        [&](HWND dialog) { Press(dialog, IDCANCEL); });
    EXPECT_TRUE(g_messages.empty());
    EXPECT_EQ(GetFileAttributesW((folder / L"listing.csv").c_str()), INVALID_FILE_ATTRIBUTES);
}
