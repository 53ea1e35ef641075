// The checksums a journal takes of frames and of the high score file, by its format version.
#pragma once

#include <cstddef>
#include <cstdint>

// Version 1: CRC-32 (the polynomial of zip and PNG). Version 2: the low 32 bits of XXH3-64
// (seed 0), many times quicker.
uint32_t JournalChecksum(int version, const uint8_t* bytes, size_t size);
