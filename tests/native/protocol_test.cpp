#include "link/protocol.h"

#include <gtest/gtest.h>

namespace {

TEST(IntensityByte, MatchesTheIntegerFormulaForEveryLevel) {
    for (int level = 0; level <= 100; ++level) {
        EXPECT_EQ(IntensityByte(level), 1 + 21 * (100 - level) / 10) << "level " << level;
    }
}

TEST(IntensityByte, TableValuesAndClamping) {
    const std::pair<int, int> table[] = {{0, 0xD3},  {1, 0xD0},  {2, 0xCE},  {10, 0xBE},
                                         {11, 0xBB}, {25, 0x9E}, {50, 0x6A}, {75, 0x35},
                                         {90, 0x16}, {98, 0x05}, {99, 0x03}, {100, 0x01}};
    for (auto [level, byte] : table) {
        EXPECT_EQ(IntensityByte(level), byte) << "level " << level;
    }
    EXPECT_EQ(IntensityByte(150), 0x01);
    EXPECT_EQ(IntensityByte(INT32_MAX), 0x01);
    EXPECT_EQ(IntensityByte(-5), 0xD3);
    EXPECT_EQ(IntensityByte(INT32_MIN), 0xD3);
}

TEST(EncodeLevelCommand, ProducesTheSixWireBytes) {
    EXPECT_EQ(EncodeLevelCommand(2, 50, 1), (LevelCommand{0x00, 0x01, 0x03, 0x6A, 0x82, 0x00}));
    EXPECT_EQ(EncodeLevelCommand(15, 100, 255),
              (LevelCommand{0x00, 0xFF, 0x03, 0x01, 0x8F, 0x00}));
    EXPECT_EQ(EncodeLevelCommand(0, -5, 7), (LevelCommand{0x00, 0x07, 0x03, 0xD3, 0x80, 0x00}));
}

TEST(CircuitByte, KeepsOnlyTheLowSevenBitsOfTheIndex) {
    EXPECT_EQ(CircuitByte(0), 0x80);
    EXPECT_EQ(CircuitByte(15), 0x8F);
    EXPECT_EQ(CircuitByte(0x85), 0x85);
    EXPECT_EQ(CircuitByte(-1), 0xFF);
}

TEST(KeepAliveMessage, IsFixedAndIndependentOfTheDevice) {
    EXPECT_EQ(KeepAliveMessage, (KeepAlive{0x00, 0xFF, 0x81, 0x56, 0x00}));
}

} // namespace
