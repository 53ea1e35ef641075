// Resource archive: the index of named entries, read once, and the shared, positioned data handle.
#include <cstdio>
#include <cstring>

#include "assets/assets.h"

HANDLE ArchiveData = INVALID_HANDLE_VALUE;

namespace {

// The index as read at the start, whole records only; the game's own holds 38.
uint8_t IndexRecords[ArchiveRecordsMost * ArchiveRecordBytes];
int32_t IndexRecordCount;
// Both paths in UTF-8, so every message says where the entries were looked for.
char IndexName[NarrowPathBytes];
char DataName[NarrowPathBytes];
// Set once the archive as a whole was reported unusable: its entries then stay quiet.
bool ArchiveReported;

HANDLE OpenForReading(const WCHAR* path) {
    return CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_ALWAYS,
                       FILE_ATTRIBUTE_NORMAL, nullptr);
}

// Whether the file holds at least one byte; leaves it at byte 0.
bool HoldsData(HANDLE file) {
    uint8_t probe;
    DWORD got = 0;
    bool holds = ReadFile(file, &probe, 1, &got, nullptr) && got == 1;
    SetFilePointer(file, 0, nullptr, FILE_BEGIN);
    return holds;
}

void ReportArchive(const char* problem, const char* path, bool special = false) {
    std::fprintf(stderr, "marrowdale: %s %s%s; the game runs without its pictures and text\n",
                 problem, path, special ? " (not a plain file)" : "");
    ArchiveReported = true;
}

// Reads the whole index into IndexRecords in one go; one line when it can't be used. An index
// with more records than any real archive holds is damage and is refused, not searched.
void ReadIndex(const WCHAR* indexPath) {
    IndexRecordCount = 0;
    HANDLE index = OpenForReading(indexPath);
    if (index == INVALID_HANDLE_VALUE) {
        ReportArchive("cannot open the archive index", IndexName, IsSpecialFile(indexPath));
        return;
    }
    DWORD got = 0;
    uint8_t beyond;
    DWORD more = 0;
    bool read = ReadFile(index, IndexRecords, sizeof IndexRecords, &got, nullptr) &&
                ReadFile(index, &beyond, 1, &more, nullptr);
    CloseHandle(index);
    if (!read) {
        ReportArchive("cannot read the archive index", IndexName);
    } else if (more > 0) {
        std::fprintf(stderr,
                     "marrowdale: the archive index %s holds over %d entries, more than any "
                     "real one; the game runs without its pictures and text\n",
                     IndexName, ArchiveRecordsMost);
        ArchiveReported = true;
    } else if (got < ArchiveRecordBytes) {
        ReportArchive("no entries (missing or empty file) in", IndexName);
    } else {
        IndexRecordCount = static_cast<int32_t>(got / ArchiveRecordBytes);
    }
}

// One line for a whole archive that can't serve, so its 38 lookups don't each repeat it.
void CheckData(const WCHAR* dataPath) {
    if (ArchiveReported) return;
    if (ArchiveData == INVALID_HANDLE_VALUE) {
        ReportArchive("cannot open the archive data", DataName, IsSpecialFile(dataPath));
    } else if (!HoldsData(ArchiveData)) {
        ReportArchive("no data (missing or empty file) in", DataName);
    }
}

// A name field counts only when its zero byte lies inside it; the rest of it is ignored.
bool RecordNamed(const uint8_t* record, const char* name) {
    if (!std::memchr(record, 0, ArchiveNameBytes)) return false;
    return std::strcmp(reinterpret_cast<const char*>(record), name) == 0;
}

uint32_t RecordOffset(const uint8_t* record) {
    const uint8_t* field = record + ArchiveNameBytes;
    return static_cast<uint32_t>(field[0]) | static_cast<uint32_t>(field[1]) << 8 |
           static_cast<uint32_t>(field[2]) << 16 | static_cast<uint32_t>(field[3]) << 24;
}

HANDLE MissingEntry(const char* problem, const char* name) {
    if (!ArchiveReported) {
        std::fprintf(stderr, "marrowdale: %s \"%s\" in %s; it stays blank\n", problem, name,
                     IndexName);
    }
    return INVALID_HANDLE_VALUE;
}

}  // namespace

// Asset loading, first of all: reads the index, then opens the data (an absent file is
// created empty) and says once on stderr when the archive can't serve.
void OpenArchive(const WCHAR* indexPath, const WCHAR* dataPath) {
    NarrowPath(indexPath, IndexName, NarrowPathBytes);
    NarrowPath(dataPath, DataName, NarrowPathBytes);
    ArchiveReported = false;
    ReadIndex(indexPath);
    ArchiveData = OpenForReading(dataPath);
    CheckData(dataPath);
}

// Image and font loaders: the data handle placed at the first entry of that exact name, or
// INVALID_HANDLE_VALUE. A failed lookup leaves the data handle where it was.
HANDLE FindArchiveEntry(const char* name) {
    if (ArchiveData == INVALID_HANDLE_VALUE) return MissingEntry("no entry", name);
    for (int32_t i = 0; i < IndexRecordCount; ++i) {
        const uint8_t* record = IndexRecords + i * ArchiveRecordBytes;
        if (!RecordNamed(record, name)) continue;
        // Offsets past 2 GB don't fit the positioning call and are taken as damage.
        uint32_t offset = RecordOffset(record);
        if (offset > 0x7FFFFFFFu ||
            SetFilePointer(ArchiveData, static_cast<LONG>(offset), nullptr, FILE_BEGIN) ==
                INVALID_SET_FILE_POINTER) {
            return MissingEntry("an offset out of reach for entry", name);
        }
        return ArchiveData;
    }
    return MissingEntry("no entry", name);
}

// Loaders, right after a lookup or a read: the entry's next bytes, reporting an entry cut short.
DWORD ReadArchiveEntry(HANDLE entry, void* buffer, DWORD count, const char* name, DWORD before) {
    DWORD got = 0;
    if (!ReadFile(entry, buffer, count, &got, nullptr)) got = 0;
    if (got < count && !ArchiveReported) {
        std::fprintf(stderr,
                     "marrowdale: entry \"%s\" in %s is cut short (%u of %u bytes); the rest "
                     "stays blank\n",
                     name, DataName, static_cast<unsigned>(before + got),
                     static_cast<unsigned>(before + count));
    }
    return got;
}

// Asset release: forgets the index and closes the data.
void CloseArchive() {
    IndexRecordCount = 0;
    if (ArchiveData != INVALID_HANDLE_VALUE) CloseHandle(ArchiveData);
    ArchiveData = INVALID_HANDLE_VALUE;
}
