// lurmo-bench-tree FOLDER FILES [DEPTH] [FANOUT] [--empty] [--skew]
//
// Makes a synthetic tree to measure: FANOUT folders below FOLDER, FANOUT below each of
// those, DEPTH levels deep, and FILES files spread over all of them (FOLDER included).
// Names are about 12 characters; sizes are varied (most small, a few large) and drawn
// from a fixed-seed generator, so the same arguments always give the same tree. Files
// are only extended, never written, so even a large logical total costs no disk space;
// --empty makes every file 0 bytes; --skew puts 90% of the files below the first
// top-level folder, the shape that only parallelism below the top level speeds up.
//
// When the tree is complete, FOLDER.sizes records the logical total of each top-level
// child, one "<bytes><TAB><name>" line each (UTF-8), after a "#" comment line. A tree
// without its record file is incomplete.
#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <cwchar>
#include <string>
#include <vector>

#include "engine/file_system.h"
#include "engine/handles.h"

namespace {

// splitmix64: small, fast and the same everywhere.
struct Random {
    uint64_t state;
};

uint64_t NextRandom(Random& random) {
    uint64_t z = (random.state += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
}

uint64_t RandomBelow(Random& random, uint64_t bound) { return NextRandom(random) % bound; }

constexpr wchar_t kLetters[] = L"abcdefghijklmnopqrstuvwxyz0123456789";

void AppendRandomLetters(Random& random, std::wstring& text, size_t count) {
    for (size_t i = 0; i < count; ++i) text.push_back(kLetters[RandomBelow(random, 36)]);
}

// Base-36 digits of value, at least width of them; keeps every name of a folder unique.
void AppendSerial(std::wstring& text, uint64_t value, size_t width) {
    constexpr wchar_t kDigits[] = L"0123456789abcdefghijklmnopqrstuvwxyz";
    std::wstring digits;
    do {
        digits.insert(digits.begin(), kDigits[value % 36]);
        value /= 36;
    } while (value);
    while (digits.size() < width) digits.insert(digits.begin(), L'0');
    text += digits;
}

// 10 to 14 characters: a random stem, a serial and an extension.
std::wstring MakeFileName(Random& random, uint64_t serial) {
    static const wchar_t* const kExtensions[] = {L".txt", L".bin", L".jpg", L".dat", L".log", L".cpp", L".lnk", L".png"};
    std::wstring name;
    AppendRandomLetters(random, name, 2 + RandomBelow(random, 5));
    AppendSerial(name, serial, 4);
    name += kExtensions[RandomBelow(random, 8)];
    return name;
}

// 10 to 14 characters, no extension.
std::wstring MakeFolderName(Random& random, uint64_t serial) {
    std::wstring name;
    AppendRandomLetters(random, name, 5 + RandomBelow(random, 5));
    name.push_back(L'-');
    AppendSerial(name, serial, 4);
    return name;
}

// Mostly small files, some medium ones and a few large ones, as in a user's documents.
uint64_t DrawFileSize(Random& random) {
    const uint64_t bucket = RandomBelow(random, 100);
    if (bucket < 30) return RandomBelow(random, 1024);
    if (bucket < 80) return 1024 + RandomBelow(random, 63 * 1024);
    if (bucket < 97) return 64 * 1024 + RandomBelow(random, 960 * 1024);
    return (1u << 20) + RandomBelow(random, 63ull << 20);
}

struct TreeFolder {
    std::wstring path;   // full path
    size_t topChild;     // index of its top-level ancestor in the record; SIZE_MAX for FOLDER itself
};

struct TopChild {
    std::wstring name;
    uint64_t total = 0;
};

bool CreateSizedFile(const std::wstring& path, uint64_t size) {
    lurmo::unique_hfile file(
        CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return false;
    if (size == 0) return true;
    LARGE_INTEGER end;
    end.QuadPart = static_cast<LONGLONG>(size);
    return SetFilePointerEx(file.get(), end, nullptr, FILE_BEGIN) && SetEndOfFile(file.get());
}

std::string ToUtf8(const std::wstring& text) {
    if (text.empty()) return {};
    const int length = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0,
                                           nullptr, nullptr);
    std::string result(static_cast<size_t>(length), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), result.data(), length, nullptr,
                        nullptr);
    return result;
}

// Written under a temporary name and moved into place, so the record appears only whole.
bool WriteSizesRecord(const std::wstring& folder, const std::vector<TopChild>& children, uint64_t files,
                      size_t folders, uint64_t total) {
    std::string text = "# lurmo-bench-tree: " + std::to_string(files) + " files, " + std::to_string(folders) +
                       " folders, logical total " + std::to_string(total) + "\n";
    for (const TopChild& child : children) text += std::to_string(child.total) + "\t" + ToUtf8(child.name) + "\n";
    const std::wstring record = folder + L".sizes";
    const std::wstring partial = record + L".partial";
    {
        lurmo::unique_hfile file(
            CreateFileW(partial.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!file) return false;
        DWORD written = 0;
        if (!WriteFile(file.get(), text.data(), static_cast<DWORD>(text.size()), &written, nullptr) ||
            written != text.size()) {
            return false;
        }
    }
    return MoveFileExW(partial.c_str(), record.c_str(), MOVEFILE_REPLACE_EXISTING) != 0;
}

bool ParseCount(const wchar_t* text, uint64_t& value) {
    wchar_t* end = nullptr;
    value = std::wcstoull(text, &end, 10);
    return end != text && *end == L'\0';
}

int Usage() {
    std::fprintf(stderr, "usage: lurmo-bench-tree FOLDER FILES [DEPTH] [FANOUT] [--empty] [--skew]\n");
    return 2;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    std::vector<std::wstring> positional;
    bool empty = false, skew = false;
    for (int i = 1; i < argc; ++i) {
        if (std::wcscmp(argv[i], L"--empty") == 0) empty = true;
        else if (std::wcscmp(argv[i], L"--skew") == 0) skew = true;
        else positional.emplace_back(argv[i]);
    }
    if (positional.size() < 2 || positional.size() > 4) return Usage();
    uint64_t files = 0, depth = 3, fanout = 10;
    if (!ParseCount(positional[1].c_str(), files)) return Usage();
    if (positional.size() > 2 && !ParseCount(positional[2].c_str(), depth)) return Usage();
    if (positional.size() > 3 && !ParseCount(positional[3].c_str(), fanout)) return Usage();
    if (depth > 20 || fanout == 0 || fanout > 100000) return Usage();

    // The tree is made through the long-path form, as deep trees may need it.
    std::wstring root = lurmo::MakeExtendedPath(positional[0]);
    if (root.empty()) return Usage();
    if (!CreateDirectoryW(root.c_str(), nullptr)) {
        std::fprintf(stderr, "lurmo-bench-tree: cannot create %s (it must not exist yet), error %lu\n",
                     ToUtf8(positional[0]).c_str(), GetLastError());
        return 1;
    }

    const ULONGLONG started = GetTickCount64();
    Random random{0x4C75726D6F000001ull};
    std::vector<TreeFolder> folders{{root, SIZE_MAX}};
    std::vector<TopChild> topChildren;
    uint64_t serial = 0;
    // Level by level: the folders of one level are a contiguous range of the list.
    size_t levelStart = 0, levelEnd = 1;
    for (uint64_t level = 0; level < depth; ++level) {
        for (size_t parent = levelStart; parent < levelEnd; ++parent) {
            for (uint64_t i = 0; i < fanout; ++i) {
                const std::wstring name = MakeFolderName(random, serial++);
                TreeFolder folder{folders[parent].path + L"\\" + name, folders[parent].topChild};
                if (level == 0) {
                    folder.topChild = topChildren.size();
                    topChildren.push_back({name, 0});
                }
                if (!CreateDirectoryW(folder.path.c_str(), nullptr)) {
                    std::fprintf(stderr, "lurmo-bench-tree: cannot create a folder, error %lu\n", GetLastError());
                    return 1;
                }
                folders.push_back(std::move(folder));
            }
        }
        levelStart = levelEnd;
        levelEnd = folders.size();
    }

    // Each file draws its folder; then each folder is filled in turn.
    std::vector<uint64_t> perFolder(folders.size(), 0);
    std::vector<size_t> first, rest;   // below the first top-level folder, and elsewhere
    for (size_t f = 0; f < folders.size(); ++f) (folders[f].topChild == 0 ? first : rest).push_back(f);
    for (uint64_t i = 0; i < files; ++i) {
        if (!skew || first.empty() || rest.empty()) ++perFolder[RandomBelow(random, folders.size())];
        else if (RandomBelow(random, 10) < 9) ++perFolder[first[RandomBelow(random, first.size())]];
        else ++perFolder[rest[RandomBelow(random, rest.size())]];
    }

    uint64_t made = 0, total = 0;
    for (size_t f = 0; f < folders.size(); ++f) {
        std::wstring path = folders[f].path + L"\\";
        const size_t nameAt = path.size();
        for (uint64_t i = 0; i < perFolder[f]; ++i) {
            const std::wstring name = MakeFileName(random, made);
            const uint64_t size = empty ? 0 : DrawFileSize(random);
            path.resize(nameAt);
            path += name;
            if (!CreateSizedFile(path, size)) {
                std::fprintf(stderr, "lurmo-bench-tree: cannot create a file, error %lu\n", GetLastError());
                return 1;
            }
            if (folders[f].topChild == SIZE_MAX) topChildren.push_back({name, size});
            else topChildren[folders[f].topChild].total += size;
            total += size;
            if (++made % 100000 == 0) {
                std::fprintf(stderr, "  %llu files, %.0f s\n", static_cast<unsigned long long>(made),
                             (GetTickCount64() - started) / 1000.0);
            }
        }
    }

    if (!WriteSizesRecord(root, topChildren, made, folders.size() - 1, total)) {
        std::fprintf(stderr, "lurmo-bench-tree: cannot write the record file, error %lu\n", GetLastError());
        return 1;
    }
    std::printf("%llu files in %llu folders, logical total %llu bytes, %.1f s\n",
                static_cast<unsigned long long>(made), static_cast<unsigned long long>(folders.size() - 1),
                static_cast<unsigned long long>(total), (GetTickCount64() - started) / 1000.0);
    return 0;
}
