#include "config/win32/output_dialog.h"

#include "config/dialog_values.h"
#include "config/win32/property_dialog.h"
#include "resource.h"

#include <cstring>
#include <new>

namespace {

// Room to tell a text that is too long from one that fits.
constexpr int kAddressTextSize = 2 * kOutputAddressSize;

} // namespace

void OpenOutputDialog(IDialogHost& host, CPropertyDialog& owner, const LinkSettings& current) {
    CDialogBase::Open(
        std::unique_ptr<CDialogBase>(new (std::nothrow) COutputDialog(host, owner, current)),
        IDD_OUTPUT_DIALOG, owner.Window(), &owner);
}

bool COutputDialog::OnMessage(UINT message, WPARAM wParam, LPARAM, LRESULT& result) {
    if (message == WM_INITDIALOG) {
        Initialize();
        result = TRUE;
        return true;
    }
    if (message != WM_COMMAND) {
        return false;
    }
    result = 0;
    switch (LOWORD(wParam)) {
    case IDOK:
        if (Accept()) {
            End(1);
        }
        return true;
    case IDCANCEL:
        End(2);
        return true;
    case IDC_OUTPUT_KIND:
        if (HIWORD(wParam) != CBN_SELCHANGE) {
            return false;
        }
        ShowKind(SelectedKind());
        return true;
    default:
        return false;
    }
}

void COutputDialog::Initialize() {
    const HWND window = Window();
    for (const char* name : kOutputKindNames) {
        ::SendDlgItemMessageA(window, IDC_OUTPUT_KIND, CB_ADDSTRING, 0,
                              reinterpret_cast<LPARAM>(name));
    }
    ::SendDlgItemMessageA(window, IDC_OUTPUT_KIND, CB_SETCURSEL,
                          static_cast<WPARAM>(OutputKindPosition(working_.Output)), 0);
    ::SendDlgItemMessageA(window, IDC_OUTPUT_ADDRESS, EM_LIMITTEXT, kOutputAddressSize - 1, 0);
    ::SetDlgItemTextA(window, IDC_OUTPUT_ADDRESS, working_.OutputAddress);
    ::SetDlgItemInt(window, IDC_UNIVERSE, working_.Universe, FALSE);
    ::SetDlgItemInt(window, IDC_START_CHANNEL, working_.StartChannel, FALSE);
    ShowKind(working_.Output);
}

OutputKind COutputDialog::SelectedKind() const {
    const LRESULT position = ::SendDlgItemMessageA(Window(), IDC_OUTPUT_KIND, CB_GETCURSEL, 0, 0);
    return OutputKindAt(static_cast<int>(position));
}

void COutputDialog::ShowKind(OutputKind kind) {
    const HWND window = Window();
    const bool network = kind != OutputKind::Serial;
    for (int id : {IDC_ADDRESS_LABEL, IDC_OUTPUT_ADDRESS, IDC_ADDRESS_HINT, IDC_UNIVERSE_LABEL,
                   IDC_UNIVERSE, IDC_START_CHANNEL_LABEL, IDC_START_CHANNEL}) {
        ::EnableWindow(::GetDlgItem(window, id), network);
    }
    ::SetDlgItemTextA(window, IDC_UNIVERSE_LABEL, UniverseCaption(kind));
    ::SetDlgItemTextA(window, IDC_ADDRESS_HINT, EmptyAddressHint(kind));
    ::SetDlgItemTextA(window, IDC_OUTPUT_STATUS, "");
}

bool COutputDialog::Accept() {
    const HWND window = Window();
    const OutputKind kind = SelectedKind();
    char address[kAddressTextSize] = {};
    ::GetDlgItemTextA(window, IDC_OUTPUT_ADDRESS, address, sizeof address);
    TrimSpaces(address);
    BOOL universeIsNumber = FALSE;
    const UINT universe = ::GetDlgItemInt(window, IDC_UNIVERSE, &universeIsNumber, FALSE);
    BOOL startIsNumber = FALSE;
    const UINT start = ::GetDlgItemInt(window, IDC_START_CHANNEL, &startIsNumber, FALSE);

    const char* problem =
        OutputFieldsProblem(kind, address, universeIsNumber, universe, startIsNumber, start);
    ::SetDlgItemTextA(window, IDC_OUTPUT_STATUS, problem != nullptr ? problem : "");
    if (problem != nullptr) {
        return false;
    }
    working_.Output = kind;
    // Serial has no receiver: what the network fields held stays as it was,
    // ready for when a network output is chosen again.
    if (kind != OutputKind::Serial) {
        std::memset(working_.OutputAddress, 0, sizeof working_.OutputAddress);
        std::memcpy(working_.OutputAddress, address, std::strlen(address));
        working_.Universe = static_cast<uint16_t>(universe);
        working_.StartChannel = static_cast<uint16_t>(start);
    }
    owner_->SetOutput(working_);
    return true;
}
