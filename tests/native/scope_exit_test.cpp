#include "common/scope_exit.h"

#include <gtest/gtest.h>

#include <utility>

namespace {

int Cleanups(bool releaseIt, bool leaveEarly) {
    int cleanups = 0;
    {
        auto guard = ScopeExit([&] { ++cleanups; });
        if (leaveEarly) {
            return cleanups; // read before the guard runs: 0
        }
        if (releaseIt) {
            guard.release();
        }
    }
    return cleanups;
}

TEST(ScopeExit, RunsOnceWhenTheScopeEndsUnlessReleased) {
    EXPECT_EQ(Cleanups(false, false), 1);
    EXPECT_EQ(Cleanups(true, false), 0);
    EXPECT_EQ(Cleanups(false, true), 0) << "a return value is taken before the cleanup";
}

TEST(ScopeExit, AMovedGuardCleansUpOnceFromWhereItEndedUp) {
    int cleanups = 0;
    {
        auto first = ScopeExit([&] { ++cleanups; });
        {
            auto second = std::move(first);
            EXPECT_EQ(cleanups, 0);
        }
        EXPECT_EQ(cleanups, 1) << "the guard it was moved to ran";
    }
    EXPECT_EQ(cleanups, 1) << "the moved-from guard didn't run again";
}

} // namespace
