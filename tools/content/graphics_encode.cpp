// File encoders: colour-mapped TGA (with a deterministic 256-colour reduction) and 4-bit BMP.
#include <algorithm>
#include <map>

#include "tools/common/tga.h"
#include "tools/content/graphics.h"

namespace art {

namespace {

int Channel(uint32_t colour, int which) {
    return (colour >> (16 - 8 * which)) & 0xFF;
}

struct Weighted {
    uint32_t colour;
    uint32_t count;
};

// A box of the median cut: a range of the weighted colour list.
struct Box {
    size_t first, last;  // [first, last)
};

// The channel (0 red, 1 green, 2 blue) with the largest range in the box, and that range.
int WidestChannel(const std::vector<Weighted>& colours, const Box& box, int& spread) {
    int best = 0;
    spread = -1;
    for (int channel = 0; channel < 3; ++channel) {
        int low = 255, high = 0;
        for (size_t i = box.first; i < box.last; ++i) {
            low = std::min(low, Channel(colours[i].colour, channel));
            high = std::max(high, Channel(colours[i].colour, channel));
        }
        if (high - low > spread) {
            spread = high - low;
            best = channel;
        }
    }
    return best;
}

// Splits the box with the widest channel at its weighted median, until `wanted` boxes.
std::vector<Box> MedianCut(std::vector<Weighted>& colours, size_t wanted) {
    std::vector<Box> boxes{{0, colours.size()}};
    while (boxes.size() < wanted) {
        size_t chosen = boxes.size();
        int chosenSpread = 0, chosenChannel = 0;
        for (size_t b = 0; b < boxes.size(); ++b) {
            if (boxes[b].last - boxes[b].first < 2) continue;
            int spread = 0;
            int channel = WidestChannel(colours, boxes[b], spread);
            if (chosen == boxes.size() || spread > chosenSpread) {
                chosen = b;
                chosenSpread = spread;
                chosenChannel = channel;
            }
        }
        if (chosen == boxes.size()) break;
        Box box = boxes[chosen];
        std::sort(colours.begin() + box.first, colours.begin() + box.last,
                  [&](const Weighted& a, const Weighted& b) {
                      int ca = Channel(a.colour, chosenChannel),
                          cb = Channel(b.colour, chosenChannel);
                      return ca != cb ? ca < cb : a.colour < b.colour;
                  });
        uint64_t total = 0, running = 0;
        for (size_t i = box.first; i < box.last; ++i) total += colours[i].count;
        size_t split = box.first + 1;
        for (size_t i = box.first; i + 1 < box.last; ++i) {
            running += colours[i].count;
            split = i + 1;
            if (running * 2 >= total) break;
        }
        boxes[chosen] = {box.first, split};
        boxes.push_back({split, box.last});
    }
    return boxes;
}

// The box's colour: the mean of its colours weighted by how many pixels have them.
uint32_t MeanColour(const std::vector<Weighted>& colours, const Box& box) {
    uint64_t sum[3] = {0, 0, 0}, total = 0;
    for (size_t i = box.first; i < box.last; ++i) {
        for (int channel = 0; channel < 3; ++channel)
            sum[channel] +=
                static_cast<uint64_t>(Channel(colours[i].colour, channel)) * colours[i].count;
        total += colours[i].count;
    }
    uint32_t mean = 0;
    for (int channel = 0; channel < 3; ++channel)
        mean |= static_cast<uint32_t>((sum[channel] + total / 2) / total) << (16 - 8 * channel);
    return mean;
}

// Squared distance between two colours.
int Distance(uint32_t a, uint32_t b) {
    int d = 0;
    for (int channel = 0; channel < 3; ++channel) {
        int step = Channel(a, channel) - Channel(b, channel);
        d += step * step;
    }
    return d;
}

// At most `limit` palette colours for the picture; the two keys always stay exact.
std::vector<uint32_t> ChoosePalette(const Picture& picture, size_t limit) {
    std::map<uint32_t, uint32_t> counts;
    for (uint32_t colour : picture.pixels) ++counts[colour];
    std::vector<uint32_t> palette;
    if (counts.size() <= limit) {
        for (const auto& [colour, count] : counts) palette.push_back(colour);
        return palette;
    }
    std::vector<Weighted> others;
    for (const auto& [colour, count] : counts) {
        if (colour == ImageKey || colour == FontKey)
            palette.push_back(colour);
        else
            others.push_back({colour, count});
    }
    for (const Box& box : MedianCut(others, limit - palette.size()))
        palette.push_back(MeanColour(others, box));
    return palette;
}

// Palette index of each pixel: exact where possible, else the nearest colour that isn't a key.
std::vector<uint8_t> MapPixels(const Picture& picture, const std::vector<uint32_t>& palette) {
    std::map<uint32_t, uint8_t> chosen;
    std::vector<uint8_t> indices;
    indices.reserve(picture.pixels.size());
    for (uint32_t colour : picture.pixels) {
        auto found = chosen.find(colour);
        if (found == chosen.end()) {
            size_t best = 0;
            int bestDistance = -1;
            for (size_t i = 0; i < palette.size(); ++i) {
                bool key = palette[i] == ImageKey || palette[i] == FontKey;
                if (key && palette[i] != colour) continue;
                int d = Distance(colour, palette[i]);
                if (bestDistance < 0 || d < bestDistance) {
                    bestDistance = d;
                    best = i;
                }
            }
            found = chosen.emplace(colour, static_cast<uint8_t>(best)).first;
        }
        indices.push_back(found->second);
    }
    return indices;
}

// Little-endian writers for the file headers.
void Put16(std::vector<uint8_t>& out, uint32_t value) {
    out.push_back(static_cast<uint8_t>(value));
    out.push_back(static_cast<uint8_t>(value >> 8));
}

void Put32(std::vector<uint8_t>& out, uint32_t value) {
    Put16(out, value & 0xFFFF);
    Put16(out, value >> 16);
}

}  // namespace

std::vector<uint8_t> EncodeTga(const Picture& picture) {
    std::vector<uint32_t> palette = ChoosePalette(picture, 256);
    return WriteGameTga(picture.width, picture.height, palette, MapPixels(picture, palette));
}

std::vector<uint8_t> EncodeIconBmp(const Picture& picture) {
    std::vector<uint32_t> palette = ChoosePalette(picture, 17);
    if (palette.size() > 16) return {};
    std::vector<uint8_t> indices = MapPixels(picture, palette);
    const uint32_t stride = (static_cast<uint32_t>(picture.width) * 4 + 31) / 32 * 4;
    const uint32_t pixelBytes = stride * static_cast<uint32_t>(picture.height);
    const uint32_t pixelOffset = 14 + 40 + 16 * 4;
    std::vector<uint8_t> out{'B', 'M'};
    Put32(out, pixelOffset + pixelBytes);
    Put32(out, 0);
    Put32(out, pixelOffset);
    Put32(out, 40);  // BITMAPINFOHEADER
    Put32(out, static_cast<uint32_t>(picture.width));
    Put32(out, static_cast<uint32_t>(picture.height));  // positive: rows bottom-up
    Put16(out, 1);                                      // planes
    Put16(out, 4);                                      // bits per pixel
    Put32(out, 0);                                      // uncompressed
    Put32(out, pixelBytes);
    Put32(out, 2835);  // 72 dots per inch
    Put32(out, 2835);
    Put32(out, 16);  // colours used
    Put32(out, 0);
    for (size_t i = 0; i < 16; ++i) {
        uint32_t colour = i < palette.size() ? palette[i] : 0;
        Put32(out, colour & 0xFFFFFF);  // blue, green, red, zero
    }
    for (int row = picture.height - 1; row >= 0; --row) {
        std::vector<uint8_t> line(stride, 0);
        for (int x = 0; x < picture.width; ++x) {
            uint8_t index = indices[static_cast<size_t>(row) * picture.width + x];
            line[x / 2] |= static_cast<uint8_t>(x % 2 ? index : index << 4);
        }
        out.insert(out.end(), line.begin(), line.end());
    }
    return out;
}

}  // namespace art
