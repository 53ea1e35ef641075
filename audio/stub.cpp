// TEMPORARY: silent audio so the tree links while the real layer is written.
#include "audio/audio.h"
bool SoundOn = true;
int32_t CurrentMusic = -1;
void SetAudioDriver(const char*) {}
void InitAudio(const char*) {}
void ShutdownAudio() {}
void PlaySound(int32_t) {}
void PlayMusic(int32_t) {}
void StopMusic() {}
void SetSoundVolume(uint8_t) {}
void SetMusicVolume(uint8_t) {}
void UpdateAudio() {}
void ToggleMute() { SoundOn = !SoundOn; }
void DrawMuteCross() {}
