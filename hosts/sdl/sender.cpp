// The desktop's way to the world high score table: --submit, and the sender that takes each
// kept game to the player's score server in the background, retrying while it can't be reached.
#include <httplib.h>
#include <nlohmann/json.hpp>

#include <algorithm>
#include <condition_variable>
#include <cstdio>
#include <deque>
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
// The most of an answer read: an entry or a refusal takes a few hundred bytes.
constexpr size_t LargestAnswer = 64u << 10;
// The most of a text of the answer's put in a line.
constexpr size_t LongestQuote = 160;

enum class Verdict { Taken, Refused, Unreached };

// What became of one journal sent, and the line that says so.
struct Answer {
    Verdict verdict;
    std::string line;
};

// What came back for one journal sent: the status (0 for no answer, and why not), and the
// answer's body unless it was longer than LargestAnswer (overlong: the rest is never read).
struct Reply {
    int status = 0;
    httplib::Error error = httplib::Error::Success;
    std::string body;
    bool overlong = false;
};

// A text of the server's, fit for one line: at most LongestQuote bytes, anything but plain
// printable ASCII shown as '?'.
std::string Quoted(const std::string& text) {
    std::string line;
    for (char c : text.substr(0, LongestQuote)) line += c >= ' ' && c <= '~' ? c : '?';
    return text.size() > LongestQuote ? line + "..." : line;
}

// A table's entry as the server answers a game it took: its rank from 1, its score, its name.
bool IsEntry(const nlohmann::json& answer) {
    return answer.is_object() && answer.contains("rank") && answer["rank"].is_number_integer() &&
           answer["rank"].get<long long>() >= 1 && answer.contains("score") &&
           answer["score"].is_number_integer() && answer.contains("name") && answer["name"].is_string();
}

// The reason a refusal gives, or empty for an answer that is no refusal of the server's.
std::string ErrorText(const nlohmann::json& answer) {
    if (answer.is_object() && answer.contains("error") && answer["error"].is_string()) {
        return answer["error"].get<std::string>();
    }
    return std::string();
}

// What came back, in words: the server's reason, or the answer itself quoted.
std::string WhatCameBack(const Reply& reply, const std::string& reason) {
    std::string status = std::to_string(reply.status) + ": ";
    if (reply.overlong) return status + "an answer longer than 64 KB";
    if (!reason.empty()) return status + Quoted(reason);
    if (reply.body.empty()) return status + "an empty answer";
    return status + "\"" + Quoted(reply.body) + "\"";
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
// had, with its entry), refused for good (a 4xx but for a wait or too many, with the server's
// reason), or anything else: not taken (try again later).
Answer Judge(const Reply& reply, const std::string& address, const std::string& what) {
    if (reply.status == 0) {
        return {Verdict::Unreached, "cannot reach the world table at " + address + " (" +
                                        Why(reply.error) + ") to send " + what};
    }
    nlohmann::json answer = reply.overlong ? nlohmann::json() : nlohmann::json::parse(reply.body, nullptr, false);
    int status = reply.status;
    bool taken = status == 200 || status == 201;
    if (taken && IsEntry(answer)) {
        char line[160];
        std::snprintf(line, sizeof line, "%s: rank %lld, %lld points, %s", what.c_str(),
                      answer["rank"].get<long long>(), answer["score"].get<long long>(),
                      Quoted(answer["name"].get<std::string>()).c_str());
        return {Verdict::Taken, std::string(status == 201 ? "the world table took " : "the world table had ") + line};
    }
    std::string reason = ErrorText(answer);
    std::string why = WhatCameBack(reply, reason);
    if (taken) return {Verdict::Unreached, "the world table at " + address + " gave no entry for " + what + " (" + why + ")"};
    if (status >= 400 && status < 500 && status != 408 && status != 429 && !reason.empty()) {
        return {Verdict::Refused, "the world table refused " + what + " (" + why + ")"};
    }
    return {Verdict::Unreached, "the world table at " + address + " could not take " + what + " now (" + why + ")"};
}

// Posts a journal to the server's API below its address, reading at most LargestAnswer of the
// answer; client is handed to enter while the request runs, so that a stop can cut it short.
Answer PostJournal(const std::string& address, const std::vector<uint8_t>& journal,
                   const std::string& what, void (*enter)(httplib::Client*)) {
    std::string origin, below;
    SplitServerAddress(address, &origin, &below);
    httplib::Client client(origin);
    client.set_connection_timeout(ConnectSeconds);
    client.set_write_timeout(WriteSeconds);
    client.set_read_timeout(AnswerSeconds);
    httplib::Request request;
    request.method = "POST";
    request.path = below + "api/games";
    request.set_header("Content-Type", JournalType);
    request.body.assign(journal.begin(), journal.end());
    Reply reply;
    request.response_handler = [&reply](const httplib::Response& response) {
        reply.status = response.status;
        return true;
    };
    request.content_receiver = [&reply](const char* data, size_t size, uint64_t, uint64_t) {
        reply.overlong = reply.body.size() + size > LargestAnswer;
        if (!reply.overlong) reply.body.append(data, size);
        return !reply.overlong;
    };
    if (enter) enter(&client);
    httplib::Result result = client.send(request);
    if (enter) enter(nullptr);
    if (result) {
        reply.status = result->status;
    } else if (!reply.overlong) {
        reply.status = 0;
        reply.error = result.error();
    }
    return Judge(reply, address, what);
}

std::string BaseName(const std::string& path) { return path.substr(path.rfind('/') + 1); }

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
    if (!ReadGameFile(game, true, &journal, &problem)) {
        MarkSent(game);
        std::fprintf(stderr, "marrowdale: cannot send %s: %s\n", game.c_str(), problem.c_str());
        return Verdict::Refused;
    }
    Answer answer = PostJournal(Sender->address, journal, BaseName(game), EnterClient);
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

// At a name's DONE, from the game's loop: marked, queued, and the loop goes on at once.
void OfferKeptGame(const std::string& path, const std::vector<uint8_t>&) {
    if (!Sender || !MarkUnsent(path)) return;
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
    if (!ReadGameFile(path, false, &journal, &problem)) {
        std::fprintf(stderr, "marrowdale: cannot send %s: %s\n", path, problem.c_str());
        return 2;
    }
    Answer answer = PostJournal(address, journal, path, nullptr);
    std::fprintf(answer.verdict == Verdict::Taken ? stdout : stderr, "marrowdale: %s\n", answer.line.c_str());
    return answer.verdict == Verdict::Taken ? 0 : 1;
}
