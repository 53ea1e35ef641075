// The emulated direct display: layouts, display memory, keys, and decoding into the window's frame.
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "handheld/gx.h"
#include "handheld/system.h"
#include "handheld/vectors.h"

namespace {

constexpr int FramePixels = ScreenWidth * ScreenHeight;
// Steps beyond this are no display's; it keeps the emulated memory a few megabytes at most.
constexpr int LargestStep = 8192;
// The game moves its start this far on for a display whose rows run upwards.
constexpr int UpwardRowsOffset = 640;
// The game's row interval for 16-bit displays with 2-byte pixels that are not 480-byte rows.
constexpr int PaddedRowBytes = 512;
constexpr int Grey4Bytes = ScreenWidth * 160;
constexpr int Grey2RowBytes = 60;
constexpr size_t MemoryAlignment = 16;

// Display format flags as the handheld's interface reports them (the game never reads them).
constexpr DWORD FormatDirect = 0x20;
constexpr DWORD FormatDirect565 = 0x80;
constexpr DWORD FormatLandscape = 0x08;
constexpr DWORD FormatPalette = 0x10;

struct LayoutDefault {
    int depth;
    int xStep;
    int yStep;
    DWORD format;
};

// The depths the stand-in emulates, with the steps a bare depth stands for.
constexpr LayoutDefault LayoutDefaults[] = {
    {16, 2, 480, FormatDirect | FormatDirect565},
    {8, 1, 240, FormatPalette},
    {4, 1, 160, FormatDirect | FormatLandscape},
    {2, 1, 60, FormatDirect},
};

struct DisplayRecord {
    DisplayLayout layout = DefaultDisplayLayout;
    std::vector<uint8_t> memory;
    size_t origin = 0;                 // offset of the address GXBeginDraw hands out
    std::vector<uint8_t> lastDecoded;  // memory as it stood at the last decode
    std::vector<uint32_t> frame = std::vector<uint32_t>(FramePixels);
    bool open = false;
    bool inputOpen = false;
    bool drawing = false;
    bool changed = false;
    std::optional<CursorOutline> cursorAsked;  // what the pass being drawn shows
    std::optional<CursorOutline> cursor;       // over the frame
};

DisplayRecord Display;

const LayoutDefault* DefaultFor(int depth) {
    for (const LayoutDefault& entry : LayoutDefaults) {
        if (entry.depth == depth) return &entry;
    }
    return nullptr;
}

// Widens [low, high) to cover a*x + b*y + c (plus bytes) over the whole screen.
void Cover(long long a, long long b, long long c, long long bytes, long long* low,
           long long* high) {
    long long lastX = ScreenWidth - 1;
    long long lastY = ScreenHeight - 1;
    *low = std::min(*low, c + std::min(0LL, a * lastX) + std::min(0LL, b * lastY));
    *high = std::max(*high, c + std::max(0LL, a * lastX) + std::max(0LL, b * lastY) + bytes);
}

// Reads one step of a layout: a whole number of bytes, with a leading '-' when it runs backwards.
bool ParseStep(const std::string& text, int* step) {
    bool backwards = !text.empty() && text[0] == '-';
    int bytes = 0;
    if (!ParseWholeNumber(text.c_str() + (backwards ? 1 : 0), 1, LargestStep, &bytes)) return false;
    *step = backwards ? -bytes : bytes;
    return true;
}

bool ValidStep(int step) { return step != 0 && step >= -LargestStep && step <= LargestStep; }

uint32_t Grey(int level) { return static_cast<uint32_t>(level) * 0x010101u; }

// The high half of a 16-bit product: with the field in place, one multiply widens it to eight
// bits by repeating its top bits below (k = 2^16 * 8.25 / 2^11 for five bits at 11, 2^16 * 4.0625
// / 2^5 for six bits at 5).
uint16_t ScaledHigh(uint16_t field, uint16_t k) {
    return static_cast<uint16_t>(static_cast<uint32_t>(field) * k >> 16);
}

// In 16-bit lanes, which the compiler turns into wide steps over a row.
uint32_t Rgb565ToRgb(uint16_t p) {
    uint16_t red = ScaledHigh(p & 0xF800, 264);
    uint16_t green = ScaledHigh(p & 0x07E0, 8320);
    uint16_t blue = ScaledHigh(static_cast<uint16_t>(p << 11), 264);
    return static_cast<uint32_t>(red) << 16 | static_cast<uint16_t>(green << 8 | blue);
}

// A row of packed 16-bit pixels, widened.
WIDE_VECTORS void WidenRow(const uint8_t* packed, uint32_t* out) {
    for (int x = 0; x < ScreenWidth; ++x) {
        uint16_t p;
        std::memcpy(&p, packed + 2 * x, 2);
        out[x] = Rgb565ToRgb(p);
    }
}

// Screen row y: widened where it lies (its pixels packed) or once gathered by the layout's steps.
void DecodeColourRow(const uint8_t* address, const DisplayLayout& layout, int y, uint32_t* out) {
    const uint8_t* row = address + static_cast<long long>(y) * layout.yStep;
    if (layout.xStep == 2) {
        WidenRow(row, out);
        return;
    }
    uint8_t line[ScreenWidth * 2];
    for (long long x = 0; x < ScreenWidth; ++x) {
        std::memcpy(&line[2 * x], row + x * layout.xStep, 2);
    }
    WidenRow(line, out);
}

// Line i is screen column i from the bottom row up, two pixels a byte, the lower one high.
void DecodeGrey16Row(const uint8_t* address, int y, uint32_t* out) {
    const uint8_t* bytes = address + (ScreenHeight - 1 - y) / 2;
    int shift = y & 1 ? 4 : 0;
    for (int x = 0; x < ScreenWidth; ++x) out[x] = Grey(((bytes[x * 160] >> shift) & 15) * 17);
}

// Rows yStep bytes apart, four pixels a byte, the leftmost in the top bits.
void DecodeGrey4Row(const uint8_t* address, const DisplayLayout& layout, int y, uint32_t* out) {
    const uint8_t* row = address + static_cast<long long>(y) * layout.yStep;
    for (int k = 0; k < Grey2RowBytes; ++k) {
        for (int n = 0; n < 4; ++n) out[4 * k + n] = Grey(((row[k] >> (6 - 2 * n)) & 3) * 85);
    }
}

// The byte range, relative to the handed-out address, that the game's writes for the layout
// and the decoder's reads of it touch.
void DisplaySpan(const DisplayLayout& layout, long long* low, long long* high) {
    *low = 0;
    *high = 0;
    int xs = layout.xStep;
    int ys = layout.yStep;
    switch (layout.depth) {
        case 16:
            Cover(xs, ys, 0, 2, low, high);
            if (xs == 2 && ys != ScreenWidth * 2) Cover(2, PaddedRowBytes, 0, 2, low, high);
            if (xs != 2) Cover(xs & ~1, ys & ~1, ys < 0 ? UpwardRowsOffset : 0, 2, low, high);
            break;
        case 4:
            *high = Grey4Bytes;
            break;
        case 2:
            Cover(0, ys, 0, Grey2RowBytes, low, high);
            Cover(0, Grey2RowBytes + ((ys - Grey2RowBytes) >> 2) * 4, 0, Grey2RowBytes, low, high);
            break;
        default:
            Cover(xs, ys, 0, 1, low, high);
            break;
    }
}

// One screen row of display memory by its own layout; depths the game never writes show black.
void DecodeRow(const uint8_t* address, const DisplayLayout& layout, int y, uint32_t* out) {
    if (layout.depth == 16) {
        DecodeColourRow(address, layout, y, out);
    } else if (layout.depth == 4) {
        DecodeGrey16Row(address, y, out);
    } else if (layout.depth == 2) {
        DecodeGrey4Row(address, layout, y, out);
    } else {
        std::fill(out, out + ScreenWidth, 0u);
    }
}

// The bytes screen row y is decoded from lie in [*begin, *end) of the handed-out address: a
// row's own bytes on a display whose rows are rows, the whole picture on one turned a quarter,
// none on depths that show black.
void RowSpan(const DisplayLayout& layout, int y, long long* begin, long long* end) {
    long long lastX = ScreenWidth - 1;
    long long row = static_cast<long long>(y) * layout.yStep;
    *begin = *end = 0;
    if (layout.depth == 16) {
        *begin = row + std::min(0LL, lastX * layout.xStep);
        *end = row + std::max(0LL, lastX * layout.xStep) + 2;
    } else if (layout.depth == 4) {
        *begin = (ScreenHeight - 1 - y) / 2;
        *end = *begin + lastX * 160 + 1;
    } else if (layout.depth == 2) {
        *begin = row;
        *end = row + Grey2RowBytes;
    }
}

// Whether each row's bytes lie apart from the next row's, as on a display whose rows are rows.
bool RowsApart(const DisplayLayout& layout) {
    long long begin = 0;
    long long end = 0;
    RowSpan(layout, 0, &begin, &end);
    return end - begin <= std::abs(static_cast<long long>(layout.yStep));
}

// Puts a decoded row in the window's frame in one pass; true when a pixel differs.
WIDE_VECTORS bool ShowRow(const uint32_t* __restrict row, uint32_t* __restrict shown) {
    uint32_t differ = 0;
    for (int x = 0; x < ScreenWidth; ++x) {
        differ |= row[x] ^ shown[x];
        shown[x] = row[x];
    }
    return differ != 0;
}

// Decodes display memory into the window's frame; where rows lie apart, only the rows whose
// bytes differ from those it held before, which all lie in [changedBegin, changedEnd) of the
// handed-out address. True when a pixel changed.
bool DecodeDisplay(const uint8_t* address, const uint8_t* before, const DisplayLayout& layout,
                   long long changedBegin, long long changedEnd, uint32_t* pixels) {
    bool apart = RowsApart(layout);
    bool changed = false;
    for (int y = 0; y < ScreenHeight; ++y) {
        long long begin = 0;
        long long end = 0;
        RowSpan(layout, y, &begin, &end);
        bool outside = end <= changedBegin || begin >= changedEnd;
        if (apart && (outside || std::memcmp(address + begin, before + begin,
                                             static_cast<size_t>(end - begin)) == 0)) {
            continue;
        }
        uint32_t row[ScreenWidth];
        DecodeRow(address, layout, y, row);
        changed |= ShowRow(row, pixels + y * ScreenWidth);
    }
    return changed;
}

// The memory is compared with what it held at the last decode a block at a time: fine enough to
// leave most rows of a frame that changed in a few out.
constexpr size_t CompareBlock = 2048;

// The stretch of display memory from the first to the last block that differs from what it
// held at the last decode; empty (both the size) when none does.
void ChangedStretch(size_t* begin, size_t* end) {
    const uint8_t* now = Display.memory.data();
    const uint8_t* before = Display.lastDecoded.data();
    size_t size = Display.memory.size();
    size_t first = 0;
    while (first < size &&
           std::memcmp(now + first, before + first, std::min(CompareBlock, size - first)) == 0) {
        first += CompareBlock;
    }
    *begin = std::min(first, size);
    *end = size;
    while (*end > *begin) {
        size_t block = (*end - 1) / CompareBlock * CompareBlock;
        if (std::memcmp(now + block, before + block, *end - block) != 0) break;
        *end = block;
    }
    if (*begin == *end) *begin = *end = size;
}

}  // namespace

