#pragma once

// winsock2.h before windows.h, which would pull in the old winsock.
#include <winsock2.h>

#include <atomic>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace velmora::e2e {

// A translation service on 127.0.0.1 that speaks the public LibreTranslate API (POST /translate,
// GET /languages) from a thread of its own, translating whole texts through a small two-way
// glossary so that every answer is known in advance. Every request is recorded.
class LibreStandIn {
  public:
    struct Request {
        std::string method;
        std::string path;
        std::string contentType;
        std::string body;
        int status = 0;  // what the stand-in answered
        // From a JSON body; empty when absent.
        std::string q, source, target, format, apiKey;
        bool hasApiKey = false;
    };

    // pairs: (Chinese, English) texts, each translated into the other by "zh" <-> "en".
    explicit LibreStandIn(std::vector<std::pair<std::string, std::string>> pairs);
    ~LibreStandIn();
    LibreStandIn(const LibreStandIn&) = delete;
    LibreStandIn& operator=(const LibreStandIn&) = delete;

    // Listens on a free loopback port; false (with why) when the socket cannot be set up.
    bool Start(std::string& why);
    int port() const { return port_; }
    std::vector<Request> Requests() const;

    // The answer to one request, without the network: status and JSON body.
    std::pair<int, std::string> Answer(Request& r) const;

  private:
    void Serve();
    void HandleConnection(SOCKET s);

    // "source\ttarget\tq" -> translation
    std::map<std::string, std::string> glossary_;
    SOCKET listener_ = INVALID_SOCKET;
    int port_ = 0;
    std::atomic<bool> stop_{false};
    std::thread thread_;
    mutable std::mutex mutex_;
    std::vector<Request> requests_;
};

}  // namespace velmora::e2e
