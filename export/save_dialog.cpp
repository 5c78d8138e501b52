#include "export/save_dialog.h"

#include <commdlg.h>
#include <shlobj.h>
#include <shobjidl.h>

#include "engine/handles.h"
#include "export/export_lines.h"

namespace lurmo {

namespace {

// The older dialog's file-type combo box and file-name box (cmb1 and cmb13 of dlgs.h).
constexpr int kFileTypeCombo = 1136;
constexpr int kFileNameBox = 1148;
constexpr int kNameBufferLength = MAX_PATH;

// The older dialog takes the whole structure, FlagsEx included: 88 bytes on 32-bit
// Windows, 152 on 64-bit, where the pointers are wider. (OPENFILENAME_SIZE_VERSION_400W,
// 76 bytes on 32-bit, would be the cut before the places bar.)
#ifndef _WIN64
static_assert(sizeof(OPENFILENAMEW) == 88, "the older dialog's structure size");
#endif

std::wstring g_exportFolder;
WNDPROC g_previousDialogProc = nullptr;

// The older dialog's filter: the texts of the earlier systems, with their spaces.
std::wstring BuildOlderFilter() {
    std::wstring filter;
    for (const wchar_t* part : {L"CSV (カンマ区切り) (*.csv)", L"*.csv", L"テキスト (タブ区切り) (*.txt)", L"*.txt",
                                L"Unicode テキスト (*.txt)", L"*.txt"}) {
        filter += part;
        filter.push_back(L'\0');
    }
    filter.push_back(L'\0');
    return filter;
}

const wchar_t* PickExtension(int kind) { return kind == kExportCsv ? L".csv" : L".txt"; }

std::wstring StripTrailingBackslash(std::wstring path) {
    if (!path.empty() && path.back() == L'\\') path.pop_back();
    return path;
}

// Keeps the name in the file-name box in step with the chosen type, so the file gets
// the extension its contents call for.
void FollowFileType(HWND dialog, HWND combo) {
    const LRESULT selection = SendMessageW(combo, CB_GETCURSEL, 0, 0);
    if (selection == CB_ERR) return;
    wchar_t name[kNameBufferLength] = {};
    GetDlgItemTextW(dialog, kFileNameBox, name, kNameBufferLength);
    if (!name[0]) return;
    const std::wstring renamed = SwitchExportExtension(name, static_cast<int>(selection) + 1);
    SetDlgItemTextW(dialog, kFileNameBox, renamed.c_str());
}

LRESULT CALLBACK SaveDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_COMMAND && LOWORD(wParam) == kFileTypeCombo && HIWORD(wParam) == CBN_SELCHANGE) {
        FollowFileType(dialog, reinterpret_cast<HWND>(lParam));
    }
    return CallWindowProcW(g_previousDialogProc, dialog, message, wParam, lParam);
}

// The explorer-style hook lives in a child of the dialog; the type combo box notifies the
// dialog itself, so the dialog is subclassed to hear it.
UINT_PTR CALLBACK SaveDialogHook(HWND hook, UINT message, WPARAM, LPARAM) {
    if (message == WM_INITDIALOG) {
        HWND dialog = GetParent(hook);
        g_previousDialogProc = reinterpret_cast<WNDPROC>(
            SetWindowLongPtrW(dialog, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(SaveDialogProc)));
    }
    return 0;
}

