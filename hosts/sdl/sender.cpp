// The desktop's way to the world high score table: --submit, the challenge a game starts on,
// and the sender that takes each kept game to the player's score server in the background,
// retrying while it can't be reached.
#include <httplib.h>
#include <nlohmann/json.hpp>

#include <algorithm>
#include <condition_variable>
#include <cstdio>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>

#include "hosts/live.h"
#include "hosts/sdl/sdl.h"
#include "services/games.h"

namespace {

constexpr time_t ConnectSeconds = 5;
constexpr time_t WriteSeconds = 30;
// The server replays the game before it answers, after the games queued before it.
constexpr time_t AnswerSeconds = 180;
constexpr int FirstRetrySeconds = 60;
constexpr int LastRetrySeconds = 1800;
constexpr char JournalType[] = "application/octet-stream";
// The most the start waits for a challenge; a token is not sent this close to its expiry.
constexpr auto ChallengeWait = std::chrono::seconds(1);
constexpr int64_t ChallengeMarginSeconds = 60;

enum class Verdict { Taken, Refused, Unreached };

// What became of one journal sent, and the line that says so.
struct Answer {
    Verdict verdict;
    std::string line;
};

// A text field of the server's JSON answer, or fallback.
std::string TextField(const nlohmann::json& answer, const char* name, const char* fallback) {
    if (answer.is_object() && answer.contains(name) && answer[name].is_string()) {
        return answer[name].get<std::string>();
    }
    return fallback;
}

long long NumberField(const nlohmann::json& answer, const char* name) {
    if (answer.is_object() && answer.contains(name) && answer[name].is_number_integer()) {
        return answer[name].get<long long>();
    }
    return -1;
}

// Why a request got no answer, in words.
struct ErrorWords {
    httplib::Error error;
    const char* words;
};
constexpr ErrorWords RequestErrors[] = {
    {httplib::Error::Connection, "nothing answers there"},
    {httplib::Error::ConnectionTimeout, "it did not answer in time"},
    {httplib::Error::Read, "its answer broke off"},
    {httplib::Error::Write, "the journal could not be sent whole"},
    {httplib::Error::SSLConnection, "no secure connection could be made"},
    {httplib::Error::SSLServerVerification, "its certificate is not one to trust"},
    {httplib::Error::Canceled, "the game ended first"},
};

std::string Why(httplib::Error error) {
    for (const ErrorWords& row : RequestErrors) {
        if (row.error == error) return row.words;
    }
    return httplib::to_string(error);
}

// The server's answer for what (a file's name) in one line: taken (201, or 200 for a game it
// had), refused for good (a 4xx but for a wait or too many), or not reached (try again later).
Answer Judge(const httplib::Result& result, const std::string& address, const std::string& what) {
    if (!result) {
        return {Verdict::Unreached, "cannot reach the world table at " + address + " (" +
                                        Why(result.error()) + ") to send " + what};
    }
    nlohmann::json answer = nlohmann::json::parse(result->body, nullptr, false);
    int status = result->status;
    if (status == 200 || status == 201) {
        char line[160];
        std::snprintf(line, sizeof line, "%s: rank %lld, %lld points, %s", what.c_str(),
                      NumberField(answer, "rank"), NumberField(answer, "score"),
                      TextField(answer, "name", "?").c_str());
        return {Verdict::Taken, std::string(status == 201 ? "the world table took " : "the world table had ") + line};
    }
    std::string why = std::to_string(status) + ": " + TextField(answer, "error", "no reason given");
    if (status >= 400 && status < 500 && status != 408 && status != 429) {
        return {Verdict::Refused, "the world table refused " + what + " (" + why + ")"};
    }
    return {Verdict::Unreached, "the world table at " + address + " could not take " + what + " now (" + why + ")"};
}

// Posts a journal to the server's API below its address, claiming a challenge when given;
// client is handed to register while the request runs, so that a stop can cut it short.
Answer PostJournal(const std::string& address, const std::vector<uint8_t>& journal,
                   const std::string& what, void (*enter)(httplib::Client*), const std::string& challenge = {}) {
    std::string origin, below;
    SplitServerAddress(address, &origin, &below);
    httplib::Client client(origin);
    client.set_connection_timeout(ConnectSeconds);
    client.set_write_timeout(WriteSeconds);
    client.set_read_timeout(AnswerSeconds);
    if (enter) enter(&client);
    std::string path = below + "api/games" + (challenge.empty() ? "" : "?challenge=" + challenge);
    httplib::Result result = client.Post(path.c_str(),
                                         reinterpret_cast<const char*>(journal.data()),
                                         journal.size(), JournalType);
    if (enter) enter(nullptr);
    return Judge(result, address, what);
}

std::string BaseName(const std::string& path) { return path.substr(path.rfind('/') + 1); }

int64_t NowSeconds() {
    return std::chrono::duration_cast<std::chrono::seconds>(std::chrono::system_clock::now().time_since_epoch())
        .count();
}

// ---- The challenge this run started on -------------------------------------------------

// Its token, until the first game kept claims it, and when it expires (Unix seconds).
struct ChallengeRecord {
    std::string token;
    int64_t expires = 0;
};

ChallengeRecord RunChallenge;

// A challenge's answer as the server gives it, {"tick": T, "token": "...", "seconds": S}.
bool ReadChallenge(const std::string& body, DWORD* tick, ChallengeRecord* challenge) {
    nlohmann::json answer = nlohmann::json::parse(body, nullptr, false);
    if (!answer.is_object() || !answer.contains("tick") || !answer["tick"].is_number_unsigned() ||
        answer["tick"].get<uint64_t>() > 0xFFFFFFFFu || NumberField(answer, "seconds") <= 0) {
        return false;
    }
    std::string token = TextField(answer, "token", "");
    if (token.empty() || token.size() > 64 || token.find_first_not_of("0123456789abcdef") != std::string::npos) {
        return false;
    }
    *tick = static_cast<DWORD>(answer["tick"].get<uint64_t>());
    *challenge = {token, NowSeconds() + NumberField(answer, "seconds")};
    return true;
}

// The request, in a thread of its own that the start stops waiting for after a second (a
// name that takes long to look up cannot be cut short).
struct ChallengeAsked {
    std::mutex lock;
    std::condition_variable done;
    bool answered = false;
    std::string body;
    std::string why;
};

// ---- The background sender -----------------------------------------------------------

struct SenderRecord {
    std::string address;
    std::thread thread;
    std::mutex lock;
    std::condition_variable wake;
    std::deque<std::string> waiting;  // kept games, oldest first
    bool stopping = false;
    httplib::Client* client = nullptr;  // the request running now
};

// Made at the start and undone at the stop; a program that ends without its stop (Xlib ends it
// when the display goes) leaves it be rather than wait for the thread.
SenderRecord* Sender = nullptr;

void EnterClient(httplib::Client* client) {
    std::lock_guard<std::mutex> hold(Sender->lock);
    Sender->client = client;
    if (client && Sender->stopping) client->stop();
}

// One kept game sent; its mark goes once the server answered for it (or it can't be read).
// A server out of reach is said once until it answers again.
Verdict SendKeptGame(const std::string& game, bool sayUnreached) {
    std::vector<uint8_t> journal;
    std::string problem;
    if (!ReadGameFile(game, &journal, &problem)) {
        std::fprintf(stderr, "marrowdale: cannot send %s: %s\n", game.c_str(), problem.c_str());
        MarkSent(game);
        return Verdict::Refused;
    }
    Answer answer = PostJournal(Sender->address, journal, BaseName(game), EnterClient,
                                UnsentChallenge(game, NowSeconds() + ChallengeMarginSeconds));
    if (answer.verdict != Verdict::Unreached) MarkSent(game);
    bool stopped = false;
    {
        std::lock_guard<std::mutex> hold(Sender->lock);
        stopped = Sender->stopping;
    }
    if (stopped && answer.verdict == Verdict::Unreached) {
        answer.line = "the game ended before the world table answered for " + BaseName(game);
    }
    if (answer.verdict != Verdict::Unreached || sayUnreached) {
        std::fprintf(stderr, "marrowdale: %s%s\n", answer.line.c_str(),
                     answer.verdict == Verdict::Unreached ? "; it is sent later" : "");
    }
    return answer.verdict;
}

// The sender's thread: only files and the network, never the game's records.
void SendWaitingGames() {
    std::unique_lock<std::mutex> hold(Sender->lock);
    int retry = FirstRetrySeconds;
    while (!Sender->stopping) {
        if (Sender->waiting.empty()) {
            Sender->wake.wait(hold);
            continue;
        }
        std::string game = Sender->waiting.front();
        hold.unlock();
        Verdict verdict = SendKeptGame(game, retry == FirstRetrySeconds);
        hold.lock();
        if (verdict != Verdict::Unreached) {
            Sender->waiting.pop_front();
            retry = FirstRetrySeconds;
            continue;
        }
        Sender->wake.wait_for(hold, std::chrono::seconds(retry), [] { return Sender->stopping; });
        retry = std::min(retry * 2, LastRetrySeconds);
    }
}

}  // namespace

