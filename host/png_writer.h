#pragma once
// PNG files through the platform's imaging codecs (WIC).

// Writes a top-down 32-bit BGRX image; false on any failure. COM must be
// initialised on the calling thread.
bool WritePng(const char* path, const void* bgrx, int width, int height);
