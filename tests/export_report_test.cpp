// The console report on a generated tree: the size of each child in both modes, under both
// size rules and in each format; its order, its texts, its usage and its exit status.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "state/app_state.h"
#include "engine/accumulation.h"
#include "engine/entries.h"
#include "engine/error_report.h"
#include "engine/file_system.h"
#include "engine/size_rule.h"
#include "export/export_file.h"
#include "export/export_lines.h"
#include "export/ncdu_export.h"
#include "export/report.h"
#include "list/number_format.h"
#include "list/result_rows.h"
#include "list/sorting.h"
#include "tests/test_support.h"
#include "tests/ui_support.h"
#include "lurmo_version.h"

using namespace lurmo;
using lurmo::test::ListWindow;
using lurmo::test::MappedDrive;
using lurmo::test::TempFolder;

namespace {

struct ReportRun {
    int status = -1;
    std::string out;
    std::wstring err;
};

ReportRun RunWith(const std::vector<std::wstring>& args) {
    std::ostringstream out;
    std::wostringstream err;
    ReportRun run;
    run.status = RunReport(args, out, err);
    run.out = out.str();
    run.err = err.str();
    return run;
}

// One row of a listing split into its four fields.
using Fields = std::vector<std::wstring>;

std::wstring FromOem(const std::string& bytes) {
    if (bytes.empty()) return {};
    const int needed = MultiByteToWideChar(CP_OEMCP, 0, bytes.data(), static_cast<int>(bytes.size()), nullptr, 0);
    std::wstring text(static_cast<size_t>(needed), L'\0');
    MultiByteToWideChar(CP_OEMCP, 0, bytes.data(), static_cast<int>(bytes.size()), text.data(), needed);
    return text;
}

Fields SplitCsv(const std::wstring& line) {
    Fields fields(1);
    bool quoted = false;
    for (size_t i = 0; i < line.size(); ++i) {
        const wchar_t c = line[i];
        if (quoted) {
            if (c == L'"' && i + 1 < line.size() && line[i + 1] == L'"') {
                fields.back().push_back(L'"');
                ++i;
            } else if (c == L'"') {
                quoted = false;
            } else {
                fields.back().push_back(c);
            }
        } else if (c == L'"') {
            quoted = true;
        } else if (c == L',') {
            fields.emplace_back();
        } else {
            fields.back().push_back(c);
        }
    }
    return fields;
}

Fields SplitTabs(const std::wstring& line) {
    Fields fields(1);
    for (wchar_t c : line) {
        if (c == L'\t') fields.emplace_back();
        else fields.back().push_back(c);
    }
    return fields;
}

// Checks the preamble and header of a listing and returns its rows.
std::vector<Fields> ParseListing(const std::string& bytes, int kind, int unit) {
    std::vector<Fields> rows;
    const std::string head = ExportPreamble(kind) + ExportHeaderBytes(kind, unit);
    EXPECT_EQ(bytes.substr(0, head.size()), head);
    if (bytes.compare(0, head.size(), head) != 0) return rows;
    const std::string body = bytes.substr(head.size());
    std::wstring text;
    if (kind == kExportUnicode) {
        EXPECT_EQ(body.size() % 2, 0u);
        text.assign(reinterpret_cast<const wchar_t*>(body.data()), body.size() / 2);
    } else {
        text = FromOem(body);
    }
    size_t start = 0;
    while (start < text.size()) {
        const size_t end = text.find(L"\r\n", start);
        EXPECT_NE(end, std::wstring::npos) << "the last line has no CR LF";
        if (end == std::wstring::npos) break;
        const std::wstring line = text.substr(start, end - start);
        EXPECT_EQ(line.find(L'\0'), std::wstring::npos);
        rows.push_back(kind == kExportCsv ? SplitCsv(line) : SplitTabs(line));
        EXPECT_EQ(rows.back().size(), 4u) << "fields of a line";
        start = end + 2;
    }
    return rows;
}

uint64_t ParseCount(std::wstring text) {
    std::erase(text, L',');
    return text.empty() ? ~0ull : std::stoull(text);
}

void SetTimes(const std::wstring& path, int day) {
    SYSTEMTIME st{2010, 3, 0, static_cast<WORD>(day), 9, 5, 0, 0};
    FILETIME time;
    SystemTimeToFileTime(&st, &time);
    HANDLE item = CreateFileW(path.c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    ASSERT_NE(item, INVALID_HANDLE_VALUE);
    EXPECT_TRUE(SetFileTime(item, nullptr, nullptr, &time));
    CloseHandle(item);
}

std::wstring DateOf(const std::wstring& path) {
    WIN32_FIND_DATAW data;
    HANDLE find = FindFirstFileW(path.c_str(), &data);
    if (find == INVALID_HANDLE_VALUE) return L"<missing>";
    FindClose(find);
    return FormatDate(ToLocalFileTime(data.ftLastWriteTime));
}

// A folder whose children's sizes are known: files directly inside and folders with
// files at several depths, each file's logical size and its size in whole clusters.
class ReportTree : public ::testing::Test {
protected:
    struct Child {
        std::wstring name;
        uint64_t logical;
        uint64_t used;
    };

    void SetUp() override {
        DWORD sectors = 0, bytes = 0, freeClusters = 0, clusters = 0;
        ASSERT_TRUE(GetDiskFreeSpaceW((tree_.path() + L"\\").c_str(), &sectors, &bytes, &freeClusters, &clusters));
        cluster_ = sectors * bytes;
        EXPECT_EQ(cluster_, 4096u);
        AddFile(L"alpha\\one.bin", 1);
        AddFile(L"alpha\\three.bin", 4097);
        AddFile(L"alpha\\deep\\er\\two.bin", 5000);
        AddFile(L"alpha\\deep\\empty.bin", 0);
        AddFile(L"b.bin", 1536);
        tree_.Folder(L"charlie");
        AddFile(L"d,e.txt", 10);
        AddFile(L"Zed.bin", 0);
        AddFile(L"large.bin", 3ull << 30);
        int day = 1;
        for (const wchar_t* name : {L"Zed.bin", L"d,e.txt", L"charlie", L"large.bin", L"alpha", L"b.bin"}) {
            SetTimes(tree_ / name, day++);
        }
    }

    void AddFile(const std::wstring& relative, uint64_t size) {
        tree_.File(relative, size);
        const std::wstring child = relative.substr(0, relative.find(L'\\'));
        const uint64_t used = (size + cluster_ - 1) / cluster_ * cluster_;
        expected_[child].logical += size;
        expected_[child].used += used;
    }

    struct Sizes {
        uint64_t logical = 0;
        uint64_t used = 0;
    };

    TempFolder tree_;
    uint32_t cluster_ = 4096;
    std::map<std::wstring, Sizes> expected_{{L"charlie", {}}};
};

}  // namespace

TEST_F(ReportTree, ChildSizesAreTheSumsOfTheirFilesInEveryModeRuleAndFormat) {
    const std::pair<const wchar_t*, int> formats[] = {{L"csv", kExportCsv}, {L"tab", kExportTab}, {L"unicode", kExportUnicode}};
    for (const wchar_t* mode : {L"snapshot", L"tree"}) {
        for (const wchar_t* rule : {L"used", L"logical"}) {
            for (auto [format, kind] : formats) {
                SCOPED_TRACE(std::wstring(mode) + L" " + rule + L" " + format);
                const ReportRun run = RunWith({L"--mode", mode, L"--size", rule, L"--format", format, tree_.path()});
                ASSERT_EQ(run.status, 0) << run.out;
                EXPECT_EQ(run.err, L"");
                const std::vector<Fields> rows = ParseListing(run.out, kind, kUnitByte);
                ASSERT_EQ(rows.size(), expected_.size());
                uint64_t total = 0;
                for (const auto& [name, sizes] : expected_) total += rule == std::wstring(L"used") ? sizes.used : sizes.logical;
                for (const Fields& row : rows) {
                    ASSERT_EQ(row.size(), 4u);
                    auto it = expected_.find(row[0]);
                    ASSERT_NE(it, expected_.end()) << "unexpected row " << testing::PrintToString(row[0]);
                    const uint64_t size = rule == std::wstring(L"used") ? it->second.used : it->second.logical;
                    EXPECT_EQ(ParseCount(row[1]), size) << testing::PrintToString(row[0]);
                    EXPECT_EQ(row[1], FormatSize(size, kUnitByte, kind != kExportCsv));
                    EXPECT_EQ(row[2], FormatPercent(size, total));
                    EXPECT_EQ(row[3], DateOf(tree_ / row[0]));
                }
            }
        }
    }
}

TEST_F(ReportTree, RowsAreOrderedAsTheListSortsThem) {
    const auto names = [](const ReportRun& run) {
        std::wstring joined;
        for (const Fields& row : ParseListing(run.out, kExportTab, kUnitByte)) joined += row[0] + L"|";
        return joined;
    };
    // By name: folders first, then files, each ignoring case; descending is the reverse.
    EXPECT_EQ(names(RunWith({L"--format", L"tab", tree_.path()})), L"alpha|charlie|b.bin|d,e.txt|large.bin|Zed.bin|");
    EXPECT_EQ(names(RunWith({L"--format", L"tab", L"--descending", tree_.path()})),
              L"Zed.bin|large.bin|d,e.txt|b.bin|charlie|alpha|");
    // Times mix folders and files (equal keys: ReportOrder below).
    EXPECT_EQ(names(RunWith({L"--format=tab", L"--sort=time", tree_.path()})),
              L"Zed.bin|d,e.txt|charlie|large.bin|alpha|b.bin|");
}

TEST_F(ReportTree, UnitCommaAndQuotingFollowTheExport) {
    ReportRun run = RunWith({L"--unit", L"kb", L"--size", L"logical", L"--mode", L"tree", tree_.path()});
    ASSERT_EQ(run.status, 0);
    std::vector<Fields> rows = ParseListing(run.out, kExportCsv, kUnitKB);
    ASSERT_EQ(rows.size(), 6u);
    EXPECT_EQ(rows[0][0], L"alpha");
    EXPECT_EQ(rows[0][1], L"8");   // 9098 bytes
    EXPECT_EQ(rows[2][0], L"b.bin");   // behind the folders alpha and charlie
    EXPECT_EQ(rows[2][1], L"1");       // 1536 bytes
    EXPECT_EQ(rows[4][0], L"large.bin");
    EXPECT_EQ(rows[4][1], L"3145728");
    // The name with a comma is quoted in the bytes themselves.
    EXPECT_NE(run.out.find("\r\n\"d,e.txt\",0,"), std::string::npos);

    run = RunWith({L"--unit", L"mb", L"--format", L"tab", L"--size", L"logical", tree_.path()});
    EXPECT_NE(run.out.find("\r\nlarge.bin\t3,072\t"), std::string::npos);
    EXPECT_NE(run.out.find("\r\nd,e.txt\t0\t"), std::string::npos);
    run = RunWith({L"--unit", L"kb", L"--format", L"unicode", L"--no-comma", L"--size", L"logical", tree_.path()});
    const std::wstring line = L"\r\nlarge.bin\t3145728\t";
    EXPECT_NE(run.out.find(std::string(reinterpret_cast<const char*>(line.data()), line.size() * 2)), std::string::npos);
}

TEST(Report, AFolderWithNothingOrOnlyEmptyFilesHasNoPercent) {
    TempFolder empty;
    ReportRun run = RunWith({empty.path()});
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out, ExportHeaderBytes(kExportCsv, kUnitByte));

