#include "app/target_boxes.h"

#include <commctrl.h>
#include <shlwapi.h>

#include <cwchar>
#include <map>
#include <memory>
#include <vector>

#include "state/app_state.h"
#include "state/message_box.h"
#include "state/window_messages.h"

namespace lurmo {

namespace {

constexpr DWORD kBoxStyle = WS_CHILD | WS_VISIBLE | WS_BORDER | CBS_DROPDOWN | CBS_AUTOHSCROLL;

// The boxes are made at run time and placed in pixels (at 96 DPI, scaled), right of the
// "対象" label; the window's layout then sizes them to end short of the buttons.
HWND CreateTargetBox(int id) {
    return CreateWindowExW(0, WC_COMBOBOXEXW, L"", kBoxStyle, Scaled(42), Scaled(2), Scaled(120), Scaled(160), g_app.main,
                           reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), g_app.instance, nullptr);
}

void InsertBoxItem(HWND box, int index, const std::wstring& text, int image, int selectedImage) {
    COMBOBOXEXITEMW item{};
    item.mask = CBEIF_TEXT | CBEIF_IMAGE | CBEIF_SELECTEDIMAGE;
    item.iItem = index;
    item.pszText = const_cast<wchar_t*>(text.c_str());
    item.iImage = image;
    item.iSelectedImage = selectedImage;
    SendMessageW(box, CBEM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item));
}

void ShowError(const wchar_t* text) { ShowMessage(text, MB_ICONERROR); }

// The history's form of a target: no trailing backslash, but a drive root keeps it.
std::wstring HistoryText(std::wstring target) {
    if (!target.empty() && target.back() == L'\\') target.pop_back();
    if (!target.empty() && target.back() == L':') target.push_back(L'\\');
    return target;
}

std::wstring HistoryValueName(int position) {
    wchar_t name[16];
    swprintf(name, 16, L"%02d", position);
    return name;
}

// The display name and small icon of an absolute item.
bool DescribeItem(PCIDLIST_ABSOLUTE item, std::wstring& name, int& icon) {
    SHFILEINFOW info{};
    if (!SHGetFileInfoW(reinterpret_cast<LPCWSTR>(item), 0, &info, sizeof(info),
                        SHGFI_PIDL | SHGFI_DISPLAYNAME | SHGFI_SYSICONINDEX | SHGFI_SMALLICON))
        return false;
    name = info.szDisplayName;
    icon = info.iIcon;
    return true;
}

struct PidlDeleter {
    void operator()(ITEMIDLIST* list) const { CoTaskMemFree(list); }
};

// The stored entries "01" to the limit, in their order. An entry that is not a text, is
// empty or longer than a target can be is skipped, and the entries after it are read all
// the same: one damaged value never costs the others. The values are enumerated, so a
// huge limit costs nothing.
std::vector<std::wstring> ReadStoredHistory(DWORD limit) {
    std::map<DWORD, std::wstring> entries;
    HKEY raw = nullptr;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, kHistoryKey, 0, KEY_QUERY_VALUE, &raw) != ERROR_SUCCESS) return {};
    unique_hkey key(raw);
    for (DWORD index = 0;; ++index) {
        wchar_t name[16]{};
        DWORD nameLength = 16, type = 0;
        wchar_t text[MAX_PATH + 1]{};
        DWORD bytes = MAX_PATH * sizeof(wchar_t);
        const LONG result =
            RegEnumValueW(raw, index, name, &nameLength, nullptr, &type, reinterpret_cast<BYTE*>(text), &bytes);
        if (result == ERROR_NO_MORE_ITEMS) break;
        if (result != ERROR_SUCCESS || type != REG_SZ) continue;
        wchar_t* end = nullptr;
        const unsigned long position = wcstoul(name, &end, 10);
        if (*end != L'\0' || position < 1 || position > limit || HistoryValueName(static_cast<int>(position)) != name)
            continue;
        text[bytes / sizeof(wchar_t)] = L'\0';
        std::wstring path = text;
        if (!path.empty()) entries.emplace(position, std::move(path));
    }
    std::vector<std::wstring> paths;
    for (auto& entry : entries) paths.push_back(std::move(entry.second));
    return paths;
}

}  // namespace

