#include "tests/test_support.h"

#include <cwctype>
#include <functional>

#include <gtest/gtest.h>

#include <atomic>
#include <vector>

namespace lurmo::test {

namespace {
std::atomic<unsigned> g_serial{0};
}

TempFolder::TempFolder() {
    wchar_t temp[MAX_PATH];
    DWORD length = GetTempPathW(MAX_PATH, temp);
    std::wstring base(temp, length);
    if (!base.empty() && base.back() == L'\\') base.pop_back();
    for (;;) {
        path_ = base + L"\\lurmo-test-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
                std::to_wstring(GetTickCount()) + L"-" + std::to_wstring(g_serial++);
        if (CreateDirectoryW(path_.c_str(), nullptr)) break;
        if (GetLastError() != ERROR_ALREADY_EXISTS) {
            ADD_FAILURE() << "cannot create a temporary folder";
            break;
        }
    }
}

TempFolder::~TempFolder() { RemoveTree(path_); }

void TempFolder::File(const std::wstring& relative, uint64_t size) const {
    const std::wstring full = *this / relative;
    const size_t slash = full.rfind(L'\\');
    MakeFolders(full.substr(0, slash));
    WriteFileOfSize(full, size);
}

void TempFolder::Folder(const std::wstring& relative) const { MakeFolders(*this / relative); }

namespace {

bool WaitUntil(const std::function<bool()>& condition) {
    for (int i = 0; i < 200; ++i) {
        if (condition()) return true;
        Sleep(50);
    }
    return condition();
}

bool Exists(const std::wstring& path) { return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

std::wstring Widen(const char* text) {
    std::wstring wide;
    const int length = MultiByteToWideChar(CP_UTF8, 0, text, -1, nullptr, 0);
    if (length <= 1) return wide;
    wide.resize(static_cast<size_t>(length));
    MultiByteToWideChar(CP_UTF8, 0, text, -1, wide.data(), length);
    wide.pop_back();
    return wide;
}

}  // namespace

bool StartHostCommand(const std::wstring& commandLine) {
    std::wstring line = commandLine;
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process)) {
        return false;
    }
    CloseHandle(process.hProcess);
    CloseHandle(process.hThread);
    return true;
}

std::wstring UnixName(const std::wstring& path) {
    using Convert = char*(CDECL*)(const wchar_t*);
    HMODULE kernel = GetModuleHandleW(L"kernel32.dll");
    auto convert = reinterpret_cast<Convert>(reinterpret_cast<void*>(GetProcAddress(kernel, "wine_get_unix_file_name")));
    if (!convert) return {};
    char* name = convert(path.c_str());
    if (!name) return {};
    std::wstring result = Widen(name);
    HeapFree(GetProcessHeap(), 0, name);
    return result;
}

std::wstring HostNamedTree() {
    wchar_t path[MAX_PATH] = {};
    const DWORD length = GetEnvironmentVariableW(L"LURMO_NAME_TREE", path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return {};
    std::wstring tree(path, length);
    for (wchar_t& c : tree) {
        if (c == L'/') c = L'\\';
    }
    return tree;
}

std::map<std::wstring, uint64_t> HostNamedSizes() {
    // U+20BB7 and U+1F600 lie outside the Basic Multilingual Plane: two UTF-16 units each.
    return {
        {L"日本語フォルダ", 3000 + 200},
        {L"Caf\u00e9", 1234},
        {L"na\u00efve.txt", 77},
        {L"\U00020BB7野家\U0001F600.txt", 4321},
    };
}

MappedDrive::MappedDrive(const std::wstring& folder) {
    // The prefix is the one this process runs in: its C: drive is dosdevices/c:.
    const std::wstring drive = UnixName(L"C:\\");
    const std::wstring target = UnixName(folder);
    const size_t cut = drive.rfind(L"/c:");
    if (drive.empty() || target.empty() || cut == std::wstring::npos) return;
    const std::wstring dosdevices = drive.substr(0, cut);
    for (wchar_t letter = L'y'; letter >= L'm'; --letter) {
        const std::wstring root = std::wstring(1, static_cast<wchar_t>(towupper(letter))) + L":\\";
        if (Exists(root)) continue;
        const std::wstring link = dosdevices + L"/" + letter + L":";
        if (!StartHostCommand(L"/bin/ln -s \"" + target + L"\" \"" + link + L"\"")) return;
        link_ = link;
        if (WaitUntil([&root] { return Exists(root); })) root_ = root;
        return;
    }
}

MappedDrive::~MappedDrive() {
    if (link_.empty() || !StartHostCommand(L"/bin/rm -f \"" + link_ + L"\"")) return;
    if (!root_.empty()) WaitUntil([this] { return !Exists(root_); });
}

std::string ReadFileBytes(const std::wstring& path) {
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return "<missing>";
    std::string bytes;
    char buffer[65536];
    DWORD got = 0;
    while (ReadFile(file, buffer, sizeof buffer, &got, nullptr) && got) bytes.append(buffer, got);
    CloseHandle(file);
    return bytes;
}

void WriteFileOfSize(const std::wstring& path, uint64_t size) {
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE) << "cannot create a test file";
    if (size <= 1 << 20) {
        std::vector<char> bytes(static_cast<size_t>(size), 'x');
        DWORD written = 0;
        if (size) WriteFile(file, bytes.data(), static_cast<DWORD>(size), &written, nullptr);
        EXPECT_EQ(written, size);
    } else {
        // A large file is only extended, so it costs no disk space on the host.
        LARGE_INTEGER end;
        end.QuadPart = static_cast<LONGLONG>(size);
        EXPECT_TRUE(SetFilePointerEx(file, end, nullptr, FILE_BEGIN));
        EXPECT_TRUE(SetEndOfFile(file));
    }
    CloseHandle(file);
}

