// What an operator watches: the access log on stderr, GET /healthz for a monitor or a service
// manager, GET /metrics in Prometheus' text format.
#include <httplib.h>

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

// GET /metrics.
void GetMetrics(const httplib::Request&, httplib::Response& response) {
    std::string out;
    Metric(out, "marrowdale_replays_total", "counter", "Replays by how they ended (busy: refused for a full queue).");
    for (int kind = 0; kind < 5; ++kind) {
        out += std::string("marrowdale_replays_total{outcome=\"") + OutcomeNames[kind] + "\"} " +
               std::to_string(Metrics.replays[kind].load()) + "\n";
    }
    Metric(out, "marrowdale_replay_seconds_total", "counter", "Real time spent replaying.");
    out += "marrowdale_replay_seconds_total " + std::to_string(Metrics.replayMicroseconds / 1e6) + "\n";
    Metric(out, "marrowdale_replay_cpu_seconds_total", "counter", "Processor time the replays used.");
    out += "marrowdale_replay_cpu_seconds_total " + std::to_string(Metrics.replayCpuMicroseconds / 1e6) + "\n";
    Metric(out, "marrowdale_refusals_remembered_total", "counter", "Journals refused again from memory, without a replay.");
    out += "marrowdale_refusals_remembered_total " + std::to_string(Metrics.remembered.load()) + "\n";
    int waiting = 0, running = 0;
    ReplayQueue(&waiting, &running);
    Metric(out, "marrowdale_replay_queue", "gauge", "Games waiting for a replay.");
    out += "marrowdale_replay_queue " + std::to_string(waiting) + "\n";
    Metric(out, "marrowdale_replays_running", "gauge", "Replays running.");
    out += "marrowdale_replays_running " + std::to_string(running) + "\n";
    Metric(out, "marrowdale_connections", "gauge", "Connections open.");
    out += "marrowdale_connections " + std::to_string(Metrics.connections.load()) + "\n";
    Metric(out, "marrowdale_connections_refused_total", "counter", "Connections closed at once: their address held too many.");
    out += "marrowdale_connections_refused_total " + std::to_string(Metrics.connectionsRefused.load()) + "\n";
    Metric(out, "marrowdale_requests_total", "counter", "Requests answered, by status.");
    {
        std::lock_guard<std::mutex> hold(Metrics.lock);
        for (const auto& [status, count] : Metrics.statuses) {
            out += "marrowdale_requests_total{status=\"" + std::to_string(status) + "\"} " + std::to_string(count) + "\n";
        }
    }
    response.set_header("Cache-Control", "no-store");
    response.set_content(out, "text/plain; version=0.0.4; charset=utf-8");
}

// GET /healthz: 200 while the table can be read and written, else 503.
void GetHealth(const httplib::Request&, httplib::Response& response) {
    bool healthy = Service.store->healthy();
    response.status = healthy ? 200 : 503;
    response.set_header("Cache-Control", "no-store");
    response.set_content(healthy ? "{\"status\":\"ok\"}" : "{\"error\":\"The score table's database cannot be used.\"}",
                         "application/json");
}

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

void AddOperationRoutes(httplib::Server* server) {
    server->Get("/healthz", GetHealth);
    server->Get("/metrics", GetMetrics);
}