// The whole text: a target too long for the path buffer is refused by name, not cut.
std::wstring BoxEditText(HWND box) {
    HWND edit = reinterpret_cast<HWND>(SendMessageW(box, CBEM_GETEDITCONTROL, 0, 0));
    HWND source = edit ? edit : box;
    std::wstring text(static_cast<size_t>(GetWindowTextLengthW(source)) + 1, L'\0');
    text.resize(static_cast<size_t>(GetWindowTextW(source, text.data(), static_cast<int>(text.size()))));
    return text;
}

void SetBoxEditText(HWND box, const std::wstring& text) {
    HWND edit = reinterpret_cast<HWND>(SendMessageW(box, CBEM_GETEDITCONTROL, 0, 0));
    SetWindowTextW(edit ? edit : box, text.c_str());
}

std::wstring BoxItemText(HWND box, int index) {
    wchar_t text[MAX_PATH + 1]{};
    COMBOBOXEXITEMW item{};
    item.mask = CBEIF_TEXT;
    item.iItem = index;
    item.pszText = text;
    item.cchTextMax = MAX_PATH + 1;
    if (!SendMessageW(box, CBEM_GETITEMW, 0, reinterpret_cast<LPARAM>(&item))) return {};
    return text;
}

int BoxSelection(HWND box) { return static_cast<int>(SendMessageW(box, CB_GETCURSEL, 0, 0)); }

// What the box shows is the target. The box keeps its last choice while the user types
// over it, so a choice counts only while the edit still shows it: a history entry is its
// text, a drive its path behind the display name.
std::wstring TargetBoxText() {
    if (g_app.settings.targetList == 1) return BoxEditText(g_app.historyBox);
    if (g_app.settings.targetList == 0) {
        const std::wstring typed = BoxEditText(g_app.driveBox);
        const int selected = BoxSelection(g_app.driveBox);
        if (selected >= 0 && static_cast<size_t>(selected) < g_app.drivePaths.size() &&
            BoxItemText(g_app.driveBox, selected) == typed)
            return g_app.drivePaths[selected];
        return typed;
    }
    return {};
}
int BoxCount(HWND box) { return static_cast<int>(SendMessageW(box, CB_GETCOUNT, 0, 0)); }

int SmallIconOf(const std::wstring& path) {
    SHFILEINFOW info{};
    if (!SHGetFileInfoW(path.c_str(), 0, &info, sizeof(info), SHGFI_SYSICONINDEX | SHGFI_SMALLICON)) return 0;
    return info.iIcon;
}