void MakeFolders(const std::wstring& path) {
    if (path.empty() || CreateDirectoryW(path.c_str(), nullptr) || GetLastError() == ERROR_ALREADY_EXISTS) return;
    const size_t slash = path.rfind(L'\\');
    if (slash == std::wstring::npos) return;
    MakeFolders(path.substr(0, slash));
    CreateDirectoryW(path.c_str(), nullptr);
}

void RemoveTree(const std::wstring& path) {
    WIN32_FIND_DATAW data;
    const std::wstring long_path = path.rfind(L"\\\\?\\", 0) == 0 ? path : L"\\\\?\\" + path;
    HANDLE find = FindFirstFileW((long_path + L"\\*").c_str(), &data);
    if (find != INVALID_HANDLE_VALUE) {
        do {
            const std::wstring name = data.cFileName;
            if (name == L"." || name == L"..") continue;
            const std::wstring child = long_path + L"\\" + name;
            if ((data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) &&
                !(data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
                RemoveTree(child);
            } else if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                RemoveDirectoryW(child.c_str());
            } else {
                SetFileAttributesW(child.c_str(), FILE_ATTRIBUTE_NORMAL);
                DeleteFileW(child.c_str());
            }
        } while (FindNextFileW(find, &data));
        FindClose(find);
    }
    RemoveDirectoryW(long_path.c_str());
}

}  // namespace lurmo::test

namespace lurmo::test {

SmallDisk::SmallDisk() {
    wchar_t path[MAX_PATH] = {};
    const DWORD length = GetEnvironmentVariableW(L"LURMO_SMALL_DISK", path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return;
    std::wstring folder(path, length);
    for (wchar_t& c : folder) {
        if (c == L'/') c = L'\\';
    }
    if (GetFileAttributesW((folder + L"\\small-disk-marker").c_str()) == INVALID_FILE_ATTRIBUTES) return;
    path_ = folder;
    Empty();
}

SmallDisk::~SmallDisk() {
    if (!path_.empty()) Empty();
}

// Everything but the marker goes.
void SmallDisk::Empty() const {
    WIN32_FIND_DATAW data;
    HANDLE find = FindFirstFileW((path_ + L"\\*").c_str(), &data);
    if (find == INVALID_HANDLE_VALUE) return;
    do {
        const std::wstring name = data.cFileName;
        if (name == L"." || name == L".." || name == L"small-disk-marker") continue;
        const std::wstring child = path_ + L"\\" + name;
        if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            RemoveTree(child);
        } else {
            SetFileAttributesW(child.c_str(), FILE_ATTRIBUTE_NORMAL);
            DeleteFileW(child.c_str());
        }
    } while (FindNextFileW(find, &data));
    FindClose(find);
}

void SmallDisk::LeaveFree(uint64_t room) const {
    ULARGE_INTEGER free{};
    ASSERT_TRUE(GetDiskFreeSpaceExW((path_ + L"\\").c_str(), &free, nullptr, nullptr));
    ASSERT_GT(free.QuadPart, room);
    WriteFileOfSize(path_ + L"\\filler.bin", free.QuadPart - room);
}

}  // namespace lurmo::test
