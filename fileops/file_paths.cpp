#include "fileops/file_paths.h"

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

}  // namespace lurmo