    empty.File(L"nothing.bin", 0);
    SetTimes(empty / L"nothing.bin", 7);
    const std::wstring date = DateOf(empty / L"nothing.bin");
    EXPECT_EQ(date.size(), 19u);
    run = RunWith({empty.path()});
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out, ExportHeaderBytes(kExportCsv, kUnitByte) + "nothing.bin,0,," + std::string(date.begin(), date.end()) +
                           "\r\n");
}

TEST(Report, AMissingFolderIsReportedWithExitStatusOne) {
    TempFolder base;
    const std::wstring missing = base / L"not here";
    ReportRun run = RunWith({missing});
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(run.err, L"指定されたフォルダは存在しません. : " + missing + L"\\\n");

    // A file is no folder either.
    base.File(L"file.bin", 3);
    run = RunWith({base / L"file.bin"});
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err, L"指定されたフォルダは存在しません. : " + (base / L"file.bin") + L"\\\n");
}

TEST(Report, AFolderThatCannotBeListedIsReportedWithExitStatusOne) {
    TempFolder base;
    base.File(L"unreadable\\a.bin", 10);
    static const EnumerationProbe refuse{[](const std::wstring& folder) {
        return folder.size() >= 11 && folder.compare(folder.size() - 11, 11, L"unreadable\\") == 0;
    }};
    const EnumerationProbe* previous = InstallEnumerationProbe(&refuse);
    const ReportRun run = RunWith({base / L"unreadable"});
    InstallEnumerationProbe(previous);
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(run.err, L"読み取りできませんでした. : " + (base / L"unreadable") + L"\\\n");
}

