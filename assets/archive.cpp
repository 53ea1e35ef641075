// Resource archive: the index of named entries and the one shared, positioned data handle.
#include <cstdio>
#include <cstring>

#include "assets/assets.h"

HANDLE ArchiveIndex = INVALID_HANDLE_VALUE;
HANDLE ArchiveData = INVALID_HANDLE_VALUE;

namespace {

// Both paths in UTF-8, so every message says where the entries were looked for.
char IndexName[NarrowPathBytes];
char DataName[NarrowPathBytes];
// Set once the archive as a whole was reported unusable: its entries then stay quiet.
bool ArchiveReported;

HANDLE OpenForReading(const WCHAR* path) {
    return CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_ALWAYS,
                       FILE_ATTRIBUTE_NORMAL, nullptr);
}

// Whether the file holds at least count bytes (count up to one record); leaves it at byte 0.
bool HoldsBytes(HANDLE file, DWORD count) {
    uint8_t probe[ArchiveRecordBytes];
    DWORD got = 0;
    SetFilePointer(file, 0, nullptr, FILE_BEGIN);
    bool holds = ReadFile(file, probe, count, &got, nullptr) && got == count;
    SetFilePointer(file, 0, nullptr, FILE_BEGIN);
    return holds;
}

void ReportArchive(const char* problem, const char* path) {
    std::fprintf(stderr, "marrowdale: %s %s; the game runs without its pictures and text\n",
                 problem, path);
    ArchiveReported = true;
}

// One line for a whole archive that can't serve, so its 38 lookups don't each repeat it.
void CheckArchive() {
    ArchiveReported = false;
    if (ArchiveIndex == INVALID_HANDLE_VALUE) {
        ReportArchive("cannot open the archive index", IndexName);
    } else if (!HoldsBytes(ArchiveIndex, ArchiveRecordBytes)) {
        ReportArchive("no entries (missing or empty file) in", IndexName);
    } else if (ArchiveData == INVALID_HANDLE_VALUE) {
        ReportArchive("cannot open the archive data", DataName);
    } else if (!HoldsBytes(ArchiveData, 1)) {
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

// Asset loading, first of all: opens the index, then the data (an absent file is created
// empty) and says once on stderr when the archive can't serve.
void OpenArchive(const WCHAR* indexPath, const WCHAR* dataPath) {
    NarrowPath(indexPath, IndexName, NarrowPathBytes);
    NarrowPath(dataPath, DataName, NarrowPathBytes);
    ArchiveIndex = OpenForReading(indexPath);
    ArchiveData = OpenForReading(dataPath);
    CheckArchive();
}

// Image and font loaders: the data handle placed at the first entry of that exact name, or
// INVALID_HANDLE_VALUE. Rescans the index from its start; a trailing partial record is no
// record, and a failed lookup leaves the data handle where it was.
HANDLE FindArchiveEntry(const char* name) {
    if (ArchiveIndex == INVALID_HANDLE_VALUE || ArchiveData == INVALID_HANDLE_VALUE) {
        return MissingEntry("no entry", name);
    }
    SetFilePointer(ArchiveIndex, 0, nullptr, FILE_BEGIN);
    uint8_t record[ArchiveRecordBytes];
    DWORD got = 0;
    while (ReadFile(ArchiveIndex, record, ArchiveRecordBytes, &got, nullptr) &&
           got == ArchiveRecordBytes) {
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

// Loaders, right after a lookup: one read of the entry's bytes, reporting an entry cut short.
DWORD ReadArchiveEntry(HANDLE entry, void* buffer, DWORD count, const char* name) {
    DWORD got = 0;
    if (!ReadFile(entry, buffer, count, &got, nullptr)) got = 0;
    if (got < count && !ArchiveReported) {
        std::fprintf(stderr,
                     "marrowdale: entry \"%s\" in %s is cut short (%u of %u bytes); the rest "
                     "stays blank\n",
                     name, DataName, static_cast<unsigned>(got), static_cast<unsigned>(count));
    }
    return got;
}

// Asset release: closes the index, then the data.
void CloseArchive() {
    if (ArchiveIndex != INVALID_HANDLE_VALUE) CloseHandle(ArchiveIndex);
    if (ArchiveData != INVALID_HANDLE_VALUE) CloseHandle(ArchiveData);
    ArchiveIndex = INVALID_HANDLE_VALUE;
    ArchiveData = INVALID_HANDLE_VALUE;
}
