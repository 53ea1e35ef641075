// The program's command line and settings: options for the desktop stand-in over the
// player's settings file, the journal's options, then the session that runs the game.
#include <cstdio>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "app/app.h"
#include "audio/audio.h"
#include "handheld/standin.h"
#include "hosts/live.h"
#include "services/settings.h"

namespace {

// What the command line asks for; the option table's rows point into it.
struct CommandLine {
    std::vector<std::pair<const char*, const char*>> settings;  // name, value: for this run
    SessionOptions session;
    const char* submitAddress;
    const char* submitFile;
    bool resetSettings;
    bool help;
    bool version;
};

CommandLine Asked;

// A flag, a text, or one of the settings (as the settings file names it) for this run only.
enum class ValueKind { Flag, Text, Setting };

// One option: its names, its value's kind, where the value goes (the pointer of its kind, or
// the setting's name and, for an option without a value, the value it stands for), and its
// lines of help.
struct Option {
    const char* name;
    const char* alias = nullptr;  // a short spelling
    ValueKind kind = ValueKind::Flag;
    const char* valueName = nullptr;  // what the help calls the value
    bool* flag = nullptr;
    const char** text = nullptr;
    const char** second = nullptr;  // a text option's second value, when it takes two
    const char* setting = nullptr;
    const char* fixed = nullptr;
    const char* help = "";  // lines after the first are indented under it
};

constexpr Option Options[] = {
    {.name = "--scale", .kind = ValueKind::Setting, .valueName = "N", .setting = "scale",
     .help = "window size as a multiple of 240 x 320 (1 to 8; fit: the\n"
             "largest that fits the desktop, the default; fit-sharp: as\n"
             "large as it holds, drawn as full screen is; F10 steps it)"},
    {.name = "--fullscreen", .kind = ValueKind::Setting, .setting = "fullscreen", .fixed = "yes",
     .help = "start full screen (F11 or Alt+Enter toggles)"},
    {.name = "--windowed", .kind = ValueKind::Setting, .setting = "fullscreen", .fixed = "no",
     .help = "start in a window"},
    {.name = "--display", .kind = ValueKind::Setting, .valueName = "LAYOUT", .setting = "display",
     .help = "emulated display: 16, 16:XSTEP:YSTEP, 4, 2 or 2:1:YSTEP\n(default 16:2:480)"},
    {.name = "--pass-ms", .kind = ValueKind::Setting, .valueName = "N", .setting = "pass-ms",
     .help = "milliseconds per pass of the game loop (default 13, 0 flat out)"},
    {.name = "--audio-driver", .kind = ValueKind::Setting, .valueName = "NAME",
     .setting = "audio-driver",
     .help = "libmikmod driver alias to use (sdl, pulseaudio, alsa, nosound,\n"
             "wav or wav:FILE to write the sound to a file)"},
    {.name = "--mute", .kind = ValueKind::Setting, .setting = "mute", .fixed = "yes",
     .help = "start with the sound muted"},
    {.name = "--no-mute", .kind = ValueKind::Setting, .setting = "mute", .fixed = "no",
     .help = "start with sound"},
    {.name = "--pause-on-focus-loss", .kind = ValueKind::Setting, .valueName = "yes|no",
     .setting = "pause-on-focus-loss",
     .help = "whether a game pauses when its window loses the keyboard\n(default yes)"},
    {.name = "--reset-settings", .kind = ValueKind::Flag, .flag = &Asked.resetSettings,
     .help = "start from the default settings (and keep them)"},
    {.name = "--resume", .kind = ValueKind::Text, .valueName = "FILE",
     .text = &Asked.session.resume,
     .help = "go on with the game in the journal FILE (one a run left when\n"
             "the program's end interrupted it), paused"},
    {.name = "--no-resume", .kind = ValueKind::Flag, .flag = &Asked.session.noResume,
     .help = "start at the menu: a game left in progress waits for a\nlater start"},
    {.name = "--record", .kind = ValueKind::Text, .valueName = "FILE",
     .text = &Asked.session.record, .help = "write a journal of the game to FILE"},
    {.name = "--replay", .kind = ValueKind::Text, .valueName = "FILE",
     .text = &Asked.session.replay, .help = "play a journal back in the window"},
    {.name = "--verify", .kind = ValueKind::Flag, .flag = &Asked.session.verify,
     .help = "with --replay: no window, as fast as possible, every frame\n"
             "checked (status 0 when all match, 1 at the first difference,\n"
             "3 when all match in a journal cut short)"},
    {.name = "--dump-state", .kind = ValueKind::Text, .valueName = "FILE",
     .text = &Asked.session.dumpState, .help = "with --replay: each pass's state as a line of JSON"},
    {.name = "--submit", .kind = ValueKind::Text, .valueName = "URL FILE",
     .text = &Asked.submitAddress, .second = &Asked.submitFile,
     .help = "send the journal FILE to the world high score table at\nURL and say what it answered"},
    {.name = "--help", .alias = "-h", .kind = ValueKind::Flag, .flag = &Asked.help,
     .help = "show this help and exit"},
    {.name = "--version", .kind = ValueKind::Flag, .flag = &Asked.version,
     .help = "show the version and exit"},
};

// Column where the help's descriptions start.
constexpr int HelpColumn = 23;

// The keys, as the help lists them after the options.
struct KeyHelp {
    const char* keys;
    const char* what;
};

constexpr KeyHelp Keys[] = {
    {"arrows", "move the dog (on the menu, a cursor over its buttons)"},
    {"Enter, Space", "press what the menu's cursor stands on (at first PLAY);"},
    {"", "elsewhere back to the menu"},
    {"Z, X", "fire a fume puff to the left, to the right"},
    {"C", "the handheld's third button (nothing in play)"},
    {"M", "mute or unmute"},
    {"P, Pause", "pause a game and play on"},
    {"Escape", "pause a game, paused leave it; elsewhere back, on the"},
    {"", "menu quit"},
    {"mouse", "the stylus: tap the screen, hold it down to steer"},
    {"letters, Space", "type a high score's name (Backspace erases,"},
    {"", "Enter is DONE)"},
    {"F10", "the next window scale, up to the largest that fits"},
    {"F11, Alt+Enter", "full screen on or off"},
    {"F12", "save the screen as a PNG in the current folder"},
};

// Prints the usage, one block per option of the table; names too long for their column stand
// on a line of their own.
void PrintUsage() {
    std::puts("usage: marrowdale [OPTION]...\nPick fruit, drive off spiders.\n");
    for (const Option& option : Options) {
        std::string names = std::string(option.alias ? option.alias : "") +
                            (option.alias ? ", " : "") + option.name + " " +
                            (option.valueName ? option.valueName : "");
        if (names.size() > HelpColumn - 3) {
            std::printf("  %s\n%*s", names.c_str(), HelpColumn - 1, "");
        } else {
            std::printf("  %-*s", HelpColumn - 3, names.c_str());
        }
        for (const char* line = option.help; line;) {
            const char* end = std::strchr(line, '\n');
            std::printf(" %.*s\n", static_cast<int>(end ? end - line : std::strlen(line)), line);
            line = end ? end + 1 : nullptr;
            if (line) std::printf("%*s", HelpColumn - 1, "");
        }
    }
    std::puts("\nKeys (the settings file can move the game's eight to other keys):");
    for (const KeyHelp& key : Keys) std::printf("  %-*s %s\n", HelpColumn - 3, key.keys, key.what);
    std::puts("\nOptions hold for this run; the settings file ~/.config/marrowdale/marrowdale.ini\n"
              "keeps the player's choices. A game controller: the d-pad and left stick move, A\n"
              "presses, X and the left shoulder fire left, B and the right one fire right, Y\n"
              "mutes, Start pauses, Back is Escape; on the name entry screen the d-pad and A\n"
              "point at the name's keys and press them.");
}

// One line on stderr naming the refused argument as messages repeat a text; the exit status 2.
int Refuse(const char* what, const char* argument) {
    std::fprintf(stderr, "marrowdale: %s '%s' (try --help)\n", what, ShownText(argument).c_str());
    return 2;
}

const Option* FindOption(const char* name) {
    for (const Option& option : Options) {
        if (!std::strcmp(name, option.name) || (option.alias && !std::strcmp(name, option.alias))) {
            return &option;
        }
    }
    return nullptr;
}

// Stores an option's value where its row says, a setting checked by the settings file's own
// rules; null, or what the value should have been.
const char* TakeOption(const Option& option, const char* value) {
    switch (option.kind) {
        case ValueKind::Flag: *option.flag = true; return nullptr;
        case ValueKind::Text: *option.text = value; return *value ? nullptr : "a name";
        case ValueKind::Setting: {
            StandInOptions scratch;
            const char* wanted = ApplySetting(&scratch, option.setting, value);
            if (!wanted) Asked.settings.emplace_back(option.setting, value);
            return wanted;
        }
    }
    return "nothing";
}

// The refusal of a value: what its option needs, then the value itself.
int RefuseValue(const Option& option, const char* wanted, const char* value) {
    std::string what = std::string(option.name) + " needs " + wanted + ", not";
    return Refuse(what.c_str(), value);
}

// Fills Asked from argv; returns -1 to go on, or the exit status.
int ParseCommandLine(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        const Option* option = FindOption(argv[i]);
        if (!option) return Refuse("unknown option", argv[i]);
        const char* value = option->fixed;
        if (option->kind != ValueKind::Flag && !value) {
            if (i + 1 == argc || (option->second && i + 2 == argc)) {
                return Refuse("missing value for", argv[i]);
            }
            value = argv[++i];
            if (option->second) *option->second = argv[++i];
        }
        if (const char* wanted = TakeOption(*option, value)) {
            return RefuseValue(*option, wanted, value);
        }
    }
    const SessionOptions& session = Asked.session;
    if ((session.verify || session.dumpState) && !session.replay) {
        return Refuse("--verify and --dump-state go with --replay, not alone:",
                      session.verify ? "--verify" : "--dump-state");
    }
    if (session.record && session.replay) return Refuse("a replay cannot be recorded:", "--record");
    if (session.resume && (session.record || session.replay || session.noResume)) {
        return Refuse("--resume goes on recording the game's own journal, not with",
                      session.record ? "--record" : session.replay ? "--replay" : "--no-resume");
    }
    if (Asked.submitAddress && (session.record || session.replay || session.resume)) {
        return Refuse("--submit sends a journal and plays none:",
                      session.record ? "--record" : session.replay ? "--replay" : "--resume");
    }
    if (Asked.help) PrintUsage();
    if (Asked.version) std::printf("marrowdale %s\n", MARROWDALE_VERSION);
    return Asked.help || Asked.version ? 0 : -1;
}

// The command line of a start again that resumes nothing: this one without --resume FILE,
// with --no-resume.
std::vector<std::string> StartAgainLine(int argc, char** argv) {
    std::vector<std::string> line;
    for (int i = 0; i < argc; ++i) {
        if (i > 0 && !std::strcmp(argv[i], "--resume")) {
            ++i;
        } else if (i == 0 || std::strcmp(argv[i], "--no-resume") != 0) {
            line.emplace_back(argv[i]);
        }
    }
    line.emplace_back("--no-resume");
    return line;
}

}  // namespace

int main(int argc, char** argv) {
    InstallSignalHandlers();
    int status = ParseCommandLine(argc, argv);
    if (status >= 0) return status;
    if (Asked.submitAddress) return SubmitGame(Asked.submitAddress, Asked.submitFile);
    StandInOptions options;
    if (Asked.resetSettings) {
        ResetSettings();
    } else {
        LoadSettings(&options);
    }
    for (const auto& [setting, value] : Asked.settings) ApplySetting(&options, setting, value);
    if (!options.audioDriver.empty()) SetAudioDriver(options.audioDriver.c_str());
    Asked.session.startAgain = StartAgainLine(argc, argv);
    return RunSession(options, Asked.session);
}
