// The journal: what crossed from the system into the game, pass by pass; recorded to a file,
// read back whole and checked, and replayed so a game runs again exactly as it ran.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstdio>
#include <cstring>
#include <vector>

#include "handheld/gx.h"
#include "handheld/system.h"
#include "journal/checksum.h"
#include "journal/journal.h"
#include "journal/play.h"

namespace {

constexpr char Magic[8] = {'M', 'D', 'J', 'O', 'U', 'R', 'N', 'L'};
// Recordings are written in the newest; every version up to it is read. Version 3 is version 2
// with the keyboard's cursor over the picture rather than in display memory.
constexpr int FormatVersion = 3;
constexpr int CursorOverPictureVersion = 3;
constexpr size_t HeaderBytes = 34;
// The header's flags: the journal was closed at a name's DONE while the game ran on.
constexpr size_t FlagsOffset = 30;
constexpr uint32_t EndsInPlayFlag = 1;
// Far beyond any real game (a day of play is a few megabytes); a bigger file is refused.
constexpr size_t LargestJournal = 256u << 20;
// A journal may hold at most a day of play: a verify runs every pass it claims.
constexpr uint64_t LongestPlayMs = 24ull * 60 * 60 * 1000;
// A recording writes its whole passes out this often, so a killed game loses no more.
constexpr DWORD RecordingFlushMs = 1000;
constexpr char CutShort[] = "it is cut short";
constexpr size_t LargestScoreFile = 1u << 16;
constexpr int VarintBytes = 10;

enum Tag : uint8_t {
    TagIdle = 'I',
    TagPass = 'P',
    TagTick = 'T',
    TagFrame = 'F',
    TagMessage = 'M',
    TagSeed = 'S',
    TagKeys = 'K',
    TagVolume = 'V',
    TagScoreFile = 'H',
    TagSoundTry = 'A',
    TagPassEnd = 'E',
    TagEnd = 'Z',
};

// The only messages a host sends the game; anything else in a journal is damage.
constexpr UINT JournalledMessages[] = {WM_ACTIVATE, WM_CLOSE,       WM_KEYDOWN,   WM_KEYUP,
                                       WM_MOUSEMOVE, WM_LBUTTONDOWN, WM_LBUTTONUP};

bool IsJournalled(UINT message) {
    return std::find(std::begin(JournalledMessages), std::end(JournalledMessages), message) !=
           std::end(JournalledMessages);
}

// ---- Bytes in and out ----------------------------------------------------------------------

void PutVarint(std::vector<uint8_t>* out, uint64_t value) {
    while (value >= 0x80) {
        out->push_back(static_cast<uint8_t>(value | 0x80));
        value >>= 7;
    }
    out->push_back(static_cast<uint8_t>(value));
}

void PutU32(std::vector<uint8_t>* out, uint32_t value) {
    for (int i = 0; i < 4; ++i) out->push_back(static_cast<uint8_t>(value >> (8 * i)));
}

uint64_t ZigZag(int64_t value) {
    return (static_cast<uint64_t>(value) << 1) ^ static_cast<uint64_t>(value >> 63);
}

int64_t UnZigZag(uint64_t value) {
    return static_cast<int64_t>(value >> 1) ^ -static_cast<int64_t>(value & 1);
}

// Reads a journal front to back; the first problem sticks and every later read fails.
struct Reader {
    const uint8_t* p;
    const uint8_t* end;
    const char* problem = nullptr;