// Host start and headless resets: fresh, cleared memory for the layout; display closed.
void ResetDisplay(const DisplayLayout& layout) {
    long long low = 0;
    long long high = 0;
    DisplaySpan(layout, &low, &high);
    size_t origin = (static_cast<size_t>(-low) + MemoryAlignment - 1) / MemoryAlignment * MemoryAlignment;
    Display.layout = layout;
    Display.origin = origin;
    Display.memory.assign(origin + static_cast<size_t>(high), 0);
    Display.lastDecoded = Display.memory;
    std::fill(Display.frame.begin(), Display.frame.end(), 0u);
    Display.open = false;
    Display.inputOpen = false;
    Display.drawing = false;
    Display.changed = false;
    Display.cursorAsked.reset();
    Display.cursor.reset();
}

// Host stop: the memory goes; GXBeginDraw hands out nothing until the next start.
void ReleaseDisplay() {
    Display.memory.clear();
    Display.memory.shrink_to_fit();
    Display.lastDecoded.clear();
    Display.lastDecoded.shrink_to_fit();
    Display.open = false;
    Display.drawing = false;
}

// A live host taking over a game whose frames went undecoded (a replay that only checked them):
// the frame decoded from the whole memory, waiting to be shown.
void DecodeWholeFrame() {
    const uint8_t* address = Display.memory.data() + Display.origin;
    for (int y = 0; y < ScreenHeight; ++y) {
        DecodeRow(address, Display.layout, y, Display.frame.data() + y * ScreenWidth);
    }
    Display.lastDecoded = Display.memory;
    Display.changed = true;
}

