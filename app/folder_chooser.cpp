#include "app/folder_chooser.h"

#include <shlobj.h>
#include <shlwapi.h>

#include <cwchar>
#include <memory>

#include "state/app_state.h"
#include "app/target_boxes.h"

namespace lurmo {

namespace {

const wchar_t* g_chooserVerb = nullptr;

int CALLBACK ChooserCallback(HWND window, UINT message, LPARAM lParam, LPARAM data) {
    if (message == BFFM_INITIALIZED) {
        SendMessageW(window, BFFM_SETSELECTIONW, TRUE, data);
        if (g_chooserVerb) {
            SetWindowTextW(window, (std::wstring(g_chooserVerb) + L"先の選択").c_str());
            SetDlgItemTextW(window, IDOK, g_chooserVerb);
        }
    } else if (message == BFFM_SELCHANGED) {
        wchar_t path[MAX_PATH]{};
        const BOOL fileSystem = SHGetPathFromIDListW(reinterpret_cast<PCIDLIST_ABSOLUTE>(lParam), path);
        SendMessageW(window, BFFM_ENABLEOK, 0, fileSystem);
    }
    return 0;
}

}  // namespace

bool ChooseFolder(UINT extraFlags, const wchar_t* verb, const std::wstring& initialFolder, std::wstring& result,
                  const wchar_t* title) {
    g_chooserVerb = verb;
    BROWSEINFOW browse{};
    browse.hwndOwner = g_app.main;
    browse.lpszTitle = title;
    browse.ulFlags = extraFlags | BIF_RETURNONLYFSDIRS | BIF_NEWDIALOGSTYLE;
    browse.lpfn = ChooserCallback;
    browse.lParam = reinterpret_cast<LPARAM>(initialFolder.c_str());
    PIDLIST_ABSOLUTE chosen = SHBrowseForFolderW(&browse);
    g_chooserVerb = nullptr;
    if (!chosen) return false;
    bool named = false;
    STRRET name{};
    wchar_t buffer[MAX_PATH]{};
    if (g_app.desktop && SUCCEEDED(g_app.desktop->GetDisplayNameOf(chosen, SHGDN_FORPARSING, &name)) &&
        SUCCEEDED(StrRetToBufW(&name, chosen, buffer, MAX_PATH))) {
        result = buffer;
        named = true;
    }
    ILFree(chosen);
    return named;
}

void InstallChosenFolder(std::wstring path) {
    if (!path.empty() && path.back() == L'\\') path.pop_back();
    int index = -1;
    for (size_t i = 0; i < g_app.drivePaths.size(); ++i) {
        if (_wcsicmp(g_app.drivePaths[i].c_str(), path.c_str()) == 0) {
            index = static_cast<int>(i);
            break;
        }
    }
    SendMessageW(g_app.driveBox, CB_SETCURSEL, index, 0);
    if (index < 0) {
        SetBoxEditText(g_app.driveBox, path);
        SendMessageW(g_app.historyBox, CB_SETCURSEL, static_cast<WPARAM>(-1), 0);
        SetBoxEditText(g_app.historyBox, path);
    }
}

void BrowseForTarget() {
    std::wstring initial;
    if (g_app.settings.targetList <= 1) {
        initial = TargetBoxText();
        if (initial.empty()) initial = L"C:\\";
    }
    if (!initial.empty() && initial.back() == L':') initial.push_back(L'\\');
    std::wstring chosen;
    if (!ChooseFolder(BIF_NONEWFOLDERBUTTON, nullptr, initial, chosen, L"フォルダを選択してください.")) return;
    InstallChosenFolder(chosen);
}

}  // namespace lurmo
