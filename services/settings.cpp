// The player's settings: the settings file, and the names and values it and the command line
// share.
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "handheld/system.h"
#include "services/games.h"
#include "services/settings.h"

namespace {

constexpr const char* SettingsHeader =
    "# Marrowdale's settings. The game rewrites this file when a setting changes in the game\n"
    "# (full screen, window scale); the command line's options hold for one run only.\n";
constexpr char SettingsName[] = "marrowdale.ini";
// Far beyond any settings file a player writes: a larger one is neither read nor written over.
constexpr off_t LargestSettingsFile = 16 << 20;
// Damaged lines said one by one at the start; the rest are counted in one more line.
constexpr int ReportedLinesMost = 5;
// A rewrite goes to a fresh file beside the file, its name mkstemp's: the file's, '.' and six
// letters or digits.
constexpr char FreshSuffix[] = ".XXXXXX";
constexpr size_t FreshSuffixChars = sizeof FreshSuffix - 1;
constexpr char LockSuffix[] = ".lock";

struct KeyName {
    const char* name;
    WORD code;
};

// Keys the game's buttons may stand on, besides the letters and digits (named by themselves).
constexpr KeyName KeyNames[] = {
    {"Up", VK_UP},         {"Down", VK_DOWN},     {"Left", VK_LEFT}, {"Right", VK_RIGHT},
    {"Enter", VK_RETURN},  {"Space", VK_SPACE},   {"Escape", VK_ESCAPE},
    {"Tab", VK_TAB},       {"Backspace", VK_BACK},
};

// Reads a setting's text into options (slot: which key); null, or what the value should be.
using SettingReader = const char* (*)(StandInOptions* options, const char* value, int slot);
// A setting's text as the file holds it.
using SettingWriter = std::string (*)(const StandInOptions& options, int slot);

struct SettingEntry {
    const char* name;
    SettingReader read;
    SettingWriter write;
    int slot;
};

bool ReadYesNo(const char* text, bool* value) {
    if (!std::strcmp(text, "yes")) {
        *value = true;
    } else if (!std::strcmp(text, "no")) {
        *value = false;
    } else {
        return false;
    }
    return true;
}

// "fit" (0): the largest whole scale that fits the desktop; "fit-sharp": as large as it holds.
const char* ReadScale(StandInOptions* options, const char* value, int) {
    if (!std::strcmp(value, "fit")) {
        options->scale = 0;
        return nullptr;
    }
    if (!std::strcmp(value, "fit-sharp")) {
        options->scale = FitSharpScale;
        return nullptr;
    }
    return ParseWholeNumber(value, 1, LargestScaleOption, &options->scale)
               ? nullptr
               : "a whole number from 1 to 8, fit or fit-sharp";
}

const char* ReadFullScreen(StandInOptions* options, const char* value, int) {
    return ReadYesNo(value, &options->fullscreen) ? nullptr : "yes or no";
}

const char* ReadDisplay(StandInOptions* options, const char* value, int) {
    return ParseDisplayLayout(value, &options->display)
               ? nullptr
               : "a display layout: 16, 16:XSTEP:YSTEP, 4, 2 or 2:1:YSTEP";
}

const char* ReadPassMs(StandInOptions* options, const char* value, int) {
    return ParseWholeNumber(value, 0, 1000, &options->passMs) ? nullptr
                                                              : "a whole number from 0 to 1000";
}

// Any alias for the audio layer to pass to libmikmod (it judges them); empty for its own order.
const char* ReadAudioDriver(StandInOptions* options, const char* value, int) {
    options->audioDriver = value;
    return nullptr;
}

const char* ReadMute(StandInOptions* options, const char* value, int) {
    return ReadYesNo(value, &options->startMuted) ? nullptr : "yes or no";
}

const char* ReadPauseOnFocusLoss(StandInOptions* options, const char* value, int) {
    return ReadYesNo(value, &options->pauseOnFocusLoss) ? nullptr : "yes or no";
}

const char* ReadResume(StandInOptions* options, const char* value, int) {
    return ReadYesNo(value, &options->resume) ? nullptr : "yes or no";
}

// Empty, or an address SplitServerAddress reads.
const char* ReadScoreServer(StandInOptions* options, const char* value, int) {
    std::string origin, path;
    if (*value && !SplitServerAddress(value, &origin, &path)) {
        return "nothing, or a score server's address: http://HOST[:PORT][/PATH] or https://...";
    }
    options->scoreServer = value;
    return nullptr;
}

// A key by name: a letter or digit, or one of KeyNames, in any case.
const char* ReadKey(StandInOptions* options, const char* value, int slot) {
    const char* wanted =
        "a letter, a digit, Up, Down, Left, Right, Enter, Space, Escape, Tab or Backspace";
    if (value[0] && !value[1]) {
        char c = value[0];
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
        if (!((c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9'))) return wanted;
        options->keys.codes[slot] = static_cast<WORD>(c);
        return nullptr;
    }
    for (const KeyName& key : KeyNames) {
        if (!strcasecmp(value, key.name)) {
            options->keys.codes[slot] = key.code;
            return nullptr;
        }
    }
    return wanted;
}

std::string WriteScale(const StandInOptions& options, int) {
    if (options.scale == FitSharpScale) return "fit-sharp";
    return options.scale ? std::to_string(options.scale) : "fit";
}

std::string WriteFullScreen(const StandInOptions& options, int) {
    return options.fullscreen ? "yes" : "no";
}

std::string WriteDisplay(const StandInOptions& options, int) {
    const DisplayLayout& layout = options.display;
    return std::to_string(layout.depth) + ":" + std::to_string(layout.xStep) + ":" +
           std::to_string(layout.yStep);
}

std::string WritePassMs(const StandInOptions& options, int) {
    return std::to_string(options.passMs);
}

std::string WriteAudioDriver(const StandInOptions& options, int) { return options.audioDriver; }

std::string WriteMute(const StandInOptions& options, int) {
    return options.startMuted ? "yes" : "no";
}

std::string WritePauseOnFocusLoss(const StandInOptions& options, int) {
    return options.pauseOnFocusLoss ? "yes" : "no";
}

std::string WriteScoreServer(const StandInOptions& options, int) { return options.scoreServer; }

std::string WriteResume(const StandInOptions& options, int) { return options.resume ? "yes" : "no"; }

std::string WriteKey(const StandInOptions& options, int slot) {
    WORD code = options.keys.codes[slot];
    for (const KeyName& key : KeyNames) {
        if (key.code == code) return key.name;
    }
    return std::string(1, static_cast<char>(code));
}

// Every setting, in the order the file lists them.
constexpr SettingEntry Settings[] = {
    {"scale", ReadScale, WriteScale, 0},
    {"fullscreen", ReadFullScreen, WriteFullScreen, 0},
    {"display", ReadDisplay, WriteDisplay, 0},
    {"pass-ms", ReadPassMs, WritePassMs, 0},
    {"audio-driver", ReadAudioDriver, WriteAudioDriver, 0},
    {"mute", ReadMute, WriteMute, 0},
    {"pause-on-focus-loss", ReadPauseOnFocusLoss, WritePauseOnFocusLoss, 0},
    {"score-server", ReadScoreServer, WriteScoreServer, 0},
    {"resume", ReadResume, WriteResume, 0},
    {"key-up", ReadKey, WriteKey, 0},
    {"key-down", ReadKey, WriteKey, 1},
    {"key-left", ReadKey, WriteKey, 2},
    {"key-right", ReadKey, WriteKey, 3},
    {"key-a", ReadKey, WriteKey, 4},
    {"key-b", ReadKey, WriteKey, 5},
    {"key-c", ReadKey, WriteKey, 6},
    {"key-enter", ReadKey, WriteKey, 7},
};

struct SettingsRecord {
    StandInOptions fromFile;    // the settings as the file last had them
    StandInOptions remembered;  // those with the player's changes in the game
    bool reset = false;         // --reset-settings: every setting goes to the file
};

SettingsRecord Record;

std::string SettingsFolder() {
    std::string config = UserFolder("XDG_CONFIG_HOME", "/.config");
    return config.empty() ? config : config + "/marrowdale";
}

enum class FileRead { Read, Missing, Refused };

// The file's whole text, opened without waiting (a FIFO would hold the start); Refused, with
// problem set, for anything but a plain file of a sane size that reads.
FileRead ReadSettingsText(const std::string& path, std::string* text, std::string* problem) {
    text->clear();
    int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        *problem = std::strerror(errno);
        return errno == ENOENT ? FileRead::Missing : FileRead::Refused;
    }
    struct stat info {};
    if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        *problem = "it is not a plain file";
    } else if (info.st_size > LargestSettingsFile) {
        *problem = "it is larger than any settings file (" + std::to_string(info.st_size) + " bytes)";
    }
    char block[1 << 16];
    for (ssize_t got = 0; problem->empty() && (got = read(fd, block, sizeof block)) != 0;) {
        if (got < 0 && errno != EINTR) *problem = std::strerror(errno);
        if (got > 0) text->append(block, static_cast<size_t>(got));
        if (text->size() > static_cast<size_t>(LargestSettingsFile)) *problem = "it keeps growing";
    }
    close(fd);
    return problem->empty() ? FileRead::Read : FileRead::Refused;
}

// The names of the fresh files a rewrite killed before its rename left in folder.
std::vector<std::string> StaleCopies(const std::string& folder) {
    std::vector<std::string> stale;
    DIR* listing = opendir(folder.c_str());
    if (!listing) return stale;
    std::string head = std::string(SettingsName) + ".";
    while (const dirent* entry = readdir(listing)) {
        std::string name = entry->d_name;
        bool fresh = name.size() == head.size() + FreshSuffixChars - 1 && name.rfind(head, 0) == 0 &&
                     name.find_first_not_of("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"
                                            "0123456789", head.size()) == std::string::npos;
        struct stat info {};
        std::string path = folder + "/" + name;
        if (fresh && lstat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode)) stale.push_back(path);
    }
    closedir(listing);
    return stale;
}

// At the start: the fresh files of rewrites that never ended go, once the lock says no copy
// is writing one now.
void RemoveStaleCopies(const std::string& folder) {
    if (folder.empty() || StaleCopies(folder).empty()) return;
    int lock = TakeLockFile(folder + "/" + SettingsName + LockSuffix);
    if (lock < 0) return;
    for (const std::string& path : StaleCopies(folder)) unlink(path.c_str());
    ReleaseLockFile(lock);
}

std::string SettingLine(const SettingEntry& entry, const StandInOptions& options) {
    return std::string(entry.name) + " = " + entry.write(options, entry.slot);
}

// A new file's text for these settings: every one of them, under the header.
std::string SettingsText(const StandInOptions& options) {
    std::string text = SettingsHeader;
    for (const SettingEntry& entry : Settings) text += SettingLine(entry, options) + "\n";
    return text;
}

std::string Trimmed(const std::string& text) {
    size_t first = text.find_first_not_of(" \t\r");
    if (first == std::string::npos) return std::string();
    return text.substr(first, text.find_last_not_of(" \t\r") - first + 1);
}

enum class LineKind { Blank, Setting, Broken };

// A line of the file: blank or a comment, name = value, or neither.
LineKind SplitLine(const std::string& raw, std::string* name, std::string* value) {
    std::string line = Trimmed(raw);
    if (line.empty() || line[0] == '#' || line[0] == ';') return LineKind::Blank;
    size_t equals = line.find('=');
    if (equals == std::string::npos) return LineKind::Broken;
    *name = Trimmed(line.substr(0, equals));
    *value = Trimmed(line.substr(equals + 1));
    return LineKind::Setting;
}

// One line of the file into options; empty, or why it was skipped.
std::string ReadLine(StandInOptions* options, const std::string& raw) {
    std::string name, value;
    LineKind kind = SplitLine(raw, &name, &value);
    if (kind == LineKind::Blank) return std::string();
    if (kind == LineKind::Broken) return "not a 'name = value' line: '" + ShownText(raw) + "'";
    for (const SettingEntry& entry : Settings) {
        if (name != entry.name) continue;
        const char* wanted = entry.read(options, value.c_str(), entry.slot);
        return wanted ? name + " needs " + wanted + ", not '" + ShownText(value) + "'" : std::string();
    }
    return "unknown setting '" + ShownText(name) + "'";
}

// Every line of the file into options, a damaged one said with its number (the first few;
// then how many more) and skipped.
void ReadLines(StandInOptions* options, const std::string& path, const std::string& text) {
    int number = 0;
    int damaged = 0;
    for (size_t start = 0; start < text.size(); ++number) {
        size_t end = std::min(text.find('\n', start), text.size());
        std::string skipped = ReadLine(options, text.substr(start, end - start));
        start = end + 1;
        if (skipped.empty() || ++damaged > ReportedLinesMost) continue;
        std::fprintf(stderr, "marrowdale: %s:%d: %s; line skipped\n", path.c_str(), number + 1,
                     skipped.c_str());
    }
    if (damaged > ReportedLinesMost) {
        std::fprintf(stderr, "marrowdale: %s: %d more damaged lines skipped\n", path.c_str(),
                     damaged - ReportedLinesMost);
    }
}

// The file's text with the changed settings put in: the last line that names each (the one
// that counts) takes its new value, or a line is added; every other line stays as it was.
std::string WithChanges(const std::string& text, const std::vector<const SettingEntry*>& changed) {
    std::vector<std::string> lines;
    for (size_t start = 0; start < text.size();) {
        size_t end = std::min(text.find('\n', start), text.size());
        lines.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    for (const SettingEntry* entry : changed) {
        auto last = lines.rend();
        for (auto line = lines.rbegin(); line != lines.rend() && last == lines.rend(); ++line) {
            std::string name, value;
            if (SplitLine(*line, &name, &value) == LineKind::Setting && name == entry->name) {
                last = line;
            }
        }
        std::string changedLine = SettingLine(*entry, Record.remembered);
        if (last == lines.rend()) {
            lines.push_back(changedLine);
        } else {
            *last = changedLine;
        }
    }
    std::string joined;
    for (const std::string& line : lines) joined += line + "\n";
    return joined;
}

// Writes the whole text to a fresh file beside the file (a name nothing had, never reached
// through a link left there), then renames it over the file; empty, or why not.
std::string WriteWhole(const std::string& path, const std::string& text) {
    std::string fresh = path + FreshSuffix;
    int fd = mkstemp(fresh.data());
    if (fd < 0) return std::strerror(errno);
    bool written = fchmod(fd, 0644) == 0 &&
                   write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size()) &&
                   fsync(fd) == 0;
    written = close(fd) == 0 && written && rename(fresh.c_str(), path.c_str()) == 0;
    std::string problem = written ? std::string() : std::strerror(errno);
    if (!written) unlink(fresh.c_str());
    return problem;
}

// Under the lock beside the file: the file read as it stands (another copy may have written
// it since), the changed settings put in, the whole written back; empty, or why not.
std::string WriteChanges(const std::string& folder, const std::vector<const SettingEntry*>& changed) {
    if (!MakeFolders(folder)) return std::strerror(errno);
    std::string path = folder + "/" + SettingsName;
    int lock = TakeLockFile(path + LockSuffix);
    if (lock < 0) {
        return errno == EWOULDBLOCK ? "another copy of the game holds its lock"
                                    : std::strerror(errno);
    }
    std::string text, problem;
    FileRead read = ReadSettingsText(path, &text, &problem);
    if (read != FileRead::Refused) {
        bool fresh = read == FileRead::Missing;
        problem = WriteWhole(path, fresh ? SettingsText(Record.remembered) : WithChanges(text, changed));
    }
    ReleaseLockFile(lock);
    return problem;
}

}  // namespace

