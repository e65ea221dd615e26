#pragma once
// The settings window: serial port, device id, graphics flags, and a button
// per channel that opens a channel dialog.

#include "config/win32/dialog_base.h"

#include <windows.h>

// Opens a new modeless property dialog owned by `owner` and returns at once.
// Each call opens another one; if the dialog can't be created nothing opens.
void OpenPropertyDialog(IDialogHost& host, HWND owner);

class CPropertyDialog final : public CDialogBase {
public:
    explicit CPropertyDialog(IDialogHost& host) : CDialogBase(host) {}

    // What OK and Apply share: stores the graphics flags, then reopens the
    // link with the port and device id in the controls; only if that works,
    // saves every setting and makes preset 0 current. True when it worked.
    bool ApplySettings();

private:
    bool OnMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) override;
    void Initialize();
    void Centre();
};
