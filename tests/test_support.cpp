#include "tests/test_support.h"

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
