#include "export/export_lines.h"

#include <windows.h>

#include <algorithm>

#include "list/number_format.h"

namespace lurmo {

namespace {

static_assert(sizeof(wchar_t) == 2, "the Unicode export writes UTF-16 code units as they are");

// The header words in Shift_JIS. They are kept as bytes rather than converted, so a
// system whose code page is not 932 still writes the header every reader expects.
constexpr char kSjisName[] = "\x96\xbc\x91\x4f";                                  // 名前
constexpr char kSjisSize[] = "\x83\x54\x83\x43\x83\x59";                          // サイズ
constexpr char kSjisPercent[] = "\x83\x70\x81\x5b\x83\x5a\x83\x93\x83\x67";       // パーセント
constexpr char kSjisTime[] = "\x8d\x58\x90\x56\x93\xfa\x8e\x9e";                  // 更新日時
constexpr char kSjisExtension[] = "\x8a\x67\x92\xa3\x8e\x71";                    // 拡張子
constexpr char kSjisFiles[] = "\x83\x74\x83\x40\x83\x43\x83\x8b\x90\x94";       // ファイル数
constexpr const char* kUnitSuffixes[] = {"(Byte)", "(KB)", "(MB)", "(GB)"};

wchar_t SeparatorOf(int kind) { return kind == kExportCsv ? L',' : L'\t'; }

std::string Utf16Bytes(std::wstring_view text) {
    return std::string(reinterpret_cast<const char*>(text.data()), text.size() * sizeof(wchar_t));
}

bool NeedsQuotes(std::wstring_view field) { return field.find_first_of(L",\"\r\n") != std::wstring_view::npos; }

// A CSV field as RFC 4180 has it: quoted, inner quotes doubled, only when it must be.
// A field of the tab kinds cannot be quoted: its tabs and line breaks are made visible.
void AppendField(std::wstring& line, int kind, std::wstring_view field) {
    if (kind != kExportCsv) {
        line.append(TabFieldText(field));
        return;
    }
    if (!NeedsQuotes(field)) {
        line.append(field);
        return;
    }
    line.push_back(L'"');
    for (wchar_t c : field) {
        if (c == L'"') line.push_back(L'"');
        line.push_back(c);
    }
    line.push_back(L'"');
}

}  // namespace

bool IsExportKind(int kind) { return kind >= kExportCsv && kind <= kExportUnicode; }

std::string ExportPreamble(int kind) { return kind == kExportUnicode ? std::string("\xff\xfe", 2) : std::string(); }

std::string ExportHeaderBytes(int kind, int unit) {
    if (kind == kExportUnicode) {
        std::wstring line = L"名前\t";
        line += SizeCaption(unit);
        line += L"\tパーセント\t更新日時\r\n";
        return Utf16Bytes(line);
    }
    const char separator = kind == kExportCsv ? ',' : '\t';
    std::string line = kSjisName;
    line += separator;
    line += kSjisSize;
    line += kUnitSuffixes[ClampUnit(unit)];
    line += separator;
    line += kSjisPercent;
    line += separator;
    line += kSjisTime;
    line += "\r\n";
    return line;
}

std::string ExportTypesHeaderBytes(int kind, int unit) {
    if (kind == kExportUnicode) return Utf16Bytes(std::wstring(L"拡張子\t") + SizeCaption(unit) + L"\tパーセント\tファイル数\r\n");
    const char separator = kind == kExportCsv ? ',' : '\t';
    return std::string(kSjisExtension) + separator + kSjisSize + kUnitSuffixes[ClampUnit(unit)] + separator +
           kSjisPercent + separator + kSjisFiles + "\r\n";
}

std::wstring ExportRowText(int kind, const ExportRow& row, int unit, bool comma) {
    const wchar_t separator = SeparatorOf(kind);
    // CSV carries the plain scaled count so that a spreadsheet reads it as a number; the
    // text kinds carry what the list shows.
    const std::wstring size = FormatSize(row.size, unit, kind == kExportCsv ? false : comma);
    std::wstring line;
    line.reserve(row.name.size() + size.size() + kExportPercentLength + kExportTimeLength + 8);
    AppendField(line, kind, row.name);
    line.push_back(separator);
    AppendField(line, kind, size);
    line.push_back(separator);
    AppendField(line, kind, row.percent.substr(0, kExportPercentLength));
    line.push_back(separator);
    AppendField(line, kind, row.time.substr(0, kExportTimeLength));
    return line;
}

std::string ExportRowBytes(int kind, const ExportRow& row, int unit, bool comma) {
    const std::wstring text = ExportRowText(kind, row, unit, comma);
    if (kind == kExportUnicode) return Utf16Bytes(text + L"\r\n");
    return ConvertToCodePage(text, CP_OEMCP) + "\r\n";
}

bool WriteAll(void* file, const std::string& data) {
    size_t done = 0;
    while (done < data.size()) {
        const DWORD chunk = static_cast<DWORD>(std::min<size_t>(data.size() - done, 1u << 30));
        DWORD written = 0;
        if (!WriteFile(file, data.data() + done, chunk, &written, nullptr) || written == 0) return false;
        done += written;
    }
    return true;
}

std::string ConvertToCodePage(std::wstring_view text, unsigned codePage) {
    if (text.empty()) return {};
    const int length = static_cast<int>(text.size());
    // Best fit would write a full-width comma or quote as a bare ',' or '"' after the CSV
    // quoting was decided on the UTF-16 text, splitting the field; without it a character
    // the code page lacks becomes its default character. UTF-8, which has no best fit to
    // make, and a few other code pages refuse the flag.
    DWORD flags = WC_NO_BEST_FIT_CHARS;
    int needed = WideCharToMultiByte(codePage, flags, text.data(), length, nullptr, 0, nullptr, nullptr);
    if (needed <= 0 && GetLastError() == ERROR_INVALID_FLAGS) {
        flags = 0;
        needed = WideCharToMultiByte(codePage, flags, text.data(), length, nullptr, 0, nullptr, nullptr);
    }
    if (needed <= 0) return {};
    std::string bytes(static_cast<size_t>(needed), '\0');
    const int written =
        WideCharToMultiByte(codePage, flags, text.data(), length, bytes.data(), needed, nullptr, nullptr);
    bytes.resize(written > 0 ? static_cast<size_t>(written) : 0);
    return bytes;
}

}  // namespace lurmo
