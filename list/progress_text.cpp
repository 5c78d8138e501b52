#include "list/progress_text.h"

#include <windows.h>

#include <cstdio>
#include <cwchar>
#include <vector>

#include "list/number_format.h"

namespace lurmo {

std::wstring FormatElapsed(uint64_t milliseconds) {
    const uint64_t seconds = milliseconds / 1000;
    wchar_t text[64];
    if (seconds >= 3600) {
        swprintf(text, 64, L"%llu:%02u:%02u", static_cast<unsigned long long>(seconds / 3600),
                 static_cast<unsigned>(seconds / 60 % 60), static_cast<unsigned>(seconds % 60));
    } else {
        swprintf(text, 64, L"%u:%02u", static_cast<unsigned>(seconds / 60), static_cast<unsigned>(seconds % 60));
    }
    return text;
}

int ShareOfUsedSpace(uint64_t measured, uint64_t used, bool finished) {
    if (used == 0) return -1;
    // In floating point: a count of bytes times 1000 leaves 64 bits beyond 18 PB.
    const double tenths = static_cast<double>(measured) / static_cast<double>(used) * 1000.0;
    const int limit = finished ? 1000 : 999;
    return tenths >= limit ? limit : static_cast<int>(tenths);
}

std::wstring FormatRunProgress(const RunCounts& counts, uint64_t milliseconds, int unit, bool comma, int share) {
    std::wstring text = L"ファイル " + FormatCount(static_cast<int64_t>(counts.files)) + L" 個  フォルダ " +
                        FormatCount(static_cast<int64_t>(counts.folders)) + L" 個  " +
                        FormatSize(counts.bytes, unit, comma) + SizeSuffix(unit);
    if (share >= 0) {
        wchar_t percent[32];
        swprintf(percent, 32, L" (%d.%d %%)", share / 10, share % 10);
        text += percent;
    }
    return text + L"  " + FormatElapsed(milliseconds);
}

bool ReadVolumeUsedSpace(const std::wstring& folder, uint64_t& used) {
    if (folder.empty()) return false;
    std::wstring path = folder;
    if (path.back() != L'\\') path.push_back(L'\\');
    // The volume's root as the system names it: a drive ("C:\"), a share's root
    // ("\\server\share\") or a folder a volume is mounted on.
    std::vector<wchar_t> root(path.size() + MAX_PATH);
    if (!GetVolumePathNameW(path.c_str(), root.data(), static_cast<DWORD>(root.size()))) return false;
    std::wstring rootText = root.data();
    if (rootText.empty() || rootText.back() != L'\\') rootText.push_back(L'\\');
    if (_wcsicmp(rootText.c_str(), path.c_str()) != 0) return false;
    ULARGE_INTEGER available{}, total{}, free{};
    if (!GetDiskFreeSpaceExW(path.c_str(), &available, &total, &free)) return false;
    if (free.QuadPart > total.QuadPart) return false;
    used = total.QuadPart - free.QuadPart;
    return true;
}

}  // namespace lurmo
