// File calls over POSIX: dispositions, positions, short reads, renames, refusals, own path.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <fstream>
#include <string>

#include "platform/standin.h"
#include "platform/winapi.h"
#include "tests/platform/child.h"

namespace {

std::u16string Wide(const std::string& text) { return std::u16string(text.begin(), text.end()); }

class Files : public ::testing::Test {
protected:
    void SetUp() override { folder = platformtest::MakePrivateFolder(); }
    void TearDown() override { platformtest::RemoveFolder(folder); }
    std::u16string Path(const std::string& name) const { return Wide(folder + "/" + name); }
    std::string Narrow(const std::string& name) const { return folder + "/" + name; }
    void WriteText(const std::string& name, const std::string& text) const {
        std::ofstream(Narrow(name), std::ios::binary) << text;
    }
    std::string ReadText(const std::string& name) const {
        std::ifstream in(Narrow(name), std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }
    HANDLE Open(const std::string& name, DWORD access, DWORD disposition) const {
        return CreateFileW(Path(name).c_str(), access, 0, nullptr, disposition,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    }
    std::string folder;
};

TEST_F(Files, DispositionsCreateOpenAndTruncate) {
    EXPECT_EQ(Open("a", GENERIC_READ, OPEN_EXISTING), INVALID_HANDLE_VALUE) << "missing";
    HANDLE h = Open("a", GENERIC_READ, OPEN_ALWAYS);
    ASSERT_NE(h, INVALID_HANDLE_VALUE) << "OPEN_ALWAYS creates a missing file, even read-only";
    EXPECT_TRUE(CloseHandle(h));
    EXPECT_EQ(ReadText("a"), "");

    EXPECT_EQ(Open("a", GENERIC_WRITE, CREATE_NEW), INVALID_HANDLE_VALUE) << "exists";
    h = Open("b", GENERIC_WRITE, CREATE_NEW);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    CloseHandle(h);

    WriteText("c", "old contents");
    h = Open("c", GENERIC_READ, OPEN_ALWAYS);
    char buffer[32] = {};
    DWORD n = 0;
    EXPECT_TRUE(ReadFile(h, buffer, sizeof buffer, &n, nullptr));
    EXPECT_EQ(std::string(buffer, n), "old contents") << "OPEN_ALWAYS keeps what is there";
    CloseHandle(h);

    h = Open("c", GENERIC_WRITE, CREATE_ALWAYS);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    EXPECT_TRUE(WriteFile(h, "new", 3, &n, nullptr));
    EXPECT_EQ(n, 3u);
    EXPECT_TRUE(FlushFileBuffers(h));
    CloseHandle(h);
    EXPECT_EQ(ReadText("c"), "new") << "CREATE_ALWAYS empties the file first";

    EXPECT_EQ(Open("c", GENERIC_READ, 99), INVALID_HANDLE_VALUE) << "unknown disposition";
    EXPECT_EQ(CreateFileW(Wide(folder).c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0,
                          nullptr),
              INVALID_HANDLE_VALUE)
        << "a folder is not a file";
}

TEST_F(Files, ReadsAndWritesKeepToTheirAccess) {
    WriteText("r", "abc");
    HANDLE h = Open("r", GENERIC_READ, OPEN_EXISTING);
    DWORD n = 99;
    EXPECT_FALSE(WriteFile(h, "x", 1, &n, nullptr));
    EXPECT_EQ(n, 0u);
    CloseHandle(h);
    h = Open("r", GENERIC_WRITE, OPEN_EXISTING);
    char c;
    EXPECT_FALSE(ReadFile(h, &c, 1, &n, nullptr));
    CloseHandle(h);
    EXPECT_EQ(ReadText("r"), "abc");
}

TEST_F(Files, PositionsAndShortReads) {
    WriteText("p", "0123456789");
    HANDLE h = Open("p", GENERIC_READ | GENERIC_WRITE, OPEN_EXISTING);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    EXPECT_EQ(SetFilePointer(h, 4, nullptr, FILE_BEGIN), 4u);
    EXPECT_EQ(SetFilePointer(h, 2, nullptr, FILE_CURRENT), 6u);
    EXPECT_EQ(SetFilePointer(h, -3, nullptr, FILE_END), 7u);
    char buffer[16] = {};
    DWORD n = 0;
    EXPECT_TRUE(ReadFile(h, buffer, sizeof buffer, &n, nullptr));
    EXPECT_EQ(std::string(buffer, n), "789") << "a short read reports what it got";
    EXPECT_TRUE(ReadFile(h, buffer, sizeof buffer, &n, nullptr)) << "end of file is no error";
    EXPECT_EQ(n, 0u);

    EXPECT_EQ(SetFilePointer(h, -20, nullptr, FILE_BEGIN), INVALID_SET_FILE_POINTER);
    EXPECT_EQ(SetFilePointer(h, 0, nullptr, FILE_CURRENT), 10u) << "a failed move moves nothing";
    EXPECT_EQ(SetFilePointer(h, 0, nullptr, 7), INVALID_SET_FILE_POINTER);

    LONG high = 1;
    EXPECT_EQ(SetFilePointer(h, 0, &high, FILE_BEGIN), 0u) << "the high part counts";
    EXPECT_EQ(high, 1);
    EXPECT_EQ(SetFilePointer(h, 0, nullptr, FILE_CURRENT), INVALID_SET_FILE_POINTER)
        << "a position past 32 bits is refused without a high part";
    high = 0;
    EXPECT_EQ(SetFilePointer(h, 2, &high, FILE_BEGIN), 2u);
    EXPECT_TRUE(WriteFile(h, "ab", 2, &n, nullptr));
    CloseHandle(h);
    EXPECT_EQ(ReadText("p"), "01ab456789");
}

TEST_F(Files, TheInvalidHandleAndStaleHandlesFailSafely) {
    char buffer[4];
    DWORD n = 99;
    EXPECT_FALSE(ReadFile(INVALID_HANDLE_VALUE, buffer, 4, &n, nullptr));
    EXPECT_EQ(n, 0u);
    EXPECT_FALSE(WriteFile(INVALID_HANDLE_VALUE, buffer, 4, &n, nullptr));
    EXPECT_EQ(SetFilePointer(INVALID_HANDLE_VALUE, 0, nullptr, FILE_BEGIN), INVALID_SET_FILE_POINTER);
    EXPECT_FALSE(FlushFileBuffers(INVALID_HANDLE_VALUE));
    EXPECT_FALSE(CloseHandle(INVALID_HANDLE_VALUE));
    EXPECT_FALSE(CloseHandle(nullptr));
    HANDLE h = Open("s", GENERIC_WRITE, CREATE_ALWAYS);
    EXPECT_TRUE(CloseHandle(h));
    EXPECT_FALSE(CloseHandle(h)) << "closed twice";
    EXPECT_FALSE(WriteFile(h, buffer, 4, &n, nullptr));
    EXPECT_EQ(CreateFileW(nullptr, GENERIC_READ, 0, nullptr, OPEN_ALWAYS, 0, nullptr),
              INVALID_HANDLE_VALUE);
    EXPECT_EQ(CreateFileW(u"", GENERIC_READ, 0, nullptr, OPEN_ALWAYS, 0, nullptr),
              INVALID_HANDLE_VALUE);
    const char16_t broken[] = {u'a', 0xD800, 0};
    EXPECT_EQ(CreateFileW(broken, GENERIC_READ, 0, nullptr, OPEN_ALWAYS, 0, nullptr),
              INVALID_HANDLE_VALUE)
        << "an unpaired surrogate names no file";
}

TEST_F(Files, RenamesReplaceOnlyWhenAsked) {
    WriteText("new", "fresh");
    WriteText("old", "stale");
    EXPECT_FALSE(MoveFileExW(Path("new").c_str(), Path("old").c_str(), 0));
    EXPECT_EQ(ReadText("old"), "stale");
    EXPECT_TRUE(MoveFileExW(Path("new").c_str(), Path("old").c_str(), MOVEFILE_REPLACE_EXISTING));
    EXPECT_EQ(ReadText("old"), "fresh");
    struct stat info {};
    EXPECT_NE(stat(Narrow("new").c_str(), &info), 0) << "the source name is gone";
    EXPECT_TRUE(MoveFileExW(Path("old").c_str(), Path("other").c_str(), 0));
    EXPECT_FALSE(MoveFileExW(Path("missing").c_str(), Path("x").c_str(), MOVEFILE_REPLACE_EXISTING));
    EXPECT_TRUE(DeleteFileW(Path("other").c_str()));
    EXPECT_FALSE(DeleteFileW(Path("other").c_str()));
    EXPECT_FALSE(DeleteFileW(Wide(folder).c_str())) << "folders are not deleted";
}

TEST_F(Files, WidePathsBecomeUtf8Names) {
    std::u16string name = Wide(folder + "/") + u"h\u00e9\u00df\U0001F34E.dat";
    HANDLE h = CreateFileW(name.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    CloseHandle(h);
    struct stat info {};
    EXPECT_EQ(stat((folder + "/h\xC3\xA9\xC3\x9F\xF0\x9F\x8D\x8E.dat").c_str(), &info), 0);
}

TEST(ModulePath, ReportsTheWholePathOrNothing) {
    HeadlessOptions options;
    options.modulePath = "/opt/gard\xC3\xA9n/marrowdale";
    StartHeadlessHost(options);
    WCHAR path[64];
    EXPECT_EQ(GetModuleFileNameW(nullptr, path, 64), 22u);
    EXPECT_EQ(std::u16string(path), u"/opt/gard\u00e9n/marrowdale");
    EXPECT_EQ(GetModuleFileNameW(nullptr, path, 22), 0u) << "no room for the terminator";
    EXPECT_EQ(path[0], 0) << "never a cut path";
    EXPECT_EQ(GetModuleFileNameW(nullptr, path, 23), 22u);
    StopHeadlessHost();
    WCHAR own[MAX_PATH_CHARS];
    DWORD length = GetModuleFileNameW(nullptr, own, MAX_PATH_CHARS);
    ASSERT_GT(length, 0u);
    std::u16string self(own, length);
    EXPECT_EQ(self.substr(self.rfind(u'/') + 1), u"test_platform") << "/proc/self/exe";
}

}  // namespace
