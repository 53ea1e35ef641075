// The emulated display: layouts, where display memory lies, decoding, when the window refreshes.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "platform/gx.h"
#include "platform/host.h"
#include "platform/standin.h"

namespace {

constexpr int W = 240;
constexpr int H = 320;

TEST(DisplayLayouts, AcceptedTextsAndTheirDefaultSteps) {
    struct Case {
        const char* text;
        DisplayLayout expected;
    };
    const Case cases[] = {
        {"16", {16, 2, 480}},        {"16:2:512", {16, 2, 512}}, {"16:-640:2", {16, -640, 2}},
        {"16:640:-2", {16, 640, -2}}, {"4", {4, 1, 160}},        {"2", {2, 1, 60}},
        {"2:1:64", {2, 1, 64}},      {"8", {8, 1, 240}},
    };
    for (const Case& c : cases) {
        DisplayLayout layout{};
        ASSERT_TRUE(ParseDisplayLayout(c.text, &layout)) << c.text;
        EXPECT_EQ(layout.depth, c.expected.depth) << c.text;
        EXPECT_EQ(layout.xStep, c.expected.xStep) << c.text;
        EXPECT_EQ(layout.yStep, c.expected.yStep) << c.text;
    }
}

TEST(DisplayLayouts, RefusedTextsLeaveTheLayoutAlone) {
    const char* refused[] = {"",        "12",        "24",      "16:2",    "16:2:480:1", "16:0:480",
                             "16:2:x",  " 16",       "16 ",     "-16",     "16:2:99999", "16::480",
                             "16:+2:480", "4:1:160x", "1000000", "16:2:-"};
    for (const char* text : refused) {
        DisplayLayout layout{7, 7, 7};
        EXPECT_FALSE(ParseDisplayLayout(text, &layout)) << "'" << text << "'";
        EXPECT_EQ(layout.depth, 7) << text;
    }
    EXPECT_FALSE(ParseDisplayLayout(nullptr, nullptr));
}

class Display : public ::testing::Test {
protected:
    void Use(DisplayLayout layout) {
        this->layout = layout;
        HeadlessOptions options;
        options.display = layout;
        StartHeadlessHost(options);
        GXOpenDisplay(nullptr, GX_FULLSCREEN);
        address = static_cast<uint8_t*>(GXBeginDraw());
        ASSERT_NE(address, nullptr);
        block = HeadlessDisplayMemory(&size);
    }
    void TearDown() override { StopHeadlessHost(); }

    // Offset range [low, high) of the handed-out address that stays inside the block.
    long long Low() const { return block - address; }
    long long High() const { return static_cast<long long>(size) + Low(); }
    void ExpectInside(long long offset, int bytes) const {
        ASSERT_GE(offset, Low());
        ASSERT_LE(offset + bytes, High());
    }
    void Put16(int x, int y, uint16_t p) {
        std::memcpy(address + static_cast<long long>(y) * layout.yStep +
                        static_cast<long long>(x) * layout.xStep,
                    &p, 2);
    }
    std::vector<uint32_t> Decode() {
        GXEndDraw();
        std::vector<uint32_t> frame(W * H);
        HeadlessDecodedFrame(frame.data());
        GXBeginDraw();
        return frame;
    }
    static uint32_t At(const std::vector<uint32_t>& frame, int x, int y) { return frame[y * W + x]; }

