// Sound files: each WAV and MOD read whole and checked against its own size before libmikmod
// gets its bytes.
#include <algorithm>
#include <cstdio>
#include <cstring>

#include "audio/audio.h"

namespace {

// Room for any 4-channel module (128 patterns and 31 samples of 128 KiB: 4.2 MB) twice over.
constexpr uint32_t SoundFileBytesMost = 8u << 20;
// One file at a time, at start and when a tune is loaded; libmikmod copies what it keeps.
uint8_t SoundFileBytes[SoundFileBytesMost];

// ---- WAV: "RIFF" size "WAVE", then chunks of id, size and body, each padded to even length.
constexpr uint32_t RiffHeaderBytes = 12;
constexpr uint32_t ChunkHeaderBytes = 8;
constexpr uint32_t FormatBytes = 16;
// A plain header: RIFF, a 16-byte "fmt " chunk, the "data" chunk's id and size.
constexpr uint32_t PlainHeaderBytes = RiffHeaderBytes + ChunkHeaderBytes + FormatBytes +
                                      ChunkHeaderBytes;
constexpr uint16_t PcmFormat = 1;
constexpr uint32_t SlowestRate = 1000;
constexpr uint32_t FastestRate = 192000;

// ---- MOD: 20-byte title, 31 instruments of 30 bytes, song length, restart byte, 128 orders,
// signature; then the patterns (64 rows of one 4-byte note a channel) and the samples.
constexpr uint32_t ModHeaderBytes = 1084;
constexpr int ModInstruments = 31;
constexpr uint32_t FirstInstrumentAt = 20;
constexpr uint32_t InstrumentBytes = 30;
constexpr uint32_t SampleWordsAt = 22;
constexpr uint32_t SongLengthAt = 950;
constexpr uint32_t OrderAt = 952;
constexpr int OrderEntries = 128;
constexpr uint32_t SignatureAt = 1080;
constexpr uint32_t PatternRowBytesPerChannel = 64 * 4;
// libmikmod's loader counts the patterns of the orders past the song's end too, unless one of
// those orders is this or more.
constexpr uint8_t ScannedOrderLimit = 0x80;
// The signatures of 31-instrument modules whose patterns are plain rows of 4 channels; "nCHN"
// names its own count of 1 to 9.
constexpr char FourChannelSignatures[][5] = {"M.K.", "M!K!", "FLT4", "EXO4"};

uint32_t Little32(const uint8_t* p) {
    return p[0] | p[1] << 8 | p[2] << 16 | static_cast<uint32_t>(p[3]) << 24;
}
uint16_t Little16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | p[1] << 8); }
uint16_t Big16(const uint8_t* p) { return static_cast<uint16_t>(p[0] << 8 | p[1]); }

void PutLittle(uint8_t* p, uint32_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) p[i] = static_cast<uint8_t>(value >> (8 * i));
}

struct WaveFormat {
    uint32_t rate;
    uint16_t bits;
};

// A "fmt " chunk's body: mono PCM of 8 or 16 bits at a usable rate; null, or why not.
const char* ReadWaveFormat(const uint8_t* body, uint32_t length, WaveFormat* format) {
    if (length < FormatBytes) return "its format chunk is cut short";
    uint16_t tag = Little16(body), channels = Little16(body + 2), align = Little16(body + 12);
    uint32_t rate = Little32(body + 4);
    uint16_t bits = Little16(body + 14);
    if (tag != PcmFormat || channels != 1 || (bits != 8 && bits != 16) || align != bits / 8) {
        return "it is not mono 8- or 16-bit PCM";
    }
    if (rate < SlowestRate || rate > FastestRate) return "its sample rate is out of range";
    *format = {rate, bits};
    return nullptr;
}

// The header libmikmod reads, for format and length bytes of sound, written at header.
void WritePlainHeader(uint8_t* header, const WaveFormat& format, uint32_t length) {
    uint16_t align = static_cast<uint16_t>(format.bits / 8);
    std::memcpy(header, "RIFF", 4);
    PutLittle(header + 4, PlainHeaderBytes - ChunkHeaderBytes + length, 4);
    std::memcpy(header + 8, "WAVEfmt ", 8);
    PutLittle(header + 16, FormatBytes, 4);
    PutLittle(header + 20, PcmFormat, 2);
    PutLittle(header + 22, 1, 2);
    PutLittle(header + 24, format.rate, 4);
    PutLittle(header + 28, format.rate * align, 4);
    PutLittle(header + 32, align, 2);
    PutLittle(header + 34, format.bits, 2);
    std::memcpy(header + 36, "data", 4);
    PutLittle(header + 40, length, 4);
}

// Channels of a module signature, 0 for one this game does not play.
int ModChannels(const uint8_t* signature) {
    for (const char* known : FourChannelSignatures) {
        if (std::memcmp(signature, known, 4) == 0) return 4;
    }
    bool counted = signature[0] >= '1' && signature[0] <= '9';
    return counted && !std::memcmp(signature + 1, "CHN", 3) ? signature[0] - '0' : 0;
}

