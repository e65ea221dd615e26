// Keep-alive timing and the speed of Close, with a tolerance wide enough for
// a loaded machine. Message times come from the controller's clock.

#include "link/win32/controller_link.h"
#include "link_test_support.h"

#include <algorithm>
#include <cmath>
#include <numeric>

namespace {

using Kind = VctlMessage::Kind;

constexpr double kPeriodMs = 500;
constexpr double kToleranceMs = 80;

void ReportGaps(const char* what, const std::vector<double>& gaps) {
    const auto [lo, hi] = std::minmax_element(gaps.begin(), gaps.end());
    const double mean = std::accumulate(gaps.begin(), gaps.end(), 0.0) / gaps.size();
    double worst = 0;
    for (double g : gaps) {
        worst = std::max(worst, std::fabs(g - kPeriodMs));
    }
    LINK_REPORT("%s: %zu gaps, min %.1f max %.1f mean %.1f ms, worst jitter %.1f ms", what,
                gaps.size(), *lo, *hi, mean, worst);
}

void ExpectKeepAlivePeriod(const std::vector<double>& gaps) {
    for (double gap : gaps) {
        EXPECT_NEAR(gap, kPeriodMs, kToleranceMs);
    }
}

TEST_F(LinkTest, KeepAlivesAre500msApartWhileIdle) {
    ControllerLink link;
    const size_t mark = log_.Mark();
    ASSERT_TRUE(link.Open(port_.c_str(), 1));
    ASSERT_TRUE(log_.WaitForCount(mark, Kind::KeepAlive, 7, 6000));
    const VctlMessages got = log_.Since(mark);
    ASSERT_EQ(CountOf(got, Kind::KeepAlive), got.size()) << "only keep-alives while idle";
    const std::vector<double> gaps = Gaps(got);
    ExpectKeepAlivePeriod(gaps);
    ReportGaps("idle keep-alives", gaps);
}

TEST_F(LinkTest, ACommandPushesTheNextKeepAliveTo500msAfterIt) {
    ControllerLink link;
    ASSERT_TRUE(link.Open(port_.c_str(), 1));
    std::vector<double> delays;
    for (int round = 0; round < 3; ++round) {
        size_t mark = log_.Mark();
        ASSERT_TRUE(log_.WaitForCount(mark, Kind::KeepAlive, 1, 2000));
        const double keepAlive = OfKind(log_.Since(mark), Kind::KeepAlive).back().timeMs;
        ::Sleep(200 + 50 * round);
        mark = log_.Mark();
        link.SetLevel(round, 100);
        ASSERT_TRUE(log_.WaitForCount(mark, Kind::KeepAlive, 1, 2000));
        const VctlMessages got = log_.Since(mark);
        ASSERT_EQ(got.size(), 2u);
        ASSERT_EQ(got[0].kind, Kind::Level);
        const double command = got[0].timeMs;
        delays.push_back(got[1].timeMs - command);
        // Not where the undisturbed period would have put it.
        EXPECT_GT(got[1].timeMs - keepAlive, kPeriodMs + 100);
    }
    ExpectKeepAlivePeriod(delays);
    ReportGaps("command to next keep-alive", delays);
}

TEST_F(LinkTest, WithoutATimerTheThreadStillPacesItselfAt500ms) {
    ControllerLink link(ControllerLink::Pacing::StopEventTimeout);
    const size_t mark = log_.Mark();
    ASSERT_TRUE(link.Open(port_.c_str(), 1));
    ASSERT_TRUE(log_.WaitForCount(mark, Kind::KeepAlive, 5, 5000));
    const std::vector<double> gaps = Gaps(log_.Since(mark));
    ExpectKeepAlivePeriod(gaps);
    ReportGaps("keep-alives paced without a timer", gaps);
}

TEST_F(LinkTest, CloseReturnsWithinMilliseconds) {
    std::vector<double> took;
    for (int i = 0; i < 10; ++i) {
        ControllerLink link;
        ASSERT_TRUE(link.Open(port_.c_str(), 1));
        ::Sleep(30 + 37 * i); // anywhere in the thread's wait
        const double start = NowMs();
        link.Close();
        took.push_back(NowMs() - start);
    }
    // Closed links stopped at once; a closed link that is never opened too.
    {
        ControllerLink never;
        ::Sleep(120);
        const double start = NowMs();
        never.Close();
        took.push_back(NowMs() - start);
    }
    for (double ms : took) {
        EXPECT_LT(ms, 100);
    }
    const auto [lo, hi] = std::minmax_element(took.begin(), took.end());
    LINK_REPORT("Close: %zu calls, min %.2f max %.2f ms", took.size(), *lo, *hi);
}

} // namespace