    bool Fail(const char* what) {
        if (!problem) problem = what;
        return false;
    }
    bool Byte(uint8_t* value) {
        if (problem) return false;
        if (p == end) return Fail(CutShort);
        *value = *p++;
        return true;
    }
    bool U32(uint32_t* value) {
        uint32_t v = 0;
        for (int i = 0; i < 4; ++i) {
            uint8_t b;
            if (!Byte(&b)) return false;
            v |= static_cast<uint32_t>(b) << (8 * i);
        }
        *value = v;
        return true;
    }
    bool Varint(uint64_t* value) {
        uint64_t v = 0;
        for (int i = 0; i < VarintBytes; ++i) {
            uint8_t b;
            if (!Byte(&b)) return false;
            v |= static_cast<uint64_t>(b & 0x7F) << (7 * i);
            if (!(b & 0x80)) {
                *value = v;
                return true;
            }
        }
        return Fail("a number in it is damaged");
    }
    bool Small(uint64_t limit, uint32_t* value) {
        uint64_t v;
        if (!Varint(&v)) return false;
        if (v > limit) return Fail("a number in it is out of range");
        *value = static_cast<uint32_t>(v);
        return true;
    }
};

// ---- The journal in memory -----------------------------------------------------------------

// A run of idle passes, or one pass with what crossed in it; the extras index the tables below.
struct PassRecord {
    uint32_t idleRun = 0;  // more than 0: that many passes where nothing crossed
    uint32_t tickStep = 0;
    bool hasTickStep = false;
    bool frameChanged = false;
    uint32_t frameSum = 0;
    uint32_t firstMessage = 0, messageCount = 0;
    uint32_t firstSoundTry = 0, soundTryCount = 0;
    bool hasSeed = false;
    uint32_t seed = 0;
    int keys = -1;       // index into Keys
    bool hasVolume = false;
    uint32_t volume = 0;
    int scoreFile = -1;  // index into ScoreFiles
};

struct JournalMessage {
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
};

struct JournalRecord {
    std::string name;  // the file it was read from
    JournalHeader header;
    size_t wholeBytes = 0;            // its bytes up to the end of its last whole pass
    std::vector<uint8_t> resumedFrom;  // a resumed game's: those bytes, which its recording keeps
    std::vector<PassRecord> passes;
    std::vector<JournalMessage> messages;
    std::vector<uint8_t> soundTries;
    std::vector<GXKeyList> keys;
    std::vector<ScoreFileState> scoreFiles;
    uint64_t passTotal = 0;
    bool cutShort = false;  // no end record: the passes whole before the cut
    uint32_t endScoreSum = 0;
    uint32_t endScoreBytes = 0;
};

// How far a journal was read whole: its records up to the end of a pass, and its bytes.
struct WholeRecords {
    size_t passes = 0, messages = 0, soundTries = 0, keys = 0, scoreFiles = 0;
    uint64_t passTotal = 0;
    size_t bytes = 0;
};

WholeRecords Whole(const JournalRecord& journal, uint64_t passTotal, size_t bytes) {
    return {journal.passes.size(), journal.messages.size(), journal.soundTries.size(),
            journal.keys.size(), journal.scoreFiles.size(), passTotal, bytes};
}

// A journal whose recording was killed ends inside a pass, or after one: what came before
// the cut is kept, the pass it cut is dropped.
void KeepWhole(JournalRecord* journal, const WholeRecords& whole) {
    journal->passes.resize(whole.passes);
    journal->messages.resize(whole.messages);
    journal->soundTries.resize(whole.soundTries);
    journal->keys.resize(whole.keys);
    journal->scoreFiles.resize(whole.scoreFiles);
    journal->passTotal = whole.passTotal;
    journal->wholeBytes = whole.bytes;
    journal->cutShort = true;
}

bool ReadHeader(Reader* in, JournalHeader* header) {
    if (static_cast<size_t>(in->end - in->p) < sizeof Magic ||
        std::memcmp(in->p, Magic, sizeof Magic) != 0) {
        return in->Fail("it is not a Marrowdale journal");
    }
    if (static_cast<size_t>(in->end - in->p) < HeaderBytes) return in->Fail("it is cut short");
    in->p += sizeof Magic;
    uint8_t low = 0, high = 0;
    in->Byte(&low);
    in->Byte(&high);
    header->version = low | high << 8;
    if (header->version > FormatVersion) return in->Fail("it was made by a newer Marrowdale");
    if (header->version < 1) return in->Fail("its format version is unknown");
    uint32_t pass = 0, depth = 0, xStep = 0, yStep = 0, flags = 0;
    in->U32(&pass);
    in->U32(&depth);
    in->U32(&xStep);
    in->U32(&yStep);
    in->U32(&header->startTick);
    in->U32(&flags);
    header->passMs = static_cast<int>(pass);
    header->display = {static_cast<int>(depth), static_cast<int32_t>(xStep),
                       static_cast<int32_t>(yStep)};
    header->endsInPlay = flags & EndsInPlayFlag;
    if (pass < 1 || pass > 1000 || !ValidDisplayLayout(header->display) || (flags & ~EndsInPlayFlag)) {
        return in->Fail("its header is damaged");
    }
    return true;
}

bool ReadMessage(Reader* in, JournalRecord* journal) {
    uint64_t message, wParam, lParam;
    if (!in->Varint(&message) || !in->Varint(&wParam) || !in->Varint(&lParam)) return false;
    if (!IsJournalled(static_cast<UINT>(message)) || message > 0xFFFF || wParam > 0xFFFFFFFFu) {
        return in->Fail("it holds a message no host sends");
    }
    journal->messages.push_back({static_cast<UINT>(message), static_cast<WPARAM>(wParam),
                                 static_cast<LPARAM>(UnZigZag(lParam))});
    return true;
}

bool ReadKeys(Reader* in, JournalRecord* journal) {
    int16_t codes[8];
    for (int16_t& code : codes) {
        uint8_t low = 0, high = 0;
        if (!in->Byte(&low) || !in->Byte(&high)) return false;
        code = static_cast<int16_t>(low | high << 8);
    }
    GXKeyList keys{};
    keys.vkUp = codes[0];
    keys.vkDown = codes[1];
    keys.vkLeft = codes[2];
    keys.vkRight = codes[3];
    keys.vkA = codes[4];
    keys.vkB = codes[5];
    keys.vkC = codes[6];
    keys.vkStart = codes[7];
    journal->keys.push_back(keys);
    return true;
}

bool ReadScoreFile(Reader* in, JournalRecord* journal) {
    uint8_t state;
    uint32_t length;
    if (!in->Byte(&state) || !in->Small(LargestScoreFile, &length)) return false;
    if (state > 3 || static_cast<size_t>(in->end - in->p) < length) {
        return in->Fail(state > 3 ? "its score file record is damaged" : CutShort);
    }
    ScoreFileState file;
    file.existed = state & 1;
    file.readable = state & 2;
    file.bytes.assign(in->p, in->p + length);
    in->p += length;
    journal->scoreFiles.push_back(std::move(file));
    return true;
}

// One pass's records up to its end mark; each kind of record at most once, messages and
// sound tries as often as they came.
bool ReadPass(Reader* in, JournalRecord* journal) {
    PassRecord pass;
    pass.firstMessage = static_cast<uint32_t>(journal->messages.size());
    pass.firstSoundTry = static_cast<uint32_t>(journal->soundTries.size());
    for (;;) {
        uint8_t tag;
        if (!in->Byte(&tag)) return false;
        bool ok = true;
        switch (tag) {
            case TagPassEnd:
                pass.messageCount = static_cast<uint32_t>(journal->messages.size()) - pass.firstMessage;
                pass.soundTryCount =
                    static_cast<uint32_t>(journal->soundTries.size()) - pass.firstSoundTry;
                journal->passes.push_back(pass);
                return true;
            case TagTick:
                ok = !pass.hasTickStep && in->Small(0xFFFFFFFFu, &pass.tickStep);
                pass.hasTickStep = true;
                break;
            case TagFrame:
                ok = !pass.frameChanged && in->U32(&pass.frameSum);
                pass.frameChanged = true;
                break;
            case TagMessage: ok = ReadMessage(in, journal); break;
            case TagSeed:
                ok = !pass.hasSeed && in->U32(&pass.seed);
                pass.hasSeed = true;
                break;
            case TagKeys:
                ok = pass.keys < 0 && ReadKeys(in, journal);
                pass.keys = static_cast<int>(journal->keys.size()) - 1;
                break;
            case TagVolume:
                ok = !pass.hasVolume && in->U32(&pass.volume);
                pass.hasVolume = true;
                break;
            case TagScoreFile:
                ok = pass.scoreFile < 0 && ReadScoreFile(in, journal);
                pass.scoreFile = static_cast<int>(journal->scoreFiles.size()) - 1;
                break;
            case TagSoundTry: {
                uint8_t outcome = 0;
                ok = in->Byte(&outcome) && outcome <= 1;
                journal->soundTries.push_back(outcome);
                break;
            }
            default: ok = false; break;
        }
        if (!ok) return in->Fail("a pass in it is damaged");
    }
}

// Resume: a game the program's end interrupted replays without a window, its frames checked,
// up to the end of its journal, where it goes on recording.
enum class JournalMode { Off, Record, Replay, Verify, Resume };

struct JournalState {
    JournalMode mode = JournalMode::Off;
    int version = FormatVersion;  // of the journal written or replayed: its checksums
    uint64_t pass = 1;  // the pass now running, from 1
    // Recording.
    FILE* out = nullptr;
    std::string outPath;
    std::string scorePath;           // where the game keeps its high score file
    std::vector<uint8_t> passBytes;  // what crossed in this pass so far
    std::vector<uint8_t> written;    // what the file holds so far
    size_t lastPassStart = 0;        // where the last pass written begins in it
    uint64_t writes = 0;             // how often the passes so far went to the file
    bool cutForResume = false;       // cut back before a close, to go on from there
    uint64_t idlePasses = 0;         // idle passes not yet written
    DWORD flushedTick = 0;           // the tick when the passes so far last went to the file
    uint32_t recordedSum = 0;        // the frame as last written (recording) or recorded (replay)
    uint32_t liveSum = 0;            // the frame the game presented last
    bool frameChanged = false;
    // Replaying.
    JournalRecord record;
    size_t segment = 0;     // the pass record that holds the current pass
    uint32_t runOffset = 0;  // passes of an idle run already played
    bool injected = false;
    uint32_t soundTriesTaken = 0;
    bool stopped = false;     // the game is made to quit: see why below
    bool reachedCut = false;  // the journal, cut short, has no more passes
    bool endedInPlay = false;  // the journal, closed at a name's DONE, has no more passes
    uint64_t stoppedAt = 0;   // the pass where a close (the player's, a signal's) came
    // Resuming.
    bool resumeReached = false;  // the journal's last pass has ended: the game goes on live
    std::string resumeProblem;   // why the replay of a game to resume went wrong
};

JournalState Journal;

const PassRecord IdlePass{};

bool Replaying() {
    return Journal.mode == JournalMode::Replay || Journal.mode == JournalMode::Verify ||
           Journal.mode == JournalMode::Resume;
}

// The pass record of the pass now running, or nullptr once the journal has no more passes.
const PassRecord* CurrentPass() {
    if (Journal.segment >= Journal.record.passes.size()) return nullptr;
    const PassRecord& pass = Journal.record.passes[Journal.segment];
    return pass.idleRun > 0 ? &IdlePass : &pass;
}

void StopWriting() {
    std::fprintf(stderr, "marrowdale: cannot write the journal %s: %s; recording stops\n",
                 Journal.outPath.c_str(), std::strerror(errno));
    std::fclose(Journal.out);
    Journal.out = nullptr;
}

void WriteBytes(const std::vector<uint8_t>& bytes) {
    if (!Journal.out) return;
    if (std::fwrite(bytes.data(), 1, bytes.size(), Journal.out) != bytes.size()) {
        StopWriting();
        return;
    }
    Journal.written.insert(Journal.written.end(), bytes.begin(), bytes.end());
}

// The end mark: the high score file as it stands and the passes the journal holds.
std::vector<uint8_t> EndRecord(const ScoreFileState& scores, uint64_t passes) {
    std::vector<uint8_t> end{TagEnd};
    PutU32(&end, JournalChecksum(Journal.version, scores.bytes.data(), scores.bytes.size()));
    PutU32(&end, static_cast<uint32_t>(scores.bytes.size()));
    PutVarint(&end, passes);
    return end;
}

void FlushIdlePasses() {
    if (Journal.idlePasses == 0) return;
    std::vector<uint8_t> bytes{TagIdle};
    PutVarint(&bytes, Journal.idlePasses);
    WriteBytes(bytes);
    Journal.idlePasses = 0;
}

// The replay stops at the first difference, said in one line, with status 1.
[[noreturn]] void StopDiverged() {
    if (HostIs(HostKind::Real)) StopHost();
    std::exit(1);
}

void StopReplay();

// A resumed game's replay that goes wrong is made to quit unseen, the line kept for the session
// to say; any other stops the program.
void DivergeInLength(const char* what) {
    char line[160];
    std::snprintf(line, sizeof line, "replay diverges at pass %llu (%s)",
                  static_cast<unsigned long long>(Journal.pass), what);
    if (Journal.mode == JournalMode::Resume) {
        if (Journal.resumeProblem.empty()) Journal.resumeProblem = line;
        if (!Journal.stopped) StopReplay();
        return;
    }
    std::fprintf(stderr, "marrowdale: %s\n", line);
    StopDiverged();
}

void Diverge(const char* what, uint32_t live, uint32_t recorded) {
    char detail[64];
    std::snprintf(detail, sizeof detail, "%s %08X, recorded %08X", what, live, recorded);
    DivergeInLength(detail);
}

// The pass's crossings as a pass record.
void WritePass() {
    Journal.lastPassStart = Journal.written.size();
    std::vector<uint8_t> bytes{TagPass};
    bytes.insert(bytes.end(), Journal.passBytes.begin(), Journal.passBytes.end());
    bytes.push_back(TagPassEnd);
    WriteBytes(bytes);
    Journal.passBytes.clear();
}

// Recording, at the end of a pass: an idle pass only counts; any other is written whole.
void RecordPassEnd(DWORD step, int passMs) {
    if (step != static_cast<DWORD>(passMs)) {
        Journal.passBytes.push_back(TagTick);
        PutVarint(&Journal.passBytes, step);
    }
    if (Journal.frameChanged && Journal.liveSum != Journal.recordedSum) {
        Journal.passBytes.push_back(TagFrame);
        PutU32(&Journal.passBytes, Journal.liveSum);
        Journal.recordedSum = Journal.liveSum;
    }
    Journal.frameChanged = false;
    if (Journal.passBytes.empty()) {
        ++Journal.idlePasses;
        return;
    }
    FlushIdlePasses();
    WritePass();
}

// The whole passes so far to the file, now.
void WriteOut() {
    FlushIdlePasses();
    if (Journal.out && std::fflush(Journal.out) != 0) StopWriting();
    if (Journal.out) ++Journal.writes;
}

// At least once a second of play (by the game's clock, which a stall moves on too) the whole
// passes so far go to the file, so a recording that is killed keeps all but its last second.
void FlushRecording(DWORD tick) {
    if (!Journal.out || tick - Journal.flushedTick < RecordingFlushMs) return;
    WriteOut();
    Journal.flushedTick = tick;
}

// A replay that has to end before the game does: the game is made to quit at once, skipping
// its credits, and writes nowhere.
void StopReplay() {
    Journal.stopped = true;
    Journal.stoppedAt = Journal.pass;
    QueueJournalMessage(WM_CLOSE, 0, 0);
    QueueJournalMessage(WM_CLOSE, 0, 0);
}

// Replaying, at the end of a pass: the frame must be the recorded one; then on to the next,
// whose high score file, when it is not the journal's first (the file as a resumed game found
// it on going on), is served from now. A resumed game's replay reaches its journal's end.
DWORD ReplayPassEnd(int passMs) {
    const PassRecord* pass = CurrentPass();
    if (!pass) DivergeInLength("the journal has ended; the game runs on");
    if (!pass) return static_cast<DWORD>(passMs);
    if (pass->frameChanged) Journal.recordedSum = pass->frameSum;
    if (Journal.liveSum != Journal.recordedSum) Diverge("frame checksum", Journal.liveSum, Journal.recordedSum);
    DWORD step = pass->hasTickStep ? pass->tickStep : static_cast<DWORD>(passMs);
    if (Journal.stopped) return step;
    const PassRecord& segment = Journal.record.passes[Journal.segment];
    if (segment.idleRun > 0 && ++Journal.runOffset < segment.idleRun) {
        // Still inside the run.
    } else {
        ++Journal.segment;
        Journal.runOffset = 0;
    }
    Journal.injected = false;
    Journal.soundTriesTaken = 0;
    const PassRecord* next = CurrentPass();
    if (next && next->scoreFile > 0) ServeScoreFile(Journal.record.scoreFiles[next->scoreFile]);
    if (next) return step;
    if (Journal.mode == JournalMode::Resume) {
        Journal.resumeReached = true;
    } else if (Journal.record.cutShort) {
        Journal.reachedCut = true;
        StopReplay();
    }
    return step;
}

}  // namespace

