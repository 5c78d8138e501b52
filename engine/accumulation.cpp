#include "engine/accumulation.h"

#include <memory>
#include <utility>

#include "engine/folder_tree.h"

namespace lurmo {

namespace {

bool IsFolder(const WIN32_FIND_DATAW& data) { return (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0; }

SnapshotEntry* MakeSnapshotEntry(const WIN32_FIND_DATAW& data, uint64_t size) {
    auto entry = std::make_unique<SnapshotEntry>();
    entry->name = data.cFileName;
    entry->kind = IsFolder(data) ? 0 : KindFromAttributes(data.dwFileAttributes);
    MarkShortcut(*entry);
    entry->size = size;
    entry->time = ToLocalFileTime(data.ftLastWriteTime);
    return entry.release();
}

// Owns a record until a sink takes it, so a failure on the way releases it.
template <typename Entry>
struct EntryOwner {
    Entry* entry;
    ~EntryOwner() { ReleaseRowEntry(entry, false); }
    Entry* release() { return std::exchange(entry, nullptr); }
};

// One child in file-operation mode. False when the run was cancelled meanwhile; the
// child is then discarded.
bool MeasureTreeChild(RunParameters& params, const WIN32_FIND_DATAW& data, const RunSink& sink,
                      RunResult& result) {
    if (IsFolder(data)) {
        EntryOwner<FolderEntry> entry{MakeFolderEntry(data)};
        if (MayEnterFolder(params, data, params.nameSlot)) FillFolder(params, entry.entry, params.nameSlot);
        if (IsCancelled(params)) return false;
        result.grandTotal += entry.entry->size;
        ++result.rowCount;
        sink.folderRow(entry.release());
    } else {
        WriteName(params, params.nameSlot, data.cFileName);
        EntryOwner<FileEntry> entry{MakeFileEntry(params, data)};
        if (IsCancelled(params)) return false;
        MarkShortcut(*entry.entry);
        result.grandTotal += entry.entry->size;
        ++result.rowCount;
        sink.fileRow(entry.release());
    }
    return true;
}

// One child in snapshot mode: the row is kept even when the cancel request arrives
// while it is measured, except for a folder whose sum was cut short.
bool MeasureSnapshotChild(RunParameters& params, const WIN32_FIND_DATAW& data, const RunSink& sink,
                          RunResult& result) {
    uint64_t size = 0;
    if (IsFolder(data)) {
        if (MayEnterFolder(params, data, params.nameSlot)) size = SumFolder(params, params.nameSlot, data.cFileName);
        if (IsCancelled(params)) return false;
    } else {
        size = MeasureFileSize(params, data, params.nameSlot);
    }
    result.grandTotal += size;
    ++result.rowCount;
    sink.snapshotRow(MakeSnapshotEntry(data, size));
    return !IsCancelled(params);
}

}  // namespace

RunResult MeasureChildren(RunParameters& params, bool snapshotMode, const RunSink& sink) {
    RunResult result;
    WIN32_FIND_DATAW data;
    WriteName(params, params.nameSlot, L"");
    std::wstring target = params.path;
    unique_hfind find = OpenEnumeration(target, data);
    if (!find) {
        // A volume root lists no "." and "..", so an empty one has nothing to find at all:
        // that is an empty target, not one that could not be read.
        const DWORD error = GetLastError();
        result.unreadable = error != ERROR_FILE_NOT_FOUND && error != ERROR_NO_MORE_FILES;
        return result;
    }
    do {
        if (IsDotEntry(data)) continue;
        const bool goOn = snapshotMode ? MeasureSnapshotChild(params, data, sink, result)
                                       : MeasureTreeChild(params, data, sink, result);
        if (!goOn) {
            result.outcome = RunOutcome::Cancelled;
            return result;
        }
    } while (NextEnumeration(find.get(), data));
    return result;
}

std::map<std::wstring, uint64_t> MeasureChildSizes(RunParameters& params) {
    std::map<std::wstring, uint64_t> sizes;
    RunSink sink;
    sink.snapshotRow = [&sizes](SnapshotEntry* entry) {
        sizes[entry->name] = entry->size;
        ReleaseRowEntry(entry, true);
    };
    MeasureChildren(params, true, sink);
    return sizes;
}

}  // namespace lurmo
