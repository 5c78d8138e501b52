// The file-manager side of the list: clipboard, copy, move, delete, rename, open,
// context menus and new items.
#pragma once

#include <windows.h>
#include <commctrl.h>

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
