// Shared by the file-operation tests: the real main window listening to a folder, the
// other program that uses the clipboard and drags, rows, points and file lists.
#pragma once

#include <windows.h>
#include <commctrl.h>
#include <ole2.h>
#include <shlobj.h>
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "state/app_state.h"
#include "app/target_boxes.h"
#include "engine/handles.h"
#include "fileops/data_object.h"
#include "list/result_rows.h"
#include "list/watcher.h"
#include "tests/test_support.h"
#include "tests/ui_support.h"

namespace lurmo::test {

inline bool Exists(const std::wstring& path) { return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

// Measures the folder in the given mode and, in file-operation mode, waits for the watch.
inline void Listen(const std::wstring& folder, bool snapshot = false) {
    g_app.settings.snapShot = snapshot;
    g_app.settings.usedSize = 0;
    SendMessageW(g_app.driveBox, CB_SETCURSEL, static_cast<WPARAM>(-1), 0);
    SetBoxEditText(g_app.driveBox, folder);
    SendMessageW(g_app.main, WM_COMMAND, IDC_ACCUMULATE_BUTTON, 0);
    ASSERT_TRUE(PumpUntil([] { return g_app.worker && WaitForSingleObject(g_app.worker.get(), 0) == WAIT_OBJECT_0; }));
    if (!snapshot) {
        ASSERT_TRUE(PumpUntil([] { return IsWatching(); }));
    }
    PumpMessages();
}

// Runs the other program with the arguments and answers this thread's messages (the
// clipboard's renderings, the drop target's calls) until it ends; its exit code.
inline DWORD RunPeer(const std::wstring& arguments) {
    wchar_t self[MAX_PATH]{};
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    std::wstring line = L"\"" + std::wstring(self);
    line = line.substr(0, line.rfind(L'\\') + 1) + L"clipboard_peer.exe\" " + arguments;
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process)) {
        ADD_FAILURE() << "cannot start clipboard_peer.exe";
        return 999;
    }
    unique_handle owner(process.hProcess);
    CloseHandle(process.hThread);
    EXPECT_TRUE(PumpUntil([&] { return WaitForSingleObject(owner.get(), 0) == WAIT_OBJECT_0; }, 60000));
    DWORD code = 999;
    GetExitCodeProcess(owner.get(), &code);
    return code;
}

inline std::wstring Quoted(const std::wstring& path) { return L"\"" + path + L"\""; }

inline void SelectOnly(const std::vector<std::wstring>& names) {
    LVITEMW none{};
    none.stateMask = LVIS_SELECTED;
    SendMessageW(g_app.list, LVM_SETITEMSTATE, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(&none));
    for (const std::wstring& name : names) {
        const int row = FindRowByName(name);
        ASSERT_GE(row, 0) << Narrow(name);
        LVITEMW item{};
        item.stateMask = LVIS_SELECTED;
        item.state = LVIS_SELECTED;
        SendMessageW(g_app.list, LVM_SETITEMSTATE, row, reinterpret_cast<LPARAM>(&item));
    }
}

inline UINT RowState(const std::wstring& name, UINT mask) {
    return static_cast<UINT>(SendMessageW(g_app.list, LVM_GETITEMSTATE, FindRowByName(name), mask));
}

// Screen points over a row's label and over the empty space below the rows.
inline POINT RowPoint(const std::wstring& name) {
    RECT rect{};
    rect.left = LVIR_LABEL;
    SendMessageW(g_app.list, LVM_GETITEMRECT, FindRowByName(name), reinterpret_cast<LPARAM>(&rect));
    POINT point{(rect.left + rect.right) / 2, (rect.top + rect.bottom) / 2};
    ClientToScreen(g_app.list, &point);
    return point;
}

inline POINT EmptySpacePoint() {
    RECT client{};
    GetClientRect(g_app.list, &client);
    POINT point{40, client.bottom - 10};
    ClientToScreen(g_app.list, &point);
    return point;
}

// A data object with a CF_HDROP block holding the paths, as another program would make it.
inline com_ptr<IDataObject> FilesObject(const std::vector<std::wstring>& paths) {
    size_t units = 1;
    for (const auto& path : paths) units += path.size() + 1;
    HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, sizeof(DROPFILES) + units * sizeof(wchar_t));
    auto* header = static_cast<DROPFILES*>(GlobalLock(block));
    header->pFiles = sizeof(DROPFILES);
    header->fWide = TRUE;
    auto* out = reinterpret_cast<wchar_t*>(header + 1);
    for (const auto& path : paths) {
        memcpy(out, path.c_str(), (path.size() + 1) * sizeof(wchar_t));
        out += path.size() + 1;
    }
    GlobalUnlock(block);
    com_ptr<IDataObject> data(NewDataObject(2));
    FORMATETC format = GlobalFormat(CF_HDROP);
    STGMEDIUM medium{};
    medium.tymed = TYMED_HGLOBAL;
    medium.hGlobal = block;
    data->SetData(&format, &medium, TRUE);
    return data;
}

// Sets the thread's modifier and button keys, which DoDragDrop reads; cleared at the end.
class HeldKeys {
public:
    explicit HeldKeys(std::initializer_list<int> keys) {
        BYTE state[256]{};
        GetKeyboardState(state);
        for (int key : keys) state[key] = 0x80;
        SetKeyboardState(state);
    }
    ~HeldKeys() {
        BYTE state[256]{};
        SetKeyboardState(state);
    }
    HeldKeys(const HeldKeys&) = delete;
    HeldKeys& operator=(const HeldKeys&) = delete;
};

}  // namespace lurmo::test