// Reads a whole journal; false with problem set to why it can't be played. A journal cut
// short after at least one whole pass is read up to the cut.
bool ParseJournal(const uint8_t* bytes, size_t size, const char** problem) {
    JournalRecord journal;
    Reader in{bytes, bytes + size};
    bool ended = false;
    WholeRecords whole;
    if (ReadHeader(&in, &journal.header)) {
        uint64_t mostPasses = LongestPlayMs / static_cast<uint64_t>(journal.header.passMs);
        uint64_t passes = 0;
        while (!in.problem && !ended) {
            uint8_t tag;
            if (!in.Byte(&tag)) break;
            if (tag == TagIdle) {
                uint32_t run = 0;
                if (in.Small(UINT32_MAX, &run) && run == 0) in.Fail("a pass in it is damaged");
                PassRecord idle;
                idle.idleRun = run;
                journal.passes.push_back(idle);
                passes += run;
            } else if (tag == TagPass) {
                if (ReadPass(&in, &journal)) ++passes;
            } else if (tag == TagEnd) {
                uint64_t total;
                if (in.U32(&journal.endScoreSum) && in.U32(&journal.endScoreBytes) &&
                    in.Varint(&total) && total != passes) {
                    in.Fail("its passes don't add up");
                }
                ended = true;
            } else {
                in.Fail("a pass in it is damaged");
            }
            if (passes > mostPasses) in.Fail("it claims more than a day of play");
            if (!in.problem) whole = Whole(journal, passes, static_cast<size_t>(in.p - bytes));
        }
        journal.passTotal = passes;
        journal.wholeBytes = size;
        if (!in.problem && in.p != in.end) in.Fail("something follows its end");
    }
    if (in.problem == CutShort && whole.passTotal > 0) {
        KeepWhole(&journal, whole);
        in.problem = nullptr;
    } else if (in.problem == CutShort && size >= HeaderBytes) {
        in.problem = "it is cut short before its first whole pass";
    }
    *problem = in.problem;
    if (in.problem) return false;
    Journal.record = std::move(journal);
    return true;
}

