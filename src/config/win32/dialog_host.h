#pragma once
// What only the plug-in object can give its dialogs: the module that holds
// their templates, and the bookkeeping of the dialogs open. The dialogs hold a
// plain pointer to it and no COM reference; the object closes every dialog it
// still has open before it goes, so the pointer never dangles. The settings
// they show and change come from the object's PluginSettings.

#include <windows.h>

class IDialogHost {
public:
    // The module whose resources hold the dialog templates.
    virtual HINSTANCE ResourceModule() noexcept = 0;
    // Every dialog window registers itself when it is created and
    // unregisters in its last message (WM_NCDESTROY). Both run inside the
    // dialog procedure and must not throw; a host that can't record a dialog
    // (no memory) returns false, and the dialog doesn't open.
    virtual bool DialogOpened(HWND dialog) noexcept = 0;
    virtual void DialogClosed(HWND dialog) noexcept = 0;

protected:
    ~IDialogHost() = default;
};
