// The property dialog driven through its controls, against a stand-in
// plug-in whose settings go to an in-memory store.

#include "dialog_test_support.h"
#include "link/win32/controller_link.h"
#include "resource.h"

#include <cstring>

#include <string>
#include <utility>
#include <vector>

namespace {

using Opens = std::vector<OpenCall>;

class PropertyDialog : public DialogTest {};

TEST_F(PropertyDialog, ShowsTheLinkAndTheGraphicsFlags) {
    host_.settings.LightDelayMs = 250;
    host_.Open("COM12", 42);
    host_.link.opens.clear();
    host_.state.DrawPower = 0;
    host_.state.DrawChannelNumbers = 0;

    const HWND d = OpenProperties();
    EXPECT_TRUE(::IsWindowVisible(d));
    EXPECT_EQ(Text(d), "Twinkla Properties");
    EXPECT_EQ(ListEntries(d, IDC_PORT), (std::vector<std::string>{"COM1", "COM2", "COM3", "COM4"}));
    EXPECT_EQ(ItemText(d, IDC_PORT), "COM12") << "a port outside the list is shown as it is";
    EXPECT_EQ(ItemText(d, IDC_DEVICE_ID), "42");
    EXPECT_EQ(ItemText(d, IDC_LIGHT_DELAY), "250");
    EXPECT_EQ(ItemText(d, IDC_STATUS), "");
    EXPECT_TRUE(IsChecked(d, IDC_DRAW_FREQUENCY));
    EXPECT_FALSE(IsChecked(d, IDC_DRAW_POWER));
    EXPECT_TRUE(IsChecked(d, IDC_DRAW_CHANNELS));
    EXPECT_FALSE(IsChecked(d, IDC_DRAW_CHANNEL_NUMBERS));
    EXPECT_TRUE(host_.link.opens.empty());
    EXPECT_EQ(host_.Saves(), 0);
}

TEST_F(PropertyDialog, OkUnchangedReopensThePortSavesAndSelectsManualConfiguration) {
    host_.state.CurrentPreset = 3;
    host_.state.Channels[5].FreqEnd = 777; // changed since the last save

    const HWND d = OpenProperties();
    Click(d, IDOK);

    EXPECT_EQ(host_.link.opens, (Opens{{"COM1", 1}}));
    EXPECT_TRUE(host_.link.IsOpen());
    EXPECT_EQ(host_.Saves(), 1);
    EXPECT_EQ(host_.Reloads(), 1) << "preset 0 applied";
    EXPECT_EQ(host_.state.CurrentPreset, 0);
    EXPECT_FALSE(::IsWindow(d));
    EXPECT_TRUE(host_.open.empty());

    StoredSettings stored;
    host_.LoadStored(stored);
    ASSERT_TRUE(stored.complete);
    EXPECT_STREQ(stored.link.PortName, "COM1");
    EXPECT_EQ(stored.link.DeviceId, 1);
    EXPECT_EQ(stored.state.Channels[5].FreqEnd, 777);
    EXPECT_EQ(host_.state.Channels[5].FreqEnd, 777) << "preset 0 reloaded what was saved";
}

TEST_F(PropertyDialog, ARefusedDeviceIdOrDelayKeepsTheDialogOpenSaysWhyAndChangesNothing) {
    const HWND d = OpenProperties();
    for (const char* id : {"", "0", "256", "4294967296"}) {
        ::SetDlgItemTextA(d, IDC_DEVICE_ID, id);
        Click(d, IDOK);
        EXPECT_TRUE(::IsWindowVisible(d)) << id;
        EXPECT_EQ(ItemText(d, IDC_STATUS), "The device ID must be 1 to 255.") << id;
    }
    ::SetDlgItemTextA(d, IDC_DEVICE_ID, "1");
    for (const char* delay : {"", "2001", "4294967296"}) {
        ::SetDlgItemTextA(d, IDC_LIGHT_DELAY, delay);
        Click(d, IDOK);
        EXPECT_TRUE(::IsWindowVisible(d)) << delay;
        EXPECT_EQ(ItemText(d, IDC_STATUS), "The light delay must be 0 to 2000 ms.") << delay;
    }
    EXPECT_TRUE(host_.link.opens.empty()) << "refused before the port is touched";
    EXPECT_EQ(host_.Saves(), 0);
    EXPECT_EQ(host_.Reloads(), 0) << "no preset applied";
    EXPECT_TRUE(host_.link.IsOpen()) << "the old port stays open";
    EXPECT_STREQ(host_.settings.PortName, "COM1");
    EXPECT_EQ(host_.settings.LightDelayMs, 0u);

    ::SetDlgItemTextA(d, IDC_LIGHT_DELAY, "2000");
    Click(d, IDC_APPLY);
    EXPECT_EQ(ItemText(d, IDC_STATUS), "");
    EXPECT_EQ(host_.Saves(), 1);
    StoredSettings stored;
    host_.LoadStored(stored);
    EXPECT_EQ(stored.link.LightDelayMs, 2000u);
}

TEST_F(PropertyDialog, PortThatFailsToOpenLeavesTheLinkClosedUntilAGoodOne) {
    host_.link.missingPorts = {"COM9"};
    const HWND d = OpenProperties();
    ::SetDlgItemTextA(d, IDC_PORT, "COM9");
    Click(d, IDOK);
    EXPECT_TRUE(::IsWindowVisible(d));
    EXPECT_FALSE(host_.link.IsOpen());
    EXPECT_STREQ(host_.settings.PortName, "COM9");
    EXPECT_EQ(ItemText(d, IDC_STATUS), "Port COM9 can't be opened.");
    EXPECT_EQ(host_.Saves(), 0);
    EXPECT_EQ(host_.Reloads(), 0) << "no preset applied";

    ::SetDlgItemTextA(d, IDC_PORT, "COM2");
    Click(d, IDOK);
    EXPECT_FALSE(::IsWindow(d));
    EXPECT_TRUE(host_.link.IsOpen());
    EXPECT_EQ(host_.Saves(), 1);
}

// The same through the real link: no such port in the prefix.
TEST_F(PropertyDialog, RealLinkThatCannotOpenThePortKeepsTheDialogOpen) {
    ControllerLink link;
    PluginSettings settings(link, host_.store);
    settings.Link() = host_.settings; // the host's, on the real link
    const HWND d = OpenProperties(nullptr, &settings);
    ::SetDlgItemTextA(d, IDC_PORT, "COM99");
    Click(d, IDOK);
    EXPECT_TRUE(::IsWindowVisible(d));
    EXPECT_FALSE(link.IsOpen());
    EXPECT_STREQ(link.PortName, "COM99");
    EXPECT_STREQ(settings.Link().PortName, "COM99");
    EXPECT_EQ(host_.Saves(), 0);
    host_.CloseAll();
}

TEST_F(PropertyDialog, TypedPortNameArrivesInUpperCase) {
    const HWND d = OpenProperties();
    const HWND edit = ::FindWindowExA(Item(d, IDC_PORT), nullptr, "Edit", nullptr);
    ASSERT_NE(edit, nullptr);
    ::SendMessageA(edit, EM_SETSEL, 0, -1);
    Type(edit, "com7");
    EXPECT_EQ(ItemText(d, IDC_PORT), "COM7");

    Click(d, IDOK);
    EXPECT_EQ(host_.link.opens, (Opens{{"COM7", 1}})) << "a port outside the list is accepted";
    StoredSettings stored;
    host_.LoadStored(stored);
    EXPECT_STREQ(stored.link.PortName, "COM7");
}

TEST_F(PropertyDialog, APortNameTooLongIsRefusedWithAMessage) {
    const HWND d = OpenProperties();
    for (const size_t length : {20u, 80u}) {
        ::SetDlgItemTextA(d, IDC_PORT, std::string(length, 'X').c_str());
        Click(d, IDC_APPLY);
    }
    EXPECT_TRUE(host_.link.opens.empty()) << "a name that long is refused before the port";
    EXPECT_EQ(ItemText(d, IDC_STATUS), "The port name is too long.");
    EXPECT_EQ(host_.Saves(), 0);
}

TEST_F(PropertyDialog, GraphicsFlagsTakeEffectAtApplyEvenWhenTheLinkFails) {
    const HWND d = OpenProperties();
    Click(d, IDC_DRAW_FREQUENCY);
    Click(d, IDC_DRAW_CHANNELS);
    EXPECT_EQ(host_.state.DrawFrequency, 1) << "a box alone changes nothing";

    ::SetDlgItemTextA(d, IDC_DEVICE_ID, "0");
    Click(d, IDC_APPLY);
    EXPECT_EQ(host_.state.DrawFrequency, 0);
    EXPECT_EQ(host_.state.DrawPower, 1);
    EXPECT_EQ(host_.state.DrawChannels, 0);
    EXPECT_EQ(host_.state.DrawChannelNumbers, 1);
    EXPECT_EQ(host_.Saves(), 0);
    EXPECT_TRUE(::IsWindowVisible(d));
}

TEST_F(PropertyDialog, ApplyThenCancelKeepsWhatWasApplied) {
    const HWND d = OpenProperties();
    ::SetDlgItemTextA(d, IDC_DEVICE_ID, "7");
    Click(d, IDC_APPLY);
    EXPECT_TRUE(::IsWindowVisible(d));
    EXPECT_EQ(host_.link.DeviceId, 7);
    EXPECT_EQ(host_.Saves(), 1);
    EXPECT_EQ(host_.Reloads(), 1) << "preset 0 applied";

    ::SetDlgItemTextA(d, IDC_DEVICE_ID, "9");
    Click(d, IDCANCEL);
    EXPECT_FALSE(::IsWindow(d));
    EXPECT_EQ(host_.link.DeviceId, 7);
    EXPECT_EQ(host_.Saves(), 1);
    StoredSettings stored;
    host_.LoadStored(stored);
    EXPECT_EQ(stored.link.DeviceId, 7);
}

TEST_F(PropertyDialog, CloseBoxCancels) {
    const HWND d = OpenProperties();
    ::SetDlgItemTextA(d, IDC_DEVICE_ID, "9");
    ::SendMessageA(d, WM_CLOSE, 0, 0); // posts Cancel
    PumpMessages();
    EXPECT_FALSE(::IsWindow(d));
    EXPECT_TRUE(host_.link.opens.empty());
    EXPECT_EQ(host_.Saves(), 0);
}

TEST_F(PropertyDialog, TwoDialogsEachApplyWhatTheirOwnControlsShow) {
    const HWND a = OpenProperties();
    const HWND b = OpenProperties();
    ASSERT_NE(a, b);
    EXPECT_TRUE(::IsWindowVisible(a) && ::IsWindowVisible(b));

    ::SetDlgItemTextA(a, IDC_DEVICE_ID, "5");
    Click(b, IDC_DRAW_POWER);
    StoredSettings stored;

    Click(a, IDC_APPLY);
    host_.LoadStored(stored);
    EXPECT_EQ(stored.link.DeviceId, 5);
    EXPECT_EQ(stored.state.DrawPower, 1);

    Click(b, IDC_APPLY);
    host_.LoadStored(stored);
    EXPECT_EQ(stored.link.DeviceId, 1) << "b still shows the id it opened with";
    EXPECT_EQ(stored.state.DrawPower, 0);
    EXPECT_EQ(host_.Saves(), 2);
}

TEST_F(PropertyDialog, ChannelButtonsOpenADialogForTheirChannel) {
    for (int i = 0; i < kChannelCount; ++i) {
        host_.state.Channels[i].Address = static_cast<uint8_t>(i);
    }
    const HWND d = OpenProperties();
    const HWND first = OpenChannel(d, 225);
    const HWND second = OpenChannel(d, 229);
    const HWND last = OpenChannel(d, 243);
    const HWND firstAgain = OpenChannel(d, 225);
    EXPECT_EQ(Text(first), "Channel 1");
    EXPECT_EQ(Text(second), "Channel 2");
    EXPECT_EQ(Text(last), "Channel 16");
    EXPECT_EQ(Text(firstAgain), "Channel 1");
    EXPECT_NE(first, firstAgain) << "each press opens another dialog";
    EXPECT_EQ(::GetWindow(first, GW_OWNER), d);

    const size_t open = host_.open.size();
    Click(d, IDC_DRAW_FREQUENCY);
    EXPECT_EQ(host_.open.size(), open) << "228 is a check box, not a channel button";
}

TEST_F(PropertyDialog, EndedWhileChannelDialogsAreOpenItWaitsForThem) {
    const HWND d = OpenProperties();
    const HWND c = OpenChannel(d, 225);
    Click(d, IDOK);
    EXPECT_TRUE(::IsWindow(d));
    EXPECT_FALSE(::IsWindowVisible(d));
    EXPECT_TRUE(::IsWindowVisible(c)) << "an open channel dialog stays usable";

    Click(c, IDC_ENABLED);
    Click(c, IDOK);
    EXPECT_EQ(host_.state.Channels[0].Enabled, 1);
    EXPECT_FALSE(::IsWindow(c));
    PumpMessages();
    EXPECT_FALSE(::IsWindow(d)) << "the hidden property dialog goes with its last channel dialog";
    EXPECT_TRUE(host_.open.empty());
}

// A plain top-level window to own a dialog.
class OwnerWindow {
public:
    OwnerWindow(const RECT& r, bool visible)
        : window_(::CreateWindowExA(
              0, "STATIC", "owner", WS_OVERLAPPEDWINDOW | (visible ? WS_VISIBLE : 0), r.left, r.top,
              r.right - r.left, r.bottom - r.top, nullptr, nullptr, nullptr, nullptr)) {}
    ~OwnerWindow() { ::DestroyWindow(window_); }
    HWND get() const { return window_; }

private:
    HWND window_;
};

RECT WorkArea() {
    RECT r{};
    ::SystemParametersInfoA(SPI_GETWORKAREA, 0, &r, 0);
    return r;
}

RECT WindowRect(HWND window) {
    RECT r{};
    ::GetWindowRect(window, &r);
    return r;
}

// Where the centre of `reference` puts a window of the size of `window`.
POINT CentreOf(const RECT& reference, HWND window) {
    const RECT r = WindowRect(window);
    return {(reference.left + reference.right) / 2 - (r.right - r.left) / 2,
            (reference.top + reference.bottom) / 2 - (r.bottom - r.top) / 2};
}

TEST_F(PropertyDialog, CentresOnAVisibleOwner) {
    const RECT work = WorkArea();
    const RECT ownerRect{work.left + 101, work.top + 81, work.left + 800, work.top + 600};
    OwnerWindow owner(ownerRect, true);
    const HWND d = OpenProperties(owner.get());
    const POINT expected = CentreOf(WindowRect(owner.get()), d);
    EXPECT_EQ(WindowRect(d).left, expected.x);
    EXPECT_EQ(WindowRect(d).top, expected.y);
}

TEST_F(PropertyDialog, CentresOnTheWorkAreaWithoutAVisibleOwner) {
    const RECT work = WorkArea();
    const RECT ownerRect{work.left + 10, work.top + 10, work.left + 400, work.top + 300};
    OwnerWindow hidden(ownerRect, false);
    OwnerWindow minimised(ownerRect, true);
    ::ShowWindow(minimised.get(), SW_MINIMIZE);
    ASSERT_TRUE(::GetWindowLongA(minimised.get(), GWL_STYLE) & WS_MINIMIZE);

    for (HWND owner : {hidden.get(), minimised.get(), HWND{}}) {
        const HWND d = OpenProperties(owner);
        const POINT expected = CentreOf(work, d);
        EXPECT_EQ(WindowRect(d).left, expected.x) << owner;
        EXPECT_EQ(WindowRect(d).top, expected.y) << owner;
    }
}

} // namespace