// ---- The watch over the crossings ---------------------------------------------------------

namespace {

bool Verifying() { return Journal.mode == JournalMode::Verify; }

// Whether nobody looks at the replayed picture: a check, or a resumed game's replay.
bool ChecksOnly() { return Verifying() || Journal.mode == JournalMode::Resume; }

// The game's cursor, while a journal recorded with it in display memory replays.
bool CursorRecordedInPicture() { return Replaying() && Journal.version < CursorOverPictureVersion; }

// The high score file at the end of a run: a recording reads it where the game keeps it, a
// replay takes it from memory.
ScoreFileState CurrentScoreFile() {
    if (Journal.mode == JournalMode::Record) {
        return Journal.scorePath.empty() ? ScoreFileState{} : ReadScoreFileState(Journal.scorePath);
    }
    return ServedScoreFile();
}

// Whether the replayed game's high score file is the one the journal ends with; when not, one
// line says so, and where.
bool EndScoresMatch(const char* where) {
    ScoreFileState scores = CurrentScoreFile();
    uint32_t sum = JournalChecksum(Journal.version, scores.bytes.data(), scores.bytes.size());
    if (sum != Journal.record.endScoreSum) {
        std::fprintf(stderr, "marrowdale: replay diverges %s (high scores checksum %08X, recorded %08X)\n",
                     where, sum, Journal.record.endScoreSum);
        return false;
    }
    if (scores.bytes.size() != Journal.record.endScoreBytes) {
        std::fprintf(stderr,
                     "marrowdale: replay diverges %s (the high score file holds %zu bytes, "
                     "recorded %u)\n",
                     where, scores.bytes.size(), Journal.record.endScoreBytes);
        return false;
    }
    return true;
}

// A journal closed at a name's DONE ends while the game runs on: there the scores must be the
// recorded ones, and the game is closed as a player's close ends a replay.
void EndInPlay() {
    char where[48];
    std::snprintf(where, sizeof where, "at pass %llu, where the journal ends",
                  static_cast<unsigned long long>(Journal.pass));
    if (!EndScoresMatch(where)) StopDiverged();
    Journal.endedInPlay = true;
    StopReplay();
}

// PaceFrame, after the host moved the clock on from the pass's start: the step is written down,
// or in a replay replaced by the recorded one. The tick the next pass reads.
DWORD PassEnded(DWORD passStart, DWORD tick, int passMs) {
    if (Journal.mode == JournalMode::Record) {
        RecordPassEnd(tick - passStart, passMs);
        FlushRecording(tick);
    }
    if (Replaying() && !Journal.stopped && !Journal.resumeReached) {
        DWORD step = ReplayPassEnd(passMs);
        tick = passStart + step;
        NotePlayedPass(step);
        if (Journal.record.header.endsInPlay && !CurrentPass() && !Journal.stopped) EndInPlay();
    }
    ++Journal.pass;
    return tick;
}

// The pump took a message the host sent: a recording writes it into the pass.
void MessageTaken(const MSG& msg) {
    if (Journal.mode != JournalMode::Record) return;
    Journal.passBytes.push_back(TagMessage);
    PutVarint(&Journal.passBytes, msg.message);
    PutVarint(&Journal.passBytes, msg.wParam);
    PutVarint(&Journal.passBytes, ZigZag(msg.lParam));
}

// Replay, at the pass's first look into the queue: the messages recorded for it, in order.
void QueuePassMessages() {
    if (!Replaying() || Journal.injected || Journal.stopped) return;
    Journal.injected = true;
    const PassRecord* pass = CurrentPass();
    if (!pass) return;
    for (uint32_t i = 0; i < pass->messageCount; ++i) {
        const JournalMessage& m = Journal.record.messages[pass->firstMessage + i];
        QueueJournalMessage(m.message, m.wParam, m.lParam);
    }
}

// A replay takes no input from the host: the player's own is dropped, and closing the window
// (or a quit signal) ends the replay. True when the message is dropped.
bool DropsHostInput(UINT message) {
    if (!Replaying()) return false;
    if (message == WM_CLOSE && !Journal.stopped) StopReplay();
    return true;
}

// GXEndDraw, when the display memory changed: the checksum of the frame now shown.
void FrameDrawn(const uint8_t* memory, size_t size) {
    if (Journal.mode == JournalMode::Off) return;
    Journal.liveSum = JournalChecksum(Journal.version, memory, size);
    Journal.frameChanged = true;
}

// srand: a recording notes the seed; a replay checks it is the recorded one.
void SeedTaken(unsigned seed) {
    if (Journal.mode == JournalMode::Record) {
        Journal.passBytes.push_back(TagSeed);
        PutU32(&Journal.passBytes, seed);
    } else if (Replaying() && !Journal.stopped) {
        const PassRecord* pass = CurrentPass();
        uint32_t recorded = pass && pass->hasSeed ? pass->seed : ~seed;
        if (recorded != seed) Diverge("seed", seed, recorded);
    }
}

// GXGetDefaultKeys: a recording notes the keys; a replay hands out the recorded ones.
void KeysTaken(GXKeyList* keys) {
    if (Journal.mode == JournalMode::Record) {
        Journal.passBytes.push_back(TagKeys);
        for (int16_t code : {keys->vkUp, keys->vkDown, keys->vkLeft, keys->vkRight, keys->vkA,
                             keys->vkB, keys->vkC, keys->vkStart}) {
            Journal.passBytes.push_back(static_cast<uint8_t>(code));
            Journal.passBytes.push_back(static_cast<uint8_t>(static_cast<uint16_t>(code) >> 8));
        }
    } else if (Replaying()) {
        const PassRecord* pass = CurrentPass();
        if (pass && pass->keys >= 0) {
            *keys = Journal.record.keys[pass->keys];
            NoteKeysGiven(*keys);
        }
    }
}

// waveOutGetVolume: a recording notes the device's volume; a replay hands out the recorded one.
void VolumeTaken(DWORD* volume) {
    if (Journal.mode == JournalMode::Record) {
        Journal.passBytes.push_back(TagVolume);
        PutU32(&Journal.passBytes, *volume);
    } else if (Replaying()) {
        const PassRecord* pass = CurrentPass();
        if (pass && pass->hasVolume) *volume = pass->volume;
    }
}

// The high score file into the pass's record.
void WriteScoreFileRecord(const ScoreFileState& state) {
    Journal.passBytes.push_back(TagScoreFile);
    Journal.passBytes.push_back(static_cast<uint8_t>((state.existed ? 1 : 0) | (state.readable ? 2 : 0)));
    PutVarint(&Journal.passBytes, state.bytes.size());
    Journal.passBytes.insert(Journal.passBytes.end(), state.bytes.begin(), state.bytes.end());
}

// The game first looked at its high score file: a recording notes it as it stands; a resumed
// game's replay keeps where it is, for the recording that goes on.
void ScoreFileSeen(const std::string& path) {
    if (!Journal.scorePath.empty()) return;
    Journal.scorePath = path;
    if (Journal.mode == JournalMode::Record) WriteScoreFileRecord(ReadScoreFileState(path));
}

// The audio layer's start-up: one try of the sound device, noted or answered as recorded.
SoundDevice SoundTry(SoundDevice (*attempt)(void*), void* context) {
    if (Replaying() && !Journal.stopped) {
        const PassRecord* pass = CurrentPass();
        bool recorded = pass && Journal.soundTriesTaken < pass->soundTryCount;
        uint8_t ended = recorded ? Journal.record.soundTries[pass->firstSoundTry + Journal.soundTriesTaken++] : 1;
        if (!ended) return SoundDevice::Busy;
        SoundDevice live = attempt(context);
        return live == SoundDevice::Busy ? SoundDevice::Missing : live;
    }
    SoundDevice answer = attempt(context);
    if (Journal.mode == JournalMode::Record) {
        Journal.passBytes.push_back(TagSoundTry);
        Journal.passBytes.push_back(answer == SoundDevice::Busy ? 0 : 1);
    }
    return answer;
}

// Every crossing, watched while a recording or a replay runs.
constexpr CrossingWatch JournalWatch{
    .replaying = Replaying, .verifying = ChecksOnly, .passEnded = PassEnded,
    .messageTaken = MessageTaken, .queuePassMessages = QueuePassMessages,
    .dropsHostInput = DropsHostInput, .frameDrawn = FrameDrawn, .seed = SeedTaken,
    .keys = KeysTaken, .volume = VolumeTaken, .scoreFileSeen = ScoreFileSeen,
    .soundTry = SoundTry, .cursorInPicture = CursorRecordedInPicture};

}  // namespace

