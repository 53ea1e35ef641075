// Resource archive reading and writing shared by the content builder and the archive tool.
#include "tools/common/archive.h"

#include <cerrno>
#include <cstring>
#include <fstream>
#include <iterator>

namespace {

void PutLittle32(uint8_t* at, uint32_t value) {
    for (int i = 0; i < 4; ++i) at[i] = static_cast<uint8_t>(value >> (8 * i));
}

uint32_t GetLittle32(const uint8_t* at) {
    return static_cast<uint32_t>(at[0]) | static_cast<uint32_t>(at[1]) << 8 |
           static_cast<uint32_t>(at[2]) << 16 | static_cast<uint32_t>(at[3]) << 24;
}

}  // namespace

std::string CheckArchiveName(const std::string& name) {
    if (name.empty()) return "an entry name is empty";
    if (name.size() >= ArchiveNameField)
        return "entry name '" + name + "' is longer than 19 characters";
    if (name.find('\0') != std::string::npos) return "an entry name holds a zero byte";
    return "";
}

bool BuildArchive(const std::vector<ArchiveEntry>& entries, std::vector<uint8_t>& index,
                  std::vector<uint8_t>& data, std::string& error) {
    index.assign(entries.size() * ArchiveRecordSize, 0);
    data.clear();
    for (size_t i = 0; i < entries.size(); ++i) {
        const ArchiveEntry& entry = entries[i];
        error = CheckArchiveName(entry.name);
        if (!error.empty()) return false;
        if (data.size() + entry.bytes.size() > 0xFFFFFFFFu) {
            error = "the data file would pass 4 GiB at entry '" + entry.name + "'";
            return false;
        }
        uint8_t* record = index.data() + i * ArchiveRecordSize;
        std::memcpy(record, entry.name.data(), entry.name.size());
        PutLittle32(record + ArchiveNameField, static_cast<uint32_t>(data.size()));
        PutLittle32(record + ArchiveNameField + 4, static_cast<uint32_t>(entry.bytes.size()));
        data.insert(data.end(), entry.bytes.begin(), entry.bytes.end());
    }
    return true;
}

bool ParseArchiveIndex(const std::vector<uint8_t>& index, std::vector<ArchiveRecord>& records,
                       std::string& error) {
    records.clear();
    if (index.size() % ArchiveRecordSize != 0) {
        error = "index length " + std::to_string(index.size()) + " is not a multiple of 28";
        return false;
    }
    for (size_t at = 0; at < index.size(); at += ArchiveRecordSize) {
        const uint8_t* record = index.data() + at;
        const void* end = std::memchr(record, 0, ArchiveNameField);
        if (!end) {
            error = "index record " + std::to_string(at / ArchiveRecordSize) +
                    " has no zero byte ending its name";
            return false;
        }
        ArchiveRecord parsed;
        parsed.name.assign(reinterpret_cast<const char*>(record),
                           static_cast<const uint8_t*>(end) - record);
        parsed.offset = GetLittle32(record + ArchiveNameField);
        parsed.length = GetLittle32(record + ArchiveNameField + 4);
        records.push_back(parsed);
    }
    return true;
}

const ArchiveRecord* FindArchiveRecord(const std::vector<ArchiveRecord>& records,
                                       const std::string& name) {
    for (const ArchiveRecord& record : records)
        if (record.name == name) return &record;
    return nullptr;
}

bool ReadWholeFile(const std::string& path, std::vector<uint8_t>& bytes, std::string& error) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        error = path + ": cannot open: " + std::strerror(errno);
        return false;
    }
    bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    if (in.bad()) {
        error = path + ": read failed";
        return false;
    }
    return true;
}

bool WriteWholeFile(const std::string& path, const std::vector<uint8_t>& bytes,
                    std::string& error) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    if (!out) {
        error = path + ": cannot create: " + std::strerror(errno);
        return false;
    }
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
    out.close();
    if (!out) {
        error = path + ": write failed";
        return false;
    }
    return true;
}
