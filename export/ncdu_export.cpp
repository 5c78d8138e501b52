#include "export/ncdu_export.h"

#include <windows.h>

#include <cstdio>

namespace lurmo {

namespace {

void AppendNumber(std::string& out, uint64_t value) {
    char digits[24];
    const int length = std::snprintf(digits, sizeof digits, "%llu", static_cast<unsigned long long>(value));
    out.append(digits, static_cast<size_t>(length));
}

void AppendItem(std::string& out, std::wstring_view name, uint64_t logical, uint64_t used) {
    out += "{\"name\":";
    out += QuoteJsonString(name);
    out += ",\"asize\":";
    AppendNumber(out, logical);
    out += ",\"dsize\":";
    AppendNumber(out, used);
    out += '}';
}

// One folder being written: its children, the next to write, and where its own name
// ends in the relative path.
struct Frame {
    std::vector<const Node*> children;
    size_t next = 0;
    size_t pathLength = 0;
};

void CollectChildren(const ChildMap& map, Frame& frame) {
    frame.children.reserve(map.count);
    VisitChildren(map, [&frame](const Node* node) { frame.children.push_back(node); });
}

// A folder's tree, written without recursion: a tree may be thousands of folders deep.
void AppendTree(std::string& out, const FolderEntry& entry, const UsedSizeOf& usedSizeOf) {
    std::wstring path = entry.name;
    std::vector<Frame> stack(1);
    stack.back().pathLength = path.size();
    CollectChildren(entry.children, stack.back());
    while (!stack.empty()) {
        Frame& frame = stack.back();
        if (frame.next == frame.children.size()) {
            out += ']';
            stack.pop_back();
            continue;
        }
        const Node* node = frame.children[frame.next++];
        NameBuffer buffer;
        const std::wstring_view name = NodeName(node, buffer);
        out += ',';
        path.resize(frame.pathLength);
        path += L'\\';
        path += name;
        if (node->kind & kKindFile) {
            const uint64_t used = usedSizeOf(path, node->size, (node->kind & kKindCompressed) != 0);
            AppendItem(out, name, node->size, used);
            continue;
        }
        out += '[';
        AppendItem(out, name, 0, 0);
        Frame child;
        child.pathLength = path.size();
        CollectChildren(static_cast<const FolderNode*>(node)->children, child);
        stack.push_back(std::move(child));
    }
}

}  // namespace

std::string QuoteJsonString(std::wstring_view text) {
    std::string out = "\"";
    std::string utf8;
    if (!text.empty()) {
        const int length = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0,
                                               nullptr, nullptr);
        utf8.resize(length > 0 ? static_cast<size_t>(length) : 0);
        if (length > 0) {
            WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), utf8.data(), length, nullptr,
                                nullptr);
        }
    }
    for (const char c : utf8) {
        const unsigned char u = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (u < 0x20) {
            char escape[8];
            std::snprintf(escape, sizeof escape, "\\u%04x", u);
            out += escape;
        } else {
            out += c;
        }
    }
    out += '"';
    return out;
}

std::string BuildNcduExport(const NcduHeader& header, const std::vector<RowEntry*>& rows,
                            const UsedSizeOf& usedSizeOf) {
    std::string out = "[1,2,{\"progname\":\"lurmo-report\",\"progver\":";
    out += QuoteJsonString(std::wstring(header.programVersion.begin(), header.programVersion.end()));
    out += ",\"timestamp\":";
    AppendNumber(out, header.timestamp);
    out += "},\n[";
    AppendItem(out, header.rootName, 0, 0);
    for (const RowEntry* row : rows) {
        out += ",\n";
        if (row->kind & kKindFile) {
            AppendItem(out, row->name, row->size,
                       usedSizeOf(row->name, row->size, (row->kind & kKindCompressed) != 0));
            continue;
        }
        out += '[';
        AppendItem(out, row->name, 0, 0);
        AppendTree(out, *static_cast<const FolderEntry*>(row), usedSizeOf);
    }
    out += "]]\n";
    return out;
}

}  // namespace lurmo
