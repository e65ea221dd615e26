// The output choice: the Output dialog reached from the property dialog,
// driven through its controls, and what the property dialog then opens and
// stores.

#include "dialog_test_support.h"
#include "resource.h"

#include <cstring>
#include <string>

namespace {

class OutputDialog : public DialogTest {
protected:
    HWND OpenOutput(HWND properties) {
        const size_t before = host_.open.size();
        Click(properties, IDC_OUTPUT_BUTTON);
        if (host_.open.size() != before + 1) {
            ADD_FAILURE() << "no output dialog opened";
            return nullptr;
        }
        return host_.open.back();
    }
    static bool Enabled(HWND dialog, int id) { return ::IsWindowEnabled(Item(dialog, id)) != 0; }
    static void Fill(HWND o, int kind, const char* address, const char* universe,
                     const char* start) {
        Pick(o, IDC_OUTPUT_KIND, kind);
        ::SetDlgItemTextA(o, IDC_OUTPUT_ADDRESS, address);
        ::SetDlgItemTextA(o, IDC_UNIVERSE, universe);
        ::SetDlgItemTextA(o, IDC_START_CHANNEL, start);
    }
};

constexpr int kSerial = 0, kSacn = 1, kArtNet = 2;
constexpr int kNetworkFields[] = {IDC_OUTPUT_ADDRESS, IDC_UNIVERSE, IDC_START_CHANNEL};

TEST_F(OutputDialog, ShowsTheChoiceAndEnablesOnlyTheFieldsThatApply) {
    host_.settings.Universe = 9;
    const HWND d = OpenProperties();
    EXPECT_EQ(ItemText(d, IDC_OUTPUT_SUMMARY), "Serial");
    EXPECT_TRUE(Enabled(d, IDC_PORT) && Enabled(d, IDC_DEVICE_ID));

    const HWND o = OpenOutput(d);
    EXPECT_EQ(Text(o), "Output");
    EXPECT_EQ(::GetWindow(o, GW_OWNER), d);
    EXPECT_EQ(ListEntries(o, IDC_OUTPUT_KIND),
              (std::vector<std::string>{"Serial", "sACN (E1.31)", "Art-Net"}));
    EXPECT_EQ(Selection(o, IDC_OUTPUT_KIND), kSerial);
    EXPECT_EQ(ItemText(o, IDC_UNIVERSE), "9");
    EXPECT_EQ(ItemText(o, IDC_START_CHANNEL), "1");
    for (int id : kNetworkFields) {
        EXPECT_FALSE(Enabled(o, id)) << id;
    }
    Pick(o, IDC_OUTPUT_KIND, kSacn);
    for (int id : kNetworkFields) {
        EXPECT_TRUE(Enabled(o, id)) << id;
    }
    EXPECT_EQ(ItemText(o, IDC_UNIVERSE_LABEL), "Universe");
    EXPECT_EQ(ItemText(o, IDC_ADDRESS_HINT), "Empty: the universe's multicast group");
    Pick(o, IDC_OUTPUT_KIND, kArtNet);
    EXPECT_EQ(ItemText(o, IDC_UNIVERSE_LABEL), "Port-address");
    EXPECT_EQ(ItemText(o, IDC_ADDRESS_HINT), "Empty: broadcast on the local network");
    Click(o, IDCANCEL);
    EXPECT_FALSE(::IsWindow(o));
    EXPECT_EQ(ItemText(d, IDC_OUTPUT_SUMMARY), "Serial") << "Cancel hands nothing back";
}

TEST_F(OutputDialog, AValidChoiceGoesBackToThePropertiesWhoseOkOpensAndStoresIt) {
    const HWND d = OpenProperties();
    const HWND o = OpenOutput(d);
    Fill(o, kSacn, "  lights.local ", "7", "3");
    Click(o, IDOK);
    EXPECT_FALSE(::IsWindow(o));
    EXPECT_EQ(ItemText(d, IDC_OUTPUT_SUMMARY), "sACN");
    EXPECT_FALSE(Enabled(d, IDC_PORT) || Enabled(d, IDC_DEVICE_ID)) << "Serial's alone";
    EXPECT_EQ(host_.Saves(), 0) << "stored only by the properties' OK or Apply";
    EXPECT_TRUE(host_.link.opens.empty());

    // Serial's fields don't stop a network output, whatever they hold.
    ::SetDlgItemTextA(d, IDC_DEVICE_ID, "0");
    Click(d, IDOK);
    EXPECT_FALSE(::IsWindow(d));
    EXPECT_EQ(host_.link.opened.Output, OutputKind::Sacn);
    EXPECT_EQ(host_.Saves(), 1);
    StoredSettings stored;
    host_.LoadStored(stored);
    ASSERT_TRUE(stored.complete);
    EXPECT_EQ(stored.link.Output, OutputKind::Sacn);
    EXPECT_STREQ(stored.link.OutputAddress, "lights.local") << "trimmed";
    EXPECT_EQ(stored.link.Universe, 7);
    EXPECT_EQ(stored.link.StartChannel, 3);
    EXPECT_STREQ(stored.link.PortName, "COM1") << "kept for Serial";
    EXPECT_EQ(stored.link.DeviceId, 1);

    // And back to Serial: the network fields are kept for another time.
    const HWND again = OpenProperties();
    const HWND o2 = OpenOutput(again);
    EXPECT_EQ(Selection(o2, IDC_OUTPUT_KIND), kSacn);
    EXPECT_EQ(ItemText(o2, IDC_OUTPUT_ADDRESS), "lights.local");
    Pick(o2, IDC_OUTPUT_KIND, kSerial);
    Click(o2, IDOK);
    Click(again, IDC_APPLY);
    host_.LoadStored(stored);
    EXPECT_EQ(stored.link.Output, OutputKind::Serial);
    EXPECT_STREQ(stored.link.OutputAddress, "lights.local");
    EXPECT_EQ(host_.link.opens.back(), (OpenCall{"COM1", 1}));
}

TEST_F(OutputDialog, BadFieldsAreRefusedInPlainWordsAndNothingIsHandedBack) {
    const HWND d = OpenProperties();
    const HWND o = OpenOutput(d);
    const std::string tooLong(254, 'a');
    const struct {
        int kind;
        const char* address;
        const char* universe;
        const char* start;
        const char* message;
    } cases[] = {
        {kSacn, "my lights", "1", "1", "The address must be an IPv4 address or a host name."},
        {kSacn, "10.0.0.256", "1", "1", "The address must be an IPv4 address or a host name."},
        {kSacn, tooLong.c_str(), "1", "1", "The address is too long."},
        {kSacn, "", "0", "1", "The universe must be 1 to 63999."},
        {kSacn, "", "64000", "1", "The universe must be 1 to 63999."},
        {kSacn, "", "", "1", "The universe must be 1 to 63999."},
        {kArtNet, "", "32768", "1", "The port-address must be 0 to 32767."},
        {kArtNet, "", "0", "0", "The start channel must be 1 to 512."},
        {kArtNet, "", "0", "513", "The start channel must be 1 to 512."},
        {kArtNet, "", "0", "4294967296", "The start channel must be 1 to 512."},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.message);
        Fill(o, c.kind, c.address, c.universe, c.start);
        Click(o, IDOK);
        ASSERT_TRUE(::IsWindowVisible(o));
        EXPECT_EQ(ItemText(o, IDC_OUTPUT_STATUS), c.message);
        EXPECT_EQ(ItemText(d, IDC_OUTPUT_SUMMARY), "Serial");
    }
    Click(d, IDC_APPLY);
    EXPECT_EQ(host_.link.opened.Output, OutputKind::Serial) << "the refused choice never arrived";
    StoredSettings stored;
    host_.LoadStored(stored);
    EXPECT_EQ(stored.link.Output, OutputKind::Serial);
    EXPECT_EQ(stored.link.Universe, 1);
}

