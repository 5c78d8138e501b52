// Exporting a real list view: the rows and texts it is read from, the order of all and of
// selected rows, the bytes of each kind in the file, and the boxes that tell the outcome.
#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>

#include <memory>
#include <string>
#include <vector>

#include "engine/entries.h"
#include "engine/error_report.h"
#include "state/message_box.h"
#include "export/export_file.h"
#include "export/export_lines.h"
#include "list/number_format.h"
#include "tests/test_support.h"

using namespace lurmo;
using lurmo::test::ReadFileBytes;
using lurmo::test::TempFolder;

namespace {

struct Shown {
    HWND owner;
    std::wstring text;
    UINT type;
};
std::vector<Shown> g_shown;

int CaptureMessage(HWND owner, const std::wstring& text, UINT type) {
    g_shown.push_back({owner, text, type});
    return IDOK;
}

std::string Utf16(const std::wstring& text) {
    return std::string(reinterpret_cast<const char*>(text.data()), text.size() * sizeof(wchar_t));
}

// A main window with the result list as the program lays it out: name, size, percent,
// bar graph and date columns; each item's lParam is its record.
class ExportListTest : public ::testing::Test {
protected:
    void SetUp() override {
        INITCOMMONCONTROLSEX controls{sizeof controls, ICC_LISTVIEW_CLASSES};
        InitCommonControlsEx(&controls);
        WNDCLASSW windowClass{};
        windowClass.lpfnWndProc = DefWindowProcW;
        windowClass.hInstance = GetModuleHandleW(nullptr);
        windowClass.lpszClassName = L"LurmoExportTestMain";
        RegisterClassW(&windowClass);
        owner_ = CreateWindowExW(0, L"LurmoExportTestMain", L"Lurmo", WS_OVERLAPPEDWINDOW, 0, 0, 800, 600, nullptr,
                                 nullptr, windowClass.hInstance, nullptr);
        ASSERT_NE(owner_, nullptr);
        list_ = CreateWindowExW(0, WC_LISTVIEWW, L"", WS_CHILD | WS_VISIBLE | LVS_REPORT | LVS_SHOWSELALWAYS, 0, 0,
                                800, 600, owner_, reinterpret_cast<HMENU>(1), windowClass.hInstance, nullptr);
        ASSERT_NE(list_, nullptr);
        const wchar_t* captions[] = {L"名前", L"サイズ(Byte)", L"パーセント", L"グラフ", L"更新日時"};
        for (int column = 0; column < 5; ++column) {
            LVCOLUMNW info{};
            info.mask = LVCF_TEXT | LVCF_WIDTH;
            info.cx = 120;
            info.pszText = const_cast<wchar_t*>(captions[column]);
            ASSERT_EQ(SendMessageW(list_, LVM_INSERTCOLUMNW, column, reinterpret_cast<LPARAM>(&info)), column);
        }
        g_shown.clear();
    }

    void TearDown() override {
        if (owner_) DestroyWindow(owner_);
    }

    // Inserts a row at index with its record and the texts of its columns.
    void AddRow(int index, const std::wstring& name, uint64_t size, const std::wstring& percent,
                const std::wstring& date, const std::wstring& graph = L"") {
        auto record = std::make_unique<SnapshotEntry>();
        record->name = name;
        record->size = size;
        LVITEMW item{};
        item.mask = LVIF_TEXT | LVIF_PARAM;
        item.iItem = index;
        item.pszText = const_cast<wchar_t*>(name.c_str());
        item.lParam = reinterpret_cast<LPARAM>(static_cast<RowEntry*>(record.get()));
        const int at = static_cast<int>(SendMessageW(list_, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item)));
        ASSERT_GE(at, 0);
        const std::wstring sizeText = std::to_wstring(size);
        SetCell(at, 1, sizeText);
        SetCell(at, 2, percent);
        SetCell(at, 3, graph);
        SetCell(at, 4, date);
        records_.push_back(std::move(record));
    }

