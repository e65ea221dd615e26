#pragma once
// A small base for the plug-in's modeless dialogs: it creates the window from
// a template, hands the window's messages to the dialog object, and frees the
// object after the window's last message.
//
// Lifetime. Once its window exists the window owns the dialog object; the
// object deletes itself in WM_NCDESTROY after telling the host. OK and Cancel
// end a dialog with EndDialog, which only hides a modeless window; End() then
// destroys it at once, unless dialogs it owns are still open: those stay
// usable, and the hidden owner goes when the last of them closes. Either way
// the window also goes, at the latest, with its own owner.

#include "config/win32/dialog_host.h"

#include <windows.h>

#include <atomic>
#include <memory>

class CDialogBase {
public:
    CDialogBase(const CDialogBase&) = delete;
    CDialogBase& operator=(const CDialogBase&) = delete;
    virtual ~CDialogBase();

    // Creates the window from template `templateId` in the host's resource
    // module with `owner` as its owner, and shows it. `ownerDialog` is the
    // dialog that `owner` belongs to, if any. From then on the window owns the
    // dialog; when no window comes into being the dialog is deleted here and
    // null is returned.
    static HWND Open(std::unique_ptr<CDialogBase> dialog, int templateId, HWND owner,
                     CDialogBase* ownerDialog = nullptr);

    HWND Window() const { return window_; }
    IDialogHost& Host() const { return host_; }

    // Dialog objects alive in the process: how tests see that none leaks.
    static int LiveCount() { return s_live.load(); }

protected:
    explicit CDialogBase(IDialogHost& host);

    // One message. Returns false to leave it to the default dialog
    // processing; otherwise `result` is the message's result (for
    // WM_INITDIALOG, whether the platform sets the focus).
    virtual bool OnMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) = 0;

    // EndDialog(result), then destroys the window (see Lifetime above). The
    // object may be gone when this returns: the caller must not touch it.
    void End(INT_PTR result);

private:
    // No exception leaves it: one that escaped would unwind through the
    // dialog manager, so the program ends instead.
    static INT_PTR CALLBACK DialogProc(HWND window, UINT message, WPARAM wParam,
                                       LPARAM lParam) noexcept;
    // False, with nothing attached, when the host can't record the dialog.
    bool Attach(HWND window) noexcept;
    void Detach();
    void OwnedDialogClosed();

    static std::atomic<int> s_live;

    IDialogHost& host_;
    HWND window_ = nullptr;
    CDialogBase* ownerDialog_ = nullptr; // outlives us: owned windows go first
    int ownedDialogs_ = 0;               // open dialogs whose owner is this one
    bool ended_ = false;                 // EndDialog was called
    bool* attached_ = nullptr;           // Open's flag, only while the window is being created
};
