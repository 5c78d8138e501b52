// Another program for the file-operation tests: it reads and writes the clipboard the
// plain Win32 way, as most programs do, and drags files onto a point of the screen.
//   clipboard_peer read OUTFILE            the CF_HDROP paths and the drop effect, UTF-8 lines
//   clipboard_peer text TEXT               CF_UNICODETEXT only
//   clipboard_peer files EFFECT|none PATH...   CF_HDROP, and "Preferred DropEffect" unless none
//   clipboard_peer drag X Y ctrl|plain PATH... drags the files to (X, Y); exits with the effect
//   clipboard_peer opened FILE             the program of a test file type: writes its
//                                          working folder and FILE into FILE.opened
#include <windows.h>
#include <ole2.h>
#include <shellapi.h>
#include <shlobj.h>

#include <cstring>
#include <string>
#include <vector>

#include "engine/handles.h"
#include "fileops/data_object.h"
#include "fileops/drag_drop.h"

using namespace lurmo;

namespace {

UINT EffectFormat() { return RegisterClipboardFormatW(L"Preferred DropEffect"); }

HGLOBAL MakeFileList(const std::vector<std::wstring>& paths) {
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
    return block;
}

HGLOBAL MakeBlock(const void* data, size_t size) {
    HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, size);
    memcpy(GlobalLock(block), data, size);
    GlobalUnlock(block);
    return block;
}

std::string Utf8(const std::wstring& text) {
    const int size = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, nullptr, 0, nullptr, nullptr);
    std::string narrow(size > 0 ? size - 1 : 0, '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, narrow.data(), size, nullptr, nullptr);
    return narrow;
}

int Read(const wchar_t* outFile) {
    std::string out;
    if (!OpenClipboard(nullptr)) return 2;
    if (HANDLE files = GetClipboardData(CF_HDROP)) {
        const UINT count = DragQueryFileW(static_cast<HDROP>(files), 0xFFFFFFFF, nullptr, 0);
        for (UINT i = 0; i < count; ++i) {
            wchar_t path[MAX_PATH]{};
            DragQueryFileW(static_cast<HDROP>(files), i, path, MAX_PATH);
            out += Utf8(path) + "\n";
        }
    }
    HANDLE effect = GetClipboardData(EffectFormat());
    const auto* value = effect ? static_cast<const DWORD*>(GlobalLock(effect)) : nullptr;
    out += value ? "effect=" + std::to_string(*value) + "\n" : std::string("effect=none\n");
    if (value) GlobalUnlock(effect);
    CloseClipboard();
    HANDLE file = CreateFileW(outFile, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    DWORD written = 0;
    WriteFile(file, out.data(), static_cast<DWORD>(out.size()), &written, nullptr);
    CloseHandle(file);
    return 0;
}

int Write(UINT format, HGLOBAL block, HGLOBAL effect) {
    if (!OpenClipboard(nullptr)) return 2;
    EmptyClipboard();
    SetClipboardData(format, block);
    if (effect) SetClipboardData(EffectFormat(), effect);
    CloseClipboard();
    return 0;
}

int Drag(int x, int y, bool ctrl, const std::vector<std::wstring>& paths) {
    OleInitialize(nullptr);
    SetCursorPos(x, y);
    if (ctrl) {
        // DoDragDrop reads the modifier keys from the thread's keyboard state.
        BYTE keys[256]{};
        GetKeyboardState(keys);
        keys[VK_CONTROL] = 0x80;
        SetKeyboardState(keys);
    }
    com_ptr<IDataObject> data(NewDataObject(1));
    FORMATETC format = GlobalFormat(CF_HDROP);
    STGMEDIUM medium{};
    medium.tymed = TYMED_HGLOBAL;
    medium.hGlobal = MakeFileList(paths);
    data->SetData(&format, &medium, TRUE);
    com_ptr<IDropSource> source(NewDropSource());
    DWORD effect = DROPEFFECT_NONE;
    const HRESULT result = DoDragDrop(data.get(), source.get(), DROPEFFECT_COPY | DROPEFFECT_MOVE, &effect);
    data.reset();
    source.reset();
    OleUninitialize();
    return result == DRAGDROP_S_DROP ? static_cast<int>(effect) : 100;
}

int RecordOpening(const std::wstring& file) {
    wchar_t folder[MAX_PATH]{};
    GetCurrentDirectoryW(MAX_PATH, folder);
    const std::wstring text = std::wstring(folder) + L"\n" + file + L"\n";
    unique_hfile out(CreateFileW((file + L".opened").c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
    DWORD written = 0;
    if (!out || !WriteFile(out.get(), text.c_str(), static_cast<DWORD>(text.size() * sizeof(wchar_t)), &written, nullptr)) {
        return 4;
    }
    return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc < 3) return 3;
    const std::wstring command = argv[1];
    if (command == L"read") return Read(argv[2]);
    if (command == L"opened") return RecordOpening(argv[2]);
    if (command == L"text") {
        const std::wstring text = argv[2];
        return Write(CF_UNICODETEXT, MakeBlock(text.c_str(), (text.size() + 1) * sizeof(wchar_t)), nullptr);
    }
    if (command == L"files") {
        const std::wstring effect = argv[2];
        std::vector<std::wstring> paths(argv + 3, argv + argc);
        DWORD value = effect == L"none" ? 0 : static_cast<DWORD>(_wtoi(effect.c_str()));
        return Write(CF_HDROP, MakeFileList(paths), effect == L"none" ? nullptr : MakeBlock(&value, sizeof value));
    }
    if (command == L"drag" && argc >= 6) {
        return Drag(_wtoi(argv[2]), _wtoi(argv[3]), std::wstring(argv[4]) == L"ctrl",
                    std::vector<std::wstring>(argv + 5, argv + argc));
    }
    return 3;
}
