#include "display/band_editor.h"
#include "records.h"

#include <gtest/gtest.h>

namespace {

// Channels 0..3 in Frequency mode with bands 0-64, 64-128, 128-192, 192-256;
// the rest in Power mode.
PluginState FourBands() {
    PluginState s;
    for (int i = 0; i < kChannelCount; ++i) {
        s.Channels[i] =
            i < 4 ? FrequencyChannel(FreqPeak, 64 * i, 64 * (i + 1)) : PowerChannel(PowerPeakLevel);
        s.Channels[i].FreqStart = 64 * i;
        s.Channels[i].FreqEnd = 64 * (i + 1);
    }
    return s;
}

TEST(BandEditor, PressPicksTheLowerChannelsEndWithinOnePixel) {
    for (int x : {127, 128, 129}) {
        PluginState s = FourBands();
        BandEditPress(s, x);
        EXPECT_EQ(s.SelectedChannel, 1) << x;
        EXPECT_EQ(s.DragStartEdge, 0) << x;
        EXPECT_EQ(s.Dragging, 1);
    }
    PluginState s = FourBands();
    BandEditPress(s, 130);
    EXPECT_EQ(s.SelectedChannel, -1);
    EXPECT_EQ(s.Dragging, 1) << "a press always starts a drag";
    BandEditPress(s, 1);
    EXPECT_EQ(s.SelectedChannel, 0);
    EXPECT_EQ(s.DragStartEdge, 1);
}

TEST(BandEditor, MoveDragsTheEdgeAndItsNeighbourUntilRelease) {
    PluginState s = FourBands();
    BandEditPress(s, 127);
    BandEditMove(s, 140);
    EXPECT_EQ(s.Channels[1].FreqEnd, 140);
    EXPECT_EQ(s.Channels[2].FreqStart, 140);
    BandEditRelease(s);
    EXPECT_EQ(s.SelectedChannel, -1);
    EXPECT_EQ(s.Dragging, 0);
    BandEditMove(s, 150);
    EXPECT_EQ(s.Channels[1].FreqEnd, 140);
    EXPECT_EQ(s.Channels[2].FreqStart, 140);
}

TEST(BandEditor, StartOfChannelZeroMovesAlone) {
    PluginState s = FourBands();
    const PluginState before = s;
    BandEditPress(s, 1);
    BandEditMove(s, 10);
    EXPECT_EQ(s.Channels[0].FreqStart, 10);
    for (int i = 0; i < kChannelCount; ++i) {
        EXPECT_EQ(s.Channels[i].FreqEnd, before.Channels[i].FreqEnd);
        if (i > 0) {
            EXPECT_EQ(s.Channels[i].FreqStart, before.Channels[i].FreqStart);
        }
    }
}

TEST(BandEditor, NeighbourFollowsWhateverItsMode) {
    PluginState s = FourBands();
    BandEditPress(s, 256);
    EXPECT_EQ(s.SelectedChannel, 3);
    BandEditMove(s, 300);
    EXPECT_EQ(s.Channels[3].FreqEnd, 300);
    EXPECT_EQ(s.Channels[4].FreqStart, 300) << "channel 4 is a Power channel";
}

TEST(BandEditor, OnlyTheFirstEightChannelsMove) {
    PluginState s = FourBands();
    s.Channels[7] = FrequencyChannel(FreqPeak, 448, 512);
    s.Channels[8] = FrequencyChannel(FreqPeak, 512, 576);
    BandEditPress(s, 512);
    EXPECT_EQ(s.SelectedChannel, 7);
    BandEditMove(s, 520);
    EXPECT_EQ(s.Channels[7].FreqEnd, 520);
    EXPECT_EQ(s.Channels[8].FreqStart, 512) << "channel 7's end edge moves alone";
    BandEditRelease(s);

    s.Channels[9] = FrequencyChannel(FreqPeak, 700, 800);
    BandEditPress(s, 800);
    EXPECT_EQ(s.SelectedChannel, 9) << "picked";
    BandEditMove(s, 850);
    EXPECT_EQ(s.Channels[9].FreqEnd, 800) << "but never moved";
}

TEST(BandEditor, DisabledAndGraphWidthFrequencyEdgesArePickedPowerNever) {
    PluginState s = FourBands();
    s.Channels[0].Enabled = 0;
    s.Channels[1].FreqMode = FreqGraphWidth;
    BandEditPress(s, 0);
    EXPECT_EQ(s.SelectedChannel, 0);
    BandEditPress(s, 64);
    EXPECT_EQ(s.SelectedChannel, 0) << "channel 0's end comes first";
    EXPECT_EQ(s.DragStartEdge, 0);
    for (int i = 4; i < kChannelCount; ++i) {
        s.Channels[i].FreqStart = 900;
    }
    BandEditRelease(s);
    BandEditPress(s, 900);
    EXPECT_EQ(s.SelectedChannel, -1);
}

TEST(BandEditor, PressWithoutAHitKeepsTheHeldEdge) {
    PluginState s = FourBands();
    BandEditPress(s, 64);
    BandEditPress(s, 1000);
    EXPECT_EQ(s.SelectedChannel, 0);
    BandEditMove(s, 70);
    EXPECT_EQ(s.Channels[0].FreqEnd, 70);
}

TEST(BandEditor, EdgesAtTheIntegerLimitsDoNotOverflow) {
    PluginState s = FourBands();
    s.Channels[0].FreqStart = INT32_MAX;
    s.Channels[0].FreqEnd = INT32_MIN;
    BandEditPress(s, INT16_MAX);
    EXPECT_EQ(s.SelectedChannel, -1);
    s.DraggableChannels = 100;
    BandEditPress(s, 192);
    BandEditMove(s, 5);
    EXPECT_EQ(s.Channels[3].FreqStart, 5);
    BandEditRelease(s);
    s.Channels[15] = FrequencyChannel(FreqPeak, 0, 1000);
    s.Channels[0].Mode = ModePower;
    s.Channels[1].Mode = ModePower;
    s.Channels[2].Mode = ModePower;
    s.Channels[3].Mode = ModePower;
    BandEditPress(s, 1000);
    ASSERT_EQ(s.SelectedChannel, 15);
    BandEditMove(s, 990); // no channel 16 to follow
    EXPECT_EQ(s.Channels[15].FreqEnd, 990);
}

} // namespace
