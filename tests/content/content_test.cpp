// The content tools: the archive tool's round trip and refusals, the builder's repeatable
// output, bad content named by file and line, colour reduction, and sound libmikmod plays.
#include <sys/wait.h>

#include <mikmod.h>

#include <cmath>

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
    // Exit status (-1 if none); the output is in dir's tool.stdout and tool.stderr.
    int Run(const std::string& program, const std::string& arguments) {
        int status = std::system((BuiltDir + program + " " + arguments + " >" + dir +
                                  "tool.stdout 2>" + dir + "tool.stderr").c_str());
        Bytes err = ReadBytes(dir + "tool.stderr");
        said.assign(err.begin(), err.end());
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    std::string Read(const std::string& relative) {
        Bytes bytes = ReadBytes(dir + relative);
        return {bytes.begin(), bytes.end()};
    }
    std::string dir, said;
};

class ArchiveTool : public Tool {
protected:
    int Archive(const std::string& arguments) { return Run("marrowdale-archive", arguments); }
    std::string Write(const std::string& relative, const std::string& text) {
        fs::create_directories(fs::path(dir + relative).parent_path());
        WriteBytes(dir + relative, Bytes(text.begin(), text.end()));
        return " " + dir + relative;
    }
    std::string Files() { return dir + "x.idx " + dir + "x.dat "; }
};

TEST_F(ArchiveTool, PackListExtractRoundTrip) {
    ASSERT_EQ(Archive("pack " + Files() + Write("in/one/pic.tga", "first picture") +
                      Write("in/tiny.fnt", "") + Write("in/two/pic.tga", "second picture")),
              0) << said;
    EXPECT_TRUE(Has(said, "first one is used")) << said;
    ASSERT_EQ(Archive("list " + Files()), 0);
    EXPECT_TRUE(Has(Read("tool.stdout"), "tiny.fnt"));
    ASSERT_EQ(Archive("extract " + Files() + dir + "all"), 0);
    EXPECT_TRUE(Read("all/pic.tga") == "first picture" && fs::exists(dir + "all/tiny.fnt"));
    ASSERT_EQ(Archive("extract " + Files() + dir + "one tiny.fnt"), 0);
    EXPECT_TRUE(fs::exists(dir + "one/tiny.fnt") && !fs::exists(dir + "one/pic.tga"));
    EXPECT_EQ(Archive("shuffle a b"), 2);
    EXPECT_FALSE(CheckArchiveName("abcdefghijklmnopqrst").empty());  // no room for the zero
}