    void SetCell(int index, int column, const std::wstring& text) {
        LVITEMW item{};
        item.iSubItem = column;
        item.pszText = const_cast<wchar_t*>(text.c_str());
        SendMessageW(list_, LVM_SETITEMTEXTW, index, reinterpret_cast<LPARAM>(&item));
    }

    void Select(int index) {
        LVITEMW item{};
        item.stateMask = LVIS_SELECTED;
        item.state = LVIS_SELECTED;
        SendMessageW(list_, LVM_SETITEMSTATE, index, reinterpret_cast<LPARAM>(&item));
    }

    ExportRequest Request(int unit = kUnitByte, bool comma = true, bool selectedOnly = false) const {
        ExportRequest request;
        request.owner = owner_;
        request.list = list_;
        request.selectedOnly = selectedOnly;
        request.dateColumn = 4;
        request.unit = unit;
        request.comma = comma;
        request.targetPath = L"C:\\data\\photos\\";
        request.showMessage = CaptureMessage;
        return request;
    }

    void ExpectCompleted() {
        ASSERT_EQ(g_shown.size(), 1u);
        EXPECT_EQ(g_shown[0].owner, owner_);
        EXPECT_EQ(g_shown[0].text, L"エキスポートが完了しました.");
        EXPECT_EQ(g_shown[0].type, static_cast<UINT>(MB_ICONINFORMATION));
        g_shown.clear();
    }

    HWND owner_ = nullptr;
    HWND list_ = nullptr;
    std::vector<std::unique_ptr<SnapshotEntry>> records_;
    TempFolder folder_;
};

const std::string kCsvByteHeader = ExportHeaderBytes(kExportCsv, kUnitByte);

}  // namespace

TEST_F(ExportListTest, AllRowsGoOutInDisplayOrderWithTheirCellTexts) {
    // Inserting at the top each time shows the rows in the reverse order they came in.
    AddRow(0, L"c", 3000, L"30.0", L"2010/03/09 09:05:00");
    AddRow(0, L"b.bin", 1536, L"15.3", L"2010/03/08 09:05:00");
    AddRow(0, L"a", 5504, L"54.7", L"2010/03/07 09:05:00");
    const std::wstring path = folder_ / L"all.csv";
    ASSERT_TRUE(WriteListing(Request(kUnitKB), path, kExportCsv));
    EXPECT_EQ(ReadFileBytes(path), ExportHeaderBytes(kExportCsv, kUnitKB) +
                                   "a,5,54.7,2010/03/07 09:05:00\r\n"
                                   "b.bin,1,15.3,2010/03/08 09:05:00\r\n"
                                   "c,2,30.0,2010/03/09 09:05:00\r\n");
    ExpectCompleted();
}

TEST_F(ExportListTest, SelectedRowsGoOutInListOrder) {
    for (int i = 0; i < 5; ++i) AddRow(i, L"row" + std::to_wstring(i), 100u * (i + 1), L"1.0", L"2010/03/07 09:05:00");
    Select(3);
    Select(1);
    const std::wstring path = folder_ / L"selected.csv";
    ASSERT_TRUE(WriteListing(Request(kUnitByte, true, true), path, kExportCsv));
    EXPECT_EQ(ReadFileBytes(path), kCsvByteHeader +
                                   "row1,200,1.0,2010/03/07 09:05:00\r\n"
                                   "row3,400,1.0,2010/03/07 09:05:00\r\n");
    ExpectCompleted();

    // With nothing selected the file holds the header only.
    LVITEMW none{};
    none.stateMask = LVIS_SELECTED;
    SendMessageW(list_, LVM_SETITEMSTATE, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(&none));
    ASSERT_TRUE(WriteListing(Request(kUnitByte, true, true), path, kExportCsv));
    EXPECT_EQ(ReadFileBytes(path), kCsvByteHeader);
}

