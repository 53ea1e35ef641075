// Data folders: where the game's files lie, derived once from the executable's own path.
#include <cstdio>

#include "assets/assets.h"

WCHAR SoundFolder[FolderChars];
WCHAR GraphFolder[FolderChars];
WCHAR MapFolder[FolderChars];
WCHAR RootFolder[FolderChars];

namespace {

constexpr WCHAR Separator = u'/';

// Writes folder (length characters) followed by suffix into target, zero-terminated. The
// program folder is shorter than MAX_PATH_CHARS, so FolderChars always holds a folder string
// and PathChars a folder string with a file name.
void JoinFolder(WCHAR* target, const WCHAR* folder, int length, const WCHAR* suffix) {
    int n = 0;
    for (; n < length; ++n) target[n] = folder[n];
    for (; *suffix; ++suffix) target[n++] = *suffix;
    target[n] = 0;
}

int WideLength(const WCHAR* text) {
    int n = 0;
    while (text[n]) ++n;
    return n;
}

// Bytes of one code point in UTF-8, written at out.
int EncodeUtf8(uint32_t point, char* out) {
    auto* bytes = reinterpret_cast<unsigned char*>(out);
    if (point < 0x80) {
        bytes[0] = static_cast<unsigned char>(point);
        return 1;
    }
    if (point < 0x800) {
        bytes[0] = static_cast<unsigned char>(0xC0 | (point >> 6));
        bytes[1] = static_cast<unsigned char>(0x80 | (point & 0x3F));
        return 2;
    }
    if (point < 0x10000) {
        bytes[0] = static_cast<unsigned char>(0xE0 | (point >> 12));
        bytes[1] = static_cast<unsigned char>(0x80 | ((point >> 6) & 0x3F));
        bytes[2] = static_cast<unsigned char>(0x80 | (point & 0x3F));
        return 3;
    }
    bytes[0] = static_cast<unsigned char>(0xF0 | (point >> 18));
    bytes[1] = static_cast<unsigned char>(0x80 | ((point >> 12) & 0x3F));
    bytes[2] = static_cast<unsigned char>(0x80 | ((point >> 6) & 0x3F));
    bytes[3] = static_cast<unsigned char>(0x80 | (point & 0x3F));
    return 4;
}

bool IsHighSurrogate(WCHAR c) { return c >= 0xD800 && c <= 0xDBFF; }
bool IsLowSurrogate(WCHAR c) { return c >= 0xDC00 && c <= 0xDFFF; }

}  // namespace

// Main loop, first thing: the four folders from the executable's path, cut at its last '/'.
void BuildDataFolders() {
    WCHAR path[MAX_PATH_CHARS] = {};
    DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH_CHARS);
    if (length == 0 || length >= MAX_PATH_CHARS) {
        std::fprintf(stderr, "marrowdale: cannot read the program's own path; looking for its "
                             "data in /Graph/ and /Sound/\n");
        length = 0;
    }
    int cut = -1;
    for (int i = 0; i < static_cast<int>(length); ++i) {
        if (path[i] == Separator) cut = i;
    }
    // With no separator at all the program folder is the separator itself.
    const WCHAR* folder = cut >= 0 ? path : u"/";
    int folderLength = cut >= 0 ? cut : 1;
    JoinFolder(SoundFolder, folder, folderLength, u"/Sound/");
    JoinFolder(GraphFolder, folder, folderLength, u"/Graph/");
    JoinFolder(MapFolder, folder, folderLength, u"/Map/");
    JoinFolder(RootFolder, folder, folderLength, u"/");
}

// Archive, high score file: a file's full path from its folder string.
void JoinPath(WCHAR* path, const WCHAR* folder, const WCHAR* name) {
    JoinFolder(path, folder, WideLength(folder), name);
}

// The UTF-8 form of a wide path for the C library, libmikmod and messages; an unpaired
// surrogate becomes U+FFFD. Stops short of bytes (never splitting a character), terminated.
void NarrowPath(const WCHAR* path, char* narrow, int bytes) {
    int n = 0;
    while (*path) {
        uint32_t point = *path++;
        if (IsHighSurrogate(static_cast<WCHAR>(point)) && IsLowSurrogate(*path)) {
            point = 0x10000 + ((point - 0xD800) << 10) + (*path++ - 0xDC00);
        } else if (IsHighSurrogate(static_cast<WCHAR>(point)) ||
                   IsLowSurrogate(static_cast<WCHAR>(point))) {
            point = 0xFFFD;
        }
        char encoded[4];
        int size = EncodeUtf8(point, encoded);
        if (n + size >= bytes) break;
        for (int i = 0; i < size; ++i) narrow[n++] = encoded[i];
    }
    narrow[n] = 0;
}
