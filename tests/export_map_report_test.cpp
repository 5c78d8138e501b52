// The console report's map picture and its table of file types.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "export/report.h"
#include "tests/test_support.h"
#include "tests/ui_support.h"

using namespace lurmo;
using lurmo::test::TempFolder;

namespace {

int RunMapReport(const std::vector<std::wstring>& args, std::string& out, std::wstring& err) {
    std::ostringstream outStream;
    std::wostringstream errStream;
    const int status = RunReport(args, outStream, errStream);
    out = outStream.str();
    err = errStream.str();
    return status;
}

uint32_t BigEndian(const std::string& bytes, size_t at) {
    return (static_cast<uint32_t>(static_cast<unsigned char>(bytes[at])) << 24) |
           (static_cast<uint32_t>(static_cast<unsigned char>(bytes[at + 1])) << 16) |
           (static_cast<uint32_t>(static_cast<unsigned char>(bytes[at + 2])) << 8) |
           static_cast<unsigned char>(bytes[at + 3]);
}

std::string ReadWhole(const std::wstring& path) {
    std::ifstream file(path.c_str(), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

}  // namespace

TEST(MapReport, TreemapWritesAPngOfTheAskedSize) {
    TempFolder root;
    root.File(L"a\\b\\c.txt", 5000);
    root.File(L"d.bin", 3000);
    const std::wstring png = root / L"map.png";
    std::string out;
    std::wstring err;
    ASSERT_EQ(RunMapReport({L"--mode", L"tree", L"--treemap", png, L"--size", L"321x123", root.path()}, out, err), 0)
        << test::Narrow(err);
    const std::string bytes = ReadWhole(png);
    ASSERT_GT(bytes.size(), 33u);
    EXPECT_EQ(bytes.substr(0, 8), std::string("\x89PNG\r\n\x1a\n", 8));
    EXPECT_EQ(bytes.substr(12, 4), "IHDR");
    EXPECT_EQ(BigEndian(bytes, 16), 321u);
    EXPECT_EQ(BigEndian(bytes, 20), 123u);
    EXPECT_TRUE(out.empty());   // the picture replaces the rows
}

TEST(MapReport, AMapSizeThatIsNoSizeIsAUsageMistake) {
    TempFolder root;
    std::string out;
    std::wstring err;
    EXPECT_EQ(RunMapReport({L"--treemap", root / L"x.png", L"--size", L"0x10", root.path()}, out, err), 2);
    EXPECT_EQ(RunMapReport({L"--treemap", root / L"x.png", L"--size", L"12", root.path()}, out, err), 2);
    // --size keeps its first meaning.
    EXPECT_EQ(RunMapReport({L"--size", L"logical", root.path()}, out, err), 0);
}

TEST(MapReport, TypesTableAddsUpToTheTotalLargestFirst) {
    TempFolder root;
    root.File(L"x\\one.TXT", 700);
    root.File(L"x\\y\\two.txt", 300);
    root.File(L"pic.jpg", 2500);
    root.File(L"README", 40);
    std::string out;
    std::wstring err;
    ASSERT_EQ(RunMapReport({L"--mode", L"tree", L"--size", L"logical", L"--types", L"--format", L"csv", root.path()}, out, err), 0);
    std::istringstream lines(out);
    std::string line;
    std::getline(lines, line);   // the header
    std::vector<std::string> names;
    std::vector<uint64_t> bytes, files;
    while (std::getline(lines, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        std::istringstream fields(line);
        std::string name, size, percent, count;
        std::getline(fields, name, ',');
        std::getline(fields, size, ',');
        std::getline(fields, percent, ',');
        std::getline(fields, count, ',');
        names.push_back(name);
        bytes.push_back(std::stoull(size));
        files.push_back(std::stoull(count));
    }
    ASSERT_EQ(names.size(), 3u);
    EXPECT_EQ(names[0], ".jpg");
    EXPECT_EQ(names[1], ".txt");
    EXPECT_EQ(files[1], 2u);
    EXPECT_EQ(bytes[0] + bytes[1] + bytes[2], 3540u);
    EXPECT_EQ(bytes[1], 1000u);
}
