// Audio: effects, music, volumes and mute over libmikmod.
#pragma once

#include <cstdint>

#include "handheld/winapi.h"

enum SoundEffects : int32_t { SoundSelect = 0, SoundFire = 1, SoundStole = 2, SoundPick = 3 };
constexpr int EffectSlotCount = 20;
constexpr uint8_t UnmutedSoundVolume = 100;
constexpr uint8_t UnmutedMusicVolume = 20;

// Holds any Sound folder the platform hands out, in UTF-8 (at most three bytes a UTF-16 unit).
constexpr int SoundPrefixBytes = (MAX_PATH_CHARS + 16) * 3 + 1;

// libmikmod's records, declared here so the tables below can be named without its header.
struct SAMPLE;
struct MODULE;

extern bool SoundOn;
extern int32_t CurrentMusic;
extern char SoundPrefix[SoundPrefixBytes];
// Slots 0 to 3 hold the effects by number; the others stay empty (null).
extern SAMPLE* EffectSlots[EffectSlotCount];
extern MODULE* MusicModule;

// libmikmod driver alias to use ("sdl", "alsa", "wav", "wav:FILE", "nosound"...) instead of
// the default order; null for the default order.
void SetAudioDriver(const char* alias);

void InitAudio(const char* soundFolder);
void ShutdownAudio();
// A game replayed silently goes on live: the sound starts again on the chosen driver.
void RestartAudio();
void PlaySound(int32_t effect);
void PlayMusic(int32_t music);
void StopMusic();
void SetSoundVolume(uint8_t volume);
void SetMusicVolume(uint8_t volume);
void UpdateAudio();
void ToggleMute();
void MuteIfDeviceSilent();
void DrawMuteCross();

// ---- Sound files (soundfiles.cpp) ----

// The bytes of a checked sound file that libmikmod is given.
struct SoundImage {
    const uint8_t* bytes;
    uint32_t size;
};
enum SoundKind { EffectSound, MusicSound };
// Checkers of a file's bytes: null when libmikmod may have image, else why not.
const char* CheckWave(uint8_t* bytes, uint32_t size, SoundImage* image);
const char* CheckModule(const uint8_t* bytes, uint32_t size, SoundImage* image);
// Reads and checks a sound file; false after one line on stderr naming it.
bool ReadSoundFile(const char* path, SoundKind kind, SoundImage* image);
