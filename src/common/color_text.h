#pragma once
// The foregroundColor property's text form, #RRGGBB, over a COLORREF
// (0x00BBGGRR: red in the low byte).

#include <cstdint>

constexpr int kColorTextSize = 8; // "#RRGGBB" and its terminator

// "#%06X" of the colour with red in the high byte.
void FormatColorText(uint32_t colorRef, char (&out)[kColorTextSize]);

// Parses exactly 7 characters whose last 6 are hexadecimal digits; the first
// character is not examined. False leaves `colorRef` unchanged.
bool ParseColorText(const wchar_t* text, uint32_t& colorRef);
