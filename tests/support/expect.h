#pragma once
// The shared doubles' checks as GoogleTest expectations.

#include "recording_canvas.h"
#include "records.h"

#include <gtest/gtest.h>

#include <string>

// A recording canvas whose broken rules, and whatever it still holds when it
// goes, fail the test.
class CheckedCanvas final : public RecordingCanvas {
public:
    ~CheckedCanvas() {
        for (const std::string& fault : Faults()) {
            ADD_FAILURE() << "canvas: " << fault;
        }
    }
};

inline void ExpectSameRecord(const ChannelConfig& actual, const ChannelConfig& expected,
                             const std::string& where = "") {
    const std::string differences = RecordDifferences(actual, expected);
    EXPECT_TRUE(differences.empty()) << where << (where.empty() ? "" : ": ") << differences;
}
