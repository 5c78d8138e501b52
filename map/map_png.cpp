#include "map/map_png.h"

#include <windows.h>
#include <objbase.h>
#include <wincodec.h>

#include <vector>

#include "engine/handles.h"

namespace lurmo {

namespace {

// COM is looked up when a picture is written, not imported: the console report links
// nothing beyond the kernel and the C library, and a system without COM has no codecs.
using CoInitializeExFunction = HRESULT(WINAPI*)(void*, DWORD);
using CoUninitializeFunction = void(WINAPI*)();
using CoCreateInstanceFunction = HRESULT(WINAPI*)(REFCLSID, IUnknown*, DWORD, REFIID, void**);

// COM for this thread while the picture is written; a thread that has it already keeps it.
struct ComScope {
    unique_hmodule ole{LoadLibraryW(L"ole32.dll")};
    CoUninitializeFunction uninitialize = nullptr;
    CoCreateInstanceFunction create = nullptr;
    HRESULT result = E_FAIL;
    ComScope() {
        if (!ole) return;
        const auto initialize = reinterpret_cast<CoInitializeExFunction>(
            reinterpret_cast<void*>(GetProcAddress(ole.get(), "CoInitializeEx")));
        uninitialize = reinterpret_cast<CoUninitializeFunction>(
            reinterpret_cast<void*>(GetProcAddress(ole.get(), "CoUninitialize")));
        create = reinterpret_cast<CoCreateInstanceFunction>(
            reinterpret_cast<void*>(GetProcAddress(ole.get(), "CoCreateInstance")));
        if (!initialize || !uninitialize || !create) {
            create = nullptr;
            return;
        }
        result = initialize(nullptr, COINIT_APARTMENTTHREADED);
    }
    ~ComScope() {
        if (SUCCEEDED(result)) uninitialize();
    }
    ComScope(const ComScope&) = delete;
    ComScope& operator=(const ComScope&) = delete;
};

}  // namespace

PngResult WriteMapPng(const std::wstring& path, const uint32_t* pixels, int width, int height) {
    ComScope com;
    if (!com.create) return PngResult::kNoCodec;
    com_ptr<IWICImagingFactory> factory;
    if (FAILED(com.create(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER, IID_IWICImagingFactory,
                                reinterpret_cast<void**>(factory.put())))) {
        return PngResult::kNoCodec;
    }
    com_ptr<IWICBitmapEncoder> encoder;
    if (FAILED(factory->CreateEncoder(GUID_ContainerFormatPng, nullptr, encoder.put()))) return PngResult::kNoCodec;
    com_ptr<IWICStream> stream;
    if (FAILED(factory->CreateStream(stream.put())) ||
        FAILED(stream->InitializeFromFilename(path.c_str(), GENERIC_WRITE))) {
        return PngResult::kWriteFailed;
    }
    com_ptr<IWICBitmapFrameEncode> frame;
    if (FAILED(encoder->Initialize(stream.get(), WICBitmapEncoderNoCache)) ||
        FAILED(encoder->CreateNewFrame(frame.put(), nullptr)) || FAILED(frame->Initialize(nullptr)) ||
        FAILED(frame->SetSize(static_cast<UINT>(width), static_cast<UINT>(height)))) {
        return PngResult::kWriteFailed;
    }
    // 24-bit BGR is the format every PNG encoder takes (Wine's declines 32-bit BGR).
    WICPixelFormatGUID format = GUID_WICPixelFormat24bppBGR;
    if (FAILED(frame->SetPixelFormat(&format))) return PngResult::kWriteFailed;
    if (format != GUID_WICPixelFormat24bppBGR) return PngResult::kNoCodec;
    const UINT stride = static_cast<UINT>(width) * 3;
    std::vector<BYTE> rows(static_cast<size_t>(stride) * height);
    for (size_t i = 0; i < static_cast<size_t>(width) * height; ++i) {
        rows[i * 3] = static_cast<BYTE>(pixels[i]);
        rows[i * 3 + 1] = static_cast<BYTE>(pixels[i] >> 8);
        rows[i * 3 + 2] = static_cast<BYTE>(pixels[i] >> 16);
    }
    if (FAILED(frame->WritePixels(static_cast<UINT>(height), stride, static_cast<UINT>(rows.size()), rows.data())) ||
        FAILED(frame->Commit()) || FAILED(encoder->Commit())) {
        return PngResult::kWriteFailed;
    }
    return PngResult::kWritten;
}

}  // namespace lurmo
