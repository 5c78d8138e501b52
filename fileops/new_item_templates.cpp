#include "fileops/new_item_templates.h"

#include <shellapi.h>
#include <shlwapi.h>

#include <memory>

#include "engine/error_report.h"
#include "state/app_state.h"
#include "state/message_box.h"
#include "fileops/file_operations.h"
#include "fileops/file_paths.h"

namespace lurmo {

namespace {

std::vector<std::unique_ptr<NewItemTemplate>> g_templates;

// How often a name that was free when chosen may be taken before it is created, by
// another program, until the attempt is given up.
constexpr int kNameAttempts = 100;

std::wstring Expand(const std::wstring& text) {
    const DWORD units = ExpandEnvironmentStringsW(text.c_str(), nullptr, 0);
    if (units == 0) return text;
    std::wstring expanded(units, L'\0');
    if (ExpandEnvironmentStringsW(text.c_str(), expanded.data(), units) == 0) return text;
    expanded.resize(wcsnlen(expanded.c_str(), expanded.size()));
    return expanded;
}

// The raw bytes of a value, with its type; false when it is missing or changes size
// between the two reads.
bool ReadValueBytes(HKEY key, const wchar_t* name, std::vector<BYTE>& bytes, DWORD& type) {
    DWORD size = 0;
    if (RegQueryValueExW(key, name, nullptr, &type, nullptr, &size) != ERROR_SUCCESS) return false;
    bytes.assign(size, 0);
    if (size == 0) return true;
    if (RegQueryValueExW(key, name, nullptr, &type, bytes.data(), &size) != ERROR_SUCCESS) return false;
    bytes.resize(size);
    return true;
}

// A string value as text. The registry keeps whatever bytes a program stored: the
// terminator may be missing, or the length odd, so the text ends at the stored bytes or
// at the first terminator, whichever comes first. REG_EXPAND_SZ is expanded.
bool ReadText(HKEY key, const wchar_t* name, std::wstring& text) {
    std::vector<BYTE> bytes;
    DWORD type = 0;
    if (!ReadValueBytes(key, name, bytes, type)) return false;
    if (type != REG_SZ && type != REG_EXPAND_SZ) return false;
    text.assign(reinterpret_cast<const wchar_t*>(bytes.data()), bytes.size() / sizeof(wchar_t));
    text.resize(wcsnlen(text.c_str(), text.size()));
    if (type == REG_EXPAND_SZ) text = Expand(text);
    return true;
}

bool ReadDefaultText(HKEY parent, const std::wstring& subkey, std::wstring& text) {
    unique_hkey key;
    if (RegOpenKeyExW(parent, subkey.c_str(), 0, KEY_QUERY_VALUE, key.put()) != ERROR_SUCCESS) return false;
    return ReadText(key.get(), nullptr, text) && !text.empty();
}

unique_hkey OpenShellNewKey(const std::wstring& extension, const std::wstring& progId) {
    unique_hkey key;
    if (RegOpenKeyExW(HKEY_CLASSES_ROOT, (extension + L"\\" + progId + L"\\ShellNew").c_str(), 0, KEY_QUERY_VALUE,
                      key.put()) == ERROR_SUCCESS) {
        return key;
    }
    if (RegOpenKeyExW(HKEY_CLASSES_ROOT, (extension + L"\\ShellNew").c_str(), 0, KEY_QUERY_VALUE, key.put()) !=
        ERROR_SUCCESS) {
        key.reset();
    }
    return key;
}

// The first known value of the ShellNew key decides what a new item is made of. A
// command that wants a second argument cannot be served: it is left out.
bool ReadTemplateKind(HKEY shellNew, NewItemTemplate& type) {
    if (RegQueryValueExW(shellNew, L"NullFile", nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS) {
        type.kind = TemplateKind::NullFile;
        return true;
    }
    if (ReadText(shellNew, L"FileName", type.templateFile) && !type.templateFile.empty()) {
        type.kind = TemplateKind::FileName;
        return true;
    }
    if (ReadText(shellNew, L"Command", type.command) && !type.command.empty()) {
        if (type.command.find(L"%2") != std::wstring::npos) return false;
        type.kind = TemplateKind::Command;
        return true;
    }
    DWORD valueType = 0;
    if (ReadValueBytes(shellNew, L"Data", type.data, valueType) && !type.data.empty()) {
        type.kind = TemplateKind::Data;
        return true;
    }
    return false;
}

std::wstring Trimmed(const std::wstring& text) {
    const size_t first = text.find_first_not_of(L" \t");
    if (first == std::wstring::npos) return {};
    return text.substr(first, text.find_last_not_of(L" \t") - first + 1);
}

// DefaultIcon reads "file,index", the file often in quotes and with variables in it;
// ExtractIconExW takes neither, so both are undone first.
unique_hicon LoadTypeIcon(const std::wstring& progId) {
    std::wstring location;
    if (!ReadDefaultText(HKEY_CLASSES_ROOT, progId + L"\\DefaultIcon", location)) return {};
    location = Expand(location);
    const size_t comma = location.rfind(L',');
    if (comma == std::wstring::npos) return {};
    std::wstring file = Trimmed(location.substr(0, comma));
    if (file.size() >= 2 && file.front() == L'"' && file.back() == L'"') file = file.substr(1, file.size() - 2);
    const int index = _wtoi(Trimmed(location.substr(comma + 1)).c_str());
    HICON icon = nullptr;
    if (ExtractIconExW(file.c_str(), index, nullptr, &icon, 1) == 0) return {};
    return unique_hicon(icon);
}

std::unique_ptr<NewItemTemplate> ReadTemplate(const std::wstring& extension) {
    unique_hkey key;
    if (RegOpenKeyExW(HKEY_CLASSES_ROOT, extension.c_str(), 0, KEY_QUERY_VALUE, key.put()) != ERROR_SUCCESS) return {};
    std::wstring progId;
    if (!ReadText(key.get(), nullptr, progId) || progId.empty()) return {};
    auto type = std::make_unique<NewItemTemplate>();
    if (!ReadDefaultText(HKEY_CLASSES_ROOT, progId, type->text)) return {};
    unique_hkey shellNew = OpenShellNewKey(extension, progId);
    if (!shellNew || !ReadTemplateKind(shellNew.get(), *type)) return {};
    type->icon = LoadTypeIcon(progId);
    if (!type->icon) return {};
    type->extension = extension;
    return type;
}

bool FindsItem(const std::wstring& path) {
    WIN32_FIND_DATAW data;
    return unique_hfind(FindFirstFileW(path.c_str(), &data)).get() != INVALID_HANDLE_VALUE;
}

// The template file: a full path as it stands, a bare name in the user's and then the
// system's template folder.
std::wstring FindTemplateSource(const std::wstring& file) {
    if (!PathIsRelativeW(file.c_str())) return FindsItem(file) ? file : std::wstring();
    for (const wchar_t* folder : {L"%USERPROFILE%\\Templates", L"%SystemRoot%\\ShellNew"}) {
        const std::wstring candidate = Expand(folder) + L"\\" + file;
        if (FindsItem(candidate)) return candidate;
    }
    return {};
}

// The name, relative to the target, that the new row will carry, so that its notice
// opens the rename edit. Set before the item exists: its notice may come at once.
void ExpectNewRow(const std::wstring& path) { g_app.pendingRenameName = path.substr(g_app.nameSlot); }

bool NameTakenMeanwhile() {
    const DWORD error = GetLastError();
    return error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS;
}

bool IsProgramFile(const std::wstring& path) {
    if (path.empty()) return false;
    return (ItemExists(path) && !IsExistingFolder(path)) || (ItemExists(path + L".exe") && !IsExistingFolder(path + L".exe"));
}

// A command line from the registry: the new item's path takes the place of "%1", in
// quotes unless the command quotes it, and the program is split from its parameters,
// since ShellExecuteW takes the program alone.
void RunTemplateCommand(const std::wstring& command, const std::wstring& path) {
    std::wstring line = Trimmed(command);
    const size_t argument = line.find(L"%1");
    if (argument != std::wstring::npos) {
        const bool quoted = argument > 0 && line[argument - 1] == L'"';
        line.replace(argument, 2, quoted ? path : L"\"" + path + L"\"");
    }
    std::wstring program, parameters;
    SplitCommandLine(line, program, parameters);
    const std::wstring folder = TargetFolder();
    const auto result = reinterpret_cast<INT_PTR>(ShellExecuteW(g_app.main, L"open", program.c_str(),
                                                                parameters.empty() ? nullptr : parameters.c_str(),
                                                                folder.c_str(), SW_HIDE));
    if (result <= 32) g_app.pendingRenameName.clear();
}

void ReportNotMade(const std::wstring& path, DWORD error) {
    ShowMessage(L"新しい項目を作れませんでした (" + SystemErrorText(error) + L"). : " + path, MB_ICONERROR);
}

// A copy that ended short (Wine's CopyFileW on a full disk) is no new item: it goes.
bool CopyTemplateFile(const std::wstring& source, const std::wstring& path) {
    if (!CopyFileW(source.c_str(), path.c_str(), TRUE)) {
        const DWORD error = GetLastError();
        if (error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS) DeleteFileW(path.c_str());
        SetLastError(error);
        return false;
    }
    if (MeasureTree(path).bytes == MeasureTree(source).bytes) return true;
    DeleteFileW(path.c_str());
    SetLastError(ERROR_DISK_FULL);
    return false;
}

}  // namespace

// The program is what the line starts with: the quoted text, or, unquoted, the shortest
// run up to a blank that names a program file, so that "C:\Program Files\x\y.exe %1"
// finds the program with blanks in its path; the first word when none does.
void SplitCommandLine(const std::wstring& line, std::wstring& program, std::wstring& parameters) {
    program.clear();
    parameters.clear();
    if (!line.empty() && line.front() == L'"') {
        const size_t close = line.find(L'"', 1);
        program = line.substr(1, close == std::wstring::npos ? std::wstring::npos : close - 1);
        if (close != std::wstring::npos) parameters = Trimmed(line.substr(close + 1));
        return;
    }
    for (size_t from = 0;;) {
        const size_t space = line.find_first_of(L" \t", from);
        if (space == std::wstring::npos) break;
        if (IsProgramFile(line.substr(0, space))) {
            program = line.substr(0, space);
            parameters = Trimmed(line.substr(space + 1));
            return;
        }
        from = space + 1;
    }
    if (IsProgramFile(line)) {
        program = line;
        return;
    }
    const size_t space = line.find_first_of(L" \t");
    program = line.substr(0, space);
    if (space != std::wstring::npos) parameters = Trimmed(line.substr(space + 1));
}

// A type's name may hold any character: those a file name cannot (a separator would make
// the item outside the target, a colon a stream, a quote a broken command line) become
// "_".
std::wstring SafeItemName(const std::wstring& text) {
    std::wstring name = text;
    for (wchar_t& c : name) {
        if (c < 0x20 || wcschr(L"\\/:*?\"<>|", c)) c = L'_';
    }
    return name;
}

void LoadNewItemTemplates() {
    wchar_t name[MAX_PATH + 1];
    for (DWORD index = 0;; ++index) {
        DWORD length = MAX_PATH + 1;
        const LONG result = RegEnumKeyExW(HKEY_CLASSES_ROOT, index, name, &length, nullptr, nullptr, nullptr, nullptr);
        if (result == ERROR_MORE_DATA) continue;
        if (result != ERROR_SUCCESS) break;
        if (name[0] != L'.') continue;
        if (auto type = ReadTemplate(std::wstring(name, length))) g_templates.push_back(std::move(type));
    }
}

size_t NewItemTemplateCount() { return g_templates.size(); }

void AddTemplateMenuItems(HMENU submenu) {
    for (size_t n = 0; n < g_templates.size(); ++n) {
        InsertMenuEntry(submenu, static_cast<UINT>(n + 3), static_cast<UINT>(IDM_FIRST_TEMPLATE + n),
                        reinterpret_cast<ULONG_PTR>(static_cast<MenuEntryLook*>(g_templates[n].get())));
    }
}

void FreeNewItemTemplates() { g_templates.clear(); }

bool IsTemplateCommand(UINT index) { return index < g_templates.size(); }

bool MakeNewItemName(const NewItemTemplate& type, std::wstring& output) {
    if (g_app.nameSlot == 0) return false;
    const std::wstring stem = TargetPath() + L"新規" + SafeItemName(type.text);
    output = stem + type.extension;
    for (int k = 1;; ++k) {
        if (!FitsPathBuffer(output)) return false;
        if (!FindsItem(output)) return true;
        output = stem + L"(" + std::to_wstring(k) + L")" + type.extension;
    }
}

// A write that fails or falls short leaves no file behind; the error stays the last one.
bool WriteNewItemFile(const std::wstring& path, const std::vector<BYTE>& data) {
    DWORD error = 0;
    {
        unique_hfile file(CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!file) return false;
        DWORD written = 0;
        if (!data.empty() &&
            (!WriteFile(file.get(), data.data(), static_cast<DWORD>(data.size()), &written, nullptr) ||
             written != data.size())) {
            error = GetLastError() ? GetLastError() : ERROR_DISK_FULL;
        } else if (!FlushFileBuffers(file.get())) {
            error = GetLastError();
        }
    }
    if (error == 0) return true;
    DeleteFileW(path.c_str());
    SetLastError(error);
    return false;
}

// A failure makes nothing and, unless the template cannot be found, says why; the change
// watcher lists what was made.
void CreateFromTemplate(UINT index) {
    if (index >= g_templates.size()) return;
    const NewItemTemplate& type = *g_templates[index];
    std::wstring path;
    if (type.kind == TemplateKind::Command) {
        if (!MakeNewItemName(type, path)) return;
        ExpectNewRow(path);
        RunTemplateCommand(type.command, path);
        return;
    }
    const std::wstring source = type.kind == TemplateKind::FileName ? FindTemplateSource(type.templateFile) : L"";
    if (type.kind == TemplateKind::FileName && source.empty()) return;
    // A name found free may be taken before the item is made: then the next one is tried,
    // and what appeared meanwhile is left as it is.
    for (int attempt = 0; attempt < kNameAttempts; ++attempt) {
        if (!MakeNewItemName(type, path)) break;
        ExpectNewRow(path);
        const bool made = type.kind == TemplateKind::FileName ? CopyTemplateFile(source, path)
                                                              : WriteNewItemFile(path, type.data);
        if (made) return;
        if (!NameTakenMeanwhile()) {
            ReportNotMade(path, GetLastError());
            break;
        }
    }
    g_app.pendingRenameName.clear();
}

}  // namespace lurmo
