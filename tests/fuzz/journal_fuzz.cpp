// Fuzz target: any bytes given as a journal are read whole, accepted or refused with a reason,
// never read beyond their end.
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "journal/journal.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size) {
    // A copy of exactly size bytes, so the sanitizer sees any read past the end.
    std::vector<uint8_t> copy(bytes, bytes + size);
    const char* problem = nullptr;
    bool read = ParseJournal(copy.data(), copy.size(), &problem);
    if (read == (problem != nullptr)) __builtin_trap();
    return 0;
}
