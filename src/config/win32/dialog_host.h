#pragma once
// What the property and channel dialogs need from the plug-in object. The
// dialogs hold a plain pointer to it and no COM reference; the object closes
// every dialog it still has open before it goes, so the pointer never dangles.

#include "analysis/plugin_state.h"
#include "link/level_sink.h"

#include <windows.h>

#include <cstddef>

class IDialogHost {
public:
    // The live plug-in state: graphics flags and channel records.
    virtual PluginState& State() = 0;
    // The output's settings as last loaded or applied.
    virtual LinkSettings& Link() = 0;
    // The output they open; null once the object is being torn down.
    virtual OutputLink* Output() = 0;
    // A network output's failure in plain words (a name that doesn't
    // resolve, no network), which its engine finds after Open has returned:
    // true with `text` set while there is one. A serial port that can't be
    // opened is said by Apply itself.
    virtual bool OutputProblem(char* text, size_t size) = 0;
    // Writes every setting to the registry.
    virtual void SaveSettings() = 0;
    // The object's own SetCurrentPreset, through its interface table.
    virtual HRESULT SetCurrentPreset(LONG preset) = 0;
    // The module whose resources hold the dialog templates.
    virtual HINSTANCE ResourceModule() = 0;
    // Every dialog window registers itself when it is created and
    // unregisters in its last message (WM_NCDESTROY). Both run inside the
    // dialog procedure and must not throw; a host that can't record a dialog
    // (no memory) returns false, and the dialog doesn't open.
    virtual bool DialogOpened(HWND dialog) noexcept = 0;
    virtual void DialogClosed(HWND dialog) noexcept = 0;

protected:
    ~IDialogHost() = default;
};
