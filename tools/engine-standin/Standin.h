#pragma once

#include <httplib.h>
#include <nlohmann/json.hpp>

#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace velmora::tools::standin {

using Json = nlohmann::json;

// The APIs served; a rule names one of them or "*".
inline const char* const kApis[] = {"libretranslate", "deepl", "google", "microsoft", "apy"};

struct Options {
    int port = 18090;
    std::string key = "standin-key";
    std::string region;        // when set, Microsoft requests must name it
    bool libreOpen = false;    // LibreTranslate also translates without an api_key
    bool libreModern = false;  // /languages lists zh-Hans/zh-Hant instead of zh/zt
    bool libreNoList = false;  // /languages answers 404
    bool apyNoList = false;    // /listPairs answers 404
    bool echoKey = false;      // error messages repeat the key the client sent
};

// A misbehaviour asked for through POST /_control.
struct Rule {
    std::string api = "*";
    std::string fault;              // "400", "429", "456", "500", "503", "empty", "garbage"
    int remaining = -1;             // requests left to spoil; -1 for all
    std::string match;              // only texts holding this (UTF-8); empty for all
    std::optional<int> retryAfter;  // Retry-After seconds for 429/456
};

// Rules and the request record, shared by the server's threads.
class State {
  public:
    explicit State(Options o) : options(std::move(o)) {}
    const Options options;

    // Parses {"api", "fault", "count", "match", "retryAfter"} or {"clear": true}; the error text
    // on a bad rule.
    std::optional<std::string> AddRule(const Json& rule);
    // The first rule for this API whose word the text holds, used up by one; none otherwise.
    std::optional<Rule> TakeRule(const std::string& api, const std::string& text);

    void Record(const httplib::Request& req);
    // Every recorded request, oldest first; cleared afterwards when asked.
    Json Requests(bool clear);

  private:
    std::mutex mutex_;
    std::vector<Rule> rules_;
    Json records_ = Json::array();
};

// The stand-in's translation: "[<target as sent>] " and the text with a few glossary words
// replaced for the target's language, so tests can read what happened.
std::string Translate(const std::string& utf8Text, const std::string& target);

}  // namespace velmora::tools::standin
