// The file-manager side of the list: clipboard, copy, move, delete, rename, open,
// context menus and new items.
#pragma once

#include <windows.h>
#include <commctrl.h>

#include <string>

namespace lurmo {

// Whether the OLE clipboard offers files (CF_HDROP in global memory).
bool ClipboardHasFiles();
// The selected rows as tab-separated lines, as CF_UNICODETEXT.
void CopyListingText();
// True when the files went onto the clipboard.
bool PutFilesOnClipboard(DWORD dropEffect);
// True when the clipboard's files were copied or moved into the target.
bool PasteFiles();
void PasteShortcuts();
// What the file operations need of the main window, which installs it at set-up: its
// folder chooser, and the way a folder row is opened (made the target, or handed to a
// further instance when several rows open at once).
struct FileOperationHost {
    bool (*chooseFolder)(UINT extraFlags, const wchar_t* verb, const std::wstring& initialFolder,
                         std::wstring& chosen, const wchar_t* title) = nullptr;
    void (*openFolder)(const std::wstring& path, int rowsBeingOpened) = nullptr;
};
void SetFileOperationHost(const FileOperationHost& host);
const FileOperationHost& GetFileOperationHost();

// The selected rows' full paths, each with its terminator and one more after the last;
// empty when there is none or a path is too long (after a message).
std::wstring BuildSelectionPathList();
void CopyMoveToFolder(UINT operation, int effect);
void DeleteSelection();
// False when the edit must not open.
bool BeginRename(const NMLVDISPINFOW* info);
// True when the typed name was taken.
bool FinishRename(const NMLVDISPINFOW* info);
// Opens the edit again on the row whose name was just refused, if it is still listed.
void ReopenRefusedRename();
void OpenSelectedRows();
// A double click: the row opens on its own (a folder becomes the target).
void OpenRow(int row);
// `rowsBeingOpened` above 1 sends a folder to a further instance instead.
void OpenRow(int rowsBeingOpened, int row);
// The shell's open-with dialog for a file no program is registered for.
void ShowOpenWith(const std::wstring& path);
void StartDrag(const NMLISTVIEW* info);
void ShowListContextMenu(const NMITEMACTIVATE* info);
void ShowTargetProperties();
void CreateNewFolder();
void StartNewShortcutWizard();
// False where the system lacks the wizard (Wine): its menu item is then grayed.
bool NewShortcutWizardAvailable();

// The entry points the shell offers only at run time (the open-with dialog, the
// new-shortcut wizard) are looked up through this; tests put their own in its place, as
// Wine's do nothing or are missing. Null restores GetProcAddress.
using EntryPointFinder = FARPROC (*)(HMODULE library, const char* name);
void SetEntryPointFinder(EntryPointFinder finder);
bool IsTemplateCommand(UINT id);
void CreateFromTemplate(UINT index);
void FreeNewItemTemplates();

}  // namespace lurmo
