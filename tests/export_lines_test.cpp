// The bytes of exported lines: the fixed Shift_JIS header, the size field of each kind,
// CSV quoting, the cut of the percent and date texts, and lines of any length.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "export/export_lines.h"
#include "list/number_format.h"

using namespace lurmo;

namespace {

std::string Bytes(std::initializer_list<unsigned char> values) { return std::string(values.begin(), values.end()); }

std::string Utf16(const std::wstring& text) {
    return std::string(reinterpret_cast<const char*>(text.data()), text.size() * sizeof(wchar_t));
}

// The row bytes the OEM code page gives for a text: Shift_JIS on a Japanese system, "?"
// for every character code page 437 lacks.
std::string OemBytes(const std::wstring& text) {
    const int needed = WideCharToMultiByte(CP_OEMCP, 0, text.data(), static_cast<int>(text.size()), nullptr, 0,
                                           nullptr, nullptr);
    std::string bytes(static_cast<size_t>(needed), '\0');
    WideCharToMultiByte(CP_OEMCP, 0, text.data(), static_cast<int>(text.size()), bytes.data(), needed, nullptr,
                        nullptr);
    return bytes;
}

const ExportRow kPlainRow{L"photos", 1234567, L"33.3", L"2010/03/07 09:05:00"};

}  // namespace

TEST(ExportHeader, IsShiftJisWhateverTheCodePage) {
    // 名前,サイズ(KB),パーセント,更新日時 in Shift_JIS.
    const std::string csvKb =
        Bytes({0x96, 0xbc, 0x91, 0x4f, ',', 0x83, 0x54, 0x83, 0x43, 0x83, 0x59, '(', 'K', 'B', ')', ',',
               0x83, 0x70, 0x81, 0x5b, 0x83, 0x5a, 0x83, 0x93, 0x83, 0x67, ',', 0x8d, 0x58, 0x90, 0x56,
               0x93, 0xfa, 0x8e, 0x9e, '\r', '\n'});
    EXPECT_EQ(ExportHeaderBytes(kExportCsv, kUnitKB), csvKb);

    // Each unit's caption, each separator, checked against the system's own code page 932.
    for (int unit = kUnitByte; unit <= kUnitGB; ++unit) {
        for (int kind : {kExportCsv, kExportTab}) {
            const std::wstring separator = kind == kExportCsv ? L"," : L"\t";
            const std::wstring text = L"名前" + separator + SizeCaption(unit) + separator + L"パーセント" +
                                      separator + L"更新日時";
            EXPECT_EQ(ExportHeaderBytes(kind, unit), ConvertToCodePage(text, 932) + "\r\n")
                << "kind " << kind << " unit " << unit;
        }
    }
    EXPECT_EQ(ExportHeaderBytes(kExportTab, kUnitByte).substr(4, 14), "\t\x83\x54\x83\x43\x83\x59(Byte)\t");
}

TEST(ExportHeader, UnicodeKindIsUtf16WithTabsAndOnlyItHasTheByteOrderMark) {
    EXPECT_EQ(ExportHeaderBytes(kExportUnicode, kUnitMB), Utf16(L"名前\tサイズ(MB)\tパーセント\t更新日時\r\n"));
    EXPECT_EQ(ExportPreamble(kExportUnicode), Bytes({0xff, 0xfe}));
    EXPECT_EQ(ExportPreamble(kExportCsv), "");
    EXPECT_EQ(ExportPreamble(kExportTab), "");
}

TEST(ExportRowLine, CsvSizeIsThePlainScaledCount) {
    EXPECT_EQ(ExportRowBytes(kExportCsv, kPlainRow, kUnitByte, true), "photos,1234567,33.3,2010/03/07 09:05:00\r\n");
    EXPECT_EQ(ExportRowBytes(kExportCsv, kPlainRow, kUnitKB, true), "photos,1205,33.3,2010/03/07 09:05:00\r\n");
    EXPECT_EQ(ExportRowBytes(kExportCsv, kPlainRow, kUnitMB, false), "photos,1,33.3,2010/03/07 09:05:00\r\n");
    EXPECT_EQ(ExportRowBytes(kExportCsv, kPlainRow, kUnitGB, true), "photos,0,33.3,2010/03/07 09:05:00\r\n");
    // 1536 bytes are 1 KB: the count is cut, not rounded.
    const ExportRow small{L"b.bin", 1536, L"0.1", L"2010/03/07 09:05:00"};
    EXPECT_EQ(ExportRowBytes(kExportCsv, small, kUnitKB, true), "b.bin,1,0.1,2010/03/07 09:05:00\r\n");
}

