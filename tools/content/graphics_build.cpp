// The graphics half of the content builder: the archive, window and desktop icons, contact sheet.
#include <algorithm>
#include <cstdio>
#include <filesystem>

#include "tools/common/archive.h"
#include "lib/png.h"
#include "tools/common/tga.h"
#include "tools/content/content.h"
#include "tools/content/graphics.h"

namespace {

using art::Picture;

// The window icons: written as BMP files beside the archive.
const GamePicture Icons[] = {{"icon32.bmp", 32, 32}, {"icon16.bmp", 16, 16}};

// The desktop's icon sizes, and the 192 and 512 a web app's manifest names: a window icon's
// pixels blown up by a whole factor, so every size shows the same drawing, sharp. Written as
// Icons/SIZE.png, pure green see-through.
struct DesktopIcon {
    int size;
    const GamePicture& source;
    int factor;
};
const DesktopIcon DesktopIcons[] = {
    {16, Icons[1], 1}, {32, Icons[0], 1},  {48, Icons[1], 3},
    {64, Icons[0], 2}, {128, Icons[0], 4}, {256, Icons[0], 8},
    {192, Icons[0], 6}, {512, Icons[0], 16},
};

// Everything drawn from content/graphics: pixel art and scenes in one library, and the fonts.
struct Graphics {
    art::ArtLibrary pictures;
    art::Fonts fonts;
};

// Reads every graphics source: pixel art, then the fonts, then the scenes drawn with both.
Graphics LoadGraphics(const std::string& contentDir) {
    std::string root = contentDir + "/graphics";
    Graphics graphics;
    art::LoadPixelArt(root + "/art", graphics.pictures);
    graphics.fonts = art::LoadFonts(root + "/font");
    art::ArtLibrary scenes;
    art::DrawScenes(root + "/scenes", graphics.pictures, graphics.fonts, scenes);
    graphics.pictures.insert(scenes.begin(), scenes.end());
    return graphics;
}

// The picture of that name at the size the game reads, or a content error.
const Picture& Require(const Graphics& graphics, const GamePicture& image,
                       const std::string& contentDir) {
    auto found = graphics.pictures.find(image.name);
    if (found == graphics.pictures.end())
        art::Fail(contentDir + "/graphics", 0, std::string("nothing draws '") + image.name + "'");
    const Picture& picture = found->second;
    if (picture.width != image.width || picture.height != image.height)
        throw art::ContentError{picture.origin + ": '" + image.name + "' is " +
                                std::to_string(picture.width) + " x " +
                                std::to_string(picture.height) + ", the game reads " +
                                std::to_string(image.width) + " x " + std::to_string(image.height)};
    return picture;
}

// Writes one output file; false after printing why.
bool WriteOutput(const std::string& path, const std::vector<uint8_t>& bytes) {
    std::string error;
    if (WriteWholeFile(path, bytes, error)) return true;
    std::fprintf(stderr, "marrowdale-content: %s\n", error.c_str());
    return false;
}

// The picture factor times larger, as opaque or see-through 0xAARRGGBB pixels.
std::vector<uint32_t> BlownUpIcon(const Picture& picture, int factor) {
    int size = picture.width * factor;
    std::vector<uint32_t> pixels(static_cast<size_t>(size) * size);
    for (int y = 0; y < size; ++y) {
        for (int x = 0; x < size; ++x) {
            uint32_t colour = art::PixelAt(picture, x / factor, y / factor);
            uint32_t argb = colour == art::ImageKey ? 0 : colour | 0xFF000000;
            pixels[static_cast<size_t>(y) * size + x] = argb;
        }
    }
    return pixels;
}

// Writes Icons/SIZE.png for every desktop size; false after printing why.
bool WriteDesktopIcons(const Graphics& graphics, const std::string& contentDir,
                       const std::string& folder) {
    for (const DesktopIcon& icon : DesktopIcons) {
        const Picture& picture = Require(graphics, icon.source, contentDir);
        std::string path = folder + "/" + std::to_string(icon.size) + ".png";
        std::vector<uint32_t> pixels = BlownUpIcon(picture, icon.factor);
        if (!WritePng(path.c_str(), pixels.data(), icon.size, icon.size, PngPixels::Argb)) {
            std::fprintf(stderr, "marrowdale-content: %s: cannot write\n", path.c_str());
            return false;
        }
    }
    return true;
}

// ---- Contact sheet ----

constexpr int SheetWidth = 1264;
constexpr int Margin = 8;
constexpr int LabelHeight = 18;
constexpr uint32_t SheetBackground = 0x202428;
constexpr uint32_t LabelColour = 0xE0E0E0;

// Pictures laid left to right with a label over each, wrapping at the sheet's width.
struct SheetLayout {
    struct Item {
        std::string label;
        Picture picture;
        int x, y;
    };
    std::vector<Item> items;
    int x = Margin, y = Margin, rowHeight = 0;
};

// The picture enlarged by a whole factor, for the contact sheet.
Picture Scaled(const Picture& source, int scale) {
    Picture out = art::MakePicture(source.width * scale, source.height * scale, 0);
    for (int y = 0; y < out.height; ++y)
        for (int x = 0; x < out.width; ++x)
            out.pixels[static_cast<size_t>(y) * out.width + x] =
                art::PixelAt(source, x / scale, y / scale);
    return out;
}

// Shows the sprite key as a grey checkerboard so the outline can be judged.
Picture OnChecks(const Picture& source) {
    Picture out = source;
    for (int y = 0; y < out.height; ++y)
        for (int x = 0; x < out.width; ++x)
            if (art::PixelAt(out, x, y) == art::ImageKey)
                out.pixels[static_cast<size_t>(y) * out.width + x] =
                    (x / 4 + y / 4) % 2 ? 0x8A8A8A : 0x6E6E6E;
    return out;
}

// Adds a labelled picture to the sheet, starting a new row when it doesn't fit.
void Place(SheetLayout& layout, const std::string& label, Picture picture) {
    if (layout.x + picture.width > SheetWidth - Margin && layout.x > Margin) {
        layout.y += layout.rowHeight + Margin;
        layout.x = Margin;
        layout.rowHeight = 0;
    }
    int width = std::max(picture.width, static_cast<int>(label.size()) * 8);
    layout.items.push_back({label, std::move(picture), layout.x, layout.y});
    layout.rowHeight = std::max(layout.rowHeight, LabelHeight + layout.items.back().picture.height);
    layout.x += width + Margin;
}

// Starts a new row of the sheet.
void NewRow(SheetLayout& layout) {
    layout.y += layout.rowHeight + Margin;
    layout.x = Margin;
    layout.rowHeight = 0;
}

// Draws an image as the game's DrawImage does: x in the 320-wide game space, keyed.
void DrawGameImage(Picture& screen, const Graphics& graphics, const std::string& name, int x,
                   int y) {
    art::StampPicture(screen, graphics.pictures.at(name), x * 240 / 320, y);
}

// A play frame put together as the game draws one, to judge how the pieces sit together.
Picture PlayMockUp(const Graphics& graphics) {
    Picture screen = graphics.pictures.at("main.tga");
    DrawGameImage(screen, graphics, "ssmall.tga", 96 + 8, 32 + 8);
    DrawGameImage(screen, graphics, "smedium.tga", 192 + 4, 96 + 4);
    DrawGameImage(screen, graphics, "s0.tga", 96, 160);
    DrawGameImage(screen, graphics, "s0.tga", 192, 224);
    DrawGameImage(screen, graphics, "s3.tga", 150, 288);
    DrawGameImage(screen, graphics, "dogright1.tga", 144, 160);
    DrawGameImage(screen, graphics, "spider4.tga", 40, 36);
    DrawGameImage(screen, graphics, "spider1.tga", 230, 228);
    DrawGameImage(screen, graphics, "fume1.tga", 226, 224);
    for (int i = 0; i < 9; ++i) {
        int u = 16 * i;
        DrawGameImage(screen, graphics, "plant.tga", u < 96 ? u : u - 96, u < 96 ? 288 : 304);
    }
    art::DrawLargeText(screen, graphics.fonts, "     120", 16, 20, 100, 294);
    art::StampPicture(screen, graphics.pictures.at("exit.tga"), 223, 0);
    art::StampPicture(screen, graphics.pictures.at("speaker.tga"), 0, 0);
    return screen;
}

// The menu as the game shows it: the title picture with both icons.
Picture MenuMockUp(const Graphics& graphics) {
    Picture screen = graphics.pictures.at("front.tga");
    art::StampPicture(screen, graphics.pictures.at("exit.tga"), 223, 0);
    art::StampPicture(screen, graphics.pictures.at("speaker.tga"), 0, 0);
    return screen;
}

// The score table as the game draws it over high.tga, with its fruit border.
Picture ScoreTableMockUp(const Graphics& graphics) {
    Picture screen = graphics.pictures.at("high.tga");
    for (int i = 0; i < 8; ++i) {
        char line[32];
        std::snprintf(line, sizeof line, "%7d", 2400 - 250 * i);
        art::DrawLargeText(screen, graphics.fonts, line, 10, 16, 5, 46 + 28 * i);
        art::DrawLargeText(screen, graphics.fonts, i % 2 ? "ROVER" : "BISCUIT", 10, 16, 90,
                           46 + 28 * i);
    }
    art::DrawSmallText(screen, graphics.fonts, "Tap or press a key", 48, 258, 0xF0E8C8);
    art::DrawSmallText(screen, graphics.fonts, "to go back", 80, 271, 0xF0E8C8);
    for (int k = 0; k < 8; ++k) {
        char fruit[16];
        std::snprintf(fruit, sizeof fruit, "s%d.tga", (3 * k) % 8);
        DrawGameImage(screen, graphics, fruit, 40 * k, 0);
        DrawGameImage(screen, graphics, fruit, 40 * k, 288);
        DrawGameImage(screen, graphics, fruit, 0, 32 + 32 * k);
        DrawGameImage(screen, graphics, fruit, 280, 32 + 32 * k);
    }
    return screen;
}

// The name entry as the game draws it over high.tga: headings, the name, keyboard, buttons.
Picture NameEntryMockUp(const Graphics& graphics) {
    Picture screen = graphics.pictures.at("high.tga");
    const art::Fonts& fonts = graphics.fonts;
    art::DrawLargeText(screen, fonts, "NEW HIGHSCORE!", 16, 20, 8, 5);
    art::DrawLargeText(screen, fonts, "YOUR SCORE IS", 16, 20, 15, 65);
    art::DrawLargeText(screen, fonts, "    860", 16, 20, 65, 90);
    art::DrawLargeText(screen, fonts, "ENTER YOUR NAME", 13, 18, 20, 125);
    art::DrawLargeText(screen, fonts, "BISCUIT.", 16, 20, 13, 150);
    const std::string letters = "QWERTYUIOPASDFGHJKLZXCVBNM";
    for (int i = 0; i < 26; ++i) {
        int x = i < 10 ? 20 + 20 * i : i < 19 ? 30 + 20 * (i - 10) : 50 + 20 * (i - 19);
        int y = i < 10 ? 180 : i < 19 ? 210 : 240;
        art::DrawLargeText(screen, fonts, letters.substr(i, 1), 16, 20, x, y);
    }
    art::DrawLargeText(screen, fonts, "SPACE", 13, 18, 10, 280);
    art::DrawLargeText(screen, fonts, "BACK", 13, 18, 95, 280);
    art::DrawLargeText(screen, fonts, "DONE", 13, 18, 170, 280);
    return screen;
}

// Box sizes the game draws the large font at: natural, credits, name entry, score table.
struct GlyphBox {
    int width, height;
};
constexpr GlyphBox GlyphBoxes[] = {{16, 20}, {14, 20}, {12, 20}, {13, 18}, {10, 16}};

// Every glyph of both fonts as the game draws them: the large font at each of its box sizes
// and look-alikes side by side at the smallest; the small font plain and bold (drawn twice, a
// pixel apart, as the intro and the play screen's title are).
Picture GlyphSheet(const Graphics& graphics) {
    Picture sheet = art::MakePicture(360, 376, 0x3C5A3C);
    const art::Fonts& fonts = graphics.fonts;
    int y = 4;
    for (const GlyphBox& box : GlyphBoxes)
        for (const char* line : {"ABCDEFGHIJKLMNOPQRSTUV", "WXYZ 1234567890.,'!()*"}) {
            art::DrawLargeText(sheet, fonts, line, box.width, box.height, 4, y);
            y += box.height + 4;
        }
    art::DrawLargeText(sheet, fonts, "810 B10 5S 0O 6G 2Z 1I", 10, 16, 4, y);
    y += 24;
    for (int row = 0; row < 6; ++row) {
        std::string text;
        for (int code = 32 + 16 * row; code < 48 + 16 * row && code < 127; ++code)
            text += static_cast<char>(code);
        art::DrawSmallText(sheet, fonts, text, 4, y, 0xFFFFFF);
        art::DrawSmallText(sheet, fonts, text, 180, y, 0xFFFFFF);
        art::DrawSmallText(sheet, fonts, text, 181, y, 0xFFFFFF);
        y += 18;
    }
    return sheet;
}

// Lays out the sheet: the large pictures, the mock-ups and fonts, the logo and sheet, sprites.
SheetLayout LayOutSheet(const Graphics& graphics) {
    SheetLayout layout;
    auto picture = [&](const std::string& name) -> const Picture& {
        return graphics.pictures.at(name);
    };
    for (const char* name : {"front.tga", "main.tga", "help.tga", "about.tga", "high.tga"})
        Place(layout, name, picture(name));
    NewRow(layout);
    Place(layout, "menu (front + icons)", MenuMockUp(graphics));
    Place(layout, "play (mock-up)", PlayMockUp(graphics));
    Place(layout, "score table (mock-up)", ScoreTableMockUp(graphics));
    Place(layout, "name entry (mock-up)", NameEntryMockUp(graphics));
    Place(layout, "glyphs", GlyphSheet(graphics));
    NewRow(layout);
    Place(layout, "glyphs x2", Scaled(GlyphSheet(graphics), 2));
    Place(layout, "quintlogo.tga x2", Scaled(picture("quintlogo.tga"), 2));
    Place(layout, "font.tga x2", Scaled(picture("font.tga"), 2));
    NewRow(layout);
    for (const auto& [name, image] : graphics.pictures) {
        if (image.width > 64 || name == "font.tga") continue;
        Place(layout, name.substr(0, name.find('.')),
              Scaled(OnChecks(image), image.width > 32 ? 3 : 4));
    }
    return layout;
}

}  // namespace

