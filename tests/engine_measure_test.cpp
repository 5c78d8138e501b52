// The size rule: logical and used sizes, compressed files through the probe, the
// cluster size of a real volume and long-path forms.
#include <gtest/gtest.h>

#include <map>
#include <string>

#include "engine/error_report.h"
#include "engine/size_rule.h"
#include "tests/test_support.h"

using namespace lurmo;
using lurmo::test::TempFolder;

namespace {

WIN32_FIND_DATAW FindData(const wchar_t* name, uint64_t size, DWORD attributes = FILE_ATTRIBUTE_ARCHIVE) {
    WIN32_FIND_DATAW data{};
    wcscpy_s(data.cFileName, name);
    data.nFileSizeHigh = static_cast<DWORD>(size >> 32);
    data.nFileSizeLow = static_cast<DWORD>(size);
    data.dwFileAttributes = attributes;
    return data;
}

RunParameters Params(bool used, uint32_t cluster = 4096) {
    RunParameters params;
    params.usedSize = used;
    params.clusterSize = cluster;
    SetScanTarget(params, L"C:\\target\\");
    return params;
}

// A probe that reports files named c_* as compressed, with sizes from a table.
std::map<std::wstring, uint64_t> g_compressed;
std::wstring g_lastAsked;
bool g_failQuery = false;

DWORD ProbeAttributes(const WIN32_FIND_DATAW& data) {
    DWORD attributes = data.dwFileAttributes;
    if (wcsncmp(data.cFileName, L"c_", 2) == 0) attributes |= FILE_ATTRIBUTE_COMPRESSED;
    return attributes;
}

bool ProbeCompressedSize(const wchar_t* path, uint64_t* size) {
    g_lastAsked = path;
    if (g_failQuery) return false;
    const std::wstring full(path);
    const std::wstring name = full.substr(full.rfind(L'\\') + 1);
    auto it = g_compressed.find(name);
    if (it == g_compressed.end()) return false;
    *size = it->second;
    return true;
}

const CompressionProbe kProbe{ProbeAttributes, ProbeCompressedSize};

struct ProbeScope {
    ProbeScope() { InstallCompressionProbe(&kProbe); }
    ~ProbeScope() {
        InstallCompressionProbe(nullptr);
        g_compressed.clear();
        g_failQuery = false;
    }
};

std::wstring g_reported;
void CaptureReport(const std::wstring& text) { g_reported = text; }

}  // namespace

TEST(SizeRule, UsedSizeRoundsUpToWholeClusters) {
    RunParameters params = Params(true);
    const std::pair<uint64_t, uint64_t> cases[] = {{0, 0},       {1, 4096},     {4095, 4096},
                                                   {4096, 4096}, {4097, 8192},  {1ull << 32, 1ull << 32},
                                                   {(1ull << 32) + 1, (1ull << 32) + 4096}};
    for (auto [logical, used] : cases) {
        WIN32_FIND_DATAW data = FindData(L"f.bin", logical);
        EXPECT_EQ(MeasureFileSize(params, data, params.nameSlot), used) << logical;
        EXPECT_EQ(RemeasureFileSize(params, data), used) << logical;
    }
    // The largest sizes must not wrap to zero while being rounded.
    WIN32_FIND_DATAW huge = FindData(L"huge", ~0ull - 100);
    EXPECT_EQ(MeasureFileSize(params, huge, params.nameSlot), ~0ull - 4095);
}

TEST(SizeRule, LogicalSizeCarriesTheHighWord) {
    RunParameters params = Params(false);
    for (uint64_t size : {0ull, 1ull, 4097ull, 1ull << 32, (1ull << 32) + 5, 0xFFFFFFFFFFFFull}) {
        WIN32_FIND_DATAW data = FindData(L"f.bin", size, FILE_ATTRIBUTE_COMPRESSED);
        EXPECT_EQ(MeasureFileSize(params, data, params.nameSlot), size);
    }
}

TEST(SizeRule, CompressedFilesTakeTheirCompressedSize) {
    ProbeScope probe;
    RunParameters params = Params(true);
    g_compressed = {{L"c_empty", 0}, {L"c_small", 100}, {L"c_big", 10000}};

    const WIN32_FIND_DATAW empty = FindData(L"c_empty", 0, FILE_ATTRIBUTE_COMPRESSED);
    const WIN32_FIND_DATAW small = FindData(L"c_small", 5000, FILE_ATTRIBUTE_COMPRESSED);
    const WIN32_FIND_DATAW big = FindData(L"c_big", 50000, FILE_ATTRIBUTE_COMPRESSED);
    // When an item is first measured, even an empty compressed file counts one cluster,
    // and one cluster or more is taken unrounded.
    EXPECT_EQ(MeasureFileSize(params, empty, params.nameSlot), 4096u);
    EXPECT_EQ(g_lastAsked, L"\\\\?\\C:\\target\\c_empty");
    EXPECT_EQ(MeasureFileSize(params, small, params.nameSlot), 4096u);
    EXPECT_EQ(MeasureFileSize(params, big, params.nameSlot), 10000u);
    // A file measured again after a change takes the compressed size as returned.
    WriteName(params, params.nameSlot, L"c_small");
    EXPECT_EQ(RemeasureFileSize(params, small), 100u);
    WriteName(params, params.nameSlot, L"c_empty");
    EXPECT_EQ(RemeasureFileSize(params, empty), 0u);

    // The name goes where the caller says: deeper files are asked for by their full path.
    WriteName(params, params.nameSlot, L"Docs");
    MeasureFileSize(params, big, params.nameSlot + 5);
    EXPECT_EQ(g_lastAsked, L"\\\\?\\C:\\target\\Docs\\c_big");

    // A size that cannot be read counts what the data would take uncompressed.
    g_failQuery = true;
    EXPECT_EQ(MeasureFileSize(params, small, params.nameSlot), 8192u);
}

