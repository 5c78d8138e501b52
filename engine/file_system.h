// How the engine asks the file system: long-path-safe names, folder enumeration, single
// item lookups, and the small probes through which tests feed what Wine or a test run
// as root never shows: compressed and encrypted files, folders that cannot be read.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "engine/handles.h"

namespace lurmo {

// Turns a user-facing path into the extended-length form ("\\?\C:\..." or
// "\\?\UNC\server\share\..."), so that items deeper than 260 characters are still read.
// The result has no trailing backslash unless it is a volume root. Empty on failure.
std::wstring MakeExtendedPath(std::wstring_view path);

bool IsDotEntry(const WIN32_FIND_DATAW& data);

// True when the program runs under Wine (its ntdll exports wine_get_version), where a few
// system behaviours differ from Windows and are made up for.
bool IsWine();

// Enumerates the folder whose full path is the whole of `folder` (no trailing backslash,
// except for a volume root). The first entry returned may be "." or ".."; callers skip
// those by name.
unique_hfind OpenEnumeration(std::wstring& folder, WIN32_FIND_DATAW& data);
bool NextEnumeration(HANDLE find, WIN32_FIND_DATAW& data);
// Reads a folder's entries many at a time straight from the system's directory query,
// without the short names and per-entry calls a find handle costs; where that query is
// not to be had, it reads through a find handle instead. Entries come as find data.
struct FolderReader {
    unique_hfile folder;
    unique_hfind find;                  // the fallback
    std::vector<ULONGLONG> buffer;      // kept between folders
    size_t offset = 0;                  // of the next entry in the buffer
    size_t filled = 0;                  // bytes the last query returned; 0 for none left
    // Set when the folder could not be opened or a read of it failed before its end:
    // what was read is all there is, and the folder is not whole.
    bool failed = false;
    unsigned queries = 0;               // directory queries made on this folder
    std::wstring probedFolder;          // the folder's path, kept only while a probe is installed
};

// Opens the folder whose full path is `folder` and reads its first entry into data.
// False when it cannot be read (failed is then set) or holds nothing at all.
bool OpenFolderReader(FolderReader& reader, std::wstring& folder, WIN32_FIND_DATAW& data);
bool NextFolderEntry(FolderReader& reader, WIN32_FIND_DATAW& data);
void CloseFolderReader(FolderReader& reader);

// Reads the find data of one item.
bool FindItem(const std::wstring& fullPath, WIN32_FIND_DATAW& data);

struct CompressionProbe {
    // The attributes to use for an enumerated item.
    DWORD (*attributes)(const WIN32_FIND_DATAW& data);
    // The compressed size of the file at fullPath; false when it cannot be read.
    bool (*compressedSize)(const wchar_t* fullPath, uint64_t* size);
};

// Null restores the real file system. Returns the probe that was installed before.
const CompressionProbe* InstallCompressionProbe(const CompressionProbe* probe);
bool QueryCompressedSize(const wchar_t* fullPath, uint64_t* size);

struct EnumerationProbe {
    // True when the enumeration of the folder (its full path as OpenEnumeration has it)
    // is to fail as an unreadable folder's does, with ERROR_ACCESS_DENIED.
    bool (*refuses)(const std::wstring& folder);
    // Null, or the status the directory query is to report for the folder's query number
    // `query` (0 first) instead of its own; 0 keeps the query's own. The query is made all
    // the same, so the reader meets the status where a failing system would give it.
    LONG (*queryStatus)(const std::wstring& folder, unsigned query) = nullptr;
};

// Null restores the real file system. Returns the probe that was installed before.
const EnumerationProbe* InstallEnumerationProbe(const EnumerationProbe* probe);

// Where the item at `path` lies once every link on its way is followed, as the system
// resolves it ("\\?\C:\..."). False when it cannot be opened, or the system cannot say
// (GetFinalPathNameByHandleW came with Windows Vista).
bool ResolveFinalPath(const std::wstring& path, std::wstring& final);

}  // namespace lurmo
