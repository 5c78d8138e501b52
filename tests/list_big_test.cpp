// What keeps a big folder linear: rows found by name through the list's index, and the
// icons of files taken by type.
#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>
#include <objbase.h>
#include <shlobj.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "state/app_state.h"
#include "engine/handles.h"
#include "list/result_rows.h"
#include "list/sorting.h"
#include "list/type_icons.h"
#include "tests/test_support.h"
#include "tests/ui_support.h"

using namespace lurmo;
using namespace lurmo::test;

namespace {

// The list view's own search, looking at every row: what the index must always agree with.
int SearchedRow(const std::wstring& name) {
    LVFINDINFOW find{};
    find.flags = LVFI_STRING;
    find.psz = name.c_str();
    return static_cast<int>(SendMessageW(g_app.list, LVM_FINDITEMW, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(&find)));
}

void SetRowText(int row, const std::wstring& text) {
    LVITEMW item{};
    item.pszText = const_cast<wchar_t*>(text.c_str());
    SendMessageW(g_app.list, LVM_SETITEMTEXTW, row, reinterpret_cast<LPARAM>(&item));
}

}  // namespace

TEST(RowIndex, AFoundRowIsRightAfterSortRenameAndRemoval) {
    ListWindow window;
    AppendFileRow(NewFileEntry(L"c", 3));
    AppendFileRow(NewFileEntry(L"a", 1));
    AppendFileRow(NewFileEntry(L"b", 2));
    EXPECT_EQ(FindRowByName(L"A"), 1);
    g_app.settings.sort = 0;   // by name: a, b, c
    ApplyStoredSort();
    EXPECT_EQ(FindRowByName(L"a"), 0);
    EXPECT_EQ(FindRowByName(L"C"), 2);
    EXPECT_EQ(FindRowOfEntry(RowEntryAt(2)), 2);
    SetRowText(0, L"z");   // renamed in place
    EXPECT_EQ(FindRowByName(L"a"), -1);
    EXPECT_EQ(FindRowByName(L"Z"), 0);
    SendMessageW(g_app.list, LVM_DELETEITEM, 0, 0);
    EXPECT_EQ(FindRowByName(L"z"), -1);
    EXPECT_EQ(FindRowByName(L"b"), 0);
    EXPECT_EQ(FindRowByName(L"c"), 1);
    SendMessageW(g_app.list, LVM_DELETEALLITEMS, 0, 0);
    EXPECT_EQ(FindRowByName(L"b"), -1);
}

// Many rows changed in every way the program changes them, in random order, with every
// name checked against the list's own search after each burst: a stale row number shows
// as a mismatch.
TEST(RowIndex, AgreesWithTheListsOwnSearchThroughBurstsOfChanges) {
    ListWindow window;
    std::mt19937 random(7);
    int serial = 0;
    std::vector<std::wstring> names;
    auto append = [&] {
        const std::wstring name = L"Item-" + std::to_wstring(serial++);
        AppendFileRow(NewFileEntry(name, random() % 1000));
        names.push_back(name);
    };
    for (int i = 0; i < 400; ++i) append();
    for (int round = 0; round < 12; ++round) {
        for (int change = 0; change < 30; ++change) {
            const int count = static_cast<int>(SendMessageW(g_app.list, LVM_GETITEMCOUNT, 0, 0));
            const int row = static_cast<int>(random() % count);
            switch (random() % 5) {
                case 0: SendMessageW(g_app.list, LVM_DELETEITEM, row, 0); --g_app.rowCount; break;
                case 1: append(); break;
                case 2: {
                    const std::wstring name = L"renamed-" + std::to_wstring(serial++);
                    RowEntryAt(row)->name = name;
                    SetRowText(row, name);
                    names.push_back(name);
                    break;
                }
                case 3: {
                    // A run's rows go in among the others, where the list's order puts them.
                    RowBatch batch;
                    for (int i = 0; i < 6; ++i) {
                        const std::wstring name = L"Batch-" + std::to_wstring(serial++);
                        batch.Add(NewFileEntry(name, random() % 1000), false, RowShell{});
                        names.push_back(name);
                    }
                    batch.Flush();
                    break;
                }
                default: SortByColumn(random() % 2 ? 0 : 1); break;
            }
        }
        for (const std::wstring& name : names) {
            ASSERT_EQ(FindRowByName(name), SearchedRow(name)) << Narrow(name) << " in round " << round;
        }
        const int count = static_cast<int>(SendMessageW(g_app.list, LVM_GETITEMCOUNT, 0, 0));
        for (int row = 0; row < count; row += 37) ASSERT_EQ(FindRowOfEntry(RowEntryAt(row)), row);
    }
}

