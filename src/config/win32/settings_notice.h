#pragma once
// The word the property dialog owes the user after a start had to reset the
// stored settings: said once, in a small window of its own above the dialog.

#include "config/plugin_settings.h"
#include "config/win32/dialog_base.h"

#include <windows.h>

#include <string>

// Opens the notice owned by `owner` if `settings` owe one (settings_backup.h),
// and marks it said. Nothing opens when none is owed or it can't be shown.
void ShowSettingsNotice(IDialogHost& host, PluginSettings& settings, HWND owner) noexcept;

class CSettingsNotice final : public CDialogBase {
public:
    CSettingsNotice(IDialogHost& host, std::string text)
        : CDialogBase(host), text_(std::move(text)) {}

private:
    bool OnMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) override;

    std::string text_;
};