TEST(Report, FoldersThatCannotBeReadAreNamedAndEndWithStatusThree) {
    TempFolder base;
    base.File(L"a\\locked\\x.bin", 4000);
    base.File(L"a\\y.bin", 10);
    base.File(L"b\\locked\\z.bin", 50);
    base.File(L"c.bin", 3);
    static const EnumerationProbe refuse{[](const std::wstring& folder) {
        return folder.size() >= 6 && folder.compare(folder.size() - 6, 6, L"locked") == 0;
    }};
    const EnumerationProbe* previous = InstallEnumerationProbe(&refuse);
    const ReportRun run = RunWith({L"--size", L"logical", L"--sort", L"name", base.path()});
    InstallEnumerationProbe(previous);
    EXPECT_EQ(run.status, 3);
    // Each is named, as the user would write its path; the lines are written all the same.
    std::wstring first = L"読み取りできませんでした. : " + (base / L"a\\locked") + L"\n";
    std::wstring second = L"読み取りできませんでした. : " + (base / L"b\\locked") + L"\n";
    EXPECT_TRUE(run.err == first + second || run.err == second + first) << testing::PrintToString(run.err);
    EXPECT_NE(run.out.find("a,10,"), std::string::npos);
    EXPECT_NE(run.out.find("b,0,"), std::string::npos);
}

