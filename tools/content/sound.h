// The sound builder's pieces: recipe reading, the voice synthesizer, effects (WAV) and the tune
// (MOD).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace sound {

// A bad recipe: "path:line: message", printed as one line by BuildSounds.
struct RecipeError {
    std::string message;
};

// One meaningful line of a recipe: its words, with comments ('#' to the end) removed.
struct RecipeLine {
    std::string path;
    int number = 0;
    std::vector<std::string> words;
};

[[noreturn]] void Fail(const RecipeLine& line, const std::string& message);
// The non-blank lines of a recipe file, numbered from 1.
std::vector<RecipeLine> ReadRecipe(const std::string& path);
double ParseReal(const RecipeLine& line, const std::string& word, double low, double high);
int ParseInteger(const RecipeLine& line, const std::string& word, int low, int high);
// A frequency in hertz, or a note name such as "A4", "C#6", "Eb5" (A4 = 440 Hz).
double ParseFrequency(const RecipeLine& line, const std::string& word);

enum class Wave { Sine, Triangle, Square, Saw, Noise };

// One sounding layer: a wave from `at` for `length` seconds, its pitch gliding from `hz` to
// `toHz`, shaped by a linear attack and an exponential decay that ends at exactly zero.
struct Voice {
    Wave wave = Wave::Sine;
    double at = 0.0;
    double length = 0.1;
    double hz = 440.0;
    double toHz = 0.0;  // 0: no glide
    double level = 1.0;
    double attack = 0.002;
    double decay = 3.0;      // e-folds over the length; 0 holds the level
    double duty = 0.5;       // square waves: the high part of a cycle
    double lowpass = 0.0;    // one-pole low-pass start and end (Hz); 0 leaves it out
    double lowpassTo = 0.0;  // 0: no sweep
    double highpass = 0.0;   // one-pole high-pass (Hz); 0 leaves it out
    double wobble = 0.0;     // vibrato rate (Hz) ...
    double depth = 0.0;      // ... and its depth in semitones
    uint32_t seed = 1;       // noise: the same seed gives the same noise
};

// Reads "voice WAVE key value ..." from words[first] on.
Voice ParseVoice(const RecipeLine& line, size_t first);
// Adds the voice into `samples` at `rate`, growing it as needed.
void MixVoice(const Voice& voice, double rate, std::vector<double>& samples);
// Scales samples so that the largest magnitude becomes `peak` (silence stays silence).
void Normalize(std::vector<double>& samples, double peak);

// content/sound/NAME.sfx -> a 16-bit mono RIFF/WAVE file; the effect must last under 0.5 s.
void BuildEffect(const std::string& recipePath, const std::string& wavPath);
// content/sound/NAME.tune -> a 4-channel, 31-instrument "M.K." module.
void BuildTune(const std::string& recipePath, const std::string& modPath);

// Writes bytes to a file; throws RecipeError naming the file when it cannot.
void WriteBytes(const std::string& path, const std::vector<uint8_t>& bytes);

}  // namespace sound
