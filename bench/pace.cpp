// The loop's pace through the real SDL host: the period of each pass over a run of passes
// (a minute at the default 13 ms), reported as median and worst. Measures, never asserts.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "handheld/standin.h"
#include "hosts/live.h"

int main(int argc, char** argv) {
    int passes = argc > 1 ? std::atoi(argv[1]) : 4615;
    StandInOptions options;
    if (!StartStandIn(options)) return 1;
    std::vector<double> periods;
    periods.reserve(static_cast<size_t>(passes));
    PaceFrame();
    auto last = std::chrono::steady_clock::now();
    for (int i = 0; i < passes; ++i) {
        PaceFrame();
        auto now = std::chrono::steady_clock::now();
        periods.push_back(std::chrono::duration<double, std::milli>(now - last).count());
        last = now;
    }
    StopStandIn();
    std::vector<double> sorted = periods;
    std::sort(sorted.begin(), sorted.end());
    double total = 0;
    for (double p : periods) total += p;
    std::printf("passes %d over %.1f s: median %.3f ms, mean %.3f ms, 99th %.3f ms, worst %.3f ms\n",
                passes, total / 1000, sorted[sorted.size() / 2], total / passes,
                sorted[sorted.size() * 99 / 100], sorted.back());
    return 0;
}
