// The desktop's sender of kept games: a game kept at DONE is marked and sent in the background,
// a server that holds its answer is cut short at the stop (the game stays marked), and the next
// start sends it; the mark goes once the server took it. Only an entry of the table is taken
// for an answer: junk, a stranger's page or an endless answer keeps the game marked, and at
// most 64 KB of it is read. Nothing in the games' folder is sent or written through a link,
// and a FIFO there holds nothing up.
#include <gtest/gtest.h>
#include <httplib.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <future>
#include <mutex>
#include <sstream>
#include <thread>

#include "hosts/live.h"
#include "hosts/sdl/sdl.h"
#include "services/games.h"
#include "tests/support/support.h"

namespace {

using namespace std::chrono_literals;
namespace fs = std::filesystem;

constexpr char Entry[] = R"({"rank":3,"score":70,"name":"AB","game":"/games/a.mdj"})";
constexpr char JsonType[] = "application/json";

std::string ReadText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

// A data home of the test's own for the kept games, and what the program says on stderr
// meanwhile, kept in a file that is read as it grows.
struct KeptGames {
    std::string home = MakeGameFolder();
    std::string folder = home + "marrowdale/games/";
    std::string said = home + "said";
    std::string before;
    bool given = false;
    int savedStderr = -1;
    size_t heard = 0;

    KeptGames() {
        const char* was = std::getenv("XDG_DATA_HOME");
        given = was != nullptr;
        before = given ? was : "";
        setenv("XDG_DATA_HOME", home.c_str(), 1);
        fs::create_directories(folder);
        int fd = open(said.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0600);
        savedStderr = dup(STDERR_FILENO);
        dup2(fd, STDERR_FILENO);
        close(fd);
    }
    ~KeptGames() {
        dup2(savedStderr, STDERR_FILENO);
        close(savedStderr);
        given ? setenv("XDG_DATA_HOME", before.c_str(), 1) : unsetenv("XDG_DATA_HOME");
        RemoveGameFolder(home);
    }
    std::string Said() const { return ReadText(said); }
    // Whether text is said within 10 s, after what the last wait found.
    bool WaitSaid(const std::string& text) {
        for (int i = 0; i < 500; ++i) {
            size_t at = Said().find(text, heard);
            if (at != std::string::npos) {
                heard = at + text.size();
                return true;
            }
            std::this_thread::sleep_for(20ms);
        }
        return false;
    }
};

// A score server on 127.0.0.1 that answers each journal sent with answer.
struct TestServer {
    httplib::Server server;
    std::thread serving;
    std::atomic<int> asked{0};
    std::string address;

    explicit TestServer(httplib::Server::Handler answer) {
        server.Post("/world/api/games", [this, answer](const httplib::Request& request, httplib::Response& response) {
            ++asked;
            answer(request, response);
        });
        address = "http://127.0.0.1:" + std::to_string(server.bind_to_any_port("127.0.0.1")) + "/world";
        serving = std::thread([this] { server.listen_after_bind(); });
    }
    ~TestServer() {
        server.stop();
        serving.join();
    }
};

httplib::Server::Handler Answering(int status, const std::string& body, const char* type) {
    return [status, body, type](const httplib::Request&, httplib::Response& response) {
        response.status = status;
        response.set_content(body, type);
    };
}

// A score server that answers only once it is let go.
struct HeldServer {
    std::mutex lock;
    std::condition_variable changed;
    bool holding = true;
    int asked = 0;
    std::string body;
    TestServer server{[this](const httplib::Request& request, httplib::Response& response) {
        std::unique_lock<std::mutex> hold(lock);
        ++asked;
        changed.notify_all();
        changed.wait(hold, [this] { return !holding; });
        body = request.body;
        response.status = 201;
        response.set_content(Entry, JsonType);
    }};

