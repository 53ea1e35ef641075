// A log of the effects the screens play, with the game's state at that moment: the effect
// samples are stand-ins of ours, and playing one is written down instead of mixed.
#include "tests/game/sound_log.h"

#include <dlfcn.h>
#include <mikmod.h>

#include <cstring>

#include "audio/audio.h"
#include "game/game.h"
#include "game/play/play.h"

namespace {

// Effect numbers by the file name that ends the path.
const char* const EffectFiles[] = {"select.wav", "fire.wav", "stole.wav", "pick.wav"};
constexpr int EffectCount = 4;
SAMPLE StandIns[EffectCount];
std::vector<SoundCall> Log;

int EffectOf(const SAMPLE* sample) {
    for (int n = 0; n < EffectCount; ++n) {
        if (sample == &StandIns[n]) return n;
    }
    return -1;
}

bool EndsWith(const char* text, const char* tail) {
    size_t length = std::strlen(text), tailLength = std::strlen(tail);
    return length >= tailLength && std::strcmp(text + length - tailLength, tail) == 0;
}

template <typename Function>
Function Real(const char* name) {
    return reinterpret_cast<Function>(dlsym(RTLD_NEXT, name));
}

}  // namespace

extern "C" {

SAMPLE* Sample_Load(const CHAR* path) {
    for (int n = 0; n < EffectCount; ++n) {
        if (path && EndsWith(path, EffectFiles[n])) {
            StandIns[n] = SAMPLE{};
            return &StandIns[n];
        }
    }
    return Real<SAMPLE* (*)(const CHAR*)>("Sample_Load")(path);
}

SBYTE Sample_Play(SAMPLE* sample, ULONG start, UBYTE flags) {
    int effect = EffectOf(sample);
    if (effect < 0) {
        return Real<SBYTE (*)(SAMPLE*, ULONG, UBYTE)>("Sample_Play")(sample, start, flags);
    }
    Log.push_back({effect, ScreenState, RunFlag, PlayField.PlantsLeft});
    return 0;
}

void Sample_Free(SAMPLE* sample) {
    if (EffectOf(sample) < 0) Real<void (*)(SAMPLE*)>("Sample_Free")(sample);
}

}  // extern "C"

void StartSoundLog() {
    SetAudioDriver("nosound");
    InitAudio("/sound-log/");
    Log.clear();
}

std::vector<SoundCall> TakeSoundLog() {
    std::vector<SoundCall> calls;
    calls.swap(Log);
    return calls;
}

void StopSoundLog() { ShutdownAudio(); }
