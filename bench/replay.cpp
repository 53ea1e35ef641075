// Verifying a golden game: the program run as `marrowdale --replay FILE --verify`, the whole
// recorded game replayed without a window and every frame's checksum compared; in passes a
// second beside the 77 a second of live play, and beside a 153600-byte memcpy measured in
// the same run.
#include <benchmark/benchmark.h>

#include "bench/baseline.h"

#include <spawn.h>
#include <sys/wait.h>

#include <string>

#include "handheld/standin.h"
#include "journal/journal.h"

extern char** environ;

namespace {

const std::string Program = MARROWDALE_BUILD_DIR "/marrowdale";
const std::string Golden = MARROWDALE_SOURCE_DIR "/tests/golden/highscore.mdj";
constexpr double LivePassesPerSecond = 1000.0 / 13;
constexpr double TenMinutesOfPasses = 600 * LivePassesPerSecond;

bool Verify() {
    const char* argv[] = {Program.c_str(), "--replay", Golden.c_str(), "--verify", nullptr};
    pid_t child = 0;
    if (posix_spawn(&child, argv[0], nullptr, nullptr, const_cast<char**>(argv), environ) != 0) {
        return false;
    }
    int status = 0;
    return waitpid(child, &status, 0) == child && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

void VerifyGoldenGame(benchmark::State& state) {
    JournalHeader header{};
    if (!LoadJournal(Golden.c_str(), &header)) {
        state.SkipWithError("no golden game");
        return;
    }
    for (auto _ : state) {
        if (!Verify()) {
            state.SkipWithError("the golden game did not verify");
            return;
        }
    }
    double passes = static_cast<double>(header.passes) * static_cast<double>(state.iterations());
    state.counters["passes/s"] = benchmark::Counter(passes, benchmark::Counter::kIsRate);
    state.counters["s per 10 min"] = benchmark::Counter(
        passes / TenMinutesOfPasses, benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

}  // namespace

BENCHMARK(FullFrameMemcpy);
BENCHMARK(VerifyGoldenGame)->Unit(benchmark::kSecond)->Iterations(3)->UseRealTime();
BENCHMARK_MAIN();
