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

void WriteActor(FILE* out, const Actor& actor) {
    std::fprintf(out, "{\"x\":%d,\"y\":%d,\"frame\":%d,\"state\":%d}", actor.x, actor.y,
                 actor.frame, actor.state);
}

void WriteActors(FILE* out, const char* name, const Actor* actors, int count) {
    std::fprintf(out, ",\"%s\":[", name);
    for (int i = 0; i < count; ++i) {
        if (i > 0) std::fputc(',', out);
        WriteActor(out, actors[i]);
    }
    std::fputc(']', out);
}

// The whole play field and its clock, named as in the code.
void WritePlayField(FILE* out) {
    const PlayFieldRecord& field = PlayField;
    std::fprintf(out,
                 ",\"PlayField\":{\"Level\":%d,\"Score\":%d,\"SpiderCount\":%d,\"FruitCount\":%d,"
                 "\"PlantsLeft\":%d,\"StepCount\":%d,\"Dog\":",
                 field.Level, field.Score, field.SpiderCount, field.FruitCount, field.PlantsLeft,
                 field.StepCount);
    WriteActor(out, field.Dog);
    WriteActors(out, "Spiders", field.Spiders, SpiderSlots);
    WriteActors(out, "Fruits", field.Fruits, FruitSlots);
    WriteActors(out, "Fumes", field.Fumes, FumeSlots);
    std::fprintf(out,
                 "},\"SpeedUnit\":%d,\"LastDogStep\":%d,\"LastLevelUp\":%d,\"LastPickCheck\":%d,"
                 "\"LastGrow\":%d,\"LastSpiderStep\":%d,\"LastFruitSpawn\":%d,"
                 "\"LastSpiderSpawn\":%d,\"LastFumeStep\":%d,\"LastFrame\":%d",
                 SpeedUnit, LastDogStep, LastLevelUp, LastPickCheck, LastGrow, LastSpiderStep,
                 LastFruitSpawn, LastSpiderSpawn, LastFumeStep, LastFrame);
}

// After every replayed pass: one JSON object a line; the play field while a game runs and in
// the pass that ended it.
void DumpPass(int pass, void*) {
    FILE* out = Dump.file;
    std::fprintf(out, "{\"pass\":%d,\"Now\":%d,\"ScreenState\":%d", pass, Now, ScreenState);
    bool inPlay = ScreenState == Play;
    if (inPlay || Dump.wasInPlay) WritePlayField(out);
    Dump.wasInPlay = inPlay;
    std::fputs("}\n", out);
    if (std::ferror(out) && !Dump.error) Dump.error = errno;
}

}  // namespace

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
