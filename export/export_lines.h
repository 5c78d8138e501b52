// The bytes of an exported listing: the header line and one line per row, for each of
// the three file types the save dialog offers. Nothing here touches a window or a file,
// so the list export and the console report write the very same bytes.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace lurmo {

// The save dialog's 1-based file-type index.
enum ExportKind : int { kExportCsv = 1, kExportTab = 2, kExportUnicode = 3 };

// The longest percent and date texts a line carries; longer cell texts are cut.
constexpr size_t kExportPercentLength = 5;
constexpr size_t kExportTimeLength = 19;

// One row as the export sees it: the record's name and size, and the texts the list
// shows in its percent and date columns.
struct ExportRow {
    std::wstring_view name;
    uint64_t size = 0;
    std::wstring_view percent;
    std::wstring_view time;
};

bool IsExportKind(int kind);

// FF FE for the Unicode kind, nothing for the others.
std::string ExportPreamble(int kind);

// The header line with its CR LF. The byte kinds always carry the Shift_JIS header,
// whatever code page the system has, as every earlier version of the export did.
std::string ExportHeaderBytes(int kind, int unit);

// The text of a row line without its line end, built alike for every kind. CSV fields
// holding a comma, a double quote, CR or LF are quoted; in the tab kinds a tab, CR or LF
// inside a field is written as its control picture (see TabFieldText).
std::wstring ExportRowText(int kind, const ExportRow& row, int unit, bool comma);

// The bytes of a row line with its CR LF: UTF-16LE for the Unicode kind, the OEM code
// page for the others. The line is written whole, however long it is.
// The header of the table of file types: extension, size, percent, number of files.
std::string ExportTypesHeaderBytes(int kind, int unit);
std::string ExportRowBytes(int kind, const ExportRow& row, int unit, bool comma);

// Writes every byte of data to an open file or handle; false when WriteFile fails.
bool WriteAll(void* file, const std::string& data);

// The characters of text in the code page, sized first, so nothing is cut. A character
// the code page lacks becomes its default character ("?"), never a look-alike.
std::string ConvertToCodePage(std::wstring_view text, unsigned codePage);

}  // namespace lurmo
