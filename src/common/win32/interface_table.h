#pragma once
// QueryInterface from a table of the interfaces an object answers, in place
// of a chain of IsEqualIID tests that must keep each cast right by hand:
//
//   const InterfaceRow kInterfaces[] = {
//       INTERFACE_ROW(CThing, IID_IThing, IThing),
//       INTERFACE_ROW(CThing, IID_IDispatch, IThing), // a second id, the same pointer
//   };
//   STDMETHODIMP CThing::QueryInterface(REFIID iid, void** ppv) noexcept {
//       return QueryInterfaceFromTable(this, kInterfaces, iid, ppv);
//   }

#include "common/win32/hresult.h"

#include <windows.h>
#include <unknwn.h>

#include <cstddef>

// One row of an interface table: an interface id, and where the object's
// pointer for it lies, as an offset from the object's start.
struct InterfaceRow {
    const IID* iid;
    ptrdiff_t offset;
};

// The row for `iid` answered by the object's base class `Base`. Any address
// but 0 serves to measure the offset.
#define INTERFACE_ROW(Class, iid, Base)                                                            \
    InterfaceRow {                                                                                 \
        &(iid), reinterpret_cast<char*>(static_cast<Base*>(reinterpret_cast<Class*>(8))) -         \
                    reinterpret_cast<char*>(8)                                                     \
    }

// QueryInterface for `object` over its table, whose first row also answers
// IUnknown, so that every IUnknown pointer to the object is the same one.
template <size_t N>
HRESULT QueryInterfaceFromTable(void* object, const InterfaceRow (&table)[N], REFIID iid,
                                void** ppv) noexcept {
    RETURN_HR_IF_NULL(E_POINTER, ppv);
    *ppv = nullptr;
    const bool unknown = ::IsEqualIID(iid, IID_IUnknown);
    for (const InterfaceRow& row : table) {
        if (unknown || ::IsEqualIID(iid, *row.iid)) {
            auto* const found =
                reinterpret_cast<IUnknown*>(static_cast<char*>(object) + row.offset);
            found->AddRef();
            *ppv = found;
            return S_OK;
        }
    }
    return E_NOINTERFACE;
}
