// Fuzz target: archive lookups over any index and data file, decoding what they find as TGA.
// Input: two bytes (little-endian) giving the index's length, the index, then the data file.
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "assets/assets.h"
#include "gfx/gfx.h"
#include "platform/standin.h"
#include "tests/fuzz/fuzz_folder.h"

namespace {

struct Probe {
    const char* name;
    int32_t width;
    int32_t height;
    uint8_t paletted;
};

// Names a damaged archive may or may not hold, at sizes of both layouts.
constexpr Probe Probes[] = {
    {"a", 5, 3, 1},        {"b", 3, 4, 0},         {"exit.tga", 16, 16, 1},
    {"s0.tga", 32, 32, 0}, {"spider1.tga", 36, 24, 1}, {"", 1, 1, 1},
};

std::string Folder;
std::u16string IndexPath;
std::u16string DataPath;

// Decodes twice: a missing entry must leave the image untouched, and a found one must decode
// the same both times, however short it is.
void CheckDecode(const char* name, int32_t width, int32_t height, uint8_t paletted) {
    size_t pixels = static_cast<size_t>(width) * height;
    std::vector<uint16_t> first(pixels, 0xABCD), second(pixels, 0x5432);
    int found = LoadTgaImage(name, width, height, first.data(), paletted);
    int again = LoadTgaImage(name, width, height, second.data(), paletted);
    if (found != again) __builtin_trap();
    if (!found) {
        for (size_t i = 0; i < pixels; ++i) {
            if (first[i] != 0xABCD || second[i] != 0x5432) __builtin_trap();
        }
        return;
    }
    if (first != second) __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    StartHeadlessHost(HeadlessOptions{});
    Folder = MakeFuzzFolder();
    IndexPath = WideAscii(Folder + "marrowdale.idx");
    DataPath = WideAscii(Folder + "marrowdale.dat");
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size) {
    if (size < 2) return 0;
    size_t indexLength = static_cast<size_t>(bytes[0] | bytes[1] << 8);
    if (indexLength > size - 2) indexLength = size - 2;
    WriteWhole(Folder + "marrowdale.idx", bytes + 2, indexLength);
    WriteWhole(Folder + "marrowdale.dat", bytes + 2 + indexLength, size - 2 - indexLength);

    OpenArchive(IndexPath.c_str(), DataPath.c_str());
    for (const Probe& probe : Probes) {
        CheckDecode(probe.name, probe.width, probe.height, probe.paletted);
    }
    // The first record's own name, so lookups that succeed are common.
    if (indexLength >= ArchiveNameBytes && std::memchr(bytes + 2, 0, ArchiveNameBytes)) {
        const char* name = reinterpret_cast<const char*>(bytes + 2);
        CheckDecode(name, 7, 5, 1);
        CheckDecode(name, 4, 6, 0);
        HANDLE entry = FindArchiveEntry(name);
        if (entry != INVALID_HANDLE_VALUE) {
            static uint8_t font[SmallFontBytes];
            ReadArchiveEntry(entry, font, sizeof font, name);
        }
    }
    CloseArchive();
    return 0;
}
