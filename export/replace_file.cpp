#include "export/replace_file.h"

#include <vector>

#include "engine/error_report.h"
#include "engine/handles.h"

namespace lurmo {

namespace {

std::wstring FolderOfFile(const std::wstring& path) {
    const size_t slash = path.find_last_of(L"\\/");
    if (slash == std::wstring::npos) return L".";
    if (slash == 2 && path[1] == L':') return path.substr(0, 3);
    return path.substr(0, slash);
}

bool Fail(WriteFailure& failure, const wchar_t* call, DWORD error) {
    failure.call = call;
    failure.error = error ? error : ERROR_GEN_FAILURE;
    return false;
}

}  // namespace

// The temporary file is made by GetTempFileNameW in the target's own folder, so the
// final move is a rename on one volume and cannot itself run out of room.
bool ReplaceFileWith(const std::wstring& path, const std::function<bool(HANDLE)>& write, WriteFailure& failure) {
    wchar_t temporary[MAX_PATH + 1]{};
    const std::wstring folder = FolderOfFile(path);
    if (!GetTempFileNameW(folder.c_str(), L"lrm", 0, temporary)) {
        // A missing folder is "the directory name is invalid" to this call; the user is
        // told what it is.
        const DWORD error = GetLastError();
        const bool folderMissing = GetFileAttributesW(folder.c_str()) == INVALID_FILE_ATTRIBUTES;
        return Fail(failure, L"CreateFile", folderMissing ? ERROR_PATH_NOT_FOUND : error);
    }
    bool written = false;
    {
        unique_hfile file(CreateFileW(temporary, GENERIC_WRITE, 0, nullptr, TRUNCATE_EXISTING, FILE_ATTRIBUTE_NORMAL,
                                      nullptr));
        if (!file) {
            Fail(failure, L"CreateFile", GetLastError());
        } else if (!write(file.get())) {
            Fail(failure, L"WriteFile", GetLastError());
        } else if (!FlushFileBuffers(file.get())) {
            Fail(failure, L"FlushFileBuffers", GetLastError());
        } else {
            written = true;
        }
    }
    if (written && MoveFileExW(temporary, path.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) return true;
    if (written) Fail(failure, L"MoveFileEx", GetLastError());
    DeleteFileW(temporary);
    return false;
}

std::wstring DescribeWriteFailure(const WriteFailure& failure, const std::wstring& path) {
    return std::wstring(L"エラー：") + (failure.call ? failure.call : L"WriteFile") + L"() (" +
           SystemErrorText(failure.error) + L") : " + path;
}

}  // namespace lurmo
