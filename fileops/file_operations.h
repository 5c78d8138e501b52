// The file-manager side of the list: clipboard, copy, move, delete, rename, open,
// context menus and new items.
#pragma once

#include <windows.h>
#include <commctrl.h>

namespace lurmo {

bool ClipboardHasFiles();
void CopyListingText();
// True when the files went onto the clipboard.
bool PutFilesOnClipboard(DWORD dropEffect);
void PasteFiles();
void PasteShortcuts();
void CopyMoveToFolder(UINT operation, int effect);
void DeleteSelection();
// False when the edit must not open.
bool BeginRename(const NMLVDISPINFOW* info);
// True when the typed name was taken.
bool FinishRename(const NMLVDISPINFOW* info);
void OpenSelectedRows();
void OpenRow(int row);
void StartDrag(const NMLISTVIEW* info);
void ShowListContextMenu(const NMITEMACTIVATE* info);
void ShowTargetProperties();
void CreateNewFolder();
void StartNewShortcutWizard();
bool IsTemplateCommand(UINT id);
void CreateFromTemplate(UINT index);
void FreeNewItemTemplates();

}  // namespace lurmo
