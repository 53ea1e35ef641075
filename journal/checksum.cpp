// The journal's checksums: CRC-32 for format 1, XXH3-64 for format 2, each from a library; and
// XXH3-128 for a game's course.
#include "journal/checksum.h"

#include <cstring>

#if defined(__EMSCRIPTEN__)
// The page's build has xxHash from its header alone, and no libdeflate.
#define XXH_INLINE_ALL
#include <xxhash.h>
#else
#include <libdeflate.h>
#include <xxhash.h>
#if defined(__x86_64__) || defined(__i386__)
// XXH3 at the widest vector unit the processor has.
#include <xxh_x86dispatch.h>
#endif
#endif

namespace {

#if defined(__EMSCRIPTEN__)
// CRC-32 eight bytes a step, as zlib's crc32 and libdeflate's compute it.
struct CrcTables {
    uint32_t t[8][256];
    CrcTables() {
        for (uint32_t n = 0; n < 256; ++n) {
            uint32_t c = n;
            for (int k = 0; k < 8; ++k) c = c & 1 ? 0xEDB88320u ^ (c >> 1) : c >> 1;
            t[0][n] = c;
        }
        for (uint32_t n = 0; n < 256; ++n) {
            for (int k = 1; k < 8; ++k) t[k][n] = (t[k - 1][n] >> 8) ^ t[0][t[k - 1][n] & 0xFF];
        }
    }
};

const CrcTables Crc;

uint32_t Crc32(const uint8_t* bytes, size_t size) {
    uint32_t c = 0xFFFFFFFFu;
    for (; size >= 8; bytes += 8, size -= 8) {
        uint32_t a = c ^ (bytes[0] | bytes[1] << 8 | bytes[2] << 16 | static_cast<uint32_t>(bytes[3]) << 24);
        c = Crc.t[7][a & 0xFF] ^ Crc.t[6][(a >> 8) & 0xFF] ^ Crc.t[5][(a >> 16) & 0xFF] ^
            Crc.t[4][a >> 24] ^ Crc.t[3][bytes[4]] ^ Crc.t[2][bytes[5]] ^ Crc.t[1][bytes[6]] ^
            Crc.t[0][bytes[7]];
    }
    for (; size > 0; ++bytes, --size) c = Crc.t[0][(c ^ *bytes) & 0xFF] ^ (c >> 8);
    return c ^ 0xFFFFFFFFu;
}
#else
uint32_t Crc32(const uint8_t* bytes, size_t size) { return libdeflate_crc32(0, bytes, size); }
#endif

}  // namespace

uint32_t JournalChecksum(int version, const uint8_t* bytes, size_t size) {
    if (version == 1) return Crc32(bytes, size);
    return static_cast<uint32_t>(XXH3_64bits(bytes, size));
}

void Digest128(const uint8_t* bytes, size_t size, uint8_t digest[16]) {
    XXH128_canonical_t canonical;
    XXH128_canonicalFromHash(&canonical, XXH3_128bits(bytes, size));
    std::memcpy(digest, canonical.digest, sizeof canonical.digest);
}