// Writes Graph/: the archive (36 images, font.tga, antique.fnt) and the two window icons; and
// Icons/, the desktop's icons. Called by the builder's main; nothing is written unless every
// source is good.
bool BuildGraphics(const std::string& contentDir, const std::string& outDir) {
    std::vector<ArchiveEntry> entries;
    std::vector<std::vector<uint8_t>> icons;
    Graphics graphics;
    try {
        graphics = LoadGraphics(contentDir);
        for (const GamePicture& image : GameImages)
            entries.push_back({image.name, art::EncodeTga(Require(graphics, image, contentDir))});
        entries.push_back({FontSheetPicture.name, art::EncodeTga(graphics.fonts.sheet)});
        entries.push_back({"antique.fnt", graphics.fonts.small});
        for (const GamePicture& icon : Icons) {
            const Picture& picture = Require(graphics, icon, contentDir);
            icons.push_back(art::EncodeIconBmp(picture));
            if (icons.back().empty())
                throw art::ContentError{picture.origin + ": '" + icon.name +
                                        "' has more than 16 colours"};
        }
    } catch (const art::ContentError& error) {
        std::fprintf(stderr, "%s\n", error.message.c_str());
        return false;
    }
    std::vector<uint8_t> index, data;
    std::string error;
    if (!BuildArchive(entries, index, data, error)) {
        std::fprintf(stderr, "marrowdale-content: %s\n", error.c_str());
        return false;
    }
    std::string graph = outDir + "/Graph";
    std::string desktop = outDir + "/Icons";
    for (const std::string& folder : {graph, desktop}) {
        std::error_code ec;
        std::filesystem::create_directories(folder, ec);
        if (ec) {
            std::fprintf(stderr, "marrowdale-content: %s: cannot create folder: %s\n",
                         folder.c_str(), ec.message().c_str());
            return false;
        }
    }
    return WriteOutput(graph + "/marrowdale.dat", data) &&
           WriteOutput(graph + "/marrowdale.idx", index) &&
           WriteOutput(graph + "/" + Icons[0].name, icons[0]) &&
           WriteOutput(graph + "/" + Icons[1].name, icons[1]) &&
           WriteDesktopIcons(graphics, contentDir, desktop);
}

// Writes every picture, the fonts and mock-ups of the screens into one labelled PNG.
bool WriteContactSheet(const std::string& contentDir, const std::string& pngPath) {
    try {
        Graphics graphics = LoadGraphics(contentDir);
        graphics.pictures[FontSheetPicture.name] = graphics.fonts.sheet;
        for (const GamePicture& image : GameImages) Require(graphics, image, contentDir);
        SheetLayout layout = LayOutSheet(graphics);
        int height = layout.y + layout.rowHeight + Margin;
        Picture sheet = art::MakePicture(SheetWidth, height, SheetBackground);
        for (const SheetLayout::Item& item : layout.items) {
            art::DrawSmallText(sheet, graphics.fonts, item.label, item.x, item.y, LabelColour);
            art::StampPicture(sheet, item.picture, item.x, item.y + LabelHeight);
        }
        if (!WritePng(pngPath.c_str(), sheet.pixels.data(), sheet.width, sheet.height)) {
            std::fprintf(stderr, "marrowdale-content: %s: cannot write\n", pngPath.c_str());
            return false;
        }
    } catch (const art::ContentError& error) {
        std::fprintf(stderr, "%s\n", error.message.c_str());
        return false;
    }
    return true;
}
