#pragma once
// IDispatch for a dual interface, served from the type library embedded in
// the module (resource 1 TYPELIB): a COM class derives from
// TypeInfoDispatch<IDual> instead of IDual, and scripting clients reach the
// interface's methods and properties by name.

#include "common/win32/com_ptr.h"
#include "common/win32/hresult.h"

#include <windows.h>
#include <oleauto.h>

template <typename Dual> class TypeInfoDispatch : public Dual {
public:
    STDMETHODIMP GetTypeInfoCount(UINT* count) noexcept override {
        RETURN_HR_IF_NULL(E_POINTER, count);
        *count = 1;
        return S_OK;
    }

    STDMETHODIMP GetTypeInfo(UINT index, LCID, ITypeInfo** info) noexcept override {
        RETURN_HR_IF_NULL(E_POINTER, info);
        *info = nullptr;
        RETURN_HR_IF(DISP_E_BADINDEX, index != 0);
        RETURN_IF_FAILED(LoadTypeInfo());
        typeInfo_->AddRef();
        *info = typeInfo_.get(); // the caller's reference
        return S_OK;
    }

    STDMETHODIMP GetIDsOfNames(REFIID iid, LPOLESTR* names, UINT count, LCID,
                               DISPID* ids) noexcept override {
        RETURN_HR_IF(DISP_E_UNKNOWNINTERFACE, !::IsEqualIID(iid, IID_NULL));
        RETURN_IF_FAILED(LoadTypeInfo());
        return ::DispGetIDsOfNames(typeInfo_.get(), names, count, ids);
    }

    STDMETHODIMP Invoke(DISPID id, REFIID iid, LCID, WORD flags, DISPPARAMS* params,
                        VARIANT* result, EXCEPINFO* exception, UINT* argError) noexcept override {
        RETURN_HR_IF(DISP_E_UNKNOWNINTERFACE, !::IsEqualIID(iid, IID_NULL));
        RETURN_IF_FAILED(LoadTypeInfo());
        return ::DispInvoke(static_cast<Dual*>(this), typeInfo_.get(), id, flags, params, result,
                            exception, argError);
    }

protected:
    // `module` holds the type library; `iid` is the dual interface's id.
    TypeInfoDispatch(HMODULE module, const IID& iid) noexcept : module_(module), iid_(iid) {}
    ~TypeInfoDispatch() = default;

    // Lets the type information go before the object does (it holds the
    // type library, which COM may unload afterwards).
    void ReleaseTypeInfo() noexcept { typeInfo_.reset(); }

private:
    // Loaded on the first call that needs it and kept.
    HRESULT LoadTypeInfo() noexcept {
        if (typeInfo_) {
            return S_OK;
        }
        wchar_t path[MAX_PATH];
        const DWORD length = ::GetModuleFileNameW(module_, path, MAX_PATH);
        RETURN_LAST_ERROR_IF(length == 0);
        RETURN_HR_IF(HRESULT_FROM_WIN32(ERROR_INSUFFICIENT_BUFFER), length >= MAX_PATH);
        ComPtr<ITypeLib> library;
        RETURN_IF_FAILED(::LoadTypeLibEx(path, REGKIND_NONE, library.put()));
        return library->GetTypeInfoOfGuid(iid_, typeInfo_.put());
    }

    HMODULE module_;
    const IID& iid_;
    ComPtr<ITypeInfo> typeInfo_;
};
