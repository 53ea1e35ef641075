// The state of every replayed pass, one line of JSON each, for programs that follow a game.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

#include "game/game.h"
#include "game/play/play.h"
#include "journal/journal.h"

namespace {

struct DumpRecord {
    FILE* file = nullptr;
    std::string path;
    bool wasInPlay = false;
    int error = 0;  // the first write that failed, as errno said
};

DumpRecord Dump;

// Appends printf's text, however long.
template <typename... Values>
void Add(std::string* line, const char* format, Values... values) {
    size_t at = line->size();
    int length = std::snprintf(nullptr, 0, format, values...);
    line->resize(at + static_cast<size_t>(length) + 1);
    std::snprintf(line->data() + at, static_cast<size_t>(length) + 1, format, values...);
    line->pop_back();
}

void AddActor(std::string* line, const Actor& actor) {
    Add(line, "{\"x\":%d,\"y\":%d,\"frame\":%d,\"state\":%d}", actor.x, actor.y, actor.frame,
        actor.state);
}

void AddActors(std::string* line, const char* name, const Actor* actors, int count) {
    Add(line, ",\"%s\":[", name);
    for (int i = 0; i < count; ++i) {
        if (i > 0) *line += ',';
        AddActor(line, actors[i]);
    }
    *line += ']';
}

// The whole play field and its clock, named as in the code.
void AddPlayField(std::string* line) {
    const PlayFieldRecord& field = PlayField;
    Add(line,
        ",\"PlayField\":{\"Level\":%d,\"Score\":%d,\"SpiderCount\":%d,\"FruitCount\":%d,"
        "\"PlantsLeft\":%d,\"StepCount\":%d,\"Dog\":",
        field.Level, field.Score, field.SpiderCount, field.FruitCount, field.PlantsLeft,
        field.StepCount);
    AddActor(line, field.Dog);
    AddActors(line, "Spiders", field.Spiders, SpiderSlots);
    AddActors(line, "Fruits", field.Fruits, FruitSlots);
    AddActors(line, "Fumes", field.Fumes, FumeSlots);
    Add(line,
        "},\"SpeedUnit\":%d,\"LastDogStep\":%d,\"LastLevelUp\":%d,\"LastPickCheck\":%d,"
        "\"LastGrow\":%d,\"LastSpiderStep\":%d,\"LastFruitSpawn\":%d,"
        "\"LastSpiderSpawn\":%d,\"LastFumeStep\":%d,\"LastFrame\":%d",
        SpeedUnit, LastDogStep, LastLevelUp, LastPickCheck, LastGrow, LastSpiderStep,
        LastFruitSpawn, LastSpiderSpawn, LastFumeStep, LastFrame);
}

// After every replayed pass: one JSON object a line; the play field while a game runs and in
// the pass that ended it.
void DumpPass(int pass, void*) {
    bool inPlay = ScreenState == Play;
    std::string line = StateLine(pass, inPlay || Dump.wasInPlay);
    Dump.wasInPlay = inPlay;
    std::fputs(line.c_str(), Dump.file);
    if (std::ferror(Dump.file) && !Dump.error) Dump.error = errno;
}

}  // namespace

// The dump's line of the state now, at the end of pass (with the play field when asked).
std::string StateLine(int pass, bool withPlayField) {
    std::string line;
    Add(&line, "{\"pass\":%d,\"Now\":%d,\"ScreenState\":%d", pass, Now, ScreenState);
    if (withPlayField) AddPlayField(&line);
    line += "}\n";
    return line;
}

// --dump-state: the file is made now, a line written after each pass from then on.
bool OpenDump(const char* path, const char* journalPath) {
    Dump = DumpRecord{};
    if (!path) return true;
    const char* problem = nullptr;
    Dump.file = OpenOutput(path, journalPath, &problem);
    if (!Dump.file) {
        std::fprintf(stderr, "marrowdale: cannot write the state dump %s: %s\n", path, problem);
        return false;
    }
    Dump.path = path;
    SetPassHook(DumpPass, nullptr);
    return true;
}

// After the replay: the file finished; a dump that could not be finished fails the run.
int CloseDump(int status) {
    if (Dump.file && std::fclose(Dump.file) != 0 && !Dump.error) Dump.error = errno;
    if (Dump.error && status == 0) {
        std::fprintf(stderr, "marrowdale: cannot finish the state dump %s: %s\n",
                     Dump.path.c_str(), std::strerror(Dump.error));
        status = 1;
    }
    Dump = DumpRecord{};
    return status;
}
