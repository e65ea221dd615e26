#pragma once
// The player's 45 events, as IWMPEvents delivers them to the plug-in once it
// has subscribed (IWMPEffects2::SetCore). The plug-in acts on five, each
// lighting one channel at full level whatever the channel table says; the
// forty others are empty, here and nowhere else.

#include <windows.h>
#include <wmp.h>

class CPlayerEvents : public IWMPEvents {
public:
    // A click with the first button lights the channel at index 1, the one
    // the picture numbers "2"; keys and mouse moves light index 6 ("7").
    void STDMETHODCALLTYPE Click(short button, short, LONG, LONG) noexcept override {
        if (button == 1) {
            LightChannel(1);
        }
    }
    void STDMETHODCALLTYPE KeyDown(short, short) noexcept override { LightChannel(6); }
    void STDMETHODCALLTYPE KeyPress(short) noexcept override { LightChannel(6); }
    void STDMETHODCALLTYPE KeyUp(short, short) noexcept override { LightChannel(6); }
    void STDMETHODCALLTYPE MouseMove(short, short, LONG, LONG) noexcept override {
        LightChannel(6);
    }

    // The events the plug-in hears and ignores.
    void STDMETHODCALLTYPE OpenStateChange(LONG) noexcept override {}
    void STDMETHODCALLTYPE PlayStateChange(LONG) noexcept override {}
    void STDMETHODCALLTYPE AudioLanguageChange(LONG) noexcept override {}
    void STDMETHODCALLTYPE StatusChange() noexcept override {}
    void STDMETHODCALLTYPE ScriptCommand(BSTR, BSTR) noexcept override {}
    void STDMETHODCALLTYPE NewStream() noexcept override {}
    void STDMETHODCALLTYPE Disconnect(LONG) noexcept override {}
    void STDMETHODCALLTYPE Buffering(VARIANT_BOOL) noexcept override {}
    void STDMETHODCALLTYPE Error() noexcept override {}
    void STDMETHODCALLTYPE Warning(LONG, LONG, BSTR) noexcept override {}
    void STDMETHODCALLTYPE EndOfStream(LONG) noexcept override {}
    void STDMETHODCALLTYPE PositionChange(double, double) noexcept override {}
    void STDMETHODCALLTYPE MarkerHit(LONG) noexcept override {}
    void STDMETHODCALLTYPE DurationUnitChange(LONG) noexcept override {}
    void STDMETHODCALLTYPE CdromMediaChange(LONG) noexcept override {}
    void STDMETHODCALLTYPE PlaylistChange(IDispatch*,
                                          WMPPlaylistChangeEventType) noexcept override {}
    void STDMETHODCALLTYPE CurrentPlaylistChange(WMPPlaylistChangeEventType) noexcept override {}
    void STDMETHODCALLTYPE CurrentPlaylistItemAvailable(BSTR) noexcept override {}
    void STDMETHODCALLTYPE MediaChange(IDispatch*) noexcept override {}
    void STDMETHODCALLTYPE CurrentMediaItemAvailable(BSTR) noexcept override {}
    void STDMETHODCALLTYPE CurrentItemChange(IDispatch*) noexcept override {}
    void STDMETHODCALLTYPE MediaCollectionChange() noexcept override {}
    void STDMETHODCALLTYPE MediaCollectionAttributeStringAdded(BSTR, BSTR) noexcept override {}
    void STDMETHODCALLTYPE MediaCollectionAttributeStringRemoved(BSTR, BSTR) noexcept override {}
    void STDMETHODCALLTYPE MediaCollectionAttributeStringChanged(BSTR, BSTR,
                                                                 BSTR) noexcept override {}
    void STDMETHODCALLTYPE PlaylistCollectionChange() noexcept override {}
    void STDMETHODCALLTYPE PlaylistCollectionPlaylistAdded(BSTR) noexcept override {}
    void STDMETHODCALLTYPE PlaylistCollectionPlaylistRemoved(BSTR) noexcept override {}
    void STDMETHODCALLTYPE PlaylistCollectionPlaylistSetAsDeleted(BSTR,
                                                                  VARIANT_BOOL) noexcept override {}
    void STDMETHODCALLTYPE ModeChange(BSTR, VARIANT_BOOL) noexcept override {}
    void STDMETHODCALLTYPE MediaError(IDispatch*) noexcept override {}
    void STDMETHODCALLTYPE OpenPlaylistSwitch(IDispatch*) noexcept override {}
    void STDMETHODCALLTYPE DomainChange(BSTR) noexcept override {}
    void STDMETHODCALLTYPE SwitchedToPlayerApplication() noexcept override {}
    void STDMETHODCALLTYPE SwitchedToControl() noexcept override {}
    void STDMETHODCALLTYPE PlayerDockedStateChange() noexcept override {}
    void STDMETHODCALLTYPE PlayerReconnect() noexcept override {}
    void STDMETHODCALLTYPE DoubleClick(short, short, LONG, LONG) noexcept override {}
    void STDMETHODCALLTYPE MouseDown(short, short, LONG, LONG) noexcept override {}
    void STDMETHODCALLTYPE MouseUp(short, short, LONG, LONG) noexcept override {}

protected:
    ~CPlayerEvents() = default;

    // Sets the channel at `channelIndex` to full level at once.
    virtual void LightChannel(int channelIndex) noexcept = 0;
};
