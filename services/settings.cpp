// The player's settings: the settings file, and the names and values it and the command line
// share.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>

#include "handheld/system.h"
#include "services/games.h"
#include "services/settings.h"

namespace {

constexpr const char* SettingsHeader =
    "# Marrowdale's settings. The game rewrites this file when a setting changes in the game\n"
    "# (full screen, window scale); the command line's options hold for one run only.\n";

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
    std::string fileText;       // the settings as last read from or written to the file
    StandInOptions remembered;  // the file's settings with the player's changes in the game
};

SettingsRecord Record;

std::string SettingsFolder() {
    std::string config = UserFolder("XDG_CONFIG_HOME", "/.config");
    return config.empty() ? config : config + "/marrowdale";
}

// The file's text for these settings.
std::string SettingsText(const StandInOptions& options) {
    std::string text = SettingsHeader;
    for (const SettingEntry& entry : Settings) {
        text += std::string(entry.name) + " = " + entry.write(options, entry.slot) + "\n";
    }
    return text;
}

std::string Trimmed(const std::string& text) {
    size_t first = text.find_first_not_of(" \t\r");
    if (first == std::string::npos) return std::string();
    return text.substr(first, text.find_last_not_of(" \t\r") - first + 1);
}

// One line of the file into options; null, or why it was skipped.
std::string ReadLine(StandInOptions* options, const std::string& raw) {
    std::string line = Trimmed(raw);
    if (line.empty() || line[0] == '#' || line[0] == ';') return std::string();
    size_t equals = line.find('=');
    if (equals == std::string::npos) return "not a 'name = value' line";
    std::string name = Trimmed(line.substr(0, equals));
    std::string value = Trimmed(line.substr(equals + 1));
    for (const SettingEntry& entry : Settings) {
        if (name != entry.name) continue;
        const char* wanted = entry.read(options, value.c_str(), entry.slot);
        return wanted ? name + " needs " + wanted + ", not '" + value + "'" : std::string();
    }
    return "unknown setting '" + name + "'";
}

// Writes the whole text to a fresh file beside the file (a name nothing had, never reached
// through a link left there), then renames it over the file.
bool WriteWhole(const std::string& path, const std::string& text) {
    std::string fresh = path + ".XXXXXX";
    int fd = mkstemp(fresh.data());
    if (fd < 0) return false;
    bool written = fchmod(fd, 0644) == 0 &&
                   write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size()) &&
                   fsync(fd) == 0;
    written = close(fd) == 0 && written && rename(fresh.c_str(), path.c_str()) == 0;
    if (!written) unlink(fresh.c_str());
    return written;
}

}  // namespace

// The settings file and main's options: one setting from its text.
const char* ApplySetting(StandInOptions* options, const char* name, const char* value) {
    for (const SettingEntry& entry : Settings) {
        if (!std::strcmp(name, entry.name)) return entry.read(options, value, entry.slot);
    }
    return "a known setting";
}

// main, before the command line's options are applied: the file over options.
void LoadSettings(StandInOptions* options) {
    std::string folder = SettingsFolder();
    std::string path = folder + "/marrowdale.ini";
    std::ifstream file(path);
    int number = 0;
    for (std::string line; !folder.empty() && std::getline(file, line);) {
        ++number;
        std::string skipped = ReadLine(options, line);
        if (!skipped.empty()) {
            std::fprintf(stderr, "marrowdale: %s:%d: %s; line skipped\n", path.c_str(), number,
                         skipped.c_str());
        }
    }
    Record.remembered = *options;
    Record.fileText = SettingsText(*options);
}

// main, --reset-settings: the defaults, written at exit whatever the file says.
void ResetSettings() {
    Record.remembered = StandInOptions{};
    Record.fileText = std::string();
}

// F11 and Alt+Enter.
void RememberFullScreen(bool fullscreen) { Record.remembered.fullscreen = fullscreen; }

// The window scale key.
void RememberScale(int scale) { Record.remembered.scale = scale; }

// main, at exit: the remembered settings go to the file when they differ from what it held.
bool SaveSettings() {
    std::string text = SettingsText(Record.remembered);
    if (text == Record.fileText) return true;
    std::string folder = SettingsFolder();
    std::string path = folder + "/marrowdale.ini";
    if (folder.empty() || !MakeFolders(folder) || !WriteWhole(path, text)) {
        std::fprintf(stderr, "marrowdale: cannot write the settings file %s\n",
                     folder.empty() ? "(no home folder)" : path.c_str());
        return false;
    }
    Record.fileText = text;
    return true;
}
