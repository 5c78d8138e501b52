#include "fileops/file_operations.h"

namespace lurmo {

// The operations below are not offered yet: their commands arrive and change nothing.
void ShowListContextMenu(const NMITEMACTIVATE*) {}
bool IsTemplateCommand(UINT) { return false; }
void CreateFromTemplate(UINT) {}
void FreeNewItemTemplates() {}

}  // namespace lurmo
