// Where a Windows path lies on the host, for tests and benchmarks that have a host shell
// act on files as another program would. Header-only, so that the benchmarks, which are
// built without the tests, share it.
#pragma once

#include <windows.h>

#include <string>

namespace lurmo::test {

// The host's path of a path under Wine; empty where there is no host (not under Wine).
inline std::string UnixPath(const std::wstring& path) {
    using Convert = char*(CDECL*)(const wchar_t*);
    auto convert = reinterpret_cast<Convert>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "wine_get_unix_file_name")));
    if (!convert) return {};
    char* name = convert(path.c_str());
    std::string result = name ? name : "";
    if (name) HeapFree(GetProcessHeap(), 0, name);
    return result;
}

}  // namespace lurmo::test
