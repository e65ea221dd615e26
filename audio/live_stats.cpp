#include "live_stats.h"

#include <algorithm>
#include <cmath>

int TimingHistogram::BucketOf(uint64_t us) {
    if (us < static_cast<uint64_t>(kLinear)) {
        return static_cast<int>(us);
    }
    // us has `bits` significant bits; its top 8 pick the bucket in its octave.
    int bits = 0;
    for (uint64_t v = us; v != 0; v >>= 1) {
        ++bits;
    }
    const int shift = bits - 8;
    if (shift > kOctaves) {
        return kBuckets - 1;
    }
    return kLinear + (shift - 1) * kPerOctave + static_cast<int>((us >> shift) - kPerOctave);
}

double TimingHistogram::MiddleOf(int bucket) {
    if (bucket < kLinear) {
        return bucket / 1000.0;
    }
    const int shift = (bucket - kLinear) / kPerOctave + 1;
    const uint64_t low = static_cast<uint64_t>((bucket - kLinear) % kPerOctave + kPerOctave)
                         << shift;
    return (low + (uint64_t{1} << shift) / 2.0) / 1000.0;
}

void TimingHistogram::Add(double ms) {
    const double us = std::max(0.0, ms * 1000.0);
    const uint64_t whole = us >= 1e18 ? uint64_t{1} << 62 : static_cast<uint64_t>(std::llround(us));
    ++counts_[BucketOf(whole)];
    ++count_;
    max_ = std::max(max_, ms);
}

double TimingHistogram::ValueAt(long rank) const {
    long seen = 0;
    for (int b = 0; b < kBuckets; ++b) {
        seen += counts_[b];
        if (seen > rank) {
            // The middle of a bucket can lie above the largest value in it.
            return std::min(MiddleOf(b), max_);
        }
    }
    return max_;
}

Spread TimingHistogram::Summary() const {
    Spread s;
    if (count_ == 0) {
        return s;
    }
    s.median = ValueAt(count_ / 2);
    s.p99 = ValueAt(std::min(count_ - 1, count_ * 99 / 100));
    s.max = max_;
    return s;
}

void RecentLatency::Add(int64_t at, double ms) {
    ring_[next_] = {at, ms};
    next_ = (next_ + 1) % kCapacity;
    size_ = std::min(size_ + 1, kCapacity);
}

bool RecentLatency::MedianOfLastSecond(int64_t now, double& median) {
    size_t n = 0;
    for (size_t i = 0; i < size_; ++i) {
        const Entry& e = ring_[i];
        if (e.at > now - 10000000 && e.at <= now) {
            scratch_[n++] = e.ms;
        }
    }
    if (n == 0) {
        return false;
    }
    std::nth_element(scratch_, scratch_ + n / 2, scratch_ + n);
    median = scratch_[n / 2];
    return true;
}
