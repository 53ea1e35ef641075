// The score server's routes: games sent and replayed, the table as JSON and as a page, the
// journals as they were sent, and the game's page; every answer bounded and every name escaped.
#include <httplib.h>
#include <openssl/evp.h>

#include <nlohmann/json.hpp>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <filesystem>

#include "server/server.h"

ScoreService Service;

const HeaderLine EveryAnswerHeaders[2] = {{"Access-Control-Allow-Origin", "*"}, {"X-Content-Type-Options", "nosniff"}};

namespace {

constexpr char JsonType[] = "application/json";
constexpr char JournalType[] = "application/octet-stream";
constexpr int DefaultTableLimit = 100;
constexpr int LargestTableLimit = 1000;
constexpr int64_t LargestTableOffset = 1000000000;
constexpr int BusyRetrySeconds = 30;
constexpr int StoreRetrySeconds = 60;
constexpr char NoEntrySentence[] = "The game made no high score: no name was confirmed with DONE.";
// The page's folder held in memory: at most so many files and bytes.
constexpr size_t MostSiteFiles = 4000;
constexpr uintmax_t LargestSite = uintmax_t{256} << 20;

// ---- Answers ----------------------------------------------------------------------------

std::string Json(const nlohmann::json& value) {
    return value.dump(-1, ' ', true, nlohmann::json::error_handler_t::replace);
}

void AnswerError(httplib::Response& response, int status, const std::string& sentence, int retrySeconds = 0) {
    response.status = status;
    if (retrySeconds > 0) response.set_header("Retry-After", std::to_string(retrySeconds));
    response.set_content(Json({{"error", sentence}}), JsonType);
}

std::string GameLink(const std::string& id) { return "/games/" + id + ".mdj"; }

std::string IsoTime(int64_t seconds) {
    std::time_t time = static_cast<std::time_t>(seconds);
    std::tm utc{};
    gmtime_r(&time, &utc);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &utc);
    return text;
}

nlohmann::json EntryJson(const TableEntry& entry) {
    return {{"rank", entry.rank}, {"score", entry.score}, {"name", entry.name},
            {"when", IsoTime(entry.when)}, {"game", GameLink(entry.id)}};
}

void AnswerStoreDown(httplib::Response& response) {
    AnswerError(response, 503, "The score table cannot be reached now; try again later.", StoreRetrySeconds);
}

// Text for an HTML page: the five characters that could end it, escaped.
std::string Escaped(const std::string& text) {
    std::string out;
    for (char c : text) {
        switch (c) {
            case '&': out += "&amp;"; break;
            case '<': out += "&lt;"; break;
            case '>': out += "&gt;"; break;
            case '"': out += "&quot;"; break;
            case '\'': out += "&#39;"; break;
            default: out += c;
        }
    }
    return out;
}

// The journal's id: its SHA-256 in lowercase hex.
std::string JournalId(const std::string& journal) {
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    EVP_Digest(journal.data(), journal.size(), digest, &length, EVP_sha256(), nullptr);
    std::string id;
    constexpr char Hex[] = "0123456789abcdef";
    for (unsigned int i = 0; i < length; ++i) {
        id += Hex[digest[i] >> 4];
        id += Hex[digest[i] & 15];
    }
    return id;
}

// ---- Routes -------------------------------------------------------------------------------

void AnswerEntry(httplib::Response& response, int status, const TableEntry& entry) {
    response.status = status;
    response.set_content(Json(EntryJson(entry)), JsonType);
}

// The entry a replay made, stored with its journal in one transaction.
void StoreEntry(const std::string& id, const std::string& journal, const ReplayOutcome& outcome,
                httplib::Response& response) {
    TableEntry entry;
    bool added = false;
    int64_t now = std::chrono::duration_cast<std::chrono::seconds>(
                      std::chrono::system_clock::now().time_since_epoch()).count();
    if (!Service.store->add(id, journal, outcome.score, outcome.name, now, &entry, &added)) {
        return AnswerStoreDown(response);
    }
    AnswerEntry(response, added ? 201 : 200, entry);
}

