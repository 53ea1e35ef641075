// Fuzz target: archive lookups over any index and data file, decoding what they find as TGA.
// Input: two bytes (little-endian): the index's length in the low 15 bits, and in the top bit
// whether zero bytes pad the index to the most the reader takes, or to one byte more; then the
// index, then the data file.
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "assets/assets.h"
#include "gfx/gfx.h"
#include "handheld/standin.h"
#include "hosts/headless/headless.h"
#include "tests/fuzz/fuzz_folder.h"

namespace {

struct Probe {
    const char* name;
    int32_t width;
    int32_t height;
    uint8_t paletted;
};

// Names a damaged archive may or may not hold, at sizes of both layouts; run-fuzzers starts
// off from an archive holding the test picture game.tga.
constexpr Probe Probes[] = {
    {"a", 5, 3, 1},        {"b", 3, 4, 0},             {"exit.tga", 16, 16, 1},
    {"s0.tga", 32, 32, 0}, {"spider1.tga", 36, 24, 1}, {"", 1, 1, 1},
    {"game.tga", 6, 4, 1}, {"game.tga", 6, 4, 0},
};

constexpr size_t IndexBytesMost = size_t{ArchiveRecordsMost} * ArchiveRecordBytes;

std::string Folder;
std::u16string IndexPath;
std::u16string DataPath;
std::vector<uint8_t> Index;

// Where the lookup must place the data handle: the first whole record whose name field holds
// exactly name and a zero byte; -1 for none, or for an index the reader must refuse.
int64_t ExpectedOffset(const char* name) {
    if (Index.size() > IndexBytesMost) return -1;
    size_t length = std::strlen(name);
    for (size_t at = 0; at + ArchiveRecordBytes <= Index.size(); at += ArchiveRecordBytes) {
        const uint8_t* record = Index.data() + at;
        if (length >= ArchiveNameBytes || std::memcmp(record, name, length + 1) != 0) continue;
        uint32_t offset = 0;
        for (int k = 3; k >= 0; --k) offset = offset << 8 | record[ArchiveNameBytes + k];
        return offset <= 0x7FFFFFFFu ? int64_t{offset} : -1;
    }
    return -1;
}

// The lookup against the index as written: found where the first record of the name says.
void CheckLookup(const char* name) {
    int64_t expected = ExpectedOffset(name);
    HANDLE entry = FindArchiveEntry(name);
    if ((entry != INVALID_HANDLE_VALUE) != (expected >= 0)) __builtin_trap();
    if (expected >= 0 && SetFilePointer(entry, 0, nullptr, FILE_CURRENT) != expected) {
        __builtin_trap();
    }
}

// Decodes twice: a missing entry must leave the image untouched, and a found one must decode
// the same both times, however short it is.
void CheckDecode(const char* name, int32_t width, int32_t height, uint8_t paletted) {
    CheckLookup(name);
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
    size_t indexLength = static_cast<size_t>(bytes[0] | (bytes[1] & 0x7F) << 8);
    if (indexLength > size - 2) indexLength = size - 2;
    Index.assign(bytes + 2, bytes + 2 + indexLength);
    if (bytes[1] & 0x80) Index.resize(IndexBytesMost + (bytes[0] & 1));
    WriteWhole(Folder + "marrowdale.idx", Index.data(), Index.size());
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
