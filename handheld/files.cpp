// Files over POSIX (open, seek, read, write, rename, delete, look, folders), the high score
// file of a journalled run, the executable's own path and the shell's special folders.
#include <dirent.h>
#include <fcntl.h>
#include <fnmatch.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <thread>

#include "handheld/system.h"

namespace {

constexpr int FileSlots = 64;
// lseek's origin for FILE_BEGIN, FILE_CURRENT and FILE_END.
constexpr int Whence[] = {SEEK_SET, SEEK_CUR, SEEK_END};

struct FileRecord {
    int fd = -1;      // -1: no file of the system
    int memory = -1;  // else the memory file it has open; both -1: slot free
    size_t position = 0;
    bool canRead = false;
    bool canWrite = false;
};

// The game's one file of its own (its other files are the build's data). A recording notes it
// as the game first found it; a replay serves it, and the fresh copies a save makes beside it,
// from memory: the replay reads what the recorded game read and writes nowhere.
constexpr char ScoreFileName[] = "highscores.dat";
constexpr int MemoryFileSlots = 8;
constexpr size_t LargestScoreFile = 1u << 16;

struct MemoryFile {
    bool used = false;
    std::string name;  // the base name; every such file lies in one folder
    bool readable = true;
    std::vector<uint8_t> bytes;
};

MemoryFile MemoryFiles[MemoryFileSlots];

// Handles are addresses of these slots, so a stale or made-up handle is recognised and refused.
FileRecord Files[FileSlots];
std::string ChosenModulePath;

// A folder's names that matched a FindFirstFileW pattern, handed out one by one.
constexpr int SearchSlots = 4;
struct SearchRecord {
    bool used = false;
    std::vector<std::u16string> names;
    std::vector<DWORD> attributes;
    size_t next = 0;
};
SearchRecord Searches[SearchSlots];

// A lock is waited for this long at most: a copy stopped while it holds one must not hold
// this one for ever.
constexpr std::chrono::milliseconds LockWaitMost(2000);
constexpr std::chrono::milliseconds LockRetry(10);

FileRecord* FileFrom(HANDLE handle) {
    for (FileRecord& slot : Files) {
        if (handle == &slot) return slot.fd >= 0 || slot.memory >= 0 ? &slot : nullptr;
    }
    return nullptr;
}

FileRecord* FreeFileSlot() {
    for (FileRecord& slot : Files) {
        if (slot.fd < 0 && slot.memory < 0) return &slot;
    }
    return nullptr;
}

std::string BaseName(const std::string& path) {
    size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

bool IsScoreFile(const std::string& path) {
    std::string base = BaseName(path);
    return base.rfind(ScoreFileName, 0) == 0 &&
           (base.size() == sizeof ScoreFileName - 1 || base[sizeof ScoreFileName - 1] == '.');
}

// In a replay the high score file and its fresh copies live in memory.
bool Served(const std::string& path) { return ReplayRuns() && IsScoreFile(path); }

int FindMemoryFile(const std::string& path) {
    std::string base = BaseName(path);
    for (int i = 0; i < MemoryFileSlots; ++i) {
        if (MemoryFiles[i].used && MemoryFiles[i].name == base) return i;
    }
    return -1;
}

int MakeMemoryFile(const std::string& path) {
    for (int i = 0; i < MemoryFileSlots; ++i) {
        if (MemoryFiles[i].used) continue;
        MemoryFiles[i] = MemoryFile{true, BaseName(path), true, {}};
        return i;
    }
    return -1;
}

// CreateFileW of a served file: the dispositions of the system's files, in memory.
HANDLE OpenMemoryFile(const std::string& path, DWORD access, DWORD disposition) {
    int file = FindMemoryFile(path);
    bool exists = file >= 0;
    if ((disposition == CREATE_NEW && exists) || (disposition == OPEN_EXISTING && !exists) ||
        (exists && !MemoryFiles[file].readable)) {
        return INVALID_HANDLE_VALUE;
    }
    FileRecord* slot = FreeFileSlot();
    if (!exists) file = MakeMemoryFile(path);
    if (!slot || file < 0) return INVALID_HANDLE_VALUE;
    if (disposition == CREATE_ALWAYS) MemoryFiles[file].bytes.clear();
    *slot = {-1, file, 0, (access & GENERIC_READ) != 0, (access & GENERIC_WRITE) != 0};
    return slot;
}

// A recording notes the high score file the first time the game looks at it.
void NoteScoreFile(const std::string& path) {
    const CrossingWatch* watch = Watcher();
    if (watch && IsScoreFile(path) && BaseName(path) == ScoreFileName) watch->scoreFileSeen(path);
}

bool PathFrom(const WCHAR* path, std::string* out) { return Utf16ToUtf8(path, out) && !out->empty(); }

int OpenFlags(DWORD access, DWORD disposition, bool* known) {
    *known = true;
    int flags = O_CLOEXEC;
    bool read = access & GENERIC_READ;
    bool write = access & GENERIC_WRITE;
    flags |= read && write ? O_RDWR : write ? O_WRONLY : O_RDONLY;
    switch (disposition) {
        // A new file is made afresh, never reached through a link, not even a dangling one.
        case CREATE_NEW: return flags | O_CREAT | O_EXCL | O_NOFOLLOW;
        case CREATE_ALWAYS: return flags | O_CREAT | O_TRUNC;
        case OPEN_EXISTING: return flags;
        case OPEN_ALWAYS: return flags | O_CREAT;
        default: *known = false; return 0;
    }
}

// Hands a UTF-8 path out as the shell does: UTF-16, no closing separator, within
// MAX_PATH_CHARS; false when it does not fit.
bool HandOut(const std::string& folder, WCHAR* path) {
    std::u16string wide;
    if (!Utf8ToUtf16(folder.c_str(), &wide) || wide.size() + 1 > MAX_PATH_CHARS) return false;
    wide.copy(path, wide.size());
    path[wide.size()] = 0;
    return true;
}

// A folder path without "..", doubled separators or a closing separator.
std::string NormalFolder(const std::string& folder) {
    std::string normal = std::filesystem::path(folder).lexically_normal().string();
    while (normal.size() > 1 && normal.back() == '/') normal.pop_back();
    return normal;
}

// Makes a rename survive a crash: the folder holding the new name is synced too.
void SyncFolderOf(const std::string& path) {
    size_t slash = path.rfind('/');
    std::string folder = slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
    int fd = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return;
    fsync(fd);
    close(fd);
}

// A rename that refuses an existing target. A file system (or a system, the browser's) without
// no-replace renames gets link and unlink: link refuses an existing target too.
int RenameWithoutReplacing(const std::string& from, const std::string& to) {
#ifdef RENAME_NOREPLACE
    int result = renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE);
    if (result == 0 || errno != EINVAL) return result;
#endif
    return link(from.c_str(), to.c_str()) == 0 ? unlink(from.c_str()) : -1;
}

// GetFileAttributesW of a name on the system.
DWORD AttributesOf(const std::string& name) {
    struct stat info {};
    if (lstat(name.c_str(), &info) != 0) return INVALID_FILE_ATTRIBUTES;
    DWORD readOnly = access(name.c_str(), W_OK) != 0 ? FILE_ATTRIBUTE_READONLY : 0;
    if (S_ISLNK(info.st_mode)) return FILE_ATTRIBUTE_REPARSE_POINT | readOnly;
    if (S_ISDIR(info.st_mode)) return FILE_ATTRIBUTE_DIRECTORY | readOnly;
    return (S_ISREG(info.st_mode) ? FILE_ATTRIBUTE_NORMAL : FILE_ATTRIBUTE_DEVICE) | readOnly;
}

// The names in a folder ("." and ".." left out), or those of the memory files.
std::vector<std::string> FolderNames(const std::string& folder, bool inMemory) {
    std::vector<std::string> names;
    if (inMemory) {
        for (const MemoryFile& file : MemoryFiles) {
            if (file.used) names.push_back(file.name);
        }
        return names;
    }
    DIR* listing = opendir(folder.c_str());
    if (!listing) return names;
    while (const dirent* entry = readdir(listing)) {
        std::string name = entry->d_name;
        if (name != "." && name != "..") names.push_back(name);
    }
    closedir(listing);
    return names;
}

// flock on fd, waiting for a lock another process holds (at most LockWaitMost) or not.
bool WaitForLock(int fd, int operation, bool wait) {
    auto giveUp = std::chrono::steady_clock::now() + LockWaitMost;
    for (;;) {
        if (flock(fd, operation | LOCK_NB) == 0) return true;
        if (errno != EWOULDBLOCK && errno != EINTR) return false;
        if (!wait || std::chrono::steady_clock::now() >= giveUp) return false;
        std::this_thread::sleep_for(LockRetry);
    }
}

}  // namespace

