// Icons of ordinary files by their type. Asking the shell for a file's icon by its path
// costs, under Wine, time in proportion to the size of the file's folder, so a folder of
// n files took n squared; an ordinary file shows the icon of its type, which is asked for
// once per extension and kept for the run. Types whose icon belongs to each file
// (programs, icons, cursors, shortcuts, types with an icon handler or a "%1" icon) are
// still asked per file.
#pragma once

#include <optional>
#include <string>
#include <unordered_map>

namespace lurmo {

// One run's answers, kept by the thread that makes the rows: folded extension ("" for a
// name without one) to the system image index, or -1 for a type asked per file.
struct TypeIcons {
    std::unordered_map<std::wstring, int> byExtension;
};

// The extension the shell goes by: from the last "." of the name, as PathFindExtensionW
// finds it; empty when there is none.
std::wstring TypeExtension(const std::wstring& name);
// Whether files of the extension show an icon of their own rather than their type's.
bool IconBelongsToEachFile(const std::wstring& extension);
// The small icon of the file's type, or nothing when this file must be asked by path.
std::optional<int> TypeIconOf(TypeIcons& icons, const std::wstring& name);

}  // namespace lurmo
