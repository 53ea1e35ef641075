// Presentation cost per display layout, of the same frame again and of a frame in which one
// pixel changed, beside a plain full-frame copy measured in the same run.
#include <benchmark/benchmark.h>

#include "bench/baseline.h"

#include <cstring>
#include <vector>

#include "gfx/gfx.h"
#include "handheld/gx.h"
#include "handheld/standin.h"
#include "hosts/headless/headless.h"

namespace {

const DisplayLayout Layouts[] = {
    {16, 2, 480}, {16, 2, 512}, {16, 4, 960}, {16, -640, 2}, {4, 1, 160}, {2, 1, 60},
};

BENCHMARK(FullFrameMemcpy);

// range(0): the layout; range(1): 1 when a pixel changes before each present.
void Present(benchmark::State& state) {
    DisplayLayout layout = Layouts[state.range(0)];
    bool changing = state.range(1) != 0;
    HeadlessOptions options;
    options.display = layout;
    StartHeadlessHost(options);
    GXOpenDisplay(nullptr, GX_FULLSCREEN);
    DisplayFormat = {layout.depth, layout.xStep, layout.yStep};
    AllocateBackBuffer();
    for (int i = 0; i < ScreenWidth * ScreenHeight; ++i) BackBuffer[i] = static_cast<uint16_t>(i * 31);
    for (auto _ : state) {
        if (changing) BackBuffer[ScreenWidth * ScreenHeight / 2] ^= 0xFFFF;
        PresentBackBuffer();
        benchmark::ClobberMemory();
    }
    state.SetLabel(std::to_string(layout.depth) + ":" + std::to_string(layout.xStep) + ":" +
                   std::to_string(layout.yStep));
    ReleaseBackBuffer();
    StopHeadlessHost();
}
BENCHMARK(Present)->ArgsProduct({benchmark::CreateDenseRange(0, 5, 1), {0, 1}});

}  // namespace

BENCHMARK_MAIN();
