#include "config/win32/channel_dialog.h"

#include "config/dialog_values.h"
#include "resource.h"

#include <commctrl.h>

#include <cstdio>
#include <new>

namespace {

void FillList(HWND window, int listId, const char* const* names, int count) {
    for (int i = 0; i < count; ++i) {
        ::SendDlgItemMessageA(window, listId, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(names[i]));
    }
}

// A position the list doesn't have leaves it without a selection.
void Select(HWND window, int listId, int32_t position) {
    ::SendDlgItemMessageA(window, listId, CB_SETCURSEL, static_cast<WPARAM>(position), 0);
}

} // namespace

void OpenChannelDialog(IDialogHost& host, CDialogBase& owner, ChannelConfig& live) {
    // The template holds up-down controls; a host that never registered
    // their class would otherwise get no dialog at all.
    INITCOMMONCONTROLSEX classes{sizeof classes, ICC_UPDOWN_CLASS};
    ::InitCommonControlsEx(&classes);
    CDialogBase::Open(std::unique_ptr<CDialogBase>(new (std::nothrow) CChannelDialog(host, live)),
                      IDD_CHANNEL_DIALOG, owner.Window(), &owner);
}

bool CChannelDialog::OnMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) {
    switch (message) {
    case WM_INITDIALOG:
        Initialize();
        result = TRUE;
        return true;
    case WM_COMMAND:
        result = 0;
        return OnCommand(LOWORD(wParam), HIWORD(wParam));
    case WM_NOTIFY: {
        const auto* header = reinterpret_cast<const NMHDR*>(lParam);
        if (header == nullptr || header->code != static_cast<UINT>(UDN_DELTAPOS)) {
            return false;
        }
        result = 0; // the control may go ahead
        return OnBandStep(static_cast<int>(header->idFrom),
                          reinterpret_cast<const NMUPDOWN*>(lParam)->iDelta);
    }
    default:
        return false;
    }
}

bool CChannelDialog::OnCommand(int id, int code) {
    switch (id) {
    case IDOK:
        WriteBack();
        End(1);
        return true;
    case IDCANCEL:
        End(2);
        return true;
    case IDC_APPLY:
        if (code != BN_CLICKED) {
            return false;
        }
        WriteBack();
        return true;
    case IDC_ENABLED:
        if (code != BN_CLICKED) {
            return false;
        }
        working_.Enabled =
            (::SendDlgItemMessageA(Window(), IDC_ENABLED, BM_GETSTATE, 0, 0) & BST_CHECKED) ? 1 : 0;
        return true;
    default:
        break;
    }
    if (code != CBN_SELCHANGE) {
        return false;
    }
    // A change notice with nothing selected (only ever sent by hand) changes
    // nothing, so a field never becomes -1.
    const int selected = Selection(id);
    switch (id) {
    case IDC_TYPE:
        if (selected >= 0) {
            working_.Mode = selected;
            FillSampleTypes();
        }
        return true;
    case IDC_SAMPLE_TYPE: {
        const SampleTypeList list = SampleTypesFor(working_.Mode);
        if (selected >= 0 && list.field != nullptr) {
            working_.*list.field = selected;
        }
        return true;
    }
    case IDC_AUDIO_CHANNEL:
        if (selected >= 0) {
            working_.AudioChannel = selected;
        }
        return true;
    default:
        return false;
    }
}

bool CChannelDialog::OnBandStep(int id, int32_t delta) {
    if (id == IDC_FREQ_START_SPIN) {
        working_.FreqStart = StepBin(working_.FreqStart, delta);
        ShowHertz(IDC_FREQ_START_HZ, working_.FreqStart);
        return true;
    }
    if (id == IDC_FREQ_END_SPIN) {
        working_.FreqEnd = StepBin(working_.FreqEnd, delta);
        ShowHertz(IDC_FREQ_END_HZ, working_.FreqEnd);
        return true;
    }
    return false;
}

void CChannelDialog::Initialize() {
    const HWND window = Window();
    char caption[32];
    std::snprintf(caption, sizeof caption, "Channel %d", working_.Address + 1);
    ::SetWindowTextA(window, caption);
    ::SendDlgItemMessageA(window, IDC_ENABLED, BM_SETCHECK,
                          working_.Enabled ? BST_CHECKED : BST_UNCHECKED, 0);
    FillList(window, IDC_TYPE, kTypeNames, kTypeCount);
    Select(window, IDC_TYPE, working_.Mode);
    FillList(window, IDC_AUDIO_CHANNEL, kAudioChannelNames, kAudioChannelCount);
    Select(window, IDC_AUDIO_CHANNEL, working_.AudioChannel);
    FillSampleTypes();
    ShowHertz(IDC_FREQ_START_HZ, working_.FreqStart);
    ShowHertz(IDC_FREQ_END_HZ, working_.FreqEnd);
}

void CChannelDialog::FillSampleTypes() {
    const HWND window = Window();
    ::SendDlgItemMessageA(window, IDC_SAMPLE_TYPE, CB_RESETCONTENT, 0, 0);
    const SampleTypeList list = SampleTypesFor(working_.Mode);
    if (list.field != nullptr) {
        FillList(window, IDC_SAMPLE_TYPE, list.names, list.count);
        Select(window, IDC_SAMPLE_TYPE, working_.*list.field);
    }
}

void CChannelDialog::ShowHertz(int fieldId, int32_t bin) {
    char text[kHertzTextSize];
    BinToHertzText(bin, text);
    ::SetDlgItemTextA(Window(), fieldId, text);
}

void CChannelDialog::WriteBack() {
    working_.ZeroPending = 1;
    *live_ = working_;
}

int CChannelDialog::Selection(int listId) const {
    const LRESULT selected = ::SendDlgItemMessageA(Window(), listId, CB_GETCURSEL, 0, 0);
    return selected == CB_ERR ? -1 : static_cast<int>(selected);
}