    bool WaitAsked(int times) {
        std::unique_lock<std::mutex> hold(lock);
        return changed.wait_for(hold, 10s, [&] { return asked >= times; });
    }
    void LetGo() {
        std::lock_guard<std::mutex> hold(lock);
        holding = false;
        changed.notify_all();
    }
};

TEST(ScoreSender, SendsInTheBackgroundCutsAHeldSendShortAtTheStopAndSendsItAtTheNextStart) {
    KeptGames games;
    HeldServer server;
    std::vector<uint8_t> journal(3000, 'j');
    std::string kept = KeepGame(journal, 70);
    ASSERT_FALSE(kept.empty());
    std::string mark = kept + ".unsent";

    StartScoreSender(server.server.address);
    OfferKeptGame(kept, journal);
    EXPECT_TRUE(fs::exists(mark));
    ASSERT_TRUE(server.WaitAsked(1));
    auto stopping = std::chrono::steady_clock::now();
    StopScoreSender();
    EXPECT_LT(std::chrono::steady_clock::now() - stopping, 2s) << "the stop waited for the answer";
    EXPECT_TRUE(fs::exists(mark)) << "a game the server did not take stays marked";

    server.LetGo();
    StartScoreSender(server.server.address);
    EXPECT_TRUE(games.WaitSaid("the world table took"));
    StopScoreSender();
    EXPECT_FALSE(fs::exists(mark)) << "the next start sent the game";
    EXPECT_EQ(server.body, std::string(journal.begin(), journal.end()));
}

// What --submit makes of an answer: its exit status and what it says after the file's name.
struct AnswerCase {
    const char* what;
    int status;
    const char* body;
    const char* type;
    int exitStatus;
    const char* said;
};
constexpr AnswerCase Answers[] = {
    {"an entry", 201, Entry, JsonType, 0, ""},
    {"no JSON", 200, "not json", "text/plain", 1, " gave no entry for SENT (200: \"not json\")"},
    {"no entry", 201, "{}", JsonType, 1, " gave no entry for SENT (201: \"{}\")"},
    {"no rank", 201, R"({"rank":-1,"score":70,"name":"AB"})", JsonType, 1, " gave no entry for SENT"},
    {"a stranger's page", 404, "<html>\n<p>Not found</p>\n</html>", "text/html", 1,
     " could not take SENT now (404: \"<html>?<p>Not found</p>?</html>\")"},
    {"a refusal", 422, R"({"error":"The game\ndiverges."})", JsonType, 1,
     "the world table refused SENT (422: The game?diverges.)"},
};

TEST(ScoreSender, SubmitTakesOnlyAnEntryAndSaysWhatElseCameBackInOneLine) {
    KeptGames games;
    std::string sent = games.folder + "sent.mdj";
    std::ofstream(sent) << "journal";
    for (const AnswerCase& answer : Answers) {
        TestServer server(Answering(answer.status, answer.body, answer.type));
        size_t before = games.Said().size();
        EXPECT_EQ(SubmitGame(server.address.c_str(), sent.c_str()), answer.exitStatus) << answer.what;
        std::string said = games.Said().substr(before);
        std::string expected = answer.said;
        if (size_t at = expected.find("SENT"); at != std::string::npos) expected.replace(at, 4, sent);
        EXPECT_NE(said.find(expected), std::string::npos) << answer.what << ": " << said;
        EXPECT_LE(std::count(said.begin(), said.end(), '\n'), 1) << answer.what << ": " << said;
    }
}

// An answer that never ends, as a length of 10^9 bytes or in chunks: cut off after 64 KB,
// not read whole. The server gives up after 256 MB, so that a sender that reads on fails.
TEST(ScoreSender, AnEndlessAnswerIsCutOff) {
    KeptGames games;
    std::string sent = games.folder + "sent.mdj";
    std::ofstream(sent) << "journal";
    constexpr size_t GivesUp = size_t{256} << 20;
    for (bool chunked : {false, true}) {
        std::atomic<size_t> written{0};
        auto endless = [&written](httplib::DataSink& sink, size_t most) {
            static const std::string block(size_t{1} << 16, ' ');
            size_t length = std::min(most, block.size());
            written += length;
            return written <= GivesUp && sink.write(block.data(), length);
        };
        {
            TestServer server([&](const httplib::Request&, httplib::Response& response) {
                response.status = 201;
                if (chunked) {
                    response.set_chunked_content_provider(JsonType, [&](size_t, httplib::DataSink& sink) {
                        return endless(sink, SIZE_MAX);
                    });
                } else {
                    response.set_content_provider(size_t{1000000000}, JsonType,
                                                  [&](size_t, size_t length, httplib::DataSink& sink) {
                                                      return endless(sink, length);
                                                  });
                }
            });
            size_t before = games.Said().size();
            EXPECT_EQ(SubmitGame(server.address.c_str(), sent.c_str()), 1);
            EXPECT_NE(games.Said().substr(before).find("(201: an answer longer than 64 KB)"), std::string::npos)
                << games.Said().substr(before);
        }
        // What the sockets' buffers hold beside the 64 KB read.
        EXPECT_LT(written.load(), size_t{32} << 20) << (chunked ? "chunked" : "10^9 bytes declared");
    }
}

TEST(ScoreSender, AJunkAnswerKeepsTheGameMarkedToBeSentLater) {
    KeptGames games;
    TestServer server(Answering(200, "not json", "text/plain"));
    std::vector<uint8_t> journal(3000, 'j');
    std::string kept = KeepGame(journal, 70);
    ASSERT_FALSE(kept.empty());
    StartScoreSender(server.address);
    OfferKeptGame(kept, journal);
    EXPECT_TRUE(games.WaitSaid("(200: \"not json\"); it is sent later")) << games.Said();
    StopScoreSender();
    EXPECT_TRUE(fs::exists(kept + ".unsent"));
}

// Whatever is at a kept game's name or at its mark's but a plain file: a link to another
// journal is not sent (the mark goes, with a line), a FIFO holds neither the sender nor the
// game at DONE.
TEST(ScoreSender, SendsNoLinkAndWaitsOnNoFifoInTheGamesFolder) {
    KeptGames games;
    TestServer server(Answering(201, Entry, JsonType));
    std::string other = games.home + "other.mdj";
    std::ofstream(other) << "another file";
    std::function<bool(const std::string&)> makers[] = {
        [&](const std::string& path) { return symlink(other.c_str(), path.c_str()) == 0; },
        [](const std::string& path) { return mkfifo(path.c_str(), 0600) == 0; }};

    for (const auto& make : makers) {
        std::string game = games.folder + "2026-12-07-201455-70.mdj";
        ASSERT_TRUE(make(game));
        std::ofstream(game + ".unsent");
        StartScoreSender(server.address);
        EXPECT_TRUE(games.WaitSaid("cannot send " + game + ": it is not a plain file")) << games.Said();
        StopScoreSender();
        EXPECT_FALSE(fs::exists(game + ".unsent"));
        fs::remove(game);
    }

    StartScoreSender(server.address);
    for (const auto& make : makers) {
        std::vector<uint8_t> journal(3000, 'j');
        std::string kept = KeepGame(journal, 70);
        ASSERT_FALSE(kept.empty());
        ASSERT_TRUE(make(kept + ".unsent"));
        auto offered = std::async(std::launch::async, [&] { OfferKeptGame(kept, journal); });
        bool returned = offered.wait_for(10s) == std::future_status::ready;
        if (!returned) close(open((kept + ".unsent").c_str(), O_RDONLY | O_NONBLOCK));
        EXPECT_TRUE(returned) << "the game waited on the FIFO at its mark";
        EXPECT_TRUE(games.WaitSaid("cannot mark " + kept + " to be sent (.unsent): it is not a plain file"));
        fs::remove(kept + ".unsent");
    }
    StopScoreSender();
    EXPECT_EQ(server.asked.load(), 0);
    EXPECT_EQ(ReadText(other), "another file");
}

}  // namespace
