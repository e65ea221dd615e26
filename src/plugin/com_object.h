#pragma once
// What every COM object of the module has in common: QueryInterface from a
// table of the interfaces it answers, and a reference count in which every
// reference beyond the first locks the module.

#include "common/win32/hresult.h"
#include "module.h"

#include <windows.h>
#include <unknwn.h>

#include <climits>
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

// A COM object's reference count. The first reference is its creator's and
// lasts as long as the module (the class factory's own, and the factory's on
// the one plug-in object); every reference beyond it locks the module, so
// DllCanUnloadNow says S_FALSE while anyone else holds one.
class ModuleRefCount {
public:
    ULONG AddRef() noexcept {
        const LONG refs = ::InterlockedIncrement(&refs_);
        if (refs == 2) {
            ModuleLock();
        }
        return static_cast<ULONG>(refs);
    }

    // The references left. At 0 the owner destroys the object; a reference
    // taken and dropped meanwhile (by a call made while it goes) can't
    // bring the count to 0 a second time.
    ULONG Release() noexcept {
        const LONG refs = ::InterlockedDecrement(&refs_);
        if (refs == 1) {
            ModuleUnlock();
        } else if (refs == 0) {
            refs_ = LONG_MAX / 2;
        }
        return static_cast<ULONG>(refs);
    }

private:
    LONG refs_ = 1;
};