// A lock file at path, made when missing (never through a link), held exclusively; its
// descriptor, or -1 when it can't be had within the wait.
int TakeLockFile(const std::string& path) {
    int fd = open(path.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0600);
    if (fd < 0) return -1;
    struct stat info {};
    if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode) || !WaitForLock(fd, LOCK_EX, true)) {
        close(fd);
        return -1;
    }
    return fd;
}

void ReleaseLockFile(int fd) {
    if (fd >= 0) close(fd);
}

// Opens a file by the handheld's access and disposition rules; the invalid handle on failure
// (a missing file with OPEN_EXISTING, an existing one with CREATE_NEW, a broken path, or
// anything but a plain file: a folder, a device, a FIFO, which is opened without waiting for
// a writer and refused). Sharing is not enforced: POSIX has no mandatory sharing modes.
HANDLE CreateFileW(const WCHAR* path, DWORD access, DWORD, void*, DWORD disposition, DWORD,
                   HANDLE) {
    std::string name;
    bool known = false;
    int flags = OpenFlags(access, disposition, &known);
    if (!known || !PathFrom(path, &name)) return INVALID_HANDLE_VALUE;
    NoteScoreFile(name);
    if (Served(name)) return OpenMemoryFile(name, access, disposition);
    FileRecord* slot = FreeFileSlot();
    if (!slot) return INVALID_HANDLE_VALUE;
    int fd = open(name.c_str(), flags | O_NONBLOCK, 0666);
    if (fd < 0) return INVALID_HANDLE_VALUE;
    struct stat info {};
    if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        close(fd);
        return INVALID_HANDLE_VALUE;
    }
    *slot = {fd, -1, 0, (access & GENERIC_READ) != 0, (access & GENERIC_WRITE) != 0};
    return slot;
}

