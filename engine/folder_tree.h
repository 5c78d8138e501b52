// Measuring a folder's whole subtree, kept as a tree (file-operation mode) or only
// summed (snapshot mode), and the four changes a notice can make to a kept tree.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string_view>

#include "engine/entries.h"
#include "engine/size_rule.h"

namespace lurmo {

// Measures the folder named by entry->name at position of the path and builds its tree;
// leaves the total in entry->size. A folder that cannot be read keeps size 0. Links
// below it count by the link rules.
void FillFolder(RunParameters& params, FolderEntry* entry, size_t position);

// The same for a folder found as data, which may itself be a link: then it is measured
// by the link rules (0, or what it reaches outside the target that no link reached yet).
void MeasureFolderEntry(RunParameters& params, const WIN32_FIND_DATAW& data, FolderEntry* entry, size_t position);

// Total of the folder `name` at position of the path, keeping nothing. 0 when cancelled.
uint64_t SumFolder(RunParameters& params, size_t position, std::wstring_view name);

// Relative paths below are relative to the entry: the components below the top-level
// folder, separated by "\". A path through a file or an unknown folder changes nothing.

// The path holds the new file's full path; the file is counted from its find data.
// A folder adds nothing here: it is measured apart and placed with TreeGraftFolder.
// Returns the bytes added.
uint64_t TreeAddItem(RunParameters& params, std::wstring_view relativePath, FolderEntry* entry,
                     const WIN32_FIND_DATAW& data);
// Places a folder measured apart (on another thread, into its own entry) at the relative
// path: its nodes move into the entry's arena and its bytes onto the folders above.
// Nothing happens, and 0 is returned, when the path's parent is not a known folder or the
// name is taken already; `measured` is then left as it was. Returns the bytes added.
uint64_t TreeGraftFolder(std::wstring_view relativePath, FolderEntry* entry, FolderEntry* measured);
// Gives the entry the tree and total of a folder measured apart in its place (the same
// folder made again, or measured again); the old tree is released, `measured` left empty.
void TreeReplaceAll(FolderEntry* entry, FolderEntry* measured);
// The node at the relative path; null when it or a folder on the way is unknown.
const Node* TreeFindItem(std::wstring_view relativePath, FolderEntry* entry);
// True when the relative path's parent is a known folder (the name may be taken).
bool TreeKnowsParent(std::wstring_view relativePath, FolderEntry* entry);
// Returns the bytes removed.
uint64_t TreeRemoveItem(std::wstring_view relativePath, FolderEntry* entry);
// The path holds the item's full path. Returns the entry's new total.
uint64_t TreeUpdateItem(RunParameters& params, std::wstring_view relativePath, FolderEntry* entry,
                        const WIN32_FIND_DATAW& data);
// Only the text after the last "\" of newName is used. When another item already holds
// the new name, the renamed item replaces it (as the file system did); the bytes of the
// replaced item are removed from the totals and returned.
uint64_t TreeRenameItem(std::wstring_view oldRelativePath, FolderEntry* entry, std::wstring_view newName);

// Nodes in the tree, and the bytes its arena holds, for the benchmark's memory figure.
struct TreeCensus {
    uint64_t nodes = 0;
    uint64_t bytes = 0;
};
TreeCensus CountTree(const FolderEntry* entry);

}  // namespace lurmo
