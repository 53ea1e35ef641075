// The yardstick every benchmark reports beside its own figures: one full-frame block copy.
#pragma once

#include <benchmark/benchmark.h>

#include <cstring>
#include <vector>

#include "gfx/gfx.h"

inline void FullFrameMemcpy(benchmark::State& state) {
    std::vector<uint8_t> from(BackBufferBytes, 0x5A), to(BackBufferBytes);
    for (auto _ : state) {
        std::memcpy(to.data(), from.data(), BackBufferBytes);
        benchmark::DoNotOptimize(to.data());
        benchmark::ClobberMemory();
    }
}
