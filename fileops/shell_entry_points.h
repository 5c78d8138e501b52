// The shell's entry points that exist only on some systems and are reached at run time:
// the open-with dialog of SHELL32 and the new-shortcut wizard of APPWIZ.CPL.
#pragma once

#include <windows.h>

#include <string>

namespace lurmo {

// True when the library and its entry point are there to be called.
bool HasShellEntryPoint(const wchar_t* library, const char* name);
// Calls a rundll-style entry point (owner, no instance, the argument, SW_SHOWNORMAL) of a
// library loaded for the call; false when the library or the entry point is missing.
bool CallShellEntryPoint(const wchar_t* library, const char* name, std::wstring& argument);

}  // namespace lurmo
