#include "fileops/file_paths.h"

#include "engine/file_system.h"
#include "engine/handles.h"
#include "state/message_box.h"

namespace lurmo {

namespace {

// Upper-cased by the system's own table, as the file system compares names.
std::wstring UpperCase(const std::wstring& text) {
    std::wstring upper = text;
    if (!upper.empty()) CharUpperBuffW(upper.data(), static_cast<DWORD>(upper.size()));
    return upper;
}

}  // namespace

std::wstring NameOf(const std::wstring& path) {
    const size_t slash = path.rfind(L'\\');
    return slash == std::wstring::npos ? path : path.substr(slash + 1);
}

std::wstring FolderOf(const std::wstring& path) {
    const size_t slash = path.rfind(L'\\');
    return slash == std::wstring::npos ? std::wstring() : path.substr(0, slash);
}

std::wstring JoinPath(const std::wstring& folder, const std::wstring& name) {
    if (!folder.empty() && folder.back() == L'\\') return folder + name;
    return folder + L"\\" + name;
}

std::wstring ExtensionOf(const std::wstring& path) {
    const std::wstring name = NameOf(path);
    const size_t dot = name.rfind(L'.');
    return dot == std::wstring::npos ? std::wstring() : name.substr(dot);
}

bool SamePath(const std::wstring& a, const std::wstring& b) { return UpperCase(a) == UpperCase(b); }

bool IsSameOrInside(const std::wstring& path, const std::wstring& folder) {
    std::wstring upperFolder = UpperCase(folder);
    while (upperFolder.size() > 1 && upperFolder.back() == L'\\') upperFolder.pop_back();
    const std::wstring upperPath = UpperCase(path);
    if (upperPath.compare(0, upperFolder.size(), upperFolder) != 0) return false;
    return upperPath.size() == upperFolder.size() || upperPath[upperFolder.size()] == L'\\';
}

bool FitsPathBuffer(const std::wstring& path) { return path.size() < MAX_PATH; }

void ReportPathTooLong(const std::wstring& path) {
    ShowMessage(L"パスが長すぎます. : " + path, MB_ICONERROR);
}

bool IsExistingFolder(const std::wstring& path) {
    const DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool ItemExists(const std::wstring& path) { return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

// A full path is prefixed as it stands: making it full first (GetFullPathNameW) would
// apply the very rules that drop a trailing dot or blank.
std::wstring ExtendedForm(const std::wstring& path) {
    if (path.rfind(L"\\\\?\\", 0) == 0) return path;
    if (path.size() >= 3 && path[1] == L':' && path[2] == L'\\') return L"\\\\?\\" + path;
    if (path.rfind(L"\\\\", 0) == 0) return L"\\\\?\\UNC\\" + path.substr(2);
    const std::wstring extended = MakeExtendedPath(path);
    return extended.empty() ? path : extended;
}

// "." and ".." are steps, not names; a drive ("C:") and the "\\?\" prefix end in neither.
bool IsNameAlteredByPathRules(const std::wstring& path) {
    size_t start = 0;
    while (start <= path.size()) {
        size_t stop = path.find(L'\\', start);
        if (stop == std::wstring::npos) stop = path.size();
        const std::wstring name = path.substr(start, stop - start);
        if (!name.empty() && name != L"." && name != L".." && name != L"?" &&
            (name.back() == L'.' || name.back() == L' ')) {
            return true;
        }
        start = stop + 1;
    }
    return false;
}

// "C:\..." or "\\server\share\...", with no character a path cannot hold.
bool IsWellFormedFullPath(const std::wstring& path) {
    std::wstring rest;
    if (path.size() >= 3 && iswalpha(path[0]) && path[1] == L':' && path[2] == L'\\') {
        rest = path.substr(3);
    } else if (path.size() >= 5 && path.compare(0, 2, L"\\\\") == 0 && path[2] != L'\\' && path[2] != L'?' &&
               path[2] != L'.') {
        const size_t share = path.find(L'\\', 2);
        if (share == std::wstring::npos || share + 1 >= path.size() || path[share + 1] == L'\\') return false;
        rest = path.substr(2);
    } else {
        return false;
    }
    for (const wchar_t c : rest) {
        if (c < 0x20 || wcschr(L"/:*?\"<>|", c)) return false;
    }
    return true;
}

bool FullPathsOnly(const std::vector<std::wstring>& paths) {
    for (const std::wstring& path : paths) {
        if (IsWellFormedFullPath(path)) continue;
        ShowMessage(L"ファイルの一覧に、完全なパスではない名前があります. : " + path, MB_ICONERROR);
        return false;
    }
    return true;
}

void ReportAlteredName(const std::wstring& path) {
    ShowMessage(L"名前の末尾がピリオドまたは空白のため、この項目は扱えません. : " + path, MB_ICONERROR);
}

bool NamesKept(const std::vector<std::wstring>& paths) {
    bool kept = true;
    for (const std::wstring& path : paths) {
        if (!IsNameAlteredByPathRules(path)) continue;
        ReportAlteredName(path);
        kept = false;
    }
    return kept;
}

namespace {

// A link to a folder is counted as the link itself, as the shell copies and deletes it.
bool IsFolderData(const WIN32_FIND_DATAW& data) {
    return (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) && !(data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT);
}

void AddFolderContent(const std::wstring& extended, size_t relative, TreeSize& size) {
    WIN32_FIND_DATAW data;
    unique_hfind find(FindFirstFileW((extended + L"\\*").c_str(), &data));
    if (!find) return;
    do {
        if (IsDotEntry(data)) continue;
        const size_t inner = relative + 1 + wcslen(data.cFileName);
        if (inner > size.longest) size.longest = inner;
        if (IsFolderData(data)) {
            ++size.folders;
            AddFolderContent(extended + L"\\" + data.cFileName, inner, size);
        } else {
            ++size.files;
            size.bytes += (uint64_t{data.nFileSizeHigh} << 32) | data.nFileSizeLow;
        }
    } while (FindNextFileW(find.get(), &data));
}

}  // namespace

TreeSize MeasureTree(const std::wstring& path) {
    TreeSize size;
    const std::wstring extended = ExtendedForm(path);
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!GetFileAttributesExW(extended.c_str(), GetFileExInfoStandard, &data)) return size;
    size.exists = true;
    size.written = data.ftLastWriteTime;
    size.folder = (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) && !(data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT);
    if (!size.folder) {
        size.files = 1;
        size.bytes = (uint64_t{data.nFileSizeHigh} << 32) | data.nFileSizeLow;
        return size;
    }
    AddFolderContent(extended, 0, size);
    return size;
}

namespace {

// Read-only items are made writable first, as the shell's delete does.
bool DeleteOne(const std::wstring& extended, bool folder) {
    const DWORD attributes = GetFileAttributesW(extended.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY)) {
        SetFileAttributesW(extended.c_str(), attributes & ~FILE_ATTRIBUTE_READONLY);
    }
    return folder ? RemoveDirectoryW(extended.c_str()) != FALSE : DeleteFileW(extended.c_str()) != FALSE;
}

bool DeleteExtended(const std::wstring& extended, const std::wstring& shown, bool folder, std::vector<std::wstring>& left) {
    if (folder) {
        WIN32_FIND_DATAW data;
        unique_hfind find(FindFirstFileW((extended + L"\\*").c_str(), &data));
        if (find) {
            do {
                if (IsDotEntry(data)) continue;
                DeleteExtended(extended + L"\\" + data.cFileName, shown + L"\\" + data.cFileName, IsFolderData(data), left);
            } while (FindNextFileW(find.get(), &data));
        }
    }
    if (DeleteOne(extended, folder)) return true;
    // A folder that kept something is already named by what it kept.
    if (!folder || left.empty() || left.back().compare(0, shown.size(), shown) != 0) left.push_back(shown);
    return false;
}

}  // namespace

bool DeleteTree(const std::wstring& path, std::vector<std::wstring>& left) {
    const size_t before = left.size();
    const TreeSize size = MeasureTree(path);
    if (!size.exists) return true;
    DeleteExtended(ExtendedForm(path), path, size.folder, left);
    return left.size() == before;
}

}  // namespace lurmo
