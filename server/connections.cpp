// The score server's connections: one thread watches every socket (epoll) and reads each
// request whole, within deadlines, before a handler thread answers it from memory; so a slow
// or silent client holds a little memory for a few seconds, never a thread.
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>
#include <arpa/inet.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <mutex>
#include <thread>
#include <unordered_map>

#include "server/server.h"

namespace {

using Clock = std::chrono::steady_clock;

// A request's head must be whole this long after the connection began to wait for it (so
// also the most a kept-alive connection stays idle); a body, and an answer, may take this
// long beyond the time they need at the floor rate.
constexpr auto HeadTime = std::chrono::seconds(HeadSeconds);
constexpr auto GraceTime = std::chrono::seconds(5);
constexpr double FloorBytesPerSecond = 16384;
// A closed connection's last words are read and dropped this long, so that the client reads
// its answer rather than a reset.
constexpr auto LingerTime = std::chrono::seconds(2);
// The bodies being received and the answers being sent may hold this much memory at once; a
// request beyond it gets 503.
constexpr size_t MostBytesHeld = size_t{256} << 20;
constexpr size_t MostConnections = 4096;
// Files kept for the databases, the workers' pipes and the server's own use.
constexpr rlim_t ReservedFiles = 64;
constexpr rlim_t FilesPerWorker = 8;
constexpr int MostEvents = 64;
constexpr char Continue[] = "HTTP/1.1 100 Continue\r\n\r\n";

enum class Phase { Head, Body, Handling, Answering, Lingering };

struct Connection {
    int fd = -1;
    uint64_t serial = 0;
    std::string peer;    // the socket's address
    bool counted = false;  // in its address's count
    Phase phase = Phase::Head;
    Clock::time_point deadline;
    Clock::time_point whole;  // when the request was read whole
    std::string in;
    size_t headChecked = 0;  // bytes of in known to hold no whole head and no bad line end
    RequestHead head;
    std::string client;  // the address the request counts for
    size_t held = 0;     // of the memory all connections share
    int requests = 0;
    std::string out;
    size_t sent = 0;
    bool closing = false;
    uint32_t events = 0;
};

struct Job {
    int fd;
    uint64_t serial;
    std::string request;
    std::string client;
    bool close;
};

struct Answer {
    int fd;
    uint64_t serial;
    std::string bytes;
    bool close;
};

struct FrontRecord {
    int epoll = -1;
    int listener = -1;
    std::atomic<int> wake{-1};
    bool accepting = true;
    size_t mostConnections = MostConnections;
    int addressLimit = 0;
    std::unordered_map<int, Connection> connections;
    std::unordered_map<std::string, int> perAddress;
    size_t bytesHeld = 0;
    uint64_t serials = 0;
    std::atomic<bool> stopping{false};
    // Between the watching thread and the handlers.
    std::mutex lock;
    std::condition_variable jobsWaiting;
    std::deque<Job> jobs;
    std::deque<Answer> answers;
    bool handlersStop = false;
};

FrontRecord Front;

double Seconds(Clock::duration duration) { return std::chrono::duration<double>(duration).count(); }

Clock::duration AtFloorRate(size_t bytes) {
    return GraceTime + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(bytes / FloorBytesPerSecond));
}

// The socket's events follow what the connection waits for.
void Watch(Connection& connection) {
    bool reading = connection.phase == Phase::Head || connection.phase == Phase::Body ||
                   connection.phase == Phase::Lingering;
    uint32_t events = (reading ? EPOLLIN : 0u) | (connection.sent < connection.out.size() ? EPOLLOUT : 0u);
    if (events == connection.events) return;
    epoll_event event{};
    event.events = events;
    event.data.fd = connection.fd;
    epoll_ctl(Front.epoll, EPOLL_CTL_MOD, connection.fd, &event);
    connection.events = events;
}

