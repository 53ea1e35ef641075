// PNG files through libpng, with libpng's errors turned into a false result.
#include "lib/png.h"

#include <png.h>

#include <csetjmp>
#include <cstdio>
#include <vector>

namespace {

// libpng reports its errors here; the writer's own return leaves through its jump buffer.
void OnPngError(png_structp png, png_const_charp) { std::longjmp(png_jmpbuf(png), 1); }
void OnPngWarning(png_structp, png_const_charp) {}

// One file's rows as libpng takes them: RGB or RGBA bytes, top row first.
std::vector<png_byte> PackRows(const uint32_t* pixels, int width, int height, PngPixels kind) {
    int channels = kind == PngPixels::Argb ? 4 : 3;
    std::vector<png_byte> rows;
    rows.reserve(static_cast<size_t>(width) * height * channels);
    for (size_t i = 0; i < static_cast<size_t>(width) * height; ++i) {
        uint32_t p = pixels[i];
        rows.insert(rows.end(), {static_cast<png_byte>(p >> 16), static_cast<png_byte>(p >> 8),
                                 static_cast<png_byte>(p)});
        if (channels == 4) rows.push_back(static_cast<png_byte>(p >> 24));
    }
    return rows;
}

// Everything that calls into libpng, kept apart from C++ objects a long jump would skip.
bool WriteRows(FILE* file, png_bytep* rows, int width, int height, PngPixels kind) {
    png_structp png =
        png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, OnPngError, OnPngWarning);
    if (!png) return false;
    png_infop info = png_create_info_struct(png);
    if (!info || setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        return false;
    }
    png_init_io(png, file);
    png_set_IHDR(png, info, static_cast<png_uint_32>(width), static_cast<png_uint_32>(height), 8,
                 kind == PngPixels::Argb ? PNG_COLOR_TYPE_RGB_ALPHA : PNG_COLOR_TYPE_RGB,
                 PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    png_write_image(png, rows);
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    return true;
}

}  // namespace

// The content tool's sheet and icons, the tests' frame dumps: one PNG file from 32-bit pixels.
bool WritePng(const char* path, const uint32_t* pixels, int width, int height, PngPixels kind) {
    if (!path) return false;
    FILE* file = std::fopen(path, "wb");
    return file && WritePngFile(file, pixels, width, height, kind);
}

// The screenshot, into a file its caller made: written, then closed either way.
bool WritePngFile(FILE* file, const uint32_t* pixels, int width, int height, PngPixels kind) {
    bool written = false;
    if (pixels && width > 0 && height > 0) {
        std::vector<png_byte> packed = PackRows(pixels, width, height, kind);
        size_t rowBytes = packed.size() / static_cast<size_t>(height);
        std::vector<png_bytep> rows(static_cast<size_t>(height));
        for (int y = 0; y < height; ++y) rows[y] = packed.data() + rowBytes * y;
        written = WriteRows(file, rows.data(), width, height, kind);
    }
    return std::fclose(file) == 0 && written;
}