// Moves the position; returns its low 32 bits (the high ones through distanceHigh), or
// INVALID_SET_FILE_POINTER with the position unchanged when the move fails or, without
// distanceHigh, the result would not fit 32 bits.
DWORD SetFilePointer(HANDLE file, LONG distance, LONG* distanceHigh, DWORD method) {
    FileRecord* record = FileFrom(file);
    if (!record || method > FILE_END) return INVALID_SET_FILE_POINTER;
    if (record->memory >= 0) {
        long long base[] = {0, static_cast<long long>(record->position),
                            static_cast<long long>(MemoryFiles[record->memory].bytes.size())};
        long long after = base[method] + distance;
        if (after < 0 || after >= static_cast<long long>(LargestScoreFile)) return INVALID_SET_FILE_POINTER;
        record->position = static_cast<size_t>(after);
        if (distanceHigh) *distanceHigh = 0;
        return static_cast<DWORD>(after);
    }
    off_t offset = distance;
    if (distanceHigh) {
        uint64_t high = static_cast<uint32_t>(*distanceHigh);
        offset = static_cast<off_t>(high << 32 | static_cast<uint32_t>(distance));
    }
    off_t before = lseek(record->fd, 0, SEEK_CUR);
    off_t after = lseek(record->fd, offset, Whence[method]);
    if (after < 0) return INVALID_SET_FILE_POINTER;
    if (!distanceHigh && after >= static_cast<off_t>(INVALID_SET_FILE_POINTER)) {
        lseek(record->fd, before, SEEK_SET);
        return INVALID_SET_FILE_POINTER;
    }
    if (distanceHigh) *distanceHigh = static_cast<LONG>(static_cast<uint64_t>(after) >> 32);
    return static_cast<DWORD>(after);
}

