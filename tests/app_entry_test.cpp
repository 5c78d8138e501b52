// The command line split and what a further instance is handed.
#include <gtest/gtest.h>

#include "app/command_line.h"

using namespace lurmo;

TEST(CommandLine, SplitsTheFirstArgumentFromTheRest) {
    struct Case {
        const wchar_t* line;
        const wchar_t* target;
        const wchar_t* rest;
    };
    const Case cases[] = {
        {L"", L"", L""},
        {L"   ", L"", L""},
        {L"C:\\Data", L"C:\\Data", L""},
        {L"  C:\\Data", L"C:\\Data", L""},
        {L"\"C:\\My Data\" D:\\Other", L"C:\\My Data", L" D:\\Other"},
        {L"C:\\a C:\\b C:\\c", L"C:\\a", L"C:\\b C:\\c"},
        {L"\"C:\\No End", L"C:\\No End", L""},
        {L"C:\\a ", L"C:\\a", L""},
        {L"C:\\a\tmore", L"C:\\a\tmore", L""},
        {L"\t\"x\"", L"x", L""},
    };
    for (const Case& c : cases) {
        const CommandLineSplit split = SplitCommandLine(c.line);
        EXPECT_EQ(split.target, c.target) << c.line;
        EXPECT_EQ(split.rest, c.rest) << c.line;
    }
    EXPECT_EQ(SplitCommandLine(nullptr).target, L"");
}

// A target too long for the window is kept whole, so that the refusal names it.
TEST(CommandLine, ALongTargetIsKeptWhole) {
    const std::wstring longPath(400, L'x');
    EXPECT_EQ(SplitCommandLine(longPath.c_str()).target, longPath);
    EXPECT_EQ(SplitCommandLine((L"\"" + longPath + L"\" rest").c_str()).target, longPath);
}

TEST(CommandLine, FurtherInstancesFormAChain) {
    // Each instance hands on everything after its own first argument as it stands; its
    // own path is quoted, or a blank in it (Program Files) would end the program name
    // early and make the rest of the path the next instance's target.
    const CommandLineSplit first = SplitCommandLine(L"\"C:\\My Data\" D:\\b E:\\c");
    const std::wstring second = FurtherInstanceCommandLine(L"C:\\Program Files\\lurmo.exe", first.rest);
    EXPECT_EQ(second, L"\"C:\\Program Files\\lurmo.exe\"  D:\\b E:\\c");
    // The runtime hands the second instance the text after its own program name.
    const CommandLineSplit secondSplit = SplitCommandLine(L" D:\\b E:\\c");
    EXPECT_EQ(secondSplit.target, L"D:\\b");
    EXPECT_EQ(secondSplit.rest, L"E:\\c");
    const CommandLineSplit third = SplitCommandLine(secondSplit.rest.c_str());
    EXPECT_EQ(third.target, L"E:\\c");
    EXPECT_EQ(third.rest, L"");
}

TEST(CommandLine, ExecutablePathNamesThisProgram) {
    const std::wstring path = ExecutablePath();
    ASSERT_GT(path.size(), 4u);
    EXPECT_EQ(path.substr(path.size() - 4), L".exe");
    EXPECT_NE(GetFileAttributesW(path.c_str()), INVALID_FILE_ATTRIBUTES);
}