bool ChooseWithItemDialog(HWND owner, const std::wstring& suggested, ExportChoice& choice) {
    com_ptr<IFileSaveDialog> dialog;
    if (FAILED(CoCreateInstance(CLSID_FileSaveDialog, nullptr, CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER,
                                IID_IFileSaveDialog, dialog.put_void()))) {
        return false;
    }
    const COMDLG_FILTERSPEC types[] = {
        {L"CSV(カンマ区切り)(*.csv)", L"*.csv"},
        {L"テキスト(タブ区切り)(*.txt)", L"*.txt"},
        {L"Unicode テキスト(*.txt)", L"*.txt"},
    };
    if (FAILED(dialog->SetFileName(suggested.c_str())) || FAILED(dialog->SetDefaultExtension(L"csv")) ||
        FAILED(dialog->SetOptions(FOS_OVERWRITEPROMPT | FOS_PATHMUSTEXIST)) ||
        FAILED(dialog->SetFileTypes(ARRAYSIZE(types), types))) {
        return false;
    }
    if (dialog->Show(owner) != S_OK) return false;
    com_ptr<IShellItem> item;
    if (FAILED(dialog->GetResult(item.put()))) return false;
    PWSTR path = nullptr;
    if (FAILED(item->GetDisplayName(SIGDN_FILESYSPATH, &path))) return false;
    unique_cotaskmem pathOwner(path);
    UINT typeIndex = 0;
    if (FAILED(dialog->GetFileTypeIndex(&typeIndex))) return false;
    choice.path = path;
    choice.kind = static_cast<int>(typeIndex);
    return true;
}

bool ChooseWithOlderDialog(HWND owner, const std::wstring& suggested, ExportChoice& choice) {
    const std::wstring filter = BuildOlderFilter();
    wchar_t file[kNameBufferLength] = {};
    (suggested + L".csv").copy(file, kNameBufferLength - 1);

    OPENFILENAMEW ofn;
    ZeroMemory(&ofn, sizeof ofn);
    ofn.lStructSize = sizeof ofn;
    ofn.hwndOwner = owner;
    ofn.lpstrFilter = filter.c_str();
    ofn.lpstrFile = file;
    ofn.nMaxFile = kNameBufferLength;
    ofn.lpstrInitialDir = g_exportFolder.c_str();
    ofn.lpstrTitle = L"出力先";
    ofn.lpstrDefExt = L"csv";
    ofn.Flags = OFN_EXPLORER | OFN_PATHMUSTEXIST | OFN_ENABLEHOOK | OFN_OVERWRITEPROMPT;
    ofn.lpfnHook = SaveDialogHook;
    if (!GetSaveFileNameW(&ofn)) return false;

    g_exportFolder = ExtractFolder(file);
    choice.path = file;
    choice.kind = static_cast<int>(ofn.nFilterIndex);
    return true;
}

}  // namespace

const std::wstring& GetExportFolder() { return g_exportFolder; }

void SetExportFolder(const std::wstring& folder) { g_exportFolder = folder; }

std::wstring FindDefaultExportFolder(HWND owner) {
    wchar_t folder[MAX_PATH] = {};
    if (SHGetSpecialFolderPathW(owner, folder, CSIDL_PERSONAL, FALSE) ||
        SHGetSpecialFolderPathW(owner, folder, CSIDL_DESKTOP, FALSE)) {
        return StripTrailingBackslash(folder);
    }
    const DWORD length = GetCurrentDirectoryW(MAX_PATH, folder);
    if (length > 0 && length < MAX_PATH) return StripTrailingBackslash(std::wstring(folder, length));
    return StripTrailingBackslash(L"C:\\");
}

std::wstring SuggestExportName(const std::wstring& targetPath) {
    const std::wstring path = StripTrailingBackslash(targetPath);
    const size_t slash = path.rfind(L'\\');
    return slash == std::wstring::npos ? path : path.substr(slash + 1);
}

std::wstring SwitchExportExtension(const std::wstring& name, int kind) {
    if (name.empty()) return name;
    const size_t dot = name.rfind(L'.');
    return (dot == std::wstring::npos ? name : name.substr(0, dot)) + PickExtension(kind);
}

std::wstring ExtractFolder(const std::wstring& path) {
    const size_t slash = path.rfind(L'\\');
    return slash == std::wstring::npos ? std::wstring() : path.substr(0, slash);
}

bool ChooseExportFile(HWND owner, const std::wstring& targetPath, DWORD osVersion, ExportChoice& choice) {
    if (g_exportFolder.empty()) g_exportFolder = FindDefaultExportFolder(owner);
    const std::wstring suggested = SuggestExportName(targetPath);
    return osVersion >= 0x600 ? ChooseWithItemDialog(owner, suggested, choice)
                              : ChooseWithOlderDialog(owner, suggested, choice);
}

}  // namespace lurmo