TEST(ExportRowLine, TextKindsCarryTheListsSizeText) {
    EXPECT_EQ(ExportRowBytes(kExportTab, kPlainRow, kUnitByte, true), "photos\t1,234,567\t33.3\t2010/03/07 09:05:00\r\n");
    EXPECT_EQ(ExportRowBytes(kExportTab, kPlainRow, kUnitByte, false), "photos\t1234567\t33.3\t2010/03/07 09:05:00\r\n");
    EXPECT_EQ(ExportRowBytes(kExportTab, kPlainRow, kUnitKB, true), "photos\t1,205\t33.3\t2010/03/07 09:05:00\r\n");

    const std::string unicode = ExportRowBytes(kExportUnicode, kPlainRow, kUnitByte, true);
    EXPECT_EQ(unicode, Utf16(L"photos\t1,234,567\t33.3\t2010/03/07 09:05:00\r\n"));
    ASSERT_EQ(unicode.size() % 2, 0u);
    for (size_t i = 0; i < unicode.size(); i += 2) {
        EXPECT_FALSE(unicode[i] == 0 && unicode[i + 1] == 0) << "NUL character at byte " << i;
    }
}

TEST(ExportRowLine, CsvQuotesFieldsThatNeedItAndTabKindsDoNot) {
    const ExportRow comma{L"a,b", 10, L"1.0", L"2010/03/07 09:05:00"};
    EXPECT_EQ(ExportRowBytes(kExportCsv, comma, kUnitByte, true), "\"a,b\",10,1.0,2010/03/07 09:05:00\r\n");
    EXPECT_EQ(ExportRowBytes(kExportTab, comma, kUnitByte, true), "a,b\t10\t1.0\t2010/03/07 09:05:00\r\n");
    EXPECT_EQ(ExportRowText(kExportUnicode, comma, kUnitByte, true), L"a,b\t10\t1.0\t2010/03/07 09:05:00");

    const ExportRow quote{L"say \"hi\"", 0, L"", L""};
    EXPECT_EQ(ExportRowText(kExportCsv, quote, kUnitByte, true), L"\"say \"\"hi\"\"\",0,,");
    const ExportRow breaks{L"one\rtwo\nthree", 0, L"", L""};
    EXPECT_EQ(ExportRowText(kExportCsv, breaks, kUnitByte, true), L"\"one\rtwo\nthree\",0,,");
    // A percent text written with a decimal comma is a field like any other.
    const ExportRow decimalComma{L"x", 5, L"12,5", L"2010/03/07 09:05:00"};
    EXPECT_EQ(ExportRowText(kExportCsv, decimalComma, kUnitByte, true), L"x,5,\"12,5\",2010/03/07 09:05:00");
    // Names that need nothing stay bare.
    const ExportRow plain{L"report 2010.txt", 5, L"", L""};
    EXPECT_EQ(ExportRowText(kExportCsv, plain, kUnitByte, true), L"report 2010.txt,5,,");
}

TEST(ExportRowLine, ATabOrLineBreakInANameStaysInsideItsFieldInTheTabKinds) {
    const ExportRow odd{L"a\tb\nc\rd", 10, L"1.0", L"2010/03/07 09:05:00"};
    const std::wstring pictured = L"a\u2409b\u240Ac\u240Dd\t10\t1.0\t2010/03/07 09:05:00";
    EXPECT_EQ(ExportRowText(kExportTab, odd, kUnitByte, true), pictured);
    EXPECT_EQ(ExportRowText(kExportUnicode, odd, kUnitByte, true), pictured);
    // In a code page without the pictures each becomes that page's "?": still one row.
    const std::string bytes = ExportRowBytes(kExportTab, odd, kUnitByte, true);
    EXPECT_EQ(std::count(bytes.begin(), bytes.end(), '\t'), 3);
    EXPECT_EQ(bytes.find_first_of("\r\n"), bytes.size() - 2);
    // CSV keeps quoting the field whole.
    EXPECT_EQ(ExportRowText(kExportCsv, odd, kUnitByte, true), L"\"a\tb\nc\rd\",10,1.0,2010/03/07 09:05:00");
}

