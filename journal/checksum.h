// The checksums a journal takes of frames and of the high score file, by its format version,
// and the digest of a replayed game's course.
#pragma once

#include <cstddef>
#include <cstdint>

// Version 1: CRC-32 (the polynomial of zip and PNG). Version 2: the low 32 bits of XXH3-64
// (seed 0), many times quicker.
uint32_t JournalChecksum(int version, const uint8_t* bytes, size_t size);

// XXH3-128 of bytes, its 16 bytes in the canonical (big-endian) order.
void Digest128(const uint8_t* bytes, size_t size, uint8_t digest[16]);
