// The resource archive's two files (index of 28-byte records, data file) for the tools.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

constexpr int ArchiveRecordSize = 28;
constexpr int ArchiveNameField = 20;

// One index record: the name, where the entry starts in the data file and its length.
struct ArchiveRecord {
    std::string name;
    uint32_t offset = 0;
    uint32_t length = 0;
};

// One entry to be packed.
struct ArchiveEntry {
    std::string name;
    std::vector<uint8_t> bytes;
};

// Empty when the name fits a record (1 to 19 bytes, no zero byte); otherwise why not.
std::string CheckArchiveName(const std::string& name);

// Lays the entries out back to back in the data file and makes the matching index.
// False with a reason when a name doesn't fit or the data outgrows 32-bit offsets.
bool BuildArchive(const std::vector<ArchiveEntry>& entries, std::vector<uint8_t>& index,
                  std::vector<uint8_t>& data, std::string& error);

// Reads index bytes into records. False with a reason for a partial record or an
// unterminated name.
bool ParseArchiveIndex(const std::vector<uint8_t>& index, std::vector<ArchiveRecord>& records,
                       std::string& error);

// The first record of that exact (case-sensitive) name, as the game's lookup finds it; or null.
const ArchiveRecord* FindArchiveRecord(const std::vector<ArchiveRecord>& records,
                                       const std::string& name);

// Whole-file helpers for the tools. False with a reason naming the path.
bool ReadWholeFile(const std::string& path, std::vector<uint8_t>& bytes, std::string& error);
bool WriteWholeFile(const std::string& path, const std::vector<uint8_t>& bytes, std::string& error);
