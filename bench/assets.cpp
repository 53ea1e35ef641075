// Benchmark of start-up loading: LoadAllAssets over the built data (38 archive entries)
// through the headless host, beside a full-frame copy measured in the same run.
#include <benchmark/benchmark.h>

#include "bench/baseline.h"
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "assets/assets.h"
#include "audio/audio.h"
#include "game/game.h"
#include "gfx/gfx.h"
#include "platform/gx.h"
#include "platform/standin.h"

namespace fs = std::filesystem;

namespace {

// A private folder beside which the game finds the built Graph/ and Sound/ (next to this
// program) and writes its high score file; ends in '/'.
std::string MakeBenchFolder() {
    fs::path built = fs::read_symlink("/proc/self/exe").parent_path();
    std::string pattern = (fs::temp_directory_path() / "marrowdale-bench-XXXXXX").string();
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    if (!mkdtemp(name.data())) return {};
    fs::path folder(name.data());
    fs::create_directory_symlink(built / "Graph", folder / "Graph");
    fs::create_directory_symlink(built / "Sound", folder / "Sound");
    return folder.string() + "/";
}

void BM_LoadAllAssets(benchmark::State& state) {
    std::string folder = MakeBenchFolder();
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
    ReleaseBackBuffer();
    GXCloseDisplay();
    StopHeadlessHost();
    std::error_code ignored;
    fs::remove_all(folder, ignored);
}
BENCHMARK(BM_LoadAllAssets)->Unit(benchmark::kMillisecond);

BENCHMARK(FullFrameMemcpy)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
