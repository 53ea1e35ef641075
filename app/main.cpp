// The program's command line and settings: options for the desktop stand-in over the
// player's settings file, then the handheld entry.
#include <cstdio>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "app/app.h"
#include "audio/audio.h"
#include "platform/standin.h"

namespace {

const char UsageText[] =
    "usage: marrowdale [OPTION]...\n"
    "Pick fruit, drive off spiders.\n"
    "\n"
    "  --scale N            window size as a multiple of 240 x 320 (1 to 8, default 2)\n"
    "  --fullscreen         start full screen (F11 or Alt+Enter toggles)\n"
    "  --windowed           start in a window\n"
    "  --display LAYOUT     emulated display: 16, 16:XSTEP:YSTEP, 4, 2 or 2:1:YSTEP\n"
    "                       (default 16:2:480)\n"
    "  --pass-ms N          milliseconds per pass of the game loop (default 13, 0 flat out)\n"
    "  --audio-driver NAME  libmikmod driver alias to use (sdl, pulseaudio, alsa, nosound,\n"
    "                       wav or wav:FILE to write the sound to a file)\n"
    "  --mute, --no-mute    start with the sound muted, or not\n"
    "  --reset-settings     start from the default settings (and keep them)\n"
    "  --help               show this help and exit\n"
    "  --version            show the version and exit\n"
    "\n"
    "Options hold for this run; the settings file ~/.config/marrowdale/marrowdale.ini keeps\n"
    "the player's choices. Keys: arrows move, Z fires left, X fires right; the mouse is the\n"
    "stylus; F10 changes the window's scale, F11 or Alt+Enter full screen.\n";

// An option and the setting it gives for this run: a fixed value, or (null) the argument
// that follows it.
struct OptionEntry {
    const char* option;
    const char* setting;
    const char* value;
};

constexpr OptionEntry OptionTable[] = {
    {"--scale", "scale", nullptr},
    {"--fullscreen", "fullscreen", "yes"},
    {"--windowed", "fullscreen", "no"},
    {"--display", "display", nullptr},
    {"--pass-ms", "pass-ms", nullptr},
    {"--audio-driver", "audio-driver", nullptr},
    {"--mute", "mute", "yes"},
    {"--no-mute", "mute", "no"},
};

struct CommandLine {
    std::vector<std::pair<const char*, const char*>> settings;  // setting, value
    bool resetSettings = false;
};

int Fail(const char* message, const char* argument) {
    std::fprintf(stderr, "marrowdale: %s '%s' (try --help)\n", message, argument);
    return 2;
}

const OptionEntry* FindOption(const char* arg) {
    for (const OptionEntry& entry : OptionTable) {
        if (!std::strcmp(arg, entry.option)) return &entry;
    }
    return nullptr;
}

// Fills line from argv, every value checked; returns -1 to go on, or the exit status.
int ParseCommandLine(int argc, char** argv, CommandLine* line) {
    for (int i = 1; i < argc; ++i) {
        const char* arg = argv[i];
        if (!std::strcmp(arg, "--help")) {
            std::fputs(UsageText, stdout);
            return 0;
        }
        if (!std::strcmp(arg, "--version")) {
            std::printf("marrowdale %s\n", MARROWDALE_VERSION);
            return 0;
        }
        if (!std::strcmp(arg, "--reset-settings")) {
            line->resetSettings = true;
            continue;
        }
        const OptionEntry* entry = FindOption(arg);
        if (!entry) return Fail("unknown option", arg);
        const char* value = entry->value;
        if (!value) {
            if (i + 1 >= argc) return Fail("missing value for", arg);
            value = argv[++i];
        }
        StandInOptions scratch;
        if (const char* wanted = ApplySetting(&scratch, entry->setting, value)) {
            std::string message = std::string(arg) + " needs " + wanted + ", not";
            return Fail(message.c_str(), value);
        }
        line->settings.emplace_back(entry->setting, value);
    }
    return -1;
}

}  // namespace

int main(int argc, char** argv) {
    CommandLine line;
    int status = ParseCommandLine(argc, argv, &line);
    if (status >= 0) return status;
    StandInOptions options;
    if (line.resetSettings) {
        ResetSettings();
    } else {
        LoadSettings(&options);
    }
    for (const auto& [setting, value] : line.settings) ApplySetting(&options, setting, value);
    SetAudioDriver(options.audioDriver.empty() ? nullptr : options.audioDriver.c_str());
    if (!StartStandIn(options)) return 1;
    status = WinMain(nullptr, nullptr, nullptr, SW_SHOW);
    StopStandIn();
    SaveSettings();
    return status;
}
