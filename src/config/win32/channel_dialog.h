#pragma once
// Edits one channel record: a working copy taken when the dialog opens, which
// OK and Apply copy back whole over the live record.

#include "analysis/channel_config.h"
#include "config/win32/dialog_base.h"

#include <windows.h>

// Opens a new modeless channel dialog for `live` (a record in the host's
// channel table), owned by the property dialog `owner`. Registers the up-down
// control class first, so the dialog opens in any host.
void OpenChannelDialog(IDialogHost& host, CDialogBase& owner, ChannelConfig& live);

class CChannelDialog final : public CDialogBase {
public:
    CChannelDialog(IDialogHost& host, ChannelConfig& live)
        : CDialogBase(host), live_(&live), working_(live) {}

private:
    bool OnMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) override;
    bool OnCommand(int id, int code);
    bool OnBandStep(int id, int32_t delta);
    void Initialize();
    void FillSampleTypes();
    void ShowHertz(int fieldId, int32_t bin);
    void WriteBack();
    // The list's selected position, or -1 for none.
    int Selection(int listId) const;

    ChannelConfig* live_; // in the plug-in object's table; not owned
    ChannelConfig working_;
};