// Reads up to count bytes; at the end of the file it succeeds with fewer (or 0).
BOOL ReadFile(HANDLE file, void* buffer, DWORD count, DWORD* bytesRead, void*) {
    if (bytesRead) *bytesRead = 0;
    FileRecord* record = FileFrom(file);
    if (!record || !record->canRead || (!buffer && count > 0)) return FALSE;
    if (record->memory >= 0) {
        const std::vector<uint8_t>& bytes = MemoryFiles[record->memory].bytes;
        size_t done = std::min<size_t>(count, bytes.size() - std::min(record->position, bytes.size()));
        if (done > 0) std::memcpy(buffer, bytes.data() + record->position, done);
        record->position += done;
        if (bytesRead) *bytesRead = static_cast<DWORD>(done);
        return TRUE;
    }
    DWORD done = 0;
    while (done < count) {
        ssize_t n = read(record->fd, static_cast<uint8_t*>(buffer) + done, count - done);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            if (bytesRead) *bytesRead = done;
            return FALSE;
        }
        if (n == 0) break;
        done += static_cast<DWORD>(n);
    }
    if (bytesRead) *bytesRead = done;
    return TRUE;
}

// Writes all count bytes or fails, reporting how many went out.
BOOL WriteFile(HANDLE file, const void* buffer, DWORD count, DWORD* bytesWritten, void*) {
    if (bytesWritten) *bytesWritten = 0;
    FileRecord* record = FileFrom(file);
    if (!record || !record->canWrite || (!buffer && count > 0)) return FALSE;
    if (record->memory >= 0) {
        std::vector<uint8_t>& bytes = MemoryFiles[record->memory].bytes;
        if (record->position + count > LargestScoreFile) return FALSE;
        if (bytes.size() < record->position + count) bytes.resize(record->position + count);
        if (count > 0) std::memcpy(bytes.data() + record->position, buffer, count);
        record->position += count;
        if (bytesWritten) *bytesWritten = count;
        return TRUE;
    }
    DWORD done = 0;
    while (done < count) {
        ssize_t n = write(record->fd, static_cast<const uint8_t*>(buffer) + done, count - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            if (bytesWritten) *bytesWritten = done;
            return FALSE;
        }
        done += static_cast<DWORD>(n);
    }
    if (bytesWritten) *bytesWritten = done;
    return TRUE;
}

// Puts the file's data on the disk.
BOOL FlushFileBuffers(HANDLE file) {
    FileRecord* record = FileFrom(file);
    if (record && record->memory >= 0) return TRUE;
    return record && fsync(record->fd) == 0 ? TRUE : FALSE;
}

// Closes a file handle; FALSE for anything that is not an open file of ours.
BOOL CloseHandle(HANDLE object) {
    FileRecord* record = FileFrom(object);
    if (!record) return FALSE;
    int fd = record->fd;
    *record = FileRecord{};
    return fd < 0 || close(fd) == 0 ? TRUE : FALSE;
}

// Renames a file; an existing target is replaced only with MOVEFILE_REPLACE_EXISTING.
BOOL MoveFileExW(const WCHAR* existing, const WCHAR* replacement, DWORD flags) {
    std::string from;
    std::string to;
    if (!PathFrom(existing, &from) || !PathFrom(replacement, &to)) return FALSE;
    if (Served(from) || Served(to)) {
        int file = FindMemoryFile(from);
        int old = FindMemoryFile(to);
        if (!Served(from) || !Served(to) || file < 0 || (old >= 0 && !(flags & MOVEFILE_REPLACE_EXISTING))) {
            return FALSE;
        }
        if (old >= 0 && old != file) MemoryFiles[old] = MemoryFile{};
        MemoryFiles[file].name = BaseName(to);
        return TRUE;
    }
    int result = flags & MOVEFILE_REPLACE_EXISTING ? rename(from.c_str(), to.c_str())
                                                   : RenameWithoutReplacing(from, to);
    if (result != 0) return FALSE;
    SyncFolderOf(to);
    return TRUE;
}