const uint32_t* DisplayFrame() { return Display.frame.data(); }

DisplayLayout CurrentDisplayLayout() { return Display.layout; }

bool FrameWaiting() { return Display.changed; }

bool TakeChangedFrame() {
    bool changed = Display.changed;
    Display.changed = false;
    return changed;
}

const CursorOutline* FrameCursor() { return Display.cursor ? &*Display.cursor : nullptr; }

// The screens that show the cursor, while they draw; the frame that ends their pass has it.
void ShowCursorOver(int left, int top, int right, int bottom) {
    Display.cursorAsked = CursorOutline{left, top, right, bottom};
}

bool CursorInPicture() {
    const CrossingWatch* watch = Watcher();
    return watch && watch->cursorInPicture && watch->cursorInPicture();
}

const uint8_t* DisplayMemory(size_t* size) {
    *size = Display.memory.size();
    return Display.memory.data();
}

// Reads "DEPTH" or "DEPTH:XSTEP:YSTEP" for the depths 16, 4 and 2; false (layout untouched)
// for anything else, a zero step or a step beyond any display's.
bool ParseDisplayLayout(const char* text, DisplayLayout* layout) {
    if (!text || !layout) return false;
    std::vector<std::string> fields(1);
    for (const char* p = text; *p; ++p) {
        if (*p == ':') {
            fields.emplace_back();
        } else {
            fields.back().push_back(*p);
        }
    }
    int depth = 0;
    if ((fields.size() != 1 && fields.size() != 3) ||
        !ParseWholeNumber(fields[0].c_str(), 1, 32, &depth)) {
        return false;
    }
    const LayoutDefault* defaults = DefaultFor(depth);
    // The game draws nothing on a palette display: asking for one would only show black.
    if (!defaults || defaults->format == FormatPalette) return false;
    DisplayLayout parsed{depth, defaults->xStep, defaults->yStep};
    if (fields.size() == 3 &&
        !(ParseStep(fields[1], &parsed.xStep) && ParseStep(fields[2], &parsed.yStep))) {
        return false;
    }
    *layout = parsed;
    return true;
}