void FillDriveBox() {
    g_app.driveBox = CreateTargetBox(IDC_DRIVE_BOX);
    g_app.drivePaths.clear();
    [] {
        com_ptr<IMalloc> allocator;
        if (FAILED(SHGetMalloc(allocator.put()))) return ShowError(L"エラー:SHGetMalloc()");
        PIDLIST_ABSOLUTE rawComputer = nullptr;
        if (FAILED(SHGetSpecialFolderLocation(g_app.main, CSIDL_DRIVES, &rawComputer)))
            return ShowError(L"エラー:SHGetSpecialFolderLocation()");
        std::unique_ptr<ITEMIDLIST, PidlDeleter> computer(rawComputer);
        com_ptr<IShellFolder> folder;
        if (!g_app.desktop || FAILED(g_app.desktop->BindToObject(computer.get(), nullptr, IID_IShellFolder,
                                                                 folder.put_void())))
            return ShowError(L"エラー:IShellFolder.BindToObject()");
        com_ptr<IEnumIDList> children;
        if (folder->EnumObjects(g_app.main, SHCONTF_STORAGE, children.put()) != S_OK || !children)
            return ShowError(L"エラー:IShellFolder.EnumObjects()");
        PITEMID_CHILD child = nullptr;
        HRESULT next = children->Next(1, &child, nullptr);
        if (next != S_OK) {
            // Wine's computer folder lists nothing for the storage flag alone; its drives
            // come as folders.
            if (folder->EnumObjects(g_app.main, SHCONTF_FOLDERS, children.put()) != S_OK || !children) return;
            next = children->Next(1, &child, nullptr);
        }
        for (; next == S_OK; next = children->Next(1, &child, nullptr)) {
            std::unique_ptr<ITEMIDLIST, PidlDeleter> childOwner(child);
            std::unique_ptr<ITEMIDLIST, PidlDeleter> absolute(ILCombine(computer.get(), child));
            std::wstring name;
            int icon = 0;
            if (absolute) DescribeItem(absolute.get(), name, icon);
            // An item without a parsing name keeps an empty path, so box and list stay in
            // step; the target checks refuse the empty path.
            std::wstring path;
            STRRET parsing{};
            wchar_t buffer[MAX_PATH]{};
            if (SUCCEEDED(folder->GetDisplayNameOf(child, SHGDN_FORPARSING, &parsing)) &&
                SUCCEEDED(StrRetToBufW(&parsing, child, buffer, MAX_PATH)))
                path = buffer;
            g_app.drivePaths.push_back(path);
            InsertBoxItem(g_app.driveBox, BoxCount(g_app.driveBox), name, icon, icon);
        }
    }();
    if (g_app.smallImages) SendMessageW(g_app.driveBox, CBEM_SETIMAGELIST, 0, reinterpret_cast<LPARAM>(g_app.smallImages));
    SetBoxEditText(g_app.driveBox, g_app.initialTarget);
}

void LoadHistory() {
    g_app.historyBox = CreateTargetBox(IDC_HISTORY_BOX);
    RECT drive{};
    GetWindowRect(g_app.driveBox, &drive);
    MapWindowPoints(nullptr, g_app.main, reinterpret_cast<POINT*>(&drive), 2);
    MoveWindow(g_app.historyBox, drive.left, drive.top, drive.right - drive.left, drive.bottom - drive.top, FALSE);
    int position = 0;
    for (const std::wstring& path : ReadStoredHistory(g_app.settings.maxHistory)) {
        int icon = 0;
        if (!path.empty() && path.back() == L':') icon = SmallIconOf(path + L"\\");
        else if (path.compare(0, 2, L"\\\\") != 0) icon = SmallIconOf(path);
        InsertBoxItem(g_app.historyBox, position++, path, icon, icon);
    }
    if (g_app.smallImages) SendMessageW(g_app.historyBox, CBEM_SETIMAGELIST, 0, reinterpret_cast<LPARAM>(g_app.smallImages));
}

void ShowTargetList() {
    const bool history = g_app.settings.targetList == 1;
    SetWindowTextW(g_app.targetListButton, history ? L"ドライブ(&D)" : L"履歴(&H)");
    ShowWindow(g_app.historyBox, history ? SW_SHOW : SW_HIDE);
    EnableWindow(g_app.historyBox, history);
    ShowWindow(g_app.driveBox, history ? SW_HIDE : SW_SHOW);
    EnableWindow(g_app.driveBox, !history);
}

void RegisterDriveNotifications() {
    if (g_app.driveNotification) SHChangeNotifyDeregister(g_app.driveNotification);
    SHChangeNotifyEntry entry{nullptr, TRUE};
    g_app.driveNotification = SHChangeNotifyRegister(g_app.main, SHCNRF_InterruptLevel | SHCNRF_ShellLevel,
                                                     SHCNE_DRIVEADD | SHCNE_DRIVEREMOVED, kMsgDriveChange, 1, &entry);
}

void AddDrive(const std::wstring& path, const std::wstring& displayName, int icon) {
    size_t index = 0;
    for (; index < g_app.drivePaths.size(); ++index) {
        const int order = _wcsicmp(g_app.drivePaths[index].c_str(), path.c_str());
        if (order == 0) return;
        if (order > 0) break;
    }
    g_app.drivePaths.insert(g_app.drivePaths.begin() + static_cast<ptrdiff_t>(index), path);
    InsertBoxItem(g_app.driveBox, static_cast<int>(index), displayName, icon, icon);
}

