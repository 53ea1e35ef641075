// Benchmarks of the audio layer while the tune plays: UpdateAudio per call with the SDL driver
// the game asks for (it mixes in SDL's audio thread) and with the disk writer (it mixes inside
// the call), and a loop pass with and without UpdateAudio, beside a full-frame memcpy.
#include <benchmark/benchmark.h>
#include <mikmod.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "shell/shell.h"
#include "audio/audio.h"
#include "bench/baseline.h"
#include "gfx/gfx.h"
#include "handheld/gx.h"
#include "handheld/standin.h"
#include "hosts/headless/headless.h"

namespace fs = std::filesystem;

namespace {

// The built Sound folder beside this program; ends in '/'.
std::string BuiltSoundFolder() {
    return (fs::read_symlink("/proc/self/exe").parent_path() / "Sound").string() + "/";
}

void StartHost() {
    static bool started = false;
    if (started) return;
    started = true;
    HeadlessOptions options;
    options.passMs = 0;
    StartHeadlessHost(options);
    AllocateBackBuffer();
    DrawTarget = BackBuffer;
    GXOpenDisplay(nullptr, GX_FULLSCREEN);
    DisplayFormat = DisplayFormatRecord{16, 2, 480};
}

// The game's start: the library with the given driver, the unmuted volumes and music 0.
bool StartTune(benchmark::State& state, const char* driver) {
    StartHost();
    setenv("SDL_AUDIODRIVER", "dummy", 0);
    SetAudioDriver(driver);
    static std::string folder;
    folder = BuiltSoundFolder();
    InitAudio(folder.c_str());
    SetSoundVolume(UnmutedSoundVolume);
    SetMusicVolume(UnmutedMusicVolume);
    PlayMusic(0);
    if (!MusicModule) state.SkipWithError("music0.mod did not load");
    return MusicModule != nullptr;
}

void UpdateAudioWithSdlDriver(benchmark::State& state) {
    if (StartTune(state, "sdl")) {
        for (auto _ : state) UpdateAudio();
        state.SetLabel(md_driver && md_driver->Alias ? md_driver->Alias : "?");
    }
    ShutdownAudio();
}
BENCHMARK(UpdateAudioWithSdlDriver);

// Each call mixes one disk-writer buffer: 8192 frames, 0.186 s of sound at 44100 Hz, once the
// (virtual) clock has moved on by that much.
void UpdateAudioWithDiskWriter(benchmark::State& state) {
    std::string file =
        (fs::temp_directory_path() / ("marrowdale-bench-" + std::to_string(getpid()) + ".wav"))
            .string();
    if (StartTune(state, ("wav:" + file).c_str())) {
        for (auto _ : state) {
            HeadlessAdvanceClock(186);
            UpdateAudio();
        }
        state.counters["sound_s_per_call"] = 8192.0 / md_mixfreq;
    }
    ShutdownAudio();
    fs::remove(file);
}
BENCHMARK(UpdateAudioWithDiskWriter)->Iterations(1000);

// One pass of the main loop on a full-screen picture: audio update (or none), a menu-like
// frame copy and the 16-bit presentation with message pumping.
void LoopPass(benchmark::State& state) {
    StartHost();
    bool withAudio = state.range(0) != 0;
    bool playing = !withAudio || StartTune(state, "sdl");
    std::vector<uint16_t> picture(ScreenWidth * ScreenHeight, 0x39E7);
    if (playing) {
        for (auto _ : state) {
            if (withAudio) UpdateAudio();
            CopyScreenImage(picture.data());
            PresentFrame(true);
        }
    }
    state.SetLabel(withAudio ? "UpdateAudio (SDL driver) + frame" : "frame only");
    if (withAudio) ShutdownAudio();
}
BENCHMARK(LoopPass)->Arg(0)->Arg(1);

BENCHMARK(FullFrameMemcpy);

}  // namespace

BENCHMARK_MAIN();
