// The content tools: the archive tool's round trip, its pictures from other tools and its
// refusals, the builder's repeatable output and bad content named by file and line.
#include <sys/wait.h>

#include "tests/assets/fixture.h"
#include "tools/common/archive.h"

using namespace assettest;

namespace {

const std::string BuiltDir = std::string(MARROWDALE_BUILD_DIR) + "/";

// A scratch folder in which to run the build folder's programs.
class Tool : public testing::Test {
protected:
    void SetUp() override { dir = MakeTempFolder(); }
    void TearDown() override { RemoveFolder(dir); }
    // Exit status (-1 if none); stdout is left in dir's tool.stdout, stderr in said.
    int Shell(const std::string& command) {
        int status = std::system(
            (command + " >" + dir + "tool.stdout 2>" + dir + "tool.stderr").c_str());
        said = Read("tool.stderr");
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    int Run(const std::string& program, const std::string& arguments) {
        return Shell(BuiltDir + program + " " + arguments);
    }
    int Archive(const std::string& arguments) { return Run("marrowdale-archive", arguments); }
    int Build(const std::string& content) {
        return Run("marrowdale-content", "--content " + content + " --out " + dir + "out");
    }
    std::string Read(const std::string& relative) {
        Bytes bytes = ReadBytes(dir + relative);
        return {bytes.begin(), bytes.end()};
    }
    std::string Files() { return dir + "x.idx " + dir + "x.dat "; }
    std::string dir, said;
};

TEST_F(Tool, PackListExtractRoundTrip) {
    fs::create_directories(dir + "in/two");
    WriteBytes(dir + "in/a.bin", {'f', 'i', 'r', 's', 't'});
    WriteBytes(dir + "in/b.fnt", {});
    WriteBytes(dir + "in/two/a.bin", {'s', 'e', 'c', 'o', 'n', 'd'});
    std::string in = " " + dir + "in/";
    ASSERT_EQ(Archive("pack " + Files() + in + "a.bin" + in + "b.fnt" + in + "two/a.bin"), 0);
    EXPECT_TRUE(Has(said, "first one is used")) << said;
    ASSERT_EQ(Archive("list " + Files()), 0);
    EXPECT_TRUE(Has(Read("tool.stdout"), "b.fnt"));
    ASSERT_EQ(Archive("extract " + Files() + dir + "all"), 0);
    EXPECT_TRUE(Read("all/a.bin") == "first" && fs::exists(dir + "all/b.fnt"));
    ASSERT_EQ(Archive("extract " + Files() + dir + "one b.fnt"), 0);
    EXPECT_TRUE(fs::exists(dir + "one/b.fnt") && !fs::exists(dir + "one/a.bin"));
    EXPECT_FALSE(CheckArchiveName("abcdefghijklmnopqrst").empty());  // no room for the zero
}

// Each refusal is one line and exit status 1, and nothing lands outside the folder asked for.
TEST_F(Tool, ExtractRefusesUnsafeNamesAndDamagedArchives) {
    const struct {
        Bytes index, data;
        const char* expected;
    } cases[] = {{IndexRecord("../escape", 0, 1), {'x'}, "escape"},
                 {IndexRecord("long.bin", 0, 10), Bytes(4, 'x'), "past the end"},
                 {Bytes(30, 0), Bytes(4, 'x'), "x.idx"}};
    for (const auto& c : cases) {
        WriteBytes(dir + "x.idx", c.index);
        WriteBytes(dir + "x.dat", c.data);
        EXPECT_EQ(Archive("extract " + Files() + dir + "out"), 1) << c.expected;
        EXPECT_TRUE(Has(said, c.expected) && std::count(said.begin(), said.end(), '\n') == 1)
            << said;
    }
    EXPECT_FALSE(fs::exists(dir + "escape"));
}

// Pictures as Pillow writes them (256 colours, an id field, a 7-entry map, RLE, top row first,
// 24 bits, 32 bits RLE) and ImageMagick (a 16-bit map, 16 bits, a map RLE), and the variants no
// common tool wrote (15- and 32-bit maps, columns right to left): packed, each decodes in the
// game as the picture, and Pillow reads each extracted file the right way up.
TEST_F(Tool, PackTurnsTgasFromCommonToolsIntoTheGamesLayout) {
    const std::string files[] = {
        "game.tga",     "id.tga",        "short.tga",      "rle.tga",   "top.tga",
        "rgb.tga",      "rgba-rle.tga",  "im-map16.tga",   "im-true16.tga",
        "im-map-rle.tga", "map15.tga",   "map32.tga",      "mirror.tga"};
    std::string packed, extracted;
    for (const std::string& file : files) {
        packed += " " + PicturesFolder + file;
        extracted += " " + dir + "out/" + file;
    }
    ASSERT_EQ(Archive("pack " + Files() + packed), 0) << said;
    EXPECT_TRUE(Has(said, "the game loads no picture named 'top.tga'")) << said;

    StartHeadlessHost(HeadlessOptions{});
    std::u16string folder(dir.begin(), dir.end());
    OpenArchive((folder + u"x.idx").c_str(), (folder + u"x.dat").c_str());
    for (const std::string& file : files) {
        std::vector<uint16_t> image(PictureWidth * PictureHeight);
        EXPECT_EQ(LoadTgaImage(file.c_str(), PictureWidth, PictureHeight, image.data(), 1), 1);
        EXPECT_EQ(image, PictureAsShown()) << file;
    }
    CloseArchive();
    StopHeadlessHost();

    ASSERT_EQ(Archive("extract " + Files() + dir + "out"), 0) << said;
    ASSERT_EQ(Shell("/usr/bin/python3 -c 'import sys; from PIL import Image\n"
                    "read = lambda f: list(Image.open(f).convert(\"RGB\").getdata())\n"
                    "print(*(f for f in sys.argv[2:] if read(f) != read(sys.argv[1])))' " +
                    PicturesFolder + "game.tga" + extracted), 0) << said;
    EXPECT_EQ(Read("tool.stdout"), "\n");  // the files Pillow reads otherwise than game.tga
}

// What pack cannot convert is one line naming the file, status 1, and no archive written.
TEST_F(Tool, PackRefusesAPictureItCannotConvertInOneLine) {
    Bytes game = ReadBytes(PicturesFolder + "game.tga");
    const struct {
        Bytes picture;
        std::string as, expected;
    } cases[] = {
        {ReadBytes(PicturesFolder + "many.tga"), "many.tga", "320 colours"},  // Pillow, 24 bits
        {ReadBytes(PicturesFolder + "grey.tga"), "grey.tga", "image type 3"},  // ImageMagick
        {game, "exit.tga", "6 x 4 pixels; the game reads 'exit.tga' at 16 x 16"},
        {Bytes(game.begin(), game.begin() + 800), "cut.tga", "cut short in its pixels"},
    };
    for (const auto& c : cases) {
        WriteBytes(dir + c.as, c.picture);
        EXPECT_EQ(Archive("pack " + Files() + dir + c.as), 1) << c.as;
        EXPECT_TRUE(Has(said, c.as + ": " + c.expected) &&
                    std::count(said.begin(), said.end(), '\n') == 1) << said;
    }
    EXPECT_FALSE(fs::exists(dir + "x.idx") || fs::exists(dir + "x.dat"));
}

TEST_F(Tool, SameContentGivesTheSameBytes) {
    ASSERT_EQ(Build(MARROWDALE_SOURCE_DIR "/content"), 0) << said;
    for (const char* name : {"Graph/marrowdale.idx", "Graph/marrowdale.dat", "Graph/icon32.bmp",
                             "Graph/icon16.bmp", "Sound/select.wav", "Sound/fire.wav",
                             "Sound/stole.wav", "Sound/pick.wav", "Sound/music0.mod"}) {
        Bytes fresh = ReadBytes(dir + "out/" + name);
        EXPECT_TRUE(!fresh.empty() && fresh == ReadBytes(BuiltDir + name)) << name;
    }
}

TEST_F(Tool, BadContentIsOneLineNamingFileAndLine) {
    const struct {
        std::string file, line, expected;  // the line is appended to the file
    } faults[] = {
        {"graphics/scenes/high.txt", "sprinkle 0 0 10 10 top", "unknown drawing command"},
        {"sound/fire.sfx", "voice hiss for 0.1", "unknown wave 'hiss'"},
    };
    for (const auto& fault : faults) {
        fs::remove_all(dir + "content");
        fs::copy(MARROWDALE_SOURCE_DIR "/content", dir + "content", fs::copy_options::recursive);
        std::string text = Read("content/" + fault.file);
        std::ofstream(dir + "content/" + fault.file, std::ios::app) << fault.line << "\n";
        EXPECT_NE(Build(dir + "content"), 0) << fault.file;
        auto line = std::to_string(std::count(text.begin(), text.end(), '\n') + 1);
        EXPECT_TRUE(Has(said, fault.file + ":" + line + ": ") && Has(said, fault.expected) &&
                    std::count(said.begin(), said.end(), '\n') == 1) << said;
    }
}

}  // namespace