// Deletes a file (never a folder).
BOOL DeleteFileW(const WCHAR* path) {
    std::string name;
    if (!PathFrom(path, &name)) return FALSE;
    if (Served(name)) {
        int file = FindMemoryFile(name);
        if (file >= 0) MemoryFiles[file] = MemoryFile{};
        return file >= 0 ? TRUE : FALSE;
    }
    return unlink(name.c_str()) == 0 ? TRUE : FALSE;
}

// What the name itself is, a link not followed: FILE_ATTRIBUTE_REPARSE_POINT for a symbolic
// link, _DIRECTORY for a folder, _NORMAL for a plain file, _DEVICE for anything else (device,
// pipe, socket), with _READONLY when this process may not write it; INVALID_FILE_ATTRIBUTES
// when nothing can be found there.
DWORD GetFileAttributesW(const WCHAR* path) {
    std::string name;
    if (!PathFrom(path, &name)) return INVALID_FILE_ATTRIBUTES;
    NoteScoreFile(name);
    if (Served(name)) return FindMemoryFile(name) >= 0 ? FILE_ATTRIBUTE_NORMAL : INVALID_FILE_ATTRIBUTES;
    return AttributesOf(name);
}

// Locks the whole file, shared or exclusive; without LOCKFILE_FAIL_IMMEDIATELY a lock another
// process holds is waited for, two seconds at most. FALSE when it was not taken.
BOOL LockFileEx(HANDLE file, DWORD flags, DWORD, DWORD, DWORD, void*) {
    FileRecord* record = FileFrom(file);
    if (!record) return FALSE;
    if (record->memory >= 0) return TRUE;
    int operation = flags & LOCKFILE_EXCLUSIVE_LOCK ? LOCK_EX : LOCK_SH;
    return WaitForLock(record->fd, operation, !(flags & LOCKFILE_FAIL_IMMEDIATELY)) ? TRUE : FALSE;
}

BOOL UnlockFileEx(HANDLE file, DWORD, DWORD, DWORD, void*) {
    FileRecord* record = FileFrom(file);
    if (!record) return FALSE;
    return record->memory >= 0 || flock(record->fd, LOCK_UN) == 0 ? TRUE : FALSE;
}

// The names in a folder that match the last part of pattern ('*' any run of characters, '?'
// one), each with its attributes; the invalid handle when none does or the folder can't be
// read. In a replay the high score file's names are searched in memory.
HANDLE FindFirstFileW(const WCHAR* pattern, WIN32_FIND_DATAW* found) {
    std::string text;
    auto slot = std::find_if(std::begin(Searches), std::end(Searches),
                             [](const SearchRecord& search) { return !search.used; });
    if (!found || slot == std::end(Searches) || !PathFrom(pattern, &text)) {
        return INVALID_HANDLE_VALUE;
    }
    size_t slash = text.rfind('/');
    std::string folder = slash == std::string::npos ? "." : text.substr(0, slash + 1);
    std::string wanted = BaseName(text);
    SearchRecord search;
    search.used = true;
    for (const std::string& name : FolderNames(folder, Served(text))) {
        std::u16string wide;
        if (fnmatch(wanted.c_str(), name.c_str(), FNM_NOESCAPE) != 0 ||
            !Utf8ToUtf16(name.c_str(), &wide) || wide.size() >= MAX_PATH) {
            continue;
        }
        search.names.push_back(wide);
        search.attributes.push_back(Served(text) ? FILE_ATTRIBUTE_NORMAL : AttributesOf(folder + name));
    }
    if (search.names.empty()) return INVALID_HANDLE_VALUE;
    *slot = std::move(search);
    return FindNextFileW(&*slot, found) ? &*slot : INVALID_HANDLE_VALUE;
}