TEST(SizeRule, RefreshFollowsTheNewCompressedAttribute) {
    ProbeScope probe;
    RunParameters params = Params(true);
    NodeArena arena;
    g_compressed = {{L"c_file", 300}};
    WIN32_FIND_DATAW plain = FindData(L"c_file", 5000);
    Node* node = MakeFileNode(params, arena, plain, true, params.nameSlot);
    EXPECT_EQ(node->kind, kKindFile);
    EXPECT_EQ(node->size, 8192u);

    WriteName(params, params.nameSlot, L"c_file");
    WIN32_FIND_DATAW compressed = FindData(L"c_file", 5000, FILE_ATTRIBUTE_COMPRESSED);
    EXPECT_EQ(RefreshFileNodeSize(params, compressed, node), 300u);
    EXPECT_EQ(node->kind, kKindFile | kKindCompressed);
    EXPECT_EQ(RefreshFileNodeSize(params, plain, node), 8192u);
    EXPECT_EQ(node->kind, kKindFile);

    Node* uncounted = MakeFileNode(params, arena, compressed, false, params.nameSlot);
    EXPECT_EQ(uncounted->size, 0u);
    EXPECT_EQ(uncounted->kind, kKindFile | kKindCompressed);

    Node* folder = MakeFolderNode(arena, FindData(L"dir", 0, FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_COMPRESSED));
    folder->size = 77;
    EXPECT_EQ(folder->kind, 0u);
    EXPECT_EQ(RefreshFileNodeSize(params, compressed, folder), 77u);
}

TEST(SizeRule, EntriesTakeKindSizeAndLocalTime) {
    RunParameters params = Params(true);
    WIN32_FIND_DATAW data = FindData(L"Setup.LNK", 10, FILE_ATTRIBUTE_ENCRYPTED);
    SYSTEMTIME st{2010, 3, 0, 7, 9, 5, 0, 0};
    SystemTimeToFileTime(&st, &data.ftLastWriteTime);
    FileEntry* file = MakeFileEntry(params, data);
    EXPECT_EQ(file->name, L"Setup.LNK");
    EXPECT_EQ(file->kind, kKindFile | kKindEncrypted);  // the shortcut bit is the row writer's
    EXPECT_EQ(file->size, 4096u);
    FILETIME local;
    FileTimeToLocalFileTime(&data.ftLastWriteTime, &local);
    EXPECT_EQ(CompareFileTime(&file->time, &local), 0);
    ReleaseRowEntry(file, false);

    FolderEntry* folder = MakeFolderEntry(FindData(L"Zip", 0, FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_COMPRESSED));
    EXPECT_EQ(folder->kind, kKindCompressed);
    EXPECT_EQ(folder->size, 0u);
    EXPECT_EQ(folder->children.count, 0u);
    ReleaseRowEntry(folder, false);
}

TEST(ClusterSize, IsReadFromTheVolumeAndFailureIsReported) {
    TempFolder folder;
    RunParameters params;
    ASSERT_TRUE(QueryClusterSize(params, (folder.path() + L"\\").c_str()));
    EXPECT_EQ(params.clusterSize, 4096u);

    ErrorReporter previous = SetErrorReporter(CaptureReport);
    params.clusterSize = 512;
    EXPECT_FALSE(QueryClusterSize(params, L"Q:\\no\\such\\volume\\"));
    EXPECT_EQ(params.clusterSize, 512u);
    EXPECT_EQ(g_reported, L"読み取りできませんでした. : Q:\\no\\such\\volume\\");
    // Without its backslash a folder is still asked for, and named as given.
    EXPECT_FALSE(QueryClusterSize(params, L"Q:\\no\\such"));
    EXPECT_EQ(g_reported, L"読み取りできませんでした. : Q:\\no\\such");
    SetErrorReporter(previous);
    params.clusterSize = 0;
    EXPECT_TRUE(QueryClusterSize(params, folder.path().c_str()));
    EXPECT_EQ(params.clusterSize, 4096u);
    params.clusterSize = 0;
    EXPECT_TRUE(QueryClusterSize(params, folder.path().substr(0, 2).c_str()));   // "C:"
    EXPECT_EQ(params.clusterSize, 4096u);
}

TEST(ExtendedPaths, ReachBeyondTheShortPathLimit) {
    EXPECT_EQ(MakeExtendedPath(L"C:\\Data\\"), L"\\\\?\\C:\\Data");
    EXPECT_EQ(MakeExtendedPath(L"C:\\"), L"\\\\?\\C:\\");
    EXPECT_EQ(MakeExtendedPath(L"C:\\a\\..\\b"), L"\\\\?\\C:\\b");
    EXPECT_EQ(MakeExtendedPath(L"\\\\server\\share\\dir\\"), L"\\\\?\\UNC\\server\\share\\dir");
    EXPECT_EQ(MakeExtendedPath(L"\\\\?\\C:\\x\\"), L"\\\\?\\C:\\x");
    EXPECT_EQ(MakeExtendedPath(L""), L"");

    RunParameters params;
    ASSERT_TRUE(SetScanTarget(params, L"C:\\Data"));
    EXPECT_EQ(params.path, L"\\\\?\\C:\\Data\\");
    EXPECT_EQ(params.nameSlot, params.path.size());
    ASSERT_TRUE(SetScanTarget(params, L"C:\\"));
    EXPECT_EQ(params.path, L"\\\\?\\C:\\");
}
