// Between the game and libmikmod: the built effects load on the null driver, and playing one is
// logged by its effect number.
#include "tests/support/soundprobe/sound_probe.h"

#include <dlfcn.h>
#include <mikmod.h>

#include "audio/audio.h"

namespace {

std::vector<int> Log;

}  // namespace

extern "C" {

// PlaySound: an effect in one of the game's slots is logged by its number, then played.
SBYTE Sample_Play(SAMPLE* sample, ULONG start, UBYTE flags) {
    for (int n = 0; n < EffectSlotCount; ++n) {
        if (sample && sample == EffectSlots[n]) Log.push_back(n);
    }
    auto real = reinterpret_cast<SBYTE (*)(SAMPLE*, ULONG, UBYTE)>(dlsym(RTLD_NEXT, "Sample_Play"));
    return real(sample, start, flags);
}

}  // extern "C"

void StartSoundProbe() {
    SetAudioDriver("nosound");
    InitAudio(MARROWDALE_BUILD_DIR "/Sound/");
    Log.clear();
}

void StopSoundProbe() { ShutdownAudio(); }

std::vector<int> TakeSounds() {
    std::vector<int> effects;
    effects.swap(Log);
    return effects;
}
