// Minimal PNG writer (8-bit RGB, stored deflate blocks) for contact sheets and test frames.
#pragma once

#include <cstdint>

// pixels: width x height values of 0x00RRGGBB, top row first. False when the file can't be written.
bool WritePng(const char* path, const uint32_t* pixels, int width, int height);
