// The number, percent and date texts that the list, status bar and export share.
#include <gtest/gtest.h>

#include <cstdint>

#include "list/number_format.h"
#include "tests/ui_support.h"

using namespace lurmo;

TEST(FormatSize, GroupsDigitsOnlyWhenAsked) {
    struct Case {
        uint64_t size;
        const wchar_t* grouped;
        const wchar_t* plain;
    };
    const Case cases[] = {
        {0, L"0", L"0"},
        {999, L"999", L"999"},
        {1000, L"1,000", L"1000"},
        {1234567, L"1,234,567", L"1234567"},
        {UINT64_MAX, L"18,446,744,073,709,551,615", L"18446744073709551615"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(FormatSize(c.size, kUnitByte, true), c.grouped);
        EXPECT_EQ(FormatSize(c.size, kUnitByte, false), c.plain);
    }
}

TEST(FormatSize, ScalesByTruncatingToTheUnit) {
    EXPECT_EQ(FormatSize(1023, kUnitKB, true), L"0");
    EXPECT_EQ(FormatSize(1024, kUnitKB, true), L"1");
    EXPECT_EQ(FormatSize(1049599, kUnitKB, true), L"1,024");
    EXPECT_EQ(FormatSize(1234567, kUnitKB, false), L"1205");
    EXPECT_EQ(FormatSize(1234567, kUnitMB, true), L"1");
    EXPECT_EQ(FormatSize(1073741823, kUnitGB, true), L"0");
    EXPECT_EQ(FormatSize(1073741824, kUnitGB, true), L"1");
    // The largest size in every unit: 2^64-1 >> 10, 20, 30.
    EXPECT_EQ(FormatSize(UINT64_MAX, kUnitKB, true), L"18,014,398,509,481,983");
    EXPECT_EQ(FormatSize(UINT64_MAX, kUnitMB, false), L"17592186044415");
    EXPECT_EQ(FormatSize(UINT64_MAX, kUnitGB, true), L"17,179,869,183");
    EXPECT_EQ(FormatSize(999, kUnitMB, true), L"0");
    EXPECT_EQ(FormatSize(1000, kUnitGB, false), L"0");
}

TEST(FormatCount, IsAlwaysGrouped) {
    EXPECT_EQ(FormatCount(0), L"0");
    EXPECT_EQ(FormatCount(999), L"999");
    EXPECT_EQ(FormatCount(1000), L"1,000");
    EXPECT_EQ(FormatCount(1234567), L"1,234,567");
    EXPECT_EQ(FormatCount(2147483647), L"2,147,483,647");
}

TEST(FormatPercent, OneDecimalOfTheShare) {
    EXPECT_EQ(FormatPercent(1, 3), L"33.3");
    EXPECT_EQ(FormatPercent(2, 3), L"66.7");
    EXPECT_EQ(FormatPercent(500, 500), L"100.0");
    EXPECT_EQ(FormatPercent(0, 500), L"0.0");
    EXPECT_EQ(FormatPercent(UINT64_MAX, UINT64_MAX), L"100.0");
    EXPECT_EQ(FormatPercent(1, UINT64_MAX), L"0.0");
}

TEST(FormatDate, ReadsTheLocalTimeFields) {
    EXPECT_EQ(FormatDate(test::LocalTime(2010, 3, 7, 9, 5, 0)), L"2010/03/07 09:05:00");
    EXPECT_EQ(FormatDate(test::LocalTime(1999, 12, 31, 23, 59, 58)), L"1999/12/31 23:59:58");
    FILETIME impossible{0xFFFFFFFF, 0xFFFFFFFF};
    EXPECT_EQ(FormatDate(impossible), L"");
}

TEST(SizeTexts, CaptionAndSuffixFollowTheUnit) {
    EXPECT_STREQ(SizeCaption(kUnitByte), L"サイズ(Byte)");
    EXPECT_STREQ(SizeCaption(kUnitGB), L"サイズ(GB)");
    EXPECT_STREQ(SizeSuffix(kUnitByte), L" Bytes");
    EXPECT_STREQ(SizeSuffix(kUnitMB), L" MB");
    // A damaged unit reads as bytes rather than indexing past the tables.
    EXPECT_STREQ(SizeCaption(7), L"サイズ(Byte)");
    EXPECT_EQ(FormatSize(2048, 7, false), L"2048");
}