bool ValidDisplayLayout(const DisplayLayout& layout) {
    return DefaultFor(layout.depth) && ValidStep(layout.xStep) && ValidStep(layout.yStep);
}

// WinMain and reactivation: the display memory may be handed out from now on.
int GXOpenDisplay(HWND, DWORD) {
    Display.open = true;
    return 1;
}

// Deactivation and shutdown: GXBeginDraw hands out nothing until the display is reopened.
int GXCloseDisplay() {
    Display.open = false;
    return 1;
}

int GXOpenInput() {
    Display.inputOpen = true;
    return 1;
}

int GXCloseInput() {
    Display.inputOpen = false;
    return 1;
}

// The keys the game's buttons stand on: the player's, by default arrows, Z (A), X (B), C and
// Enter (start).
GXKeyList GXGetDefaultKeys(int) {
    const WORD* codes = PlayerKeys().codes;
    GXKeyList keys{};
    keys.vkUp = static_cast<int16_t>(codes[0]);
    keys.vkDown = static_cast<int16_t>(codes[1]);
    keys.vkLeft = static_cast<int16_t>(codes[2]);
    keys.vkRight = static_cast<int16_t>(codes[3]);
    keys.vkA = static_cast<int16_t>(codes[4]);
    keys.vkB = static_cast<int16_t>(codes[5]);
    keys.vkC = static_cast<int16_t>(codes[6]);
    keys.vkStart = static_cast<int16_t>(codes[7]);
    if (const CrossingWatch* watch = Watcher()) watch->keys(&keys);
    return keys;
}

// A 240 x 320 display with the depth and steps chosen at start.
GXDisplayProperties GXGetDisplayProperties() {
    const LayoutDefault* defaults = DefaultFor(Display.layout.depth);
    GXDisplayProperties properties{};
    properties.cxWidth = ScreenWidth;
    properties.cyHeight = ScreenHeight;
    properties.cbxPitch = Display.layout.xStep;
    properties.cbyPitch = Display.layout.yStep;
    properties.cBPP = Display.layout.depth;
    properties.ffFormat = defaults ? defaults->format : 0;
    return properties;
}

// The address of display memory for this frame; nullptr while the display is closed.
void* GXBeginDraw() {
    if (!Display.open || Display.memory.empty()) return nullptr;
    Display.drawing = true;
    return Display.memory.data() + Display.origin;
}

// Ends a frame: decodes the rows of memory that changed and marks the frame for the window when
// the picture or the cursor over it did. 0 when no frame was begun.
int GXEndDraw() {
    std::optional<CursorOutline> cursor = Display.cursorAsked;
    Display.cursorAsked.reset();
    if (!Display.drawing) return 0;
    Display.drawing = false;
    if (cursor != Display.cursor) {
        Display.cursor = cursor;
        Display.changed = true;
    }
    size_t begin = 0;
    size_t end = 0;
    ChangedStretch(&begin, &end);
    if (begin == end) return 1;
    const CrossingWatch* watch = Watcher();
    if (watch) watch->frameDrawn(Display.memory.data(), Display.memory.size());
    // A verifying replay compares checksums only: nobody looks at the picture.
    if (!watch || !watch->verifying()) {
        long long origin = static_cast<long long>(Display.origin);
        Display.changed |= DecodeDisplay(Display.memory.data() + origin,
                                         Display.lastDecoded.data() + origin, Display.layout,
                                         static_cast<long long>(begin) - origin,
                                         static_cast<long long>(end) - origin, Display.frame.data());
    }
    std::memcpy(Display.lastDecoded.data() + begin, Display.memory.data() + begin, end - begin);
    return 1;
}
