// A request read as the connections read it: what its head says before its body is waited for,
// and the whole request answered from memory by the routes; and the answers the connections
// give themselves.
#include <httplib.h>
#include <strings.h>

#include <nlohmann/json.hpp>

#include <algorithm>
#include <cctype>
#include <cstring>

#include "server/server.h"

namespace {

bool TokenCharacter(char c) {
    return std::isalnum(static_cast<unsigned char>(c)) || std::strchr("!#$%&'*+-.^_`|~", c);
}

bool SameWord(const std::string& text, const char* word) { return strcasecmp(text.c_str(), word) == 0; }

std::string Trimmed(const std::string& text) {
    size_t first = text.find_first_not_of(" \t");
    if (first == std::string::npos) return {};
    return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

int Refusing(std::string* sentence, int status, const char* why) {
    *sentence = why;
    return status;
}

// One header line into head; 0, or the status it is refused with.
int ReadHeaderLine(const std::string& line, RequestHead* head, int* lengths, std::string* sentence) {
    size_t colon = line.find(':');
    if (colon == 0 || colon == std::string::npos || !std::all_of(line.begin(), line.begin() + colon, TokenCharacter)) {
        return Refusing(sentence, 400, "A header line of the request is malformed.");
    }
    std::string name = line.substr(0, colon), value = Trimmed(line.substr(colon + 1));
    if (SameWord(name, "Content-Length")) {
        if (++*lengths > 1) return Refusing(sentence, 400, "The request gives its length more than once.");
        if (value.empty() || value.find_first_not_of("0123456789") != std::string::npos) {
            return Refusing(sentence, 400, "The request's length is not a whole number.");
        }
        head->bodyLength = value.size() > 12 ? SIZE_MAX : std::stoull(value);
    } else if (SameWord(name, "Transfer-Encoding")) {
        head->chunked = true;
    } else if (SameWord(name, "X-Forwarded-For")) {
        for (size_t start = 0; start <= value.size();) {
            size_t comma = std::min(value.find(',', start), value.size());
            head->forwardedFor.push_back(Trimmed(value.substr(start, comma - start)));
            start = comma + 1;
        }
    } else if (SameWord(name, "Expect")) {
        if (!SameWord(value, "100-continue")) return Refusing(sentence, 417, "The server meets no expectation but 100-continue.");
        head->expectsContinue = true;
        return 0;
    }
    head->forwarded += line + "\r\n";
    return 0;
}

}  // namespace

int ReadRequestHead(const std::string& bytes, RequestHead* head, std::string* sentence, size_t checked) {
    size_t end = bytes.find("\r\n\r\n", checked > 3 ? checked - 3 : 0);
    size_t scanned = std::min(end == std::string::npos ? bytes.size() : end + 4, LargestHead);
    // Lines end in CR LF alone, so that no reader downstream can see other lines than these.
    for (size_t i = checked > 0 ? checked - 1 : 0; i < scanned; ++i) {
        bool lone = (bytes[i] == '\n' && (i == 0 || bytes[i - 1] != '\r')) ||
                    (bytes[i] == '\r' && i + 1 < bytes.size() && bytes[i + 1] != '\n') || bytes[i] == '\0';
        if (lone) return Refusing(sentence, 400, "The request's lines do not end in CR LF.");
    }
    if (end == std::string::npos || end + 4 > LargestHead) {
        return bytes.size() >= LargestHead ? Refusing(sentence, 431, "The request's head is larger than 16 KB.") : -1;
    }
    *head = RequestHead{};
    head->length = end + 4;
    size_t lineEnd = bytes.find("\r\n");
    std::string requestLine = bytes.substr(0, lineEnd);
    size_t space = requestLine.find(' ');
    head->method = requestLine.substr(0, std::min(space, requestLine.size()));
    if (space != std::string::npos) head->target = requestLine.substr(space + 1, requestLine.rfind(' ') - space - 1);
    if (head->method.empty() || !std::all_of(head->method.begin(), head->method.end(), TokenCharacter)) {
        return Refusing(sentence, 400, "The request line is malformed.");
    }
    head->forwarded = requestLine + "\r\n";
    int lengths = 0;
    for (size_t start = lineEnd + 2; start < end + 2;) {
        size_t stop = bytes.find("\r\n", start);
        std::string line = bytes.substr(start, stop - start);
        if (line[0] == ' ' || line[0] == '\t') return Refusing(sentence, 400, "A header line of the request is folded.");
        int status = ReadHeaderLine(line, head, &lengths, sentence);
        if (status != 0) return status;
        start = stop + 2;
    }
    head->forwarded += "\r\n";
    if (head->chunked) {
        return lengths > 0 ? Refusing(sentence, 400, "The request gives both a length and a transfer encoding.")
                           : Refusing(sentence, 411, "Send the request with its Content-Length.");
    }
    if (head->bodyLength > LargestJournalBytes) return Refusing(sentence, 413, TooLargeSentence);
    return 0;
}

namespace {

// A whole request, read by the routes as if from the network; the answer collects.
class HeldStream : public httplib::Stream {
public:
    HeldStream(const std::string& request, const std::string& client) : request_(request), client_(client) {}
    bool is_readable() const override { return at_ < request_.size(); }
    bool is_writable() const override { return true; }
    ssize_t read(char* into, size_t size) override {
        size_t taken = std::min(size, request_.size() - at_);
        std::memcpy(into, request_.data() + at_, taken);
        at_ += taken;
        return static_cast<ssize_t>(taken);
    }
    ssize_t write(const char* bytes, size_t size) override {
        answer.append(bytes, size);
        return static_cast<ssize_t>(size);
    }
    void get_remote_ip_and_port(std::string& ip, int& port) const override {
        ip = client_;
        port = 0;
    }
    void get_local_ip_and_port(std::string& ip, int& port) const override {
        ip.clear();
        port = 0;
    }
    socket_t socket() const override { return 0; }
    std::string answer;

private:
    const std::string& request_;
    const std::string& client_;
    size_t at_ = 0;
};

class Routes : public httplib::Server {
public:
    Routes() {
        set_keep_alive_timeout(HeadSeconds);
        set_keep_alive_max_count(MostRequestsPerConnection);
        AddRoutes(this);
    }
    bool Answer(httplib::Stream& stream, bool close, bool* closed) {
        return process_request(stream, close, *closed, nullptr);
    }
};

struct StatusText {
    int status;
    const char* text;
};
constexpr StatusText StatusTexts[] = {
    {400, "Bad Request"}, {408, "Request Timeout"}, {411, "Length Required"},
    {413, "Payload Too Large"}, {417, "Expectation Failed"}, {431, "Request Header Fields Too Large"},
    {500, "Internal Server Error"}, {503, "Service Unavailable"},
};

}  // namespace

std::string RefusalAnswer(int status, const std::string& sentence, int retrySeconds) {
    const char* text = "Error";
    for (const StatusText& row : StatusTexts) {
        if (row.status == status) text = row.text;
    }
    std::string body = nlohmann::json{{"error", sentence}}.dump();
    std::string answer = "HTTP/1.1 " + std::to_string(status) + " " + text + "\r\n";
    for (const HeaderLine& header : EveryAnswerHeaders) answer += std::string(header.name) + ": " + header.value + "\r\n";
    if (retrySeconds > 0) answer += "Retry-After: " + std::to_string(retrySeconds) + "\r\n";
    return answer + "Content-Type: application/json\r\nContent-Length: " + std::to_string(body.size()) +
           "\r\nConnection: close\r\n\r\n" + body;
}

int AnswerStatus(const std::string& answer) {
    return answer.size() > 12 && answer.compare(0, 5, "HTTP/") == 0 ? std::atoi(answer.c_str() + 9) : 0;
}

std::string AnswerRequest(const std::string& request, const std::string& client, bool close, bool* closed) {
    static Routes* routes = new Routes;
    HeldStream stream(request, client);
    *closed = false;
    routes->Answer(stream, close, closed);
    if (AnswerStatus(stream.answer) == 0) {
        *closed = true;
        return RefusalAnswer(500, "The server could not answer the request.", 0);
    }
    return stream.answer;
}
