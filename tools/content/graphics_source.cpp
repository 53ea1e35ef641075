// Reading the graphics text sources: lines, words, colours, numbers and errors with a place.
#include <algorithm>
#include <charconv>
#include <filesystem>
#include <fstream>

#include "tools/content/graphics.h"

namespace art {

// A picture of one colour.
Picture MakePicture(int width, int height, uint32_t colour) {
    Picture picture;
    picture.width = width;
    picture.height = height;
    picture.pixels.assign(static_cast<size_t>(width) * height, colour);
    return picture;
}

uint32_t MixColour(uint32_t from, uint32_t to, int amount, int scale) {
    uint32_t result = 0;
    for (int shift = 0; shift <= 16; shift += 8) {
        int a = (from >> shift) & 0xFF, b = (to >> shift) & 0xFF;
        result |= static_cast<uint32_t>(a + (b - a) * amount / scale) << shift;
    }
    return result;
}

// The pixel at (x, y), which must lie inside.
uint32_t PixelAt(const Picture& picture, int x, int y) {
    return picture.pixels[static_cast<size_t>(y) * picture.width + x];
}

void SetPixel(Picture& picture, int x, int y, uint32_t colour) {
    if (x < 0 || y < 0 || x >= picture.width || y >= picture.height) return;
    picture.pixels[static_cast<size_t>(y) * picture.width + x] = colour;
}

void StampPicture(Picture& target, const Picture& source, int x, int y) {
    for (int row = 0; row < source.height; ++row)
        for (int column = 0; column < source.width; ++column) {
            uint32_t colour = PixelAt(source, column, row);
            if (colour != ImageKey) SetPixel(target, x + column, y + row, colour);
        }
}

void Fail(const std::string& path, int line, const std::string& message) {
    std::string where = line > 0 ? path + ":" + std::to_string(line) : path;
    throw ContentError{where + ": " + message};
}

TextFile ReadTextFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) Fail(path, 0, "cannot open");
    TextFile file;
    file.path = path;
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        file.lines.push_back(line);
    }
    return file;
}

std::vector<std::string> ListTextFiles(const std::string& folder) {
    std::error_code ec;
    std::vector<std::string> paths;
    for (const auto& entry : std::filesystem::directory_iterator(folder, ec))
        if (entry.is_regular_file() && entry.path().extension() == ".txt")
            paths.push_back(entry.path().string());
    if (ec) Fail(folder, 0, "cannot read folder: " + ec.message());
    std::sort(paths.begin(), paths.end());
    return paths;
}

bool IsBlankOrComment(const std::string& line) {
    size_t first = line.find_first_not_of(" \t");
    return first == std::string::npos || line[first] == '#';
}

int BlockEnd(const TextFile& file, int header) {
    int end = header + 1;
    while (end <= static_cast<int>(file.lines.size()) &&
           file.lines[end - 1].find_first_not_of(" \t") != std::string::npos)
        ++end;
    return end;
}

void ForEachBlock(const TextFile& file,
                  const std::function<void(const std::vector<std::string>&, int, int)>& visit) {
    int line = 1;
    while (line <= static_cast<int>(file.lines.size())) {
        if (IsBlankOrComment(file.lines[line - 1])) {
            ++line;
            continue;
        }
        int end = BlockEnd(file, line);
        visit(SplitWords(file, line), line, end);
        line = end;
    }
}

std::vector<std::string> SplitWords(const TextFile& file, int line) {
    const std::string& text = file.lines[line - 1];
    std::vector<std::string> words;
    size_t at = 0;
    while (true) {
        at = text.find_first_not_of(" \t", at);
        if (at == std::string::npos) break;
        if (text[at] == '"') {
            size_t close = text.find('"', at + 1);
            if (close == std::string::npos) Fail(file.path, line, "unclosed quote");
            words.push_back(text.substr(at + 1, close - at - 1));
            at = close + 1;
        } else {
            size_t end = text.find_first_of(" \t", at);
            words.push_back(text.substr(at, end == std::string::npos ? end : end - at));
            at = end;
        }
    }
    return words;
}

uint32_t ParseColour(const TextFile& file, int line, const std::string& word) {
    uint32_t value = 0;
    bool ok = word.size() == 7 && word[0] == '#';
    if (ok) {
        auto result = std::from_chars(word.data() + 1, word.data() + 7, value, 16);
        ok = result.ec == std::errc() && result.ptr == word.data() + 7;
    }
    if (!ok) Fail(file.path, line, "'" + word + "' is not a colour like #RRGGBB");
    return value;
}

int ParseNumber(const TextFile& file, int line, const std::string& word) {
    int value = 0;
    auto result = std::from_chars(word.data(), word.data() + word.size(), value);
    if (result.ec != std::errc() || result.ptr != word.data() + word.size())
        Fail(file.path, line, "'" + word + "' is not a whole number");
    return value;
}

}  // namespace art
