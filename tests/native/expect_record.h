#pragma once
// Field-by-field comparison of two channel records, so a failure names the
// field that differs.

#include "analysis/channel_config.h"

#include <gtest/gtest.h>

#include <string>

inline void ExpectSameRecord(const ChannelConfig& actual, const ChannelConfig& expected,
                             const std::string& where = "") {
    SCOPED_TRACE(where);
    EXPECT_EQ(actual.Enabled, expected.Enabled);
    EXPECT_EQ(actual.ZeroPending, expected.ZeroPending);
    EXPECT_EQ(actual.Address, expected.Address);
    EXPECT_EQ(actual.Mode, expected.Mode);
    EXPECT_EQ(actual.FreqMode, expected.FreqMode);
    EXPECT_EQ(actual.AudioChannel, expected.AudioChannel);
    EXPECT_EQ(actual.FreqStart, expected.FreqStart);
    EXPECT_EQ(actual.FreqEnd, expected.FreqEnd);
    EXPECT_EQ(actual.FreqWidth, expected.FreqWidth);
    EXPECT_EQ(actual.PowerMode, expected.PowerMode);
    for (int h = 0; h < kHistoryLength; ++h) {
        EXPECT_EQ(actual.History[h], expected.History[h]) << "History[" << h << "]";
    }
}