// What a connection holds of the memory all share: its body while it is read and answered,
// then its answer while it is sent.
void Hold(Connection& connection, size_t bytes) {
    Front.bytesHeld = Front.bytesHeld - connection.held + bytes;
    connection.held = bytes;
}

void ListenAgain() {
    if (Front.accepting || Front.listener < 0 || Front.connections.size() >= Front.mostConnections) return;
    epoll_event event{};
    event.events = EPOLLIN;
    event.data.fd = Front.listener;
    Front.accepting = epoll_ctl(Front.epoll, EPOLL_CTL_MOD, Front.listener, &event) == 0;
}

void Close(int fd) {
    auto found = Front.connections.find(fd);
    if (found == Front.connections.end()) return;
    Connection& connection = found->second;
    Hold(connection, 0);
    if (connection.counted && --Front.perAddress[AddressKey(connection.peer)] == 0) {
        Front.perAddress.erase(AddressKey(connection.peer));
    }
    close(fd);
    Front.connections.erase(found);
    Metrics.connections = static_cast<int64_t>(Front.connections.size());
    ListenAgain();
}

void AwaitHead(Connection& connection);

// The answer is out: the connection ends (its last bytes read and dropped a while) or waits
// for its next request.
void Answered(Connection& connection) {
    Hold(connection, 0);
    connection.out.clear();
    connection.sent = 0;
    if (connection.closing) {
        shutdown(connection.fd, SHUT_WR);
        connection.phase = Phase::Lingering;
        connection.in.clear();
        connection.deadline = Clock::now() + LingerTime;
        return Watch(connection);
    }
    AwaitHead(connection);
}

// Writes what the socket takes of the answer; false when the connection was closed.
bool WriteSome(Connection& connection) {
    while (connection.sent < connection.out.size()) {
        ssize_t wrote = send(connection.fd, connection.out.data() + connection.sent,
                             connection.out.size() - connection.sent, MSG_NOSIGNAL);
        if (wrote > 0) {
            connection.sent += static_cast<size_t>(wrote);
        } else if (errno == EAGAIN || errno == EWOULDBLOCK) {
            Watch(connection);
            return true;
        } else if (errno != EINTR) {
            Close(connection.fd);
            return false;
        }
    }
    if (connection.phase == Phase::Answering) {
        Answered(connection);
    } else {
        connection.out.clear();
        connection.sent = 0;
        Watch(connection);
    }
    return true;
}

// Starts answering with bytes; the connection ends after them when close.
void StartAnswer(Connection& connection, std::string bytes, bool close) {
    connection.phase = Phase::Answering;
    // The rest of a 100 Continue still on its way goes first.
    connection.out = connection.out.substr(connection.sent) + bytes;
    Hold(connection, connection.out.size());
    connection.sent = 0;
    connection.closing = close;
    connection.deadline = Clock::now() + AtFloorRate(connection.out.size());
    WriteSome(connection);
}

// The connections' own refusal, said in the log, and the connection closed after it.
void Refuse(Connection& connection, int status, const std::string& sentence, int retrySeconds = 0) {
    std::string client = connection.client.empty() ? connection.peer : connection.client;
    std::string answer = RefusalAnswer(status, sentence, retrySeconds);
    LogRequest(client, connection.head.method, connection.head.target, status, answer.size(), 0);
    connection.in.clear();
    StartAnswer(connection, std::move(answer), true);
}

// The request is whole: a handler answers it.
void HandOn(Connection& connection) {
    const RequestHead& head = connection.head;
    Job job{connection.fd, connection.serial, head.forwarded + connection.in.substr(head.length, head.bodyLength),
            connection.client, Front.stopping || ++connection.requests >= MostRequestsPerConnection};
    connection.in.erase(0, head.length + head.bodyLength);
    connection.phase = Phase::Handling;
    connection.whole = Clock::now();
    Watch(connection);
    std::lock_guard<std::mutex> hold(Front.lock);
    Front.jobs.push_back(std::move(job));
    Front.jobsWaiting.notify_one();
}

