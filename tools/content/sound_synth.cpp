// The voice synthesizer shared by the effects and the struck instruments of the tune.
#include <algorithm>
#include <cmath>

#include "tools/content/sound.h"

namespace sound {

namespace {

constexpr double Pi = 3.14159265358979323846;
// Every voice fades out over its last few milliseconds so that it never ends in a click.
constexpr double EndFadeSeconds = 0.004;

struct WaveName {
    const char* name;
    Wave wave;
};
constexpr WaveName WaveNames[] = {{"sine", Wave::Sine},
                                  {"triangle", Wave::Triangle},
                                  {"square", Wave::Square},
                                  {"saw", Wave::Saw},
                                  {"noise", Wave::Noise}};

// Reads one "name value" setting of a voice.
void ParseSetting(const RecipeLine& line, const std::string& name, const std::string& value,
                  Voice& voice) {
    if (name == "at") voice.at = ParseReal(line, value, 0.0, 10.0);
    else if (name == "for") voice.length = ParseReal(line, value, 0.001, 10.0);
    else if (name == "hz") voice.hz = ParseFrequency(line, value);
    else if (name == "to") voice.toHz = ParseFrequency(line, value);
    else if (name == "level") voice.level = ParseReal(line, value, 0.0, 4.0);
    else if (name == "attack") voice.attack = ParseReal(line, value, 0.0, 10.0);
    else if (name == "decay") voice.decay = ParseReal(line, value, 0.0, 50.0);
    else if (name == "duty") voice.duty = ParseReal(line, value, 0.01, 0.99);
    else if (name == "lowpass") voice.lowpass = ParseFrequency(line, value);
    else if (name == "lowpass-to") voice.lowpassTo = ParseFrequency(line, value);
    else if (name == "highpass") voice.highpass = ParseFrequency(line, value);
    else if (name == "wobble") voice.wobble = ParseReal(line, value, 0.0, 50.0);
    else if (name == "depth") voice.depth = ParseReal(line, value, 0.0, 12.0);
    else if (name == "seed")
        voice.seed = static_cast<uint32_t>(ParseInteger(line, value, 1, 1 << 30));
    else Fail(line, "unknown voice setting '" + name + "'");
}

// One sample of a periodic wave at phase 0..1.
double WaveValue(Wave wave, double phase, double duty) {
    switch (wave) {
        case Wave::Sine:
            return std::sin(2.0 * Pi * phase);
        case Wave::Triangle:
            return 1.0 - 4.0 * std::fabs(phase - 0.5);
        case Wave::Square:
            return phase < duty ? 1.0 : -1.0;
        case Wave::Saw:
            return 2.0 * phase - 1.0;
        case Wave::Noise:
            break;
    }
    return 0.0;
}

// Next value of the voice's own noise generator, -1..1 (a fixed linear congruential sequence).
double NextNoise(uint32_t& state) {
    state = state * 1664525u + 1013904223u;
    return static_cast<double>(state >> 8) / static_cast<double>(1u << 23) - 1.0;
}

// The voice's loudness at time t: linear attack, exponential decay, short fade at the end.
double Envelope(const Voice& voice, double t) {
    double gain = voice.attack > 0.0 && t < voice.attack ? t / voice.attack : 1.0;
    gain *= std::exp(-voice.decay * t / voice.length);
    double fade = std::min(EndFadeSeconds, voice.length / 4.0);
    return gain * std::clamp((voice.length - t) / fade, 0.0, 1.0);
}

}  // namespace

Voice ParseVoice(const RecipeLine& line, size_t first) {
    if (first >= line.words.size())
        Fail(line, "a voice needs a wave: sine, triangle, square, saw or noise");
    Voice voice;
    const std::string& waveName = line.words[first];
    const WaveName* found = std::find_if(std::begin(WaveNames), std::end(WaveNames),
                                         [&](const WaveName& w) { return waveName == w.name; });
    if (found == std::end(WaveNames)) Fail(line, "unknown wave '" + waveName + "'");
    voice.wave = found->wave;
    for (size_t i = first + 1; i < line.words.size(); i += 2) {
        if (i + 1 >= line.words.size())
            Fail(line, "voice setting '" + line.words[i] + "' has no value");
        ParseSetting(line, line.words[i], line.words[i + 1], voice);
    }
    if (voice.lowpass == 0.0 && voice.lowpassTo != 0.0) Fail(line, "lowpass-to needs a lowpass");
    if (voice.toHz == 0.0) voice.toHz = voice.hz;
    if (voice.lowpassTo == 0.0) voice.lowpassTo = voice.lowpass;
    return voice;
}

void MixVoice(const Voice& voice, double rate, std::vector<double>& samples) {
    size_t start = static_cast<size_t>(std::lround(voice.at * rate));
    size_t count = static_cast<size_t>(std::lround(voice.length * rate));
    if (samples.size() < start + count) samples.resize(start + count, 0.0);
    uint32_t noise = voice.seed;
    double phase = 0.0, low = 0.0, highIn = 0.0, highOut = 0.0;
    double highKeep = voice.highpass > 0.0 ? 1.0 / (1.0 + 2.0 * Pi * voice.highpass / rate) : 0.0;
    for (size_t i = 0; i < count; ++i) {
        double t = static_cast<double>(i) / rate;
        double progress = t / voice.length;
        double value;
        if (voice.wave == Wave::Noise) {
            value = NextNoise(noise);
        } else {
            double hz = voice.hz * std::pow(voice.toHz / voice.hz, progress);
            if (voice.depth > 0.0)
                hz *= std::pow(2.0, voice.depth / 12.0 * std::sin(2.0 * Pi * voice.wobble * t));
            value = WaveValue(voice.wave, phase, voice.duty);
            phase += hz / rate;
            phase -= std::floor(phase);
        }
        if (voice.lowpass > 0.0) {
            double cutoff = voice.lowpass * std::pow(voice.lowpassTo / voice.lowpass, progress);
            low += (1.0 - std::exp(-2.0 * Pi * cutoff / rate)) * (value - low);
            value = low;
        }
        if (voice.highpass > 0.0) {
            highOut = highKeep * (highOut + value - highIn);
            highIn = value;
            value = highOut;
        }
        samples[start + i] += voice.level * Envelope(voice, t) * value;
    }
}

void Normalize(std::vector<double>& samples, double peak) {
    double largest = 0.0;
    for (double s : samples) largest = std::max(largest, std::fabs(s));
    if (largest == 0.0) return;
    for (double& s : samples) s *= peak / largest;
}

}  // namespace sound