TEST_F(ExportListTest, TabKindGroupsSizesWhenCommaIsOn) {
    AddRow(0, L"big", 1234567, L"100.0", L"2010/03/07 09:05:00");
    const std::wstring path = folder_ / L"sizes.txt";
    ASSERT_TRUE(WriteListing(Request(kUnitByte, true), path, kExportTab));
    EXPECT_EQ(ReadFileBytes(path), ExportHeaderBytes(kExportTab, kUnitByte) + "big\t1,234,567\t100.0\t2010/03/07 09:05:00\r\n");
    ASSERT_TRUE(WriteListing(Request(kUnitByte, false), path, kExportTab));
    EXPECT_EQ(ReadFileBytes(path), ExportHeaderBytes(kExportTab, kUnitByte) + "big\t1234567\t100.0\t2010/03/07 09:05:00\r\n");
    // CSV never groups.
    ASSERT_TRUE(WriteListing(Request(kUnitByte, true), path, kExportCsv));
    EXPECT_EQ(ReadFileBytes(path), kCsvByteHeader + "big,1234567,100.0,2010/03/07 09:05:00\r\n");
}

TEST_F(ExportListTest, UnicodeKindHasTheByteOrderMarkAndNoNulCharacter) {
    AddRow(0, L"名前.txt", 2048, L"66.6", L"2010/03/07 09:05:00");
    AddRow(1, L"x", 1024, L"33.3", L"2010/03/08 10:00:00");
    const std::wstring path = folder_ / L"unicode.txt";
    ASSERT_TRUE(WriteListing(Request(kUnitKB), path, kExportUnicode));
    const std::string bytes = ReadFileBytes(path);
    EXPECT_EQ(bytes, "\xff\xfe" + Utf16(L"名前\tサイズ(KB)\tパーセント\t更新日時\r\n"
                                        L"名前.txt\t2\t66.6\t2010/03/07 09:05:00\r\n"
                                        L"x\t1\t33.3\t2010/03/08 10:00:00\r\n"));
    ASSERT_EQ(bytes.size() % 2, 0u);
    for (size_t i = 2; i < bytes.size(); i += 2) {
        ASSERT_FALSE(bytes[i] == 0 && bytes[i + 1] == 0) << "NUL character at byte " << i;
    }
}

TEST_F(ExportListTest, CsvQuotesANameWithACommaAndLongNamesAreWrittenWhole) {
    std::wstring longName;
    for (int i = 0; i < 250; ++i) longName.push_back(i % 2 ? L'名' : L'前');
    AddRow(0, L"a,b.txt", 10, L"0.0", L"2010/03/07 09:05:00");
    AddRow(1, longName, 1234567890, L"100.0", L"2010/03/07 09:05:00");
    const std::wstring path = folder_ / L"names.csv";
    ASSERT_TRUE(WriteListing(Request(), path, kExportCsv));

    std::string longBytes;
    if (GetOEMCP() == 932) {
        for (int i = 0; i < 250; ++i) longBytes += i % 2 ? "\x96\xbc" : "\x91\x4f";
    } else {
        longBytes.assign(250, '?');
    }
    EXPECT_EQ(ReadFileBytes(path), kCsvByteHeader + "\"a,b.txt\",10,0.0,2010/03/07 09:05:00\r\n" + longBytes +
                                   ",1234567890,100.0,2010/03/07 09:05:00\r\n");

    // The tab kind leaves the comma alone; the Unicode kind keeps the long name too.
    ASSERT_TRUE(WriteListing(Request(), path, kExportUnicode));
    const std::string unicode = ReadFileBytes(path);
    EXPECT_NE(unicode.find(Utf16(L"\r\na,b.txt\t10\t")), std::string::npos);
    EXPECT_NE(unicode.find(Utf16(L"\r\n" + longName + L"\t1,234,567,890\t100.0\t2010/03/07 09:05:00\r\n")),
              std::string::npos);
}