// What the bytes read so far make of the request.
void Advance(Connection& connection) {
    if (connection.phase == Phase::Head && !connection.in.empty()) {
        std::string sentence;
        int status = ReadRequestHead(connection.in, &connection.head, &sentence, connection.headChecked);
        if (status < 0) {
            connection.headChecked = connection.in.size();
            return;
        }
        connection.client = ClientAddress(connection.peer, connection.head.forwardedFor);
        if (status > 0) return Refuse(connection, status, sentence);
        size_t body = connection.head.bodyLength;
        if (Front.bytesHeld + body > MostBytesHeld) {
            return Refuse(connection, 503, "The server is busy with too many requests at once; send again in a minute.", 60);
        }
        Hold(connection, body);
        connection.phase = Phase::Body;
        connection.deadline = Clock::now() + AtFloorRate(body);
        if (connection.head.expectsContinue && connection.in.size() < connection.head.length + body) {
            connection.out = Continue;
            connection.sent = 0;
            if (!WriteSome(connection)) return;
        }
    }
    if (connection.phase == Phase::Body && connection.in.size() >= connection.head.length + connection.head.bodyLength) {
        HandOn(connection);
    }
}

void AwaitHead(Connection& connection) {
    connection.phase = Phase::Head;
    connection.headChecked = 0;
    connection.head = RequestHead{};
    connection.client.clear();
    connection.deadline = Clock::now() + HeadTime;
    Watch(connection);
    Advance(connection);
}

// Reads what the phase still needs (a head's worth, or the rest of the body).
void ReadSome(Connection& connection) {
    char block[65536];
    size_t want = sizeof block;
    if (connection.phase == Phase::Head) {
        want = LargestHead + 1 - std::min(connection.in.size(), LargestHead);
    } else if (connection.phase == Phase::Body) {
        want = connection.head.length + connection.head.bodyLength - connection.in.size();
    }
    ssize_t got = recv(connection.fd, block, std::min(want, sizeof block), 0);
    if (got == 0 || (got < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR)) {
        return Close(connection.fd);
    }
    if (got < 0 || connection.phase == Phase::Lingering) return;
    connection.in.append(block, static_cast<size_t>(got));
    Advance(connection);
}

// The address of a socket's other end as text; an IPv4 address mapped into IPv6 as IPv4.
std::string PeerAddress(const sockaddr_storage& address) {
    char text[INET6_ADDRSTRLEN] = "";
    if (address.ss_family == AF_INET) {
        inet_ntop(AF_INET, &reinterpret_cast<const sockaddr_in*>(&address)->sin_addr, text, sizeof text);
        return text;
    }
    const in6_addr& bytes = reinterpret_cast<const sockaddr_in6*>(&address)->sin6_addr;
    if (IN6_IS_ADDR_V4MAPPED(&bytes)) {
        inet_ntop(AF_INET, bytes.s6_addr + 12, text, sizeof text);
    } else {
        inet_ntop(AF_INET6, &bytes, text, sizeof text);
    }
    return text;
}

void AcceptAll() {
    for (;;) {
        sockaddr_storage address{};
        socklen_t size = sizeof address;
        int fd = accept4(Front.listener, reinterpret_cast<sockaddr*>(&address), &size, SOCK_NONBLOCK | SOCK_CLOEXEC);
        if (fd < 0) return;
        std::string peer = PeerAddress(address);
        bool proxy = TrustedProxy(peer);
        if (!proxy && Front.perAddress[AddressKey(peer)] >= Front.addressLimit) {
            close(fd);
            ++Metrics.connectionsRefused;
            continue;
        }
        int on = 1;
        setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
        Connection& connection = Front.connections[fd];
        connection.fd = fd;
        connection.serial = ++Front.serials;
        connection.peer = peer;
        connection.counted = !proxy;
        if (!proxy) ++Front.perAddress[AddressKey(peer)];
        epoll_event event{};
        event.events = 0;
        event.data.fd = fd;
        epoll_ctl(Front.epoll, EPOLL_CTL_ADD, fd, &event);
        AwaitHead(connection);
        Metrics.connections = static_cast<int64_t>(Front.connections.size());
        if (Front.connections.size() >= Front.mostConnections) {
            epoll_event none{};
            none.data.fd = Front.listener;
            Front.accepting = epoll_ctl(Front.epoll, EPOLL_CTL_MOD, Front.listener, &none) != 0;
            return;
        }
    }
}

