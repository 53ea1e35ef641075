// Shared test helpers for assets, text, content and audio: scratch folders, file bytes,
// captured stderr, small archives and TGA entries.
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
#include "gfx/gfx.h"
#include "platform/standin.h"

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

// Entries laid back to back in the data file, each with its record, in the order given.
struct ArchiveFiles {
    Bytes index, data;
    void Add(const std::string& name, const Bytes& bytes) {
        Bytes record = IndexRecord(name, uint32_t(data.size()), uint32_t(bytes.size()));
        index.insert(index.end(), record.begin(), record.end());
        data.insert(data.end(), bytes.begin(), bytes.end());
    }
    void Write(const std::string& folder) const {
        WriteBytes(folder + "marrowdale.idx", index);
        WriteBytes(folder + "marrowdale.dat", data);
    }
};

// A colour-mapped entry: 18-byte header, 256 (blue, green, red) entries from 0xRRGGBB colours,
// the stored pixel bytes as given (bottom row first), two padding bytes.
inline Bytes ColourMappedTga(const std::vector<uint32_t>& colours, const Bytes& stored) {
    Bytes tga(18 + 3 * 256, 0);
    tga[2] = 1;
    for (size_t k = 0; k < colours.size(); ++k) {
        for (int c = 0; c < 3; ++c) tga[18 + 3 * k + c] = uint8_t(colours[k] >> (8 * c));
    }
    tga.insert(tga.end(), stored.begin(), stored.end());
    tga.insert(tga.end(), {0, 0});
    return tga;
}

// The data handle's current position.
inline DWORD Position(HANDLE file) { return SetFilePointer(file, 0, nullptr, FILE_CURRENT); }

// A headless host and a private folder in which each test lays out its own small archive.
class ArchiveTest : public testing::Test {
protected:
    void SetUp() override {
        StartHeadlessHost(HeadlessOptions{});
        folder = MakeTempFolder();
        ASSERT_FALSE(folder.empty());
    }
    void TearDown() override {
        CloseArchive();
        StopHeadlessHost();
        RemoveFolder(folder);
    }
    void Open(const std::string& graph) {
        std::string index = graph + "marrowdale.idx", data = graph + "marrowdale.dat";
        OpenArchive(std::u16string(index.begin(), index.end()).c_str(),
                    std::u16string(data.begin(), data.end()).c_str());
    }
    void OpenFiles(const ArchiveFiles& files) {
        files.Write(folder);
        Open(folder);
    }
    std::string folder;
};

}  // namespace assettest
