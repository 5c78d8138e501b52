// New items made from the list's empty-space menu: a folder, opened for naming at once,
// and a shortcut through the shell's wizard.
#include <windows.h>
#include <commctrl.h>

#include <string>

#include "state/app_state.h"
#include "state/message_box.h"
#include "engine/handles.h"
#include "fileops/file_operations.h"
#include "fileops/file_paths.h"
#include "fileops/shell_entry_points.h"
#include "list/notices.h"
#include "list/result_rows.h"

namespace lurmo {

namespace {

constexpr wchar_t kNewFolderName[] = L"新しいフォルダ";
constexpr wchar_t kWizardLibrary[] = L"APPWIZ.CPL";
constexpr char kWizardEntry[] = "NewLinkHereW";

// The first free name of 新しいフォルダ, 新しいフォルダ (2), ... created; empty when the
// folder cannot be made. Only a taken name moves on to the next number: any other
// failure (no write access, the target gone) would fail for every number alike.
std::wstring MakeNumberedFolder(const std::wstring& target) {
    std::wstring name = kNewFolderName;
    for (int number = 2;; ++number) {
        const std::wstring path = target + name;
        if (!FitsPathBuffer(path)) {
            ReportPathTooLong(path);
            return {};
        }
        if (CreateDirectoryW(path.c_str(), nullptr)) return name;
        const DWORD error = GetLastError();
        if (error != ERROR_ALREADY_EXISTS && error != ERROR_FILE_EXISTS) {
            ShowMessage(L"エラー：CreateDirectory()", MB_ICONERROR);
            return {};
        }
        name = std::wstring(kNewFolderName) + L" (" + std::to_wstring(number) + L")";
    }
}

}  // namespace

// The folder is listed at once rather than when the watcher reports it, so that its name
// can be edited straight away; the watcher's notice then finds the row present. The row
// is looked up by its name, as the list may keep its rows in sorted order.
void CreateNewFolder() {
    if (g_app.nameSlot == 0 || g_app.effect.snapShot) return;
    const std::wstring target = TargetPath();
    const std::wstring name = MakeNumberedFolder(target);
    if (name.empty()) return;
    if (FindRowByName(name) < 0) {
        WIN32_FIND_DATAW data{};
        unique_hfind find(FindFirstFileW((target + name).c_str(), &data));
        if (find) ListNewFolder(data);
    }
    const int row = FindRowByName(name);
    if (row < 0) return;
    SetFocus(g_app.list);
    SendMessageW(g_app.list, LVM_EDITLABELW, row, 0);
}

bool NewShortcutWizardAvailable() { return HasShellEntryPoint(kWizardLibrary, kWizardEntry); }

// The wizard takes the folder with its trailing backslash and makes the shortcut itself;
// the watcher lists it.
void StartNewShortcutWizard() {
    if (g_app.nameSlot == 0) return;
    std::wstring target = TargetPath();
    CallShellEntryPoint(kWizardLibrary, kWizardEntry, target);
}

}  // namespace lurmo
