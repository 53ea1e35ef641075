// Fuzz target: the archive tool's reader of other tools' TGAs, over any bytes.
// A picture it reads and can pack must read back from the game's layout pixel for pixel.
#include <cstdint>
#include <string>
#include <vector>

#include "tools/common/tga.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size) {
    std::vector<uint8_t> file(bytes, bytes + size);
    TgaPicture picture;
    std::string error;
    if (!ReadTga(file, picture, error)) return 0;
    if (picture.pixels.size() != static_cast<size_t>(picture.width) * picture.height) {
        __builtin_trap();
    }
    std::vector<uint8_t> packed;
    if (!EncodeGameTga(picture, packed, error)) return 0;
    TgaPicture again;
    if (!ReadTga(packed, again, error) || again.width != picture.width ||
        again.height != picture.height || again.pixels != picture.pixels) {
        __builtin_trap();
    }
    return 0;
}
