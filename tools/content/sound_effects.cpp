// Effects: a .sfx recipe mixed from its voices into a 16-bit mono RIFF/WAVE file.
#include <algorithm>
#include <cmath>
#include <sstream>

#include "tools/content/sound.h"

namespace sound {

namespace {

// The game's effects must stay short enough never to pile up.
constexpr double LongestEffectSeconds = 0.5;

void PutLittle(std::vector<uint8_t>& bytes, uint32_t value, int count) {
    for (int i = 0; i < count; ++i) bytes.push_back(static_cast<uint8_t>(value >> (8 * i)));
}

void PutText(std::vector<uint8_t>& bytes, const char* text) {
    while (*text) bytes.push_back(static_cast<uint8_t>(*text++));
}

// A canonical 44-byte-header PCM WAVE file: mono, 16-bit, at `rate`.
std::vector<uint8_t> EncodeWave(const std::vector<double>& samples, int rate) {
    uint32_t dataBytes = static_cast<uint32_t>(samples.size() * 2);
    std::vector<uint8_t> bytes;
    PutText(bytes, "RIFF");
    PutLittle(bytes, 36 + dataBytes, 4);
    PutText(bytes, "WAVEfmt ");
    PutLittle(bytes, 16, 4);  // format chunk size
    PutLittle(bytes, 1, 2);   // PCM
    PutLittle(bytes, 1, 2);   // mono
    PutLittle(bytes, static_cast<uint32_t>(rate), 4);
    PutLittle(bytes, static_cast<uint32_t>(rate) * 2, 4);  // bytes a second
    PutLittle(bytes, 2, 2);                                // bytes a frame
    PutLittle(bytes, 16, 2);                               // bits a sample
    PutText(bytes, "data");
    PutLittle(bytes, dataBytes, 4);
    for (double s : samples) {
        long value = std::lround(std::clamp(s, -1.0, 1.0) * 32767.0);
        PutLittle(bytes, static_cast<uint32_t>(value) & 0xFFFFu, 2);
    }
    return bytes;
}

}  // namespace

void BuildEffect(const std::string& recipePath, const std::string& wavPath) {
    int rate = 22050;
    double peak = 0.9;
    std::vector<Voice> voices;
    std::vector<RecipeLine> voiceLines;
    for (const RecipeLine& line : ReadRecipe(recipePath)) {
        const std::string& command = line.words[0];
        if (command == "voice") {
            voices.push_back(ParseVoice(line, 1));
            voiceLines.push_back(line);
            continue;
        }
        if (line.words.size() != 2) Fail(line, "'" + command + "' takes one value");
        if (command == "rate") rate = ParseInteger(line, line.words[1], 8000, 48000);
        else if (command == "peak") peak = ParseReal(line, line.words[1], 0.05, 1.0);
        else Fail(line, "unknown command '" + command + "' (rate, peak or voice)");
    }
    if (voices.empty())
        Fail(RecipeLine{recipePath, 0, {}}, "no voice: an effect needs at least one");
    for (size_t i = 0; i < voices.size(); ++i) {
        double end = voices[i].at + voices[i].length;
        if (end >= LongestEffectSeconds) {
            std::ostringstream message;
            message << "this voice ends at " << end << " s; an effect must end before "
                    << LongestEffectSeconds << " s";
            Fail(voiceLines[i], message.str());
        }
    }
    std::vector<double> samples;
    for (const Voice& voice : voices) MixVoice(voice, rate, samples);
    Normalize(samples, peak);
    WriteBytes(wavPath, EncodeWave(samples, rate));
}

}  // namespace sound
