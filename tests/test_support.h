// Helpers shared by the tests: temporary folders with real files in them.
#pragma once

#include <windows.h>

#include <cstdint>
#include <map>
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

// A drive letter of the running Wine prefix that leads to a folder, made by a link in the
// prefix's dosdevices folder that Wine reads drive letters from (made by the host, as
// Wine's own calls do not make one that opens). Removed again at the end.
class MappedDrive {
public:
    explicit MappedDrive(const std::wstring& folder);
    ~MappedDrive();
    MappedDrive(const MappedDrive&) = delete;
    MappedDrive& operator=(const MappedDrive&) = delete;

    const std::wstring& root() const { return root_; }  // "X:\", empty when no letter was mapped

private:
    std::wstring link_;
    std::wstring root_;
};

// Starts a host program by its Unix path; Wine gives back no handle to wait on.
bool StartHostCommand(const std::wstring& commandLine);
// The Unix name of a Windows path under Wine; empty elsewhere.
std::wstring UnixName(const std::wstring& path);

// The tree that tests/make_name_tree.sh makes from the host, named by LURMO_NAME_TREE:
// its path with backslashes, empty when the variable is not set. Its children's names
// read right only when Wine decodes Linux file names by the locale's character set.
std::wstring HostNamedTree();
// Each child's logical size by its name, as the script makes them.
std::map<std::wstring, uint64_t> HostNamedSizes();

// The small file system that tests/make_small_disk.sh mounts for the test executable
// (LURMO_SMALL_DISK), emptied for the test. Its path is empty when none is mounted here.
class SmallDisk {
public:
    SmallDisk();
    ~SmallDisk();
    SmallDisk(const SmallDisk&) = delete;
    SmallDisk& operator=(const SmallDisk&) = delete;
    const std::wstring& path() const { return path_; }
    std::wstring operator/(const std::wstring& relative) const { return path_ + L"\\" + relative; }
    // Fills the disk with a file of its own until about `room` bytes are left free.
    void LeaveFree(uint64_t room) const;

private:
    void Empty() const;
    std::wstring path_;
};

void WriteFileOfSize(const std::wstring& path, uint64_t size);
// The whole content of a file; "<missing>" when it cannot be opened.
std::string ReadFileBytes(const std::wstring& path);
void MakeFolders(const std::wstring& path);
void RemoveTree(const std::wstring& path);

}  // namespace lurmo::test
