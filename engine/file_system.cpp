#include "engine/file_system.h"

#include <winternl.h>

#include <atomic>
#include <cstring>

namespace lurmo {

namespace {

std::atomic<const CompressionProbe*> g_probe{nullptr};
// Tests run as root, where no permission makes a folder unreadable; they refuse one here.
std::atomic<const EnumerationProbe*> g_enumerationProbe{nullptr};

bool EnumerationRefused(const std::wstring& folder) {
    const EnumerationProbe* probe = g_enumerationProbe.load(std::memory_order_relaxed);
    return probe && probe->refuses && probe->refuses(folder);
}

bool StartsWith(std::wstring_view text, std::wstring_view prefix) {
    return text.size() >= prefix.size() && text.compare(0, prefix.size(), prefix) == 0;
}

void ApplyProbe(WIN32_FIND_DATAW& data) {
    if (const CompressionProbe* probe = g_probe.load(std::memory_order_relaxed); probe && probe->attributes) {
        data.dwFileAttributes = probe->attributes(data);
    }
}

// Length of the volume root of an extended path, its trailing backslash included:
// 7 for "\\?\C:\", the "\\?\UNC\server\share\" part for a share; 0 when unknown.
size_t RootLength(const std::wstring& path) {
    if (StartsWith(path, L"\\\\?\\UNC\\")) {
        size_t server = path.find(L'\\', 8);
        if (server == std::wstring::npos) return 0;
        size_t share = path.find(L'\\', server + 1);
        return share == std::wstring::npos ? path.size() : share + 1;
    }
    if (path.size() >= 7 && StartsWith(path, L"\\\\?\\") && path[5] == L':' && path[6] == L'\\') return 7;
    return 0;
}

}  // namespace

bool IsWine() {
    static const bool wine = GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "wine_get_version") != nullptr;
    return wine;
}

std::wstring MakeExtendedPath(std::wstring_view path) {
    if (path.empty()) return {};
    std::wstring full;
    if (StartsWith(path, L"\\\\?\\")) {
        full.assign(path);
    } else {
        std::wstring input(path);
        DWORD needed = GetFullPathNameW(input.c_str(), 0, nullptr, nullptr);
        if (needed == 0) return {};
        full.resize(needed);
        DWORD written = GetFullPathNameW(input.c_str(), needed, full.data(), nullptr);
        if (written == 0 || written >= needed) return {};
        full.resize(written);
        if (StartsWith(full, L"\\\\.\\")) {
            // A device path is used as it stands.
        } else if (StartsWith(full, L"\\\\")) {
            full = L"\\\\?\\UNC\\" + full.substr(2);
        } else {
            full = L"\\\\?\\" + full;
        }
    }
    const size_t root = RootLength(full);
    while (full.size() > root && !full.empty() && full.back() == L'\\') full.pop_back();
    return full;
}

bool IsDotEntry(const WIN32_FIND_DATAW& data) {
    const wchar_t* name = data.cFileName;
    return name[0] == L'.' && (name[1] == L'\0' || (name[1] == L'.' && name[2] == L'\0'));
}

unique_hfind OpenEnumeration(std::wstring& folder, WIN32_FIND_DATAW& data) {
    if (EnumerationRefused(folder)) {
        SetLastError(ERROR_ACCESS_DENIED);
        return unique_hfind();
    }
    const size_t length = folder.size();
    folder.append(!folder.empty() && folder.back() == L'\\' ? L"*" : L"\\*");
    unique_hfind find(FindFirstFileExW(folder.c_str(), FindExInfoBasic, &data, FindExSearchNameMatch, nullptr,
                                       FIND_FIRST_EX_LARGE_FETCH));
    if (!find && GetLastError() == ERROR_INVALID_PARAMETER) {
        // Systems before Windows 7 know neither the basic level nor the large fetch.
        find.reset(FindFirstFileW(folder.c_str(), &data));
    }
    folder.resize(length);
    if (find) ApplyProbe(data);
    return find;
}

