// The desktop's sender of kept games: a game kept at DONE is marked and sent in the background,
// a server that holds its answer is cut short at the stop (the game stays marked), and the next
// start sends it; the mark goes once the server took it. A run started on a server's challenge
// has its first kept game claim it, and a server that gives none leaves the game on its clock.
#include <gtest/gtest.h>
#include <httplib.h>

#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <filesystem>
#include <mutex>
#include <thread>
#include <vector>

#include "hosts/live.h"
#include "hosts/sdl/sdl.h"
#include "services/games.h"
#include "tests/support/support.h"

namespace {

using namespace std::chrono_literals;

// A score server that answers only once it is let go.
struct HeldServer {
    httplib::Server server;
    std::thread serving;
    std::mutex lock;
    std::condition_variable changed;
    bool holding = true;
    int asked = 0;
    std::string body;
    std::string address;

    HeldServer() {
        server.Post("/world/api/games", [this](const httplib::Request& request, httplib::Response& response) {
            std::unique_lock<std::mutex> hold(lock);
            ++asked;
            changed.notify_all();
            changed.wait(hold, [this] { return !holding; });
            body = request.body;
            response.status = 201;
            response.set_content(R"({"rank":3,"score":70,"name":"AB","game":"/games/a.mdj"})", "application/json");
        });
        address = "http://127.0.0.1:" + std::to_string(server.bind_to_any_port("127.0.0.1")) + "/world";
        serving = std::thread([this] { server.listen_after_bind(); });
    }
    ~HeldServer() {
        server.stop();
        serving.join();
    }
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
    std::string home = MakeGameFolder();
    const char* given = std::getenv("XDG_DATA_HOME");
    std::string before = given ? given : "";
    setenv("XDG_DATA_HOME", home.c_str(), 1);
    HeldServer server;
    std::vector<uint8_t> journal(3000, 'j');
    std::string kept = KeepGame(journal, 70);
    ASSERT_FALSE(kept.empty());
    std::string mark = kept + ".unsent";

    StartScoreSender(server.address);
    OfferKeptGame(kept, journal);
    EXPECT_TRUE(std::filesystem::exists(mark));
    ASSERT_TRUE(server.WaitAsked(1));
    auto stopping = std::chrono::steady_clock::now();
    StopScoreSender();
    EXPECT_LT(std::chrono::steady_clock::now() - stopping, 2s) << "the stop waited for the answer";
    EXPECT_TRUE(std::filesystem::exists(mark)) << "a game the server did not take stays marked";

    server.LetGo();
    StartScoreSender(server.address);
    for (int i = 0; i < 500 && std::filesystem::exists(mark); ++i) std::this_thread::sleep_for(20ms);
    StopScoreSender();
    EXPECT_FALSE(std::filesystem::exists(mark)) << "the next start sent the game";
    EXPECT_EQ(server.body, std::string(journal.begin(), journal.end()));
    given ? setenv("XDG_DATA_HOME", before.c_str(), 1) : unsetenv("XDG_DATA_HOME");
    RemoveGameFolder(home);
}

// A score server that gives challenges (or, silent, keeps the start waiting) and notes the
// query of each game sent.
struct ChallengingServer {
    httplib::Server server;
    std::thread serving;
    std::mutex lock;
    std::condition_variable changed;
    bool silent = false;
    std::vector<std::string> claims;
    std::string address;

    ChallengingServer() {
        server.Get("/api/challenge", [this](const httplib::Request&, httplib::Response& response) {
            std::unique_lock<std::mutex> hold(lock);
            if (silent) changed.wait_for(hold, 5s);
            response.set_content(R"({"tick":4000000000,"token":"00112233445566778899aabbccddeeff","seconds":1800})",
                                 "application/json");
        });
        server.Post("/api/games", [this](const httplib::Request& request, httplib::Response& response) {
            std::lock_guard<std::mutex> hold(lock);
            claims.push_back(request.get_param_value("challenge"));
            changed.notify_all();
            response.status = 201;
            response.set_content(R"({"rank":1,"score":70,"name":"AB","game":"/games/a.mdj"})", "application/json");
        });
        address = "http://127.0.0.1:" + std::to_string(server.bind_to_any_port("127.0.0.1"));
        serving = std::thread([this] { server.listen_after_bind(); });
    }
    ~ChallengingServer() {
        {
            std::lock_guard<std::mutex> hold(lock);
            silent = false;
            changed.notify_all();
        }
        server.stop();
        serving.join();
    }
    bool WaitClaims(size_t count) {
        std::unique_lock<std::mutex> hold(lock);
        return changed.wait_for(hold, 10s, [&] { return claims.size() >= count; });
    }
};

TEST(ScoreSender, TheFirstGameKeptClaimsTheChallengeTheRunStartedOn) {
    std::string home = MakeGameFolder();
    const char* given = std::getenv("XDG_DATA_HOME");
    std::string before = given ? given : "";
    setenv("XDG_DATA_HOME", home.c_str(), 1);
    ChallengingServer server;
    StandInOptions options;
    DWORD tick = 0;
    EXPECT_FALSE(TakeChallengeTick(options, &tick)) << "no score server, no challenge";
    options.scoreServer = server.address;
    ASSERT_TRUE(TakeChallengeTick(options, &tick));
    EXPECT_EQ(tick, 4000000000u);
    StartScoreSender(server.address);
    std::vector<uint8_t> journal(100, 'j');
    std::string first = KeepGame(journal, 70), second = KeepGame(journal, 80);
    OfferKeptGame(first, journal);
    OfferKeptGame(second, journal);
    ASSERT_TRUE(server.WaitClaims(2));
    StopScoreSender();
    EXPECT_EQ(server.claims, (std::vector<std::string>{"00112233445566778899aabbccddeeff", ""}));

    {
        std::lock_guard<std::mutex> hold(server.lock);
        server.silent = true;
    }
    auto asking = std::chrono::steady_clock::now();
    EXPECT_FALSE(TakeChallengeTick(options, &tick)) << "a server that does not answer gives no challenge";
    EXPECT_LT(std::chrono::steady_clock::now() - asking, 5s) << "the start waited on for the challenge";
    given ? setenv("XDG_DATA_HOME", before.c_str(), 1) : unsetenv("XDG_DATA_HOME");
    RemoveGameFolder(home);
}

}  // namespace
