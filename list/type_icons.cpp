#include "list/type_icons.h"

#include <windows.h>
#include <shellapi.h>
#include <shlwapi.h>

#include <cwchar>

#include "engine/handles.h"

namespace lurmo {

namespace {

std::wstring Folded(std::wstring text) {
    if (!text.empty()) CharLowerBuffW(text.data(), static_cast<DWORD>(text.size()));
    return text;
}

// The default value of a key below HKEY_CLASSES_ROOT; empty when it is missing or not text.
std::wstring ClassValue(const std::wstring& key) {
    wchar_t value[MAX_PATH * 2]{};
    DWORD bytes = sizeof(value) - sizeof(wchar_t);
    DWORD type = 0;
    unique_hkey opened;
    if (RegOpenKeyExW(HKEY_CLASSES_ROOT, key.c_str(), 0, KEY_QUERY_VALUE, opened.put()) != ERROR_SUCCESS) return {};
    if (RegQueryValueExW(opened.get(), nullptr, nullptr, &type, reinterpret_cast<BYTE*>(value), &bytes) != ERROR_SUCCESS ||
        (type != REG_SZ && type != REG_EXPAND_SZ)) {
        return {};
    }
    return value;
}

bool ClassKeyExists(const std::wstring& key) {
    unique_hkey opened;
    return RegOpenKeyExW(HKEY_CLASSES_ROOT, key.c_str(), 0, KEY_QUERY_VALUE, opened.put()) == ERROR_SUCCESS;
}

// A class whose icon is the file itself ("%1") or is chosen per file by a handler.
bool ClassIconIsPerFile(const std::wstring& key) {
    if (key.empty()) return false;
    if (ClassValue(key + L"\\DefaultIcon").find(L"%1") != std::wstring::npos) return true;
    return ClassKeyExists(key + L"\\shellex\\IconHandler");
}

}  // namespace

std::wstring TypeExtension(const std::wstring& name) { return PathFindExtensionW(name.c_str()); }

bool IconBelongsToEachFile(const std::wstring& extension) {
    // Programs, icons, cursors and shortcuts show their own icon on every system, whatever
    // the registry of this one says.
    static const wchar_t* const kOwnIcons[] = {L".exe", L".ico", L".cur", L".ani", L".lnk", L".url",
                                               L".pif", L".scr", L".cpl", L".msc", L".appref-ms"};
    const std::wstring folded = Folded(extension);
    if (folded.empty()) return false;
    for (const wchar_t* own : kOwnIcons) {
        if (folded == own) return true;
    }
    return ClassIconIsPerFile(folded) || ClassIconIsPerFile(ClassValue(folded));
}

std::optional<int> TypeIconOf(TypeIcons& icons, const std::wstring& name) {
    const std::wstring extension = Folded(TypeExtension(name));
    auto known = icons.byExtension.find(extension);
    if (known == icons.byExtension.end()) {
        int image = -1;
        if (!IconBelongsToEachFile(extension)) {
            // Asked with the given attributes the shell answers by the type alone, without
            // looking for the file.
            SHFILEINFOW info{};
            const std::wstring sample = L"x" + extension;
            if (SHGetFileInfoW(sample.c_str(), FILE_ATTRIBUTE_NORMAL, &info, sizeof(info),
                               SHGFI_USEFILEATTRIBUTES | SHGFI_SYSICONINDEX | SHGFI_SMALLICON)) {
                image = info.iIcon;
            }
        }
        known = icons.byExtension.emplace(extension, image).first;
    }
    if (known->second < 0) return std::nullopt;
    return known->second;
}

}  // namespace lurmo
