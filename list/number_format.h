// The number, percent and date texts shared by the list, the status bar, the listing
// text, the export and the console report.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <string_view>

namespace lurmo {

enum SizeUnit : int { kUnitByte = 0, kUnitKB = 1, kUnitMB = 2, kUnitGB = 3 };

// A stored unit outside 0-3 reads as bytes.
int ClampUnit(int unit);

// The size scaled to the unit (truncated), as decimal digits, grouped by "," when comma.
std::wstring FormatSize(uint64_t size, int unit, bool comma);
// A count, always grouped.
std::wstring FormatCount(int64_t count);
// The share as a percentage, the value FormatPercent writes with one decimal.
float PercentShown(uint64_t size, uint64_t total);
// The share of total as "%.1f" (33.3, 100.0, 0.0); total must not be 0.
std::wstring FormatPercent(uint64_t size, uint64_t total);
// "2010/03/07 09:05:00" of a local time; empty when it has no calendar form.
std::wstring FormatDate(const FILETIME& localTime);

// "サイズ(Byte)" … "サイズ(GB)": the size column's caption and the export header's.
const wchar_t* SizeCaption(int unit);
// " Bytes", " KB", " MB", " GB": the status bar's suffix.
const wchar_t* SizeSuffix(int unit);
// A name as a field of a tab-separated line (the tab exports, the listing as text): a
// tab or a line break in it would split the row, so each is written as its visible
// control picture: U+2409 for a tab, U+240A for a line feed, U+240D for a carriage
// return. A code page that lacks them writes its default character ("?"), which no
// Windows name holds either.
std::wstring TabFieldText(std::wstring_view text);

}  // namespace lurmo