// ---- Starting and ending ---------------------------------------------------------------------

namespace {

// Why an output may not be written over what is at path: it is the journal being read
// (through a link too), or something other than a plain file (a FIFO would hold the program
// until read); null when it may.
const char* OutputRefusal(const struct stat& output, const char* journalPath) {
    struct stat journal {};
    if (journalPath && stat(journalPath, &journal) == 0 && journal.st_dev == output.st_dev &&
        journal.st_ino == output.st_ino) {
        return "it is the journal being replayed";
    }
    return S_ISREG(output.st_mode) ? nullptr : "it is not a plain file";
}

}  // namespace

// Opens path for writing without waiting on whatever is there, emptied only once it is known
// to be a plain file other than the journal; null with problem set to why not.
FILE* OpenOutput(const char* path, const char* journalPath, const char** problem) {
    *problem = nullptr;
    struct stat info {};
    if (stat(path, &info) == 0) *problem = OutputRefusal(info, journalPath);
    int fd = *problem ? -1 : open(path, O_WRONLY | O_CREAT | O_NONBLOCK | O_CLOEXEC, 0666);
    if (!*problem && fd < 0) *problem = std::strerror(errno);
    if (!*problem && fstat(fd, &info) == 0) *problem = OutputRefusal(info, journalPath);
    if (!*problem && ftruncate(fd, 0) != 0) *problem = std::strerror(errno);
    FILE* file = *problem ? nullptr : fdopen(fd, "wb");
    if (!file && !*problem) *problem = std::strerror(errno);
    if (!file && fd >= 0) close(fd);
    return file;
}

