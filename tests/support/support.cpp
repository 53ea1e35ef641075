// Shared test helpers: private game folders, frame checksums and PNG dumps of frames.
#include "tests/support/support.h"

#include <cstdlib>
#include <filesystem>
#include <vector>

#include "gfx/gfx.h"
#include "lib/png.h"

namespace fs = std::filesystem;

std::string MakeGameFolder() {
    std::string pattern = (fs::temp_directory_path() / "marrowdale-test-XXXXXX").string();
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    if (!mkdtemp(name.data())) return {};
    fs::path folder(name.data());
    fs::create_directory_symlink(fs::path(MARROWDALE_BUILD_DIR) / "Graph", folder / "Graph");
    fs::create_directory_symlink(fs::path(MARROWDALE_BUILD_DIR) / "Sound", folder / "Sound");
    return folder.string() + "/";
}

std::string FolderModulePath(const std::string& folder) { return folder + "marrowdale"; }

void RemoveGameFolder(const std::string& folder) {
    std::error_code ignored;
    fs::remove_all(folder, ignored);
}

uint64_t FrameChecksum(const uint16_t* pixels, int count) {
    uint64_t hash = 1469598103934665603ull;
    const auto* bytes = reinterpret_cast<const uint8_t*>(pixels);
    for (int i = 0; i < count * 2; ++i) {
        hash ^= bytes[i];
        hash *= 1099511628211ull;
    }
    return hash;
}

uint64_t BackBufferChecksum() { return FrameChecksum(BackBuffer, ScreenWidth * ScreenHeight); }

std::string DumpBackBufferPng(const std::string& name) {
    fs::path dir = fs::path(MARROWDALE_BUILD_DIR) / "test-frames";
    fs::create_directories(dir);
    std::vector<uint32_t> rgb(ScreenWidth * ScreenHeight);
    for (int i = 0; i < ScreenWidth * ScreenHeight; ++i) {
        uint16_t p = BackBuffer[i];
        uint32_t r = (p >> 11) * 255 / 31, g = ((p >> 5) & 63) * 255 / 63, b = (p & 31) * 255 / 31;
        rgb[i] = (r << 16) | (g << 8) | b;
    }
    std::string path = (dir / (name + ".png")).string();
    WritePng(path.c_str(), rgb.data(), ScreenWidth, ScreenHeight);
    return path;
}