TEST(Report, AnEmptyDriveRootIsEmptyNotUnreadable) {
    // A volume root lists no "." and "..": an empty one has nothing to find at all.
    TempFolder empty;
    MappedDrive drive(empty.path());
    ASSERT_FALSE(drive.root().empty()) << "no drive letter could be mapped in the Wine prefix";
    const ReportRun run = RunWith({drive.root()});
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.err, L"");
    EXPECT_EQ(run.out, ExportHeaderBytes(kExportCsv, kUnitByte));
}

TEST(Report, ASwitchGivenAValueIsTakenForWhatItIs) {
    TempFolder folder;
    for (const std::wstring word : {L"--help=x", L"--comma=yes", L"--no-comma=", L"--descending=no", L"--progress=1"}) {
        const ReportRun run = RunWith({word, folder.path()});
        EXPECT_EQ(run.status, 2) << testing::PrintToString(word);
        EXPECT_EQ(run.out, "");
        const std::wstring name = word.substr(0, word.find(L'='));
        EXPECT_EQ(run.err.rfind(L"lurmo-report: " + name + L" takes no value: " + word + L"\n", 0), 0u)
            << testing::PrintToString(run.err);
    }
}

TEST(Report, UsageMistakesExitWithStatusTwo) {
    TempFolder folder;
    const std::vector<std::vector<std::wstring>> mistakes = {
        {},
        {L"--unit", L"tb", folder.path()},
        {L"--mode", L"fast", folder.path()},
        {L"--format", L"xml", folder.path()},
        {L"--sort", L"kind", folder.path()},
        {L"--size", L"huge", folder.path()},
        {L"--bogus", folder.path()},
        {folder.path(), folder.path()},
        {folder.path(), L"--unit"},
        {L"--output", L"", folder.path()},
        {L"--comma=yes", folder.path()},
        {L"--links", L"never", folder.path()},
        // The ncdu format is the whole tree, which snapshot mode does not keep.
        {L"--format", L"ncdu", L"--mode", L"snapshot", folder.path()},
        {L"--version=1", folder.path()},
    };
    for (const auto& args : mistakes) {
        const ReportRun run = RunWith(args);
        EXPECT_EQ(run.status, 2) << testing::PrintToString(args);
        EXPECT_EQ(run.out, "");
        EXPECT_NE(run.err.find(L"Usage: lurmo-report [options] FOLDER"), std::wstring::npos);
    }
    const ReportRun help = RunWith({L"--help"});
    EXPECT_EQ(help.status, 0);
    EXPECT_EQ(help.err, L"");
    EXPECT_EQ(help.out.rfind("Usage: lurmo-report [options] FOLDER\n", 0), 0u);
    EXPECT_NE(help.out.find("--sort name|size|time"), std::string::npos);
    EXPECT_NE(help.out.find("(default name"), std::string::npos);
    const ReportRun version = RunWith({L"--version"});
    EXPECT_EQ(version.status, 0);
    EXPECT_EQ(version.out, "lurmo-report " LURMO_VERSION_TEXT "\n");
}

