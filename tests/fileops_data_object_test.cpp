// The file-list data object's result codes, the blocks it carries, and the reading of
// blocks that other programs made.
#include <windows.h>
#include <commctrl.h>
#include <ole2.h>
#include <shlobj.h>
#include <gtest/gtest.h>

#include <cstring>

#include "state/app_state.h"
#include "engine/handles.h"
#include "fileops/data_object.h"
#include "fileops/file_operations.h"
#include "fileops/file_paths.h"
#include "fileops/file_transfer.h"
#include "list/result_rows.h"
#include "tests/fileops_helpers.h"
#include "tests/ui_support.h"

using namespace lurmo;
using namespace lurmo::test;

namespace {

HGLOBAL Block(const void* data, size_t size) {
    HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, size);
    memcpy(GlobalLock(block), data, size);
    GlobalUnlock(block);
    return block;
}

HRESULT Store(IDataObject* data, CLIPFORMAT format, HGLOBAL block) {
    FORMATETC wanted = GlobalFormat(format);
    STGMEDIUM medium{};
    medium.tymed = TYMED_HGLOBAL;
    medium.hGlobal = block;
    return data->SetData(&wanted, &medium, TRUE);
}

void SetTarget(const std::wstring& target) {
    wcscpy(g_app.pathBuffer, target.c_str());
    g_app.nameSlot = target.size();
}

void AddSelectedRow(FileEntry* entry) {
    AppendFileRow(entry);
    LVITEMW item{};
    item.stateMask = item.state = LVIS_SELECTED;
    SendMessageW(g_app.list, LVM_SETITEMSTATE, g_app.rowCount - 1, reinterpret_cast<LPARAM>(&item));
}

}  // namespace

TEST(DataObject, AnswersEveryRequestWithItsResultCode) {
    com_ptr<IDataObject> data(NewDataObject(2));
    const char bytes[] = "abc";
    ASSERT_EQ(Store(data.get(), CF_HDROP, Block(bytes, 4)), S_OK);
    ASSERT_EQ(Store(data.get(), CF_TEXT, Block(bytes, 4)), S_OK);
    HGLOBAL third = Block(bytes, 4);
    EXPECT_EQ(Store(data.get(), CF_OEMTEXT, third), E_OUTOFMEMORY);
    EXPECT_EQ(GlobalFree(third), nullptr);   // still the caller's to free

    FORMATETC stream{CF_HDROP, nullptr, DVASPECT_CONTENT, -1, TYMED_ISTREAM};
    EXPECT_EQ(data->QueryGetData(&stream), DV_E_FORMATETC);
    FORMATETC either{CF_HDROP, nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL | TYMED_ISTREAM};
    EXPECT_EQ(data->QueryGetData(&either), S_OK);
    STGMEDIUM medium{};
    ASSERT_EQ(data->GetData(&either, &medium), S_OK);
    EXPECT_EQ(medium.tymed, static_cast<DWORD>(TYMED_HGLOBAL));
    EXPECT_STREQ(static_cast<const char*>(GlobalLock(medium.hGlobal)), "abc");
    GlobalUnlock(medium.hGlobal);
    ReleaseStgMedium(&medium);
    FORMATETC thumbnail{CF_HDROP, nullptr, DVASPECT_THUMBNAIL, -1, TYMED_HGLOBAL};
    EXPECT_EQ(data->GetData(&thumbnail, &medium), DV_E_DVASPECT);
    EXPECT_EQ(data->GetDataHere(&either, &medium), E_NOTIMPL);

    IEnumFORMATETC* none = reinterpret_cast<IEnumFORMATETC*>(1);
    EXPECT_EQ(data->EnumFormatEtc(DATADIR_SET, &none), E_NOTIMPL);
    EXPECT_EQ(none, nullptr);
    com_ptr<IEnumFORMATETC> formats;
    ASSERT_EQ(data->EnumFormatEtc(DATADIR_GET, formats.put()), S_OK);
    FORMATETC got[5]{};
    ULONG fetched = 7;
    EXPECT_EQ(formats->Next(2, got, nullptr), S_FALSE);
    EXPECT_EQ(formats->Next(1, got, &fetched), S_OK);
    com_ptr<IEnumFORMATETC> clone;
    ASSERT_EQ(formats->Clone(clone.put()), S_OK);
    EXPECT_EQ(clone->Next(1, got, nullptr), S_OK);
    EXPECT_EQ(got[0].cfFormat, CF_TEXT);
    formats->Reset();
    EXPECT_EQ(formats->Next(5, got, &fetched), S_FALSE);
    EXPECT_EQ(fetched, 2u);
    EXPECT_EQ(formats->Next(1, got, &fetched), S_FALSE);
    EXPECT_EQ(fetched, 0u);
    EXPECT_EQ(formats->Skip(3), S_FALSE);
}

