// Benchmark of start-up loading: LoadAllAssets over the built data (38 archive entries), and
// over a 100 MB random index in its place, through the headless host, beside a full-frame copy
// measured in the same run.
#include <benchmark/benchmark.h>

#include "bench/baseline.h"
#include <fcntl.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "assets/assets.h"
#include "audio/audio.h"
#include "game/game.h"
#include "gfx/gfx.h"
#include "handheld/gx.h"
#include "handheld/standin.h"
#include "hosts/headless/headless.h"

namespace fs = std::filesystem;

namespace {

// A private folder beside which the game finds the built Sound/ and Graph/ (next to this
// program) and writes its high score file; ends in '/'. With indexMegabytes, Graph/ holds the
// built data file and that many megabytes of random bytes as its index.
std::string MakeBenchFolder(int indexMegabytes) {
    fs::path built = fs::read_symlink("/proc/self/exe").parent_path();
    std::string pattern = (fs::temp_directory_path() / "marrowdale-bench-XXXXXX").string();
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    if (!mkdtemp(name.data())) return {};
    fs::path folder(name.data());
    fs::create_directory_symlink(built / "Sound", folder / "Sound");
    if (indexMegabytes == 0) {
        fs::create_directory_symlink(built / "Graph", folder / "Graph");
        return folder.string() + "/";
    }
    fs::create_directory(folder / "Graph");
    fs::create_symlink(built / "Graph" / "marrowdale.dat", folder / "Graph" / "marrowdale.dat");
    std::ofstream index(folder / "Graph" / "marrowdale.idx", std::ios::binary);
    std::mt19937_64 random(19);
    std::vector<uint64_t> block(1 << 17);
    for (int megabyte = 0; megabyte < indexMegabytes; ++megabyte) {
        for (uint64_t& word : block) word = random();
        index.write(reinterpret_cast<const char*>(block.data()), 1 << 20);
    }
    return folder.string() + "/";
}

// Argument: megabytes of random index, 0 for the built one.
void BM_LoadAllAssets(benchmark::State& state) {
    std::string folder = MakeBenchFolder(static_cast<int>(state.range(0)));
    // The damaged index's one line at every loading would drown the figures.
    int keptStderr = dup(STDERR_FILENO);
    int quiet = open("/dev/null", O_WRONLY);
    if (state.range(0) > 0) dup2(quiet, STDERR_FILENO);
    std::string module = folder + "marrowdale";
    HeadlessOptions options;
    options.modulePath = module.c_str();
    options.passMs = 0;
    StartHeadlessHost(options);
    GXOpenDisplay(nullptr, GX_FULLSCREEN);
    DisplayFormat = {DefaultDisplayLayout.depth, DefaultDisplayLayout.xStep,
                     DefaultDisplayLayout.yStep};
    AllocateBackBuffer();
    SetAudioDriver("nosound");
    BuildDataFolders();
    for (auto _ : state) {
        LoadAllAssets();
        state.PauseTiming();
        ReleaseAllAssets();
        state.ResumeTiming();
    }
    dup2(keptStderr, STDERR_FILENO);
    close(keptStderr);
    close(quiet);
    ReleaseBackBuffer();
    GXCloseDisplay();
    StopHeadlessHost();
    std::error_code ignored;
    fs::remove_all(folder, ignored);
}
BENCHMARK(BM_LoadAllAssets)->Arg(0)->Arg(100)->Unit(benchmark::kMillisecond);

BENCHMARK(FullFrameMemcpy)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