TEST(Report, LinksAreFollowedOnceOrSkippedAsAsked) {
    const char* tree = std::getenv("LURMO_LINK_RULES");
    ASSERT_NE(tree, nullptr) << "the link tree fixture did not run";
    std::wstring target(tree, tree + strlen(tree));
    for (wchar_t& c : target) if (c == L'/') c = L'\\';
    target += L"\\T";
    // Wine lists the file links as plain files: flink, z_f and sub\zz_f count as such.
    const std::map<std::wstring, uint64_t> followed{{L"0_inner", 3000}, {L"a_out", 6000}, {L"file.bin", 4000},
                                                    {L"flink", 4000},   {L"link_in", 0},  {L"real", 8000},
                                                    {L"sub", 500},      {L"z_f", 500}};
    std::map<std::wstring, uint64_t> skipped = followed;
    skipped[L"0_inner"] = skipped[L"a_out"] = 0;
    for (const auto& [words, expected] : {std::pair{std::vector<std::wstring>{}, followed},
                                          std::pair{std::vector<std::wstring>{L"--links", L"follow"}, followed},
                                          std::pair{std::vector<std::wstring>{L"--links=skip"}, skipped}}) {
        for (const wchar_t* mode : {L"snapshot", L"tree"}) {
            std::vector<std::wstring> args{L"--size", L"logical", L"--mode", mode};
            args.insert(args.end(), words.begin(), words.end());
            args.push_back(target);
            const ReportRun run = RunWith(args);
            ASSERT_EQ(run.status, 0) << testing::PrintToString(args);
            std::map<std::wstring, uint64_t> sizes;
            for (const Fields& row : ParseListing(run.out, kExportCsv, kUnitByte)) sizes[row[0]] = ParseCount(row[1]);
            EXPECT_EQ(sizes, expected) << testing::PrintToString(args);
        }
    }
}

TEST(Report, OutputFileHoldsWhatStandardOutputWould) {
    TempFolder folder;
    folder.File(L"x\\a.bin", 100);
    folder.File(L"y.bin", 5000);
    const ReportRun toOut = RunWith({L"--format", L"unicode", folder.path()});
    ASSERT_EQ(toOut.status, 0);
    TempFolder outputs;
    const std::wstring path = outputs / L"listing.txt";
    lurmo::test::WriteFileOfSize(path, 100000);   // an earlier, longer file is replaced
    const ReportRun toFile = RunWith({L"--output", path, L"--format", L"unicode", folder.path()});
    ASSERT_EQ(toFile.status, 0);
    EXPECT_EQ(toFile.out, "");
    EXPECT_EQ(lurmo::test::ReadFileBytes(path), toOut.out);

    const ReportRun nowhere = RunWith({L"--output", outputs / L"missing\\listing.txt", folder.path()});
    EXPECT_EQ(nowhere.status, 1);
    EXPECT_EQ(nowhere.err, L"エラー：CreateFile() (" + SystemErrorText(ERROR_PATH_NOT_FOUND) + L") : " +
                               (outputs / L"missing\\listing.txt") + L"\n");
}