// The handlers' answers, written out.
void TakeAnswers() {
    std::deque<Answer> answers;
    {
        std::lock_guard<std::mutex> hold(Front.lock);
        answers.swap(Front.answers);
    }
    for (Answer& answer : answers) {
        auto found = Front.connections.find(answer.fd);
        if (found == Front.connections.end() || found->second.serial != answer.serial) continue;
        Connection& connection = found->second;
        LogRequest(connection.client, connection.head.method, connection.head.target, AnswerStatus(answer.bytes),
                   answer.bytes.size(), Seconds(Clock::now() - connection.whole));
        StartAnswer(connection, std::move(answer.bytes), answer.close);
    }
}

// Ends what outlived its deadline; the next deadline.
Clock::time_point Expire(Clock::time_point now) {
    std::vector<int> late;
    Clock::time_point next = now + std::chrono::seconds(1);
    for (auto& [fd, connection] : Front.connections) {
        if (connection.phase == Phase::Handling) continue;
        if (connection.deadline <= now) {
            late.push_back(fd);
        } else {
            next = std::min(next, connection.deadline);
        }
    }
    for (int fd : late) {
        Connection& connection = Front.connections.at(fd);
        if (connection.phase == Phase::Head && !connection.in.empty()) {
            Refuse(connection, 408, "The request's head took longer than 5 seconds.");
        } else if (connection.phase == Phase::Body) {
            Refuse(connection, 408, "The request's body came too slowly.");
        } else {
            Close(fd);
        }
    }
    return next;
}

void Handle() {
    for (;;) {
        Job job;
        {
            std::unique_lock<std::mutex> hold(Front.lock);
            Front.jobsWaiting.wait(hold, [] { return !Front.jobs.empty() || Front.handlersStop; });
            if (Front.jobs.empty()) return;
            job = std::move(Front.jobs.front());
            Front.jobs.pop_front();
        }
        bool closed = false;
        std::string answer = AnswerRequest(job.request, job.client, job.close, &closed);
        {
            std::lock_guard<std::mutex> hold(Front.lock);
            Front.answers.push_back({job.fd, job.serial, std::move(answer), job.close || closed});
        }
        uint64_t one = 1;
        while (write(Front.wake, &one, sizeof one) < 0 && errno == EINTR) {
        }
    }
}

// The listener stops; connections waiting for a request end; the others are answered.
void StopListening() {
    close(Front.listener);
    Front.listener = -1;
    std::vector<int> idle;
    for (auto& [fd, connection] : Front.connections) {
        if (connection.phase == Phase::Head && connection.in.empty()) idle.push_back(fd);
    }
    for (int fd : idle) Close(fd);
}

// As many connections as the open-file limit allows, raised as far as it may be.
size_t ConnectionsAllowed(int workers) {
    rlimit files{};
    if (getrlimit(RLIMIT_NOFILE, &files) != 0) return 256;
    files.rlim_cur = files.rlim_max;
    setrlimit(RLIMIT_NOFILE, &files);
    getrlimit(RLIMIT_NOFILE, &files);
    rlim_t reserved = ReservedFiles + FilesPerWorker * static_cast<rlim_t>(workers);
    return files.rlim_cur > reserved + 16 ? std::min<size_t>(MostConnections, files.rlim_cur - reserved) : 16;
}

}  // namespace

