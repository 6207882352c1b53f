#include "RawHttpServer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <stdexcept>
#include <thread>

namespace velmora::tools {

namespace {

constexpr std::size_t kMaxHeaderBytes = 64 * 1024;
constexpr std::size_t kMaxBodyBytes = 4 * 1024 * 1024;
constexpr int kIdleMs = 60 * 1000;

std::atomic<int> g_sequence{0};

bool IEquals(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) ==
                      std::tolower(static_cast<unsigned char>(y));
           });
}

std::string Trim(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
    return std::string(s);
}

// Reads more bytes into buf; false on close, error or idle time-out.
bool ReadMore(int fd, std::string& buf) {
    pollfd p{fd, POLLIN, 0};
    int r = poll(&p, 1, kIdleMs);
    if (r <= 0) return false;
    char tmp[16384];
    ssize_t n = recv(fd, tmp, sizeof tmp, 0);
    if (n <= 0) return false;
    buf.append(tmp, static_cast<std::size_t>(n));
    return true;
}

}  // namespace

std::string RawRequest::Query() const {
    auto q = target.find('?');
    return q == std::string::npos ? std::string() : target.substr(q + 1);
}

std::string RawRequest::Header(std::string_view name) const {
    for (const auto& [k, v] : headers)
        if (IEquals(k, name)) return v;
    return {};
}

bool ResponseWriter::Write(std::string_view bytes) {
    while (!failed_ && !bytes.empty()) {
        ssize_t n = send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            failed_ = true;
            break;
        }
        bytes.remove_prefix(static_cast<std::size_t>(n));
    }
    return !failed_;
}

void ResponseWriter::Respond(int status, std::string_view contentType, std::string_view body) {
    std::string head = "HTTP/1.1 " + std::to_string(status) + " " + StatusText(status) + "\r\n";
    if (!contentType.empty()) head += "Content-Type: " + std::string(contentType) + "\r\n";
    head += "Content-Length: " + std::to_string(body.size()) + "\r\n";
    head += close_ ? "Connection: close\r\n\r\n" : "\r\n";
    // One write: a separate small body segment would wait for the peer's delayed ACK.
    head.append(body);
    Write(head);
}

void ResponseWriter::WaitForPeerClose(int maxMs) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(maxMs);
    char tmp[4096];
    while (std::chrono::steady_clock::now() < end) {
        pollfd p{fd_, POLLIN, 0};
        if (poll(&p, 1, 200) > 0) {
            ssize_t n = recv(fd_, tmp, sizeof tmp, 0);
            if (n <= 0) break;
        }
    }
    close_ = true;
}

const char* StatusText(int status) {
    switch (status) {
        case 200:
            return "OK";
        case 302:
            return "Found";
        case 400:
            return "Bad Request";
        case 404:
            return "Not Found";
        case 405:
            return "Method Not Allowed";
        case 411:
            return "Length Required";
        case 413:
            return "Payload Too Large";
        case 500:
            return "Internal Server Error";
        case 502:
            return "Bad Gateway";
        default:
            return "Status";
    }
}

int RawHttpServer::Listen(int port) {
    listenFd_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (listenFd_ < 0) throw std::runtime_error("socket: " + std::string(strerror(errno)));
    int one = 1;
    setsockopt(listenFd_, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(static_cast<uint16_t>(port));
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (bind(listenFd_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) < 0)
        throw std::runtime_error("cannot listen on 127.0.0.1:" + std::to_string(port) + ": " +
                                 strerror(errno));
    if (listen(listenFd_, 64) < 0)
        throw std::runtime_error("listen: " + std::string(strerror(errno)));
    socklen_t len = sizeof addr;
    getsockname(listenFd_, reinterpret_cast<sockaddr*>(&addr), &len);
    return ntohs(addr.sin_port);
}

void RawHttpServer::Run() {
    for (;;) {
        int fd = accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd < 0) {
            if (errno == EINTR || errno == ECONNABORTED || errno == EMFILE) continue;
            throw std::runtime_error("accept: " + std::string(strerror(errno)));
        }
        int one = 1;
        setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
        int connection = ++connections_;
        std::thread([this, fd, connection] {
            Serve(fd, connection);
            close(fd);
        }).detach();
    }
}

void RawHttpServer::Serve(int fd, int connection) {
    std::string buf;
    for (;;) {
        std::size_t headEnd;
        while ((headEnd = buf.find("\r\n\r\n")) == std::string::npos) {
            if (buf.size() > kMaxHeaderBytes) return;
            if (!ReadMore(fd, buf)) return;
        }
        RawRequest req;
        req.connection = connection;
        std::string_view head(buf.data(), headEnd);
        std::size_t lineEnd = head.find("\r\n");
        std::string_view requestLine = head.substr(0, lineEnd);
        auto sp1 = requestLine.find(' ');
        auto sp2 = requestLine.rfind(' ');
        ResponseWriter writer(fd);
        if (sp1 == std::string_view::npos || sp2 == sp1) {
            writer.CloseAfter();
            writer.Respond(400, "text/plain", "bad request line\n");
            return;
        }
        req.method = requestLine.substr(0, sp1);
        req.target = requestLine.substr(sp1 + 1, sp2 - sp1 - 1);
        req.version = requestLine.substr(sp2 + 1);
        std::size_t pos = lineEnd == std::string_view::npos ? head.size() : lineEnd + 2;
        while (pos < head.size()) {
            std::size_t e = head.find("\r\n", pos);
            if (e == std::string_view::npos) e = head.size();
            std::string_view line = head.substr(pos, e - pos);
            auto colon = line.find(':');
            if (colon != std::string_view::npos)
                req.headers.emplace_back(std::string(line.substr(0, colon)),
                                         Trim(line.substr(colon + 1)));
            pos = e + 2;
        }
        buf.erase(0, headEnd + 4);

        if (!req.Header("Transfer-Encoding").empty()) {
            writer.CloseAfter();
            writer.Respond(411, "text/plain", "send a Content-Length\n");
            return;
        }
        std::size_t length = 0;
        std::string cl = req.Header("Content-Length");
        if (!cl.empty()) {
            if (cl.find_first_not_of("0123456789") != std::string::npos || cl.size() > 9) {
                writer.CloseAfter();
                writer.Respond(400, "text/plain", "bad Content-Length\n");
                return;
            }
            length = std::stoul(cl);
        }
        if (length > kMaxBodyBytes) {
            writer.CloseAfter();
            writer.Respond(413, "text/plain", "request body too large\n");
            return;
        }
        while (buf.size() < length)
            if (!ReadMore(fd, buf)) return;
        req.body = buf.substr(0, length);
        buf.erase(0, length);
        req.sequence = ++g_sequence;

        if (IEquals(req.Header("Connection"), "close") || req.version == "HTTP/1.0")
            writer.CloseAfter();
        handler_(req, writer);
        if (writer.closing()) return;
    }
}

}  // namespace velmora::tools