// A text as a message repeats it: a byte that is no printable character as \xNN, and at most
// ShownTextBytes of it (never cut inside a UTF-8 character), "..." after what was cut.
std::string ShownText(const std::string& text) {
    std::string shown;
    size_t kept = 0;
    for (; kept < text.size() && kept < ShownTextBytes; ++kept) {
        auto byte = static_cast<unsigned char>(text[kept]);
        if (byte < 0x20 || byte == 0x7F) {
            char escaped[5];
            std::snprintf(escaped, sizeof escaped, "\\x%02X", byte);
            shown += escaped;
        } else {
            shown += text[kept];
        }
    }
    if (kept == text.size()) return shown;
    while (kept > 0 && (static_cast<unsigned char>(text[kept]) & 0xC0) == 0x80) {
        --kept;
        shown.pop_back();
    }
    return shown + "...";
}

// The settings file and main's options: one setting from its text.
const char* ApplySetting(StandInOptions* options, const char* name, const char* value) {
    for (const SettingEntry& entry : Settings) {
        if (!std::strcmp(name, entry.name)) return entry.read(options, value, entry.slot);
    }
    return "a known setting";
}

// main, before the command line's options are applied: the file over options. A file that
// is not a plain file, or can't be read, is said in one line and left as it is.
void LoadSettings(StandInOptions* options) {
    std::string folder = SettingsFolder();
    RemoveStaleCopies(folder);
    std::string path = folder + "/" + SettingsName;
    std::string text, problem;
    FileRead read = folder.empty() ? FileRead::Missing : ReadSettingsText(path, &text, &problem);
    if (read == FileRead::Refused) {
        std::fprintf(stderr, "marrowdale: cannot read the settings file %s: %s; the defaults hold\n",
                     path.c_str(), problem.c_str());
    } else if (read == FileRead::Read) {
        ReadLines(options, path, text);
    }
    Record = SettingsRecord{*options, *options, false};
}

