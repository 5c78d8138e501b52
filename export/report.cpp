#include "export/report.h"

#include <process.h>

#include <algorithm>
#include <optional>
#include <string_view>
#include <vector>

#include "engine/accumulation.h"
#include "engine/error_report.h"
#include "engine/file_system.h"
#include "engine/handles.h"
#include "engine/row_order.h"
#include "engine/run_counters.h"
#include "engine/size_rule.h"
#include "export/export_lines.h"
#include "export/ncdu_export.h"
#include "export/replace_file.h"
#include "list/number_format.h"
#include "list/progress_text.h"
#include "lurmo_version.h"
#include "map/map_png.h"
#include "map/treemap.h"

namespace lurmo {

namespace {

constexpr int kExitIncomplete = 3;

constexpr char kUsage[] =
    "Usage: lurmo-report [options] FOLDER\n"
    "Measures every item directly inside FOLDER and writes the lines the list's export of\n"
    "all rows writes: the header, then one line per item.\n"
    "  --mode snapshot|tree      how the folder is measured (default snapshot)\n"
    "  --size used|logical       size on disk or file size (default used); --size WxH\n"
    "                            sets the size of the --treemap picture instead\n"
    "  --unit byte|kb|mb|gb      unit of the size column (default byte)\n"
    "  --comma, --no-comma       group the digits of the size by \",\" in the tab and\n"
    "                            Unicode formats (default --comma)\n"
    "  --sort name|size|time     order of the rows, as the list sorts them (default name:\n"
    "                            folders first, then by name ignoring case; items of\n"
    "                            equal size or time stay in the order they were read)\n"
    "  --descending              the reverse order (by name: files first, Z to A)\n"
    "  --format csv|tab|unicode|ncdu\n"
    "                            file type of the export (default csv); ncdu writes the\n"
    "                            whole tree in ncdu's JSON export format (asize the file\n"
    "                            size, dsize the size on disk), measured as --mode tree\n"
    "  --links follow|skip       follow links, counting what they reach outside FOLDER\n"
    "                            once (default follow), or count every link as 0\n"
    "  --output FILE             write to FILE instead of standard output\n"
    "  --progress                while measuring, write the files, folders and bytes\n"
    "                            measured so far and the time taken to standard error,\n"
    "                            at most four times a second (rewritten in place on a\n"
    "                            console, one line each time otherwise), and a last line\n"
    "                            with the final counts; for a volume's root also the share\n"
    "                            of its used space\n"
    "  --treemap FILE.png        draw the map of the folder into a PNG instead (with\n"
    "                            --mode tree every folder is divided down to its files)\n"
    "  --types                   write the table of file types (extension, bytes,\n"
    "                            share, files) instead of the rows\n"
    "  --help                    show this text\n"
    "  --version                 show the program's version\n"
    "Exit status: 0 written; 1 the folder cannot be measured or the output cannot be\n"
    "written; 2 bad usage; 3 written, but folders that could not be read (each named on\n"
    "standard error) are counted only as far as they were read.\n";

// The format beyond the export's three: the whole tree for ncdu and the tools that read
// its export.
constexpr int kFormatNcdu = kExportUnicode + 1;

struct ReportOptions {
    bool snapshotMode = true;
    bool modeGiven = false;
    bool usedSize = true;
    int unit = kUnitByte;
    bool comma = true;
    DWORD sortKey = 0;   // 0 name, 1 size, 2 time: the list's sort state is key * 2 + descending
    bool descending = false;
    int kind = kExportCsv;
    bool followLinks = true;
    std::wstring output;
    std::wstring treemap;   // the PNG to draw the map into, instead of the rows
    int mapWidth = 1024, mapHeight = 600;
    bool types = false;
    std::wstring folder;
    bool help = false;
    bool progress = false;
    bool version = false;
};

// The choice among names that value stands for, as its index; nothing when none.
std::optional<int> PickWord(std::wstring_view value, std::initializer_list<std::wstring_view> words) {
    int index = 0;
    for (std::wstring_view word : words) {
        if (value == word) return index;
        ++index;
    }
    return std::nullopt;
}

// "WxH" with both sides from 1 to 16384 pixels.
bool ParseMapSize(const std::wstring& value, int& width, int& height) {
    const size_t x = value.find_first_of(L"xX");
    if (x == std::wstring::npos || x == 0 || x + 1 >= value.size()) return false;
    const auto side = [](const std::wstring& digits, int& out) {
        if (digits.size() > 5 || digits.find_first_not_of(L"0123456789") != std::wstring::npos) return false;
        out = std::stoi(digits);
        return out >= 1 && out <= 16384;
    };
    int w = 0, h = 0;
    if (!side(value.substr(0, x), w) || !side(value.substr(x + 1), h)) return false;
    width = w;
    height = h;
    return true;
}

// Reads the words into options; on a mistake returns what was wrong.
std::optional<std::wstring> ParseArguments(const std::vector<std::wstring>& args, ReportOptions& options) {
    bool folderGiven = false;
    bool optionsEnded = false;
    for (size_t i = 0; i < args.size(); ++i) {
        std::wstring word = args[i];
        if (optionsEnded || word.empty() || word[0] != L'-' || word == L"-") {
            if (folderGiven) return L"more than one folder: " + word;
            options.folder = word;
            folderGiven = true;
            continue;
        }
        if (word == L"--") {
            optionsEnded = true;
            continue;
        }
        if (word == L"-h") {
            options.help = true;
            continue;
        }
        // The options that take a value accept "--name value" and "--name=value"; the
        // switches take none, and a value given to one is a mistake, not a new option.
        const size_t equals = word.find(L'=');
        const std::wstring name = word.substr(0, equals);
        if (name == L"--help" || name == L"--version" || name == L"--comma" || name == L"--no-comma" ||
            name == L"--descending" || name == L"--progress" || name == L"--types") {
            if (equals != std::wstring::npos) return name + L" takes no value: " + word;
            if (name == L"--help") options.help = true;
            else if (name == L"--version") options.version = true;
            else if (name == L"--types") options.types = true;
            else if (name == L"--descending") options.descending = true;
            else if (name == L"--progress") options.progress = true;
            else options.comma = name == L"--comma";
            continue;
        }
        std::wstring value;
        if (equals != std::wstring::npos) {
            value = word.substr(equals + 1);
        } else if (name == L"--mode" || name == L"--size" || name == L"--unit" || name == L"--sort" ||
                   name == L"--format" || name == L"--links" || name == L"--output" || name == L"--treemap") {
            if (i + 1 >= args.size()) return L"missing value for " + name;
            value = args[++i];
        } else {
            return L"unknown option: " + name;
        }

        std::optional<int> pick;
        if (name == L"--mode") {
            if ((pick = PickWord(value, {L"snapshot", L"tree"}))) options.snapshotMode = *pick == 0;
            options.modeGiven = true;
        } else if (name == L"--size") {
            if ((pick = PickWord(value, {L"used", L"logical"}))) {
                options.usedSize = *pick == 0;
            } else if (ParseMapSize(value, options.mapWidth, options.mapHeight)) {
                pick = 0;
            }
        } else if (name == L"--unit") {
            if ((pick = PickWord(value, {L"byte", L"kb", L"mb", L"gb"}))) options.unit = *pick;
        } else if (name == L"--sort") {
            if ((pick = PickWord(value, {L"name", L"size", L"time"}))) options.sortKey = static_cast<DWORD>(*pick);
        } else if (name == L"--format") {
            if ((pick = PickWord(value, {L"csv", L"tab", L"unicode", L"ncdu"}))) options.kind = kExportCsv + *pick;
        } else if (name == L"--links") {
            if ((pick = PickWord(value, {L"follow", L"skip"}))) options.followLinks = *pick == 0;
        } else if (name == L"--treemap") {
            if (!value.empty()) pick = 0;
            options.treemap = value;
        } else if (name == L"--output") {
            if (!value.empty()) pick = 0;
            options.output = value;
        } else {
            return L"unknown option: " + name;
        }
        if (!pick) return L"bad value for " + name + L": " + value;
    }
    if (!options.help && !options.version && !folderGiven) return std::wstring(L"no folder given");
    if (options.kind == kFormatNcdu) {
        // The ncdu format is the whole tree, which snapshot mode does not keep.
        if (options.modeGiven && options.snapshotMode) {
            return std::wstring(L"--format ncdu writes the whole tree and cannot be used with --mode snapshot");
        }
        options.snapshotMode = false;
    }
    return std::nullopt;
}

// The records of one run, released by the layout of its mode.
struct RowRecords {
    bool snapshotMode = true;
    std::vector<RowEntry*> rows;
    RowRecords() = default;
    RowRecords(const RowRecords&) = delete;
    RowRecords& operator=(const RowRecords&) = delete;
    ~RowRecords() {
        for (RowEntry* row : rows) ReleaseRowEntry(row, snapshotMode);
    }
};

// Stable on the order the folder was read in: the list sorts the rows of a run in the
// order they were appended, and Wine's list view sorts stably (its DPA_Sort is a merge
// sort), so rows with equal keys come out of both alike.
void SortRows(std::vector<RowEntry*>& rows, DWORD sortState) {
    std::stable_sort(rows.begin(), rows.end(),
                     [sortState](const RowEntry* a, const RowEntry* b) { return CompareRows(sortState, a, b) < 0; });
}

std::string BuildListingBytes(const std::vector<RowEntry*>& rows, uint64_t total, const ReportOptions& options) {
    std::string bytes = ExportPreamble(options.kind) + ExportHeaderBytes(options.kind, options.unit);
    for (const RowEntry* entry : rows) {
        const std::wstring percent = total != 0 ? FormatPercent(entry->size, total) : std::wstring();
        const std::wstring time = FormatDate(entry->time);
        bytes += ExportRowBytes(options.kind, {entry->name, entry->size, percent, time}, options.unit, options.comma);
    }
    return bytes;
}

MapSource SourceOf(const RowRecords& records) {
    MapSource source;
    source.snapshot = records.snapshotMode;
    source.rows.assign(records.rows.begin(), records.rows.end());
    return source;
}

std::string BuildTypesBytes(const RowRecords& records, const ReportOptions& options) {
    const ExtensionTable table = CountExtensions(SourceOf(records));
    std::string bytes = ExportPreamble(options.kind) + ExportTypesHeaderBytes(options.kind, options.unit);
    for (const ExtensionStat& stat : table.rows) {
        const std::wstring name = stat.extension.empty() ? std::wstring(L"(なし)") : L"." + stat.extension;
        const std::wstring percent = table.bytes != 0 ? FormatPercent(stat.bytes, table.bytes) : std::wstring();
        const std::wstring files = std::to_wstring(stat.files);
        bytes += ExportRowBytes(options.kind, {name, stat.bytes, percent, files}, options.unit, options.comma);
    }
    return bytes;
}

int WriteTreemap(const RowRecords& records, const ReportOptions& options, std::wostream& err) {
    const MapSource source = SourceOf(records);
    const ExtensionTable types = CountExtensions(source);
    std::vector<uint32_t> pixels(static_cast<size_t>(options.mapWidth) * options.mapHeight);
    DrawMap(source, types, options.mapWidth, options.mapHeight, pixels.data());
    switch (WriteMapPng(options.treemap, pixels.data(), options.mapWidth, options.mapHeight)) {
        case PngResult::kWritten: return 0;
        case PngResult::kNoCodec: err << L"PNG を書き出せません: この環境には PNG の画像コーデックがありません.\n"; return 1;
        case PngResult::kWriteFailed: err << L"エラー：PNG を書き込めませんでした. : " << options.treemap << L'\n'; return 1;
    }
    return 1;
}

// The engine's failure texts go to the report's error stream while it runs.
thread_local std::wostream* t_errors = nullptr;

void ReportToErrorStream(const std::wstring& text) {
    if (t_errors) *t_errors << text << L'\n';
}

struct ErrorStreamScope {
    ErrorReporter previous;
    std::wostream* previousStream;
    explicit ErrorStreamScope(std::wostream& err)
        : previous(SetErrorReporter(ReportToErrorStream)), previousStream(std::exchange(t_errors, &err)) {}
    ~ErrorStreamScope() {
        t_errors = previousStream;
        SetErrorReporter(previous);
    }
    ErrorStreamScope(const ErrorStreamScope&) = delete;
    ErrorStreamScope& operator=(const ErrorStreamScope&) = delete;
};

// The folder as the messages name it: absolute, with its trailing backslash.
std::wstring MakeFolderPath(const std::wstring& folder) {
    const DWORD needed = GetFullPathNameW(folder.c_str(), 0, nullptr, nullptr);
    std::wstring full;
    if (needed > 0) {
        full.resize(needed);
        const DWORD length = GetFullPathNameW(folder.c_str(), needed, full.data(), nullptr);
        full.resize(length < needed ? length : 0);
    }
    if (full.empty()) full = folder;
    if (!full.empty() && full.back() != L'\\') full.push_back(L'\\');
    return full;
}

bool IsExistingFolder(const std::wstring& path) {
    const std::wstring extended = MakeExtendedPath(path);
    const DWORD attributes = GetFileAttributesW(extended.empty() ? path.c_str() : extended.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

// Writes the counts of a run to a handle while it measures, from a thread of its own
// that wakes four times a second, and the final counts once it is over. A console
// gets one line rewritten in place; anything else (a file, a pipe) a line each time.
class ProgressReporter {
public:
    ProgressReporter(HANDLE output, const RunCounters& counters, const ReportOptions& options,
                     const std::wstring& folder)
        : output_(output), counters_(counters), unit_(options.unit), comma_(options.comma) {
        DWORD mode = 0;
        console_ = GetConsoleMode(output_, &mode) != 0;
        volume_ = ReadVolumeUsedSpace(folder, used_);
        start_ = GetTickCount();
        stop_.reset(CreateEventW(nullptr, TRUE, FALSE, nullptr));
        if (!stop_) return;
        const uintptr_t thread = _beginthreadex(nullptr, 0, WriteWhileMeasuring, this, 0, nullptr);
        thread_.reset(reinterpret_cast<HANDLE>(thread));
    }
    ~ProgressReporter() { StopThread(); }
    ProgressReporter(const ProgressReporter&) = delete;
    ProgressReporter& operator=(const ProgressReporter&) = delete;

    void Finish() {
        StopThread();
        Write(true);
    }

private:
    static unsigned __stdcall WriteWhileMeasuring(void* argument) {
        auto* self = static_cast<ProgressReporter*>(argument);
        while (WaitForSingleObject(self->stop_.get(), kInterval) == WAIT_TIMEOUT) self->Write(false);
        return 0;
    }

    void StopThread() {
        if (!thread_) return;
        SetEvent(stop_.get());
        WaitForSingleObject(thread_.get(), INFINITE);
        thread_.reset();
    }

    void Write(bool last) {
        const RunCounts counts = SumRunCounters(counters_);
        const int share = volume_ ? ShareOfUsedSpace(counts.bytes, used_, last) : -1;
        std::wstring text = FormatRunProgress(counts, GetTickCount() - start_, unit_, comma_, share);
        if (console_) {
            // Blanks over what is left of a longer line before.
            const size_t length = text.size();
            if (length < shown_) text.append(shown_ - length, L' ');
            shown_ = length;
            text.insert(0, 1, L'\r');
        }
        if (last || !console_) text.push_back(L'\n');
        WriteStandardText(output_, text);
    }

    static constexpr DWORD kInterval = 250;
    HANDLE output_;
    const RunCounters& counters_;
    int unit_;
    bool comma_;
    bool console_ = false;
    bool volume_ = false;
    uint64_t used_ = 0;
    DWORD start_ = 0;
    size_t shown_ = 0;
    unique_handle stop_;
    unique_handle thread_;
};

// A path as the user writes it, without the extended-length prefix the engine reads by.
std::wstring UserPath(const std::wstring& extended) {
    if (extended.compare(0, 8, L"\\\\?\\UNC\\") == 0) return L"\\" + extended.substr(7);
    if (extended.compare(0, 4, L"\\\\?\\") == 0) return extended.substr(4);
    return extended;
}

// Measures the folder's children into records; false (reported) when it cannot be done.
// The folders that could not be read whole are named on the error stream and counted.
bool MeasureFolder(const ReportOptions& options, RunParameters& params, RowRecords& records, uint64_t& total,
                   size_t& unreadable,
                   std::wostream& err) {
    const std::wstring path = MakeFolderPath(options.folder);
    // The ncdu format carries both sizes: the tree keeps the logical ones and the used
    // ones are worked out from them as the export is written.
    params.usedSize = options.kind == kFormatNcdu ? false : options.usedSize;
    if (!IsExistingFolder(path) || !SetScanTarget(params, path)) {
        err << L"指定されたフォルダは存在しません. : " << path << L'\n';
        return false;
    }
    if (!QueryClusterSize(params, path.c_str())) return false;
    params.links = MakeLinkLedger(params, options.followLinks);

    RunSink sink;
    std::vector<RowEntry*>& rows = records.rows;
    sink.fileRow = [&rows](FileEntry* entry) { rows.push_back(entry); };
    sink.folderRow = [&rows](FolderEntry* entry) { rows.push_back(entry); };
    sink.snapshotRow = [&rows](SnapshotEntry* entry) { rows.push_back(entry); };
    RunCounters counters;
    std::optional<ProgressReporter> reporter;
    if (options.progress) {
        params.counters = &counters;
        reporter.emplace(GetStdHandle(STD_ERROR_HANDLE), counters, options, path);
    }
    const RunResult result = MeasureChildren(params, options.snapshotMode, sink);
    if (reporter) reporter->Finish();
    if (result.unreadable) {
        err << L"読み取りできませんでした. : " << path << L'\n';
        return false;
    }
    total = result.grandTotal;
    for (const std::wstring& folder : result.unreadableFolders) {
        err << L"読み取りできませんでした. : " << UserPath(folder) << L'\n';
    }
    unreadable = result.unreadableFolders.size();
    return true;
}

uint64_t SecondsSince1970() {
    FILETIME now{};
    GetSystemTimeAsFileTime(&now);
    const uint64_t ticks = (uint64_t{now.dwHighDateTime} << 32) | now.dwLowDateTime;
    constexpr uint64_t kTicksTo1970 = 116444736000000000ull;
    return ticks > kTicksTo1970 ? (ticks - kTicksTo1970) / 10000000ull : 0;
}

// The tree measured with logical sizes, in ncdu's format; the used size of each file
// follows the size rule: whole clusters, or the compressed size of a compressed file.
std::string BuildNcduBytes(const ReportOptions& options, RunParameters& params, const std::vector<RowEntry*>& rows) {
    NcduHeader header;
    header.rootName = MakeFolderPath(options.folder);
    if (header.rootName.size() > 3 && header.rootName.back() == L'\\') header.rootName.pop_back();
    header.programVersion = LURMO_VERSION_TEXT;
    header.timestamp = SecondsSince1970();
    const UsedSizeOf usedSizeOf = [&params](std::wstring_view relativePath, uint64_t logical, bool compressed) {
        uint64_t size = 0;
        if (!compressed) return RoundUpToClusters(logical, params.clusterSize);
        WriteName(params, params.nameSlot, relativePath);
        if (!QueryCompressedSize(params.path.c_str(), &size)) return RoundUpToClusters(logical, params.clusterSize);
        return size < params.clusterSize ? uint64_t{params.clusterSize} : size;
    };
    return BuildNcduExport(header, rows, usedSizeOf);
}

}  // namespace

int RunReport(const std::vector<std::wstring>& args, std::ostream& out, std::wostream& err) {
    ReportOptions options;
    if (std::optional<std::wstring> mistake = ParseArguments(args, options)) {
        err << L"lurmo-report: " << *mistake << L'\n' << kUsage;
        return 2;
    }
    if (options.version) {
        out << "lurmo-report " LURMO_VERSION_TEXT "\n";
        out.flush();
        return out ? 0 : 1;
    }
    if (options.help) {
        out << kUsage;
        out.flush();
        return out ? 0 : 1;
    }

    ErrorStreamScope errors(err);
    RowRecords records;
    records.snapshotMode = options.snapshotMode;
    uint64_t total = 0;
    size_t unreadable = 0;
    RunParameters params;
    if (!MeasureFolder(options, params, records, total, unreadable, err)) return 1;
    // Measured, but not whole: the lines are written all the same, and the status says so.
    const int written = unreadable != 0 ? kExitIncomplete : 0;
    SortRows(records.rows, options.sortKey * 2 + (options.descending ? 1 : 0));
    if (!options.treemap.empty()) return WriteTreemap(records, options, err);
    const std::string bytes = options.types                ? BuildTypesBytes(records, options)
                              : options.kind == kFormatNcdu ? BuildNcduBytes(options, params, records.rows)
                                                            : BuildListingBytes(records.rows, total, options);

    if (options.output.empty()) {
        out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        out.flush();
        if (!out) {
            err << L"エラー：WriteFile()\n";
            return 1;
        }
        return written;
    }
    // A file already there is replaced only by a whole new one.
    WriteFailure failure;
    if (!ReplaceFileWith(options.output, [&bytes](HANDLE file) { return WriteAll(file, bytes); }, failure)) {
        err << DescribeWriteFailure(failure, options.output) << L'\n';
        return 1;
    }
    return written;
}

void WriteStandardText(HANDLE handle, const std::wstring& text) {
    if (text.empty() || handle == nullptr || handle == INVALID_HANDLE_VALUE) return;
    DWORD mode = 0;
    if (GetConsoleMode(handle, &mode)) {
        DWORD written = 0;
        WriteConsoleW(handle, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
        return;
    }
    // A redirected stream has no code page of its own; the console's would turn every
    // Japanese character into "?" on most systems. UTF-8 keeps them all.
    WriteAll(handle, ConvertToCodePage(text, CP_UTF8));
}

}  // namespace lurmo
