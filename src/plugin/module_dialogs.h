#pragma once
// The dialogs' host on the module's side: their templates come from the
// module's resources, and each dialog open locks the module. While one
// exists DllCanUnloadNow says S_FALSE, so the object its window points into
// stays, and so does the code of its dialog procedure.

#include "config/win32/dialog_host.h"
#include "dialog_list.h"

#include <windows.h>

class CModuleDialogs final : public IDialogHost {
public:
    HINSTANCE ResourceModule() noexcept override;
    bool DialogOpened(HWND dialog) noexcept override;
    void DialogClosed(HWND dialog) noexcept override;

    // Destroys every dialog still open, before the object they show goes.
    void CloseAll() noexcept;

private:
    DialogList open_;
};