    DisplayLayout layout{};
    uint8_t* address = nullptr;
    const uint8_t* block = nullptr;
    size_t size = 0;
};

// Every 16-bit store the game makes for a colour layout lands inside the block.
TEST_F(Display, EveryColourWriteOfTheGameStaysInside) {
    const DisplayLayout layouts[] = {{16, 2, 480}, {16, 2, 512}, {16, 2, 600}, {16, 4, 960},
                                     {16, -640, 2}, {16, 640, -2}, {16, 3, -721}};
    for (const DisplayLayout& l : layouts) {
        SCOPED_TRACE(testing::Message() << l.xStep << ":" << l.yStep);
        Use(l);
        if (l.xStep == 2 && l.yStep == 480) {
            ExpectInside(0, W * H * 2);
        } else if (l.xStep == 2) {
            ExpectInside(0, 319 * 512 + 480);
        } else {
            long long start = l.yStep < 0 ? 640 : 0;
            long long xs = l.xStep & ~1;
            long long ys = l.yStep & ~1;
            for (int y : {0, H - 1}) {
                for (int x : {0, W - 1}) ExpectInside(start + y * ys + x * xs, 2);
            }
        }
        EXPECT_EQ(reinterpret_cast<uintptr_t>(address) % 4, 0u) << "aligned for word stores";
    }
}

TEST_F(Display, EveryGreyWriteOfTheGameStaysInside) {
    Use({4, 1, 160});
    ExpectInside(0, 38400);
    for (int yStep : {60, 61, 64, 59, -60, -64}) {
        SCOPED_TRACE(yStep);
        Use({2, 1, yStep});
        long long advance = 60 + ((yStep - 60) >> 2) * 4;
        ExpectInside(0, 60);
        ExpectInside(319 * advance, 60);
    }
}

TEST_F(Display, ColourLayoutsDecodeByTheirSteps) {
    const DisplayLayout layouts[] = {{16, 2, 480}, {16, 2, 512}, {16, 4, 960}, {16, -640, 2},
                                     {16, 640, -2}};
    for (const DisplayLayout& l : layouts) {
        SCOPED_TRACE(testing::Message() << l.xStep << ":" << l.yStep);
        Use(l);
        Put16(0, 0, 0xF800);
        Put16(W - 1, 0, 0x07E0);
        Put16(0, H - 1, 0x001F);
        Put16(W - 1, H - 1, 0xFFFF);
        Put16(100, 200, 0x8410);
        auto frame = Decode();
        EXPECT_EQ(At(frame, 0, 0), 0xFF0000u);
        EXPECT_EQ(At(frame, W - 1, 0), 0x00FF00u);
        EXPECT_EQ(At(frame, 0, H - 1), 0x0000FFu);
        EXPECT_EQ(At(frame, W - 1, H - 1), 0xFFFFFFu);
        EXPECT_EQ(At(frame, 100, 200), 0x848284u);
        EXPECT_EQ(At(frame, 101, 200), 0u);
    }
}

TEST_F(Display, FourBitGreyIsTurnedAQuarter) {
    Use({4, 1, 160});
    address[0] = 0xF0;            // line 0 = column 0: the bottom pixel high, the next one low
    address[239 * 160 + 159] = 0xA5;  // line 239, last byte: the top two pixels of column 239
    address[10 * 160 + 1] = 0x08;
    auto frame = Decode();
    EXPECT_EQ(At(frame, 0, 319), 0xFFFFFFu);
    EXPECT_EQ(At(frame, 0, 318), 0u);
    EXPECT_EQ(At(frame, 239, 1), 0xAAAAAAu);
    EXPECT_EQ(At(frame, 239, 0), 0x555555u);
    EXPECT_EQ(At(frame, 10, 316), 8u * 17 * 0x010101u);
    EXPECT_EQ(At(frame, 10, 317), 0u);
}

TEST_F(Display, TwoBitGreyRowsFollowTheirStep) {
    for (int yStep : {60, 64}) {
        SCOPED_TRACE(yStep);
        Use({2, 1, yStep});
        address[0] = 0xC0;
        address[yStep + 1] = 0x1B;          // row 1, pixels 4..7: levels 0, 1, 2, 3
        address[319 * yStep + 59] = 0x03;   // bottom-right pixel
        if (yStep == 64) address[60] = 0xFF;  // the gap between rows is no pixel
        auto frame = Decode();
        EXPECT_EQ(At(frame, 0, 0), 0xFFFFFFu);
        EXPECT_EQ(At(frame, 1, 0), 0u);
        EXPECT_EQ(At(frame, 4, 1), 0u);
        EXPECT_EQ(At(frame, 5, 1), 0x555555u);
        EXPECT_EQ(At(frame, 6, 1), 0xAAAAAAu);
        EXPECT_EQ(At(frame, 7, 1), 0xFFFFFFu);
        EXPECT_EQ(At(frame, 239, 319), 0xFFFFFFu);
        EXPECT_EQ(At(frame, 238, 319), 0u);
        if (yStep == 64) {
            EXPECT_EQ(At(frame, 0, 1), 0u);
        }
    }
}

TEST_F(Display, EightBitShowsBlack) {
    Use({8, 1, 240});
    std::memset(address, 0xFF, 240);
    auto frame = Decode();
    EXPECT_EQ(At(frame, 0, 0), 0u);
}

TEST_F(Display, MemoryIsHandedOutOnlyWhileOpen) {
    StartHeadlessHost(HeadlessOptions{});
    EXPECT_EQ(GXBeginDraw(), nullptr) << "closed until GXOpenDisplay";
    EXPECT_EQ(GXEndDraw(), 0) << "no frame was begun";
    GXOpenDisplay(nullptr, GX_FULLSCREEN);
    void* first = GXBeginDraw();
    EXPECT_NE(first, nullptr);
    EXPECT_EQ(GXEndDraw(), 1);
    GXCloseDisplay();
    EXPECT_EQ(GXBeginDraw(), nullptr);
    GXOpenDisplay(nullptr, GX_FULLSCREEN);
    EXPECT_EQ(GXBeginDraw(), first) << "the same memory every frame";
    GXEndDraw();
    StopHeadlessHost();
    EXPECT_EQ(GXBeginDraw(), nullptr) << "no host, no display";
}

// The window is refreshed only when the picture changed, not for writes it never shows.
TEST_F(Display, OnlyChangedPicturesAskForARefresh) {
    Use({16, 2, 512});
    TakeChangedFrame();
    Put16(5, 5, 0x1234);
    GXEndDraw();
    EXPECT_TRUE(TakeChangedFrame());
    GXBeginDraw();
    GXEndDraw();
    EXPECT_FALSE(TakeChangedFrame()) << "the same frame again";
    GXBeginDraw();
    address[480] = 0x55;  // padding after row 0
    GXEndDraw();
    EXPECT_FALSE(TakeChangedFrame()) << "memory no pixel comes from";
}

TEST(DisplayInterface, KeysAndPropertiesDescribeTheEmulatedDevice) {
    GXKeyList keys = GXGetDefaultKeys(GX_NORMALKEYS);
    EXPECT_EQ(keys.vkUp, VK_UP);
    EXPECT_EQ(keys.vkDown, VK_DOWN);
    EXPECT_EQ(keys.vkLeft, VK_LEFT);
    EXPECT_EQ(keys.vkRight, VK_RIGHT);
    EXPECT_EQ(keys.vkA, 'Z');
    EXPECT_EQ(keys.vkB, 'X');
    EXPECT_EQ(keys.vkC, 'C');
    EXPECT_EQ(keys.vkStart, VK_RETURN);
    HeadlessOptions options;
    options.display = {16, -640, 2};
    StartHeadlessHost(options);
    GXDisplayProperties properties = GXGetDisplayProperties();
    EXPECT_EQ(properties.cxWidth, 240u);
    EXPECT_EQ(properties.cyHeight, 320u);
    EXPECT_EQ(properties.cBPP, 16);
    EXPECT_EQ(properties.cbxPitch, -640);
    EXPECT_EQ(properties.cbyPitch, 2);
    StopHeadlessHost();
}

}  // namespace
