// Uses of hresult.h's macros with an argument of the wrong type: each case
// (MISUSE=1..4) must fail to compile with the macro's own message, and case 0,
// the right types, must compile (tests/windows/common/CMakeLists.txt).
#include "common/win32/hresult.h"

HRESULT Misuse(BOOL done, HRESULT hr) {
#if MISUSE == 1
    RETURN_IF_FAILED(done); // a BOOL where an HRESULT belongs
#elif MISUSE == 2
    RETURN_HR_IF(E_FAIL, done); // a BOOL where a bool condition belongs
#elif MISUSE == 3
    RETURN_IF_WIN32_BOOL_FALSE(hr); // an HRESULT where a BOOL belongs
#elif MISUSE == 4
    RETURN_HR_IF_NULL(done, &hr); // a BOOL where the HRESULT to return belongs
#else
    RETURN_IF_FAILED(hr);
    RETURN_HR_IF(E_FAIL, done == FALSE);
    RETURN_IF_WIN32_BOOL_FALSE(done);
    RETURN_HR_IF_NULL(E_POINTER, &hr);
#endif
    return S_OK;
}
