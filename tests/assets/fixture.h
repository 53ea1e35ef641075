// Test helpers for the asset readers: temporary folders, small archives and TGA entries.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "assets/assets.h"
#include "platform/standin.h"
#include "platform/winapi.h"

namespace assettest {

using Bytes = std::vector<uint8_t>;

// A fresh empty folder under the system's temporary folder; ends in '/'.
inline std::string MakeTempFolder() {
    std::string pattern =
        (std::filesystem::temp_directory_path() / "marrowdale-assets-XXXXXX").string();
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    if (!mkdtemp(name.data())) return {};
    return std::string(name.data()) + "/";
}

inline void RemoveFolder(const std::string& folder) {
    std::error_code ignored;
    std::filesystem::remove_all(folder, ignored);
}

inline void WriteBytes(const std::string& path, const Bytes& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
}

inline Bytes ReadBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// An ASCII path as the platform's wide string.
inline std::u16string Wide(const std::string& text) {
    return std::u16string(text.begin(), text.end());
}

inline void PutLe32(Bytes& bytes, uint32_t value) {
    for (int k = 0; k < 4; ++k) bytes.push_back(static_cast<uint8_t>(value >> (8 * k)));
}

// One 28-byte index record; the name field is zero-padded (or left unterminated when the
// name fills all 20 bytes); the last four bytes carry the length.
inline Bytes IndexRecord(const std::string& name, uint32_t offset, uint32_t length) {
    Bytes record(20, 0);
    for (size_t k = 0; k < name.size() && k < 20; ++k) record[k] = static_cast<uint8_t>(name[k]);
    PutLe32(record, offset);
    PutLe32(record, length);
    return record;
}

// Entries laid back to back in the data file, each with its record, in the order given.
struct ArchiveFiles {
    Bytes index;
    Bytes data;
    void Add(const std::string& name, const Bytes& bytes) {
        Bytes record = IndexRecord(name, static_cast<uint32_t>(data.size()),
                                   static_cast<uint32_t>(bytes.size()));
        index.insert(index.end(), record.begin(), record.end());
        data.insert(data.end(), bytes.begin(), bytes.end());
    }
    void Write(const std::string& folder) const {
        WriteBytes(folder + "marrowdale.idx", index);
        WriteBytes(folder + "marrowdale.dat", data);
    }
};

// A colour-mapped entry: 18-byte header, 256 (blue, green, red) entries, the stored pixel
// bytes as given (bottom row first), two padding bytes.
inline Bytes ColourMappedTga(const std::vector<uint32_t>& colours, const Bytes& stored) {
    Bytes tga(18, 0);  // the header, which the decoder skips
    tga[2] = 1;
    for (int k = 0; k < 256; ++k) {
        uint32_t rgb = k < static_cast<int>(colours.size()) ? colours[k] : 0;
        tga.push_back(static_cast<uint8_t>(rgb));
        tga.push_back(static_cast<uint8_t>(rgb >> 8));
        tga.push_back(static_cast<uint8_t>(rgb >> 16));
    }
    tga.insert(tga.end(), stored.begin(), stored.end());
    tga.push_back(0);
    tga.push_back(0);
    return tga;
}

// A true-colour entry: header, 16-bit pixels as given (bottom row first), two padding bytes.
inline Bytes TrueColourTga(const std::vector<uint16_t>& stored) {
    Bytes tga(18, 0);
    tga[2] = 2;
    for (uint16_t p : stored) {
        tga.push_back(static_cast<uint8_t>(p));
        tga.push_back(static_cast<uint8_t>(p >> 8));
    }
    tga.push_back(0);
    tga.push_back(0);
    return tga;
}

// The data handle's current position.
inline DWORD Position(HANDLE file) { return SetFilePointer(file, 0, nullptr, FILE_CURRENT); }

// The captured stderr split into its lines.
inline std::vector<std::string> StderrLines() {
    std::istringstream text(testing::internal::GetCapturedStderr());
    std::vector<std::string> lines;
    for (std::string line; std::getline(text, line);) lines.push_back(line);
    return lines;
}

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
        OpenArchive(Wide(graph + "marrowdale.idx").c_str(),
                    Wide(graph + "marrowdale.dat").c_str());
    }
    void OpenFiles(const ArchiveFiles& files) {
        files.Write(folder);
        Open(folder);
    }
    std::string folder;
};

}  // namespace assettest
