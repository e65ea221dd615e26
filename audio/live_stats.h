#pragma once
// A live show's statistics in fixed memory, however long the show runs: its
// timings as a histogram, and the latencies of the last second for a status
// line.

#include <cstddef>
#include <cstdint>

// Median, 99th percentile and maximum of a set of timings.
struct Spread {
    double median = 0;
    double p99 = 0;
    double max = 0;
};

// Timings in milliseconds, counted in buckets. Up to 0.256 ms a bucket is
// 1 us wide; above, 1/128 of its value, so the median and the 99th
// percentile come out within 0.4 % (and 0.5 us) of the exact ones. The
// maximum is exact. Values from 0 to about 12 days; more counts as that.
class TimingHistogram {
public:
    void Add(double ms);
    long Count() const { return count_; }
    // The element at index count / 2 and count * 99 / 100 of the sorted
    // timings, and the largest; zeros when there are none.
    Spread Summary() const;

private:
    static constexpr int kLinear = 256;    // 1-us buckets below 256 us
    static constexpr int kPerOctave = 128; // above: buckets per doubling
    static constexpr int kOctaves = 32;
    static constexpr int kBuckets = kLinear + kOctaves * kPerOctave;

    static int BucketOf(uint64_t us);
    static double MiddleOf(int bucket); // ms
    double ValueAt(long rank) const;

    uint32_t counts_[kBuckets] = {};
    long count_ = 0;
    double max_ = 0;
};

// The latencies of the frames of the last second, for a status line. Keeps
// the newest kCapacity; more frames a second than that count as fewer.
class RecentLatency {
public:
    static constexpr size_t kCapacity = 1024;

    // `at` is when the frame was shown (100-ns units of one clock).
    void Add(int64_t at, double ms);
    // The median of those shown in the second before `now`; false when none was.
    bool MedianOfLastSecond(int64_t now, double& median);

private:
    struct Entry {
        int64_t at;
        double ms;
    };
    Entry ring_[kCapacity] = {};
    double scratch_[kCapacity] = {};
    size_t next_ = 0;
    size_t size_ = 0;
};
