#include "fileops/file_operations.h"

namespace lurmo {

// The clipboard holds files when an Explorer-style file list is on it.
bool ClipboardHasFiles() { return IsClipboardFormatAvailable(CF_HDROP) != FALSE; }

// The operations below are not offered yet: their commands arrive and change nothing.
void CopyListingText() {}
bool PutFilesOnClipboard(DWORD) { return false; }
void PasteFiles() {}
void PasteShortcuts() {}
void CopyMoveToFolder(UINT, int) {}
void DeleteSelection() {}
bool BeginRename(const NMLVDISPINFOW*) { return false; }
bool FinishRename(const NMLVDISPINFOW*) { return false; }
void OpenSelectedRows() {}
void OpenRow(int) {}
void StartDrag(const NMLISTVIEW*) {}
void ShowListContextMenu(const NMITEMACTIVATE*) {}
void ShowTargetProperties() {}
void CreateNewFolder() {}
void StartNewShortcutWizard() {}
bool IsTemplateCommand(UINT) { return false; }
void CreateFromTemplate(UINT) {}
void FreeNewItemTemplates() {}

}  // namespace lurmo
