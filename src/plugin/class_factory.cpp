#include "class_factory.h"

#include "com_object.h"
#include "common/win32/hresult.h"
#include "common/win32/srw_lock.h"
#include "twinkla_object.h"

#include <new>

namespace {

// The one class object. It lives as long as the module; COM references to
// it lock the module like references to the plug-in object do. Its methods
// are noexcept like every COM method of the module.
class CTwinklaClassFactory final : public IClassFactory {
public:
    // IUnknown
    STDMETHODIMP QueryInterface(REFIID iid, void** ppv) noexcept override;
    STDMETHODIMP_(ULONG) AddRef() noexcept override { return refs_.AddRef(); }
    STDMETHODIMP_(ULONG) Release() noexcept override { return refs_.Release(); }

    // IClassFactory
    STDMETHODIMP CreateInstance(IUnknown* outer, REFIID iid, void** ppv) noexcept override {
        RETURN_HR_IF_NULL(E_POINTER, ppv);
        *ppv = nullptr;
        RETURN_HR_IF(CLASS_E_NOAGGREGATION, outer != nullptr);
        // Threads that make their first object at once must get the same one,
        // and none may get one that a release is taking apart.
        ExclusiveLock lock(objectLock_);
        if (object_ == nullptr) {
            object_ = CTwinkla::CreateInstance();
            RETURN_HR_IF_NULL(E_OUTOFMEMORY, object_);
        }
        return object_->QueryInterface(iid, ppv);
    }
    STDMETHODIMP LockServer(BOOL lock) noexcept override {
        if (lock) {
            ModuleLock();
        } else {
            ModuleUnlock();
        }
        return S_OK;
    }

    // S_OK, with the object released, when nothing holds the module; the
    // check and the release happen under the lock, so no reference can be
    // handed out in between.
    HRESULT ReleaseObjectIfUnused() noexcept {
        ExclusiveLock lock(objectLock_);
        if (ModuleLockCount() != 0) {
            return S_FALSE;
        }
        ReleaseObject(/*mayWait=*/true);
        return ModuleLockCount() == 0 ? S_OK : S_FALSE;
    }

    // Under the loader lock nothing may wait: if another thread holds the
    // lock (a host unloading us while it creates), the object stays.
    void ReleaseObjectUnderLoaderLock() noexcept {
        if (::TryAcquireSRWLockExclusive(&objectLock_)) {
            ReleaseObject(/*mayWait=*/false);
            ::ReleaseSRWLockExclusive(&objectLock_);
        }
    }

private:
    // With objectLock_ held.
    void ReleaseObject(bool mayWait) {
        if (CTwinkla* object = object_) {
            object_ = nullptr;
            object->ReleaseFromFactory(mayWait);
        }
    }

    ModuleRefCount refs_;               // the first is the module's own
    SRWLOCK objectLock_ = SRWLOCK_INIT; // guards object_, its creation and its release
    CTwinkla* object_ = nullptr;        // one reference, the factory's
};

const InterfaceRow kInterfaces[] = {
    INTERFACE_ROW(CTwinklaClassFactory, IID_IClassFactory, IClassFactory),
};

STDMETHODIMP CTwinklaClassFactory::QueryInterface(REFIID iid, void** ppv) noexcept {
    return QueryInterfaceFromTable(this, kInterfaces, iid, ppv);
}

CTwinklaClassFactory g_factory;

} // namespace

IClassFactory* TwinklaClassFactory() noexcept {
    return &g_factory;
}

HRESULT ReleaseTwinklaObjectIfUnused() noexcept {
    return g_factory.ReleaseObjectIfUnused();
}

void ReleaseTwinklaObjectUnderLoaderLock() noexcept {
    g_factory.ReleaseObjectUnderLoaderLock();
}