TEST_F(ExportListTest, DateComesFromTheGivenColumnAndLongCellTextsAreCut) {
    AddRow(0, L"n", 1, L"100.00", L"2010/03/07 09:05:00.999", L"2011/01/01 00:00:00");
    const std::wstring path = folder_ / L"columns.csv";
    ExportRequest request = Request();
    ASSERT_TRUE(WriteListing(request, path, kExportCsv));
    EXPECT_EQ(ReadFileBytes(path), kCsvByteHeader + "n,1,100.0,2010/03/07 09:05:00\r\n");
    // Without the bar graph column the date is the fourth column.
    request.dateColumn = 3;
    ASSERT_TRUE(WriteListing(request, path, kExportCsv));
    EXPECT_EQ(ReadFileBytes(path), kCsvByteHeader + "n,1,100.0,2011/01/01 00:00:00\r\n");
}

TEST_F(ExportListTest, ManyRowsAndAnEarlierLongerFileLeaveExactlyTheListing) {
    const std::wstring path = folder_ / L"many.csv";
    lurmo::test::WriteFileOfSize(path, 1 << 20);
    std::string expected = kCsvByteHeader;
    for (int i = 0; i < 3000; ++i) {
        const std::wstring name = L"file-with-a-fairly-long-name-" + std::to_wstring(i);
        AddRow(i, name, static_cast<uint64_t>(i), L"0.0", L"2010/03/07 09:05:00");
        expected += std::string(name.begin(), name.end()) + "," + std::to_string(i) + ",0.0,2010/03/07 09:05:00\r\n";
    }
    ASSERT_TRUE(WriteListing(Request(), path, kExportCsv));
    EXPECT_EQ(ReadFileBytes(path), expected);
}

TEST_F(ExportListTest, AFileThatCannotBeCreatedIsReported) {
    AddRow(0, L"a", 1, L"100.0", L"2010/03/07 09:05:00");
    const std::wstring path = folder_ / L"no such folder\\out.csv";
    EXPECT_FALSE(WriteListing(Request(), path, kExportCsv));
    ASSERT_EQ(g_shown.size(), 1u);
    EXPECT_EQ(g_shown[0].owner, owner_);
    EXPECT_EQ(g_shown[0].text,
              L"エラー：CreateFile() (" + lurmo::SystemErrorText(ERROR_PATH_NOT_FOUND) + L") : " + path);
    EXPECT_EQ(g_shown[0].type, static_cast<UINT>(MB_ICONERROR));
    EXPECT_EQ(GetFileAttributesW(path.c_str()), INVALID_FILE_ATTRIBUTES);
}

TEST_F(ExportListTest, AFileThatCannotBeWrittenIsReported) {
    AddRow(0, L"a", 1, L"100.0", L"2010/03/07 09:05:00");
    const std::wstring path = folder_ / L"readonly.csv";
    lurmo::test::WriteFileOfSize(path, 0);
    HANDLE readOnly = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(readOnly, INVALID_HANDLE_VALUE);
    EXPECT_FALSE(WriteListingTo(Request(), readOnly, kExportCsv));
    CloseHandle(readOnly);
    ASSERT_EQ(g_shown.size(), 1u);
    EXPECT_EQ(g_shown[0].owner, owner_);
    EXPECT_EQ(g_shown[0].text, L"エラー：WriteFile()");
    EXPECT_EQ(g_shown[0].type, static_cast<UINT>(MB_ICONERROR));

    // The same handle opened for writing takes the whole listing.
    g_shown.clear();
    HANDLE writable = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(writable, INVALID_HANDLE_VALUE);
    EXPECT_TRUE(WriteListingTo(Request(), writable, kExportCsv));
    CloseHandle(writable);
    EXPECT_TRUE(g_shown.empty());
    EXPECT_EQ(ReadFileBytes(path), kCsvByteHeader + "a,1,100.0,2010/03/07 09:05:00\r\n");
}

