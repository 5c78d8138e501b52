// The shell's new-item templates (the ShellNew entries of the registered file types):
// read once, offered in the new-item submenu, and made into new items in the target.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "list/menu_entries.h"

namespace lurmo {

enum class TemplateKind { NullFile, FileName, Command, Data };

// The menu's look comes first: the submenu's item data points to the record.
struct NewItemTemplate : MenuEntryLook {
    TemplateKind kind = TemplateKind::NullFile;
    std::wstring extension;      // with its dot
    std::wstring templateFile;   // FileName
    std::wstring command;        // Command
    std::vector<BYTE> data;      // Data, the bytes as stored
};

void LoadNewItemTemplates();
size_t NewItemTemplateCount();
// Inserts the templates behind the submenu's folder, shortcut and separator entries.
void AddTemplateMenuItems(HMENU submenu);
// The first free name "新規<type name><extension>" or "新規<type name>(k)<extension>" in
// the target; false when there is no target or the name does not fit a path.
bool MakeNewItemName(const NewItemTemplate& type, std::wstring& output);
// The type's name with every character a file name cannot hold made "_".
std::wstring SafeItemName(const std::wstring& text);
// Splits a command line into its program and the parameters after it.
void SplitCommandLine(const std::wstring& line, std::wstring& program, std::wstring& parameters);
// Creates the file only when no item of that name exists, and writes the bytes; false,
// with no file left, when either fails.
bool WriteNewItemFile(const std::wstring& path, const std::vector<BYTE>& data);

}  // namespace lurmo
