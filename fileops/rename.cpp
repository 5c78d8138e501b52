// Renaming a row in place: the list's label edit, filtered as the user types, and the
// rename itself when the edit ends.
#include <windows.h>
#include <commctrl.h>
#include <shellapi.h>

#include <string>

#include "state/app_state.h"
#include "state/message_box.h"
#include "engine/handles.h"
#include "fileops/file_operations.h"
#include "fileops/file_paths.h"
#include "list/result_rows.h"

namespace lurmo {

namespace {

// The characters no file name may hold, in the order the refusal looks for them.
constexpr wchar_t kInvalidNameCharacters[] = L"\\/:*?\"<>|";

WNDPROC g_previousEditProc = nullptr;
// The record of the row being edited. The row is found again by it when the edit ends:
// notices applied meanwhile may have moved the row or renamed its item.
const RowEntry* g_editedEntry = nullptr;
// The record of the row whose name was refused: the edit opens again on that row, not on
// whatever the selection has become.
const RowEntry* g_refusedEntry = nullptr;
// Whether the edit held no text when the user ended it. Wine's list reports an emptied
// edit as a cancelled one (no text at all), which must reopen rather than end.
bool g_endedEmpty = false;

bool IsInvalidNameCharacter(wchar_t c) { return c != L'\0' && wcschr(kInvalidNameCharacters, c) != nullptr; }

// Typed characters that cannot be part of a name are swallowed; a pasted one is caught
// when the edit ends.
LRESULT CALLBACK LabelEditFilter(HWND edit, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_CHAR && IsInvalidNameCharacter(static_cast<wchar_t>(wParam))) return 0;
    if ((message == WM_KEYDOWN && wParam == VK_RETURN) || message == WM_KILLFOCUS) {
        g_endedEmpty = GetWindowTextLengthW(edit) == 0;
    }
    return CallWindowProcW(g_previousEditProc, edit, message, wParam, lParam);
}

// The first invalid character of the name in the refusal's order; 0 when there is none.
wchar_t FirstInvalidCharacter(const std::wstring& name) {
    for (const wchar_t* c = kInvalidNameCharacters; *c; ++c) {
        if (name.find(*c) != std::wstring::npos) return *c;
    }
    return 0;
}

void ReportMoveFailure(DWORD error) {
    const wchar_t* text = L"失敗しました.";
    if (error == ERROR_SHARING_VIOLATION) text = L"他のプログラムで使用中のため、名前を変更できません.";
    if (error == ERROR_ALREADY_EXISTS) text = L"指定された名前は既に存在しています.";
    ShowMessage(text, MB_ICONERROR);
}

// The name as the file system keeps it: Windows drops trailing dots and blanks, so a
// row showing the typed name would name no file.
std::wstring StoredName(const std::wstring& path, const std::wstring& typed) {
    WIN32_FIND_DATAW data{};
    unique_hfind find(FindFirstFileW(path.c_str(), &data));
    return find ? std::wstring(data.cFileName) : typed;
}

bool IsCaseOnlyChange(const std::wstring& before, const std::wstring& after) {
    if (before == after || before.size() != after.size()) return false;
    std::wstring upperBefore = before, upperAfter = after;
    CharUpperBuffW(upperBefore.data(), static_cast<DWORD>(upperBefore.size()));
    CharUpperBuffW(upperAfter.data(), static_cast<DWORD>(upperAfter.size()));
    return upperBefore == upperAfter;
}

// Windows changes the case of a name in one move. Wine's move finds the old item under
// the new name and reports success with the name unchanged, so there the item goes
// through a free name beside it; when the second step fails it goes back.
bool MoveChangingCase(const std::wstring& oldPath, const std::wstring& newPath) {
    for (int n = 1; n <= 99; ++n) {
        const std::wstring between = oldPath + L".~" + std::to_wstring(n);
        if (!FitsPathBuffer(between)) break;
        if (!MoveFileW(oldPath.c_str(), between.c_str())) {
            const DWORD error = GetLastError();
            if (error == ERROR_ALREADY_EXISTS || error == ERROR_FILE_EXISTS) continue;
            return false;
        }
        if (MoveFileW(between.c_str(), newPath.c_str())) return true;
        const DWORD error = GetLastError();
        MoveFileW(between.c_str(), oldPath.c_str());
        SetLastError(error);
        return false;
    }
    SetLastError(ERROR_ALREADY_EXISTS);
    return false;
}

void RewriteRenamedRow(int row, RowEntry* entry, const std::wstring& path, const std::wstring& name) {
    SHFILEINFOW icon{};
    SHGetFileInfoW(path.c_str(), 0, &icon, sizeof(icon), SHGFI_SYSICONINDEX | SHGFI_SMALLICON);
    entry->name = name;
    if (entry->kind & kKindFile) {
        entry->kind &= ~kKindShortcut;
        MarkShortcut(*entry);
    }
    LVITEMW item{};
    item.mask = LVIF_TEXT | LVIF_IMAGE | LVIF_PARAM;
    item.iItem = row;
    item.iSubItem = 0;
    item.pszText = const_cast<wchar_t*>(entry->name.c_str());
    item.iImage = icon.iIcon;
    item.lParam = reinterpret_cast<LPARAM>(entry);
    SendMessageW(g_app.list, LVM_SETITEMW, 0, reinterpret_cast<LPARAM>(&item));
}

// The watch goes on through the rename: its own notices find the row renamed already and
// change nothing, and whatever else changes meanwhile is applied as ever. The paths are
// made here from the target and the row's record, never cut to fit.
bool TakeTypedName(const NMLVDISPINFOW* info, const RowEntry* edited) {
    if (!info->item.pszText) return !g_endedEmpty;
    const std::wstring typed = info->item.pszText;
    if (typed.empty()) return false;
    if (const wchar_t invalid = FirstInvalidCharacter(typed)) {
        wchar_t text[128];
        wsprintfW(text, L"ファイル名に含めることのできない文字が含まれています. \"%c\"", invalid);
        ShowMessage(text, MB_ICONERROR);
        return false;
    }
    const int row = FindRowOfEntry(edited);
    RowEntry* entry = RowEntryAt(row);
    if (!entry || g_app.effect.snapShot) return false;
    const std::wstring target = TargetPath();
    const std::wstring oldPath = target + entry->name, newPath = target + typed;
    for (const std::wstring* path : {&oldPath, &newPath}) {
        if (!FitsPathBuffer(*path)) {
            ReportPathTooLong(*path);
            return false;
        }
    }
    // The row's item is named through the extended form, which keeps a name that ends in
    // a dot or a blank (the ordinary path would rename "g" for "g."); the typed name
    // follows the ordinary rules, as a name typed in Explorer does.
    if (!MoveFileW(ExtendedForm(oldPath).c_str(), newPath.c_str())) {
        ReportMoveFailure(GetLastError());
        return false;
    }
    std::wstring stored = StoredName(newPath, typed);
    if (stored == entry->name && IsCaseOnlyChange(entry->name, typed)) {
        if (!MoveChangingCase(oldPath, newPath)) {
            ReportMoveFailure(GetLastError());
            return false;
        }
        stored = StoredName(newPath, typed);
    }
    RewriteRenamedRow(row, entry, target + stored, stored);
    // The list writes the edit's text into the row once this returns: it gets the stored
    // name, which is never longer than the typed one.
    if (stored != typed && stored.size() <= typed.size()) {
        wmemcpy(info->item.pszText, stored.c_str(), stored.size() + 1);
    }
    return true;
}

}  // namespace

// A snapshot's rows name items that are not followed any more: they are never renamed,
// however the edit was started.
bool BeginRename(const NMLVDISPINFOW* info) {
    if (g_app.effect.snapShot || !g_app.labelEdit || g_app.nameSlot == 0) return false;
    g_editedEntry = RowEntryAt(info->item.iItem);
    if (!g_editedEntry) return false;
    g_endedEmpty = false;
    g_previousEditProc = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrW(g_app.labelEdit, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&LabelEditFilter)));
    return true;
}

bool FinishRename(const NMLVDISPINFOW* info) {
    g_app.labelEdit = nullptr;
    const RowEntry* edited = g_editedEntry;
    g_editedEntry = nullptr;
    g_refusedEntry = edited;
    const bool accepted = TakeTypedName(info, edited);
    if (accepted) g_refusedEntry = nullptr;
    return accepted;
}

void ReopenRefusedRename() {
    const int row = FindRowOfEntry(g_refusedEntry);
    g_refusedEntry = nullptr;
    if (row < 0) return;
    SetFocus(g_app.list);
    SendMessageW(g_app.list, LVM_EDITLABELW, row, 0);
}

}  // namespace lurmo