TEST(DataObject, CarriesTheSelectedRowsAsFullPaths) {
    ListWindow window;
    SetTarget(L"C:\\Data\\");
    AddSelectedRow(NewFileEntry(L"a.txt", 1));
    AppendFileRow(NewFileEntry(L"skipped", 1));
    AddSelectedRow(NewFileEntry(L"b", 1));
    AddSelectedRow(NewFileEntry(L"日本語.doc", 1));
    unique_hglobal block = BuildDropFileList();
    ASSERT_TRUE(block);
    const auto* header = static_cast<const DROPFILES*>(GlobalLock(block.get()));
    EXPECT_EQ(header->pFiles, 20u);
    EXPECT_TRUE(header->fWide);
    const wchar_t expected[] = L"C:\\Data\\a.txt\0C:\\Data\\b\0C:\\Data\\日本語.doc\0";
    EXPECT_EQ(GlobalSize(block.get()), 20 + sizeof(expected));
    EXPECT_EQ(memcmp(header + 1, expected, sizeof(expected)), 0);
    GlobalUnlock(block.get());
}

TEST(DataObject, APathBeyondMaxPathIsRefusedNotCut) {
    ListWindow window;
    MessageBoxCatcher boxes;
    SetTarget(L"C:\\" + std::wstring(200, L'd') + L"\\");
    AddSelectedRow(NewFileEntry(std::wstring(60, L'n'), 1));
    EXPECT_FALSE(BuildDropFileList());
    ASSERT_EQ(boxes.boxes().size(), 1u);
    EXPECT_EQ(boxes.boxes()[0].text.rfind(L"パスが長すぎます. : C:\\ddd", 0), 0u);
}

// The block ends where a page ends and nothing may be read behind it: a list without
// its closing NUL gives only its terminated names.
TEST(ForeignFileList, IsReadWithinItsBlockThroughPFilesAndFWide) {
    const DWORD page = 4096;
    auto* memory = static_cast<BYTE*>(VirtualAlloc(nullptr, 2 * page, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE));
    DWORD old = 0;
    ASSERT_TRUE(VirtualProtect(memory + page, page, PAGE_NOACCESS, &old));
    const wchar_t wide[] = L"C:\\x\\a.txt\0C:\\x\\cut";   // no terminator after "cut"
    const size_t wideBytes = sizeof(wide) - sizeof(wchar_t);
    DROPFILES header{};
    header.pFiles = sizeof(DROPFILES) + 4;   // a longer header, as pFiles allows
    header.fWide = TRUE;
    BYTE* block = memory + page - header.pFiles - wideBytes;
    memcpy(block, &header, sizeof header);
    memcpy(block + header.pFiles, wide, wideBytes);
    EXPECT_EQ(ParseDropFiles(block, header.pFiles + wideBytes), std::vector<std::wstring>{L"C:\\x\\a.txt"});

    // An ANSI list in the system's code page (932 here: a Japanese name).
    const char ansi[] = "C:\\x\\\x93\xfa\x96\x7b.txt\0C:\\y\\b.txt\0";
    header.pFiles = sizeof(DROPFILES);
    header.fWide = FALSE;
    block = memory + page - sizeof(DROPFILES) - sizeof(ansi);
    memcpy(block, &header, sizeof header);
    memcpy(block + sizeof(DROPFILES), ansi, sizeof(ansi));
    const std::vector<std::wstring> names = ParseDropFiles(block, sizeof(DROPFILES) + sizeof(ansi));
    ASSERT_EQ(names.size(), 2u);
    if (GetACP() == 932) {
        EXPECT_EQ(names[0], L"C:\\x\\日本.txt");
    }
    EXPECT_EQ(names[1], L"C:\\y\\b.txt");
    VirtualFree(memory, 0, MEM_RELEASE);
}

TEST(ForeignFileList, APreferredEffectShorterThanFourBytesIsNotRead) {
    com_ptr<IDataObject> data(NewDataObject(2));
    const BYTE shortMove[2] = {DROPEFFECT_MOVE, 0};
    ASSERT_EQ(Store(data.get(), static_cast<CLIPFORMAT>(DropEffectFormat()), Block(shortMove, 2)), S_OK);
    DWORD effect = 0;
    EXPECT_FALSE(ReadPreferredEffect(data.get(), effect));
    com_ptr<IDataObject> whole(NewDataObject(2));
    const DWORD move = DROPEFFECT_MOVE;
    ASSERT_EQ(Store(whole.get(), static_cast<CLIPFORMAT>(DropEffectFormat()), Block(&move, 4)), S_OK);
    EXPECT_TRUE(ReadPreferredEffect(whole.get(), effect));
    EXPECT_EQ(effect, static_cast<DWORD>(DROPEFFECT_MOVE));
}

