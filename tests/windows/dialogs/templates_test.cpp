// The styles in the dialog templates that the dialogs' behaviour relies on.

#include "dialog_test_support.h"
#include "resource.h"

#include <commctrl.h>

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

} // namespace
