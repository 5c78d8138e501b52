#include "fileops/data_object.h"

#include <commctrl.h>
#include <shlobj.h>

#include <atomic>
#include <cstring>
#include <new>

#include "state/app_state.h"
#include "state/message_box.h"
#include "fileops/com_object.h"
#include "fileops/file_paths.h"
#include "list/result_rows.h"

namespace lurmo {

namespace {

std::atomic<long> g_liveDataObjects{0};

struct FormatEntry {
    FORMATETC format{};
    STGMEDIUM medium{};
};

bool HasContentAspect(const FORMATETC* format) { return (format->dwAspect & DVASPECT_CONTENT) != 0; }

// A copy of a stored medium for GetData. A file name is copied as the string it is; the
// handles go through OleDuplicateData, which knows each format's kind of handle.
bool DuplicateMedium(const FormatEntry& entry, STGMEDIUM* out) {
    const STGMEDIUM& stored = entry.medium;
    STGMEDIUM copy{};
    copy.tymed = stored.tymed;
    switch (stored.tymed) {
        case TYMED_FILE: {
            if (!stored.lpszFileName) return false;
            const size_t bytes = (wcslen(stored.lpszFileName) + 1) * sizeof(wchar_t);
            copy.lpszFileName = static_cast<LPOLESTR>(CoTaskMemAlloc(bytes));
            if (!copy.lpszFileName) return false;
            memcpy(copy.lpszFileName, stored.lpszFileName, bytes);
            break;
        }
        case TYMED_HGLOBAL:
        case TYMED_GDI:
        case TYMED_MFPICT:
        case TYMED_ENHMF:
            copy.hGlobal = static_cast<HGLOBAL>(OleDuplicateData(stored.hGlobal, entry.format.cfFormat, 0));
            if (!copy.hGlobal) return false;
            break;
        default: return false;
    }
    copy.pUnkForRelease = stored.pUnkForRelease;
    if (copy.pUnkForRelease) copy.pUnkForRelease->AddRef();
    *out = copy;
    return true;
}

class CEnumFORMATETC final : public ComObject<IEnumFORMATETC, IID_IEnumFORMATETC> {
public:
    static CEnumFORMATETC* Create(const FORMATETC* formats, int count, int capacity, int cursor) {
        auto* enumerator = new (std::nothrow) CEnumFORMATETC;
        if (!enumerator) return nullptr;
        enumerator->formats_ = new (std::nothrow) FORMATETC[capacity > 0 ? capacity : 1];
        if (!enumerator->formats_) {
            delete enumerator;
            return nullptr;
        }
        enumerator->capacity_ = capacity;
        enumerator->count_ = count;
        enumerator->cursor_ = cursor;
        for (int i = 0; i < count; ++i) enumerator->formats_[i] = formats[i];
        return enumerator;
    }


    HRESULT STDMETHODCALLTYPE Next(ULONG celt, FORMATETC* rgelt, ULONG* fetched) override {
        if (fetched) *fetched = 0;
        if (celt == 0 || !rgelt || cursor_ >= count_ || (!fetched && celt != 1)) return S_FALSE;
        ULONG copied = 0;
        while (copied < celt && cursor_ < count_) rgelt[copied++] = formats_[cursor_++];
        if (fetched) *fetched = copied;
        return copied == celt ? S_OK : S_FALSE;
    }
    HRESULT STDMETHODCALLTYPE Skip(ULONG celt) override {
        ULONG steps = 0;
        while (steps < celt && cursor_ < count_) {
            ++cursor_;
            ++steps;
        }
        return steps == celt ? S_OK : S_FALSE;
    }
    HRESULT STDMETHODCALLTYPE Reset() override {
        cursor_ = 0;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Clone(IEnumFORMATETC** ppenum) override {
        if (!ppenum) return E_POINTER;
        *ppenum = Create(formats_, count_, count_, cursor_);
        return *ppenum ? S_OK : E_OUTOFMEMORY;
    }

private:
    CEnumFORMATETC() = default;
    ~CEnumFORMATETC() { delete[] formats_; }

    FORMATETC* formats_ = nullptr;
    int capacity_ = 0;
    int cursor_ = 0;
    int count_ = 0;
};

class CDataObject final : public ComObject<IDataObject, IID_IDataObject> {
public:
    static CDataObject* Create(int capacity) {
        auto* object = new (std::nothrow) CDataObject;
        if (!object) return nullptr;
        object->entries_ = new (std::nothrow) FormatEntry[capacity > 0 ? capacity : 1];
        if (!object->entries_) {
            delete object;
            return nullptr;
        }
        object->capacity_ = capacity;
        return object;
    }


