// The settings object the plug-in and its dialogs share: every operation goes
// to the output and the store it was given.
#include "config/plugin_settings.h"

#include "config/settings.h"
#include "memory_store.h"
#include "recording_link.h"
#include "records.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

struct PluginSettingsTest : ::testing::Test {
    RecordingLink output;
    MemoryStore store;
    PluginSettings settings{output, store};

    LinkSettings Network(OutputKind kind, const char* address) {
        LinkSettings wanted = settings.Link();
        wanted.Output = kind;
        std::strcpy(wanted.OutputAddress, address);
        return wanted;
    }
};

TEST_F(PluginSettingsTest, StartsSavesAndReloadsThroughTheStoreItWasGiven) {
    settings.Initialize(kNewSourceId);
    ASSERT_EQ(output.opens, (std::vector<OpenCall>{{"COM1", 1}})) << "first run";
    EXPECT_TRUE(store.KeyExists(kSettingsKeyPath)) << "the first-run settings stored";

    settings.State().Channels[4].FreqEnd = 555;
    settings.State().DrawPower = 0;
    settings.Save();
    settings.State().Channels[4].FreqEnd = 1;
    ASSERT_TRUE(settings.SetCurrentPreset(0));
    EXPECT_EQ(settings.State().Channels[4].FreqEnd, 555) << "preset 0 reloads what was saved";
    EXPECT_EQ(settings.State().DrawPower, 0);
    ASSERT_EQ(output.adopted.size(), 1u) << "and the output takes the reloaded id and delay";
    EXPECT_EQ(output.opens.size(), 1u) << "without reopening";

    const PluginState before = settings.State();
    EXPECT_FALSE(settings.SetCurrentPreset(7));
    EXPECT_EQ(settings.State().CurrentPreset, before.CurrentPreset);
    EXPECT_TRUE(settings.SetCurrentPreset(3));
    EXPECT_EQ(settings.State().CurrentPreset, 3);
}

TEST_F(PluginSettingsTest, OpensTheOutputAndKeepsWhatWasTriedUnlessRefused) {
    LinkSettings wanted = settings.Link();
    std::strcpy(wanted.PortName, "COM9");
    wanted.DeviceId = 4;
    output.missingPorts = {"COM9"};
    EXPECT_FALSE(settings.OpenOutput(wanted));
    EXPECT_STREQ(settings.Link().PortName, "COM9") << "recorded though it didn't open";

    wanted.DeviceId = 0;
    std::strcpy(wanted.PortName, "COM2");
    EXPECT_FALSE(settings.OpenOutput(wanted));
    EXPECT_STREQ(settings.Link().PortName, "COM9") << "refused: nothing changes";
    EXPECT_EQ(settings.Link().DeviceId, 4);
}

TEST_F(PluginSettingsTest, TellsANetworkOutputsTroubleButNotTheSerialPorts) {
    char text[128] = "";
    std::strcpy(settings.Link().PortName, "COM9");
    settings.Link().DeviceId = 1;
    output.missingPorts = {"COM9"};
    ASSERT_FALSE(settings.OpenOutput(settings.Link()));
    EXPECT_FALSE(settings.OutputProblem(text, sizeof text)) << "Apply says that one";
    settings.DescribeOutput(text, sizeof text);
    EXPECT_STREQ(text, "port COM9 can't be opened");

    ASSERT_TRUE(settings.OpenOutput(Network(OutputKind::Sacn, "lights.local")));
    for (const OutputHealth quiet : {OutputHealth::Working, OutputHealth::LookingUp}) {
        output.networkHealth = quiet;
        EXPECT_FALSE(settings.OutputProblem(text, sizeof text));
    }
    output.networkHealth = OutputHealth::NameNotFound;
    ASSERT_TRUE(settings.OutputProblem(text, sizeof text));
    EXPECT_STREQ(text, "sACN: can't find the receiver \"lights.local\"");
    settings.DescribeOutput(text, sizeof text);
    EXPECT_STREQ(text, "sACN: can't find the receiver \"lights.local\"");
}

TEST_F(PluginSettingsTest, TheNoticeAfterAnUnsavedResetIsSaidOnce) {
    std::string text;
    EXPECT_FALSE(settings.TakeNotice(text));
    settings.State().UnsavedReset = true;
    ASSERT_TRUE(settings.TakeNotice(text));
    EXPECT_NE(text.find("couldn't keep a copy"), std::string::npos);
    EXPECT_FALSE(settings.TakeNotice(text));
}

} // namespace
