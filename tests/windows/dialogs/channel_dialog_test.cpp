// The channel dialog driven through its controls: what it shows, how its
// lists and arrows edit the working copy, and what OK, Apply and Cancel write.

#include "frame/frame_pipeline.h"
#include "dialog_test_support.h"
#include "expect.h"
#include "resource.h"

#include <commctrl.h>

#include <climits>
#include <string>
#include <vector>

namespace {

const std::vector<std::string> kFrequencyTypes = {"Peak", "Average", "Normalized", "Graph Width"};
const std::vector<std::string> kPowerTypes = {"Peak Level", "Average Level", "Instant Level",
                                              "Peak Count"};

ChannelConfig SampleRecord() {
    ChannelConfig r = FrequencyChannel(FreqNormalized, 64, 192);
    r.FreqWidth = 37;
    r.PowerMode = PowerAverageLevel;
    for (int i = 0; i < kHistoryLength; ++i) {
        r.History[i] = 10 * i + 1;
    }
    return r;
}

class ChannelDialog : public DialogTest {
protected:
    // A channel dialog on record `index`, opened from a property dialog's
    // button as the user does it.
    HWND OpenOn(const ChannelConfig& record, int index = 0) {
        host_.state.Channels[index] = record;
        properties_ = OpenProperties();
        return OpenChannel(properties_, index == 0 ? 225 : 228 + index);
    }
    ChannelConfig& Live(int index = 0) { return host_.state.Channels[index]; }

