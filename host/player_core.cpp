#include "player_core.h"

#include "common/win32/hresult.h"
#include "common/win32/interface_table.h"

namespace {

// The connection point itself is reached through FindConnectionPoint only.
const InterfaceRow kInterfaces[] = {
    INTERFACE_ROW(CPlayerCore, IID_IWMPCore, IWMPCore),
    INTERFACE_ROW(CPlayerCore, IID_IDispatch, IWMPCore),
    INTERFACE_ROW(CPlayerCore, IID_IConnectionPointContainer, IConnectionPointContainer),
};

} // namespace

STDMETHODIMP CPlayerCore::QueryInterface(REFIID iid, void** ppv) {
    return QueryInterfaceFromTable(this, kInterfaces, iid, ppv);
}

// The owner holds the object on the stack or as a member; counting only
// checks that references come back, it never deletes.
STDMETHODIMP_(ULONG) CPlayerCore::AddRef() {
    return static_cast<ULONG>(::InterlockedIncrement(&refs_));
}
STDMETHODIMP_(ULONG) CPlayerCore::Release() {
    return static_cast<ULONG>(::InterlockedDecrement(&refs_));
}

STDMETHODIMP CPlayerCore::GetTypeInfoCount(UINT* count) {
    RETURN_HR_IF_NULL(E_POINTER, count);
    *count = 0;
    return S_OK;
}

STDMETHODIMP CPlayerCore::FindConnectionPoint(REFIID iid, IConnectionPoint** point) {
    RETURN_HR_IF_NULL(E_POINTER, point);
    *point = nullptr;
    if (!::IsEqualIID(iid, IID_IWMPEvents)) {
        return CONNECT_E_NOCONNECTION;
    }
    *point = static_cast<IConnectionPoint*>(this);
    AddRef();
    return S_OK;
}

STDMETHODIMP CPlayerCore::GetConnectionInterface(IID* iid) {
    RETURN_HR_IF_NULL(E_POINTER, iid);
    *iid = IID_IWMPEvents;
    return S_OK;
}

STDMETHODIMP CPlayerCore::GetConnectionPointContainer(IConnectionPointContainer** container) {
    RETURN_HR_IF_NULL(E_POINTER, container);
    *container = static_cast<IConnectionPointContainer*>(this);
    AddRef();
    return S_OK;
}

STDMETHODIMP CPlayerCore::Advise(IUnknown* sink, DWORD* cookie) {
    ++adviseCalls_;
    RETURN_HR_IF(E_POINTER, sink == nullptr || cookie == nullptr);
    *cookie = 0;
    if (adviseBehaviour_ == AdviseBehaviour::Fail) {
        return CONNECT_E_CANNOTCONNECT;
    }
    if (sink_ != nullptr) {
        return CONNECT_E_ADVISELIMIT; // one subscriber is all a visualization needs
    }
    ComPtr<IWMPEvents> events;
    if (FAILED(sink->QueryInterface(IID_IWMPEvents, events.put_void()))) {
        return CONNECT_E_CANNOTCONNECT;
    }
    if (adviseBehaviour_ == AdviseBehaviour::ZeroCookie) {
        return S_OK;
    }
    sink_ = events.get();
    if (adviseBehaviour_ != AdviseBehaviour::WeakSink) {
        heldSink_ = std::move(events);
    }
    cookie_ = nextCookie_++;
    *cookie = cookie_;
    return S_OK;
}

STDMETHODIMP CPlayerCore::Unadvise(DWORD cookie) {
    ++unadviseCalls_;
    if (sink_ == nullptr || cookie != cookie_) {
        return CONNECT_E_NOCONNECTION;
    }
    if (unadviseHook_) {
        unadviseHook_(sink_);
    }
    sink_ = nullptr;
    heldSink_.reset();
    cookie_ = 0;
    return S_OK;
}
