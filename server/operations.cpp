// What an operator watches: the access log on stderr, and the figures GET /metrics gives in
// Prometheus' text format.
#include <cstdint>
#include <cstdio>
#include <string>

#include "server/server.h"

MetricsRecord Metrics;

namespace {

constexpr const char* OutcomeNames[] = {"entry", "none", "refused", "failed", "busy"};
constexpr size_t LoggedTarget = 200;

// Text fit for one log line: printable ASCII, at most so long.
std::string Printable(const std::string& text, size_t most) {
    std::string out;
    for (char c : text.substr(0, most)) out += c > ' ' && c < 127 ? c : '?';
    return out.empty() ? "-" : out;
}

void Metric(std::string& out, const char* name, const char* type, const char* help) {
    out += std::string("# HELP ") + name + " " + help + "\n# TYPE " + name + " " + type + "\n";
}

// A figure as Prometheus reads it: whole numbers whole.
std::string Number(double value) {
    char text[32];
    std::snprintf(text, sizeof text, value == static_cast<double>(static_cast<int64_t>(value)) ? "%.0f" : "%.6f", value);
    return text;
}

struct Figure {
    const char* name;
    const char* type;
    const char* help;
    double value;
};

}  // namespace

void CountReplay(const ReplayOutcome& outcome) {
    ++Metrics.replays[outcome.kind];
    Metrics.replayMicroseconds += static_cast<uint64_t>(outcome.seconds * 1e6);
    Metrics.replayCpuMicroseconds += static_cast<uint64_t>(outcome.cpuSeconds * 1e6);
}

void LogRequest(const std::string& client, const std::string& method, const std::string& target, int status,
                size_t bytes, double seconds) {
    {
        std::lock_guard<std::mutex> hold(Metrics.lock);
        ++Metrics.statuses[status];
    }
    std::fprintf(stderr, "marrowdale-scores: %s \"%s %s\" %d %zu %.3f\n", Printable(client, 64).c_str(),
                 Printable(method, 16).c_str(), Printable(target, LoggedTarget).c_str(), status, bytes, seconds);
}

std::string MetricsText() {
    std::string out;
    Metric(out, "marrowdale_replays_total", "counter", "Replays by how they ended (busy: refused for a full queue).");
    for (int kind = 0; kind < 5; ++kind) {
        out += std::string("marrowdale_replays_total{outcome=\"") + OutcomeNames[kind] + "\"} " +
               Number(static_cast<double>(Metrics.replays[kind].load())) + "\n";
    }
    const Figure figures[] = {
        {"marrowdale_replay_seconds_total", "counter", "Real time spent replaying.", Metrics.replayMicroseconds / 1e6},
        {"marrowdale_replay_cpu_seconds_total", "counter", "Processor time the replays used.",
         Metrics.replayCpuMicroseconds / 1e6},
        {"marrowdale_refusals_remembered_total", "counter", "Journals refused again from memory, without a replay.",
         static_cast<double>(Metrics.remembered.load())},
        {"marrowdale_replay_queue", "gauge", "Games waiting for a replay.", static_cast<double>(Metrics.replaysWaiting.load())},
        {"marrowdale_replays_running", "gauge", "Replays running.", static_cast<double>(Metrics.replaysRunning.load())},
        {"marrowdale_connections", "gauge", "Connections open.", static_cast<double>(Metrics.connections.load())},
        {"marrowdale_connections_refused_total", "counter", "Connections closed at once: their address held too many.",
         static_cast<double>(Metrics.connectionsRefused.load())},
    };
    for (const Figure& figure : figures) {
        Metric(out, figure.name, figure.type, figure.help);
        out += std::string(figure.name) + " " + Number(figure.value) + "\n";
    }
    Metric(out, "marrowdale_requests_total", "counter", "Requests answered, by status.");
    std::lock_guard<std::mutex> hold(Metrics.lock);
    for (const auto& [status, count] : Metrics.statuses) {
        out += "marrowdale_requests_total{status=\"" + std::to_string(status) + "\"} " + std::to_string(count) + "\n";
    }
    return out;
}
