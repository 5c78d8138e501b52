// Move-only owners for Win32 handles, so every exit path releases what it opened.
#pragma once

#include <windows.h>
#include <objbase.h>

#include <utility>

namespace lurmo {

template <typename Traits>
class unique_any {
public:
    using pointer = typename Traits::type;

    unique_any() noexcept = default;
    explicit unique_any(pointer value) noexcept : value_(value) {}
    unique_any(const unique_any&) = delete;
    unique_any& operator=(const unique_any&) = delete;
    unique_any(unique_any&& other) noexcept : value_(other.release()) {}
    unique_any& operator=(unique_any&& other) noexcept {
        if (this != &other) reset(other.release());
        return *this;
    }
    ~unique_any() { reset(); }

    pointer get() const noexcept { return value_; }
    explicit operator bool() const noexcept { return value_ != Traits::empty(); }

    pointer release() noexcept { return std::exchange(value_, Traits::empty()); }
    void reset(pointer value = Traits::empty()) noexcept {
        pointer old = std::exchange(value_, value);
        if (old != Traits::empty()) Traits::close(old);
    }
    // For out-parameters: releases the current value first.
    pointer* put() noexcept {
        reset();
        return &value_;
    }

private:
    pointer value_ = Traits::empty();
};

struct handle_traits {
    using type = HANDLE;
    static type empty() noexcept { return nullptr; }
    static void close(type h) noexcept { ::CloseHandle(h); }
};
struct hfile_traits {
    using type = HANDLE;
    static type empty() noexcept { return INVALID_HANDLE_VALUE; }
    static void close(type h) noexcept { ::CloseHandle(h); }
};
struct hfind_traits {
    using type = HANDLE;
    static type empty() noexcept { return INVALID_HANDLE_VALUE; }
    static void close(type h) noexcept { ::FindClose(h); }
};
struct hkey_traits {
    using type = HKEY;
    static type empty() noexcept { return nullptr; }
    static void close(type h) noexcept { ::RegCloseKey(h); }
};
struct hglobal_traits {
    using type = HGLOBAL;
    static type empty() noexcept { return nullptr; }
    static void close(type h) noexcept { ::GlobalFree(h); }
};
struct hfont_traits {
    using type = HFONT;
    static type empty() noexcept { return nullptr; }
    static void close(type h) noexcept { ::DeleteObject(h); }
};
struct hbrush_traits {
    using type = HBRUSH;
    static type empty() noexcept { return nullptr; }
    static void close(type h) noexcept { ::DeleteObject(h); }
};
struct hmenu_traits {
    using type = HMENU;
    static type empty() noexcept { return nullptr; }
    static void close(type h) noexcept { ::DestroyMenu(h); }
};
struct hbitmap_traits {
    using type = HBITMAP;
    static type empty() noexcept { return nullptr; }
    static void close(type h) noexcept { ::DeleteObject(h); }
};
struct hicon_traits {
    using type = HICON;
    static type empty() noexcept { return nullptr; }
    static void close(type h) noexcept { ::DestroyIcon(h); }
};
struct hmodule_traits {
    using type = HMODULE;
    static type empty() noexcept { return nullptr; }
    static void close(type h) noexcept { ::FreeLibrary(h); }
};
struct cotask_traits {
    using type = void*;
    static type empty() noexcept { return nullptr; }
    static void close(type p) noexcept { ::CoTaskMemFree(p); }
};

using unique_handle = unique_any<handle_traits>;
using unique_hfile = unique_any<hfile_traits>;
using unique_hfind = unique_any<hfind_traits>;
using unique_hkey = unique_any<hkey_traits>;
using unique_hglobal = unique_any<hglobal_traits>;
using unique_hfont = unique_any<hfont_traits>;
using unique_hbrush = unique_any<hbrush_traits>;
using unique_hmenu = unique_any<hmenu_traits>;
using unique_hicon = unique_any<hicon_traits>;
using unique_hbitmap = unique_any<hbitmap_traits>;
using unique_hmodule = unique_any<hmodule_traits>;
using unique_cotaskmem = unique_any<cotask_traits>;

// A window's device context, given back to the window it came from.
class unique_window_dc {
public:
    explicit unique_window_dc(HWND window) noexcept : window_(window), dc_(::GetDC(window)) {}
    unique_window_dc(const unique_window_dc&) = delete;
    unique_window_dc& operator=(const unique_window_dc&) = delete;
    ~unique_window_dc() {
        if (dc_) ::ReleaseDC(window_, dc_);
    }
    HDC get() const noexcept { return dc_; }
    explicit operator bool() const noexcept { return dc_ != nullptr; }

private:
    HWND window_;
    HDC dc_;
};

// Owner of one COM reference.
template <typename T>
class com_ptr {
public:
    com_ptr() noexcept = default;
    // Takes over a reference the caller already holds.
    explicit com_ptr(T* p) noexcept : p_(p) {}
    com_ptr(const com_ptr&) = delete;
    com_ptr& operator=(const com_ptr&) = delete;
    com_ptr(com_ptr&& other) noexcept : p_(std::exchange(other.p_, nullptr)) {}
    com_ptr& operator=(com_ptr&& other) noexcept {
        if (this != &other) reset(std::exchange(other.p_, nullptr));
        return *this;
    }
    ~com_ptr() { reset(); }

    T* get() const noexcept { return p_; }
    T* operator->() const noexcept { return p_; }
    explicit operator bool() const noexcept { return p_ != nullptr; }
    T* detach() noexcept { return std::exchange(p_, nullptr); }
    void reset(T* p = nullptr) noexcept {
        T* old = std::exchange(p_, p);
        if (old) old->Release();
    }
    T** put() noexcept {
        reset();
        return &p_;
    }
    void** put_void() noexcept { return reinterpret_cast<void**>(put()); }

private:
    T* p_ = nullptr;
};

}  // namespace lurmo
