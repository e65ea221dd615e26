#pragma once
// Early returns for HRESULT code, one shape for every kind of failure. Each
// evaluates its argument once, and each checks its argument's type at compile
// time, so a BOOL can't stand where an HRESULT belongs (nor an HRESULT where
// a condition does: `if (hr)` reads S_OK as false).
//
//   RETURN_IF_FAILED(hr)                 a failed HRESULT goes back as it is
//   RETURN_HR_IF(hr, condition)          `hr` when the bool condition holds
//   RETURN_HR_IF_NULL(hr, pointer)       `hr` when the pointer is null
//   RETURN_IF_WIN32_BOOL_FALSE(call)     a BOOL call that failed: its last error
//   RETURN_LAST_ERROR_IF(condition)      the last error when the condition holds
//   RETURN_IF_WIN32_ERROR(status)        a Win32 error code (LSTATUS) that isn't 0
//
// A last error of 0 after a failure becomes E_FAIL: a failure never reads as
// success.

#include <windows.h>

#include <type_traits>

// The HRESULT for a failure the calling thread's last error describes.
inline HRESULT LastErrorResult() noexcept {
    const DWORD error = ::GetLastError();
    return error == ERROR_SUCCESS ? E_FAIL : HRESULT_FROM_WIN32(error);
}

namespace hresult_checks {

template <typename T> constexpr HRESULT Hresult(T value) noexcept {
    static_assert(std::is_same_v<T, HRESULT>, "an HRESULT is expected here (not a BOOL or a bool)");
    return value;
}

template <typename T> constexpr bool Condition(T value) noexcept {
    static_assert(std::is_same_v<T, bool>,
                  "a bool condition is expected here (compare a BOOL with FALSE, test an "
                  "HRESULT with FAILED)");
    return value;
}

template <typename T> constexpr BOOL Win32Bool(T value) noexcept {
    static_assert(std::is_same_v<T, BOOL>, "a Win32 BOOL is expected here (not an HRESULT)");
    return value;
}

template <typename T> constexpr LONG Win32Error(T value) noexcept {
    static_assert(std::is_same_v<T, LONG> || std::is_same_v<T, DWORD>,
                  "a Win32 error code is expected here");
    return static_cast<LONG>(value);
}

} // namespace hresult_checks

#define RETURN_IF_FAILED(expr)                                                                     \
    do {                                                                                           \
        const HRESULT hr_ = ::hresult_checks::Hresult(expr);                                       \
        if (FAILED(hr_))                                                                           \
            return hr_;                                                                            \
    } while (0)

#define RETURN_HR_IF(hr, cond)                                                                     \
    do {                                                                                           \
        if (::hresult_checks::Condition(cond))                                                     \
            return ::hresult_checks::Hresult(hr);                                                  \
    } while (0)

#define RETURN_HR_IF_NULL(hr, ptr)                                                                 \
    do {                                                                                           \
        if ((ptr) == nullptr)                                                                      \
            return ::hresult_checks::Hresult(hr);                                                  \
    } while (0)

#define RETURN_IF_WIN32_BOOL_FALSE(call)                                                           \
    do {                                                                                           \
        if (!::hresult_checks::Win32Bool(call))                                                    \
            return ::LastErrorResult();                                                            \
    } while (0)

#define RETURN_LAST_ERROR_IF(cond)                                                                 \
    do {                                                                                           \
        if (::hresult_checks::Condition(cond))                                                     \
            return ::LastErrorResult();                                                            \
    } while (0)

#define RETURN_IF_WIN32_ERROR(status)                                                              \
    do {                                                                                           \
        const LONG status_ = ::hresult_checks::Win32Error(status);                                 \
        if (status_ != ERROR_SUCCESS)                                                              \
            return HRESULT_FROM_WIN32(static_cast<DWORD>(status_));                                \
    } while (0)
