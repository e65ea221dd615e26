#include "common/color_text.h"

#include <cstdio>
#include <cwchar>

namespace {

uint32_t SwapRedBlue(uint32_t c) {
    return ((c & 0xFF) << 16) | (c & 0xFF00) | ((c >> 16) & 0xFF);
}

int HexDigit(wchar_t c) {
    if (c >= L'0' && c <= L'9') {
        return c - L'0';
    }
    if (c >= L'A' && c <= L'F') {
        return c - L'A' + 10;
    }
    if (c >= L'a' && c <= L'f') {
        return c - L'a' + 10;
    }
    return -1;
}

} // namespace

void FormatColorText(uint32_t colorRef, char (&out)[kColorTextSize]) {
    std::snprintf(out, sizeof out, "#%06X",
                  static_cast<unsigned>(SwapRedBlue(colorRef) & 0xFFFFFF));
}

bool ParseColorText(const wchar_t* text, uint32_t& colorRef) {
    if (text == nullptr || std::wcslen(text) != 7) {
        return false;
    }
    uint32_t rgb = 0;
    for (int i = 1; i < 7; ++i) {
        const int digit = HexDigit(text[i]);
        if (digit < 0) {
            return false;
        }
        rgb = (rgb << 4) | static_cast<uint32_t>(digit);
    }
    colorRef = SwapRedBlue(rgb);
    return true;
}
