#include "fileops/shortcuts.h"

#include <shlobj.h>

#include <vector>

#include "state/app_state.h"
#include "engine/handles.h"
#include "fileops/data_object.h"
#include "fileops/file_paths.h"
#include "list/result_rows.h"

namespace lurmo {

namespace {

struct ShellLink {
    com_ptr<IShellLinkW> link;
    com_ptr<IPersistFile> file;
};

bool CreateShellLink(ShellLink& out) {
    if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW, out.link.put_void()))) {
        return false;
    }
    return SUCCEEDED(out.link->QueryInterface(IID_IPersistFile, out.file.put_void()));
}

// IPersistFile::Save replaces a file of the same name, so the name is chosen free first.
// Empty when no free name fits MAX_PATH.
std::wstring FreeShortcutName(const std::wstring& folder, const std::wstring& name) {
    const std::wstring stem = folder + name + L" へのショートカット";
    std::wstring candidate = stem + L".lnk";
    for (int number = 2; ItemExists(candidate); ++number) {
        if (number > 9999) return {};
        candidate = stem + L" (" + std::to_wstring(number) + L").lnk";
    }
    if (!FitsPathBuffer(candidate)) {
        ReportPathTooLong(candidate);
        return {};
    }
    return candidate;
}

}  // namespace

void CreateShortcuts(IDataObject* data) {
    std::vector<std::wstring> sources;
    if (ReadDroppedPaths(data, sources) != S_OK || sources.empty() || !FullPathsOnly(sources)) return;
    ShellLink shortcut;
    if (!CreateShellLink(shortcut)) return;
    const std::wstring folder = TargetPath();
    for (const std::wstring& source : sources) {
        // A shortcut to "g." would lead to "g".
        if (IsNameAlteredByPathRules(source)) {
            ReportAlteredName(source);
            continue;
        }
        const std::wstring name = FreeShortcutName(folder, NameOf(source));
        if (name.empty()) continue;
        const std::wstring workingFolder = source.find(L'\\') == std::wstring::npos ? source : FolderOf(source);
        shortcut.link->SetPath(source.c_str());
        shortcut.link->SetWorkingDirectory(workingFolder.c_str());
        shortcut.link->SetShowCmd(SW_SHOWNORMAL);
        shortcut.file->Save(name.c_str(), TRUE);
    }
    RefreshPercentages();
    RefreshStatusBar();
}

bool ResolveShortcut(const std::wstring& path, std::wstring& target, WIN32_FIND_DATAW& data) {
    ShellLink shortcut;
    if (!CreateShellLink(shortcut)) return false;
    if (shortcut.file->Load(path.c_str(), STGM_READ) != S_OK) return false;
    wchar_t buffer[MAX_PATH]{};
    data = WIN32_FIND_DATAW{};
    if (shortcut.link->GetPath(buffer, MAX_PATH, &data, 0) != S_OK) return false;
    target = buffer;
    return true;
}

}  // namespace lurmo
