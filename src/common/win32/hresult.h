#pragma once
// Early-return helpers for HRESULT code. Each evaluates its argument once.

#include <windows.h>

// The calling thread's last error as an HRESULT; never a success code, so a
// failure whose last error is 0 still reads as a failure.
HRESULT HResultFromLastError();

#define RETURN_IF_FAILED(expr)                                                                     \
    do {                                                                                           \
        const HRESULT hr_ = (expr);                                                                \
        if (FAILED(hr_))                                                                           \
            return hr_;                                                                            \
    } while (0)

#define RETURN_HR_IF(hr, cond)                                                                     \
    do {                                                                                           \
        if (cond)                                                                                  \
            return (hr);                                                                           \
    } while (0)

#define RETURN_HR_IF_NULL(hr, ptr) RETURN_HR_IF(hr, (ptr) == nullptr)

#define RETURN_IF_WIN32_BOOL_FALSE(expr)                                                           \
    do {                                                                                           \
        if (!(expr))                                                                               \
            return HResultFromLastError();                                                         \
    } while (0)
