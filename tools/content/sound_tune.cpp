// The tune: a .tune recipe into a 4-channel, 31-instrument "M.K." module with synthesized
// instruments.
#include <algorithm>
#include <array>
#include <cmath>
#include <map>

#include "tools/content/sound.h"

namespace sound {

namespace {

constexpr int ChannelCount = 4;
constexpr int RowsPerPattern = 64;
constexpr int RowsPerBar = 16;
constexpr int InstrumentSlots = 31;
constexpr int MaxPatterns = 64;
constexpr int MaxOrder = 128;
constexpr int FullVolume = 64;
constexpr size_t MaxSampleBytes = 65535 * 2;
constexpr int DefaultSpeed = 6;
constexpr int DefaultTempo = 125;
constexpr int NoteC2 = 12;
// The rate at which a note C2 plays a sample; struck instruments are made for their note's rate.
constexpr double RateOfC2 = 8363.0;
constexpr double Pi = 3.14159265358979323846;

// Periods of C1 to B3 at finetune 0: the three octaves a 4-channel module can hold.
constexpr uint16_t Periods[36] = {856, 808, 762, 720, 678, 640, 604, 570, 538, 508, 480, 453,
                                  428, 404, 381, 360, 339, 320, 302, 285, 269, 254, 240, 226,
                                  214, 202, 190, 180, 170, 160, 151, 143, 135, 127, 120, 113};

struct Instrument {
    std::string name;
    std::vector<int8_t> data;
    size_t loopStart = 0;   // bytes
    size_t loopLength = 0;  // bytes; 0 plays once
    int note = NoteC2;      // struck instruments: the note they are played at
};

struct Cell {
    uint8_t instrument = 0;  // 1-based; 0 keeps the channel's
    uint16_t period = 0;
    uint8_t effect = 0;
    uint8_t parameter = 0;
};

struct Pattern {
    std::string name;
    RecipeLine where;
    std::array<std::array<Cell, ChannelCount>, RowsPerPattern> rows{};
    std::array<int, ChannelCount> filled{};  // rows written so far on each channel
};

struct Channel {
    std::string name;
    int instrument = -1;  // index into instruments; -1 for the kit
    int volume = -1;      // -1: notes keep the instrument's volume
};

struct Hit {
    int instrument = 0;
    int volume = -1;
};

struct NamedBar {
    RecipeLine line;
    std::vector<std::string> words;
};

struct Tune {
    std::string title;
    int speed = DefaultSpeed;
    int tempo = DefaultTempo;
    RecipeLine speedLine;
    std::vector<Instrument> instruments;
    std::array<Channel, ChannelCount> channels;
    std::map<std::string, Hit> hits;
    std::map<std::string, NamedBar> bars;
    std::vector<Pattern> patterns;
    std::vector<std::string> order;
    RecipeLine orderLine;
    int restart = 0;
    RecipeLine restartLine;
};

// One word of a bar: a note, a drum, a hold or a cut, lasting `rows`.
struct Step {
    enum class Kind { Hold, Cut, Note } kind = Kind::Hold;
    int rows = 1;
    int instrument = 0;
    int note = 0;
    int volume = -1;
};

// A tracker note such as C2, F#1, Bb3 as 0 (C1) to 35 (B3), or -1 if the word is no note.
int NoteIndex(const std::string& word) {
    static const int semitones[7] = {9, 11, 0, 2, 4, 5, 7};  // A B C D E F G
    if (word.size() < 2 || word[0] < 'A' || word[0] > 'G') return -1;
    int semitone = semitones[word[0] - 'A'];
    size_t next = 1;
    if (word[next] == '#') ++semitone, ++next;
    else if (word[next] == 'b') --semitone, ++next;
    if (next + 1 != word.size() || word[next] < '1' || word[next] > '3') return -1;
    int index = (word[next] - '1') * 12 + semitone;
    return index >= 0 && index < 36 ? index : -1;
}

int ParseNote(const RecipeLine& line, const std::string& word) {
    int note = NoteIndex(word);
    if (note < 0)
        Fail(line, "expected a note from C1 to B3 such as C2, F#1 or Bb3, found '" + word + "'");
    return note;
}

int FindInstrument(const Tune& tune, const RecipeLine& line, const std::string& name) {
    for (size_t i = 0; i < tune.instruments.size(); ++i) {
        if (tune.instruments[i].name == name) return static_cast<int>(i);
    }
    Fail(line, "unknown instrument '" + name + "' (instruments are defined before they are used)");
}

// Full-scale signed 8-bit samples from values in -1..1 (the largest becomes +-127).
std::vector<int8_t> Quantize(std::vector<double> samples) {
    Normalize(samples, 1.0);
    std::vector<int8_t> data;
    for (double s : samples)
        data.push_back(static_cast<int8_t>(std::clamp(std::lround(s * 127.0), -128L, 127L)));
    if (data.size() % 2) data.push_back(0);  // lengths are counted in words
    return data;
}

// The settings of a pitched instrument, read from its block.
struct PitchedRecipe {
    int cycle = 32;
    std::vector<double> harmonics{1.0};
    double attack = 1.0;
    int head = 32;
    double fall = 3.0;
    double bright = 0.0;
    double sustain = 0.5;
    int loop = 1;
};

// A pitched instrument: `head` cycles that settle from a bright start, then `loop` identical
// cycles at the sustain level, so the loop joins seamlessly; with no loop it dies away to zero.
void SynthesizePitched(const PitchedRecipe& recipe, Instrument& instrument) {
    int cycles = recipe.head + recipe.loop;
    std::vector<double> samples(static_cast<size_t>(cycles * recipe.cycle));
    double floor = std::exp(-recipe.fall);
    for (size_t i = 0; i < samples.size(); ++i) {
        double cycle = static_cast<double>(i) / recipe.cycle;
        double settled = recipe.head > 0 ? std::min(1.0, cycle / recipe.head) : 1.0;
        double start = (std::exp(-recipe.fall * settled) - floor) / (1.0 - floor);  // 1 -> 0
        double level = recipe.loop > 0 ? recipe.sustain + (1.0 - recipe.sustain) * start : start;
        double rise = recipe.attack > 0.0 ? std::min(1.0, cycle / recipe.attack) : 1.0;
        double angle =
            2.0 * Pi * static_cast<double>(i % static_cast<size_t>(recipe.cycle)) / recipe.cycle;
        double value = 0.0;
        for (size_t k = 0; k < recipe.harmonics.size(); ++k) {
            double strength = recipe.harmonics[k] * (k > 0 ? 1.0 + recipe.bright * start : 1.0);
            value += strength * std::sin(static_cast<double>(k + 1) * angle);
        }
        samples[i] = level * rise * value;
    }
    instrument.data = Quantize(samples);
    if (recipe.loop > 0) {
        instrument.loopStart = static_cast<size_t>(recipe.head * recipe.cycle);
        instrument.loopLength = static_cast<size_t>(recipe.loop * recipe.cycle);
    }
}

// Reads one setting of a pitched instrument; false if the line is no such setting.
bool ParsePitchedSetting(const RecipeLine& line, PitchedRecipe& recipe) {
    const std::string& key = line.words[0];
    if (key == "harmonics") {
        if (line.words.size() < 2 || line.words.size() > 16)
            Fail(line, "harmonics takes 1 to 15 strengths");
        recipe.harmonics.clear();
        for (size_t w = 1; w < line.words.size(); ++w)
            recipe.harmonics.push_back(ParseReal(line, line.words[w], 0.0, 1.0));
        return true;
    }
    if (key != "cycle" && key != "attack" && key != "head" && key != "fall" && key != "bright" &&
        key != "sustain" && key != "loop")
        return false;
    if (line.words.size() != 2) Fail(line, "'" + key + "' takes one value");
    const std::string& value = line.words[1];
    if (key == "cycle") recipe.cycle = ParseInteger(line, value, 2, 512);
    else if (key == "attack") recipe.attack = ParseReal(line, value, 0.0, 1000.0);
    else if (key == "head") recipe.head = ParseInteger(line, value, 0, 4000);
    else if (key == "fall") recipe.fall = ParseReal(line, value, 0.1, 50.0);
    else if (key == "bright") recipe.bright = ParseReal(line, value, 0.0, 10.0);
    else if (key == "sustain") recipe.sustain = ParseReal(line, value, 0.0, 1.0);
    else recipe.loop = ParseInteger(line, value, 0, 64);
    if (recipe.cycle % 2) Fail(line, "cycle must be even");
    if (recipe.harmonics.size() * 2 >= static_cast<size_t>(recipe.cycle)) {
        Fail(line, "a cycle of " + std::to_string(recipe.cycle) + " samples cannot hold " +
                       std::to_string(recipe.harmonics.size()) + " harmonics");
    }
    return true;
}

// Reads "instrument NAME" up to "end" and synthesizes it; returns the index after "end".
size_t ParseInstrument(const std::vector<RecipeLine>& lines, size_t at, Tune& tune) {
    const RecipeLine& header = lines[at];
    if (header.words.size() != 2) Fail(header, "expected 'instrument NAME'");
    if (tune.instruments.size() >= InstrumentSlots)
        Fail(header, "a module holds at most 31 instruments");
    for (const Instrument& other : tune.instruments) {
        if (other.name == header.words[1])
            Fail(header, "instrument '" + other.name + "' is defined twice");
    }
    Instrument instrument;
    instrument.name = header.words[1];
    PitchedRecipe pitched;
    std::vector<Voice> voices;
    bool pitchedSettings = false;
    size_t i = at + 1;
    for (; i < lines.size() && lines[i].words[0] != "end"; ++i) {
        const RecipeLine& line = lines[i];
        if (line.words[0] == "instrument") break;
        if (line.words[0] == "voice") {
            voices.push_back(ParseVoice(line, 1));
        } else if (line.words[0] == "note" && line.words.size() == 2) {
            instrument.note = ParseNote(line, line.words[1]);
        } else if (ParsePitchedSetting(line, pitched)) {
            pitchedSettings = true;
        } else {
            Fail(line, "unknown instrument setting '" + line.words[0] + "'");
        }
    }
    if (i == lines.size() || lines[i].words[0] != "end")
        Fail(header, "instrument '" + instrument.name + "' has no 'end'");
    if (!voices.empty() && pitchedSettings)
        Fail(header,
             "an instrument is either pitched (cycle, harmonics...) or struck (voices), not both");
    if (voices.empty()) {
        if (pitched.head + pitched.loop == 0) Fail(header, "an instrument needs a head or a loop");
        SynthesizePitched(pitched, instrument);
    } else {
        std::vector<double> samples;
        double rate = RateOfC2 * std::pow(2.0, (instrument.note - NoteC2) / 12.0);
        for (const Voice& voice : voices) MixVoice(voice, rate, samples);
        instrument.data = Quantize(samples);
    }
    if (instrument.data.size() > MaxSampleBytes)
        Fail(header, "instrument '" + instrument.name + "' is longer than a module sample can be");
    tune.instruments.push_back(std::move(instrument));
    return i + 1;
}

// "channel N NAME INSTRUMENT [@V]"; INSTRUMENT "kit" plays the hits.
void ParseChannel(const RecipeLine& line, Tune& tune) {
    if (line.words.size() != 4 && line.words.size() != 5)
        Fail(line, "expected 'channel N NAME INSTRUMENT [@VOLUME]'");
    Channel& channel = tune.channels[ParseInteger(line, line.words[1], 1, ChannelCount) - 1];
    if (!channel.name.empty()) Fail(line, "channel " + line.words[1] + " is defined twice");
    channel.name = line.words[2];
    channel.instrument = line.words[3] == "kit" ? -1 : FindInstrument(tune, line, line.words[3]);
    if (line.words.size() == 5) {
        if (line.words[4][0] != '@')
            Fail(line, "expected a volume such as @40, found '" + line.words[4] + "'");
        channel.volume = ParseInteger(line, line.words[4].substr(1), 0, FullVolume);
    }
}

// "hit LETTER INSTRUMENT [@V]"
void ParseHit(const RecipeLine& line, Tune& tune) {
    if (line.words.size() != 3 && line.words.size() != 4)
        Fail(line, "expected 'hit LETTER INSTRUMENT [@VOLUME]'");
    const std::string& letter = line.words[1];
    if (letter.size() != 1 || letter[0] < 'a' || letter[0] > 'z')
        Fail(line, "a hit is one small letter, found '" + letter + "'");
    Hit hit;
    hit.instrument = FindInstrument(tune, line, line.words[2]);
    if (line.words.size() == 4) {
        if (line.words[3][0] != '@')
            Fail(line, "expected a volume such as @40, found '" + line.words[3] + "'");
        hit.volume = ParseInteger(line, line.words[3].substr(1), 0, FullVolume);
    }
    tune.hits[letter] = hit;
}

// The text after `mark` (':' rows or '@' volume) in a bar word, up to the next mark.
std::string WordPart(const std::string& word, char mark) {
    size_t at = word.find(mark);
    size_t end = word.find_first_of(":@", at + 1);
    return word.substr(at + 1, end == std::string::npos ? std::string::npos : end - at - 1);
}

// The rows a bar word lasts: its ":N", or one.
int StepRows(const RecipeLine& line, const std::string& word) {
    return word.find(':') == std::string::npos
               ? 1
               : ParseInteger(line, WordPart(word, ':'), 1, RowsPerBar);
}

// Reads a bar word "NAME:N@V": a note or drum, a hold "." or a cut "^", its rows and volume.
Step ParseStep(const RecipeLine& line, const std::string& word, const Tune& tune,
               const Channel& channel) {
    Step step;
    std::string name = word.substr(0, word.find_first_of(":@"));
    step.rows = StepRows(line, word);
    if (word.find('@') != std::string::npos)
        step.volume = ParseInteger(line, WordPart(word, '@'), 0, FullVolume);
    if (name == ".") {
        step.kind = Step::Kind::Hold;
    } else if (name == "^") {
        step.kind = Step::Kind::Cut;
    } else if (channel.instrument < 0) {
        auto hit = tune.hits.find(name);
        if (hit == tune.hits.end())
            Fail(line, "'" + name + "' is no hit of the kit on channel '" + channel.name + "'");
        step.kind = Step::Kind::Note;
        step.instrument = hit->second.instrument;
        step.note = tune.instruments[static_cast<size_t>(step.instrument)].note;
        if (step.volume < 0) step.volume = hit->second.volume;
    } else {
        step.kind = Step::Kind::Note;
        step.instrument = channel.instrument;
        step.note = ParseNote(line, name);
        if (step.volume < 0) step.volume = channel.volume;
    }
    if (step.kind != Step::Kind::Note && step.volume >= 0)
        Fail(line, "only notes take a volume: '" + word + "'");
    return step;
}

// Writes one bar's words onto a channel of the pattern.
void PlaceBar(const RecipeLine& line, const std::vector<std::string>& words, const Tune& tune,
              int channelIndex, Pattern& pattern) {
    const Channel& channel = tune.channels[static_cast<size_t>(channelIndex)];
    std::vector<Step> steps;
    int rows = 0;
    for (const std::string& word : words) {
        steps.push_back(ParseStep(line, word, tune, channel));
        rows += steps.back().rows;
    }
    if (rows != RowsPerBar)
        Fail(line, "a bar fills 16 rows; this one on '" + channel.name + "' fills " +
                       std::to_string(rows));
    int& row = pattern.filled[static_cast<size_t>(channelIndex)];
    if (row + RowsPerBar > RowsPerPattern)
        Fail(line, "channel '" + channel.name + "' has more than four bars in pattern '" +
                       pattern.name + "'");
    for (const Step& step : steps) {
        Cell& cell = pattern.rows[static_cast<size_t>(row)][static_cast<size_t>(channelIndex)];
        if (step.kind == Step::Kind::Cut) {
            cell.effect = 0xC;
        } else if (step.kind == Step::Kind::Note) {
            cell.instrument = static_cast<uint8_t>(step.instrument + 1);
            cell.period = Periods[step.note];
            if (step.volume >= 0) {
                cell.effect = 0xC;
                cell.parameter = static_cast<uint8_t>(step.volume);
            }
        }
        row += step.rows;
    }
}

// "CHANNEL | words | =bar | ..." inside a pattern.
void ParsePatternLine(const RecipeLine& line, const Tune& tune, Pattern& pattern) {
    int channelIndex = -1;
    for (int c = 0; c < ChannelCount; ++c) {
        if (tune.channels[static_cast<size_t>(c)].name == line.words[0]) channelIndex = c;
    }
    if (channelIndex < 0) Fail(line, "unknown channel '" + line.words[0] + "'");
    std::vector<std::string> bar;
    auto finish = [&]() {
        if (bar.empty()) return;
        if (bar.size() == 1 && bar[0][0] == '=') {
            auto named = tune.bars.find(bar[0].substr(1));
            if (named == tune.bars.end()) Fail(line, "unknown bar '" + bar[0] + "'");
            PlaceBar(named->second.line, named->second.words, tune, channelIndex, pattern);
        } else {
            PlaceBar(line, bar, tune, channelIndex, pattern);
        }
        bar.clear();
    };
    for (size_t w = 1; w < line.words.size(); ++w) {
        if (line.words[w] == "|") finish();
        else bar.push_back(line.words[w]);
    }
    finish();
}

// Reads "pattern NAME" up to "end"; returns the index of the line after "end".
size_t ParsePattern(const std::vector<RecipeLine>& lines, size_t at, Tune& tune) {
    const RecipeLine& header = lines[at];
    if (header.words.size() != 2) Fail(header, "expected 'pattern NAME'");
    for (const Pattern& other : tune.patterns) {
        if (other.name == header.words[1])
            Fail(header, "pattern '" + other.name + "' is defined twice");
    }
    Pattern pattern;
    pattern.name = header.words[1];
    pattern.where = header;
    size_t i = at + 1;
    for (; i < lines.size() && lines[i].words[0] != "end"; ++i) {
        if (lines[i].words[0] == "pattern") break;
        ParsePatternLine(lines[i], tune, pattern);
    }
    if (i == lines.size() || lines[i].words[0] != "end")
        Fail(header, "pattern '" + pattern.name + "' has no 'end'");
    for (int c = 0; c < ChannelCount; ++c) {
        int rows = pattern.filled[static_cast<size_t>(c)];
        if (rows != 0 && rows != RowsPerPattern) {
            Fail(lines[i], "channel '" + tune.channels[static_cast<size_t>(c)].name + "' has " +
                               std::to_string(rows / RowsPerBar) + " bars in pattern '" +
                               pattern.name + "'; a pattern has 4");
        }
    }
    tune.patterns.push_back(pattern);
    return i + 1;
}

// "bar NAME | words |"
void ParseNamedBar(const RecipeLine& line, Tune& tune) {
    if (line.words.size() < 4 || line.words[2] != "|" || line.words.back() != "|")
        Fail(line, "expected 'bar NAME | ... |'");
    NamedBar bar{line, std::vector<std::string>(line.words.begin() + 3, line.words.end() - 1)};
    if (std::find(bar.words.begin(), bar.words.end(), "|") != bar.words.end())
        Fail(line, "a named bar holds one bar");
    int rows = 0;
    for (const std::string& word : bar.words) rows += StepRows(line, word);
    if (rows != RowsPerBar)
        Fail(line, "a bar fills 16 rows; this one fills " + std::to_string(rows));
    if (!tune.bars.emplace(line.words[1], bar).second)
        Fail(line, "bar '" + line.words[1] + "' is defined twice");
}

Tune ParseTune(const std::string& path) {
    std::vector<RecipeLine> lines = ReadRecipe(path);
    Tune tune;
    for (size_t i = 0; i < lines.size();) {
        const RecipeLine& line = lines[i];
        const std::string& command = line.words[0];
        if (command == "instrument") {
            i = ParseInstrument(lines, i, tune);
            continue;
        }
        if (command == "pattern") {
            i = ParsePattern(lines, i, tune);
            continue;
        }
        if (command == "title") {
            for (size_t w = 1; w < line.words.size(); ++w)
                tune.title += (w > 1 ? " " : "") + line.words[w];
            if (tune.title.size() > 20) Fail(line, "a title holds at most 20 characters");
        } else if (command == "speed" && line.words.size() == 2) {
            tune.speed = ParseInteger(line, line.words[1], 1, 31);
            tune.speedLine = line;
        } else if (command == "tempo" && line.words.size() == 2) {
            tune.tempo = ParseInteger(line, line.words[1], 32, 255);
            tune.speedLine = line;
        } else if (command == "channel") {
            ParseChannel(line, tune);
        } else if (command == "hit") {
            ParseHit(line, tune);
        } else if (command == "bar") {
            ParseNamedBar(line, tune);
        } else if (command == "order") {
            tune.order.assign(line.words.begin() + 1, line.words.end());
            tune.orderLine = line;
        } else if (command == "restart" && line.words.size() == 2) {
            tune.restart = ParseInteger(line, line.words[1], 0, MaxOrder - 1);
            tune.restartLine = line;
        } else {
            Fail(line, "unknown or incomplete command '" + command + "'");
        }
        ++i;
    }
    RecipeLine whole{path, 0, {}};
    if (tune.order.empty())
        Fail(tune.orderLine.number ? tune.orderLine : whole,
             "the tune needs an 'order' of patterns");
    if (tune.order.size() > MaxOrder) Fail(tune.orderLine, "an order holds at most 128 patterns");
    if (tune.restart >= static_cast<int>(tune.order.size()))
        Fail(tune.restartLine, "restart lies past the end of the order");
    return tune;
}

// Pattern numbers in order of first use; unused patterns are left out.
std::vector<int> NumberPatterns(const Tune& tune, std::vector<const Pattern*>& used) {
    std::vector<int> numbers;
    for (const std::string& name : tune.order) {
        auto found = std::find_if(tune.patterns.begin(), tune.patterns.end(),
                                  [&](const Pattern& p) { return p.name == name; });
        if (found == tune.patterns.end()) Fail(tune.orderLine, "unknown pattern '" + name + "'");
        auto known = std::find(used.begin(), used.end(), &*found);
        if (known == used.end()) {
            if (static_cast<int>(used.size()) == MaxPatterns)
                Fail(tune.orderLine, "a module holds at most 64 patterns");
            used.push_back(&*found);
            known = used.end() - 1;
        }
        numbers.push_back(static_cast<int>(known - used.begin()));
    }
    return numbers;
}

// Puts a speed or tempo command on the first free channel of the opening row.
void PlaceTiming(Pattern& first, int value, const RecipeLine& line) {
    for (Cell& cell : first.rows[0]) {
        if (cell.effect == 0 && cell.parameter == 0) {
            cell.effect = 0xF;
            cell.parameter = static_cast<uint8_t>(value);
            return;
        }
    }
    Fail(line, "the opening row has no channel free for the speed and tempo");
}

// The last position ends with a jump back to the restart position, so the tune loops in any
// player; when its pattern also plays earlier, the last position gets a copy of it.
void PlaceRestartJump(const Tune& tune, std::vector<Pattern>& patterns, std::vector<int>& numbers) {
    const RecipeLine& line = tune.restartLine.number ? tune.restartLine : tune.orderLine;
    int last = numbers.back();
    if (std::count(numbers.begin(), numbers.end() - 1, last) > 0) {
        if (static_cast<int>(patterns.size()) == MaxPatterns)
            Fail(line, "no pattern left for the jump back to the restart");
        patterns.push_back(patterns[static_cast<size_t>(last)]);
        numbers.back() = static_cast<int>(patterns.size()) - 1;
    }
    Pattern& pattern = patterns[static_cast<size_t>(numbers.back())];
    for (Cell& cell : pattern.rows[RowsPerPattern - 1]) {
        if (cell.effect == 0 && cell.parameter == 0) {
            cell.effect = 0xB;
            cell.parameter = static_cast<uint8_t>(tune.restart);
            return;
        }
    }
    Fail(line, "the last row of pattern '" + pattern.name +
                   "' needs a free channel for the jump back to the restart");
}

void PutBig16(std::vector<uint8_t>& bytes, size_t value) {
    bytes.push_back(static_cast<uint8_t>(value >> 8));
    bytes.push_back(static_cast<uint8_t>(value));
}

void PutPadded(std::vector<uint8_t>& bytes, const std::string& text, size_t size) {
    for (size_t i = 0; i < size; ++i)
        bytes.push_back(i < text.size() ? static_cast<uint8_t>(text[i]) : 0);
}

std::vector<uint8_t> EncodeModule(const Tune& tune) {
    std::vector<const Pattern*> used;
    std::vector<int> numbers = NumberPatterns(tune, used);
    std::vector<Pattern> patterns;
    for (const Pattern* p : used) patterns.push_back(*p);
    if (tune.speed != DefaultSpeed)
        PlaceTiming(patterns[static_cast<size_t>(numbers[0])], tune.speed, tune.speedLine);
    if (tune.tempo != DefaultTempo)
        PlaceTiming(patterns[static_cast<size_t>(numbers[0])], tune.tempo, tune.speedLine);
    PlaceRestartJump(tune, patterns, numbers);

    std::vector<uint8_t> bytes;
    PutPadded(bytes, tune.title, 20);
    for (int slot = 0; slot < InstrumentSlots; ++slot) {
        bool filled = slot < static_cast<int>(tune.instruments.size());
        const Instrument* instrument =
            filled ? &tune.instruments[static_cast<size_t>(slot)] : nullptr;
        PutPadded(bytes, filled ? instrument->name : "", 22);
        PutBig16(bytes, filled ? instrument->data.size() / 2 : 0);
        bytes.push_back(0);  // finetune
        bytes.push_back(filled ? FullVolume : 0);
        PutBig16(bytes, filled ? instrument->loopStart / 2 : 0);
        PutBig16(bytes, filled && instrument->loopLength ? instrument->loopLength / 2 : 1);
    }
    bytes.push_back(static_cast<uint8_t>(tune.order.size()));
    bytes.push_back(static_cast<uint8_t>(tune.restart));
    for (int i = 0; i < MaxOrder; ++i)
        bytes.push_back(i < static_cast<int>(numbers.size())
                            ? static_cast<uint8_t>(numbers[static_cast<size_t>(i)])
                            : 0);
    PutPadded(bytes, "M.K.", 4);
    for (const Pattern& pattern : patterns) {
        for (const auto& row : pattern.rows) {
            for (const Cell& cell : row) {
                bytes.push_back(
                    static_cast<uint8_t>((cell.instrument & 0xF0) | (cell.period >> 8)));
                bytes.push_back(static_cast<uint8_t>(cell.period & 0xFF));
                bytes.push_back(
                    static_cast<uint8_t>(((cell.instrument & 0x0F) << 4) | cell.effect));
                bytes.push_back(cell.parameter);
            }
        }
    }
    for (const Instrument& instrument : tune.instruments) {
        for (int8_t s : instrument.data) bytes.push_back(static_cast<uint8_t>(s));
    }
    return bytes;
}

}  // namespace

void BuildTune(const std::string& recipePath, const std::string& modPath) {
    WriteBytes(modPath, EncodeModule(ParseTune(recipePath)));
}

}  // namespace sound
