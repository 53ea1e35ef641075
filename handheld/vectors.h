// The pixel loops' second build for processors with 256-bit vectors, chosen as the program loads.
#pragma once

// Only where GCC builds for x86-64 Linux, whose loader picks a build by the processor (Clang 14
// gives the choosers of functions private to a file one name across files, and they collide);
// everywhere else, the browser's wasm among them, the one portable build.
#if defined(__x86_64__) && defined(__linux__) && defined(__GNUC__) && !defined(__clang__)
#define WIDE_VECTORS __attribute__((target_clones("avx2", "default")))
#else
#define WIDE_VECTORS
#endif
