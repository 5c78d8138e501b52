// The command line: the first argument is this instance's target, everything after it
// goes to a further instance of the program.
#pragma once

#include <windows.h>

#include <string>

namespace lurmo {

struct CommandLineSplit {
    std::wstring target;   // cut to 259 characters
    std::wstring rest;     // handed on unchanged
};

CommandLineSplit SplitCommandLine(const wchar_t* commandLine);

// "\"<exe path>\" <rest>": the path is quoted, so a program under a folder with a blank
// (Program Files) is found whole; the rest is passed on as it stands.
std::wstring FurtherInstanceCommandLine(const std::wstring& executable, const std::wstring& rest);

// Starts another instance of this program with the given command line; failures are
// ignored, as the caller goes on with its own target either way.
void StartProcessWithCommandLine(std::wstring commandLine, WORD showState);

std::wstring ExecutablePath();

}  // namespace lurmo
