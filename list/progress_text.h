// What a run shows of its progress while it goes on, in the list's units and number
// format: the counts so far, the time taken, and for a whole volume the share of its used
// space measured so far. Shared by the main window's status bar and the console report.
#pragma once

#include <cstdint>
#include <string>

#include "engine/run_counters.h"

namespace lurmo {

// "0:42", "12:05", "1:02:03".
std::wstring FormatElapsed(uint64_t milliseconds);

// Tenths of a percent of the volume's used space that `measured` bytes make, from 0 to
// 1000; below 1000 (at most 99.9 %) until the run has finished, since used space holds
// what a walk does not see (the file system's own records) and the walk may have seen
// what the used space does not hold (sparse files, logical sizes). -1 when nothing is
// used.
int ShareOfUsedSpace(uint64_t measured, uint64_t used, bool finished);

// "ファイル 12,345 個  フォルダ 678 個  1,234,567,890 Bytes  0:42"; with a share of
// a volume (tenths of a percent, or -1 for none) "... Bytes (37.5 %)  0:42".
std::wstring FormatRunProgress(const RunCounts& counts, uint64_t milliseconds, int unit, bool comma, int share);

// The used space (total minus free, of the whole volume, not only what the caller may
// use) of the volume whose root the folder is, with or without its trailing backslash;
// false when the folder is no volume's root or the volume does not answer.
bool ReadVolumeUsedSpace(const std::wstring& folder, uint64_t& used);

}  // namespace lurmo
