#pragma once
// Early-return helpers for HRESULT code. Each evaluates its argument once.

#include <windows.h>

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