TEST_F(OutputDialog, ANetworkOutputsTroubleShowsInThePropertiesWhileItLasts) {
    LinkSettings sacn = host_.settings;
    sacn.Output = OutputKind::Sacn;
    std::strcpy(sacn.OutputAddress, "foo");
    ASSERT_TRUE(host_.plugin.OpenOutput(sacn));
    const std::string problem = "sACN: can't find the receiver \"foo\"";
    const HWND d = OpenProperties();
    EXPECT_EQ(ItemText(d, IDC_STATUS), "");
    host_.link.networkHealth = OutputHealth::NameNotFound;
    ::SendMessageA(d, WM_TIMER, 1, 0);
    EXPECT_EQ(ItemText(d, IDC_STATUS), problem);
    host_.link.networkHealth = OutputHealth::Working;
    ::SendMessageA(d, WM_TIMER, 1, 0);
    EXPECT_EQ(ItemText(d, IDC_STATUS), "");

    // Apply's own refusal stays until the next Apply.
    ::SetDlgItemTextA(d, IDC_LIGHT_DELAY, "5000");
    Click(d, IDC_APPLY);
    host_.link.networkHealth = OutputHealth::NameNotFound;
    ::SendMessageA(d, WM_TIMER, 1, 0);
    EXPECT_EQ(ItemText(d, IDC_STATUS), "The light delay must be 0 to 2000 ms.");
    ::SetDlgItemTextA(d, IDC_LIGHT_DELAY, "0");
    Click(d, IDC_APPLY);
    EXPECT_EQ(ItemText(d, IDC_STATUS), problem);
}

} // namespace
