// Helpers shared by the tests: temporary folders with real files in them.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

namespace lurmo::test {

// A fresh folder under the temporary folder, removed with everything in it at the end.
class TempFolder {
public:
    TempFolder();
    ~TempFolder();
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    // Full path without a trailing backslash.
    const std::wstring& path() const { return path_; }
    std::wstring operator/(const std::wstring& relative) const { return path_ + L"\\" + relative; }

    // Creates a file of `size` bytes (sparse when large), making the folders on the way.
    void File(const std::wstring& relative, uint64_t size) const;
    void Folder(const std::wstring& relative) const;

private:
    std::wstring path_;
};

void WriteFileOfSize(const std::wstring& path, uint64_t size);
void MakeFolders(const std::wstring& path);
void RemoveTree(const std::wstring& path);

}  // namespace lurmo::test
