// The handheld C runtime's random numbers: a linear congruential generator over 32 bits.
#include "handheld/system.h"

namespace {

constexpr uint32_t Multiplier = 214013;
constexpr uint32_t Increment = 2531011;

uint32_t Seed = 1;

}  // namespace

// Actor rules: the next number, 0 to 32767 (bits 16 to 30 of the new seed).
int Crt::rand() {
    Seed = Seed * Multiplier + Increment;
    return static_cast<int>((Seed >> 16) & 0x7FFF);
}

// Asset loading, once: starts the sequence from seed.
void Crt::srand(unsigned int seed) {
    if (const CrossingWatch* watch = Watcher()) watch->seed(seed);
    Seed = seed;
}