    HRESULT STDMETHODCALLTYPE GetData(FORMATETC* format, STGMEDIUM* medium) override {
        if (!format || !medium) return E_INVALIDARG;
        if (!HasContentAspect(format)) return DV_E_DVASPECT;
        for (int i = 0; i < count_; ++i) {
            if (entries_[i].format.cfFormat != format->cfFormat) continue;
            if (!(entries_[i].medium.tymed & format->tymed)) return DV_E_FORMATETC;
            return DuplicateMedium(entries_[i], medium) ? S_OK : E_OUTOFMEMORY;
        }
        return DV_E_FORMATETC;
    }
    HRESULT STDMETHODCALLTYPE GetDataHere(FORMATETC*, STGMEDIUM*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE QueryGetData(FORMATETC* format) override {
        if (!format) return DV_E_FORMATETC;
        if (!HasContentAspect(format)) return DV_E_DVASPECT;
        for (int i = 0; i < count_; ++i) {
            if (entries_[i].format.cfFormat == format->cfFormat && (entries_[i].medium.tymed & format->tymed)) return S_OK;
        }
        return DV_E_FORMATETC;
    }
    HRESULT STDMETHODCALLTYPE GetCanonicalFormatEtc(FORMATETC*, FORMATETC*) override { return E_NOTIMPL; }
    // The device target belongs to the caller and may be freed once this returns, so the
    // stored format keeps none; the file lists never carry one.
    HRESULT STDMETHODCALLTYPE SetData(FORMATETC* format, STGMEDIUM* medium, BOOL release) override {
        if (!release || !format || !medium) return E_INVALIDARG;
        if (count_ >= capacity_) return E_OUTOFMEMORY;
        FormatEntry& entry = entries_[count_++];
        entry.format = *format;
        entry.format.ptd = nullptr;
        entry.medium = *medium;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE EnumFormatEtc(DWORD direction, IEnumFORMATETC** ppenum) override {
        if (!ppenum) return E_INVALIDARG;
        *ppenum = nullptr;
        if (direction != DATADIR_GET) return E_NOTIMPL;
        FORMATETC* formats = new (std::nothrow) FORMATETC[capacity_ > 0 ? capacity_ : 1];
        if (!formats) return E_OUTOFMEMORY;
        for (int i = 0; i < count_; ++i) formats[i] = entries_[i].format;
        *ppenum = CEnumFORMATETC::Create(formats, count_, capacity_, 0);
        delete[] formats;
        return *ppenum ? S_OK : E_OUTOFMEMORY;
    }
    HRESULT STDMETHODCALLTYPE DAdvise(FORMATETC*, DWORD, IAdviseSink*, DWORD*) override {
        return OLE_E_ADVISENOTSUPPORTED;
    }
    HRESULT STDMETHODCALLTYPE DUnadvise(DWORD) override { return OLE_E_ADVISENOTSUPPORTED; }
    HRESULT STDMETHODCALLTYPE EnumDAdvise(IEnumSTATDATA**) override { return OLE_E_ADVISENOTSUPPORTED; }

private:
    CDataObject() { ++g_liveDataObjects; }
    ~CDataObject() {
        for (int i = 0; i < count_; ++i) {
            if (entries_[i].medium.tymed != TYMED_NULL) ReleaseStgMedium(&entries_[i].medium);
        }
        delete[] entries_;
        --g_liveDataObjects;
    }

    FormatEntry* entries_ = nullptr;
    int capacity_ = 0;
    int count_ = 0;
};

bool StoreBlock(IDataObject* object, CLIPFORMAT format, unique_hglobal block) {
    FORMATETC wanted = GlobalFormat(format);
    STGMEDIUM medium{};
    medium.tymed = TYMED_HGLOBAL;
    medium.hGlobal = block.get();
    if (FAILED(object->SetData(&wanted, &medium, TRUE))) return false;
    block.release();
    return true;
}

void ReportBuildFailure(const wchar_t* call) { ShowMessage(std::wstring(L"エラー:") + call + L"()", MB_ICONERROR); }

}  // namespace

IDataObject* NewDataObject(int capacity) { return CDataObject::Create(capacity); }

long CountLiveDataObjects() { return g_liveDataObjects.load(); }

UINT DropEffectFormat() {
    if (!g_app.dropEffectFormat) g_app.dropEffectFormat = RegisterClipboardFormatW(L"Preferred DropEffect");
    return g_app.dropEffectFormat;
}

FORMATETC GlobalFormat(CLIPFORMAT format) { return {format, nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL}; }

// The paths are made here from the installed target, not in the shared path buffer, and
// a path the file system could not take whole is refused rather than cut short.
unique_hglobal BuildDropFileList() {
    const std::wstring target = TargetPath();
    std::vector<std::wstring> paths;
    size_t units = 1;
    int row = -1;
    while ((row = static_cast<int>(SendMessageW(g_app.list, LVM_GETNEXTITEM, row, LVNI_SELECTED))) >= 0) {
        std::wstring path = target + CellText(row, 0);
        if (!FitsPathBuffer(path)) {
            ReportPathTooLong(path);
            return {};
        }
        // A receiver would read the name by the path rules and act on another item.
        if (IsNameAlteredByPathRules(path)) {
            ReportAlteredName(path);
            return {};
        }
        units += path.size() + 1;
        paths.push_back(std::move(path));
    }
    unique_hglobal block(GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, sizeof(DROPFILES) + units * sizeof(wchar_t)));
    if (!block) {
        ReportBuildFailure(L"GlobalAlloc");
        return {};
    }
    auto* header = static_cast<DROPFILES*>(GlobalLock(block.get()));
    if (!header) {
        ReportBuildFailure(L"GlobalLock");
        return {};
    }
    header->pFiles = sizeof(DROPFILES);
    header->fWide = TRUE;
    auto* out = reinterpret_cast<wchar_t*>(header + 1);
    for (const std::wstring& path : paths) {
        memcpy(out, path.c_str(), (path.size() + 1) * sizeof(wchar_t));
        out += path.size() + 1;
    }
    *out = L'\0';
    GlobalUnlock(block.get());
    return block;
}

unique_hglobal MakeDropEffectBlock(DWORD effect) {
    unique_hglobal block(GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, sizeof(DWORD)));
    if (!block) {
        ReportBuildFailure(L"GlobalAlloc");
        return {};
    }
    auto* value = static_cast<DWORD*>(GlobalLock(block.get()));
    if (!value) {
        ReportBuildFailure(L"GlobalLock");
        return {};
    }
    *value = effect;
    GlobalUnlock(block.get());
    return block;
}

com_ptr<IDataObject> MakeSelectionDataObject(int capacity, DWORD effect) {
    com_ptr<IDataObject> object(NewDataObject(capacity));
    if (!object) {
        ShowMessage(L"メモリ不足です.", MB_ICONERROR);
        return {};
    }
    unique_hglobal files = BuildDropFileList();
    if (!files) return {};
    if (!StoreBlock(object.get(), CF_HDROP, std::move(files))) {
        ShowMessage(L"メモリ不足です.", MB_ICONERROR);
        return {};
    }
    if (effect == 0) return object;
    unique_hglobal effectBlock = MakeDropEffectBlock(effect);
    if (!effectBlock) return {};
    if (!StoreBlock(object.get(), static_cast<CLIPFORMAT>(DropEffectFormat()), std::move(effectBlock))) {
        ShowMessage(L"メモリ不足です.", MB_ICONERROR);
        return {};
    }
    return object;
}

// Another program's block is trusted for nothing: the list starts where pFiles says, in
// the character set fWide names, and ends at the block's end whatever the block claims.
std::vector<std::wstring> ParseDropFiles(const BYTE* block, size_t size) {
    std::vector<std::wstring> paths;
    if (size < sizeof(DROPFILES)) return paths;
    DROPFILES header;
    memcpy(&header, block, sizeof header);
    if (header.pFiles >= size) return paths;
    const BYTE* at = block + header.pFiles;
    const BYTE* end = block + size;
    if (header.fWide) {
        const size_t units = static_cast<size_t>(end - at) / sizeof(wchar_t);
        std::wstring text(units, L'\0');
        memcpy(text.data(), at, units * sizeof(wchar_t));
        for (size_t start = 0; start < units;) {
            const size_t stop = text.find(L'\0', start);
            if (stop == std::wstring::npos || stop == start) break;
            paths.push_back(text.substr(start, stop - start));
            start = stop + 1;
        }
        return paths;
    }
    for (const BYTE* start = at; start < end;) {
        const BYTE* stop = static_cast<const BYTE*>(memchr(start, 0, static_cast<size_t>(end - start)));
        if (!stop || stop == start) break;
        const int bytes = static_cast<int>(stop - start);
        const int length = MultiByteToWideChar(CP_ACP, 0, reinterpret_cast<const char*>(start), bytes, nullptr, 0);
        std::wstring path(static_cast<size_t>(length), L'\0');
        if (length > 0) MultiByteToWideChar(CP_ACP, 0, reinterpret_cast<const char*>(start), bytes, path.data(), length);
        if (!path.empty()) paths.push_back(std::move(path));
        start = stop + 1;
    }
    return paths;
}

HRESULT ReadDroppedPaths(IDataObject* data, std::vector<std::wstring>& paths) {
    paths.clear();
    if (!data) return E_INVALIDARG;
    FORMATETC wanted = GlobalFormat(CF_HDROP);
    STGMEDIUM medium{};
    const HRESULT result = data->GetData(&wanted, &medium);
    if (FAILED(result)) return result;
    // Any success code hands over a medium, which is ours to release.
    if (result != S_OK) {
        ReleaseStgMedium(&medium);
        return DV_E_FORMATETC;
    }
    if (medium.tymed == TYMED_HGLOBAL && medium.hGlobal) {
        if (const auto* block = static_cast<const BYTE*>(GlobalLock(medium.hGlobal))) {
            paths = ParseDropFiles(block, GlobalSize(medium.hGlobal));
            GlobalUnlock(medium.hGlobal);
        }
    }
    ReleaseStgMedium(&medium);
    return S_OK;
}

// A block shorter than a DROPEFFECT is not one: reading four bytes of it would take the
// effect from whatever lies behind it.
bool ReadPreferredEffect(IDataObject* data, DWORD& effect) {
    FORMATETC wanted = GlobalFormat(static_cast<CLIPFORMAT>(DropEffectFormat()));
    STGMEDIUM medium{};
    if (!data) return false;
    const HRESULT result = data->GetData(&wanted, &medium);
    if (FAILED(result)) return false;
    if (result != S_OK) {
        ReleaseStgMedium(&medium);
        return false;
    }
    bool read = false;
    if (medium.tymed == TYMED_HGLOBAL && medium.hGlobal && GlobalSize(medium.hGlobal) >= sizeof(DWORD)) {
        if (const auto* value = static_cast<const DWORD*>(GlobalLock(medium.hGlobal))) {
            effect = *value;
            read = true;
            GlobalUnlock(medium.hGlobal);
        }
    }
    ReleaseStgMedium(&medium);
    return read;
}

}  // namespace lurmo
