#include "list/number_format.h"

#include <cstdio>

namespace lurmo {

namespace {

std::wstring GroupDigits(const std::wstring& digits) {
    std::wstring grouped;
    grouped.reserve(digits.size() + digits.size() / 3);
    const size_t first = digits.size() % 3 ? digits.size() % 3 : 3;
    grouped.append(digits, 0, first);
    for (size_t i = first; i < digits.size(); i += 3) {
        grouped.push_back(L',');
        grouped.append(digits, i, 3);
    }
    return grouped;
}

}  // namespace

int ClampUnit(int unit) { return unit < kUnitByte || unit > kUnitGB ? kUnitByte : unit; }

std::wstring FormatSize(uint64_t size, int unit, bool comma) {
    const std::wstring digits = std::to_wstring(size >> (10 * ClampUnit(unit)));
    return comma ? GroupDigits(digits) : digits;
}

std::wstring FormatCount(int64_t count) {
    const uint64_t magnitude = count < 0 ? 0ull - static_cast<uint64_t>(count) : static_cast<uint64_t>(count);
    const std::wstring grouped = GroupDigits(std::to_wstring(magnitude));
    return count < 0 ? L"-" + grouped : grouped;
}

float PercentShown(uint64_t size, uint64_t total) {
    return static_cast<float>(static_cast<double>(size) / static_cast<double>(total) * 100.0);
}

std::wstring FormatPercent(uint64_t size, uint64_t total) {
    const float percent = PercentShown(size, total);
    wchar_t text[64];
    swprintf(text, 64, L"%.1f", static_cast<double>(percent));
    return text;
}

std::wstring FormatDate(const FILETIME& localTime) {
    SYSTEMTIME st;
    if (!FileTimeToSystemTime(&localTime, &st)) return {};
    wchar_t text[64];
    swprintf(text, 64, L"%d/%02d/%02d %02d:%02d:%02d", st.wYear, st.wMonth, st.wDay, st.wHour, st.wMinute,
             st.wSecond);
    return text;
}

const wchar_t* SizeCaption(int unit) {
    static const wchar_t* const captions[] = {L"サイズ(Byte)", L"サイズ(KB)", L"サイズ(MB)", L"サイズ(GB)"};
    return captions[ClampUnit(unit)];
}

const wchar_t* SizeSuffix(int unit) {
    static const wchar_t* const suffixes[] = {L" Bytes", L" KB", L" MB", L" GB"};
    return suffixes[ClampUnit(unit)];
}

std::wstring TabFieldText(std::wstring_view text) {
    std::wstring field(text);
    for (wchar_t& c : field) {
        if (c == L'\t') c = L'\u2409';
        else if (c == L'\n') c = L'\u240A';
        else if (c == L'\r') c = L'\u240D';
    }
    return field;
}

}  // namespace lurmo
