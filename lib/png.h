// PNG files through libpng: contact sheets, test frames and the desktop icons.
#pragma once

#include <cstdint>
#include <cstdio>

// What a pixel's top byte means: nothing (0x00RRGGBB, written as RGB) or its opacity
// (0xAARRGGBB, written as RGBA).
enum class PngPixels { Rgb, Argb };

// pixels: width x height values, top row first. False when the file can't be written.
bool WritePng(const char* path, const uint32_t* pixels, int width, int height,
              PngPixels kind = PngPixels::Rgb);
// The same into an open file, which is closed either way.
bool WritePngFile(FILE* file, const uint32_t* pixels, int width, int height,
                  PngPixels kind = PngPixels::Rgb);