void RemoveDrive(const std::wstring& path) {
    for (size_t index = 0; index < g_app.drivePaths.size(); ++index) {
        if (_wcsicmp(g_app.drivePaths[index].c_str(), path.c_str()) == 0) {
            g_app.drivePaths.erase(g_app.drivePaths.begin() + static_cast<ptrdiff_t>(index));
            SendMessageW(g_app.driveBox, CBEM_DELETEITEM, index, 0);
            return;
        }
    }
}

void OnDriveChange(PCIDLIST_ABSOLUTE* idLists, LONG event) {
    if (!idLists || !idLists[0]) return;
    wchar_t path[MAX_PATH]{};
    if (!SHGetPathFromIDListW(idLists[0], path)) return;
    if (event == SHCNE_DRIVEREMOVED) {
        RemoveDrive(path);
    } else if (event == SHCNE_DRIVEADD) {
        std::wstring name;
        int icon = 0;
        DescribeItem(idLists[0], name, icon);
        AddDrive(path, name, icon);
    }
}

int HistoryIconOf(const std::wstring& target) { return SmallIconOf(HistoryText(target)); }

void AddToHistory(const std::wstring& target, int icon) {
    const std::wstring text = HistoryText(target);
    HWND box = g_app.historyBox;
    const int count = BoxCount(box);
    int found = -1;
    for (int i = 0; i < count; ++i) {
        if (_wcsicmp(BoxItemText(box, i).c_str(), text.c_str()) == 0) {
            found = i;
            break;
        }
    }
    if (found > 0) {
        wchar_t buffer[MAX_PATH + 1]{};
        COMBOBOXEXITEMW item{};
        item.mask = CBEIF_TEXT | CBEIF_IMAGE | CBEIF_SELECTEDIMAGE;
        item.iItem = found;
        item.pszText = buffer;
        item.cchTextMax = MAX_PATH + 1;
        SendMessageW(box, CBEM_GETITEMW, 0, reinterpret_cast<LPARAM>(&item));
        SendMessageW(box, CBEM_DELETEITEM, found, 0);
        item.iItem = 0;
        SendMessageW(box, CBEM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item));
    } else if (found < 0) {
        if (icon < 0) icon = SmallIconOf(text);
        InsertBoxItem(box, 0, text, icon, icon);
        if (static_cast<DWORD>(count) + 1 > g_app.settings.maxHistory) {
            SendMessageW(box, CBEM_DELETEITEM, g_app.settings.maxHistory, 0);
        }
    }
    SendMessageW(box, CB_SETCURSEL, 0, 0);
}

void SaveHistory() {
    // The key holds values only; SHDeleteKeyW also takes any subkey a user made, and exists
    // on every system the program runs on.
    SHDeleteKeyW(HKEY_CURRENT_USER, kHistoryKey);
    HKEY raw = nullptr;
    if (RegCreateKeyExW(HKEY_CURRENT_USER, kHistoryKey, 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_SET_VALUE, nullptr,
                        &raw, nullptr) != ERROR_SUCCESS)
        return;
    unique_hkey key(raw);
    const int count = BoxCount(g_app.historyBox);
    for (int i = 0; i < count; ++i) {
        const std::wstring text = BoxItemText(g_app.historyBox, i);
        // Stored without a terminator; the reader adds it.
        RegSetValueExW(raw, HistoryValueName(i + 1).c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                       static_cast<DWORD>(text.size() * sizeof(wchar_t)));
    }
}

void ClearHistory() {
    while (BoxCount(g_app.historyBox) > 0) SendMessageW(g_app.historyBox, CBEM_DELETEITEM, 0, 0);
}

void TrimHistory() {
    while (static_cast<DWORD>(BoxCount(g_app.historyBox)) > g_app.settings.maxHistory)
        SendMessageW(g_app.historyBox, CBEM_DELETEITEM, g_app.settings.maxHistory, 0);
}

}  // namespace lurmo
