// Data folders: where the game's files lie (beside the executable, else where it was
// installed) and where its high score file is kept, settled once at start.
#include <cstdio>

#include "assets/assets.h"

WCHAR SoundFolder[FolderChars];
WCHAR GraphFolder[FolderChars];
WCHAR MapFolder[FolderChars];
WCHAR RootFolder[FolderChars];
bool RootFolderReadOnly;

namespace {

constexpr WCHAR Separator = u'/';
// The game's own folder below the shell's shared and per-user data folders.
constexpr WCHAR GameFolderName[] = u"/marrowdale";
// The file whose presence says a Graph folder holds the game's data.
constexpr WCHAR DataWitnessName[] = u"marrowdale.idx";

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

// Sound, Graph and Map folders below folder (length characters).
void SetDataFolders(const WCHAR* folder, int length) {
    JoinFolder(SoundFolder, folder, length, u"/Sound/");
    JoinFolder(GraphFolder, folder, length, u"/Graph/");
    JoinFolder(MapFolder, folder, length, u"/Map/");
}

// Whether the Graph folder as it stands holds the game's archive.
bool GraphFolderHoldsData() {
    WCHAR path[PathChars];
    JoinPath(path, GraphFolder, DataWitnessName);
    DWORD attributes = GetFileAttributesW(path);
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

// Whether folder (ending in the separator, so a link to a folder counts as the folder)
// exists and this process may write files into it.
bool IsWritableFolder(const WCHAR* folder) {
    DWORD attributes = GetFileAttributesW(folder);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) &&
           !(attributes & FILE_ATTRIBUTE_READONLY);
}

// A shell folder with the game's own folder below it, into folder (FolderChars); false when
// the shell has none.
bool GameFolderIn(int shellFolder, bool create, WCHAR* folder) {
    if (!SHGetSpecialFolderPathW(nullptr, folder, shellFolder, create ? TRUE : FALSE)) return false;
    JoinFolder(folder, folder, WideLength(folder), GameFolderName);
    if (create) CreateDirectoryW(folder, nullptr);
    return true;
}

// The game's folder in the user's data folder, made when missing; the high scores of an
// installed game live there. One the player made read-only is still read, and one line says
// its scores cannot be saved.
bool SetUserRootFolder() {
    WCHAR folder[FolderChars];
    if (!GameFolderIn(CSIDL_APPDATA, true, folder)) return false;
    JoinFolder(folder, folder, WideLength(folder), u"/");
    DWORD attributes = GetFileAttributesW(folder);
    if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
        return false;
    }
    JoinPath(RootFolder, folder, u"");
    RootFolderReadOnly = attributes & FILE_ATTRIBUTE_READONLY;
    if (RootFolderReadOnly) {
        char narrow[NarrowPathBytes];
        NarrowPath(RootFolder, narrow, NarrowPathBytes);
        std::fprintf(stderr, "marrowdale: the folder %s cannot be written; the high scores are "
                             "read from it but will not be saved\n", narrow);
    }
    return true;
}

// One line naming both places the data was looked for.
void ReportMissingData(const WCHAR* besideFolder, const WCHAR* installedFolder) {
    char beside[NarrowPathBytes];
    char installed[NarrowPathBytes];
    NarrowPath(besideFolder, beside, NarrowPathBytes);
    NarrowPath(installedFolder, installed, NarrowPathBytes);
    std::fprintf(stderr, "marrowdale: no game data (Graph/marrowdale.idx) beside the program in %s "
                         "nor installed in %s\n", beside, installed);
}

bool IsHighSurrogate(WCHAR c) { return c >= 0xD800 && c <= 0xDBFF; }
bool IsLowSurrogate(WCHAR c) { return c >= 0xDC00 && c <= 0xDFFF; }

}  // namespace

// Main loop, first thing: the data folders beside the executable (its path cut at the last
// '/'), else below the installed data folder; the root folder beside the executable when the
// data lies there and the folder is writable, else in the user's data folder.
void BuildDataFolders() {
    RootFolderReadOnly = false;
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
    SetDataFolders(folder, folderLength);
    JoinFolder(RootFolder, folder, folderLength, u"/");
    bool installed = false;
    if (!GraphFolderHoldsData()) {
        WCHAR shared[FolderChars];
        bool known = GameFolderIn(CSIDL_COMMON_APPDATA, false, shared);
        if (known) {
            SetDataFolders(shared, WideLength(shared));
            installed = GraphFolderHoldsData();
        }
        if (!installed) {
            SetDataFolders(folder, folderLength);
            ReportMissingData(RootFolder, known ? shared : u"(no installed data folder)");
        }
    }
    if (installed || !IsWritableFolder(RootFolder)) {
        if (!SetUserRootFolder()) {
            std::fprintf(stderr, "marrowdale: no data folder in the home folder; the high "
                                 "scores stay beside the program\n");
        }
    }
}

bool IsSpecialFile(const WCHAR* path) {
    DWORD attributes = GetFileAttributesW(path);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DEVICE);
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