// A run's rows stand in the list's order as they come, so its end needs no sort of them
// all: rows that tie keep the order they came in, as the console report's stable sort
// leaves them, and a sort chosen meanwhile is the order later rows follow.
TEST(RowIndex, ARunsRowsStandInTheListsOrderAsTheyCome) {
    ListWindow window;
    g_app.settings.sort = 3;   // by size, largest first
    std::mt19937 random(11);
    std::vector<std::pair<std::wstring, uint64_t>> came;
    int serial = 0;
    auto addBatch = [&] {
        RowBatch batch;
        for (int i = 0; i < 40; ++i) {
            const std::wstring name = L"f" + std::to_wstring(10000 + random() % 90000) + L"-" + std::to_wstring(serial++);
            const uint64_t size = (random() % 4) * 100;   // many ties
            batch.Add(NewFileEntry(name, size), false, RowShell{});
            came.push_back({name, size});
        }
        batch.Flush();
    };
    for (int i = 0; i < 5; ++i) addBatch();
    auto expected = came;
    std::stable_sort(expected.begin(), expected.end(), [](const auto& a, const auto& b) { return a.second > b.second; });
    ASSERT_EQ(g_app.rowCount, static_cast<int>(expected.size()));
    for (int row = 0; row < g_app.rowCount; ++row) {
        ASSERT_EQ(RowEntryAt(row)->name, expected[row].first) << "row " << row;
        ASSERT_EQ(CellText(row, 0), expected[row].first) << "row " << row;
        ASSERT_EQ(FindRowByName(expected[row].first), row);
    }
    SortByColumn(0);   // by name
    for (int i = 0; i < 3; ++i) addBatch();
    for (int row = 1; row < g_app.rowCount; ++row) {
        ASSERT_LT(_wcsicmp(RowEntryAt(row - 1)->name.c_str(), RowEntryAt(row)->name.c_str()), 0) << "row " << row;
    }
    for (const auto& [name, size] : came) ASSERT_EQ(SearchedRow(name), FindRowByName(name)) << Narrow(name);
}

namespace {

// The target bound as the worker binds it.
com_ptr<IShellFolder> BindFolder(const std::wstring& path) {
    com_ptr<IShellFolder> desktop, folder;
    PIDLIST_ABSOLUTE item = ILCreateFromPathW(path.c_str());
    if (item && SUCCEEDED(SHGetDesktopFolder(desktop.put()))) {
        desktop->BindToObject(item, nullptr, IID_IShellFolder, folder.put_void());
    }
    ILFree(item);
    return folder;
}

int ImageOfRow(int row) {
    LVITEMW item{};
    item.mask = LVIF_IMAGE;
    item.iItem = row;
    SendMessageW(g_app.list, LVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&item));
    return item.iImage;
}

int IconByPath(const std::wstring& path) {
    SHFILEINFOW info{};
    SHGetFileInfoW(path.c_str(), 0, &info, sizeof(info), SHGFI_SYSICONINDEX | SHGFI_SMALLICON);
    return info.iIcon;
}

int IconByType(const std::wstring& name) {
    SHFILEINFOW info{};
    SHGetFileInfoW(name.c_str(), FILE_ATTRIBUTE_NORMAL, &info, sizeof(info),
                   SHGFI_USEFILEATTRIBUTES | SHGFI_SYSICONINDEX | SHGFI_SMALLICON);
    return info.iIcon;
}

}  // namespace

// A program with an icon of its own and a shortcut to it must not show the icon of
// their type, while ordinary files show what the shell shows for them by path.
TEST(TypeIcons, RowsShowTheIconsTheShellGivesEachFile) {
    wchar_t build[MAX_PATH];
    if (!GetEnvironmentVariableW(L"LURMO_BUILD", build, MAX_PATH)) GTEST_SKIP() << "LURMO_BUILD is not set";
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    TempFolder folder;
    folder.File(L"notes.txt", 10);
    folder.File(L"data.zq9", 0);
    folder.File(L"NOEXTENSION", 0);
    ASSERT_TRUE(CopyFileW((std::wstring(build) + L"\\lurmo.exe").c_str(), (folder / L"tool.exe").c_str(), FALSE));
    {
        com_ptr<IShellLinkW> link;
        com_ptr<IPersistFile> file;
        ASSERT_EQ(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW, link.put_void()), S_OK);
        link->SetPath((folder / L"tool.exe").c_str());
        ASSERT_EQ(link->QueryInterface(IID_IPersistFile, file.put_void()), S_OK);
        ASSERT_EQ(file->Save((folder / L"tool.lnk").c_str(), TRUE), S_OK);
    }
    // The program's icon is its own, or the test could not tell the two paths apart.
    ASSERT_NE(IconByPath(folder / L"tool.exe"), IconByType(L"x.exe"));

    ListWindow window;
    com_ptr<IShellFolder> shell = BindFolder(folder.path());
    ASSERT_TRUE(shell);
    TypeIcons types;
    const RowShell byType{shell.get(), nullptr, folder.path() + L"\\", &types};
    const std::vector<std::wstring> names = {L"notes.txt", L"data.zq9", L"NOEXTENSION", L"tool.exe", L"tool.lnk",
                                             L"other.txt"};
    folder.File(L"other.txt", 0);
    for (const std::wstring& name : names) ASSERT_TRUE(AppendFileRow(NewFileEntry(name, 0), byType));
    for (int row = 0; row < static_cast<int>(names.size()); ++row) {
        EXPECT_EQ(ImageOfRow(row), IconByPath(folder / names[row])) << Narrow(names[row]);
    }
    // Two files of one type cost one question; programs and shortcuts are asked each time.
    EXPECT_EQ(types.byExtension.count(L".txt"), 1u);
    EXPECT_EQ(types.byExtension.at(L".exe"), -1);
    EXPECT_EQ(types.byExtension.at(L".lnk"), -1);
    SendMessageW(g_app.list, LVM_DELETEALLITEMS, 0, 0);
    CoUninitialize();
}

TEST(TypeIcons, TheExtensionIsTheShells) {
    EXPECT_EQ(TypeExtension(L"archive.tar.GZ"), L".GZ");
    EXPECT_EQ(TypeExtension(L"README"), L"");
    EXPECT_TRUE(IconBelongsToEachFile(L".EXE"));
    EXPECT_TRUE(IconBelongsToEachFile(L".ico"));
    EXPECT_FALSE(IconBelongsToEachFile(L".txt"));
    EXPECT_FALSE(IconBelongsToEachFile(L""));
}