int OpenListener(const std::string& host, int port, int* boundPort) {
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_PASSIVE;
    addrinfo* found = nullptr;
    if (getaddrinfo(host.c_str(), std::to_string(port).c_str(), &hints, &found) != 0) {
        errno = EADDRNOTAVAIL;
        return -1;
    }
    int fd = -1;
    for (addrinfo* each = found; each && fd < 0; each = each->ai_next) {
        fd = socket(each->ai_family, each->ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC, each->ai_protocol);
        int on = 1;
        if (fd >= 0 && (setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on) != 0 ||
                        bind(fd, each->ai_addr, each->ai_addrlen) != 0 || listen(fd, SOMAXCONN) != 0)) {
            int error = errno;
            close(fd);
            fd = -1;
            errno = error;
        }
    }
    freeaddrinfo(found);
    sockaddr_storage bound{};
    socklen_t size = sizeof bound;
    if (fd >= 0 && getsockname(fd, reinterpret_cast<sockaddr*>(&bound), &size) == 0) {
        *boundPort = ntohs(bound.ss_family == AF_INET6 ? reinterpret_cast<sockaddr_in6*>(&bound)->sin6_port
                                                       : reinterpret_cast<sockaddr_in*>(&bound)->sin_port);
    }
    return fd;
}

bool ServeConnections(int listener, int handlers, int addressLimit, int workers) {
    Front.listener = listener;
    Front.addressLimit = addressLimit;
    Front.mostConnections = ConnectionsAllowed(workers);
    Front.epoll = epoll_create1(EPOLL_CLOEXEC);
    Front.wake = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    if (Front.epoll < 0 || Front.wake < 0) return false;
    for (int fd : {listener, Front.wake.load()}) {
        epoll_event event{};
        event.events = EPOLLIN;
        event.data.fd = fd;
        epoll_ctl(Front.epoll, EPOLL_CTL_ADD, fd, &event);
    }
    std::vector<std::thread> threads;
    for (int i = 0; i < handlers; ++i) threads.emplace_back(Handle);
    Clock::time_point check = Clock::now();
    while (!Front.stopping || !Front.connections.empty()) {
        if (Front.stopping && Front.listener >= 0) StopListening();
        int wait = static_cast<int>(std::chrono::ceil<std::chrono::milliseconds>(check - Clock::now()).count());
        epoll_event events[MostEvents];
        int ready = epoll_wait(Front.epoll, events, MostEvents, std::max(wait, 0));
        for (int i = 0; i < ready; ++i) {
            int fd = events[i].data.fd;
            if (fd == Front.listener) {
                AcceptAll();
                continue;
            }
            if (fd == Front.wake) {
                uint64_t count = 0;
                while (read(Front.wake, &count, sizeof count) < 0 && errno == EINTR) {
                }
                TakeAnswers();
                continue;
            }
            auto found = Front.connections.find(fd);
            if (found == Front.connections.end()) continue;
            if (events[i].events & (EPOLLERR | EPOLLHUP)) {
                Close(fd);
            } else if ((events[i].events & EPOLLOUT) && !WriteSome(found->second)) {
                continue;
            } else if (events[i].events & EPOLLIN) {
                ReadSome(found->second);
            }
        }
        Clock::time_point now = Clock::now();
        if (now >= check) check = Expire(now);
    }
    {
        std::lock_guard<std::mutex> hold(Front.lock);
        Front.handlersStop = true;
    }
    Front.jobsWaiting.notify_all();
    for (std::thread& thread : threads) thread.join();
    close(Front.wake);
    close(Front.epoll);
    return true;
}

void StopServing() {
    Front.stopping = true;
    uint64_t one = 1;
    while (Front.wake >= 0 && write(Front.wake, &one, sizeof one) < 0 && errno == EINTR) {
    }
}