// A row 255 units long with a size of 19 digits and commas needs more than the 308
// units a fixed-size block would give each row.
TEST(ListingText, HoldsEveryLineWholeEvenForLongNames) {
    ListWindow window;
    OleInitialize(nullptr);
    g_app.settings.comma = 1;
    g_app.grandTotal = 1000000000000000000ull + 1234;
    const std::wstring longName = std::wstring(251, L'長') + L".txt";
    AddSelectedRow(NewFileEntry(longName, 1000000000000000000ull, LocalTime(2001, 12, 31, 23, 59, 58)));
    AddSelectedRow(NewFileEntry(L"b.txt", 1234, LocalTime(2010, 3, 7, 9, 5, 0)));
    RefreshPercentages();
    CopyListingText();
    ASSERT_TRUE(OpenClipboard(g_app.main));
    HANDLE text = GetClipboardData(CF_UNICODETEXT);
    const std::wstring copied = text ? static_cast<const wchar_t*>(GlobalLock(text)) : L"<none>";
    if (text) GlobalUnlock(text);
    CloseClipboard();
    EXPECT_EQ(copied, longName + L"\t1,000,000,000,000,000,000\t100.0\t2001/12/31 23:59:58\r\nb.txt\t1,234\t0.0\t2010/03/07 09:05:00\r\n");
    OleUninitialize();
}

namespace {

// Counts the releases of the media it is the owner of.
struct MediumOwner final : IUnknown {
    LONG releases = 0;
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void** ppv) override {
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
    ULONG STDMETHODCALLTYPE Release() override { return static_cast<ULONG>(++releases); }
};

// Another program's data object that answers GetData with a success code other than
// S_OK, handing over a medium all the same.
struct OddSuccessObject final : IDataObject {
    explicit OddSuccessObject(MediumOwner& owner) : owner_(owner) {}
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void** ppv) override {
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
    HRESULT STDMETHODCALLTYPE GetData(FORMATETC*, STGMEDIUM* medium) override {
        medium->tymed = TYMED_HGLOBAL;
        medium->hGlobal = block_;
        medium->pUnkForRelease = &owner_;
        return DATA_S_SAMEFORMATETC;
    }
    HRESULT STDMETHODCALLTYPE GetDataHere(FORMATETC*, STGMEDIUM*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE QueryGetData(FORMATETC*) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE GetCanonicalFormatEtc(FORMATETC*, FORMATETC*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetData(FORMATETC*, STGMEDIUM*, BOOL) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE EnumFormatEtc(DWORD, IEnumFORMATETC**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE DAdvise(FORMATETC*, DWORD, IAdviseSink*, DWORD*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE DUnadvise(DWORD) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE EnumDAdvise(IEnumSTATDATA**) override { return E_NOTIMPL; }

private:
    MediumOwner& owner_;
    HGLOBAL block_ = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, 64);
};

}  // namespace

TEST(ForeignFileList, AMediumHandedOverWithAnySuccessCodeIsReleased) {
    MediumOwner owner;
    OddSuccessObject data(owner);
    std::vector<std::wstring> paths;
    ReadDroppedPaths(&data, paths);
    EXPECT_EQ(owner.releases, 1);
    DWORD effect = 0;
    ReadPreferredEffect(&data, effect);
    EXPECT_EQ(owner.releases, 2);
}

// A relative name would be read against this program's working folder.
TEST(ForeignFileList, RelativeOrMalformedNamesAreRefused) {
    EXPECT_TRUE(IsWellFormedFullPath(L"C:\\Data\\a.txt"));
    EXPECT_TRUE(IsWellFormedFullPath(L"\\\\server\\share\\a.txt"));
    for (const wchar_t* bad : {L"a.txt", L"Data\\a.txt", L"C:a.txt", L"\\a.txt", L"C:\\a\\b:stream", L"C:\\a?.txt",
                               L"\\\\server", L"\\\\?\\C:\\a.txt", L""}) {
        EXPECT_FALSE(IsWellFormedFullPath(bad)) << Narrow(bad);
    }
    TempFolder root;
    MainWindow window;
    MessageBoxCatcher boxes;
    com_ptr<IDataObject> relative = FilesObject({L"nowhere-relative.txt"});
    EXPECT_EQ(TransferDroppedFiles(DROPEFFECT_COPY, relative.get(), root.path()), kTransferNoFiles);
    ASSERT_EQ(boxes.boxes().size(), 1u);
    EXPECT_EQ(boxes.boxes()[0].text, L"ファイルの一覧に、完全なパスではない名前があります. : nowhere-relative.txt");
}

// A name holding a tab and line breaks (a Linux name on a share) stays one line of four
// fields: each is written as its control picture.
TEST(ListingText, ATabOrLineBreakInANameCannotSplitTheRow) {
    ListWindow window;
    OleInitialize(nullptr);
    g_app.settings.comma = 1;
    g_app.grandTotal = 10;
    AddSelectedRow(NewFileEntry(L"a\tb\nc\rd", 10, LocalTime(2010, 3, 7, 9, 5, 0)));
    RefreshPercentages();
    CopyListingText();
    ASSERT_TRUE(OpenClipboard(g_app.main));
    HANDLE text = GetClipboardData(CF_UNICODETEXT);
    const std::wstring copied = text ? static_cast<const wchar_t*>(GlobalLock(text)) : L"<none>";
    if (text) GlobalUnlock(text);
    CloseClipboard();
    EXPECT_EQ(copied, L"a\u2409b\u240Ac\u240Dd\t10\t100.0\t2010/03/07 09:05:00\r\n");
    OleUninitialize();
}