// The host's start: games left unsent by earlier runs go first.
void StartScoreSender(const std::string& address) {
    if (address.empty() || Sender) return;
    Sender = new SenderRecord;
    Sender->address = address;
    std::vector<std::string> unsent = UnsentGames();
    Sender->waiting.assign(unsent.begin(), unsent.end());
    Sender->thread = std::thread(SendWaitingGames);
}

void StopScoreSender() {
    if (!Sender) return;
    {
        std::lock_guard<std::mutex> hold(Sender->lock);
        Sender->stopping = true;
        if (Sender->client) Sender->client->stop();
    }
    Sender->wake.notify_all();
    Sender->thread.join();
    delete Sender;
    Sender = nullptr;
}

bool TakeChallengeTick(const StandInOptions& options, DWORD* tick) {
    const std::string& address = options.scoreServer;
    std::string origin, below;
    if (address.empty() || !SplitServerAddress(address, &origin, &below)) return false;
    auto asked = std::make_shared<ChallengeAsked>();
    std::thread([asked, origin, below] {
        httplib::Client client(origin);
        client.set_connection_timeout(ChallengeWait);
        client.set_read_timeout(ChallengeWait);
        httplib::Result result = client.Get(below + "api/challenge");
        std::lock_guard<std::mutex> hold(asked->lock);
        asked->answered = true;
        if (!result) asked->why = Why(result.error());
        else if (result->status != 200) asked->why = "it answered " + std::to_string(result->status);
        else asked->body = result->body;
        asked->done.notify_all();
    }).detach();
    std::unique_lock<std::mutex> hold(asked->lock);
    if (!asked->done.wait_for(hold, ChallengeWait, [&] { return asked->answered; })) {
        asked->why = "it did not answer within a second";
    } else if (asked->why.empty() && !ReadChallenge(asked->body, tick, &RunChallenge)) {
        asked->why = "its answer is no challenge";
    }
    if (asked->why.empty()) return true;
    std::fprintf(stderr,
                 "marrowdale: no challenge from the world table at %s (%s); the game starts on its own clock\n",
                 address.c_str(), asked->why.c_str());
    return false;
}

