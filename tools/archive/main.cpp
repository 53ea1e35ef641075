// marrowdale-archive: lists, extracts and packs the game's resource archive (index + data).
#include <cctype>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

#include "tools/common/archive.h"
#include "tools/common/tga.h"

namespace {

namespace fs = std::filesystem;

const char* const Program = "marrowdale-archive";

// Prints how to call the tool (for --help).
int Usage() {
    std::printf(
        "usage: %s list IDX DAT\n"
        "       %s extract IDX DAT OUTDIR [NAME...]\n"
        "       %s pack IDX DAT FILE...\n"
        "Entries are named by their file's base name; the game uses the first\n"
        "record of a name. A .tga file of type 1, 2, 9 or 10 with at most 256\n"
        "colours is packed in the game's own layout, at the size the game reads\n"
        "that name at; extracted pictures are plain colour-mapped TGAs.\n",
        Program, Program, Program);
    return 0;
}

// Prints one error line; the result is the failure exit status.
int Fail(const std::string& message) {
    std::fprintf(stderr, "%s: %s\n", Program, message.c_str());
    return 1;
}

// Reads both files and parses the index; false after printing why.
bool LoadArchive(const std::string& idxPath, const std::string& datPath,
                 std::vector<ArchiveRecord>& records, std::vector<uint8_t>& data) {
    std::vector<uint8_t> index;
    std::string error;
    if (!ReadWholeFile(idxPath, index, error) || !ReadWholeFile(datPath, data, error)) {
        Fail(error);
        return false;
    }
    if (!ParseArchiveIndex(index, records, error)) {
        Fail(idxPath + ": " + error);
        return false;
    }
    return true;
}

// True when the entry lies wholly inside the data file.
bool EntryFits(const ArchiveRecord& record, const std::vector<uint8_t>& data) {
    return static_cast<uint64_t>(record.offset) + record.length <= data.size();
}

// Prints every record: name, offset, length.
int ListArchive(const std::string& idxPath, const std::string& datPath) {
    std::vector<ArchiveRecord> records;
    std::vector<uint8_t> data;
    if (!LoadArchive(idxPath, datPath, records, data)) return 1;
    bool allFit = true;
    for (const ArchiveRecord& record : records) {
        std::printf("%-19s %10u %10u\n", record.name.c_str(), record.offset, record.length);
        allFit = allFit && EntryFits(record, data);
    }
    if (!allFit) return Fail(datPath + ": some entries run past the end of the data file");
    return 0;
}

// Writes one entry's bytes to OUTDIR/NAME; false after printing why.
bool ExtractEntry(const ArchiveRecord& record, const std::vector<uint8_t>& data,
                  const fs::path& outDir) {
    if (record.name.empty() || record.name.find('/') != std::string::npos || record.name == "." ||
        record.name == "..") {
        Fail("refusing to extract entry with unsafe name '" + record.name + "'");
        return false;
    }
    if (!EntryFits(record, data)) {
        Fail("entry '" + record.name + "' runs past the end of the data file");
        return false;
    }
    auto first = data.begin() + record.offset;
    std::vector<uint8_t> bytes(first, first + record.length);
    std::string error;
    if (!WriteWholeFile((outDir / record.name).string(), bytes, error)) {
        Fail(error);
        return false;
    }
    return true;
}

// Extracts the named entries, or every name once (its first record) when none are named.
int ExtractArchive(const std::string& idxPath, const std::string& datPath,
                   const std::string& outDir, const std::vector<std::string>& names) {
    std::vector<ArchiveRecord> records;
    std::vector<uint8_t> data;
    if (!LoadArchive(idxPath, datPath, records, data)) return 1;
    std::error_code ec;
    fs::create_directories(outDir, ec);
    if (ec) return Fail(outDir + ": cannot create folder: " + ec.message());
    std::vector<const ArchiveRecord*> chosen;
    if (names.empty()) {
        for (const ArchiveRecord& record : records)
            if (FindArchiveRecord(records, record.name) == &record) chosen.push_back(&record);
    }
    for (const std::string& name : names) {
        const ArchiveRecord* record = FindArchiveRecord(records, name);
        if (!record) return Fail("no entry named '" + name + "' in " + idxPath);
        chosen.push_back(record);
    }
    for (const ArchiveRecord* record : chosen)
        if (!ExtractEntry(*record, data, outDir)) return 1;
    return 0;
}

// Whether the name is a picture's (.tga in any case).
bool IsTgaName(const std::string& name) {
    std::string extension = fs::path(name).extension().string();
    for (char& c : extension) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return extension == ".tga";
}

// A TGA from any common tool in the game's layout, checked against the size the game reads
// under that name; false with a reason.
bool ConvertPicture(ArchiveEntry& entry, std::string& error) {
    TgaPicture picture;
    if (!ReadTga(entry.bytes, picture, error)) return false;
    const GamePicture* wanted = FindGamePicture(entry.name);
    if (wanted && (picture.width != wanted->width || picture.height != wanted->height)) {
        error = std::to_string(picture.width) + " x " + std::to_string(picture.height) +
                " pixels; the game reads '" + entry.name + "' at " +
                std::to_string(wanted->width) + " x " + std::to_string(wanted->height);
        return false;
    }
    if (!EncodeGameTga(picture, entry.bytes, error)) return false;
    if (!wanted)
        std::fprintf(stderr, "%s: note: the game loads no picture named '%s'\n", Program,
                     entry.name.c_str());
    return true;
}

// Packs the files in the order given; both archive files are replaced only on success.
int PackArchive(const std::string& idxPath, const std::string& datPath,
                const std::vector<std::string>& files) {
    std::vector<ArchiveEntry> entries;
    std::string error;
    for (const std::string& file : files) {
        ArchiveEntry entry;
        entry.name = fs::path(file).filename().string();
        if (!ReadWholeFile(file, entry.bytes, error)) return Fail(error);
        error = CheckArchiveName(entry.name);
        if (!error.empty()) return Fail(file + ": " + error);
        if (IsTgaName(entry.name) && !ConvertPicture(entry, error))
            return Fail(file + ": " + error);
        for (const ArchiveEntry& earlier : entries)
            if (earlier.name == entry.name)
                std::fprintf(stderr, "%s: note: '%s' is packed twice; the first one is used\n",
                             Program, entry.name.c_str());
        entries.push_back(std::move(entry));
    }
    std::vector<uint8_t> index, data;
    if (!BuildArchive(entries, index, data, error)) return Fail(error);
    std::string idxTemp = idxPath + ".part", datTemp = datPath + ".part";
    if (!WriteWholeFile(idxTemp, index, error) || !WriteWholeFile(datTemp, data, error)) {
        std::remove(idxTemp.c_str());
        std::remove(datTemp.c_str());
        return Fail(error);
    }
    std::error_code ec;
    fs::rename(datTemp, datPath, ec);
    if (!ec) fs::rename(idxTemp, idxPath, ec);
    if (ec) return Fail(idxPath + ": cannot replace: " + ec.message());
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    if (args.size() == 1 && (args[0] == "--help" || args[0] == "-h")) return Usage();
    if (args.size() == 3 && args[0] == "list") return ListArchive(args[1], args[2]);
    if (args.size() >= 4 && args[0] == "extract")
        return ExtractArchive(args[1], args[2], args[3],
                              std::vector<std::string>(args.begin() + 4, args.end()));
    if (args.size() >= 4 && args[0] == "pack")
        return PackArchive(args[1], args[2],
                           std::vector<std::string>(args.begin() + 3, args.end()));
    std::string problem =
        args.empty() ? "no command given" : "unknown command or wrong arguments: '" + args[0] + "'";
    std::fprintf(stderr, "%s: %s (see --help)\n", Program, problem.c_str());
    return 2;
}
