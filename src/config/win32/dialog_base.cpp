#include "config/win32/dialog_base.h"

namespace {

// Posted to an ended dialog when the last dialog it owns has closed. Private
// to our dialog windows, whose class is the system's dialog class.
constexpr UINT kDestroyEndedDialog = WM_APP + 0x2A1;

} // namespace

std::atomic<int> CDialogBase::s_live{0};

CDialogBase::CDialogBase(IDialogHost& host) : host_(host) {
    ++s_live;
}

CDialogBase::~CDialogBase() {
    --s_live;
}

HWND CDialogBase::Open(std::unique_ptr<CDialogBase> dialog, int templateId, HWND owner,
                       CDialogBase* ownerDialog) {
    if (!dialog) {
        return nullptr;
    }
    // The object rides in the creation parameter to WM_INITDIALOG; nothing
    // but our own dialog procedure ever sees it.
    bool attached = false;
    dialog->attached_ = &attached;
    dialog->ownerDialog_ = ownerDialog;
    CDialogBase* const raw = dialog.get();
    const HWND window =
        ::CreateDialogParamA(dialog->host_.ResourceModule(), MAKEINTRESOURCEA(templateId), owner,
                             DialogProc, reinterpret_cast<LPARAM>(raw));
    if (!attached) {
        // No WM_INITDIALOG: the template is missing or a control couldn't be
        // created. The dialog never met a window, so it is still ours.
        return nullptr;
    }
    // Ownership passed to the window, which may already have freed it if the
    // window went during its creation.
    dialog.release();
    if (window == nullptr || !::IsWindow(window)) {
        return nullptr; // the object went with its window
    }
    raw->attached_ = nullptr;
    ::ShowWindow(window, SW_SHOW);
    return window;
}

bool CDialogBase::Attach(HWND window) noexcept {
    if (!host_.DialogOpened(window)) {
        return false;
    }
    window_ = window;
    ::SetWindowLongPtrA(window, DWLP_USER, reinterpret_cast<LONG_PTR>(this));
    if (attached_ != nullptr) {
        *attached_ = true;
    }
    if (ownerDialog_ != nullptr) {
        ++ownerDialog_->ownedDialogs_;
    }
    return true;
}

void CDialogBase::Detach() {
    ::SetWindowLongPtrA(window_, DWLP_USER, 0);
    host_.DialogClosed(window_);
    if (ownerDialog_ != nullptr) {
        ownerDialog_->OwnedDialogClosed();
    }
    window_ = nullptr;
}

void CDialogBase::OwnedDialogClosed() {
    --ownedDialogs_;
    if (ended_ && ownedDialogs_ == 0) {
        // Not from inside the owned window's last message: later, from the
        // message loop. If our own window is going anyway the post just fails.
        ::PostMessageA(window_, kDestroyEndedDialog, 0, 0);
    }
}

void CDialogBase::End(INT_PTR result) {
    ::EndDialog(window_, result);
    ended_ = true;
    if (ownedDialogs_ == 0) {
        ::DestroyWindow(window_); // deletes this
    }
}

INT_PTR CALLBACK CDialogBase::DialogProc(HWND window, UINT message, WPARAM wParam,
                                         LPARAM lParam) noexcept {
    CDialogBase* dialog = nullptr;
    if (message == WM_INITDIALOG) {
        dialog = reinterpret_cast<CDialogBase*>(lParam);
        if (!dialog->Attach(window)) {
            // The host couldn't record it: the window goes at once, and the
            // object, never attached, stays with Open, which frees it.
            ::DestroyWindow(window);
            return FALSE;
        }
    } else {
        dialog = reinterpret_cast<CDialogBase*>(::GetWindowLongPtrA(window, DWLP_USER));
    }
    if (dialog == nullptr) {
        return FALSE; // messages before WM_INITDIALOG (WM_SETFONT)
    }

    switch (message) {
    case WM_NCDESTROY:
        dialog->Detach();
        delete dialog;
        return FALSE;
    case kDestroyEndedDialog:
        if (dialog->ended_ && dialog->ownedDialogs_ == 0) {
            ::DestroyWindow(window);
        }
        return TRUE;
    default:
        break;
    }

    LRESULT result = 0;
    if (!dialog->OnMessage(message, wParam, lParam, result)) {
        return FALSE;
    }
    // The handler may have destroyed the window and freed the dialog: from
    // here on only the handle is used.
    if (message == WM_INITDIALOG) {
        return static_cast<INT_PTR>(result);
    }
    if (::IsWindow(window)) {
        ::SetWindowLongPtrA(window, DWLP_MSGRESULT, result);
    }
    return TRUE;
}