bool NextEnumeration(HANDLE find, WIN32_FIND_DATAW& data) {
    if (!FindNextFileW(find, &data)) return false;
    ApplyProbe(data);
    return true;
}

namespace {

using QueryDirectory = NTSTATUS(NTAPI*)(HANDLE, HANDLE, PVOID, PVOID, PIO_STATUS_BLOCK, PVOID, ULONG,
                                        FILE_INFORMATION_CLASS, BOOLEAN, PUNICODE_STRING, BOOLEAN);

QueryDirectory DirectoryQuery() {
    static const auto query = reinterpret_cast<QueryDirectory>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "NtQueryDirectoryFile")));
    return query;
}

constexpr size_t kReaderBytes = 64 * 1024;

constexpr NTSTATUS kNoMoreFiles = static_cast<NTSTATUS>(0x80000006);
constexpr NTSTATUS kNoSuchFile = static_cast<NTSTATUS>(0xC000000F);

// Fills the buffer with the next entries; false when none are left or the query failed.
// Any status but the end of the listing marks the folder as not read whole.
bool FillReader(FolderReader& reader) {
    IO_STATUS_BLOCK status{};
    NTSTATUS result =
        DirectoryQuery()(reader.folder.get(), nullptr, nullptr, nullptr, &status, reader.buffer.data(),
                         static_cast<ULONG>(reader.buffer.size() * sizeof(ULONGLONG)), FileDirectoryInformation,
                         FALSE, nullptr, FALSE);
    if (const EnumerationProbe* probe = g_enumerationProbe.load(std::memory_order_relaxed);
        probe && probe->queryStatus) {
        if (const LONG forced = probe->queryStatus(reader.probedFolder, reader.queries)) result = forced;
    }
    ++reader.queries;
    reader.offset = 0;
    reader.filled = result >= 0 ? status.Information : 0;
    if (result < 0 && result != kNoMoreFiles && result != kNoSuchFile) reader.failed = true;
    return reader.filled != 0;
}

// An item that is gone was not failed to read: it is simply not there any more.
bool IsGoneError(DWORD error) {
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND || error == ERROR_NO_MORE_FILES;
}

void ToFindData(const FILE_DIRECTORY_INFORMATION& entry, WIN32_FIND_DATAW& data) {
    data.dwFileAttributes = entry.FileAttributes;
    auto toTime = [](const LARGE_INTEGER& value) {
        return FILETIME{static_cast<DWORD>(value.QuadPart), static_cast<DWORD>(value.QuadPart >> 32)};
    };
    data.ftCreationTime = toTime(entry.CreationTime);
    data.ftLastAccessTime = toTime(entry.LastAccessTime);
    data.ftLastWriteTime = toTime(entry.LastWriteTime);
    data.nFileSizeHigh = static_cast<DWORD>(static_cast<uint64_t>(entry.EndOfFile.QuadPart) >> 32);
    data.nFileSizeLow = static_cast<DWORD>(entry.EndOfFile.QuadPart);
    data.dwReserved0 = data.dwReserved1 = 0;
    size_t length = entry.FileNameLength / sizeof(wchar_t);
    if (length >= MAX_PATH) length = MAX_PATH - 1;
    std::memcpy(data.cFileName, entry.FileName, length * sizeof(wchar_t));
    data.cFileName[length] = L'\0';
    data.cAlternateFileName[0] = L'\0';
}

// Takes the entry at the reader's offset, querying for more when the buffer is used up.
bool TakeEntry(FolderReader& reader, WIN32_FIND_DATAW& data) {
    if (reader.offset >= reader.filled && !FillReader(reader)) return false;
    const auto* bytes = reinterpret_cast<const BYTE*>(reader.buffer.data());
    const auto& entry = *reinterpret_cast<const FILE_DIRECTORY_INFORMATION*>(bytes + reader.offset);
    ToFindData(entry, data);
    reader.offset = entry.NextEntryOffset ? reader.offset + entry.NextEntryOffset : reader.filled;
    ApplyProbe(data);
    return true;
}

}  // namespace

