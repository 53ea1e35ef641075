// Reading sound recipes: lines of words, numbers, frequencies and note names, with file:line
// errors.
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include "tools/content/sound.h"

namespace sound {

// Throws the one-line error for a recipe line (line 0 names only the file).
void Fail(const RecipeLine& line, const std::string& message) {
    std::string where = line.number > 0 ? line.path + ":" + std::to_string(line.number) : line.path;
    throw RecipeError{where + ": " + message};
}

// Splits a recipe into numbered lines of words; a word starting with '#' begins a comment.
std::vector<RecipeLine> ReadRecipe(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) Fail(RecipeLine{path, 0, {}}, "cannot open");
    std::vector<RecipeLine> lines;
    std::string text;
    int number = 0;
    while (std::getline(in, text)) {
        ++number;
        RecipeLine line{path, number, {}};
        std::istringstream words(text);
        std::string word;
        while (words >> word && word[0] != '#') line.words.push_back(word);
        if (!line.words.empty()) lines.push_back(line);
    }
    return lines;
}

// A decimal number within [low, high]; anything else is an error on that line.
double ParseReal(const RecipeLine& line, const std::string& word, double low, double high) {
    char* end = nullptr;
    errno = 0;
    double value = std::strtod(word.c_str(), &end);
    if (word.empty() || *end != '\0' || errno != 0 || !std::isfinite(value) || value < low ||
        value > high) {
        std::ostringstream message;
        message << "expected a number from " << low << " to " << high << ", found '" << word << "'";
        Fail(line, message.str());
    }
    return value;
}

// A whole number within [low, high].
int ParseInteger(const RecipeLine& line, const std::string& word, int low, int high) {
    char* end = nullptr;
    errno = 0;
    long value = std::strtol(word.c_str(), &end, 10);
    if (word.empty() || *end != '\0' || errno != 0 || value < low || value > high) {
        Fail(line, "expected a whole number from " + std::to_string(low) + " to " +
                       std::to_string(high) + ", found '" + word + "'");
    }
    return static_cast<int>(value);
}

namespace {

// Semitones above C of a note letter, or -1.
int LetterSemitone(char letter) {
    static const int semitones[7] = {9, 11, 0, 2, 4, 5, 7};  // A B C D E F G
    return letter >= 'A' && letter <= 'G' ? semitones[letter - 'A'] : -1;
}

}  // namespace

// Hertz, or a note name: letter, optional '#' or 'b', octave 0-9 (A4 = 440 Hz).
double ParseFrequency(const RecipeLine& line, const std::string& word) {
    int semitone = word.empty() ? -1 : LetterSemitone(word[0]);
    if (semitone < 0) return ParseReal(line, word, 1.0, 20000.0);
    size_t next = 1;
    if (next < word.size() && word[next] == '#') ++semitone, ++next;
    else if (next < word.size() && word[next] == 'b') --semitone, ++next;
    if (next + 1 != word.size() || word[next] < '0' || word[next] > '9') {
        Fail(line, "expected a frequency or a note such as A4 or C#6, found '" + word + "'");
    }
    int midi = 12 * (word[next] - '0' + 1) + semitone;
    return 440.0 * std::pow(2.0, (midi - 69) / 12.0);
}

}  // namespace sound