// The next name of a search; FALSE when there are no more.
BOOL FindNextFileW(HANDLE search, WIN32_FIND_DATAW* found) {
    auto slot = std::find_if(std::begin(Searches), std::end(Searches),
                             [search](const SearchRecord& record) { return &record == search; });
    if (!found || slot == std::end(Searches) || !slot->used || slot->next == slot->names.size()) {
        return FALSE;
    }
    const std::u16string& name = slot->names[slot->next];
    found->dwFileAttributes = slot->attributes[slot->next++];
    name.copy(found->cFileName, name.size());
    found->cFileName[name.size()] = 0;
    return TRUE;
}

BOOL FindClose(HANDLE search) {
    for (SearchRecord& slot : Searches) {
        if (&slot == search && slot.used) {
            slot = SearchRecord{};
            return TRUE;
        }
    }
    return FALSE;
}

// The full path of the file a handle has open, every link resolved: its length in characters;
// the size needed (with the terminator) when size is too small; 0 when it can't be had (the
// file was deleted or renamed since it was opened).
DWORD GetFinalPathNameByHandleW(HANDLE file, WCHAR* path, DWORD size, DWORD) {
    FileRecord* record = FileFrom(file);
    if (!record || record->memory >= 0) return 0;
    char buffer[MAX_PATH_CHARS * 4];
    std::string own = "/proc/self/fd/" + std::to_string(record->fd);
    ssize_t n = readlink(own.c_str(), buffer, sizeof buffer);
    if (n <= 0 || n == static_cast<ssize_t>(sizeof buffer)) return 0;
    std::string final(buffer, static_cast<size_t>(n));
    // The path must still name this very file.
    struct stat opened {};
    struct stat named {};
    if (fstat(record->fd, &opened) != 0 || stat(final.c_str(), &named) != 0 ||
        opened.st_dev != named.st_dev || opened.st_ino != named.st_ino) {
        return 0;
    }
    std::u16string wide;
    if (!Utf8ToUtf16(final.c_str(), &wide)) return 0;
    if (!path || wide.size() + 1 > size) return static_cast<DWORD>(wide.size() + 1);
    wide.copy(path, wide.size());
    path[wide.size()] = 0;
    return static_cast<DWORD>(wide.size());
}

// Makes one folder; FALSE when it exists already or its parent is missing.
BOOL CreateDirectoryW(const WCHAR* path, void*) {
    std::string name;
    return PathFrom(path, &name) && mkdir(name.c_str(), 0777) == 0 ? TRUE : FALSE;
}

// A special folder's path (CSIDL_APPDATA or CSIDL_COMMON_APPDATA), made first when create is
// set; FALSE for any other folder, one that can't be found or made, or a path too long.
BOOL SHGetSpecialFolderPathW(HWND, WCHAR* path, int folder, BOOL create) {
    if (!path) return FALSE;
    path[0] = 0;
    std::string found = folder == CSIDL_APPDATA ? UserFolder("XDG_DATA_HOME", "/.local/share")
                        : folder == CSIDL_COMMON_APPDATA ? SharedDataFolder()
                                                         : std::string();
    if (found.empty() || (create && !MakeFolders(found))) return FALSE;
    return HandOut(found, path) ? TRUE : FALSE;
}

// The executable's path as UTF-8: /proc/self/exe (the browser's page makes one too), or the
// path a host chose (the headless host's).
std::string ModulePath() {
    if (!ChosenModulePath.empty()) return ChosenModulePath;
    char buffer[MAX_PATH_CHARS * 4];
    ssize_t n = readlink("/proc/self/exe", buffer, sizeof buffer);
    if (n <= 0 || n == static_cast<ssize_t>(sizeof buffer)) return std::string();
    return std::string(buffer, static_cast<size_t>(n));
}

