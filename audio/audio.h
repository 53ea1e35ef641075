// Audio: effects, music, volumes and mute over libmikmod.
#pragma once

#include <cstdint>

enum SoundEffects : int32_t { SoundSelect = 0, SoundFire = 1, SoundStole = 2, SoundPick = 3 };
constexpr int EffectSlotCount = 20;
constexpr uint8_t UnmutedSoundVolume = 100;
constexpr uint8_t UnmutedMusicVolume = 20;

extern bool SoundOn;
extern int32_t CurrentMusic;

// libmikmod driver alias to try first ("sdl", "wav", "nosound"...); null for the default order.
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
void DrawMuteCross();
