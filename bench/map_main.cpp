// lurmo-bench-map [FILES] [WxH] [--runs N]: lays out and draws the map of a tree of FILES
// files (default 1,000,000; sizes varied as on a real disk, folders ten wide and four
// deep) built in memory, then draws it again after one file grew, as after a change the
// watch applied (the file types of the rows whose trees did not change are kept).
// Prints the best times and a RESULT line.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cwchar>
#include <random>
#include <string>
#include <vector>

#include "map/treemap.h"

using namespace lurmo;


namespace {

double Seconds(LARGE_INTEGER from, LARGE_INTEGER to) {
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    return static_cast<double>(to.QuadPart - from.QuadPart) / static_cast<double>(frequency.QuadPart);
}

const wchar_t* const kExtensions[] = {L".txt", L".jpg", L".png", L".dll", L".exe", L".html", L".mp3", L".zip",
                                      L".c", L".h", L".pdf", L".doc", L".xml", L".mo", L".gz", L".bin"};

struct Builder {
    std::mt19937_64 random{25};
    uint64_t made = 0, wanted = 0;
    std::vector<Node*> path;

    // Sizes spread over six decades, most files small, as on a real disk.
    uint64_t NextSize() {
        std::lognormal_distribution<double> sizes(8.0, 2.5);
        return static_cast<uint64_t>(std::min(sizes(random), 4e9)) + 1;
    }

    void AddFile(FolderEntry* row, ChildMap& map, int index) {
        const std::wstring name = L"file" + std::to_wstring(index) + kExtensions[random() % std::size(kExtensions)];
        Node* node = NewNode(row->arena, false, name);
        node->size = NextSize();
        node->kind = 1;
        InsertChild(map, row->arena, node);
        row->size += node->size;
        for (Node* up : path) up->size = up->size + node->size;
        ++made;
    }

    void Fill(FolderEntry* row, ChildMap& map, int depth, uint64_t files) {
        if (depth == 0 || files <= 40) {
            for (uint64_t i = 0; i < files; ++i) AddFile(row, map, static_cast<int>(i));
            return;
        }
        for (int i = 0; i < 10; ++i) {
            Node* folder = NewNode(row->arena, true, L"folder" + std::to_wstring(i));
            folder->size = 0;
            InsertChild(map, row->arena, folder);
            path.push_back(folder);
            Fill(row, static_cast<FolderNode*>(folder)->children, depth - 1, files / 10);
            path.pop_back();
        }
    }
};

}  // namespace

int wmain(int argc, wchar_t** argv) {
    uint64_t files = 1000000;
    int width = 1024, height = 600, runs = 5;
    for (int i = 1; i < argc; ++i) {
        if (std::wcscmp(argv[i], L"--runs") == 0 && i + 1 < argc) runs = std::max(1, _wtoi(argv[++i]));
        else if (std::wcschr(argv[i], L'x')) std::swscanf(argv[i], L"%dx%d", &width, &height);
        else files = std::wcstoull(argv[i], nullptr, 10);
    }
    Builder builder;
    std::vector<FolderEntry*> rows;
    MapSource source;
    for (int i = 0; i < 10; ++i) {
        auto* row = new FolderEntry;
        row->name = L"top" + std::to_wstring(i);
        builder.Fill(row, row->children, 4, files / 10);
        rows.push_back(row);
        source.rows.push_back(row);
    }
    std::vector<uint32_t> pixels(static_cast<size_t>(width) * height);
    double best = 1e9, bestAfterChange = 1e9;
    for (int run = 0; run < runs; ++run) {
        LARGE_INTEGER start, end;
        QueryPerformanceCounter(&start);
        // What the pane does for a new target: the file types, then the whole map.
        ExtensionCache cache;
        const ExtensionTable types = CountExtensions(source, &cache);
        DrawMap(source, types, width, height, pixels.data());
        QueryPerformanceCounter(&end);
        best = std::min(best, Seconds(start, end));

        // One file grows, as a notice would make it: its size and every folder's above.
        const Node* first = ChildAt(rows[0]->children, 0);
        std::vector<Node*> chain;
        Node* node = const_cast<Node*>(first);
        while (!(node->kind & kKindFile)) {
            chain.push_back(node);
            node = ChildAt(static_cast<FolderNode*>(node)->children, 0);
        }
        const uint64_t grown = 1000000;
        node->size = node->size + grown;
        for (Node* up : chain) up->size = up->size + grown;
        rows[0]->size += grown;
        rows[0]->treeStamp = NextTreeStamp();   // as every change to a row's tree does
        QueryPerformanceCounter(&start);
        const ExtensionTable again = CountExtensions(source, &cache);
        DrawMap(source, again, width, height, pixels.data());
        QueryPerformanceCounter(&end);
        bestAfterChange = std::min(bestAfterChange, Seconds(start, end));
    }
    std::printf("map of %llu files at %dx%d: layout and drawing %.3f s; again after one change %.3f s (best of %d)\n",
                static_cast<unsigned long long>(builder.made), width, height, best, bestAfterChange, runs);
    std::printf("RESULT files=%llu width=%d height=%d draw=%.4f redraw=%.4f\n",
                static_cast<unsigned long long>(builder.made), width, height, best, bestAfterChange);
    for (FolderEntry* row : rows) ReleaseRowEntry(row, false);
    return 0;
}