    HWND properties_ = nullptr;
};

TEST_F(ChannelDialog, ShowsTheRecord) {
    ChannelConfig r = SampleRecord();
    r.Address = 4;
    r.AudioChannel = 1;
    const HWND c = OpenOn(r);

    EXPECT_EQ(Text(c), "Channel 5") << "the caption follows Address, not the button";
    EXPECT_TRUE(IsChecked(c, IDC_ENABLED));
    EXPECT_EQ(ListEntries(c, IDC_TYPE), (std::vector<std::string>{"Frequency", "Power"}));
    EXPECT_EQ(Selection(c, IDC_TYPE), 0);
    EXPECT_EQ(ListEntries(c, IDC_AUDIO_CHANNEL), (std::vector<std::string>{"Left", "Right"}));
    EXPECT_EQ(Selection(c, IDC_AUDIO_CHANNEL), 1);
    EXPECT_EQ(ListEntries(c, IDC_SAMPLE_TYPE), kFrequencyTypes);
    EXPECT_EQ(Selection(c, IDC_SAMPLE_TYPE), FreqNormalized);
    EXPECT_EQ(ItemText(c, IDC_FREQ_START_HZ), "1396.88");
    EXPECT_EQ(ItemText(c, IDC_FREQ_END_HZ), "4150.63") << "halfway goes away from zero";
    ExpectSameRecord(Live(), r);
}

// Template position (0, 0) is taken in the owner's client area, and it is
// where the dialog's own client area begins.
TEST_F(ChannelDialog, DoesNotCentreButOpensAtItsOwnersClientOrigin) {
    const HWND c = OpenOn(SampleRecord());
    POINT owner{0, 0};
    ::ClientToScreen(properties_, &owner);
    POINT own{0, 0};
    ::ClientToScreen(c, &own);
    EXPECT_EQ(own.x, owner.x);
    EXPECT_EQ(own.y, owner.y);
}

TEST_F(ChannelDialog, ValuesOutsideTheListsShowNoSelectionAndAreWrittenBackUnchanged) {
    ChannelConfig r = SampleRecord();
    r.Mode = ModeBeatDetection;
    r.AudioChannel = 7;
    const HWND c = OpenOn(r);
    EXPECT_EQ(Selection(c, IDC_TYPE), CB_ERR);
    EXPECT_EQ(Selection(c, IDC_AUDIO_CHANNEL), CB_ERR);
    EXPECT_TRUE(ListEntries(c, IDC_SAMPLE_TYPE).empty());

    Click(c, IDOK);
    r.ZeroPending = 1;
    ExpectSameRecord(Live(), r);

    r = SampleRecord();
    r.FreqMode = 9;
    const HWND d = OpenOn(r);
    EXPECT_EQ(ListEntries(d, IDC_SAMPLE_TYPE), kFrequencyTypes);
    EXPECT_EQ(Selection(d, IDC_SAMPLE_TYPE), CB_ERR);
    Click(d, IDOK);
    EXPECT_EQ(Live().FreqMode, 9);
}

TEST_F(ChannelDialog, PickingATypeFillsItsSampleTypesWithTheRememberedOne) {
    ChannelConfig r = SampleRecord();
    r.Mode = ModeBeatDetection;
    r.PowerMode = PowerPeakCount;
    const HWND c = OpenOn(r);
    Pick(c, IDC_TYPE, ModePower);
    EXPECT_EQ(ListEntries(c, IDC_SAMPLE_TYPE), kPowerTypes);
    EXPECT_EQ(Selection(c, IDC_SAMPLE_TYPE), PowerPeakCount);
    Click(c, IDOK);
    EXPECT_EQ(Live().Mode, ModePower);
}

TEST_F(ChannelDialog, EachSampleTypeSetKeepsItsOwnSelection) {
    ChannelConfig r = SampleRecord(); // Frequency, Normalized
    r.PowerMode = PowerPeakLevel;
    const HWND c = OpenOn(r);
    Pick(c, IDC_TYPE, ModePower);
    EXPECT_EQ(Selection(c, IDC_SAMPLE_TYPE), PowerPeakLevel);
    Pick(c, IDC_SAMPLE_TYPE, PowerPeakCount);
    Pick(c, IDC_TYPE, ModeFrequency);
    EXPECT_EQ(ListEntries(c, IDC_SAMPLE_TYPE), kFrequencyTypes);
    EXPECT_EQ(Selection(c, IDC_SAMPLE_TYPE), FreqNormalized);

    Click(c, IDOK);
    EXPECT_EQ(Live().Mode, ModeFrequency);
    EXPECT_EQ(Live().FreqMode, FreqNormalized);
    EXPECT_EQ(Live().PowerMode, PowerPeakCount);
}

TEST_F(ChannelDialog, AChangeNoticeWithNothingSelectedChangesNothing) {
    const HWND c = OpenOn(SampleRecord());
    Pick(c, IDC_TYPE, -1);
    Pick(c, IDC_AUDIO_CHANNEL, -1);
    Pick(c, IDC_SAMPLE_TYPE, -1);
    Click(c, IDOK);
    EXPECT_EQ(Live().Mode, ModeFrequency);
    EXPECT_EQ(Live().AudioChannel, 0);
    EXPECT_EQ(Live().FreqMode, FreqNormalized);
}

TEST_F(ChannelDialog, ArrowsStepTheBandEdgesWithinTheBinRange) {
    ChannelConfig r = SampleRecord();
    r.FreqStart = 0;
    r.FreqEnd = 1024; // as a preset may leave it
    for (bool up : {true, false}) {
        const HWND c = OpenOn(r);
        EXPECT_EQ(ItemText(c, IDC_FREQ_END_HZ), "22050.00");
        ClickArrow(c, IDC_FREQ_END_SPIN, up);
        EXPECT_EQ(ItemText(c, IDC_FREQ_END_HZ), "22028.49") << up;
        Click(c, IDC_APPLY);
        EXPECT_EQ(Live().FreqEnd, 1023) << up;
    }

    const HWND c = OpenOn(r);
    ClickArrow(c, IDC_FREQ_START_SPIN, false);
    EXPECT_EQ(ItemText(c, IDC_FREQ_START_HZ), "20.00");
    Click(c, IDC_APPLY);
    EXPECT_EQ(Live().FreqStart, 0);
    ClickArrow(c, IDC_FREQ_START_SPIN, true);
    ClickArrow(c, IDC_FREQ_START_SPIN, true);
    EXPECT_EQ(ItemText(c, IDC_FREQ_START_HZ), "63.03");
    Click(c, IDC_APPLY);
    EXPECT_EQ(Live().FreqStart, 2);
    EXPECT_EQ(Live().FreqEnd, 1024) << "the other edge is untouched";
}

LRESULT SendDeltaPos(HWND dialog, int spinId, int delta) {
    NMUPDOWN change{};
    change.hdr.hwndFrom = Item(dialog, spinId);
    change.hdr.idFrom = spinId;
    change.hdr.code = UDN_DELTAPOS;
    change.iDelta = delta;
    return ::SendMessageA(dialog, WM_NOTIFY, spinId, reinterpret_cast<LPARAM>(&change));
}

TEST_F(ChannelDialog, AProposedDeltaIsAppliedInFullAndTheEdgesAreIndependent) {
    const HWND c = OpenOn(SampleRecord()); // 64..192
    EXPECT_EQ(SendDeltaPos(c, IDC_FREQ_START_SPIN, -500), 0) << "the control may go ahead";
    EXPECT_EQ(ItemText(c, IDC_FREQ_START_HZ), "12153.71");
    EXPECT_EQ(SendDeltaPos(c, IDC_FREQ_END_SPIN, INT_MIN), 0);
    EXPECT_EQ(ItemText(c, IDC_FREQ_END_HZ), "22028.49");
    Click(c, IDOK);
    EXPECT_EQ(Live().FreqStart, 564) << "a start above the end is accepted";
    EXPECT_EQ(Live().FreqEnd, 1023);
}

TEST_F(ChannelDialog, DisablingWithOkOwesTheControllerExactlyOneZero) {
    const int index = 3;
    const HWND c = OpenOn(SampleRecord(), index);
    Click(c, IDC_ENABLED);
    EXPECT_EQ(Live(index).Enabled, 1) << "the box edits the working copy only";
    Click(c, IDOK);
    EXPECT_EQ(Live(index).Enabled, 0);
    EXPECT_EQ(Live(index).ZeroPending, 1);

    TimedLevel frame{};
    CheckedCanvas canvas;
    for (int i = 0; i < 2; ++i) {
        Render(host_.state, frame, canvas, {0, 0, 1024, 256}, &host_.link);
    }
    EXPECT_EQ(host_.link.levels, (std::vector<SentLevel>{{index, 0}}));
}

TEST_F(ChannelDialog, ApplyThenCancelKeepsTheAppliedRecord) {
    const HWND c = OpenOn(SampleRecord());
    Pick(c, IDC_AUDIO_CHANNEL, 1);
    Click(c, IDC_APPLY);
    EXPECT_TRUE(::IsWindowVisible(c));
    EXPECT_EQ(Live().AudioChannel, 1);
    EXPECT_EQ(Live().ZeroPending, 1);

    Pick(c, IDC_TYPE, ModePower);
    Click(c, IDCANCEL);
    EXPECT_FALSE(::IsWindow(c));
    EXPECT_EQ(Live().AudioChannel, 1);
    EXPECT_EQ(Live().Mode, ModeFrequency);
}

TEST_F(ChannelDialog, CloseBoxLeavesTheLiveRecordAlone) {
    const ChannelConfig r = SampleRecord();
    const HWND c = OpenOn(r);
    Click(c, IDC_ENABLED);
    ClickArrow(c, IDC_FREQ_END_SPIN, true);
    ::SendMessageA(c, WM_CLOSE, 0, 0); // posts Cancel
    PumpMessages();
    EXPECT_FALSE(::IsWindow(c));
    ExpectSameRecord(Live(), r);
}

TEST_F(ChannelDialog, TwoDialogsOnOneChannelLastWriteWins) {
    properties_ = OpenProperties();
    host_.state.Channels[0] = SampleRecord();
    const HWND a = OpenChannel(properties_, 225);
    const HWND b = OpenChannel(properties_, 225);
    Pick(a, IDC_AUDIO_CHANNEL, 1);
    Click(b, IDC_ENABLED);

    Click(a, IDC_APPLY);
    EXPECT_EQ(Live().AudioChannel, 1);
    EXPECT_EQ(Live().Enabled, 1);
    Click(b, IDOK);
    EXPECT_EQ(Live().AudioChannel, 0) << "b's copy replaces the whole record";
    EXPECT_EQ(Live().Enabled, 0);
}

TEST_F(ChannelDialog, WriteBackRestoresItsSnapshotOverLaterChanges) {
    ChannelConfig r = SampleRecord();
    const HWND c = OpenOn(r);
    Live().FreqEnd = 500; // dragged with the mouse meanwhile
    Live().History[0] = 99;
    Live().FreqWidth = 12;
    Click(c, IDOK);
    r.ZeroPending = 1;
    ExpectSameRecord(Live(), r);
}

} // namespace
