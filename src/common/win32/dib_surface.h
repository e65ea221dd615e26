#pragma once
// A top-down 32-bit DIB section selected into a memory device context, whose
// pixels can be read back: the stand-in's off-screen frame and the tests'
// drawing surface.

#include "common/win32/unique_handle.h"

#include <windows.h>

#include <cstdint>

class DibSurface {
public:
    DibSurface(int width, int height)
        : width_(width), height_(height), dc_(::CreateCompatibleDC(nullptr)),
          bitmap_(CreateBitmap(dc_.get(), width, height, bits_)),
          selection_(dc_.get(), bitmap_.get()) {}
    DibSurface(const DibSurface&) = delete;
    DibSurface& operator=(const DibSurface&) = delete;

    bool ok() const { return dc_ && bitmap_ && bits_ && selection_; }
    HDC dc() const { return dc_.get(); }
    // Rows top to bottom, each pixel 4 bytes in memory order B, G, R, unused.
    const void* bits() const {
        ::GdiFlush();
        return bits_;
    }
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
    static HBITMAP CreateBitmap(HDC dc, int width, int height, uint32_t*& bits) {
        BITMAPINFO info = {};
        info.bmiHeader.biSize = sizeof info.bmiHeader;
        info.bmiHeader.biWidth = width;
        info.bmiHeader.biHeight = -height; // top-down: row 0 first
        info.bmiHeader.biPlanes = 1;
        info.bmiHeader.biBitCount = 32;
        info.bmiHeader.biCompression = BI_RGB;
        void* memory = nullptr;
        const HBITMAP bitmap = ::CreateDIBSection(dc, &info, DIB_RGB_COLORS, &memory, nullptr, 0);
        bits = static_cast<uint32_t*>(memory);
        return bitmap;
    }

    COLORREF RawPixel(int x, int y) const {
        const uint32_t v = bits_[y * width_ + x]; // memory order B, G, R, unused
        return RGB((v >> 16) & 0xFF, (v >> 8) & 0xFF, v & 0xFF);
    }
    static uint32_t ToDib(COLORREF c) {
        return (uint32_t{GetRValue(c)} << 16) | (uint32_t{GetGValue(c)} << 8) | GetBValue(c);
    }

    int width_;
    int height_;
    uint32_t* bits_ = nullptr; // set while bitmap_ is made
    UniqueMemoryDc dc_;
    UniqueBitmap bitmap_;
    ScopedSelectObject selection_; // after bitmap_: the bitmap is deselected before it goes
};