// SHGetSpecialFolderPathW and LoadIconW: the install's share/ folder, found from the program's
// own folder the way it was installed; empty without a program path.
std::string SharedDataFolder() {
    std::string own = ModulePath();
    size_t slash = own.rfind('/');
    if (slash == std::string::npos) return std::string();
    return NormalFolder(own.substr(0, slash + 1) + MARROWDALE_SHARE_FROM_PROGRAM);
}

// SHGetSpecialFolderPathW and the settings file: $variable when it is an absolute path, else
// the home folder (from $HOME, else from the user database) and belowHome.
std::string UserFolder(const char* variable, const char* belowHome) {
    const char* set = std::getenv(variable);
    if (set && set[0] == '/') return NormalFolder(set);
    const char* home = std::getenv("HOME");
    if (!home || home[0] != '/') {
        const passwd* user = getpwuid(getuid());
        home = user && user->pw_dir && user->pw_dir[0] == '/' ? user->pw_dir : nullptr;
    }
    return home ? NormalFolder(std::string(home) + belowHome) : std::string();
}

// SHGetSpecialFolderPathW and the settings file: a folder and any missing ones above it,
// private to the user as the XDG folders are.
bool MakeFolders(const std::string& folder) {
    for (size_t slash = folder.find('/', 1);; slash = folder.find('/', slash + 1)) {
        std::string step = folder.substr(0, slash);
        if (mkdir(step.c_str(), 0700) != 0 && errno != EEXIST) return false;
        if (slash == std::string::npos) break;
    }
    struct stat info {};
    return stat(folder.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

void SetModulePath(const char* path) { ChosenModulePath = path ? path : ""; }

// The executable's full path in UTF-16; 0 (and an empty buffer) when it does not fit or
// cannot be had: a cut path would name the wrong folder.
DWORD GetModuleFileNameW(HINSTANCE, WCHAR* path, DWORD size) {
    if (!path || size == 0) return 0;
    path[0] = 0;
    std::u16string wide;
    std::string own = ModulePath();
    if (own.empty() || !Utf8ToUtf16(own.c_str(), &wide) || wide.size() + 1 > size) return 0;
    wide.copy(path, wide.size());
    path[wide.size()] = 0;
    return static_cast<DWORD>(wide.size());
}

// A recording's note of the high score file: whether a name is there, whether it reads as a
// file, and its first bytes (a replay needs no more than the game ever reads).
ScoreFileState ReadScoreFileState(const std::string& path) {
    ScoreFileState state;
    struct stat info {};
    state.existed = lstat(path.c_str(), &info) == 0;
    int fd = state.existed ? open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC) : -1;
    if (fd < 0) return state;
    // The game opens no FIFO or device as its table: neither does its note, which would wait.
    if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        close(fd);
        return state;
    }
    uint8_t block[4096];
    ssize_t n = 0;
    state.readable = true;
    while (state.bytes.size() < LargestScoreFile && (n = read(fd, block, sizeof block)) != 0) {
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            state.readable = false;
            state.bytes.clear();
            break;
        }
        state.bytes.insert(state.bytes.end(), block, block + n);
    }
    close(fd);
    if (state.bytes.size() > LargestScoreFile) state.bytes.resize(LargestScoreFile);
    return state;
}

// A replay's start: the high score file as the recorded game found it, in memory.
void ServeScoreFile(const ScoreFileState& state) {
    for (MemoryFile& file : MemoryFiles) file = MemoryFile{};
    if (!state.existed) return;
    MemoryFiles[0] = MemoryFile{true, ScoreFileName, state.readable, state.bytes};
}

// A replay's end: the high score file as the replayed game left it.
ScoreFileState ServedScoreFile() {
    ScoreFileState state;
    int file = FindMemoryFile(ScoreFileName);
    if (file < 0) return state;
    state.existed = true;
    state.readable = MemoryFiles[file].readable;
    state.bytes = MemoryFiles[file].bytes;
    return state;
}
