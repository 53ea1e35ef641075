// Data folders: cut at the executable's last separator, any length, any characters.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "assets/assets.h"
#include "platform/standin.h"
#include "tests/assets/fixture.h"

using namespace assettest;

namespace {

std::string Narrow(const WCHAR* path) {
    std::vector<char> narrow(NarrowPathBytes);
    NarrowPath(path, narrow.data(), NarrowPathBytes);
    return narrow.data();
}

// The four folders for an executable at modulePath.
std::vector<std::string> FoldersFor(const std::string& modulePath) {
    HeadlessOptions options;
    options.modulePath = modulePath.c_str();
    StartHeadlessHost(options);
    BuildDataFolders();
    StopHeadlessHost();
    return {Narrow(SoundFolder), Narrow(GraphFolder), Narrow(MapFolder), Narrow(RootFolder)};
}

TEST(Folders, AreCutAtTheLastSeparatorAndEndInOne) {
    EXPECT_EQ(FoldersFor("/A/B/play"),
              (std::vector<std::string>{"/A/B/Sound/", "/A/B/Graph/", "/A/B/Map/", "/A/B/"}));
    EXPECT_EQ(FoldersFor("/play"),
              (std::vector<std::string>{"/Sound/", "/Graph/", "/Map/", "/"}));
}

TEST(Folders, ASecondBuildReplacesTheFirst) {
    FoldersFor("/a/much/longer/folder/than/the/next/play");
    EXPECT_EQ(FoldersFor("/x/play"),
              (std::vector<std::string>{"/x/Sound/", "/x/Graph/", "/x/Map/", "/x/"}));
}

TEST(Folders, ALongFolderIsKeptWhole) {
    std::string folder;
    while (folder.size() < 4000) folder += "/a-rather-long-folder-name";
    auto folders = FoldersFor(folder + "/marrowdale");
    EXPECT_EQ(folders[0], folder + "/Sound/");
    EXPECT_EQ(folders[3], folder + "/");
    WCHAR path[PathChars];
    JoinPath(path, GraphFolder, u"marrowdale.idx");
    EXPECT_EQ(Narrow(path), folder + "/Graph/marrowdale.idx");
}

TEST(Folders, AnUnknownOwnPathIsReportedOnce) {
    // Longer than the platform hands out, so GetModuleFileNameW gives 0.
    std::string tooLong = "/" + std::string(MAX_PATH_CHARS + 10, 'x') + "/play";
    testing::internal::CaptureStderr();
    auto folders = FoldersFor(tooLong);
    auto lines = StderrLines();
    EXPECT_EQ(lines.size(), 1u);
    EXPECT_EQ(folders[1].find('x'), std::string::npos);
    EXPECT_EQ(folders[1].substr(folders[1].size() - 7), "/Graph/");
}

TEST(Folders, NonAsciiFoldersReachTheNarrowFormAsUtf8) {
    const std::string folder = "/tmp/G\xC3\xA4rten/\xE6\x97\xA5\xE6\x9C\xAC/\xF0\x9F\x90\xB6";
    EXPECT_EQ(FoldersFor(folder + "/play")[0], folder + "/Sound/");
}

TEST(Folders, NarrowPathReplacesBrokenPairsAndNeverSplitsACharacter) {
    const WCHAR broken[] = {u'a', 0xD800, u'b', 0xDC00, 0};
    EXPECT_EQ(Narrow(broken), "a\xEF\xBF\xBD" "b\xEF\xBF\xBD");
    char small[4];
    NarrowPath(u"ab\u00E9", small, sizeof small);
    EXPECT_EQ(std::string(small), "ab");
    NarrowPath(u"a\u00E9", small, sizeof small);
    EXPECT_EQ(std::string(small), "a\xC3\xA9");
}

}  // namespace
