// Data folders: any length, any characters.
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
        size_t errors;
    } cases[] = {{"/A/B/play", "/A/B/", 0}, {"/play", "/", 0}, {deep + "/play", deep + "/", 0},
                 {utf8 + "/play", utf8 + "/", 0}, {tooLong, "//", 1}};
    for (const auto& c : cases) {
        HeadlessOptions options;
        options.modulePath = c.module.c_str();
        StartHeadlessHost(options);
        EXPECT_EQ(StderrOf(BuildDataFolders).size(), c.errors);
        StopHeadlessHost();
        WCHAR path[PathChars];
        JoinPath(path, GraphFolder, u"marrowdale.idx");
        EXPECT_EQ(Narrow(path), c.root + "Graph/marrowdale.idx");
        EXPECT_EQ(Narrow(SoundFolder) + Narrow(MapFolder) + "|" + Narrow(RootFolder),
                  c.root + "Sound/" + c.root + "Map/|" + c.root);
    }
}

}  // namespace
