// The measured tree in the JSON export format of ncdu (format 1.2), which ncdu and other
// disk-usage tools import: [1, 2, {metadata}, [{root}, child, ...]], a folder written as
// an array whose first element describes it, a file as an object.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/entries.h"

namespace lurmo {

// The used size of a file from its logical size; relativePath (below the root, "\"
// separated) is given for a compressed file, whose used size only the file system knows.
using UsedSizeOf = std::function<uint64_t(std::wstring_view relativePath, uint64_t logical, bool compressed)>;

struct NcduHeader {
    std::wstring rootName;     // the measured folder as the importing tool will show it
    std::string programVersion;
    uint64_t timestamp = 0;    // seconds since 1970
};

// rows are the records of a run in file-operation mode measured with logical sizes:
// FileEntry rows and FolderEntry rows with their trees. A folder's own entry has size 0.
std::string BuildNcduExport(const NcduHeader& header, const std::vector<RowEntry*>& rows,
                            const UsedSizeOf& usedSizeOf);

// The text as a JSON string literal, quoted, in UTF-8 (a lone surrogate becomes U+FFFD).
std::string QuoteJsonString(std::wstring_view text);

}  // namespace lurmo
