#pragma once
// What every COM object of the module has in common besides its interface
// table (common/win32/interface_table.h): a reference count in which every
// reference beyond the first locks the module.

#include "common/win32/interface_table.h"
#include "module.h"

#include <windows.h>

#include <climits>

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
