#include "LibreStandIn.h"

#include <ws2tcpip.h>

#include <nlohmann/json.hpp>

#include <algorithm>
#include <cctype>
#include <cstdlib>

namespace velmora::e2e {

namespace {

using Json = nlohmann::json;

constexpr std::size_t kMaxRequestBytes = 1 << 20;

std::string Key(const std::string& source, const std::string& target, const std::string& q) {
    return source + "\t" + target + "\t" + q;
}

std::string Lower(std::string s) {
    for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

std::string Trimmed(const std::string& s) {
    const auto a = s.find_first_not_of(" \t");
    if (a == std::string::npos) return {};
    return s.substr(a, s.find_last_not_of(" \t") - a + 1);
}

std::string ErrorBody(const std::string& why) {
    return Json{{"error", why}}.dump();
}

const char* Reason(int status) {
    switch (status) {
        case 200:
            return "OK";
        case 400:
            return "Bad Request";
        case 404:
            return "Not Found";
        case 405:
            return "Method Not Allowed";
        default:
            return "Error";
    }
}

void SendAll(SOCKET s, const std::string& data) {
    std::size_t sent = 0;
    while (sent < data.size()) {
        const int n = send(s, data.data() + sent, static_cast<int>(data.size() - sent), 0);
        if (n <= 0) return;
        sent += static_cast<std::size_t>(n);
    }
}

}  // namespace

LibreStandIn::LibreStandIn(std::vector<std::pair<std::string, std::string>> pairs) {
    for (const auto& [zh, en] : pairs) {
        glossary_[Key("zh", "en", zh)] = en;
        glossary_[Key("en", "zh", en)] = zh;
    }
}

LibreStandIn::~LibreStandIn() {
    stop_ = true;
    if (thread_.joinable()) thread_.join();
    if (listener_ != INVALID_SOCKET) closesocket(listener_);
}

bool LibreStandIn::Start(std::string& why) {
    listener_ = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    if (listener_ == INVALID_SOCKET) {
        why = "socket: " + std::to_string(WSAGetLastError());
        return false;
    }
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    int len = sizeof a;
    if (bind(listener_, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 ||
        listen(listener_, 16) != 0 ||
        getsockname(listener_, reinterpret_cast<sockaddr*>(&a), &len) != 0) {
        why = "bind/listen: " + std::to_string(WSAGetLastError());
        return false;
    }
    port_ = ntohs(a.sin_port);
    thread_ = std::thread([this] { Serve(); });
    return true;
}

std::vector<LibreStandIn::Request> LibreStandIn::Requests() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return requests_;
}

std::pair<int, std::string> LibreStandIn::Answer(Request& r) const {
    if (r.path == "/languages") {
        if (r.method != "GET") return {405, ErrorBody("method not allowed")};
        const Json languages = Json::array({
            {{"code", "en"}, {"name", "English"}, {"targets", Json::array({"en", "zh"})}},
            {{"code", "zh"}, {"name", "Chinese"}, {"targets", Json::array({"en", "zh"})}},
        });
        return {200, languages.dump()};
    }
    if (r.path != "/translate") return {404, ErrorBody("not found")};
    if (r.method != "POST") return {405, ErrorBody("method not allowed")};
    const Json body = Json::parse(r.body, nullptr, /*allow_exceptions=*/false);
    if (body.is_discarded() || !body.is_object()) return {400, ErrorBody("Invalid request")};
    auto text = [&](const char* name, std::string& out) {
        auto it = body.find(name);
        if (it == body.end() || !it->is_string()) return false;
        out = it->get<std::string>();
        return true;
    };
    text("format", r.format);
    r.hasApiKey = text("api_key", r.apiKey);
    if (!text("q", r.q)) return {400, ErrorBody("Invalid request: missing q parameter")};
    if (!text("source", r.source))
        return {400, ErrorBody("Invalid request: missing source parameter")};
    if (!text("target", r.target))
        return {400, ErrorBody("Invalid request: missing target parameter")};
    const auto it = glossary_.find(Key(r.source, r.target, r.q));
    if (it == glossary_.end()) return {400, ErrorBody("not in the glossary: " + r.q)};
    return {200, Json{{"translatedText", it->second}}.dump()};
}

void LibreStandIn::Serve() {
    while (!stop_) {
        fd_set ready;
        FD_ZERO(&ready);
        FD_SET(listener_, &ready);
        timeval step{0, 100 * 1000};
        if (select(0, &ready, nullptr, nullptr, &step) <= 0) continue;
        SOCKET s = accept(listener_, nullptr, nullptr);
        if (s == INVALID_SOCKET) continue;
        HandleConnection(s);
        closesocket(s);
    }
}

void LibreStandIn::HandleConnection(SOCKET s) {
    // A client that stops sending must not hold the server forever.
    DWORD timeoutMs = 5000;
    setsockopt(s, SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&timeoutMs),
               sizeof timeoutMs);
    std::string data;
    char chunk[4096];
    std::size_t headEnd = std::string::npos;
    std::size_t contentLength = 0;
    Request r;
    for (;;) {
        if (headEnd == std::string::npos) {
            headEnd = data.find("\r\n\r\n");
            if (headEnd != std::string::npos) {
                const std::string head = data.substr(0, headEnd);
                std::size_t lineEnd = head.find("\r\n");
                const std::string first = head.substr(0, lineEnd);
                const auto sp1 = first.find(' ');
                const auto sp2 = first.find(' ', sp1 + 1);
                r.method = first.substr(0, sp1);
                r.path = first.substr(sp1 + 1, sp2 - sp1 - 1);
                r.path = r.path.substr(0, r.path.find('?'));
                while (lineEnd != std::string::npos) {
                    const std::size_t next = head.find("\r\n", lineEnd + 2);
                    const std::string line = head.substr(lineEnd + 2, next - lineEnd - 2);
                    lineEnd = next;
                    const auto colon = line.find(':');
                    if (colon == std::string::npos) continue;
                    const std::string name = Lower(Trimmed(line.substr(0, colon)));
                    const std::string value = Trimmed(line.substr(colon + 1));
                    if (name == "content-length")
                        contentLength =
                            static_cast<std::size_t>(std::strtoull(value.c_str(), nullptr, 10));
                    if (name == "content-type") r.contentType = value;
                }
            }
        }
        if (headEnd != std::string::npos && data.size() >= headEnd + 4 + contentLength) break;
        if (data.size() > kMaxRequestBytes) return;
        const int n = recv(s, chunk, sizeof chunk, 0);
        if (n <= 0) return;  // closed or timed out before a whole request came
        data.append(chunk, static_cast<std::size_t>(n));
    }
    r.body = data.substr(headEnd + 4, contentLength);
    auto [status, body] = Answer(r);
    r.status = status;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        requests_.push_back(r);
    }
    SendAll(s, "HTTP/1.1 " + std::to_string(status) + " " + Reason(status) +
                   "\r\nContent-Type: application/json\r\nContent-Length: " +
                   std::to_string(body.size()) + "\r\nConnection: close\r\n\r\n" + body);
    shutdown(s, SD_SEND);
}

}  // namespace velmora::e2e