// Onto a full disk the report fails with status 1, naming the file and the reason, and
// the earlier file keeps every byte.
TEST(Report, AnOutputOntoAFullDiskLeavesThePreviousFileAsItWas) {
    lurmo::test::SmallDisk disk;
    if (disk.path().empty()) GTEST_SKIP() << "no small file system mounted (tests/make_small_disk.sh)";
    TempFolder folder;
    folder.File(L"a.bin", 100);
    const std::wstring path = disk / L"listing.csv";
    lurmo::test::WriteFileOfSize(path, 5000);
    const std::string previous = lurmo::test::ReadFileBytes(path);
    disk.LeaveFree(0);
    const ReportRun full = RunWith({L"--output", path, folder.path()});
    EXPECT_EQ(full.status, 1);
    EXPECT_EQ(full.err, L"エラー：WriteFile() (" + SystemErrorText(ERROR_DISK_FULL) + L") : " + path + L"\n");
    EXPECT_EQ(lurmo::test::ReadFileBytes(path), previous);
}

namespace {

int IgnoreMessage(HWND, const std::wstring&, UINT) { return IDOK; }

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
    int day = 1;
    for (const wchar_t* name : {L"b", L"_a", L"B.txt", L"a.txt", L"_c.txt", L"C", L"d.bin"}) {
        SetTimes(folder / name, day < 5 ? 1 : day);
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
        EXPECT_EQ(out.str(), lurmo::test::ReadFileBytes(path)) << "sort state " << state;
    }
}

TEST(ReportStandardText, ARedirectedStreamGetsUtf8) {
    HANDLE readEnd = nullptr, writeEnd = nullptr;
    ASSERT_TRUE(CreatePipe(&readEnd, &writeEnd, nullptr, 0));
    WriteStandardText(writeEnd, L"読み取りできませんでした. : C:\\Café\\\n");
    CloseHandle(writeEnd);
    std::string bytes;
    char buffer[256];
    DWORD got = 0;
    while (ReadFile(readEnd, buffer, sizeof buffer, &got, nullptr) && got) bytes.append(buffer, got);
    CloseHandle(readEnd);
    // The same text in UTF-8.
    EXPECT_EQ(bytes,
              "\xe8\xaa\xad\xe3\x81\xbf\xe5\x8f\x96\xe3\x82\x8a\xe3\x81\xa7\xe3\x81\x8d\xe3\x81\xbe\xe3\x81\x9b"
              "\xe3\x82\x93\xe3\x81\xa7\xe3\x81\x97\xe3\x81\x9f. : C:\\Caf\xc3\xa9\\\n");
}

namespace {

struct ChildRun {
    DWORD exitCode = 0;
    std::string out;
};

// Runs the built program with its standard output on a pipe and its standard error in
// errorFile (when one is named).
bool RunProgram(const std::wstring& commandLine, ChildRun& result, const std::wstring& errorFile = L"") {
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    HANDLE readEnd = nullptr, writeEnd = nullptr;
    if (!CreatePipe(&readEnd, &writeEnd, &inherit, 0)) return false;
    SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);
    HANDLE nul = errorFile.empty() ? CreateFileW(L"NUL", GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit,
                                                 OPEN_EXISTING, 0, nullptr)
                                   : CreateFileW(errorFile.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit,
                                                 CREATE_ALWAYS, 0, nullptr);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = nullptr;
    startup.hStdOutput = writeEnd;
    startup.hStdError = nul;
    PROCESS_INFORMATION process{};
    std::wstring line = commandLine;
    const BOOL started =
        CreateProcessW(nullptr, line.data(), nullptr, nullptr, TRUE, CREATE_NO_WINDOW, nullptr, nullptr, &startup, &process);
    CloseHandle(writeEnd);
    if (nul != INVALID_HANDLE_VALUE) CloseHandle(nul);
    if (!started) {
        CloseHandle(readEnd);
        return false;
    }
    char buffer[4096];
    DWORD got = 0;
    while (ReadFile(readEnd, buffer, sizeof buffer, &got, nullptr) && got) result.out.append(buffer, got);
    CloseHandle(readEnd);
    WaitForSingleObject(process.hProcess, 60000);
    GetExitCodeProcess(process.hProcess, &result.exitCode);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return true;
}

}  // namespace

