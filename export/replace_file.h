// Writing a file so that its previous content survives every failure: the bytes go to a
// temporary file beside it, which takes its place only when all of them are on disk.
#pragma once

#include <windows.h>

#include <functional>
#include <string>

namespace lurmo {

struct WriteFailure {
    const wchar_t* call = nullptr;   // the system call that failed: "CreateFile", "WriteFile", ...
    DWORD error = 0;
};

// Calls write with the open temporary file; false from it counts as a failed WriteFile
// with the thread's last error. On any failure the temporary file is removed, the file at
// path is left as it was, and failure says which call failed and why.
bool ReplaceFileWith(const std::wstring& path, const std::function<bool(HANDLE)>& write, WriteFailure& failure);

// "エラー：<call>() (<the system's reason>) : <path>"
std::wstring DescribeWriteFailure(const WriteFailure& failure, const std::wstring& path);

}  // namespace lurmo
