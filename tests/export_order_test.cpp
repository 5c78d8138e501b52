// The console report and an export of all rows of the list, sorted alike, write the same
// bytes: the report orders its records as the list sorts its rows.
#include <gtest/gtest.h>

#include <windows.h>

#include <sstream>
#include <string>

#include "app/app_state.h"
#include "engine/accumulation.h"
#include "engine/size_rule.h"
#include "export/export_file.h"
#include "export/report.h"
#include "list/result_rows.h"
#include "list/sorting.h"
#include "tests/test_support.h"
#include "tests/ui_support.h"

using namespace lurmo;
using lurmo::test::ListWindow;
using lurmo::test::TempFolder;

namespace {

int IgnoreMessage(HWND, const std::wstring&, UINT) { return IDOK; }

std::string ReadBytes(const std::wstring& path) {
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return "<missing>";
    std::string bytes;
    char buffer[4096];
    DWORD got = 0;
    while (ReadFile(file, buffer, sizeof buffer, &got, nullptr) && got) bytes.append(buffer, got);
    CloseHandle(file);
    return bytes;
}

void SetDay(const std::wstring& path, WORD day) {
    SYSTEMTIME st{2010, 3, 0, day, 9, 5, 0, 0};
    FILETIME time;
    SystemTimeToFileTime(&st, &time);
    HANDLE item = CreateFileW(path.c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    ASSERT_NE(item, INVALID_HANDLE_VALUE);
    EXPECT_TRUE(SetFileTime(item, nullptr, nullptr, &time));
    CloseHandle(item);
}

// The list as a snapshot run with logical sizes leaves it: rows appended in the order
// the folder is read, percentages filled in, then the stored sort applied.
void MeasureIntoList(const std::wstring& folder, DWORD sortState) {
    RunParameters params;
    params.usedSize = false;
    ASSERT_TRUE(SetScanTarget(params, folder + L"\\"));
    ASSERT_TRUE(QueryClusterSize(params, (folder + L"\\").c_str()));
    RunSink sink;
    sink.snapshotRow = [](SnapshotEntry* entry) {
        g_app.grandTotal += entry->size;
        AppendSnapshotRow(entry);
    };
    MeasureChildren(params, true, sink);
    RefreshPercentages();
    g_app.settings.sort = sortState;
    ApplyStoredSort();
}

}  // namespace

TEST(ReportOrder, IsTheOrderOfTheListSortedAlike) {
    // Folders and files of equal size and time, and names that fold differently to lower
    // and to upper case ("_" lies between the two).
    TempFolder folder;
    folder.File(L"b\\x.bin", 100);
    folder.File(L"_a\\x.bin", 100);
    folder.File(L"B.txt", 100);
    folder.File(L"a.txt", 100);
    folder.File(L"_c.txt", 40);
    folder.Folder(L"C");
    folder.File(L"d.bin", 0);
    WORD day = 1;
    for (const wchar_t* name : {L"b", L"_a", L"B.txt", L"a.txt", L"_c.txt", L"C", L"d.bin"}) {
        SetDay(folder / name, day < 5 ? 1 : day);
        ++day;
    }
    TempFolder outputs;
    const wchar_t* keys[] = {L"name", L"size", L"time"};
    for (DWORD state = 0; state <= 5; ++state) {
        std::vector<std::wstring> args = {L"--size", L"logical", L"--format", L"tab", L"--sort", keys[state / 2]};
        if (state % 2) args.push_back(L"--descending");
        args.push_back(folder.path());
        std::ostringstream out;
        std::wostringstream err;
        ASSERT_EQ(RunReport(args, out, err), 0);

        ListWindow window(true);
        MeasureIntoList(folder.path(), state);
        ExportRequest request;
        request.owner = g_app.main;
        request.list = g_app.list;
        request.dateColumn = g_app.dateColumn;
        request.showMessage = IgnoreMessage;
        const std::wstring path = outputs / L"all.txt";
        ASSERT_TRUE(WriteListing(request, path, kExportTab));
        EXPECT_EQ(out.str(), ReadBytes(path)) << "sort state " << state;
    }
}