TEST(ReportProgram, WritesTheBytesUntranslatedAndExitsWithItsStatus) {
    wchar_t build[MAX_PATH] = {};
    if (!GetEnvironmentVariableW(L"LURMO_BUILD", build, MAX_PATH)) GTEST_SKIP() << "LURMO_BUILD is not set";
    const std::wstring program = L"\"" + std::wstring(build) + L"\\lurmo-report.exe\"";

    TempFolder folder;
    folder.File(L"a.bin", 10);
    folder.File(L"sub\\b.bin", 20);
    const ReportRun inProcess = RunWith({L"--size", L"logical", folder.path()});
    ASSERT_EQ(inProcess.status, 0);

    ChildRun child;
    ASSERT_TRUE(RunProgram(program + L" --size logical \"" + folder.path() + L"\"", child));
    EXPECT_EQ(child.exitCode, 0u);
    EXPECT_EQ(child.out, inProcess.out);
    EXPECT_EQ(child.out.find("\r\r\n"), std::string::npos);

    ChildRun missing;
    ASSERT_TRUE(RunProgram(program + L" \"" + folder.path() + L"\\nothing\"", missing));
    EXPECT_EQ(missing.exitCode, 1u);
    EXPECT_EQ(missing.out, "");

    ChildRun usage;
    ASSERT_TRUE(RunProgram(program + L" --unit", usage));
    EXPECT_EQ(usage.exitCode, 2u);
    EXPECT_EQ(usage.out, "");

    ChildRun help;
    ASSERT_TRUE(RunProgram(program + L" --help", help));
    EXPECT_EQ(help.exitCode, 0u);
    EXPECT_EQ(help.out.rfind("Usage: lurmo-report", 0), 0u);
}

TEST(ReportProgram, ListsTheNamesTheHostGaveInEveryScript) {
    wchar_t build[MAX_PATH] = {};
    if (!GetEnvironmentVariableW(L"LURMO_BUILD", build, MAX_PATH)) GTEST_SKIP() << "LURMO_BUILD is not set";
    const std::wstring tree = lurmo::test::HostNamedTree();
    if (tree.empty()) GTEST_SKIP() << "LURMO_NAME_TREE is not set";

    ChildRun child;
    ASSERT_TRUE(RunProgram(L"\"" + std::wstring(build) + L"\\lurmo-report.exe\" --format unicode --size logical \"" +
                               tree + L"\"",
                           child));
    EXPECT_EQ(child.exitCode, 0u);
    std::map<std::wstring, uint64_t> listed;
    for (const Fields& row : ParseListing(child.out, kExportUnicode, kUnitByte)) listed[row[0]] = ParseCount(row[1]);
    EXPECT_EQ(listed, lurmo::test::HostNamedSizes());
}

namespace {

// 3 files in 3 folders, 60 bytes.
void MakeProgressTree(const TempFolder& folder) {
    folder.File(L"a.bin", 10);
    folder.File(L"sub\\b.bin", 20);
    folder.File(L"sub\\deeper\\c.bin", 30);
    folder.Folder(L"empty");
}

// The progress lines as written, each with its line end; fails on a carriage return.
std::vector<std::string> ProgressLines(const std::string& bytes) {
    EXPECT_EQ(bytes.find('\r'), std::string::npos) << "a file is no console";
    std::vector<std::string> lines;
    size_t start = 0;
    for (size_t end; (end = bytes.find('\n', start)) != std::string::npos; start = end + 1) {
        lines.push_back(bytes.substr(start, end + 1 - start));
    }
    EXPECT_EQ(start, bytes.size()) << "the last line has no line end";
    return lines;
}

// "ファイル 3 個  フォルダ 3 個  60 Bytes  " in UTF-8, followed by the time taken.
const std::string kFinalCounts =
    "\xe3\x83\x95\xe3\x82\xa1\xe3\x82\xa4\xe3\x83\xab 3 \xe5\x80\x8b  "
    "\xe3\x83\x95\xe3\x82\xa9\xe3\x83\xab\xe3\x83\x80 3 \xe5\x80\x8b  60 Bytes  ";

}  // namespace

