#include "app/command_line.h"

namespace lurmo {

CommandLineSplit SplitCommandLine(const wchar_t* commandLine) {
    CommandLineSplit split;
    if (!commandLine) return split;
    const wchar_t* p = commandLine;
    while (*p == L' ' || *p == L'\t') ++p;
    const wchar_t* start = p;
    wchar_t terminator = L' ';
    if (*p == L'"') {
        terminator = L'"';
        start = ++p;
    }
    const wchar_t* end = wcschr(start, terminator);
    if (end) {
        split.target.assign(start, end);
        split.rest.assign(end + 1);
    } else {
        split.target.assign(start);
    }
    return split;
}

std::wstring FurtherInstanceCommandLine(const std::wstring& executable, const std::wstring& rest) {
    return L"\"" + executable + L"\" " + rest;
}

void StartProcessWithCommandLine(std::wstring commandLine, WORD showState) {
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = showState;
    PROCESS_INFORMATION process{};
    if (CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, NORMAL_PRIORITY_CLASS, nullptr, nullptr,
                       &startup, &process)) {
        CloseHandle(process.hThread);
        CloseHandle(process.hProcess);
    }
}

std::wstring ExecutablePath() {
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (length == 0) return {};
        if (length < path.size()) {
            path.resize(length);
            return path;
        }
        path.resize(path.size() * 2);
    }
}

}  // namespace lurmo
