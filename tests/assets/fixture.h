// Shared test helpers for assets, text, content and audio: scratch folders, file bytes,
// captured stderr, index records, the high score table, a headless host in a game folder.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "assets/assets.h"
#include "game/game.h"
#include "gfx/gfx.h"
#include "handheld/standin.h"
#include "hosts/headless/headless.h"

namespace assettest {

namespace fs = std::filesystem;
using Bytes = std::vector<uint8_t>;

// A fresh empty folder under the system's temporary folder; ends in '/'.
inline std::string MakeTempFolder() {
    std::string pattern = (fs::temp_directory_path() / "marrowdale-test-XXXXXX").string();
    return mkdtemp(pattern.data()) ? pattern + "/" : std::string();
}

inline void RemoveFolder(const std::string& folder) {
    std::error_code ignored;
    fs::remove_all(folder, ignored);
}

inline void WriteBytes(const std::string& path, const Bytes& bytes) {
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

inline Bytes ReadBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), {});
}

inline bool Has(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

// What run writes on stderr, line by line.
template <typename Run>
std::vector<std::string> StderrOf(Run run) {
    testing::internal::CaptureStderr();
    run();
    std::istringstream text(testing::internal::GetCapturedStderr());
    std::vector<std::string> lines;
    for (std::string line; std::getline(text, line);) lines.push_back(line);
    return lines;
}

// One 28-byte index record: the name field zero-padded (unterminated when the name fills all
// 20 bytes), then offset and length.
inline Bytes IndexRecord(const std::string& name, uint32_t offset, uint32_t length) {
    Bytes record(name.begin(), name.end());
    record.resize(20);
    for (uint32_t value : {offset, length}) {
        for (int k = 0; k < 32; k += 8) record.push_back(uint8_t(value >> k));
    }
    return record;
}

// The test pictures that common tools wrote (tests/assets/pictures/make-pictures): one 6 x 4
// picture of 7 colours, colour 0 only in the top left corner.
inline const std::string PicturesFolder = MARROWDALE_SOURCE_DIR "/tests/assets/pictures/";
constexpr int PictureWidth = 6, PictureHeight = 4;

// The picture as the game shows it from a colour map, worked out by hand from its colours
// 0x84C600, 0x00FF00, 0xFF0000, 0xFFFFFF, 0x8400C6, 0x000000 and 0x0084FF.
inline std::vector<uint16_t> PictureAsShown() {
    constexpr uint16_t Shown[7] = {0x8620, 0x07E0, 0xF800, 0xFFFF, 0x8018, 0x0000, 0x043F};
    std::vector<uint16_t> pixels;
    for (int y = 0; y < PictureHeight; ++y) {
        for (int x = 0; x < PictureWidth; ++x)
            pixels.push_back(Shown[x + y == 0 ? 0 : 1 + (x + 2 * y) % 6]);
    }
    return pixels;
}

// The high score table's 128 bytes as they go to the file.
inline Bytes TableBytes() {
    auto* bytes = reinterpret_cast<const uint8_t*>(HighScoreTable);
    return Bytes(bytes, bytes + sizeof HighScoreTable);
}

inline bool IsDefault(const HighScoreEntry& entry) {
    return entry.score == 0 && std::memcmp(entry.name, "QUINTAVEX", 10) == 0;
}

// The headless host with the game's folders built around gameFolder, its program's home.
class GameFolderTest : public testing::Test {
protected:
    void StartIn(const std::string& gameFolder) {
        folder = gameFolder;
        module = folder + "marrowdale";
        HeadlessOptions options;
        options.modulePath = module.c_str();
        options.passMs = 0;
        StartHeadlessHost(options);
        BuildDataFolders();
    }
    void TearDown() override {
        StopHeadlessHost();
        RemoveFolder(folder);
    }
    std::string folder, module;
};

}  // namespace assettest