// Each refusal is one line and exit status 1, and nothing lands outside the folder asked for.
TEST_F(ArchiveTool, ExtractRefusesUnsafeNamesAndDamagedArchives) {
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

class Builder : public Tool {
protected:
    int Build(const std::string& content) {
        return Run("marrowdale-content", "--content " + content + " --out " + dir + "out");
    }
    // A fresh copy of the real content to spoil.
    std::string CopyContent() {
        fs::remove_all(dir + "content");
        fs::copy(MARROWDALE_SOURCE_DIR "/content", dir + "content", fs::copy_options::recursive);
        return dir + "content/";
    }
};

TEST_F(Builder, SameContentGivesTheSameBytes) {
    ASSERT_EQ(Build(MARROWDALE_SOURCE_DIR "/content"), 0) << said;
    for (const char* name : {"Graph/marrowdale.idx", "Graph/marrowdale.dat", "Graph/icon32.bmp",
                             "Graph/icon16.bmp", "Sound/select.wav", "Sound/fire.wav",
                             "Sound/stole.wav", "Sound/pick.wav", "Sound/music0.mod"}) {
        Bytes fresh = ReadBytes(dir + "out/" + name);
        EXPECT_TRUE(!fresh.empty() && fresh == ReadBytes(BuiltDir + name)) << name;
    }
}

TEST_F(Builder, BadContentIsOneLineNamingFileAndLine) {
    const struct {
        std::string file, line, expected;  // the line is appended to the file
    } faults[] = {
        {"graphics/scenes/high.txt", "sprinkle 0 0 10 10 top", "unknown drawing command"},
        {"sound/fire.sfx", "voice hiss for 0.1", "unknown wave 'hiss'"},
        {"sound/music0.tune", "bar odd | C2:4 E2:4 G2:4 |", "a bar fills 16 rows"},
    };
    for (const auto& fault : faults) {
        std::string file = CopyContent() + fault.file;
        std::string text = Read("content/" + fault.file);
        std::ofstream(file, std::ios::app) << fault.line << "\n";
        EXPECT_NE(Build(dir + "content"), 0) << fault.file;
        auto line = std::to_string(std::count(text.begin(), text.end(), '\n') + 1);
        EXPECT_TRUE(Has(said, fault.file + ":" + line + ": ") && Has(said, fault.expected)) << said;
        EXPECT_EQ(std::count(said.begin(), said.end(), '\n'), 1) << said;
    }
}

// A picture of thousands of colours keeps the green key exact: no stray holes, no lost ones.
TEST_F(Builder, RichPicturesAreReducedTo256ColoursKeepingTheKeyExact) {
    std::ofstream(CopyContent() + "graphics/scenes/high.txt")
        << "scene high.tga 240 320\n"
           "gradient 0 0 120 320 #000000 #FFFFFF\n"
           "gradient 120 0 120 320 #FF2000 #0040FF\n"
           "fill 100 100 40 40 #00FF00\n";
    ASSERT_EQ(Build(dir + "content"), 0) << said;
    std::vector<ArchiveRecord> records;
    ASSERT_TRUE(ParseArchiveIndex(ReadBytes(dir + "out/Graph/marrowdale.idx"), records, said));
    Bytes data = ReadBytes(dir + "out/Graph/marrowdale.dat");
    const ArchiveRecord* high = FindArchiveRecord(records, "high.tga");
    ASSERT_TRUE(high && high->offset + 240 * 320 + 788 <= data.size());
    const uint8_t* tga = data.data() + high->offset;
    auto colour = [&](int x, int y) {
        const uint8_t* bgr = tga + 18 + 3 * tga[786 + (319 - y) * 240 + x];
        return uint32_t(bgr[2] << 16 | bgr[1] << 8 | bgr[0]);
    };
    int keyed = 0;
    for (int i = 0; i < 240 * 320; ++i) keyed += colour(i % 240, i / 240) == 0x00FF00;
    EXPECT_TRUE(keyed == 40 * 40 && colour(120, 120) == 0x00FF00) << keyed;
    for (int y = 0; y < 320; y += 7) {  // the grey ramp stays a ramp
        for (int shift : {0, 8, 16}) {
            EXPECT_NEAR(int(colour(10, y) >> shift & 0xFF), y * 255 / 319, 12) << y;
        }
    }
}

// Through libmikmod's disk writer: every effect loads, and the tune, with no help from the
// player's wrap, plays on past its end without a quiet second.
TEST(BuiltSound, LibmikmodLoadsEveryEffectAndTheTuneLoopsOnItsOwn) {
    std::string folder = MakeTempFolder();
    MikMod_RegisterAllDrivers();
    MikMod_RegisterAllLoaders();
    md_device = static_cast<UWORD>(MikMod_DriverFromAlias("wav"));
    ASSERT_EQ(MikMod_Init(("file=" + folder + "tune.wav").c_str()), 0);
    MikMod_SetNumVoices(-1, 4);
    MikMod_EnableOutput();
    for (const char* name : {"select", "fire", "stole", "pick"}) {
        SAMPLE* sample = Sample_Load((BuiltDir + "Sound/" + name + ".wav").c_str());
        ASSERT_NE(sample, nullptr) << name;
        EXPECT_TRUE(sample->length > 0 && sample->length < sample->speed / 2) << name;
        Sample_Free(sample);
    }
    MODULE* module = Player_Load((BuiltDir + "Sound/music0.mod").c_str(), 4, 0);
    ASSERT_NE(module, nullptr) << MikMod_strerror(MikMod_errno);
    Player_Start(module);
    int lastPosition = 0;
    double loopedAt = 0.0;
    for (int i = 0; i < int(100.0 * md_mixfreq / 8192.0); ++i) {
        MikMod_Update();
        if (loopedAt == 0.0 && module->sngpos < lastPosition) loopedAt = module->sngtime / 1024.0;
        lastPosition = module->sngpos;
    }
    EXPECT_TRUE(Player_Active());
    Player_Free(module);
    MikMod_Exit();
    EXPECT_TRUE(loopedAt >= 32.0 && loopedAt < 90.0) << "the tune went back at " << loopedAt;

    Bytes bytes = ReadBytes(folder + "tune.wav");
    RemoveFolder(folder);
    ASSERT_GT(bytes.size(), 44u);
    auto* samples = reinterpret_cast<const int16_t*>(bytes.data() + 44);
    size_t perSecond = 2 * size_t(md_mixfreq), count = (bytes.size() - 44) / 2;
    EXPECT_GT(count, size_t(loopedAt + 5.0) * perSecond);
    for (size_t start = 0; start + perSecond <= count; start += perSecond) {
        double sum = 0.0;
        for (size_t i = start; i < start + perSecond; ++i) sum += double(samples[i]) * samples[i];
        ASSERT_GT(std::sqrt(sum / perSecond), 1000.0) << "quiet at " << start / perSecond << " s";
    }
}

}  // namespace