// main, --reset-settings: the defaults, every one written to the file at exit.
void ResetSettings() {
    RemoveStaleCopies(SettingsFolder());
    Record = SettingsRecord{StandInOptions{}, StandInOptions{}, true};
}

// F11 and Alt+Enter.
void RememberFullScreen(bool fullscreen) { Record.remembered.fullscreen = fullscreen; }

// The window scale key.
void RememberScale(int scale) { Record.remembered.scale = scale; }

// main, at exit: the settings changed in the game go to the file, and only those.
bool SaveSettings() {
    std::vector<const SettingEntry*> changed;
    for (const SettingEntry& entry : Settings) {
        if (Record.reset || entry.write(Record.remembered, entry.slot) !=
                                entry.write(Record.fromFile, entry.slot)) {
            changed.push_back(&entry);
        }
    }
    if (changed.empty()) return true;
    std::string folder = SettingsFolder();
    std::string problem = folder.empty() ? "there is no home folder" : WriteChanges(folder, changed);
    if (!problem.empty()) {
        std::fprintf(stderr, "marrowdale: cannot write the settings file %s/%s: %s\n",
                     folder.c_str(), SettingsName, problem.c_str());
        return false;
    }
    Record.fromFile = Record.remembered;
    Record.reset = false;
    return true;
}