// --record FILE, before the host starts: the file is made at once, so a name that can't be
// written is said before any window opens. False, with one line on stderr.
bool OpenRecording(const char* path) {
    const char* problem = nullptr;
    FILE* out = OpenOutput(path, nullptr, &problem);
    if (!out) {
        std::fprintf(stderr, "marrowdale: cannot write the journal %s: %s\n", path, problem);
        return false;
    }
    Journal = JournalState{};
    Journal.out = out;
    Journal.outPath = path;
    return true;
}

// Once the host has started: the header now, each pass as it ends. False, with one line on
// stderr, when the loop is not paced (its passes would not replay) or the file fails.
bool StartRecording() {
    int passMs = ClockPassMs();
    if (passMs < 1) {
        std::fprintf(stderr, "marrowdale: a recording needs a paced loop (--pass-ms 1 or more)\n");
        std::fclose(Journal.out);
        Journal = JournalState{};
        return false;
    }
    DisplayLayout display = CurrentDisplayLayout();
    std::vector<uint8_t> header(std::begin(Magic), std::end(Magic));
    header.push_back(FormatVersion);
    header.push_back(0);
    for (uint32_t field : {static_cast<uint32_t>(passMs), static_cast<uint32_t>(display.depth),
                           static_cast<uint32_t>(display.xStep),
                           static_cast<uint32_t>(display.yStep), GetTickCount(), 0u}) {
        PutU32(&header, field);
    }
    Journal.mode = JournalMode::Record;
    Journal.flushedTick = GetTickCount();
    WatchCrossings(&JournalWatch);
    size_t size = 0;
    const uint8_t* memory = DisplayMemory(&size);
    Journal.liveSum = Journal.recordedSum = JournalChecksum(Journal.version, memory, size);
    WriteBytes(header);
    if (Journal.out && std::fflush(Journal.out) != 0) StopWriting();
    return Journal.out != nullptr;
}

