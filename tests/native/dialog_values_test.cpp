#include "config/dialog_values.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <string>

namespace {

std::string Hertz(int32_t bin) {
    char text[kHertzTextSize];
    std::memset(text, 'x', sizeof text);
    BinToHertzText(bin, text);
    return text;
}

TEST(HertzText, ShowsTheBandEdgesWithTwoDecimals) {
    EXPECT_EQ(Hertz(0), "20.00");
    EXPECT_EQ(Hertz(1), "41.51");
    EXPECT_EQ(Hertz(1023), "22028.49");
    EXPECT_EQ(Hertz(1024), "22050.00");
}

// 64 x 21.513671875 = 1376.875 and 192 x ... = 4130.625: exactly halfway, and
// the runtimes' printf disagree about these.
TEST(HertzText, HalfwayGoesAwayFromZero) {
    EXPECT_EQ(Hertz(64), "1396.88");
    EXPECT_EQ(Hertz(128), "2773.75");
    EXPECT_EQ(Hertz(192), "4150.63");
    EXPECT_EQ(Hertz(-64), "-1356.88");
    EXPECT_EQ(Hertz(-192), "-4110.63");
}

TEST(HertzText, NegativeBinsGetAMinusSignEvenBelowOneHertz) {
    EXPECT_EQ(Hertz(-1), "-1.51");
    EXPECT_EQ(Hertz(-2), "-23.03");
}

TEST(HertzText, ExtremeBinsAreExactAndFit) {
    // 2^31 x 22030 / 1024 = 46200258560 exactly.
    EXPECT_EQ(Hertz(INT32_MIN), "-46200258540.00");
    EXPECT_EQ(Hertz(INT32_MAX), "46200258558.49");
    EXPECT_LT(Hertz(INT32_MIN).size(), size_t{kHertzTextSize});
}

TEST(BandStep, MovesAgainstTheProposedDelta) {
    EXPECT_EQ(StepBin(100, -1), 101) << "the up arrow proposes -1";
    EXPECT_EQ(StepBin(100, 1), 99);
    EXPECT_EQ(StepBin(100, -50), 150) << "an accelerated step is applied in full";
}

TEST(BandStep, ClampsToTheBinRange) {
    EXPECT_EQ(StepBin(1024, -1), 1023);
    EXPECT_EQ(StepBin(1024, 1), 1023);
    EXPECT_EQ(StepBin(0, 1), 0);
    EXPECT_EQ(StepBin(1023, -1), 1023);
    EXPECT_EQ(StepBin(-5, -1), 0) << "a value from elsewhere moves into range at its first step";
    EXPECT_EQ(StepBin(5000, 1), 1023);
}

TEST(BandStep, ExtremeDeltasDoNotOverflow) {
    EXPECT_EQ(StepBin(0, INT32_MIN), 1023);
    EXPECT_EQ(StepBin(INT32_MIN, INT32_MAX), 0);
    EXPECT_EQ(StepBin(INT32_MAX, INT32_MIN), 1023);
    EXPECT_EQ(StepBin(INT32_MIN, INT32_MIN), 0);
}

TEST(SampleTypes, EachModeHasItsOwnListAndField) {
    const SampleTypeList freq = SampleTypesFor(ModeFrequency);
    ASSERT_EQ(freq.count, 4);
    EXPECT_STREQ(freq.names[0], "Peak");
    EXPECT_STREQ(freq.names[3], "Graph Width");
    EXPECT_EQ(freq.field, &ChannelConfig::FreqMode);

    const SampleTypeList power = SampleTypesFor(ModePower);
    ASSERT_EQ(power.count, 4);
    EXPECT_STREQ(power.names[0], "Peak Level");
    EXPECT_STREQ(power.names[3], "Peak Count");
    EXPECT_EQ(power.field, &ChannelConfig::PowerMode);
}

TEST(SampleTypes, OtherModesShowAnEmptyListThatEditsNothing) {
    for (int32_t mode : {int32_t{ModeBeatDetection}, 3, -1, INT32_MIN}) {
        const SampleTypeList none = SampleTypesFor(mode);
        EXPECT_EQ(none.count, 0) << mode;
        EXPECT_EQ(none.names, nullptr) << mode;
        EXPECT_EQ(none.field, nullptr) << mode;
    }
}

TEST(ChannelButtons, MapToChannelIndices) {
    EXPECT_EQ(ChannelIndexForButton(225), 0);
    for (int index = 1; index < kChannelCount; ++index) {
        EXPECT_EQ(ChannelIndexForButton(228 + index), index);
    }
}

TEST(ChannelButtons, NeighbouringIdsAreNotChannelButtons) {
    for (int id : {224, 226, 227, 228, 244, 245, 246, 1, 2, 210, 0, -1}) {
        EXPECT_EQ(ChannelIndexForButton(id), -1) << id;
    }
}

constexpr ScreenRect kWorkArea{0, 0, 1024, 768};

TEST(Centring, CentresOnTheReferenceTruncatingTowardZero) {
    const ScreenPoint p = CentredPosition(301, 201, {100, 100, 601, 401}, kWorkArea);
    EXPECT_EQ(p.x, 350 - 150);
    EXPECT_EQ(p.y, 250 - 100);
    // (-3 + 0) / 2 is -1, not -2.
    const ScreenPoint n = CentredPosition(0, 0, {-3, -3, 0, 0}, {-100, -100, 100, 100});
    EXPECT_EQ(n.x, -1);
    EXPECT_EQ(n.y, -1);
}

TEST(Centring, StaysInsideTheWorkArea) {
    // Owner hanging off the left and top: the dialog moves to the near edges.
    ScreenPoint p = CentredPosition(300, 200, {-400, -300, 0, 0}, kWorkArea);
    EXPECT_EQ(p.x, 0);
    EXPECT_EQ(p.y, 0);
    // Off the right and bottom: the far edges.
    p = CentredPosition(300, 200, {900, 700, 1200, 900}, kWorkArea);
    EXPECT_EQ(p.x, 1024 - 300);
    EXPECT_EQ(p.y, 768 - 200);
}

TEST(Centring, ADialogWiderThanTheWorkAreaKeepsItsNearEdgeVisible) {
    // Pushed to the right edge first would put its left edge off screen; the
    // near edge wins because it is tested first.
    const ScreenPoint p = CentredPosition(2000, 1000, kWorkArea, {10, 20, 1034, 788});
    EXPECT_EQ(p.x, 10);
    EXPECT_EQ(p.y, 20);
}

TEST(Centring, HugeCoordinatesDoNotOverflow) {
    const ScreenPoint p =
        CentredPosition(100, 100, {INT32_MAX - 10, INT32_MAX - 10, INT32_MAX, INT32_MAX},
                        {0, 0, INT32_MAX, INT32_MAX});
    EXPECT_EQ(p.x, INT32_MAX - 100);
    EXPECT_EQ(p.y, INT32_MAX - 100);
}

} // namespace
