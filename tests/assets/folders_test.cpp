// Data folders: any length, any characters; the data beside the program or installed, the high
// score file beside a portable copy or in the data home.
#include <unistd.h>

#include "tests/assets/fixture.h"

using namespace assettest;

namespace {

std::string Narrow(const WCHAR* path) {
    std::vector<char> narrow(NarrowPathBytes);
    NarrowPath(path, narrow.data(), NarrowPathBytes);
    return narrow.data();
}

TEST(Folders, AreCutAtTheLastSeparatorWhateverTheirLengthOrCharacters) {
    std::string deep;
    while (deep.size() < 4000) deep += "/a-rather-long-folder-name";
    const std::string utf8 = "/tmp/G\xC3\xA4rten/\xE6\x97\xA5\xE6\x9C\xAC/\xF0\x9F\x90\xB6";
    // An own path longer than the platform hands out is reported, and the root ("//") serves.
    const std::string tooLong = "/" + std::string(MAX_PATH_CHARS + 10, 'x') + "/play";
    const struct {
        std::string module, root;
        size_t errors;  // the missing data, and an own path that can't be had
    } cases[] = {{"/A/B/play", "/A/B/", 1}, {"/play", "/", 1}, {deep + "/play", deep + "/", 1},
                 {utf8 + "/play", utf8 + "/", 1}, {tooLong, "//", 2}};
    for (const auto& c : cases) {
        HeadlessOptions options;
        options.modulePath = c.module.c_str();
        StartHeadlessHost(options);
        EXPECT_EQ(StderrOf(BuildDataFolders).size(), c.errors);
        StopHeadlessHost();
        WCHAR path[PathChars];
        JoinPath(path, GraphFolder, u"marrowdale.idx");
        EXPECT_EQ(Narrow(path), c.root + "Graph/marrowdale.idx");
        EXPECT_EQ(Narrow(SoundFolder) + Narrow(MapFolder), c.root + "Sound/" + c.root + "Map/");
    }
}

// The data beside the program wins over the installed data; the high scores stay beside the
// program only for such a portable copy in a folder it may write, and otherwise go to the
// user's data folder (made when missing), never beside an installed program.
TEST(Folders, DataBesideTheProgramThenInstalledAndScoresInTheDataHomeUnlessPortable) {
    const std::string top = MakeTempFolder();
    // The portable copy has installed data next to it too, and ignores it.
    const std::string portable = top + "portable/bin/", prefix = top + "usr/";
    const std::string installed = prefix + "share/marrowdale/", home = top + "home/";
    for (const std::string& folder :
         {portable, top + "portable/share/marrowdale/", prefix + "bin/", installed}) {
        fs::create_directories(folder);
        if (folder != prefix + "bin/") {
            fs::create_directory_symlink(MARROWDALE_BUILD_DIR "/Graph", folder + "Graph");
            fs::create_directory_symlink(MARROWDALE_BUILD_DIR "/Sound", folder + "Sound");
        }
    }
    fs::create_directories(top + "readonly");
    fs::create_directory_symlink(MARROWDALE_BUILD_DIR "/Graph", top + "readonly/Graph");
    fs::permissions(top + "readonly", fs::perms::owner_read | fs::perms::owner_exec);
    fs::create_directories(home + "kept/marrowdale");
    fs::permissions(home + "kept/marrowdale", fs::perms::owner_read | fs::perms::owner_exec);
    const std::string dataHome = home + "data/marrowdale/";
    const struct {
        std::string module, dataHome, data, root;
        bool said = false;  // that the scores will not be saved
    } cases[] = {
        {portable + "marrowdale", home + "data", portable, portable},
        {prefix + "bin/marrowdale", home + "data", installed, dataHome},
        // A relative $XDG_DATA_HOME is ignored: ~/.local/share then.
        {prefix + "bin/marrowdale", "relative", installed, home + ".local/share/marrowdale/"},
        // Root may write any folder, so it never sees this one as read-only.
        {top + "readonly/marrowdale", home + "data", top + "readonly/",
         geteuid() == 0 ? top + "readonly/" : dataHome},
        // The player's own folder made read-only: its table is read all the same.
        {prefix + "bin/marrowdale", home + "kept", installed, home + "kept/marrowdale/",
         geteuid() != 0},
    };
    const std::string oldHome = getenv("HOME") ? getenv("HOME") : "";
    setenv("HOME", home.c_str(), 1);
    for (const auto& c : cases) {
        setenv("XDG_DATA_HOME", c.dataHome.c_str(), 1);
        HeadlessOptions options;
        options.modulePath = c.module.c_str();
        StartHeadlessHost(options);
        auto lines = StderrOf(BuildDataFolders);
        ASSERT_EQ(lines.size(), c.said ? 1u : 0u) << c.module;
        EXPECT_TRUE(!c.said || lines[0].find("will not be saved") != std::string::npos);
        StopHeadlessHost();
        EXPECT_EQ(Narrow(GraphFolder) + Narrow(SoundFolder), c.data + "Graph/" + c.data + "Sound/");
        EXPECT_EQ(Narrow(RootFolder), c.root) << c.module;
        EXPECT_TRUE(fs::is_directory(c.root));
    }
    EXPECT_TRUE(fs::is_empty(prefix + "bin"));
    setenv("HOME", oldHome.c_str(), 1);
    unsetenv("XDG_DATA_HOME");
    fs::permissions(top + "readonly", fs::perms::owner_all);
    fs::permissions(home + "kept/marrowdale", fs::perms::owner_all);
    RemoveFolder(top);
}

}  // namespace