// A journal file's bytes, read whole; false with problem set to why not.
bool ReadJournalFile(const char* path, std::vector<uint8_t>* bytes, const char** problem) {
    FILE* in = std::fopen(path, "rb");
    *problem = nullptr;
    bytes->clear();
    if (!in) {
        *problem = std::strerror(errno);
        return false;
    }
    uint8_t block[1 << 16];
    size_t got;
    while ((got = std::fread(block, 1, sizeof block, in)) > 0 && bytes->size() <= LargestJournal) {
        bytes->insert(bytes->end(), block, block + got);
    }
    if (std::ferror(in)) *problem = std::strerror(errno);
    std::fclose(in);
    if (!*problem && bytes->size() > LargestJournal) *problem = "it is far too large";
    return !*problem;
}

// --replay FILE: reads and checks the whole journal before anything runs. False, with one
// line on stderr, for a file that is missing, damaged, cut short, foreign or too new.
bool LoadJournal(const char* path, JournalHeader* header) {
    std::vector<uint8_t> bytes;
    const char* problem = nullptr;
    if (!ReadJournalFile(path, &bytes, &problem)) {
        std::fprintf(stderr, "marrowdale: cannot replay %s: %s\n", path, problem);
        return false;
    }
    return TakeJournal(bytes.data(), bytes.size(), path, header);
}

// A journal in memory, read and checked whole before anything runs. False, with one line on
// stderr naming it, when it can't be played.
bool TakeJournal(const uint8_t* bytes, size_t size, const char* name, JournalHeader* header) {
    const char* problem = nullptr;
    if (!ParseJournal(bytes, size, &problem)) {
        std::fprintf(stderr, "marrowdale: cannot replay %s: %s\n", name, problem);
        return false;
    }
    Journal.record.name = name;
    *header = Journal.record.header;
    header->passes = Journal.record.passTotal;
    return true;
}

// Recording, at a pass's end (after the journal saw it): what was written, flagged as ending
// while the game runs on, and closed with the high score file as it stands now.
bool JournalSoFar(std::vector<uint8_t>* bytes) {
    if (Journal.mode != JournalMode::Record || !Journal.out) return false;
    FlushIdlePasses();
    if (!Journal.out) return false;
    *bytes = Journal.written;
    (*bytes)[FlagsOffset] |= EndsInPlayFlag;
    std::vector<uint8_t> end = EndRecord(CurrentScoreFile(), Journal.pass - 1);
    bytes->insert(bytes->end(), end.begin(), end.end());
    return true;
}

// A game the program's end interrupted, from its journal in memory: read and checked whole.
// False, with problem set, when it can't go on: damaged, foreign, or not cut short (a journal
// that ends with its end mark holds a run that ended).
bool TakeResume(const uint8_t* bytes, size_t size, JournalHeader* header, const char** problem) {
    if (!ParseJournal(bytes, size, problem)) return false;
    if (!Journal.record.cutShort) {
        *problem = "its run ended";
        Journal.record = JournalRecord{};
        return false;
    }
    Journal.record.resumedFrom.assign(bytes, bytes + Journal.record.wholeBytes);
    *header = Journal.record.header;
    header->passes = Journal.record.passTotal;
    return true;
}

namespace {

// Once a host has started with the journal's pace and display: the recorded game begins.
void StartPlaying(JournalMode mode) {
    JournalRecord record = std::move(Journal.record);
    Journal = JournalState{};
    Journal.record = std::move(record);
    Journal.mode = mode;
    Journal.version = Journal.record.header.version;
    WatchCrossings(&JournalWatch);
    SetVirtualTick(Journal.record.header.startTick);
    StartPlayRecord(Journal.record.header.passMs, Journal.record.header.startTick);
    ServeScoreFile(Journal.record.scoreFiles.empty() ? ScoreFileState{} : Journal.record.scoreFiles[0]);
    size_t size = 0;
    const uint8_t* memory = DisplayMemory(&size);
    Journal.liveSum = Journal.recordedSum = JournalChecksum(Journal.version, memory, size);
}

bool SameScoreFile(const ScoreFileState& a, const ScoreFileState& b) {
    return a.existed == b.existed && a.readable == b.readable && a.bytes == b.bytes;
}

}  // namespace

void StartReplay(bool verify) { StartPlaying(verify ? JournalMode::Verify : JournalMode::Replay); }

// Once the headless host has started with the journal's pace and display: the game replays,
// its frames checked, to the end of the journal's whole passes.
void StartResume() { StartPlaying(JournalMode::Resume); }

bool ResumeReached() {
    return Journal.mode == JournalMode::Resume && Journal.resumeReached && !Journal.stopped;
}

const char* ResumeProblem() {
    return Journal.resumeProblem.empty() ? nullptr : Journal.resumeProblem.c_str();
}

// Where the replay reached: the last pass it played, and the game's clock then from the
// journal's start.
void ResumePoint(uint64_t* pass, DWORD* milliseconds) {
    *pass = Journal.pass - 1;
    *milliseconds = GetTickCount() - Journal.record.header.startTick;
}

void AbandonResume() {
    if (Journal.mode == JournalMode::Resume && !Journal.stopped) StopReplay();
}

