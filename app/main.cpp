// The program's command line and settings: options for the desktop stand-in over the
// player's settings file, the journal's options, then the session that runs the game.
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
    "  --record FILE        write a journal of the game to FILE\n"
    "  --replay FILE        play a journal back in the window\n"
    "  --verify             with --replay: no window, as fast as possible, every frame\n"
    "                       checked (status 0 when all match, 1 at the first difference)\n"
    "  --dump-state FILE    with --replay: each pass's state as a line of JSON\n"
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
    SessionOptions session;
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

// The journal's options that name a file: where the file name goes, or null.
const char** SessionFile(const char* arg, SessionOptions* session) {
    if (!std::strcmp(arg, "--record")) return &session->record;
    if (!std::strcmp(arg, "--replay")) return &session->replay;
    if (!std::strcmp(arg, "--dump-state")) return &session->dumpState;
    return nullptr;
}

// Fills line from argv, every value checked; returns -1 to go on, or the exit status.
int ParseCommandLine(int argc, char** argv, CommandLine* line) {
    SessionOptions* session = &line->session;
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
        if (!std::strcmp(arg, "--verify")) {
            session->verify = true;
            continue;
        }
        const OptionEntry* entry = FindOption(arg);
        const char** file = SessionFile(arg, session);
        if (!entry && !file) return Fail("unknown option", arg);
        const char* value = entry ? entry->value : nullptr;
        if (!value) {
            if (i + 1 >= argc) return Fail("missing value for", arg);
            value = argv[++i];
        }
        if (file) {
            *file = value;
            continue;
        }
        StandInOptions scratch;
        if (const char* wanted = ApplySetting(&scratch, entry->setting, value)) {
            std::string message = std::string(arg) + " needs " + wanted + ", not";
            return Fail(message.c_str(), value);
        }
        line->settings.emplace_back(entry->setting, value);
    }
    if ((session->verify || session->dumpState) && !session->replay) {
        return Fail("--verify and --dump-state go with --replay, not alone:", session->verify ? "--verify" : "--dump-state");
    }
    if (session->record && session->replay) return Fail("a replay cannot be recorded:", "--record");
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
    status = RunSession(options, line.session);
    SaveSettings();
    return status;
}
