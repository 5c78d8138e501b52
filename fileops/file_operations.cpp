#include "fileops/file_operations.h"

namespace lurmo {

// The operations below are not offered yet: their commands arrive and change nothing.
void CopyMoveToFolder(UINT, int) {}
void DeleteSelection() {}
bool BeginRename(const NMLVDISPINFOW*) { return false; }
bool FinishRename(const NMLVDISPINFOW*) { return false; }
void OpenSelectedRows() {}
void OpenRow(int) {}
void ShowTargetProperties() {}
void CreateNewFolder() {}
void StartNewShortcutWizard() {}

}  // namespace lurmo