// At the end of a resumed game's replay, before the live host takes over: from the pass now
// beginning the game is recorded again, into path, a new file that first gets the journal's
// whole passes, with the checksums of its format. Where the high score file now stands
// otherwise than the replayed game left it (another copy saved meanwhile, or this game in its
// last moments before the end), the file as it stands goes into the pass, and the game's saves
// merge with it as they would live. False, with one line on stderr, when path can't be
// written: the game then goes on unrecorded.
bool ContinueRecording(const char* path) {
    const char* problem = nullptr;
    FILE* out = OpenOutput(path, nullptr, &problem);
    std::vector<uint8_t> resumed = std::move(Journal.record.resumedFrom);
    ScoreFileState left = ServedScoreFile();
    JournalState going;
    going.mode = JournalMode::Record;
    going.version = Journal.version;
    going.pass = Journal.pass;
    going.out = out;
    going.outPath = path;
    going.scorePath = Journal.scorePath;
    going.recordedSum = going.liveSum = Journal.liveSum;
    going.flushedTick = GetTickCount();
    Journal = std::move(going);
    if (!out) {
        std::fprintf(stderr, "marrowdale: cannot write the journal %s: %s; the game goes on unrecorded\n",
                     path, problem);
        WatchCrossings(nullptr);
        Journal = JournalState{};
        return false;
    }
    WriteBytes(resumed);
    Journal.lastPassStart = Journal.written.size();
    WriteOut();
    if (!Journal.scorePath.empty()) {
        ScoreFileState now = ReadScoreFileState(Journal.scorePath);
        if (!SameScoreFile(now, left)) WriteScoreFileRecord(now);
    }
    return Journal.out != nullptr;
}

// Recording: the whole passes so far to the file, now (a name's DONE wants them kept at once).
void WriteJournalOut() {
    if (Journal.mode == JournalMode::Record && Journal.out) WriteOut();
}

// Recording: what the file holds of the journal, and how often the passes so far went to it.
const std::vector<uint8_t>& RecordedJournal(uint64_t* writes) {
    *writes = Journal.writes;
    return Journal.written;
}

// Recording, at the end of a pass in which the program was asked to end while a game was in
// play: the file is cut back to the end of the pass before, made durable and closed; a later
// start goes on from there. False when nothing is recorded or the file fails.
bool CutJournalForResume() {
    if (Journal.mode != JournalMode::Record || !Journal.out) return false;
    size_t keep = Journal.lastPassStart;
    if (Journal.idlePasses > 0) {
        --Journal.idlePasses;
        FlushIdlePasses();
        keep = Journal.written.size();
    }
    if (!Journal.out) return false;
    int fd = fileno(Journal.out);
    bool kept = std::fflush(Journal.out) == 0 && ftruncate(fd, static_cast<off_t>(keep)) == 0 &&
                fsync(fd) == 0;
    std::fclose(Journal.out);
    Journal.out = nullptr;
    Journal.written.resize(std::min(keep, Journal.written.size()));
    Journal.cutForResume = true;
    ++Journal.writes;
    return kept;
}

namespace {

// The end of a replay: it must end where the journal does, with the same high scores; a
// journal cut short ends at its cut, and a check stopped before its end did not pass.
int EndReplay() {
    const char* name = Journal.record.name.c_str();
    unsigned long long passes = Journal.record.passTotal;
    if (Journal.reachedCut) {
        std::fprintf(stderr, "marrowdale: %s was cut short after pass %llu; %s\n", name, passes,
                     Verifying() ? "every pass it holds matched" : "the replay ends there");
        return CutShortStatus;
    }
    if (Journal.endedInPlay) return 0;
    if (Journal.stopped) {
        if (!Verifying()) return 0;
        int signal = QuitSignal();
        std::fprintf(stderr,
                     "marrowdale: the check of %s was stopped by signal %d at pass %llu of %llu; "
                     "the passes after it were not checked\n",
                     name, signal, static_cast<unsigned long long>(Journal.stoppedAt), passes);
        return signal > 0 ? 128 + signal : 1;
    }
    const std::vector<PassRecord>& recorded = Journal.record.passes;
    bool endedInLastPass = Journal.pass == Journal.record.passTotal &&
                           Journal.segment + 1 == recorded.size() && recorded.back().idleRun == 0;
    if (CurrentPass() && !endedInLastPass) {
        std::fprintf(stderr,
                     "marrowdale: replay diverges at pass %llu (the game ended; the journal goes "
                     "on to pass %llu)\n",
                     static_cast<unsigned long long>(Journal.pass), passes);
        return 1;
    }
    return EndScoresMatch("at the end") ? 0 : 1;
}

}  // namespace

// After WinMain: a recording is closed with its end mark, a replay checked to its end. The
// exit status: 0, or after one line on stderr 1 (a difference), 2 (a journal not written),
// CutShortStatus, or 128 and the signal that stopped a check.
int EndJournal() {
    int status = 0;
    if (Journal.mode == JournalMode::Record && Journal.cutForResume) {
        // Kept as it was cut, to be resumed.
    } else if (Journal.mode == JournalMode::Record) {
        FlushIdlePasses();
        // A game that ended inside a pass something crossed in (a quit while it loaded) has
        // that pass written too: the replayed game reads what it read, and ends inside it.
        uint64_t passes = Journal.pass - (Journal.passBytes.empty() ? 1 : 0);
        if (!Journal.passBytes.empty()) WritePass();
        WriteBytes(EndRecord(CurrentScoreFile(), passes));
        if (!Journal.out) {
            status = 2;
        } else if (std::fclose(Journal.out) != 0) {
            std::fprintf(stderr, "marrowdale: cannot write the journal %s: %s\n",
                         Journal.outPath.c_str(), std::strerror(errno));
            status = 2;
        }
    } else if (Journal.out) {
        // The host never started: no game, so no journal either.
        std::fclose(Journal.out);
        std::remove(Journal.outPath.c_str());
    } else if (Replaying()) {
        status = EndReplay();
    }
    WatchCrossings(nullptr);
    Journal = JournalState{};
    return status;
}
