// The pixel loops' second build for processors with 256-bit vectors, chosen as the program loads.
#pragma once

// Only where the toolchain and the loader pick a build by the processor (GCC or Clang on x86-64
// Linux); everywhere else, the browser's wasm among them, the one portable build.
#if defined(__x86_64__) && defined(__linux__) && defined(__has_attribute)
#if __has_attribute(target_clones)
#define WIDE_VECTORS __attribute__((target_clones("avx2", "default")))
#endif
#endif
#ifndef WIDE_VECTORS
#define WIDE_VECTORS
#endif
