// Audio: effects, music, volumes and mute over libmikmod.
#pragma once

#include <cstdint>

#include "platform/winapi.h"

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

// libmikmod driver alias to try first ("sdl", "wav", "wav:FILE", "nosound"...); null for the
// default order.
void SetAudioDriver(const char* alias);

void InitAudio(const char* soundFolder);
void ShutdownAudio();
void PlaySound(int32_t effect);
void PlayMusic(int32_t music);
void StopMusic();
void SetSoundVolume(uint8_t volume);
void SetMusicVolume(uint8_t volume);
void UpdateAudio();
void ToggleMute();
void MuteIfDeviceSilent();
void DrawMuteCross();
