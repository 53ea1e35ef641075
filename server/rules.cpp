// The world table's rules: a game is listed only when it was played as the game is played by
// default (its pace, a live game's stalls, the keys' meanings), with points and a name; the
// identity of a game's play under them; and the version that verifies games.
#include <openssl/evp.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "assets/assets.h"
#include "journal/journal.h"
#include "journal/play.h"
#include "server/server.h"

namespace {

// A live game's stalls: none longer than this in play, and no more than a hundredth of its
// time in play.
constexpr uint32_t LongestStallMs = 1000;
constexpr uint64_t StallShareDivisor = 100;
// Changed whenever a rule changes what a game is, so a play under other rules is another.
constexpr char RulesTag[] = "marrowdale world table, rules 1\n";
constexpr size_t VersionDigits = 12;

// The eight buttons mean what they mean by default: each on a key of its own, none on a key
// that means something else to the game (Escape leaves, M mutes), and only start on Space,
// which selects as start does.
bool KeysKeepMeanings(const GameKeys& keys) {
    for (int i = 0; i < GameKeyCount; ++i) {
        WORD code = keys.codes[i];
        bool spaceNotStart = code == VK_SPACE && i != GameKeyCount - 1;
        if (code == VK_ESCAPE || code == 'M' || spaceNotStart) return false;
        for (int j = 0; j < i; ++j) {
            if (keys.codes[j] == code) return false;
        }
    }
    return true;
}

// A rule's sentence with the game's figures in it.
std::string Sentence(const char* format, auto... values) {
    char text[256];
    std::snprintf(text, sizeof text, format, values...);
    return text;
}

// Every file of a data folder, in the order of their names.
std::vector<std::filesystem::path> FolderFiles(const WCHAR* folder) {
    char narrow[NarrowPathBytes];
    NarrowPath(folder, narrow, NarrowPathBytes);
    std::vector<std::filesystem::path> files;
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(narrow, error)) {
        if (entry.is_regular_file(error)) files.push_back(entry.path());
    }
    std::sort(files.begin(), files.end());
    return files;
}

}  // namespace

std::string LowerHex(const unsigned char* bytes, size_t size) {
    constexpr char Digits[] = "0123456789abcdef";
    std::string hex;
    for (size_t i = 0; i < size; ++i) {
        hex += Digits[bytes[i] >> 4];
        hex += Digits[bytes[i] & 15];
    }
    return hex;
}

std::string RuleBrokenByHeader(const JournalHeader& header) {
    if (header.passMs == TablePassMs) return {};
    return Sentence("played at %d ms a pass; the table takes games played at %d", header.passMs, TablePassMs);
}

std::string RuleBrokenInPlay(const PlayFacts& play) {
    if (play.longestStall > LongestStallMs) {
        return Sentence("the game stood still for %u ms at pass %llu, in play; the table takes games whose "
                        "stalls in play last at most a second",
                        play.longestStall, static_cast<unsigned long long>(play.longestStallPass));
    }
    if (play.shortestStep < static_cast<uint32_t>(play.passMs)) {
        return Sentence("the game's clock moved %u ms at pass %llu, in play, less than a pass; no game "
                        "played live moves it less",
                        play.shortestStep, static_cast<unsigned long long>(play.shortestStepPass));
    }
    if (play.keysGiven && !KeysKeepMeanings(play.keys)) {
        return "the game's buttons do not keep the keys' meanings; the table takes games whose eight "
               "buttons each have a key of their own, none of them Escape or M, and only start Space";
    }
    return {};
}

std::string RuleBrokenByGame(const PlayFacts& play, int32_t score, const std::string& name) {
    if (play.stallMs * StallShareDivisor > play.playMs) {
        return Sentence("the game stood still for %.2f%% of its time in play; the table takes games that "
                        "stall for at most 1%% of it",
                        100.0 * static_cast<double>(play.stallMs) / static_cast<double>(play.playMs));
    }
    if (score <= 0) {
        return Sentence("the game scored %d points, which beat no entry of the game's own table as it "
                        "starts; the table takes games of more than 0",
                        static_cast<int>(score));
    }
    if (name.find_first_of("ABCDEFGHIJKLMNOPQRSTUVWXYZ") == std::string::npos) {
        return "the name typed has no letter; the table lists names of at least one letter";
    }
    return {};
}

std::string ListedName(const char* typed) {
    std::string name = typed;
    size_t first = name.find_first_not_of(' ');
    if (first == std::string::npos) return {};
    return name.substr(first, name.find_last_not_of(' ') + 1 - first);
}

std::string Sha256Hex(const std::string& bytes) {
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    EVP_Digest(bytes.data(), bytes.size(), digest, &length, EVP_sha256(), nullptr);
    return LowerHex(digest, length);
}

std::string PlayIdentity(const PlayFacts& play) {
    return Sha256Hex(RulesTag + std::string(reinterpret_cast<const char*>(play.course), sizeof play.course));
}

// The data's digest: every file of the Graph and Sound folders, named and whole.
std::string GameVersion() {
    EVP_MD_CTX* context = EVP_MD_CTX_new();
    EVP_DigestInit_ex(context, EVP_sha256(), nullptr);
    for (const WCHAR* folder : {GraphFolder, SoundFolder}) {
        for (const std::filesystem::path& file : FolderFiles(folder)) {
            std::string name = file.filename().string();
            std::ifstream in(file, std::ios::binary);
            std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
            EVP_DigestUpdate(context, name.c_str(), name.size() + 1);
            EVP_DigestUpdate(context, bytes.data(), bytes.size());
        }
    }
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    EVP_DigestFinal_ex(context, digest, &length);
    EVP_MD_CTX_free(context);
    return std::string(MARROWDALE_VERSION) + ", data " + LowerHex(digest, length).substr(0, VersionDigits);
}
