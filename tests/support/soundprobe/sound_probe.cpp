// Between the game and libmikmod: the effects load as our stand-ins, and playing one is logged.
#include "tests/support/soundprobe/sound_probe.h"

#include <dlfcn.h>
#include <mikmod.h>

#include <cstring>

#include "audio/audio.h"

namespace {

// Effect numbers by the file name that ends the path.
const char* const EffectFiles[] = {"select.wav", "fire.wav", "stole.wav", "pick.wav"};
constexpr int EffectCount = 4;
SAMPLE StandIns[EffectCount];
std::vector<int> Log;

// The effect a stand-in sample plays, or -1 for a real sample.
int EffectOf(const SAMPLE* sample) {
    for (int n = 0; n < EffectCount; ++n) {
        if (sample == &StandIns[n]) return n;
    }
    return -1;
}

// Whether text ends in tail.
bool EndsWith(const char* text, const char* tail) {
    size_t length = std::strlen(text), tailLength = std::strlen(tail);
    return length >= tailLength && std::strcmp(text + length - tailLength, tail) == 0;
}

// The library's own function of that name, behind ours.
template <typename Function>
Function Real(const char* name) {
    return reinterpret_cast<Function>(dlsym(RTLD_NEXT, name));
}

}  // namespace

extern "C" {

// The audio layer's effect loading: an effect file gives its stand-in.
SAMPLE* Sample_Load(const CHAR* path) {
    for (int n = 0; n < EffectCount; ++n) {
        if (path && EndsWith(path, EffectFiles[n])) {
            StandIns[n] = SAMPLE{};
            return &StandIns[n];
        }
    }
    return Real<SAMPLE* (*)(const CHAR*)>("Sample_Load")(path);
}

// PlaySound: a stand-in is logged, not mixed.
SBYTE Sample_Play(SAMPLE* sample, ULONG start, UBYTE flags) {
    int effect = EffectOf(sample);
    if (effect < 0) {
        return Real<SBYTE (*)(SAMPLE*, ULONG, UBYTE)>("Sample_Play")(sample, start, flags);
    }
    Log.push_back(effect);
    return 0;
}

// Audio shutdown: stand-ins are ours and are not freed.
void Sample_Free(SAMPLE* sample) {
    if (EffectOf(sample) < 0) Real<void (*)(SAMPLE*)>("Sample_Free")(sample);
}

}  // extern "C"

void StartSoundProbe() {
    SetAudioDriver("nosound");
    InitAudio("/sound-probe/");
    Log.clear();
}

void StopSoundProbe() { ShutdownAudio(); }

std::vector<int> TakeSounds() {
    std::vector<int> effects;
    effects.swap(Log);
    return effects;
}