// POST /api/games: the journal, replayed here; the table's entry comes from the replay alone.
void PostGame(const httplib::Request& request, httplib::Response& response) {
    int wait = 0;
    if (!TakeSubmission(request.remote_addr, &wait)) {
        return AnswerError(response, 429, "Too many games from this address; send again in " +
                                              std::to_string(wait) + " seconds.", wait);
    }
    std::string type = request.get_header_value("Content-Type");
    if (!type.empty() && type.rfind(JournalType, 0) != 0) {
        return AnswerError(response, 415, "Send the journal itself, as application/octet-stream.");
    }
    if (request.body.empty()) return AnswerError(response, 400, "The request holds no journal.");
    if (request.body.size() > LargestJournalBytes) {
        return AnswerError(response, 413, "The journal is larger than 2 MB, more than any game needs.");
    }
    std::string id = JournalId(request.body);
    TableEntry entry;
    bool found = false;
    if (!Service.store->find(id, &entry, &found)) return AnswerStoreDown(response);
    if (found) return AnswerEntry(response, 200, entry);
    std::string refused;
    if (RememberedRefusal(id, &refused)) return AnswerError(response, 422, refused);
    if (!ReplayTimeLeft(request.remote_addr, &wait)) {
        return AnswerError(response, 429, "This address's games have taken all the replay time it has for now; send "
                                          "again in " + std::to_string(wait) + " seconds.", wait);
    }
    ReplayOutcome outcome = Service.replay(request.body);
    SpendReplayTime(request.remote_addr, outcome.seconds);
    if (outcome.kind == ReplayOutcome::NoEntry) outcome.reason = NoEntrySentence;
    bool refusal = outcome.kind == ReplayOutcome::NoEntry || outcome.kind == ReplayOutcome::Refused;
    if (refusal && outcome.repeatable) RememberRefusal(id, outcome.reason);
    switch (outcome.kind) {
        case ReplayOutcome::Entry: return StoreEntry(id, request.body, outcome, response);
        case ReplayOutcome::NoEntry:
        case ReplayOutcome::Refused: return AnswerError(response, 422, outcome.reason);
        case ReplayOutcome::Busy:
            return AnswerError(response, 503, "Every replay is taken; send the game again in a minute.",
                               BusyRetrySeconds);
        case ReplayOutcome::Failed: return AnswerError(response, 500, outcome.reason);
    }
}

// A whole number from a query value within [0, largest]; fallback when there is none.
bool QueryNumber(const httplib::Request& request, const char* name, int64_t fallback, int64_t largest,
                 int64_t* value) {
    if (!request.has_param(name)) {
        *value = fallback;
        return true;
    }
    std::string text = request.get_param_value(name);
    if (text.empty() || text.size() > 10 || text.find_first_not_of("0123456789") != std::string::npos) return false;
    *value = std::stoll(text);
    return *value <= largest;
}

// GET /api/table?offset=N&limit=N: the entries best first.
void GetTable(const httplib::Request& request, httplib::Response& response) {
    int64_t offset = 0, limit = 0;
    if (!QueryNumber(request, "offset", 0, LargestTableOffset, &offset) ||
        !QueryNumber(request, "limit", DefaultTableLimit, LargestTableLimit, &limit)) {
        return AnswerError(response, 400, "offset and limit are whole numbers, limit at most 1000.");
    }
    std::vector<TableEntry> entries;
    if (!Service.store->table(offset, limit, &entries)) return AnswerStoreDown(response);
    nlohmann::json list = nlohmann::json::array();
    for (const TableEntry& entry : entries) list.push_back(EntryJson(entry));
    response.set_header("Cache-Control", "no-cache");
    response.set_content(Json(list), JsonType);
}

// GET /games/ID.mdj: the journal as it was sent; its id is its digest, so it never changes.
void GetJournal(const httplib::Request& request, httplib::Response& response) {
    std::string journal;
    bool found = false;
    if (!Service.store->journal(request.matches[1], &journal, &found)) return AnswerStoreDown(response);
    if (!found) return AnswerError(response, 404, "No game has that journal.");
    response.set_header("Cache-Control", "public, max-age=31536000, immutable");
    response.set_content(journal, JournalType);
}

