// The styles in the dialog templates that the dialogs' behaviour relies on.

#include "dialog_test_support.h"

#include "common/win32/unique_handle.h"
#include "resource.h"

#include <commctrl.h>

#include <cstring>
#include <string>

namespace {

class DialogTemplates : public DialogTest {};

LONG Style(HWND dialog, int id) {
    return ::GetWindowLongA(Item(dialog, id), GWL_STYLE);
}

std::string ClassName(HWND window) {
    char name[64] = {};
    ::GetClassNameA(window, name, sizeof name);
    return name;
}

// The client area in dialog units, through the dialog's own font.
void ExpectClientSize(HWND dialog, int width, int height) {
    RECT units{0, 0, width, height};
    ::MapDialogRect(dialog, &units);
    RECT client{};
    ::GetClientRect(dialog, &client);
    EXPECT_EQ(client.right, units.right);
    EXPECT_EQ(client.bottom, units.bottom);
}

TEST_F(DialogTemplates, PropertyDialogHasTheStylesItsBehaviourNeeds) {
    const HWND d = OpenProperties();
    EXPECT_TRUE(::GetWindowLongA(d, GWL_EXSTYLE) & WS_EX_APPWINDOW);
    ExpectClientSize(d, 220, 260);
    const LONG port = Style(d, IDC_PORT);
    EXPECT_EQ(port & 3, CBS_DROPDOWN) << "an editable port box";
    EXPECT_TRUE(port & CBS_UPPERCASE);
    EXPECT_TRUE(port & CBS_SORT);
    EXPECT_TRUE(Style(d, IDC_DEVICE_ID) & ES_NUMBER);
    EXPECT_TRUE(Style(d, IDC_LIGHT_DELAY) & ES_NUMBER);
    for (int id :
         {IDC_DRAW_FREQUENCY, IDC_DRAW_POWER, IDC_DRAW_CHANNELS, IDC_DRAW_CHANNEL_NUMBERS}) {
        EXPECT_EQ(Style(d, id) & BS_TYPEMASK, BS_AUTOCHECKBOX) << id;
    }
}

TEST_F(DialogTemplates, ChannelDialogHasTheStylesItsBehaviourNeeds) {
    const HWND c = OpenChannel(OpenProperties(), 225);
    EXPECT_TRUE(::GetWindowLongA(c, GWL_EXSTYLE) & WS_EX_APPWINDOW);
    ExpectClientSize(c, 282, 108);
    for (int id : {IDC_TYPE, IDC_AUDIO_CHANNEL, IDC_SAMPLE_TYPE}) {
        EXPECT_EQ(Style(c, id) & 3, CBS_DROPDOWNLIST) << id;
    }
    for (int id : {IDC_FREQ_START_HZ, IDC_FREQ_END_HZ}) {
        EXPECT_TRUE(Style(c, id) & ES_READONLY) << id;
        EXPECT_FALSE(Style(c, id) & WS_TABSTOP) << id;
    }
    for (int id : {IDC_FREQ_START_SPIN, IDC_FREQ_END_SPIN}) {
        EXPECT_EQ(ClassName(Item(c, id)), UPDOWN_CLASSA) << id;
        EXPECT_EQ(::SendDlgItemMessageA(c, id, UDM_GETBUDDY, 0, 0), 0) << id;
        EXPECT_FALSE(Style(c, id) & WS_TABSTOP) << id;
    }
    EXPECT_EQ(Style(c, IDC_ENABLED) & BS_TYPEMASK, BS_AUTOCHECKBOX);
}

// Whether `text` fits the control with the control's font, leaving room for
// a wider face: Windows shows "MS Shell Dlg" as Microsoft Sans Serif, some
// tenth wider than the Tahoma Wine takes.
void ExpectFits(HWND dialog, int id, const char* text, int padding = 0) {
    const HWND control = Item(dialog, id);
    ASSERT_NE(control, nullptr) << id;
    const WindowDc dc(control);
    const HGDIOBJ font = reinterpret_cast<HGDIOBJ>(::SendMessageA(control, WM_GETFONT, 0, 0));
    const ScopedSelectObject selected(dc.get(), font);
    SIZE size{};
    ::GetTextExtentPoint32A(dc.get(), text, static_cast<int>(std::strlen(text)), &size);
    RECT client{};
    ::GetClientRect(control, &client);
    EXPECT_LE(size.cx * 115 / 100 + padding, client.right) << '"' << text << "\" in " << id;
}

TEST_F(DialogTemplates, EveryOutputCaptionAndMessageFitsItsControl) {
    const HWND d = OpenProperties();
    ExpectFits(d, IDC_OUTPUT_BUTTON, "Output\x85", 8); // the ellipsis in the ANSI code page
    for (const char* kind : {"Serial", "sACN", "Art-Net"}) {
        ExpectFits(d, IDC_OUTPUT_SUMMARY, kind);
    }
    for (const char* message :
         {"The sACN output can't be started.", "The Art-Net output can't be started.",
          "sACN: can't find the receiver \"lights.example.org\"",
          "Art-Net: can't send broadcast (no network?)"}) {
        ExpectFits(d, IDC_STATUS, message);
    }
    Click(d, IDC_OUTPUT_BUTTON);
    const HWND o = host_.open.back();
    ASSERT_NE(o, d);
    ExpectClientSize(o, 236, 124);
    EXPECT_EQ(Style(o, IDC_OUTPUT_KIND) & 3, CBS_DROPDOWNLIST);
    EXPECT_TRUE(Style(o, IDC_UNIVERSE) & ES_NUMBER);
    EXPECT_TRUE(Style(o, IDC_START_CHANNEL) & ES_NUMBER);
    ExpectFits(o, IDC_ADDRESS_LABEL, "Address");
    ExpectFits(o, IDC_UNIVERSE_LABEL, "Port-address");
    ExpectFits(o, IDC_START_CHANNEL_LABEL, "Start channel");
    ExpectFits(o, IDC_OUTPUT_KIND, "sACN (E1.31)", ::GetSystemMetrics(SM_CXVSCROLL) + 6);
    ExpectFits(o, IDC_ADDRESS_HINT, "Empty: the universe's multicast group");
    ExpectFits(o, IDC_ADDRESS_HINT, "Empty: broadcast on the local network");
    for (const char* message :
         {"The address must be an IPv4 address or a host name.", "The address is too long.",
          "The universe must be 1 to 63999.", "The port-address must be 0 to 32767.",
          "The start channel must be 1 to 512."}) {
        ExpectFits(o, IDC_OUTPUT_STATUS, message);
    }
}

} // namespace
