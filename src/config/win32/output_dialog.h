#pragma once
// Chooses the output: the serial controller, an sACN (E1.31) receiver or an
// Art-Net one, with the receiver's address, the universe (Art-Net's
// port-address) and the start channel, each enabled only where it applies.
// It edits the property dialog's choice, not the plug-in: OK hands the
// fields back to the property dialog once they are valid (otherwise it says
// why and hands nothing back), and that dialog's OK or Apply opens and
// stores them.

#include "config/win32/dialog_base.h"
#include "link/link_settings.h"

#include <windows.h>

class CPropertyDialog;

// Opens a new modeless Output dialog showing `current`, owned by the
// property dialog `owner`, which outlives it.
void OpenOutputDialog(IDialogHost& host, CPropertyDialog& owner, const LinkSettings& current);

class COutputDialog final : public CDialogBase {
public:
    COutputDialog(IDialogHost& host, CPropertyDialog& owner, const LinkSettings& current)
        : CDialogBase(host), owner_(&owner), working_(current) {}

private:
    bool OnMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) override;
    void Initialize();
    // Enables, captions and hints the fields for the kind selected.
    void ShowKind(OutputKind kind);
    OutputKind SelectedKind() const;
    // Reads and checks the fields; true once they are handed back.
    bool Accept();

    CPropertyDialog* owner_; // this dialog's owner: not owned
    LinkSettings working_;
};