constexpr char PageTop[] =
    "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n"
    "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">\n"
    "<title>Marrowdale: the world's high scores</title>\n<style>\n"
    "  body { margin: 2rem auto; max-width: 40rem; padding: 0 1rem; background: #000; color: #ccc;\n"
    "         font: 15px/1.5 sans-serif; }\n"
    "  h1 { font-size: 1.4rem; color: #fff; }\n"
    "  table { border-collapse: collapse; width: 100%; }\n"
    "  th, td { padding: 0.3rem 0.6rem; text-align: left; border-bottom: 1px solid #333; }\n"
    "  td.n { text-align: right; font-variant-numeric: tabular-nums; }\n"
    "  a { color: #9c6; } code { color: #9c6; }\n"
    "</style>\n</head>\n<body>\n<h1>The world's high scores</h1>\n"
    "<p>Every game here was played again by this server from its journal: the score and the name "
    "are what the replay reached.</p>\n";

// GET /: the table's first hundred as a page, each game linked to its replay in the browser
// when this server serves the game's page.
void GetPage(const httplib::Request&, httplib::Response& response) {
    std::vector<TableEntry> entries;
    if (!Service.store->table(0, DefaultTableLimit, &entries)) return AnswerStoreDown(response);
    std::string page = PageTop;
    if (entries.empty()) {
        page += "<p>No game has been sent yet.</p>\n";
    } else {
        page += "<table>\n<tr><th>#</th><th>Score</th><th>Name</th><th>When</th><th>Game</th></tr>\n";
    }
    for (const TableEntry& entry : entries) {
        std::string link = Service.site.empty() ? GameLink(entry.id)
                                                : "/play/?replay=" + GameLink(entry.id) + "&server=/";
        page += "<tr><td class=\"n\">" + std::to_string(entry.rank) + "</td><td class=\"n\">" +
                std::to_string(entry.score) + "</td><td>" + Escaped(entry.name) + "</td><td>" +
                IsoTime(entry.when).substr(0, 10) + "</td><td><a href=\"" + Escaped(link) + "\">" +
                (Service.site.empty() ? "journal" : "watch") + "</a></td></tr>\n";
    }
    if (!entries.empty()) page += "</table>\n";
    page += "<p>To send a game from the desktop: <code>marrowdale --submit ADDRESS FILE</code>, "
            "ADDRESS being this page's; the games that made a high score are kept in "
            "<code>~/.local/share/marrowdale/games/</code>.";
    if (!Service.site.empty()) page += " Or <a href=\"/play/?server=/\">play in the browser</a>.";
    page += "</p>\n</body>\n</html>\n";
    response.set_header("Cache-Control", "no-cache");
    response.set_header("Content-Security-Policy", "default-src 'none'; style-src 'unsafe-inline'");
    response.set_content(page, "text/html; charset=utf-8");
}

// The types of the page's files, by their endings.
struct FileType {
    const char* ending;
    const char* type;
};
constexpr FileType FileTypes[] = {
    {".html", "text/html; charset=utf-8"}, {".js", "text/javascript"},
    {".mjs", "text/javascript"},           {".json", "application/json"},
    {".webmanifest", "application/manifest+json"},
    {".gz", "application/gzip"},           {".png", "image/png"},
    {".ico", "image/x-icon"},              {".css", "text/css"},
    {".txt", "text/plain; charset=utf-8"}, {".svg", "image/svg+xml"},
};

const char* TypeOf(const std::string& name) {
    for (const FileType& file : FileTypes) {
        size_t length = std::strlen(file.ending);
        if (name.size() >= length && name.compare(name.size() - length, length, file.ending) == 0) {
            return file.type;
        }
    }
    return JournalType;
}

// GET /play/...: the game's page from memory; a request's path only ever names a key.
void GetSiteFile(const httplib::Request& request, httplib::Response& response) {
    std::string name = request.matches[1];
    if (name.empty() || name.back() == '/') name += "index.html";
    auto file = Service.site.find(name);
    if (file == Service.site.end()) {
        return AnswerError(response, 404, Service.site.empty() ? "This server serves no game page."
                                                               : "The game's page has no such file.");
    }
    response.set_header("Cache-Control", "no-cache");
    response.set_content(file->second, TypeOf(name));
}