TEST(ReportProgram, ProgressGoesToStandardErrorAndLeavesStandardOutputAsItIs) {
    wchar_t build[MAX_PATH] = {};
    if (!GetEnvironmentVariableW(L"LURMO_BUILD", build, MAX_PATH)) GTEST_SKIP() << "LURMO_BUILD is not set";
    const std::wstring program = L"\"" + std::wstring(build) + L"\\lurmo-report.exe\"";
    TempFolder folder;
    MakeProgressTree(folder);
    TempFolder outputs;
    const std::wstring quoted = L" \"" + folder.path() + L"\"";
    for (const std::wstring& output : {std::wstring(), L" --output \"" + (outputs / L"progress.csv") + L"\""}) {
        ChildRun plain, counted;
        ASSERT_TRUE(RunProgram(program + L" --size logical" + quoted, plain));
        ASSERT_TRUE(RunProgram(program + L" --progress --size logical" + output + quoted, counted, outputs / L"err.txt"));
        EXPECT_EQ(counted.exitCode, 0u);
        EXPECT_FALSE(plain.out.empty());
        EXPECT_EQ(output.empty() ? counted.out : lurmo::test::ReadFileBytes(outputs / L"progress.csv"), plain.out);
        const std::vector<std::string> lines = ProgressLines(lurmo::test::ReadFileBytes(outputs / L"err.txt"));
        ASSERT_FALSE(lines.empty());
        EXPECT_EQ(lines.back().rfind(kFinalCounts, 0), 0u) << lines.back();
    }
}

// Names reach the ncdu file as JSON strings in UTF-8: a quote, a backslash or a control
// character left raw would end the string or break the file; a lone surrogate (possible
// in a Windows name) has no UTF-8 form of its own.
TEST(ReportNcdu, NamesAreJsonStringsInUtf8) {
    EXPECT_EQ(QuoteJsonString(L"a\"b\\c"), "\"a\\\"b\\\\c\"");
    EXPECT_EQ(QuoteJsonString(L"tab\there\nline"), "\"tab\\u0009here\\u000aline\"");
    EXPECT_EQ(QuoteJsonString(L"\x5199\x771F"), "\"\xE5\x86\x99\xE7\x9C\x9F\"");
    EXPECT_EQ(QuoteJsonString(std::wstring(1, static_cast<wchar_t>(0xD800))), "\"\xEF\xBF\xBD\"");
}

// Folders nest as arrays led by their own entry of size 0; a file's dsize comes from
// the size rule and the compressed one from the file system.
TEST(ReportNcdu, TheTreeNestsFoldersAndAsksForEachFilesUsedSize) {
    TempFolder folder;
    folder.File(L"d\\e\\f.bin", 3);
    folder.File(L"d\\g.bin", 5000);
    folder.File(L"h.bin", 7);
    const ReportRun run = RunWith({L"--format", L"ncdu", L"--sort", L"size", folder.path()});
    ASSERT_EQ(run.status, 0) << testing::PrintToString(run.err);
    const size_t tree = run.out.find("},\n[");
    ASSERT_NE(tree, std::string::npos) << run.out;
    EXPECT_EQ(run.out.rfind("[1,2,{\"progname\":\"lurmo-report\",\"progver\":\"" LURMO_VERSION_TEXT "\"", 0), 0u);
    const std::string rest = run.out.substr(run.out.find(",\n", tree + 3));
    EXPECT_EQ(rest,
              ",\n{\"name\":\"h.bin\",\"asize\":7,\"dsize\":4096},\n"
              "[{\"name\":\"d\",\"asize\":0,\"dsize\":0},[{\"name\":\"e\",\"asize\":0,\"dsize\":0},"
              "{\"name\":\"f.bin\",\"asize\":3,\"dsize\":4096}],{\"name\":\"g.bin\",\"asize\":5000,\"dsize\":8192}]]]\n");
}
