// Large pictures drawn by code from scene descriptions: one drawing command a line.
#include <algorithm>
#include <cstdlib>
#include <map>

#include "tools/content/graphics.h"

namespace art {

namespace {

// What a command needs, as shown in the error for a wrong number of words.
struct CommandForm {
    const char* name;
    const char* usage;
    size_t minWords;
    size_t maxWords;
};

const CommandForm CommandForms[] = {
    {"colour", "colour NAME #RRGGBB", 3, 3},
    {"fill", "fill X Y W H COLOUR", 6, 6},
    {"gradient", "gradient X Y W H TOP BOTTOM", 7, 7},
    {"rect", "rect X Y W H COLOUR", 6, 6},
    {"panel", "panel X Y W H FILL LIGHT DARK", 8, 8},
    {"ellipse", "ellipse CX CY RX RY COLOUR", 6, 6},
    {"speckle", "speckle X Y W H SEED PER-THOUSAND COLOUR", 8, 8},
    {"tufts", "tufts X Y W H SEED COUNT TIP BASE", 9, 9},
    {"shade", "shade X Y W H COLOUR ALPHA", 7, 7},
    {"line", "line X1 Y1 X2 Y2 COLOUR", 6, 6},
    {"stamp", "stamp NAME X Y", 4, 4},
    {"scatter", "scatter X Y W H SEED COUNT NAME...", 8, 64},
    {"text", "text X|centre Y CELL-W CELL-H \"TEXT\"", 6, 6},
    {"small", "small X|centre Y COLOUR \"TEXT\"", 5, 5},
    {"bold", "bold X|centre Y COLOUR \"TEXT\"", 5, 5},
};

struct SceneState {
    const TextFile* file = nullptr;
    int line = 0;
    Picture picture;
    std::map<std::string, uint32_t> colours;
    const ArtLibrary* library = nullptr;
    const Fonts* fonts = nullptr;
};

// Repeatable pseudo-random numbers, so the same seed always scatters the same way.
struct Random {
    uint32_t state;
    uint32_t Next() {
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        return state;
    }
    int Below(int limit) {
        return limit > 0 ? static_cast<int>(Next() % static_cast<uint32_t>(limit)) : 0;
    }
};

Random Seeded(int seed) {
    return Random{static_cast<uint32_t>(seed) * 2654435761u + 0x9E3779B9u};
}

// A whole number, or an error naming the scene's line.
int Number(SceneState& s, const std::string& word) {
    return ParseNumber(*s.file, s.line, word);
}

// A colour by name (defined earlier with 'colour') or written out as #RRGGBB.
uint32_t Colour(SceneState& s, const std::string& word) {
    if (!word.empty() && word[0] == '#') return ParseColour(*s.file, s.line, word);
    auto found = s.colours.find(word);
    if (found == s.colours.end()) Fail(s.file->path, s.line, "no colour named '" + word + "'");
    return found->second;
}

// A pixel art picture by name.
const Picture& Stamp(SceneState& s, const std::string& name) {
    auto found = s.library->find(name);
    if (found == s.library->end()) Fail(s.file->path, s.line, "no pixel art named '" + name + "'");
    return found->second;
}

// Fills a rectangle; parts outside the picture are dropped.
void FillRect(Picture& p, int x, int y, int w, int h, uint32_t colour) {
    for (int row = y; row < y + h; ++row)
        for (int column = x; column < x + w; ++column) SetPixel(p, column, row, colour);
}

// Top colour to bottom colour, one shade a row.
void DrawGradient(Picture& p, int x, int y, int w, int h, uint32_t top, uint32_t bottom) {
    for (int row = 0; row < h; ++row)
        FillRect(p, x, y + row, w, 1, MixColour(top, bottom, row, std::max(1, h - 1)));
}

// A one-pixel frame.
void DrawOutline(Picture& p, int x, int y, int w, int h, uint32_t colour) {
    FillRect(p, x, y, w, 1, colour);
    FillRect(p, x, y + h - 1, w, 1, colour);
    FillRect(p, x, y, 1, h, colour);
    FillRect(p, x + w - 1, y, 1, h, colour);
}

// A raised panel: filled, lit along the top and left, shaded along the bottom and right.
void DrawPanel(Picture& p, int x, int y, int w, int h, uint32_t fill, uint32_t light,
               uint32_t dark) {
    FillRect(p, x, y, w, h, fill);
    FillRect(p, x, y, w, 1, light);
    FillRect(p, x, y, 1, h, light);
    FillRect(p, x, y + h - 1, w, 1, dark);
    FillRect(p, x + w - 1, y, 1, h, dark);
}

// A filled ellipse around (cx, cy).
void DrawEllipse(Picture& p, int cx, int cy, int rx, int ry, uint32_t colour) {
    if (rx < 1 || ry < 1) return;
    for (int dy = -ry; dy <= ry; ++dy)
        for (int dx = -rx; dx <= rx; ++dx)
            if (static_cast<long>(dx) * dx * ry * ry + static_cast<long>(dy) * dy * rx * rx <=
                static_cast<long>(rx) * rx * ry * ry)
                SetPixel(p, cx + dx, cy + dy, colour);
}

// A one-pixel line from end to end.
void DrawLine(Picture& p, int x0, int y0, int x1, int y1, uint32_t colour) {
    int dx = std::abs(x1 - x0), dy = -std::abs(y1 - y0);
    int sx = x0 < x1 ? 1 : -1, sy = y0 < y1 ? 1 : -1, error = dx + dy;
    while (true) {
        SetPixel(p, x0, y0, colour);
        if (x0 == x1 && y0 == y1) break;
        int twice = 2 * error;
        if (twice >= dy) {
            error += dy;
            x0 += sx;
        }
        if (twice <= dx) {
            error += dx;
            y0 += sy;
        }
    }
}

// Grass tufts: a dark base pixel with two to three blades that lighten towards the tip.
void DrawTufts(Picture& p, int x, int y, int w, int h, int seed, int count, uint32_t tip,
               uint32_t base) {
    Random random = Seeded(seed);
    for (int i = 0; i < count; ++i) {
        int tx = x + random.Below(w), ty = y + random.Below(h);
        int blades = 2 + random.Below(2);
        for (int b = 0; b < blades; ++b) {
            int lean = b - blades / 2, height = 2 + random.Below(2);
            SetPixel(p, tx + lean, ty, base);
            for (int k = 1; k <= height; ++k)
                SetPixel(p, tx + lean * (k + 1) / 2, ty - k, k == height ? tip : base);
        }
    }
}

// Scatters single pixels of a colour, about `perThousand` in every thousand.
void DrawSpeckle(Picture& p, int x, int y, int w, int h, int seed, int perThousand,
                 uint32_t colour) {
    Random random = Seeded(seed);
    for (int row = y; row < y + h; ++row)
        for (int column = x; column < x + w; ++column)
            if (random.Below(1000) < perThousand) SetPixel(p, column, row, colour);
}

// Lays a colour over a rectangle with the given strength (0 to 255).
void Shade(Picture& p, int x, int y, int w, int h, uint32_t colour, int alpha) {
    for (int row = std::max(0, y); row < std::min(p.height, y + h); ++row)
        for (int column = std::max(0, x); column < std::min(p.width, x + w); ++column) {
            uint32_t& pixel = p.pixels[static_cast<size_t>(row) * p.width + column];
            pixel = MixColour(pixel, colour, alpha, 255);
        }
}

// The left edge of a text: a column, or 'centre' across the picture.
int TextLeft(SceneState& s, const std::string& word, int textWidth) {
    return word == "centre" ? (s.picture.width - textWidth) / 2 : Number(s, word);
}

// Refuses an unknown command or a wrong number of words, showing the command's form.
void CheckForm(SceneState& s, const std::vector<std::string>& words) {
    for (const CommandForm& form : CommandForms) {
        if (words[0] != form.name) continue;
        if (words.size() < form.minWords || words.size() > form.maxWords)
            Fail(s.file->path, s.line, std::string("expected '") + form.usage + "'");
        return;
    }
    Fail(s.file->path, s.line, "unknown drawing command '" + words[0] + "'");
}

// Carries out one drawing command on the scene's picture.
void RunCommand(SceneState& s, const std::vector<std::string>& w) {
    CheckForm(s, w);
    Picture& p = s.picture;
    const std::string& c = w[0];
    auto n = [&](size_t i) { return Number(s, w[i]); };
    if (c == "colour") {
        s.colours[w[1]] = ParseColour(*s.file, s.line, w[2]);
    } else if (c == "fill") {
        FillRect(p, n(1), n(2), n(3), n(4), Colour(s, w[5]));
    } else if (c == "gradient") {
        DrawGradient(p, n(1), n(2), n(3), n(4), Colour(s, w[5]), Colour(s, w[6]));
    } else if (c == "rect") {
        DrawOutline(p, n(1), n(2), n(3), n(4), Colour(s, w[5]));
    } else if (c == "panel") {
        DrawPanel(p, n(1), n(2), n(3), n(4), Colour(s, w[5]), Colour(s, w[6]), Colour(s, w[7]));
    } else if (c == "ellipse") {
        DrawEllipse(p, n(1), n(2), n(3), n(4), Colour(s, w[5]));
    } else if (c == "speckle") {
        DrawSpeckle(p, n(1), n(2), n(3), n(4), n(5), n(6), Colour(s, w[7]));
    } else if (c == "tufts") {
        DrawTufts(p, n(1), n(2), n(3), n(4), n(5), n(6), Colour(s, w[7]), Colour(s, w[8]));
    } else if (c == "shade") {
        Shade(p, n(1), n(2), n(3), n(4), Colour(s, w[5]), n(6));
    } else if (c == "line") {
        DrawLine(p, n(1), n(2), n(3), n(4), Colour(s, w[5]));
    } else if (c == "stamp") {
        StampPicture(p, Stamp(s, w[1]), n(2), n(3));
    } else if (c == "scatter") {
        Random random = Seeded(n(5));
        int x = n(1), y = n(2), width = n(3), height = n(4), count = n(6);
        for (int i = 0; i < count; ++i) {
            const Picture& stamp = Stamp(s, w[7 + random.Below(static_cast<int>(w.size()) - 7)]);
            StampPicture(p, stamp, x + random.Below(width - stamp.width + 1),
                         y + random.Below(height - stamp.height + 1));
        }
    } else if (c == "text") {
        int cellWidth = n(3), cellHeight = n(4);
        int length = static_cast<int>(w[5].size());
        DrawLargeText(p, *s.fonts, w[5], cellWidth, cellHeight,
                      TextLeft(s, w[1], length * cellWidth), n(2));
    } else {
        int left = TextLeft(s, w[1], static_cast<int>(w[4].size()) * 8);
        DrawSmallText(p, *s.fonts, w[4], left, n(2), Colour(s, w[3]));
        if (c == "bold") DrawSmallText(p, *s.fonts, w[4], left + 1, n(2), Colour(s, w[3]));
    }
}

// Draws one scene file: its 'scene NAME W H' line, then its commands in order.
void DrawScene(const std::string& path, SceneState& s, ArtLibrary& scenes) {
    TextFile file = ReadTextFile(path);
    s.file = &file;
    std::string name;
    for (s.line = 1; s.line <= static_cast<int>(file.lines.size()); ++s.line) {
        if (IsBlankOrComment(file.lines[s.line - 1])) continue;
        std::vector<std::string> words = SplitWords(file, s.line);
        if (name.empty()) {
            if (words.size() != 4 || words[0] != "scene")
                Fail(path, s.line, "a scene starts with 'scene NAME WIDTH HEIGHT'");
            name = words[1];
            int width = Number(s, words[2]), height = Number(s, words[3]);
            if (width < 1 || height < 1 || width > 1024 || height > 1024)
                Fail(path, s.line, "scene size must be 1 to 1024 each way");
            if (scenes.count(name) || s.library->count(name))
                Fail(path, s.line, "'" + name + "' is drawn twice");
            s.picture = MakePicture(width, height, 0);
            s.picture.origin = path + ":" + std::to_string(s.line);
            continue;
        }
        RunCommand(s, words);
    }
    if (name.empty()) Fail(path, 0, "empty scene");
    scenes[name] = s.picture;
}

}  // namespace

void DrawScenes(const std::string& folder, const ArtLibrary& library, const Fonts& fonts,
                ArtLibrary& scenes) {
    for (const std::string& path : ListTextFiles(folder)) {
        SceneState state;
        state.library = &library;
        state.fonts = &fonts;
        DrawScene(path, state, scenes);
    }
}

}  // namespace art