// GET /healthz: 200 while the table can be read and written, else 503.
void GetHealth(const httplib::Request&, httplib::Response& response) {
    if (!Service.store->healthy()) return AnswerError(response, 503, "The score table's database cannot be used.");
    response.set_header("Cache-Control", "no-store");
    response.set_content(Json({{"status", "ok"}}), JsonType);
}

// Browsers ask before they send a journal from another site's page.
void AllowCrossSite(const httplib::Request&, httplib::Response& response) {
    response.status = 204;
    response.set_header("Access-Control-Allow-Methods", "GET, POST, OPTIONS");
    response.set_header("Access-Control-Allow-Headers", "Content-Type");
    response.set_header("Access-Control-Max-Age", "86400");
}

// An answer without a body of its own (no route, a body too large, a broken request) says in
// JSON what went wrong.
httplib::Server::HandlerResponse FillError(const httplib::Request&, httplib::Response& response) {
    if (!response.body.empty()) return httplib::Server::HandlerResponse::Unhandled;
    switch (response.status) {
        case 404: AnswerError(response, 404, "There is nothing here."); break;
        case 413: AnswerError(response, 413, TooLargeSentence); break;
        case 400: AnswerError(response, 400, "The request is malformed."); break;
        default:
            AnswerError(response, response.status, "The request failed (HTTP status " + std::to_string(response.status) + ").");
    }
    return httplib::Server::HandlerResponse::Handled;
}

}  // namespace

void AddRoutes(httplib::Server* server) {
    server->set_payload_max_length(LargestJournalBytes);
    httplib::Headers headers;
    for (const HeaderLine& header : EveryAnswerHeaders) headers.emplace(header.name, header.value);
    server->set_default_headers(headers);
    server->set_error_handler(httplib::Server::HandlerWithResponse(FillError));
    server->Post("/api/games", PostGame);
    server->Get("/api/table", GetTable);
    server->Options(R"(/api/(games|table))", AllowCrossSite);
    server->Get(R"(/games/([0-9a-f]{64})\.mdj)", GetJournal);
    server->Get("/", GetPage);
    server->Get("/play", [](const httplib::Request&, httplib::Response& response) {
        response.set_redirect("/play/");
    });
    server->Get(R"(/play/(.*))", GetSiteFile);
    server->Get("/healthz", GetHealth);
    server->Get("/metrics", [](const httplib::Request&, httplib::Response& response) {
        response.set_header("Cache-Control", "no-store");
        response.set_content(MetricsText(), "text/plain; version=0.0.4; charset=utf-8");
    });
}

bool ReadSite(const std::string& folder, SiteFiles* files) {
    namespace fs = std::filesystem;
    std::error_code error;
    uintmax_t total = 0;
    fs::recursive_directory_iterator walk(folder, error);
    for (; !error && walk != fs::recursive_directory_iterator(); walk.increment(error)) {
        const fs::directory_entry& entry = *walk;
        if (!entry.is_regular_file(error) || entry.is_symlink(error)) continue;
        total += entry.file_size(error);
        if (files->size() >= MostSiteFiles || total > LargestSite) {
            std::fprintf(stderr, "marrowdale-scores: the page's folder %s holds more than %zu files or 256 MB\n",
                         folder.c_str(), MostSiteFiles);
            return false;
        }
        std::FILE* in = std::fopen(entry.path().c_str(), "rb");
        std::string bytes(static_cast<size_t>(entry.file_size(error)), '\0');
        bool read = in && std::fread(bytes.data(), 1, bytes.size(), in) == bytes.size();
        if (in) std::fclose(in);
        if (!read) {
            std::fprintf(stderr, "marrowdale-scores: cannot read %s\n", entry.path().c_str());
            return false;
        }
        (*files)[entry.path().lexically_relative(folder).generic_string()] = std::move(bytes);
    }
    if (error || !files->count("index.html")) {
        std::fprintf(stderr, "marrowdale-scores: %s is not the game's page folder (%s)\n", folder.c_str(),
                     error ? error.message().c_str() : "it has no index.html");
        return false;
    }
    return true;
}