namespace {

struct CaughtBox {
    std::wstring caption;
    std::wstring text;
    HWND owner = nullptr;
    int count = 0;
};
CaughtBox g_box;
HHOOK g_hook = nullptr;

BOOL CALLBACK FindBoxText(HWND child, LPARAM) {
    wchar_t className[32] = {}, text[256] = {};
    GetClassNameW(child, className, 32);
    GetWindowTextW(child, text, 256);
    if (lstrcmpiW(className, L"Static") == 0 && text[0]) {
        g_box.text = text;
        return FALSE;
    }
    return TRUE;
}

// Reads each message box as it comes up and answers it.
LRESULT CALLBACK CatchBox(int code, WPARAM wParam, LPARAM lParam) {
    if (code == HCBT_ACTIVATE) {
        HWND box = reinterpret_cast<HWND>(wParam);
        wchar_t className[32] = {}, caption[256] = {};
        GetClassNameW(box, className, 32);
        if (lstrcmpW(className, L"#32770") == 0) {
            GetWindowTextW(box, caption, 256);
            g_box.caption = caption;
            g_box.owner = GetWindow(box, GW_OWNER);
            EnumChildWindows(box, FindBoxText, 0);
            ++g_box.count;
            PostMessageW(box, WM_COMMAND, IDOK, 0);
        }
    }
    return CallNextHookEx(g_hook, code, wParam, lParam);
}

}  // namespace

TEST_F(ExportListTest, TheProgramsMessageBoxesAreRealAndOwnedByTheMainWindow) {
    AddRow(0, L"a", 1, L"100.0", L"2010/03/07 09:05:00");
    g_box = {};
    g_hook = SetWindowsHookExW(WH_CBT, CatchBox, nullptr, GetCurrentThreadId());
    ASSERT_NE(g_hook, nullptr);
    ExportRequest request = Request();
    request.showMessage = ShowMessageOwnedBy;
    EXPECT_FALSE(WriteListing(request, folder_ / L"missing\\out.csv", kExportCsv));
    const CaughtBox failure = g_box;
    g_box = {};
    EXPECT_TRUE(WriteListing(request, folder_ / L"out.csv", kExportCsv));
    const CaughtBox success = g_box;
    UnhookWindowsHookEx(g_hook);

    EXPECT_EQ(failure.count, 1);
    EXPECT_EQ(failure.caption, L"Lurmo");
    EXPECT_EQ(failure.text.rfind(L"エラー：CreateFile() (", 0), 0u);
    EXPECT_EQ(failure.owner, owner_);
    EXPECT_EQ(success.count, 1);
    EXPECT_EQ(success.caption, L"Lurmo");
    EXPECT_EQ(success.text, L"エキスポートが完了しました.");
    EXPECT_EQ(success.owner, owner_);
}

// A full disk fails the export: the earlier file keeps every byte, and no temporary file
// is left beside it.
TEST_F(ExportListTest, AnExportOntoAFullDiskLeavesThePreviousFileAsItWas) {
    lurmo::test::SmallDisk disk;
    if (disk.path().empty()) GTEST_SKIP() << "no small file system mounted (tests/make_small_disk.sh)";
    for (int i = 0; i < 200; ++i) AddRow(i, L"row-" + std::to_wstring(i), 1, L"0.5", L"2010/03/07 09:05:00");
    const std::wstring path = disk / L"listing.csv";
    ASSERT_TRUE(WriteListing(Request(), path, kExportCsv));
    const std::string previous = ReadFileBytes(path);
    for (int i = 200; i < 400; ++i) AddRow(i, L"row-" + std::to_wstring(i), 1, L"0.5", L"2010/03/07 09:05:00");
    disk.LeaveFree(0);
    g_shown.clear();
    EXPECT_FALSE(WriteListing(Request(), path, kExportTab));
    EXPECT_EQ(ReadFileBytes(path), previous);
    ASSERT_EQ(g_shown.size(), 1u);
    EXPECT_EQ(g_shown[0].text,
              L"エラー：WriteFile() (" + lurmo::SystemErrorText(ERROR_DISK_FULL) + L") : " + path);
    WIN32_FIND_DATAW data;
    HANDLE find = FindFirstFileW((disk / L"lrm*").c_str(), &data);
    EXPECT_EQ(find, INVALID_HANDLE_VALUE) << "a temporary file was left behind";
    if (find != INVALID_HANDLE_VALUE) FindClose(find);
}
