#pragma once
// The settings window: serial port, device id, light delay, the output (in
// the Output dialog its button opens), graphics flags, and a button per
// channel that opens a channel dialog.

#include "config/plugin_settings.h"
#include "config/win32/dialog_base.h"
#include "link/link_settings.h"

#include <windows.h>

// Opens a new modeless property dialog for `settings`, owned by `owner`, and
// returns at once. Each call opens another one; if the dialog can't be
// created nothing opens.
void OpenPropertyDialog(IDialogHost& host, PluginSettings& settings, HWND owner);

class CPropertyDialog final : public CDialogBase {
public:
    CPropertyDialog(IDialogHost& host, PluginSettings& settings)
        : CDialogBase(host), settings_(settings) {}

    // What OK and Apply share: stores the graphics flags, then reopens the
    // output the dialog shows: the serial port and device id in the controls,
    // or the network output chosen in the Output dialog, with the light
    // delay; only if that works, saves every setting and makes preset 0
    // current. True when it worked. Refusals are said in the status line.
    bool ApplySettings();

    // The Output dialog's choice: the kind of output, the address, universe
    // and start channel of `chosen`, which OK or Apply then opens. The port
    // and device id are enabled only for Serial.
    void SetOutput(const LinkSettings& chosen);

private:
    bool OnMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) override;
    void Initialize();
    void Centre();
    void ShowOutput();
    // The status line, unless it holds Apply's refusal: a network output's
    // failure as its engine finds it, or nothing.
    void ShowOutputProblem();

    PluginSettings& settings_; // the plug-in object's, which closes us before it goes
    LinkSettings output_;      // the output fields are the choice shown; the rest unused
    bool refused_ = false;     // the status line holds Apply's refusal
};
