// The handheld's direct display and input interface, as the game calls it.
#pragma once

#include "handheld/winapi.h"

constexpr DWORD GX_FULLSCREEN = 0x01;
constexpr int GX_NORMALKEYS = 0x02;

struct GXDisplayProperties {
    DWORD cxWidth;
    DWORD cyHeight;
    LONG cbxPitch;
    LONG cbyPitch;
    LONG cBPP;
    DWORD ffFormat;
};

// Eight button codes, each followed by a screen position the game never reads: 96 bytes.
struct GXKeyList {
    int16_t vkUp;
    POINT ptUp;
    int16_t vkDown;
    POINT ptDown;
    int16_t vkLeft;
    POINT ptLeft;
    int16_t vkRight;
    POINT ptRight;
    int16_t vkA;
    POINT ptA;
    int16_t vkB;
    POINT ptB;
    int16_t vkC;
    POINT ptC;
    int16_t vkStart;
    POINT ptStart;
};
static_assert(sizeof(GXKeyList) == 96, "GXKeyList keeps the handheld's 96-byte layout");

int GXOpenDisplay(HWND window, DWORD flags);
int GXCloseDisplay();
int GXOpenInput();
int GXCloseInput();
GXKeyList GXGetDefaultKeys(int options);
GXDisplayProperties GXGetDisplayProperties();
void* GXBeginDraw();
int GXEndDraw();