TEST(ExportRowLine, PercentAndDateTextsAreCut) {
    const ExportRow wide{L"n", 1, L"100.00", L"2010/03/07 09:05:00.123 extra"};
    EXPECT_EQ(ExportRowText(kExportTab, wide, kUnitByte, true), L"n\t1\t100.0\t2010/03/07 09:05:00");
}

TEST(ExportRowLine, RowsAreInTheOemCodePage) {
    const ExportRow japanese{L"名前.txt", 2048, L"50.0", L"2010/03/07 09:05:00"};
    const std::string bytes = ExportRowBytes(kExportCsv, japanese, kUnitKB, true);
    if (GetOEMCP() == 932) {
        EXPECT_EQ(bytes, "\x96\xbc\x91\x4f.txt,2,50.0,2010/03/07 09:05:00\r\n");
    } else {
        EXPECT_EQ(GetOEMCP(), 437u);
        EXPECT_EQ(bytes, "??.txt,2,50.0,2010/03/07 09:05:00\r\n");
    }
    // The Unicode kind keeps every character whatever the system.
    EXPECT_EQ(ExportRowBytes(kExportUnicode, japanese, kUnitKB, true), Utf16(L"名前.txt\t2\t50.0\t2010/03/07 09:05:00\r\n"));
}

TEST(ExportRowLine, LongLinesAreWrittenWhole) {
    for (size_t length : {250u, 2000u}) {
        std::wstring name;
        for (size_t i = 0; i < length; ++i) name.push_back(i % 2 ? L'名' : L'前');
        const ExportRow row{name, 1234567890, L"100.0", L"2010/03/07 09:05:00"};
        const std::wstring tail = L",1234567890,100.0,2010/03/07 09:05:00";

        const std::string csv = ExportRowBytes(kExportCsv, row, kUnitByte, true);
        EXPECT_EQ(csv, OemBytes(name + tail) + "\r\n") << length;
        if (GetOEMCP() == 932) EXPECT_EQ(csv.size(), 2 * length + tail.size() + 2) << length;
        else EXPECT_EQ(csv.size(), length + tail.size() + 2) << length;
        EXPECT_EQ(csv.substr(csv.size() - tail.size() - 2), std::string(tail.begin(), tail.end()) + "\r\n");

        const std::string unicode = ExportRowBytes(kExportUnicode, row, kUnitByte, true);
        EXPECT_EQ(unicode, Utf16(name + L"\t1,234,567,890\t100.0\t2010/03/07 09:05:00\r\n")) << length;
    }
}

TEST(ExportCodePage, ConversionIsSizedToTheText) {
    EXPECT_EQ(ConvertToCodePage(L"", 932), "");
    EXPECT_EQ(ConvertToCodePage(L"abc", 932), "abc");
    EXPECT_EQ(ConvertToCodePage(L"名前", 932), "\x96\xbc\x91\x4f");
    EXPECT_EQ(ConvertToCodePage(std::wstring(3000, L'前'), 932).size(), 6000u);
}

TEST(ExportCodePage, FullWidthCommaAndQuoteDoNotBecomeTheirAsciiLookAlikes) {
    // With best fit, code pages 437 and 1252 write U+FF0C as ',' and U+FF02 as '"'.
    for (unsigned codePage : {437u, 1252u}) {
        EXPECT_EQ(ConvertToCodePage(L"1\uFF0C000\uFF02.txt", codePage), "1?000?.txt") << "code page " << codePage;
    }
}

TEST(ExportRowLine, ACsvRowKeepsItsFourFieldsWhateverTheNameHoldsInFullWidth) {
    const ExportRow row{L"1\uFF0C000\uFF02.txt", 10, L"1.0", L"2010/03/07 09:05:00"};
    const std::string bytes = ExportRowBytes(kExportCsv, row, kUnitByte, true);
    EXPECT_EQ(std::count(bytes.begin(), bytes.end(), ','), 3) << bytes;
    EXPECT_EQ(bytes.find('"'), std::string::npos) << bytes;
    if (GetOEMCP() != 932) {
        EXPECT_EQ(bytes, "1?000?.txt,10,1.0,2010/03/07 09:05:00\r\n");
    }
}
