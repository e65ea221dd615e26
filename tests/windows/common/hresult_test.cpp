// The early returns of hresult.h against real Win32 failures.
#include "common/win32/hresult.h"

#include <gtest/gtest.h>
#include <windows.h>

namespace {

HRESULT DeleteMissingFile() {
    RETURN_IF_WIN32_BOOL_FALSE(::DeleteFileA("Z:\\no such folder\\no such file"));
    return S_OK;
}

// A BOOL failure that leaves no error behind.
HRESULT FailWithoutAnError() {
    ::SetLastError(ERROR_SUCCESS);
    RETURN_IF_WIN32_BOOL_FALSE(FALSE);
    return S_OK;
}

HRESULT LastErrorIf(bool condition, DWORD error) {
    ::SetLastError(error);
    RETURN_LAST_ERROR_IF(condition);
    return S_OK;
}

HRESULT Win32Error(LSTATUS status) {
    RETURN_IF_WIN32_ERROR(status);
    return S_OK;
}

HRESULT PassOn(HRESULT hr, int& evaluations) {
    RETURN_IF_FAILED((++evaluations, hr));
    return S_OK;
}

HRESULT Null(const void* pointer) {
    RETURN_HR_IF_NULL(E_POINTER, pointer);
    return S_OK;
}

TEST(Hresult, AFailedBoolCallReturnsItsLastErrorAndNeverSuccess) {
    const HRESULT hr = DeleteMissingFile();
    EXPECT_TRUE(hr == HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND) ||
                hr == HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND))
        << std::hex << hr;
    EXPECT_EQ(FailWithoutAnError(), E_FAIL);
    EXPECT_EQ(LastErrorIf(true, ERROR_ACCESS_DENIED), HRESULT_FROM_WIN32(ERROR_ACCESS_DENIED));
    EXPECT_EQ(LastErrorIf(true, ERROR_SUCCESS), E_FAIL);
    EXPECT_EQ(LastErrorIf(false, ERROR_ACCESS_DENIED), S_OK);
}

TEST(Hresult, Win32ErrorCodesBecomeTheirHresults) {
    EXPECT_EQ(Win32Error(ERROR_SUCCESS), S_OK);
    EXPECT_EQ(Win32Error(ERROR_FILE_NOT_FOUND), HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND));
}

TEST(Hresult, SuccessCodesPassAndTheArgumentIsEvaluatedOnce) {
    int evaluations = 0;
    EXPECT_EQ(PassOn(S_FALSE, evaluations), S_OK) << "S_FALSE is a success";
    EXPECT_EQ(PassOn(E_ACCESSDENIED, evaluations), E_ACCESSDENIED);
    EXPECT_EQ(evaluations, 2);
    EXPECT_EQ(Null(nullptr), E_POINTER);
    EXPECT_EQ(Null(&evaluations), S_OK);
}

} // namespace
