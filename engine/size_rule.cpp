#include "engine/size_rule.h"

#include <memory>

#include "engine/error_report.h"

namespace lurmo {

namespace {

uint64_t LogicalSize(const WIN32_FIND_DATAW& data) {
    return (uint64_t{data.nFileSizeHigh} << 32) | data.nFileSizeLow;
}

uint64_t MeasureUsedSize(RunParameters& params, const WIN32_FIND_DATAW& data, bool oneClusterMinimum) {
    if (!(data.dwFileAttributes & FILE_ATTRIBUTE_COMPRESSED)) {
        return RoundUpToClusters(LogicalSize(data), params.clusterSize);
    }
    uint64_t compressed = 0;
    if (!QueryCompressedSize(params.path.c_str(), &compressed)) {
        // The compressed size cannot be had: count the space the data would take uncompressed.
        return RoundUpToClusters(LogicalSize(data), params.clusterSize);
    }
    if (oneClusterMinimum && compressed < params.clusterSize) return params.clusterSize;
    return compressed;
}

}  // namespace

uint64_t RoundUpToClusters(uint64_t logical, uint32_t cluster) {
    if (cluster == 0) return logical;
    const uint64_t c = cluster;
    const uint64_t clusters = logical / c + (logical % c ? 1 : 0);
    // A size in the last partial cluster below 2^64 cannot be rounded up; it keeps the
    // largest whole-cluster size rather than wrapping to 0.
    if (clusters > UINT64_MAX / c) return (UINT64_MAX / c) * c;
    return clusters * c;
}

bool IsCancelled(const RunParameters& params) {
    return (params.cancel && params.cancel->load(std::memory_order_relaxed) != 0) ||
           (params.halt && params.halt->load(std::memory_order_relaxed) != 0);
}

bool SetScanTarget(RunParameters& params, std::wstring_view target) {
    std::wstring path = MakeExtendedPath(target);
    if (path.empty()) return false;
    if (path.back() != L'\\') path.push_back(L'\\');
    params.path = std::move(path);
    params.nameSlot = params.path.size();
    // A ledger belongs to one target: what its links reached says nothing of another.
    if (params.links && params.links->walkRoot != LinkWalkRoot(params)) params.links.reset();
    return true;
}

void WriteName(RunParameters& params, size_t position, std::wstring_view name) {
    // Every position follows a separator; after a deeper name was cut off the separator
    // may not be written yet.
    params.path.resize(position);
    if (position > 0) params.path[position - 1] = L'\\';
    params.path.append(name);
}

bool QueryClusterSize(RunParameters& params, const wchar_t* path) {
    // The volume is asked through the folder with a trailing backslash (a bare "C:" becomes
    // its root); the message shows the path as it was given.
    std::wstring folder(path);
    if (folder.empty() || folder.back() != L'\\') folder.push_back(L'\\');
    DWORD sectorsPerCluster = 0, bytesPerSector = 0, freeClusters = 0, totalClusters = 0;
    if (!GetDiskFreeSpaceW(folder.c_str(), &sectorsPerCluster, &bytesPerSector, &freeClusters, &totalClusters)) {
        ReportError(L"読み取りできませんでした. : " + std::wstring(path));
        return false;
    }
    params.clusterSize = sectorsPerCluster * bytesPerSector;
    return true;
}

uint64_t MeasureFileSize(RunParameters& params, const WIN32_FIND_DATAW& data, size_t position) {
    if (!params.usedSize) return LogicalSize(data);
    if (data.dwFileAttributes & FILE_ATTRIBUTE_COMPRESSED) WriteName(params, position, data.cFileName);
    return MeasureUsedSize(params, data, true);
}

uint64_t RemeasureFileSize(RunParameters& params, const WIN32_FIND_DATAW& data) {
    if (!params.usedSize) return LogicalSize(data);
    return MeasureUsedSize(params, data, false);
}

uint32_t KindFromAttributes(DWORD attributes) {
    uint32_t kind = (attributes & FILE_ATTRIBUTE_DIRECTORY) ? 0 : kKindFile;
    if (attributes & FILE_ATTRIBUTE_COMPRESSED) kind |= kKindCompressed;
    if (attributes & FILE_ATTRIBUTE_ENCRYPTED) kind |= kKindEncrypted;
    return kind;
}

FileEntry* MakeFileEntry(RunParameters& params, const WIN32_FIND_DATAW& data) {
    auto entry = std::make_unique<FileEntry>();
    entry->name = data.cFileName;
    entry->kind = KindFromAttributes(data.dwFileAttributes);
    entry->size = MeasureFileSize(params, data, params.nameSlot);
    entry->time = ToLocalFileTime(data.ftLastWriteTime);
    return entry.release();
}

FolderEntry* MakeFolderEntry(const WIN32_FIND_DATAW& data) {
    auto entry = std::make_unique<FolderEntry>();
    entry->name = data.cFileName;
    entry->kind = KindFromAttributes(data.dwFileAttributes);
    entry->size = 0;
    entry->time = ToLocalFileTime(data.ftLastWriteTime);
    return entry.release();
}

Node* MakeFileNode(RunParameters& params, NodeArena& arena, const WIN32_FIND_DATAW& data, bool count,
                   size_t position) {
    Node* node = NewNode(arena, false, data.cFileName);
    if (data.dwFileAttributes & FILE_ATTRIBUTE_COMPRESSED) node->kind |= kKindCompressed;
    node->size = count ? MeasureFileSize(params, data, position) : 0;
    return node;
}

Node* MakeFolderNode(NodeArena& arena, const WIN32_FIND_DATAW& data) {
    return NewNode(arena, true, data.cFileName);
}

uint64_t RefreshFileNodeSize(RunParameters& params, const WIN32_FIND_DATAW& data, Node* node) {
    if (!(node->kind & kKindFile)) return node->size;
    if (data.dwFileAttributes & FILE_ATTRIBUTE_COMPRESSED) node->kind |= kKindCompressed;
    else node->kind &= ~kKindCompressed;
    node->size = RemeasureFileSize(params, data);
    return node->size;
}

}  // namespace lurmo