// At a name's DONE, from the game's loop: marked (the first game of a run started on a
// challenge claiming it), queued, and the loop goes on at once.
void OfferKeptGame(const std::string& path, const std::vector<uint8_t>&) {
    if (!Sender || !MarkUnsent(path, RunChallenge.token, RunChallenge.expires)) return;
    RunChallenge = ChallengeRecord{};
    {
        std::lock_guard<std::mutex> hold(Sender->lock);
        Sender->waiting.push_back(path);
    }
    Sender->wake.notify_all();
}

int SubmitGame(const char* address, const char* path) {
    std::string origin, below;
    if (!SplitServerAddress(address, &origin, &below)) {
        std::fprintf(stderr, "marrowdale: '%s' is no score server's address (http://HOST[:PORT][/PATH] or https://...)\n",
                     address);
        return 2;
    }
    std::vector<uint8_t> journal;
    std::string problem;
    if (!ReadGameFile(path, &journal, &problem)) {
        std::fprintf(stderr, "marrowdale: cannot send %s: %s\n", path, problem.c_str());
        return 2;
    }
    Answer answer = PostJournal(address, journal, path, nullptr);
    std::fprintf(answer.verdict == Verdict::Taken ? stdout : stderr, "marrowdale: %s\n", answer.line.c_str());
    return answer.verdict == Verdict::Taken ? 0 : 1;
}
