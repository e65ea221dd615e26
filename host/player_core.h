#pragma once
// A minimal player core, as much of one as a visualization touches: it
// offers the IWMPEvents connection point through which the player delivers
// its events, and nothing else (every IWMPCore property is E_NOTIMPL).

#include "common/win32/com_ptr.h"

#include <windows.h>
#include <ocidl.h>
#include <olectl.h>
#include <wmp.h>

class CPlayerCore final : public IWMPCore,
                          public IConnectionPointContainer,
                          public IConnectionPoint {
public:
    CPlayerCore() = default;
    CPlayerCore(const CPlayerCore&) = delete;
    CPlayerCore& operator=(const CPlayerCore&) = delete;

    // The subscribed sink, or null. Not AddRef'd for the caller.
    IWMPEvents* Sink() const { return sink_; }
    DWORD Cookie() const { return sink_ ? cookie_ : 0; }
    int AdviseCalls() const { return adviseCalls_; }
    int UnadviseCalls() const { return unadviseCalls_; }
    LONG References() const { return refs_; }

    // For tests of a subscription that doesn't take, or of a core that
    // keeps its subscriber without holding a reference to it (WeakSink).
    enum class AdviseBehaviour { Normal, Fail, ZeroCookie, WeakSink };
    void SetAdviseBehaviour(AdviseBehaviour b) { adviseBehaviour_ = b; }
    // For tests: called with the subscriber when Unadvise is entered, as if
    // the player were delivering an event just then.
    void SetUnadviseHook(void (*hook)(IWMPEvents* sink)) { unadviseHook_ = hook; }

    // IUnknown
    STDMETHODIMP QueryInterface(REFIID iid, void** ppv) override;
    STDMETHODIMP_(ULONG) AddRef() override;
    STDMETHODIMP_(ULONG) Release() override;

    // IDispatch
    STDMETHODIMP GetTypeInfoCount(UINT* count) override;
    STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override {
        return E_NOTIMPL;
    }
    STDMETHODIMP Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*,
                        UINT*) override {
        return E_NOTIMPL;
    }

    // IWMPCore
    STDMETHODIMP close() override { return E_NOTIMPL; }
    STDMETHODIMP get_URL(BSTR*) override { return E_NOTIMPL; }
    STDMETHODIMP put_URL(BSTR) override { return E_NOTIMPL; }
    STDMETHODIMP get_openState(WMPOpenState*) override { return E_NOTIMPL; }
    STDMETHODIMP get_playState(WMPPlayState*) override { return E_NOTIMPL; }
    STDMETHODIMP get_controls(IWMPControls**) override { return E_NOTIMPL; }
    STDMETHODIMP get_settings(IWMPSettings**) override { return E_NOTIMPL; }
    STDMETHODIMP get_currentMedia(IWMPMedia**) override { return E_NOTIMPL; }
    STDMETHODIMP put_currentMedia(IWMPMedia*) override { return E_NOTIMPL; }
    STDMETHODIMP get_mediaCollection(IWMPMediaCollection**) override { return E_NOTIMPL; }
    STDMETHODIMP get_playlistCollection(IWMPPlaylistCollection**) override { return E_NOTIMPL; }
    STDMETHODIMP get_versionInfo(BSTR*) override { return E_NOTIMPL; }
    STDMETHODIMP launchURL(BSTR) override { return E_NOTIMPL; }
    STDMETHODIMP get_network(IWMPNetwork**) override { return E_NOTIMPL; }
    STDMETHODIMP get_currentPlaylist(IWMPPlaylist**) override { return E_NOTIMPL; }
    STDMETHODIMP put_currentPlaylist(IWMPPlaylist*) override { return E_NOTIMPL; }
    STDMETHODIMP get_cdromCollection(IWMPCdromCollection**) override { return E_NOTIMPL; }
    STDMETHODIMP get_closedCaption(IWMPClosedCaption**) override { return E_NOTIMPL; }
    STDMETHODIMP get_isOnline(VARIANT_BOOL*) override { return E_NOTIMPL; }
    STDMETHODIMP get_Error(IWMPError**) override { return E_NOTIMPL; }
    STDMETHODIMP get_status(BSTR*) override { return E_NOTIMPL; }

    // IConnectionPointContainer
    STDMETHODIMP EnumConnectionPoints(IEnumConnectionPoints**) override { return E_NOTIMPL; }
    STDMETHODIMP FindConnectionPoint(REFIID iid, IConnectionPoint** point) override;

    // IConnectionPoint
    STDMETHODIMP GetConnectionInterface(IID* iid) override;
    STDMETHODIMP GetConnectionPointContainer(IConnectionPointContainer** container) override;
    STDMETHODIMP Advise(IUnknown* sink, DWORD* cookie) override;
    STDMETHODIMP Unadvise(DWORD cookie) override;
    STDMETHODIMP EnumConnections(IEnumConnections**) override { return E_NOTIMPL; }

private:
    LONG refs_ = 1;               // the owner's
    IWMPEvents* sink_ = nullptr;  // the subscriber
    ComPtr<IWMPEvents> heldSink_; // its reference, unless the core keeps it weakly
    DWORD cookie_ = 0;
    DWORD nextCookie_ = 0x100;
    int adviseCalls_ = 0;
    int unadviseCalls_ = 0;
    AdviseBehaviour adviseBehaviour_ = AdviseBehaviour::Normal;
    void (*unadviseHook_)(IWMPEvents*) = nullptr;
};
