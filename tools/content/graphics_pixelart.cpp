// Pixel art sources: palette legends (a character per colour) and images drawn as rows of them.
#include <map>

#include "tools/content/graphics.h"

namespace art {

namespace {

using Legend = std::map<char, uint32_t>;

// "c #RRGGBB name": one character, its colour and an optional name for people.
void ReadLegend(const TextFile& file, int first, int end, Legend& legend) {
    for (int line = first; line < end; ++line) {
        const std::string& text = file.lines[line - 1];
        if (text.size() < 9 || text[1] != ' ' || text[0] == ' ')
            Fail(file.path, line, "expected a legend line like 'k #2B1A12 outline'");
        std::string colourWord = text.substr(2, 7);
        uint32_t colour = ParseColour(file, line, colourWord);
        if (!legend.emplace(text[0], colour).second)
            Fail(file.path, line, std::string("character '") + text[0] + "' already has a colour");
    }
}

// The rows of an image block, each character looked up in the legend.
Picture ReadImageRows(const TextFile& file, int header, int end, int width, int height,
                      const Legend& legend) {
    if (end - header - 1 != height)
        Fail(file.path, header,
             "image has " + std::to_string(end - header - 1) + " rows, expected " +
                 std::to_string(height));
    Picture picture = MakePicture(width, height, 0);
    for (int row = 0; row < height; ++row) {
        int line = header + 1 + row;
        const std::string& text = file.lines[line - 1];
        if (static_cast<int>(text.size()) != width)
            Fail(file.path, line,
                 "row is " + std::to_string(text.size()) + " characters wide, expected " +
                     std::to_string(width));
        for (int column = 0; column < width; ++column) {
            auto found = legend.find(text[column]);
            if (found == legend.end())
                Fail(file.path, line,
                     std::string("character '") + text[column] + "' is not in the palette");
            picture.pixels[static_cast<size_t>(row) * width + column] = found->second;
        }
    }
    return picture;
}

// Reads one art file: palette blocks (which add up) and image blocks drawn with them.
void LoadArtFile(const std::string& path, ArtLibrary& library) {
    TextFile file = ReadTextFile(path);
    Legend legend;
    ForEachBlock(file, [&](const std::vector<std::string>& words, int line, int end) {
        if (words[0] == "palette" && words.size() == 1) {
            ReadLegend(file, line + 1, end, legend);
        } else if (words[0] == "image" && words.size() == 4) {
            int width = ParseNumber(file, line, words[2]);
            int height = ParseNumber(file, line, words[3]);
            if (width < 1 || height < 1 || width > 1024 || height > 1024)
                Fail(file.path, line, "image size must be 1 to 1024 each way");
            if (library.count(words[1])) Fail(file.path, line, "'" + words[1] + "' is drawn twice");
            Picture& picture = library[words[1]];
            picture = ReadImageRows(file, line, end, width, height, legend);
            picture.origin = file.path + ":" + std::to_string(line);
        } else {
            Fail(file.path, line, "expected 'palette' or 'image NAME WIDTH HEIGHT'");
        }
    });
}

}  // namespace

void LoadPixelArt(const std::string& folder, ArtLibrary& library) {
    for (const std::string& path : ListTextFiles(folder)) LoadArtFile(path, library);
}

}  // namespace art
