#pragma once
// A top-down 32-bit DIB section selected into a memory device context, whose
// pixels can be read back as COLORREF values.

#include "common/win32/unique_handle.h"

#include <windows.h>

#include <cstdint>

inline void DeleteMemoryDc(HDC dc) {
    ::DeleteDC(dc);
}
using UniqueMemoryDc = UniqueHandle<HDC, DeleteMemoryDc>;
using UniqueBitmap = UniqueHandle<HBITMAP, DeleteGdiObject>;

class DibSurface {
public:
    DibSurface(int width, int height) : width_(width), height_(height) {
        BITMAPINFO info = {};
        info.bmiHeader.biSize = sizeof info.bmiHeader;
        info.bmiHeader.biWidth = width;
        info.bmiHeader.biHeight = -height; // top-down: row 0 first
        info.bmiHeader.biPlanes = 1;
        info.bmiHeader.biBitCount = 32;
        info.bmiHeader.biCompression = BI_RGB;
        dc_.reset(::CreateCompatibleDC(nullptr));
        void* bits = nullptr;
        bitmap_.reset(::CreateDIBSection(dc_.get(), &info, DIB_RGB_COLORS, &bits, nullptr, 0));
        bits_ = static_cast<uint32_t*>(bits);
        if (dc_ && bitmap_) {
            previous_ = ::SelectObject(dc_.get(), bitmap_.get());
        }
    }
    DibSurface(const DibSurface&) = delete;
    DibSurface& operator=(const DibSurface&) = delete;
    ~DibSurface() {
        if (previous_) {
            ::SelectObject(dc_.get(), previous_);
        }
    }

    bool ok() const { return dc_ && bitmap_ && bits_ && previous_; }
    HDC dc() const { return dc_.get(); }
    int width() const { return width_; }
    int height() const { return height_; }
    RECT rect() const { return RECT{0, 0, width_, height_}; }

    // Every pixel set to one COLORREF.
    void Fill(COLORREF color) {
        ::GdiFlush();
        for (int i = 0; i < width_ * height_; ++i) {
            bits_[i] = ToDib(color);
        }
    }

    // The pixel at (x, y) as COLORREF 0x00BBGGRR.
    COLORREF Pixel(int x, int y) const {
        ::GdiFlush();
        return RawPixel(x, y);
    }

    // How many pixels of the rectangle have this colour.
    int Count(const RECT& r, COLORREF color) const {
        ::GdiFlush();
        int n = 0;
        for (int y = r.top; y < r.bottom; ++y) {
            for (int x = r.left; x < r.right; ++x) {
                n += RawPixel(x, y) == color ? 1 : 0;
            }
        }
        return n;
    }

private:
    COLORREF RawPixel(int x, int y) const {
        const uint32_t v = bits_[y * width_ + x]; // memory order B, G, R, unused
        return RGB((v >> 16) & 0xFF, (v >> 8) & 0xFF, v & 0xFF);
    }
    static uint32_t ToDib(COLORREF c) {
        return (uint32_t{GetRValue(c)} << 16) | (uint32_t{GetGValue(c)} << 8) | GetBValue(c);
    }

    int width_;
    int height_;
    UniqueMemoryDc dc_;
    UniqueBitmap bitmap_;
    uint32_t* bits_ = nullptr;
    HGDIOBJ previous_ = nullptr;
};
