// The output schedule on a simulated 115200-baud line: frames of 16 levels
// at 30 to 240 a second, each level's age when its command is on the wire
// (from the frame's hand-over to the command's last byte), and the levels
// merged away because a newer one came before the line took them.
//   output_bench [SECONDS]     (10 by default)

#include "native/simulated_line.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <vector>

int main(int argc, char** argv) {
    const double seconds = argc > 1 ? std::max(1.0, std::atof(argv[1])) : 10.0;
    std::printf("%-8s %10s %12s %12s %12s %14s\n", "fps", "frames", "age median", "age p99",
                "age max", "levels merged");
    for (const int fps : {30, 60, 120, 240}) {
        SimulatedLine line;
        const Micros period = 1'000'000 / fps;
        const Micros end = static_cast<Micros>(seconds * 1e6);
        int frames = 0;
        for (Micros t = 0; t < end; t += period, ++frames) {
            line.Frame(t, FullFrame(frames));
        }
        line.RunUntil(end + 1'000'000);
        std::vector<double> ages;
        for (const LineMessage& m : line.received) {
            if (!m.keepAlive) {
                ages.push_back((m.arrived - m.handedOver) / 1000.0);
            }
        }
        std::sort(ages.begin(), ages.end());
        const uint64_t merged = line.schedule.Pending().Replaced();
        std::printf("%-8d %10d %9.2f ms %9.2f ms %9.2f ms %7llu (%4.1f%%)\n", fps, frames,
                    ages[ages.size() / 2], ages[ages.size() * 99 / 100], ages.back(),
                    static_cast<unsigned long long>(merged), 100.0 * merged / (16.0 * frames));
    }
    return 0;
}
