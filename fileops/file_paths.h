// The path rules the file operations share: names and folders of full paths, case-blind
// comparison, and the limit of MAX_PATH that every path handed to the shell must keep.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

namespace lurmo {

// The part after the last backslash; the whole path when it has none.
std::wstring NameOf(const std::wstring& path);
// The part before the last backslash; empty when it has none.
std::wstring FolderOf(const std::wstring& path);
// The folder and the name joined by one backslash (a drive root keeps its own).
std::wstring JoinPath(const std::wstring& folder, const std::wstring& name);
// The extension of the last name of the path, with its dot; empty when it has none.
std::wstring ExtensionOf(const std::wstring& path);

// Equal paths, letters compared without regard to case.
bool SamePath(const std::wstring& a, const std::wstring& b);
// True when `path` is `folder` itself or lies anywhere below it.
bool IsSameOrInside(const std::wstring& path, const std::wstring& folder);

// True when the path and its terminator fit a buffer of MAX_PATH units.
bool FitsPathBuffer(const std::wstring& path);
// Tells the user that a path is too long to be handled.
void ReportPathTooLong(const std::wstring& path);
bool IsExistingFolder(const std::wstring& path);
bool ItemExists(const std::wstring& path);

// The form of a full path that the file system takes as it stands ("\\?\C:\..."): no
// name loses a trailing dot or blank, and no length limit applies. The path itself when
// it cannot be made.
std::wstring ExtendedForm(const std::wstring& path);
// True when a name on the path ends in a dot or a blank: the ordinary path rules strip
// them, so a call given the ordinary path acts on another item ("g." becomes "g").
bool IsNameAlteredByPathRules(const std::wstring& path);
// Whether a path from another program is a full path ("C:\..." or "\\server\share\...")
// holding no character a path cannot; a relative one would be read against the working
// folder, which names nothing the other program meant.
bool IsWellFormedFullPath(const std::wstring& path);
// Reports the first path that is not; false when there was one.
bool FullPathsOnly(const std::vector<std::wstring>& paths);
// Tells the user that the item cannot be handed to a call that would act on another one.
void ReportAlteredName(const std::wstring& path);
// Each path whose name the path rules would change is reported; false when there was one.
bool NamesKept(const std::vector<std::wstring>& paths);

// What an item holds: a file's size, or a folder's files, sub-folders and bytes, read
// through the extended form; `longest` is the longest path inside it relative to the item
// (0 for a file), so that the item's own path plus `longest` is the longest path a copy of
// it would need.
struct TreeSize {
    bool exists = false;
    bool folder = false;
    uint64_t bytes = 0;
    uint64_t files = 0;
    uint64_t folders = 0;
    size_t longest = 0;
    FILETIME written{};
    bool SameContent(const TreeSize& other) const {
        return exists == other.exists && folder == other.folder && bytes == other.bytes && files == other.files &&
               folders == other.folders;
    }
};
TreeSize MeasureTree(const std::wstring& path);

// Deletes the item and everything in it through the extended form; the paths of what
// could not be deleted are added to `left`. True when nothing is left.
bool DeleteTree(const std::wstring& path, std::vector<std::wstring>& left);

}  // namespace lurmo