bool OpenFolderReader(FolderReader& reader, std::wstring& folder, WIN32_FIND_DATAW& data) {
    CloseFolderReader(reader);
    if (!DirectoryQuery()) {
        reader.find = OpenEnumeration(folder, data);
        if (!reader.find && !IsGoneError(GetLastError())) reader.failed = true;
        return static_cast<bool>(reader.find);
    }
    if (EnumerationRefused(folder)) {
        reader.failed = true;
        SetLastError(ERROR_ACCESS_DENIED);
        return false;
    }
    reader.folder.reset(CreateFileW(folder.c_str(), FILE_LIST_DIRECTORY | SYNCHRONIZE,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                    FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    if (!reader.folder) {
        // A name Wine cannot open (one holding "*" or "?") or a folder the user may not
        // list is not an empty folder; one deleted since it was listed is simply gone.
        if (!IsGoneError(GetLastError())) reader.failed = true;
        return false;
    }
    if (g_enumerationProbe.load(std::memory_order_relaxed)) reader.probedFolder = folder;
    if (reader.buffer.empty()) reader.buffer.resize(kReaderBytes / sizeof(ULONGLONG));
    return TakeEntry(reader, data);
}

bool NextFolderEntry(FolderReader& reader, WIN32_FIND_DATAW& data) {
    if (reader.find) {
        if (NextEnumeration(reader.find.get(), data)) return true;
        if (GetLastError() != ERROR_NO_MORE_FILES) reader.failed = true;
        return false;
    }
    return reader.folder && TakeEntry(reader, data);
}

void CloseFolderReader(FolderReader& reader) {
    reader.folder.reset();
    reader.find.reset();
    reader.offset = reader.filled = 0;
    reader.failed = false;
    reader.queries = 0;
    reader.probedFolder.clear();
}

bool FindItem(const std::wstring& fullPath, WIN32_FIND_DATAW& data) {
    unique_hfind find(FindFirstFileW(fullPath.c_str(), &data));
    if (!find) return false;
    ApplyProbe(data);
    return true;
}

const CompressionProbe* InstallCompressionProbe(const CompressionProbe* probe) { return g_probe.exchange(probe); }

const EnumerationProbe* InstallEnumerationProbe(const EnumerationProbe* probe) {
    return g_enumerationProbe.exchange(probe);
}

bool QueryCompressedSize(const wchar_t* fullPath, uint64_t* size) {
    if (const CompressionProbe* probe = g_probe.load(); probe && probe->compressedSize) {
        return probe->compressedSize(fullPath, size);
    }
    DWORD high = 0;
    SetLastError(NO_ERROR);
    DWORD low = GetCompressedFileSizeW(fullPath, &high);
    if (low == INVALID_FILE_SIZE && GetLastError() != NO_ERROR) return false;
    *size = (uint64_t{high} << 32) | low;
    return true;
}

bool ResolveFinalPath(const std::wstring& path, std::wstring& final) {
    using FinalPathName = DWORD(WINAPI*)(HANDLE, LPWSTR, DWORD, DWORD);
    static const auto finalPathName = reinterpret_cast<FinalPathName>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "GetFinalPathNameByHandleW")));
    if (!finalPathName) return false;
    // Without FILE_FLAG_OPEN_REPARSE_POINT the open follows every link to where it leads.
    unique_hfile item(CreateFileW(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                  OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    if (!item) return false;
    final.resize(MAX_PATH);
    for (;;) {
        const DWORD length = finalPathName(item.get(), final.data(), static_cast<DWORD>(final.size()), 0);
        if (length == 0) return false;
        if (length < final.size()) {
            final.resize(length);
            return true;
        }
        final.resize(length);   // the size asked for, its terminator included
    }
}

}  // namespace lurmo
