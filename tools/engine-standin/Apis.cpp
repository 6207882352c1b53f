#include "Apis.h"

#include <algorithm>
#include <set>

namespace velmora::tools::standin {

namespace {

const std::set<std::string> kDeeplSources = {
    "AR", "BG", "CS", "DA", "DE", "EL", "EN", "ES", "ET", "FI", "FR", "HU", "ID", "IT", "JA",
    "KO", "LT", "LV", "NB", "NL", "PL", "PT", "RO", "RU", "SK", "SL", "SV", "TR", "UK", "ZH"};
const std::set<std::string> kDeeplTargets = {
    "AR",    "BG",    "CS", "DA", "DE", "EL", "EN", "EN-GB", "EN-US", "ES", "ET",      "FI",
    "FR",    "HU",    "ID", "IT", "JA", "KO", "LT", "LV",    "NB",    "NL", "PL",      "PT",
    "PT-BR", "PT-PT", "RO", "RU", "SK", "SL", "SV", "TR",    "UK",    "ZH", "ZH-HANS", "ZH-HANT"};
const std::set<std::string> kLibreCodes = {"en", "es", "fr", "de", "ja", "ru", "nb", "pt", "it"};
const std::set<std::pair<std::string, std::string>> kApyPairs = {
    {"eng", "spa"}, {"spa", "eng"}, {"eng", "cat"}, {"cat", "eng"}, {"spa", "cat"},
    {"cat", "spa"}, {"fra", "spa"}, {"spa", "fra"}, {"por", "spa"}, {"spa", "por"},
    {"spa", "glg"}, {"glg", "spa"}, {"rus", "ukr"}, {"ukr", "rus"}};

Json ParseBody(const std::string& body) {
    return Json::parse(body, nullptr, /*allow_exceptions=*/false);
}

void SendJson(httplib::Response& res, int status, const Json& body) {
    res.status = status;
    res.set_content(body.dump(-1, ' ', false, Json::error_handler_t::replace), "application/json");
}

// An error message, with the key the client sent appended when --echo-key asks for it.
std::string Message(const State& s, std::string text, const std::string& sentKey) {
    if (s.options.echoKey && !sentKey.empty()) text += " (key " + sentKey + ")";
    return text;
}

// The API's own error body for a status.
Json ErrorBody(const std::string& api, int status, const std::string& message,
               const std::string& reason = "") {
    if (api == "libretranslate") return {{"error", message}};
    if (api == "deepl") return {{"message", message}};
    if (api == "google") {
        Json e = {{"code", status},
                  {"message", message},
                  {"errors", Json::array({{{"message", message},
                                           {"domain", "global"},
                                           {"reason", reason.empty() ? "backendError" : reason}}})},
                  {"status", status == 400   ? "INVALID_ARGUMENT"
                             : status == 403 ? "PERMISSION_DENIED"
                             : status == 429 ? "RESOURCE_EXHAUSTED"
                                             : "INTERNAL"}};
        return {{"error", e}};
    }
    if (api == "microsoft") return {{"error", {{"code", status * 1000}, {"message", message}}}};
    return {{"status", "error"},
            {"code", status},
            {"message", status == 400 ? "Bad Request" : "Error"},
            {"explanation", message}};
}

// A 200 answer that holds no translation, in the API's shape.
Json EmptyAnswer(const std::string& api) {
    if (api == "libretranslate") return Json::object();
    if (api == "deepl") return {{"translations", Json::array()}};
    if (api == "google") return {{"data", {{"translations", Json::array()}}}};
    if (api == "microsoft") return Json::array({{{"detectedLanguage", nullptr}}});
    return {
        {"responseData", Json::object()}, {"responseDetails", nullptr}, {"responseStatus", 200}};
}

// Answers as the matching rule asks; false when no rule applies.
bool ApplyRule(State& s, const std::string& api, const std::string& text,
               const std::string& sentKey, httplib::Response& res) {
    auto rule = s.TakeRule(api, text);
    if (!rule) return false;
    const std::string& f = rule->fault;
    if (f == "empty") {
        SendJson(res, 200, EmptyAnswer(api));
    } else if (f == "garbage") {
        res.status = 200;
        res.set_content("<html>not json", "text/html");
    } else {
        const int status = std::stoi(f);
        if (rule->retryAfter) res.set_header("Retry-After", std::to_string(*rule->retryAfter));
        const char* what = status == 400   ? "Bad request"
                           : status == 429 ? "Too many requests"
                           : status == 456 ? "Quota exceeded"
                                           : "Internal server error";
        const char* reason = status == 429 ? "rateLimitExceeded" : "";
        SendJson(res, status, ErrorBody(api, status, Message(s, what, sentKey), reason));
    }
    return true;
}

std::string StringField(const Json& j, const char* name) {
    if (!j.is_object() || !j.contains(name) || !j[name].is_string()) return {};
    return j[name].get<std::string>();
}

void Libre(State& s, const httplib::Request& req, httplib::Response& res) {
    const Json body = ParseBody(req.body);
    const std::string key = StringField(body, "api_key");
    const bool keyOk = key.empty() ? s.options.libreOpen : key == s.options.key;
    if (!keyOk) {
        SendJson(res, 403, ErrorBody("libretranslate", 403, Message(s, "Invalid API key", key)));
        return;
    }
    const std::string q = StringField(body, "q"), source = StringField(body, "source"),
                      target = StringField(body, "target");
    if (body.is_discarded() || q.empty()) {
        SendJson(res, 400,
                 ErrorBody("libretranslate", 400, "Invalid request: missing q parameter"));
        return;
    }
    auto known = [&](const std::string& c) {
        if (kLibreCodes.count(c)) return true;
        return s.options.libreModern ? (c == "zh-Hans" || c == "zh-Hant")
                                     : (c == "zh" || c == "zt");
    };
    if (!known(source) || !known(target) || source == target) {
        SendJson(res, 400,
                 ErrorBody("libretranslate", 400, source + " -> " + target + " is not supported"));
        return;
    }
    if (ApplyRule(s, "libretranslate", q, key, res)) return;
    SendJson(res, 200, {{"translatedText", Translate(q, target)}});
}

void LibreLanguages(State& s, const httplib::Request&, httplib::Response& res) {
    if (s.options.libreNoList) {
        res.status = 404;
        res.set_content("Not Found", "text/plain");
        return;
    }
    std::vector<std::string> codes(kLibreCodes.begin(), kLibreCodes.end());
    if (s.options.libreModern) {
        codes.push_back("zh-Hans");
        codes.push_back("zh-Hant");
    } else {
        codes.push_back("zh");
        codes.push_back("zt");
    }
    Json out = Json::array();
    for (const auto& c : codes) {
        Json targets = Json::array();
        for (const auto& t : codes) {
            if (t != c) targets.push_back(t);
        }
        out.push_back({{"code", c}, {"name", c}, {"targets", targets}});
    }
    SendJson(res, 200, out);
}

void Deepl(State& s, const httplib::Request& req, httplib::Response& res) {
    const std::string auth = req.get_header_value("Authorization");
    const std::string prefix = "DeepL-Auth-Key ";
    const std::string key = auth.rfind(prefix, 0) == 0 ? auth.substr(prefix.size()) : auth;
    if (key != s.options.key) {
        SendJson(res, 403, ErrorBody("deepl", 403, Message(s, "Authorization failure", key)));
        return;
    }
    const Json body = ParseBody(req.body);
    const Json* text = body.is_object() && body.contains("text") ? &body["text"] : nullptr;
    if (!text || !text->is_array() || text->empty() || !(*text)[0].is_string()) {
        SendJson(res, 400, ErrorBody("deepl", 400, "Parameter 'text' not specified."));
        return;
    }
    const std::string source = StringField(body, "source_lang");
    const std::string target = StringField(body, "target_lang");
    if (!kDeeplTargets.count(target)) {
        SendJson(res, 400, ErrorBody("deepl", 400, "Value for 'target_lang' not supported."));
        return;
    }
    if (!source.empty() && !kDeeplSources.count(source)) {
        SendJson(res, 400, ErrorBody("deepl", 400, "Value for 'source_lang' not supported."));
        return;
    }
    const std::string q = (*text)[0].get<std::string>();
    if (ApplyRule(s, "deepl", q, key, res)) return;
    SendJson(res, 200,
             {{"translations",
               Json::array({{{"detected_source_language", source.empty() ? "EN" : source},
                             {"text", Translate(q, target)}}})}});
}

void Google(State& s, const httplib::Request& req, httplib::Response& res) {
    // The API takes the key in a header or in the query.
    const std::string key = req.has_header("X-goog-api-key")
                                ? req.get_header_value("X-goog-api-key")
                                : req.get_param_value("key");
    if (key.empty()) {
        SendJson(res, 403,
                 ErrorBody("google", 403,
                           "Method doesn't allow unregistered callers. Please use an API key.",
                           "forbidden"));
        return;
    }
    if (key != s.options.key) {
        SendJson(res, 400,
                 ErrorBody("google", 400,
                           Message(s, "API key not valid. Please pass a valid API key.", key),
                           "keyInvalid"));
        return;
    }
    const Json body = ParseBody(req.body);
    const std::string q = StringField(body, "q"), target = StringField(body, "target");
    if (q.empty()) {
        SendJson(res, 400, ErrorBody("google", 400, "Required Text", "required"));
        return;
    }
    if (target.empty() || target.size() > 8) {
        SendJson(res, 400, ErrorBody("google", 400, "Invalid Value", "invalid"));
        return;
    }
    if (ApplyRule(s, "google", q, key, res)) return;
    SendJson(
        res, 200,
        {{"data", {{"translations", Json::array({{{"translatedText", Translate(q, target)}}})}}}});
}

void Microsoft(State& s, const httplib::Request& req, httplib::Response& res) {
    const std::string key = req.get_header_value("Ocp-Apim-Subscription-Key");
    const bool regionOk = s.options.region.empty() ||
                          req.get_header_value("Ocp-Apim-Subscription-Region") == s.options.region;
    if (key != s.options.key || !regionOk) {
        SendJson(res, 401,
                 ErrorBody("microsoft", 401,
                           Message(s,
                                   "The request is not authorized because credentials are "
                                   "missing or invalid.",
                                   key)));
        return;
    }
    if (req.get_param_value("api-version") != "3.0") {
        SendJson(res, 400,
                 {{"error",
                   {{"code", 400021},
                    {"message", "The API version parameter is missing or invalid."}}}});
        return;
    }
    const std::string target = req.get_param_value("to");
    if (target.empty()) {
        SendJson(res, 400,
                 {{"error", {{"code", 400036}, {"message", "The target language is not valid."}}}});
        return;
    }
    const Json body = ParseBody(req.body);
    if (!body.is_array() || body.empty() || StringField(body[0], "Text").empty()) {
        SendJson(res, 400,
                 {{"error",
                   {{"code", 400074}, {"message", "The body of the request is not valid JSON."}}}});
        return;
    }
    const std::string q = StringField(body[0], "Text");
    if (ApplyRule(s, "microsoft", q, key, res)) return;
    SendJson(res, 200,
             Json::array({{{"translations",
                            Json::array({{{"text", Translate(q, target)}, {"to", target}}})}}}));
}

void Apy(State& s, const httplib::Request& req, httplib::Response& res) {
    // cpp-httplib has decoded the form fields into the parameters.
    const std::string pair = req.get_param_value("langpair");
    const std::string q = req.get_param_value("q");
    const auto bar = pair.find('|');
    const std::string from = pair.substr(0, bar);
    const std::string to = bar == std::string::npos ? "" : pair.substr(bar + 1);
    if (!req.has_param("q")) {
        SendJson(res, 400, ErrorBody("apy", 400, "Missing q parameter"));
        return;
    }
    if (!kApyPairs.count({from, to})) {
        SendJson(res, 400, ErrorBody("apy", 400, "That pair is not installed"));
        return;
    }
    if (ApplyRule(s, "apy", q, "", res)) return;
    SendJson(res, 200,
             {{"responseData", {{"translatedText", Translate(q, to)}}},
              {"responseDetails", nullptr},
              {"responseStatus", 200}});
}

void ApyPairs(State& s, const httplib::Request&, httplib::Response& res) {
    if (s.options.apyNoList) {
        res.status = 404;
        res.set_content("Not Found", "text/plain");
        return;
    }
    Json data = Json::array();
    for (const auto& [from, to] : kApyPairs)
        data.push_back({{"sourceLanguage", from}, {"targetLanguage", to}});
    SendJson(res, 200,
             {{"responseData", data}, {"responseDetails", nullptr}, {"responseStatus", 200}});
}

}  // namespace

void AddApis(httplib::Server& server, State& state) {
    using Handler = void (*)(State&, const httplib::Request&, httplib::Response&);
    // Every API request is recorded before it is answered.
    auto route = [&state](Handler h) {
        return [&state, h](const httplib::Request& req, httplib::Response& res) {
            state.Record(req);
            h(state, req, res);
        };
    };
    server.Post("/translate",
                route([](State& s, const httplib::Request& req, httplib::Response& res) {
                    if (req.has_param("api-version"))
                        Microsoft(s, req, res);
                    else
                        Libre(s, req, res);
                }));
    server.Get("/languages", route(LibreLanguages));
    server.Post("/v2/translate", route(Deepl));
    server.Post("/language/translate/v2", route(Google));
    server.Post("/apy/translate", route(Apy));
    server.Get("/apy/listPairs", route(ApyPairs));
}

}  // namespace velmora::tools::standin
