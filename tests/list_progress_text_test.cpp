// The progress texts of a run and the share of a volume's used space.
#include <gtest/gtest.h>
#include <windows.h>

#include "list/number_format.h"
#include "list/progress_text.h"
#include "tests/test_support.h"

using namespace lurmo;

TEST(ProgressText, CountsBytesAndTimeInTheListsFormat) {
    RunCounts counts;
    counts.files = 12345;
    counts.folders = 678;
    counts.bytes = 1234567890;
    EXPECT_EQ(FormatRunProgress(counts, 42999, kUnitByte, true, -1),
              L"ファイル 12,345 個  フォルダ 678 個  1,234,567,890 Bytes  0:42");
    // The unit and the comma choice are the list's; counts are always grouped.
    EXPECT_EQ(FormatRunProgress(counts, 42000, kUnitMB, false, -1),
              L"ファイル 12,345 個  フォルダ 678 個  1177 MB  0:42");
    EXPECT_EQ(FormatRunProgress(counts, 3723000, kUnitKB, true, 375),
              L"ファイル 12,345 個  フォルダ 678 個  1,205,632 KB (37.5 %)  1:02:03");
}

TEST(ProgressText, ElapsedTimeInMinutesAndHours) {
    EXPECT_EQ(FormatElapsed(59999), L"0:59");
    EXPECT_EQ(FormatElapsed(3599999), L"59:59");
    EXPECT_EQ(FormatElapsed(3600000), L"1:00:00");
    EXPECT_EQ(FormatElapsed(100ull * 3600000 + 61000), L"100:01:01");
}

TEST(ProgressText, ShareOfUsedSpaceStaysBelowWholeUntilTheEnd) {
    EXPECT_EQ(ShareOfUsedSpace(500, 1000, false), 500);
    EXPECT_EQ(ShareOfUsedSpace(9999, 10000, false), 999);
    EXPECT_EQ(ShareOfUsedSpace(10000, 10000, false), 999);
    EXPECT_EQ(ShareOfUsedSpace(30000, 10000, false), 999);
    EXPECT_EQ(ShareOfUsedSpace(10000, 10000, true), 1000);
    EXPECT_EQ(ShareOfUsedSpace(9000, 10000, true), 900);
    EXPECT_EQ(ShareOfUsedSpace(1, 0, false), -1);
    // Beyond what bytes times a thousand holds in 64 bits.
    EXPECT_EQ(ShareOfUsedSpace(1ull << 62, 1ull << 63, false), 500);
}

TEST(ProgressText, UsedSpaceIsReadForAVolumeRootOnly) {
    uint64_t used = 0;
    ASSERT_TRUE(ReadVolumeUsedSpace(L"C:\\", used));
    ULARGE_INTEGER available{}, total{}, free{};
    ASSERT_TRUE(GetDiskFreeSpaceExW(L"C:\\", &available, &total, &free));
    // The whole volume's free space, not only what this user may fill; the figures move
    // as other programs write, so within a little.
    const uint64_t expected = total.QuadPart - free.QuadPart;
    EXPECT_LT(used > expected ? used - expected : expected - used, 64ull << 20);
    EXPECT_GT(used, 0u);
    EXPECT_TRUE(ReadVolumeUsedSpace(L"C:", used));
    lurmo::test::TempFolder folder;
    EXPECT_FALSE(ReadVolumeUsedSpace(folder.path(), used));
    EXPECT_FALSE(ReadVolumeUsedSpace(L"C:\\windows\\", used));
    lurmo::test::MappedDrive drive(folder.path());
    ASSERT_FALSE(drive.root().empty());
    EXPECT_TRUE(ReadVolumeUsedSpace(drive.root(), used));
}
