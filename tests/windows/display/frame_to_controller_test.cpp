// One frame through the real ControllerLink to the virtual controller
// (tools/with-vctl), checking what arrives on the wire.
#include "analysis/presets.h"
#include "frame/win32/render_frame.h"
#include "link/protocol.h"
#include "link/win32/controller_link.h"

#include "common/win32/dib_surface.h"
#include "windows/common/vctl_log.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>

namespace {

std::string Hex(const LevelCommand& bytes) {
    std::string out;
    char two[3];
    for (uint8_t b : bytes) {
        std::snprintf(two, sizeof two, "%02x", b);
        out += two;
    }
    return out;
}

// The first-run layout: the record defaults and preset 2.
void FirstRunLayout(ChannelTable& channels) {
    ApplyRecordDefaults(channels);
    ApplyPreset(channels, 16, PresetFamily::FrequencyAndPower);
}

TEST(FrameToController, FirstRunFrameDeliversSixteenWellFramedCommandsInChannelOrder) {
    const std::string port = VctlLog::TestPort();
    ASSERT_FALSE(port.empty()) << "run this program under tools/with-vctl";
    VctlLog log;
    const size_t mark = log.Mark();

    ControllerLink link;
    ASSERT_TRUE(link.Open(port.c_str(), 9));
    PluginState state;
    FirstRunLayout(state.Channels);
    TimedLevel frame{};
    std::memset(frame.waveform, 128, sizeof frame.waveform);
    frame.frequency[0][100] = 255;                                 // record 1 at full level
    frame.frequency[0][500] = 128;                                 // record 6 at half
    std::memset(frame.waveform[1], 200, sizeof frame.waveform[1]); // record 15, right channel

    DibSurface surface(1024, 256);
    ASSERT_TRUE(surface.ok());
    const RECT rect = surface.rect();
    ASSERT_EQ(RenderFrame(state, &link, &frame, surface.dc(), &rect), S_OK);

    ASSERT_TRUE(log.WaitForCount(mark, VctlMessage::Kind::Level, 16, 5000));
    ::Sleep(200); // anything more would show up by now
    const VctlMessages arrived = log.Since(mark);
    EXPECT_EQ(CountOf(arrived, VctlMessage::Kind::Framing), 0u);
    const VctlMessages levels = OfKind(arrived, VctlMessage::Kind::Level);
    ASSERT_EQ(levels.size(), 16u);
    for (int i = 0; i < kChannelCount; ++i) {
        EXPECT_EQ(levels[i].channel, i);
        EXPECT_EQ(levels[i].device, 9);
        EXPECT_EQ(levels[i].bytes, Hex(EncodeLevelCommand(i, state.ChannelLevels[i], 9)))
            << "channel " << i;
    }
    EXPECT_EQ(levels[1].bytes, "000903018100");
    EXPECT_EQ(levels[6].level, 50);
    EXPECT_GT(levels[15].level, 50);
    EXPECT_EQ(levels[14].level, 0);
    link.Close();
}

} // namespace
