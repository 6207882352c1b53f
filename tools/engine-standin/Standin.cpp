#include "Standin.h"

#include <algorithm>
#include <cctype>

namespace velmora::tools::standin {

std::optional<std::string> State::AddRule(const Json& j) {
    if (!j.is_object()) return "a rule is a JSON object";
    std::lock_guard lock(mutex_);
    if (j.value("clear", false)) {
        rules_.clear();
        return std::nullopt;
    }
    Rule r;
    if (j.contains("api")) {
        if (!j["api"].is_string()) return "api must be a string";
        r.api = j["api"].get<std::string>();
        if (r.api != "*" && std::find(std::begin(kApis), std::end(kApis), r.api) == std::end(kApis))
            return "unknown api " + r.api;
    }
    static const char* const kFaults[] = {"400", "429", "456", "500", "503", "empty", "garbage"};
    if (!j.contains("fault") || !j["fault"].is_string()) return "fault must be a string";
    r.fault = j["fault"].get<std::string>();
    if (std::find(std::begin(kFaults), std::end(kFaults), r.fault) == std::end(kFaults))
        return "unknown fault " + r.fault;
    if (j.contains("count")) {
        if (!j["count"].is_number_integer() || j["count"].get<int>() < 1)
            return "count must be a positive integer";
        r.remaining = j["count"].get<int>();
    }
    if (j.contains("match")) {
        if (!j["match"].is_string()) return "match must be a string";
        r.match = j["match"].get<std::string>();
    }
    if (j.contains("retryAfter")) {
        if (!j["retryAfter"].is_number_integer()) return "retryAfter must be an integer";
        r.retryAfter = j["retryAfter"].get<int>();
    }
    rules_.push_back(std::move(r));
    return std::nullopt;
}

std::optional<Rule> State::TakeRule(const std::string& api, const std::string& text) {
    std::lock_guard lock(mutex_);
    for (auto it = rules_.begin(); it != rules_.end(); ++it) {
        if (it->api != "*" && it->api != api) continue;
        if (!it->match.empty() && text.find(it->match) == std::string::npos) continue;
        Rule r = *it;
        if (it->remaining > 0 && --it->remaining == 0) rules_.erase(it);
        return r;
    }
    return std::nullopt;
}

void State::Record(const httplib::Request& req) {
    Json headers = Json::array();
    for (const auto& [name, value] : req.headers) {
        // cpp-httplib adds these itself; they were not sent.
        if (name == "REMOTE_ADDR" || name == "REMOTE_PORT" || name == "LOCAL_ADDR" ||
            name == "LOCAL_PORT")
            continue;
        headers.push_back({name, value});
    }
    const auto q = req.target.find('?');
    Json entry = {{"method", req.method},
                  {"path", req.path},
                  {"query", q == std::string::npos ? "" : req.target.substr(q + 1)},
                  {"headers", headers},
                  {"body", req.body}};
    std::lock_guard lock(mutex_);
    records_.push_back(std::move(entry));
}

Json State::Requests(bool clear) {
    std::lock_guard lock(mutex_);
    Json out = records_;
    if (clear) records_ = Json::array();
    return out;
}

namespace {

std::string Family(const std::string& target) {
    std::string t;
    for (char c : target) t += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (t.rfind("zh", 0) == 0 || t == "zt") return "zh";
    if (t.rfind("en", 0) == 0) return "en";
    if (t.rfind("es", 0) == 0 || t == "spa") return "es";
    return t;
}

struct Word {
    const char* family;
    const char* from;
    const char* to;
};

constexpr Word kGlossary[] = {
    {"en", "你好", "hello"}, {"en", "谢谢", "thanks"},    {"en", "再见", "goodbye"},
    {"zh", "hello", "你好"}, {"zh", "thanks", "谢谢"},    {"zh", "goodbye", "再见"},
    {"es", "hello", "hola"}, {"es", "thanks", "gracias"}, {"es", "goodbye", "adiós"},
};

}  // namespace

std::string Translate(const std::string& utf8Text, const std::string& target) {
    const std::string family = Family(target);
    std::string out = utf8Text;
    for (const auto& w : kGlossary) {
        if (family != w.family) continue;
        const std::string from = w.from;
        for (auto pos = out.find(from); pos != std::string::npos;
             pos = out.find(from, pos + std::string(w.to).size()))
            out.replace(pos, from.size(), w.to);
    }
    return "[" + target + "] " + out;
}

}  // namespace velmora::tools::standin
