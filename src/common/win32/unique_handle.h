#pragma once
// Move-only owners for Win32 handles: the close function and the value that
// means "none" are part of the type, so a handle is always closed the right way.

#include <windows.h>

#include <type_traits>
#include <utility>

template <typename T, auto Close, auto Invalid = nullptr> class UniqueHandle {
public:
    UniqueHandle() = default;
    explicit UniqueHandle(T value) : value_(value) {}
    UniqueHandle(const UniqueHandle&) = delete;
    UniqueHandle& operator=(const UniqueHandle&) = delete;
    UniqueHandle(UniqueHandle&& other) noexcept : value_(other.release()) {}
    UniqueHandle& operator=(UniqueHandle&& other) noexcept {
        reset(other.release());
        return *this;
    }
    ~UniqueHandle() { reset(); }

    T get() const { return value_; }
    explicit operator bool() const { return value_ != Empty(); }

    // Gives up ownership without closing.
    T release() { return std::exchange(value_, Empty()); }

    void reset(T value = Empty()) {
        const T old = std::exchange(value_, value);
        if (old != Empty()) {
            Close(old);
        }
    }

    // For out-parameters: closes what is held first, so nothing leaks.
    T* put() {
        reset();
        return &value_;
    }

private:
    static T Empty() {
        // A null pointer can't go through reinterpret_cast; a value like -1 must.
        if constexpr (std::is_null_pointer_v<decltype(Invalid)>) {
            return nullptr;
        } else {
            return reinterpret_cast<T>(Invalid);
        }
    }
    T value_ = Empty();
};

inline void CloseKernelHandle(HANDLE h) {
    ::CloseHandle(h);
}
inline void CloseRegKey(HKEY k) {
    ::RegCloseKey(k);
}
inline void DeleteGdiObject(HGDIOBJ o) {
    ::DeleteObject(o);
}
inline void DeleteMemoryDc(HDC dc) {
    ::DeleteDC(dc);
}

using UniqueHandleNull = UniqueHandle<HANDLE, CloseKernelHandle>;
// CreateFile reports failure with INVALID_HANDLE_VALUE, not null.
using UniqueFile = UniqueHandle<HANDLE, CloseKernelHandle, -1>;
using UniqueHkey = UniqueHandle<HKEY, CloseRegKey>;
using UniquePen = UniqueHandle<HPEN, DeleteGdiObject>;
using UniqueBrush = UniqueHandle<HBRUSH, DeleteGdiObject>;
using UniqueBitmap = UniqueHandle<HBITMAP, DeleteGdiObject>;
using UniqueMemoryDc = UniqueHandle<HDC, DeleteMemoryDc>;

// Selects an object into a DC and selects the previous one back on exit.
// Declare it after the owner of the object it selects, so the previous
// object is back before the selected one is deleted.
class ScopedSelectObject {
public:
    ScopedSelectObject(HDC dc, HGDIOBJ object)
        : dc_(dc), previous_(object ? ::SelectObject(dc, object) : nullptr) {}
    ScopedSelectObject(const ScopedSelectObject&) = delete;
    ScopedSelectObject& operator=(const ScopedSelectObject&) = delete;
    // True when the object was selected.
    explicit operator bool() const { return previous_ != nullptr; }
    ~ScopedSelectObject() {
        if (previous_) {
            ::SelectObject(dc_, previous_);
        }
    }

private:
    HDC dc_;
    HGDIOBJ previous_;
};

// A window's device context from GetDC, given back with ReleaseDC.
class WindowDc {
public:
    explicit WindowDc(HWND window) : window_(window), dc_(::GetDC(window)) {}
    WindowDc(const WindowDc&) = delete;
    WindowDc& operator=(const WindowDc&) = delete;
    ~WindowDc() {
        if (dc_) {
            ::ReleaseDC(window_, dc_);
        }
    }
    HDC get() const { return dc_; }
    explicit operator bool() const { return dc_ != nullptr; }

private:
    HWND window_;
    HDC dc_;
};
