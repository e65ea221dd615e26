#include "class_factory.h"

#include "module.h"
#include "twinkla_object.h"

#include <new>

namespace {

// The one class object. It lives as long as the module; COM references to
// it lock the module like references to the plug-in object do.
class CTwinklaClassFactory final : public IClassFactory {
public:
    // IUnknown
    STDMETHODIMP QueryInterface(REFIID iid, void** ppv) override {
        if (ppv == nullptr) {
            return E_POINTER;
        }
        if (::IsEqualIID(iid, IID_IUnknown) || ::IsEqualIID(iid, IID_IClassFactory)) {
            *ppv = static_cast<IClassFactory*>(this);
            AddRef();
            return S_OK;
        }
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    STDMETHODIMP_(ULONG) AddRef() override {
        const LONG refs = ::InterlockedIncrement(&refs_);
        if (refs == 2) {
            ModuleLock();
        }
        return static_cast<ULONG>(refs);
    }
    STDMETHODIMP_(ULONG) Release() override {
        const LONG refs = ::InterlockedDecrement(&refs_);
        if (refs == 1) {
            ModuleUnlock();
        }
        return static_cast<ULONG>(refs);
    }

    // IClassFactory
    STDMETHODIMP CreateInstance(IUnknown* outer, REFIID iid, void** ppv) override {
        if (ppv == nullptr) {
            return E_POINTER;
        }
        *ppv = nullptr;
        if (outer != nullptr) {
            return CLASS_E_NOAGGREGATION;
        }
        if (object_ == nullptr) {
            object_ = CTwinkla::CreateInstance();
            if (object_ == nullptr) {
                return E_OUTOFMEMORY;
            }
        }
        return object_->QueryInterface(iid, ppv);
    }
    STDMETHODIMP LockServer(BOOL lock) override {
        if (lock) {
            ModuleLock();
        } else {
            ModuleUnlock();
        }
        return S_OK;
    }

    void ReleaseObject(bool mayWait) {
        if (CTwinkla* object = object_) {
            object_ = nullptr;
            object->ReleaseFromFactory(mayWait);
        }
    }

private:
    LONG refs_ = 1;              // the module's own
    CTwinkla* object_ = nullptr; // one reference, the factory's
};

CTwinklaClassFactory g_factory;

} // namespace

IClassFactory* TwinklaClassFactory() {
    return &g_factory;
}

void ReleaseTwinklaObject(bool mayWait) {
    g_factory.ReleaseObject(mayWait);
}
