// The content tools: the archive tool's round trip and refusals, the builder's repeatable
// output and bad content named by file and line.
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
    int Run(const std::string& program, const std::string& arguments) {
        int status = std::system((BuiltDir + program + " " + arguments + " >" + dir +
                                  "tool.stdout 2>" + dir + "tool.stderr").c_str());
        said = Read("tool.stderr");
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
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
    WriteBytes(dir + "in/a.tga", {'f', 'i', 'r', 's', 't'});
    WriteBytes(dir + "in/b.fnt", {});
    WriteBytes(dir + "in/two/a.tga", {'s', 'e', 'c', 'o', 'n', 'd'});
    std::string in = " " + dir + "in/";
    ASSERT_EQ(Archive("pack " + Files() + in + "a.tga" + in + "b.fnt" + in + "two/a.tga"), 0);
    EXPECT_TRUE(Has(said, "first one is used")) << said;
    ASSERT_EQ(Archive("list " + Files()), 0);
    EXPECT_TRUE(Has(Read("tool.stdout"), "b.fnt"));
    ASSERT_EQ(Archive("extract " + Files() + dir + "all"), 0);
    EXPECT_TRUE(Read("all/a.tga") == "first" && fs::exists(dir + "all/b.fnt"));
    ASSERT_EQ(Archive("extract " + Files() + dir + "one b.fnt"), 0);
    EXPECT_TRUE(fs::exists(dir + "one/b.fnt") && !fs::exists(dir + "one/a.tga"));
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
