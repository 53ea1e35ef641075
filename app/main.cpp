// The program's command line: options for the desktop stand-in, then the handheld entry.
#include <cstdio>
#include <cstdlib>
#include <cstring>

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
    "  --display LAYOUT     emulated display: 16, 16:XSTEP:YSTEP, 4, 2 or 2:1:YSTEP\n"
    "                       (default 16:2:480)\n"
    "  --pass-ms N          milliseconds per pass of the game loop (default 13, 0 flat out)\n"
    "  --audio-driver NAME  libmikmod driver alias to use (sdl, pulseaudio, alsa, nosound,\n"
    "                       wav or wav:FILE to write the sound to a file)\n"
    "  --record FILE        write a journal of the game to FILE\n"
    "  --replay FILE        play a journal back in the window\n"
    "  --verify             with --replay: no window, as fast as possible, every frame\n"
    "                       checked (status 0 when all match, 1 at the first difference)\n"
    "  --dump-state FILE    with --replay: each pass's state as a line of JSON\n"
    "  --help               show this help and exit\n"
    "  --version            show the version and exit\n"
    "\n"
    "Keys: arrows move, Z fires left, X fires right; the mouse is the stylus.\n";

// Reads a whole decimal number within [low, high].
bool ParseNumber(const char* text, int low, int high, int* value) {
    char* end = nullptr;
    long n = std::strtol(text, &end, 10);
    if (end == text || *end != '\0' || n < low || n > high) return false;
    *value = static_cast<int>(n);
    return true;
}

int Fail(const char* message, const char* argument) {
    std::fprintf(stderr, "marrowdale: %s '%s' (try --help)\n", message, argument);
    return 2;
}

// Fills options from argv; returns -1 to go on, or the exit status.
int ParseCommandLine(int argc, char** argv, StandInOptions* options, SessionOptions* session) {
    for (int i = 1; i < argc; ++i) {
        const char* arg = argv[i];
        const char* value = i + 1 < argc ? argv[i + 1] : nullptr;
        if (!std::strcmp(arg, "--help")) {
            std::fputs(UsageText, stdout);
            return 0;
        }
        if (!std::strcmp(arg, "--version")) {
            std::printf("marrowdale %s\n", MARROWDALE_VERSION);
            return 0;
        }
        if (!std::strcmp(arg, "--fullscreen")) {
            options->fullscreen = true;
            continue;
        }
        if (!std::strcmp(arg, "--verify")) {
            session->verify = true;
            continue;
        }
        bool takesValue = !std::strcmp(arg, "--scale") || !std::strcmp(arg, "--display") ||
                          !std::strcmp(arg, "--pass-ms") || !std::strcmp(arg, "--audio-driver") ||
                          !std::strcmp(arg, "--record") || !std::strcmp(arg, "--replay") ||
                          !std::strcmp(arg, "--dump-state");
        if (!takesValue) return Fail("unknown option", arg);
        if (!value) return Fail("missing value for", arg);
        ++i;
        if (!std::strcmp(arg, "--scale") && !ParseNumber(value, 1, 8, &options->scale)) {
            return Fail("--scale needs a whole number from 1 to 8, not", value);
        }
        if (!std::strcmp(arg, "--pass-ms") && !ParseNumber(value, 0, 1000, &options->passMs)) {
            return Fail("--pass-ms needs a whole number from 0 to 1000, not", value);
        }
        if (!std::strcmp(arg, "--display") && !ParseDisplayLayout(value, &options->display)) {
            return Fail("unknown display layout", value);
        }
        if (!std::strcmp(arg, "--audio-driver")) SetAudioDriver(value);
        if (!std::strcmp(arg, "--record")) session->record = value;
        if (!std::strcmp(arg, "--replay")) session->replay = value;
        if (!std::strcmp(arg, "--dump-state")) session->dumpState = value;
    }
    if ((session->verify || session->dumpState) && !session->replay) {
        return Fail("--verify and --dump-state go with --replay, not alone:", session->verify ? "--verify" : "--dump-state");
    }
    if (session->record && session->replay) return Fail("a replay cannot be recorded:", "--record");
    return -1;
}

}  // namespace

int main(int argc, char** argv) {
    StandInOptions options;
    SessionOptions session;
    int status = ParseCommandLine(argc, argv, &options, &session);
    if (status >= 0) return status;
    return RunSession(options, session);
}
