#include "export/report.h"

#include <algorithm>
#include <optional>
#include <string_view>
#include <vector>

#include "engine/accumulation.h"
#include "engine/error_report.h"
#include "engine/file_system.h"
#include "engine/handles.h"
#include "engine/row_order.h"
#include "engine/size_rule.h"
#include "export/export_lines.h"
#include "list/number_format.h"
#include "map/map_png.h"
#include "map/treemap.h"

namespace lurmo {

namespace {

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
    "  --format csv|tab|unicode  file type of the export (default csv)\n"
    "  --output FILE             write to FILE instead of standard output\n"
    "  --treemap FILE.png        draw the map of the folder into a PNG instead (with\n"
    "                            --mode tree every folder is divided down to its files)\n"
    "  --types                   write the table of file types (extension, bytes,\n"
    "                            share, files) instead of the rows\n"
    "  --help                    show this text\n"
    "Exit status: 0 written; 1 the folder cannot be measured or the output cannot be\n"
    "written; 2 bad usage.\n";

struct ReportOptions {
    bool snapshotMode = true;
    bool usedSize = true;
    int unit = kUnitByte;
    bool comma = true;
    DWORD sortKey = 0;   // 0 name, 1 size, 2 time: the list's sort state is key * 2 + descending
    bool descending = false;
    int kind = kExportCsv;
    std::wstring output;
    std::wstring treemap;   // the PNG to draw the map into, instead of the rows
    int mapWidth = 1024, mapHeight = 600;
    bool types = false;
    std::wstring folder;
    bool help = false;
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
        if (name == L"--help" || name == L"--comma" || name == L"--no-comma" || name == L"--descending" ||
            name == L"--types") {
            if (equals != std::wstring::npos) return name + L" takes no value: " + word;
            if (name == L"--help") options.help = true;
            else if (name == L"--types") options.types = true;
            else if (name == L"--descending") options.descending = true;
            else options.comma = name == L"--comma";
            continue;
        }
        std::wstring value;
        if (equals != std::wstring::npos) {
            value = word.substr(equals + 1);
        } else if (name == L"--mode" || name == L"--size" || name == L"--unit" || name == L"--sort" ||
                   name == L"--format" || name == L"--output" || name == L"--treemap") {
            if (i + 1 >= args.size()) return L"missing value for " + name;
            value = args[++i];
        } else {
            return L"unknown option: " + name;
        }

        std::optional<int> pick;
        if (name == L"--mode") {
            if ((pick = PickWord(value, {L"snapshot", L"tree"}))) options.snapshotMode = *pick == 0;
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
            if ((pick = PickWord(value, {L"csv", L"tab", L"unicode"}))) options.kind = kExportCsv + *pick;
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
    if (!options.help && !folderGiven) return std::wstring(L"no folder given");
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

// Measures the folder's children into records; false (reported) when it cannot be done.
bool MeasureFolder(const ReportOptions& options, RowRecords& records, uint64_t& total, std::wostream& err) {
    const std::wstring path = MakeFolderPath(options.folder);
    RunParameters params;
    params.usedSize = options.usedSize;
    if (!IsExistingFolder(path) || !SetScanTarget(params, path)) {
        err << L"指定されたフォルダは存在しません. : " << path << L'\n';
        return false;
    }
    if (!QueryClusterSize(params, path.c_str())) return false;

    RunSink sink;
    std::vector<RowEntry*>& rows = records.rows;
    sink.fileRow = [&rows](FileEntry* entry) { rows.push_back(entry); };
    sink.folderRow = [&rows](FolderEntry* entry) { rows.push_back(entry); };
    sink.snapshotRow = [&rows](SnapshotEntry* entry) { rows.push_back(entry); };
    const RunResult result = MeasureChildren(params, options.snapshotMode, sink);
    if (result.unreadable) {
        err << L"読み取りできませんでした. : " << path << L'\n';
        return false;
    }
    total = result.grandTotal;
    return true;
}

}  // namespace

int RunReport(const std::vector<std::wstring>& args, std::ostream& out, std::wostream& err) {
    ReportOptions options;
    if (std::optional<std::wstring> mistake = ParseArguments(args, options)) {
        err << L"lurmo-report: " << *mistake << L'\n' << kUsage;
        return 2;
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
    if (!MeasureFolder(options, records, total, err)) return 1;
    SortRows(records.rows, options.sortKey * 2 + (options.descending ? 1 : 0));
    if (!options.treemap.empty()) return WriteTreemap(records, options, err);
    const std::string bytes =
        options.types ? BuildTypesBytes(records, options) : BuildListingBytes(records.rows, total, options);

    if (options.output.empty()) {
        out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        out.flush();
        if (!out) {
            err << L"エラー：WriteFile()\n";
            return 1;
        }
        return 0;
    }
    unique_hfile file(CreateFileW(options.output.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                  FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) {
        err << L"エラー：CreateFile()\n";
        return 1;
    }
    if (!WriteAll(file.get(), bytes)) {
        err << L"エラー：WriteFile()\n";
        return 1;
    }
    return 0;
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
