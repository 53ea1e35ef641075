// Sound output of the desktop: whether the devices behind libmikmod's SDL and ALSA drivers are
// there, and closing SDL's device.
#include <SDL.h>
#include <alsa/asoundlib.h>

#include <cerrno>

#include "handheld/standin.h"

namespace {

constexpr Uint32 AudioWaitMs = 2;
// Whether the pause stopped SDL's device, which then plays on when the pause ends.
bool OutputHeld = false;

// libasound's own report of a failure, on stderr; the audio layer says in one line what the
// game does about it instead.
void QuietAlsa(const char*, int, const char*, int, const char*, ...) {}

}  // namespace

// The audio layer, before each try of libmikmod's SDL driver. SDL settles on a back end whose
// library loads (ALSA's even without a sound card) and lists its devices quietly, while each
// open of a missing device has libasound report it on stderr: so a list without any device
// means no try can succeed. A list SDL cannot give (-1) may still hide one.
SoundDevice SdlSoundDevice() {
    if (!SDL_WasInit(SDL_INIT_AUDIO) && SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) {
        return SoundDevice::Missing;
    }
    if (SDL_GetNumAudioDevices(0) != 0) return SoundDevice::Ready;
    // With nothing to play to, SDL's audio goes, and with it the thread by which it looks for
    // devices plugged in: its ALSA back end reads ALSA's configuration and tries some 200
    // device files every five seconds.
    SDL_QuitSubSystem(SDL_INIT_AUDIO);
    return SoundDevice::Missing;
}

// The audio layer, before each try of libmikmod's ALSA driver, which aborts the process (a
// failed assertion in libasound) when ALSA's default device does not open: opens and closes
// that device quietly first.
SoundDevice AlsaSoundDevice() {
    snd_lib_error_set_handler(QuietAlsa);
    snd_pcm_t* pcm = nullptr;
    int result = snd_pcm_open(&pcm, "default", SND_PCM_STREAM_PLAYBACK, SND_PCM_NONBLOCK);
    if (result == 0) snd_pcm_close(pcm);
    snd_lib_error_set_handler(nullptr);
    if (result == 0) return SoundDevice::Ready;
    return result == -EBUSY || result == -EAGAIN ? SoundDevice::Busy : SoundDevice::Missing;
}

// The audio layer's shutdown, with no lock held, before it ends libmikmod: libmikmod's exit
// pauses and closes SDL's device while holding its own lock, which SDL's audio thread takes
// inside the device's lock, the opposite order; closed here first, the device is gone by then.
void CloseAudioOutput() {
    SDL_PauseAudio(1);
    SDL_CloseAudio();
}

// The pause: SDL's audio thread stops calling libmikmod, so the tune and the effects stand
// still where they are; libmikmod's other drivers mix only during the passes, which stop too.
void HoldAudioOutput(bool hold) {
    if (hold && SDL_GetAudioStatus() == SDL_AUDIO_PLAYING) {
        SDL_PauseAudio(1);
        OutputHeld = true;
    } else if (!hold && OutputHeld) {
        SDL_PauseAudio(0);
        OutputHeld = false;
    }
}

// The audio layer, while SDL's audio thread mixes a fade it waits for.
void WaitAudioOutput() { SDL_Delay(AudioWaitMs); }

// The audio layer, around its calls into libmikmod (no-op while no SDL audio is open).
void LockAudioOutput() { SDL_LockAudio(); }
void UnlockAudioOutput() { SDL_UnlockAudio(); }