// Reads the file at path whole into SoundFileBytes; its size, or 0 with why not.
uint32_t ReadWhole(const char* path, const char** why) {
    static WCHAR wide[MAX_PATH_CHARS];
    HANDLE file = INVALID_HANDLE_VALUE;
    if (MultiByteToWideChar(CP_UTF8, 0, path, -1, wide, MAX_PATH_CHARS) > 0) {
        file = CreateFileW(wide, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    }
    if (file == INVALID_HANDLE_VALUE) {
        *why = "is missing or cannot be opened";
        return 0;
    }
    LONG high = 0;
    DWORD size = SetFilePointer(file, 0, &high, FILE_END);
    DWORD got = 0;
    if (high != 0 || (size > SoundFileBytesMost && size != INVALID_SET_FILE_POINTER)) {
        *why = "is larger than 8 MiB";
    } else if (size == 0) {
        *why = "is empty";
    } else if (size == INVALID_SET_FILE_POINTER ||
               SetFilePointer(file, 0, nullptr, FILE_BEGIN) != 0 ||
               !ReadFile(file, SoundFileBytes, size, &got, nullptr) || got != size) {
        *why = "cannot be read";
    }
    CloseHandle(file);
    return *why ? 0 : size;
}

}  // namespace

// ReadSoundFile and the fuzz target: checks a WAV file's bytes (mono PCM of 8 or 16 bits at
// 1000 to 192000 Hz; the RIFF size, every chunk and the sound inside the file) and rewrites the
// 44 bytes before its sound as a plain header, which is all libmikmod then reads of the
// original. Null with image set, or why the file is refused (the bytes may then be changed).
const char* CheckWave(uint8_t* bytes, uint32_t size, SoundImage* image) {
    bool riff = size >= RiffHeaderBytes && !std::memcmp(bytes, "RIFF", 4);
    if (!riff || std::memcmp(bytes + 8, "WAVE", 4)) return "it is not a RIFF/WAVE file";
    uint64_t end = uint64_t{Little32(bytes + 4)} + ChunkHeaderBytes;
    if (end > size) return "its RIFF size runs past the end of the file";
    WaveFormat format{};
    bool formatSeen = false;
    for (uint64_t at = RiffHeaderBytes; at + ChunkHeaderBytes <= end;) {
        const uint8_t* chunk = bytes + at;
        uint64_t body = at + ChunkHeaderBytes;
        uint32_t length = Little32(chunk + 4);
        if (body + length > end) return "a chunk runs past the end of the file";
        if (!std::memcmp(chunk, "fmt ", 4)) {
            if (const char* why = ReadWaveFormat(bytes + body, length, &format)) return why;
            formatSeen = true;
        } else if (!std::memcmp(chunk, "data", 4)) {
            if (!formatSeen) return "its sound comes before its format";
            if (length < format.bits / 8u) return "it holds no sound";
            // A format chunk of at least 16 bytes comes first, so the header has room.
            uint8_t* header = bytes + body - PlainHeaderBytes;
            WritePlainHeader(header, format, length);
            *image = {header, PlainHeaderBytes + length};
            return nullptr;
        }
        at = body + length + (length & 1);
    }
    return formatSeen ? "it holds no sound" : "it has no format chunk";
}

// ReadSoundFile and the fuzz target: checks a MOD file's bytes (the 1084-byte header of 31
// instruments, a signature of plain rows of 1 to 9 channels, a song of 1 to 128 orders, and
// the patterns the orders name and the samples inside the file). Null with image set to the
// whole file, or why the file is refused.
const char* CheckModule(const uint8_t* bytes, uint32_t size, SoundImage* image) {
    if (size < ModHeaderBytes) return "it is shorter than a MOD header";
    int channels = ModChannels(bytes + SignatureAt);
    if (channels == 0) return "it has no MOD signature of 1 to 9 channels";
    int songLength = bytes[SongLengthAt];
    if (songLength < 1 || songLength > OrderEntries) return "its song length is out of range";
    const uint8_t* order = bytes + OrderAt;
    bool scanned = std::all_of(order + songLength, order + OrderEntries,
                               [](uint8_t pattern) { return pattern < ScannedOrderLimit; });
    int patterns = *std::max_element(order, order + (scanned ? OrderEntries : songLength)) + 1;
    uint64_t needed = ModHeaderBytes + uint64_t{PatternRowBytesPerChannel} * channels * patterns;
    for (int i = 0; i < ModInstruments; ++i) {
        needed += 2u * Big16(bytes + FirstInstrumentAt + i * InstrumentBytes + SampleWordsAt);
    }
    if (needed > size) return "its patterns and samples run past the end of the file";
    *image = {bytes, size};
    return nullptr;
}

// Audio loading: reads the sound file at path whole and checks it as its kind; true with image
// set to the bytes for libmikmod (valid until the next call), else false after one line on
// stderr naming the file, what is wrong and that it stays silent.
bool ReadSoundFile(const char* path, SoundKind kind, SoundImage* image) {
    const char* why = nullptr;
    uint32_t size = ReadWhole(path, &why);
    if (size > 0) {
        why = kind == EffectSound ? CheckWave(SoundFileBytes, size, image)
                                  : CheckModule(SoundFileBytes, size, image);
    }
    if (!why) return true;
    const char* outcome = kind == EffectSound ? "the effect stays silent" : "there is no music";
    if (size > 0) {
        std::fprintf(stderr, "marrowdale: sound file %s is damaged (%s); %s\n", path, why, outcome);
    } else {
        std::fprintf(stderr, "marrowdale: sound file %s %s; %s\n", path, why, outcome);
    }
    return false;
}
