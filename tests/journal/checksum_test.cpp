// The journal's checksums: each format version takes the published checksum of its algorithm.
#include <gtest/gtest.h>

#include <string_view>

#include "journal/checksum.h"

namespace {

// CRC-32's check value is that of "123456789"; XXH3-64 of no bytes (seed 0) is
// 2D06800538D394C2, of which formats 2 and 3 keep the low half.
TEST(JournalChecksum, EachVersionTakesItsAlgorithmsPublishedValue) {
    struct Case {
        int version;
        std::string_view bytes;
        uint32_t sum;
    };
    constexpr Case cases[] = {
        {1, "", 0x00000000}, {1, "123456789", 0xCBF43926}, {2, "", 0x38D394C2}, {3, "", 0x38D394C2}};
    for (const Case& c : cases) {
        EXPECT_EQ(JournalChecksum(c.version, reinterpret_cast<const uint8_t*>(c.bytes.data()),
                                  c.bytes.size()),
                  c.sum)
            << "version " << c.version << " of '" << c.bytes << "'";
    }
}

}  // namespace
