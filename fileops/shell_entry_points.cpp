#include "fileops/shell_entry_points.h"

#include "state/app_state.h"
#include "engine/handles.h"
#include "fileops/file_operations.h"

namespace lurmo {

namespace {

using RundllEntryPoint = void(WINAPI*)(HWND owner, HINSTANCE instance, LPWSTR argument, int show);

FARPROC FindByGetProcAddress(HMODULE library, const char* name) { return GetProcAddress(library, name); }

EntryPointFinder g_finder = nullptr;

FARPROC FindEntryPoint(HMODULE library, const char* name) {
    return g_finder ? g_finder(library, name) : FindByGetProcAddress(library, name);
}

}  // namespace

void SetEntryPointFinder(EntryPointFinder finder) { g_finder = finder; }

bool HasShellEntryPoint(const wchar_t* library, const char* name) {
    unique_hmodule module(LoadLibraryW(library));
    return module && FindEntryPoint(module.get(), name) != nullptr;
}

bool CallShellEntryPoint(const wchar_t* library, const char* name, std::wstring& argument) {
    unique_hmodule module(LoadLibraryW(library));
    if (!module) return false;
    const auto entry = reinterpret_cast<RundllEntryPoint>(reinterpret_cast<void*>(FindEntryPoint(module.get(), name)));
    if (!entry) return false;
    entry(g_app.main, nullptr, argument.data(), SW_SHOWNORMAL);
    return true;
}

}  // namespace lurmo
