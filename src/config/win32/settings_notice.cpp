#include "config/win32/settings_notice.h"

#include "resource.h"

#include <new>

void ShowSettingsNotice(IDialogHost& host, PluginSettings& settings, HWND owner) noexcept {
    try {
        std::string text;
        if (!settings.TakeNotice(text)) {
            return;
        }
        // Not one of the owner's counted dialogs: it goes with the owner's
        // window and never keeps an ended property dialog alive.
        CDialogBase::Open(
            std::unique_ptr<CDialogBase>(new (std::nothrow) CSettingsNotice(host, std::move(text))),
            IDD_SETTINGS_NOTICE, owner);
    } catch (const std::bad_alloc&) {
        // No memory for the words: the dialog opens without them.
    }
}

bool CSettingsNotice::OnMessage(UINT message, WPARAM wParam, LPARAM, LRESULT& result) {
    if (message == WM_INITDIALOG) {
        ::SetDlgItemTextA(Window(), IDC_NOTICE_TEXT, text_.c_str());
        result = TRUE;
        return true;
    }
    if (message == WM_COMMAND && (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL)) {
        result = 0;
        End(LOWORD(wParam));
        return true;
    }
    return false;
}
