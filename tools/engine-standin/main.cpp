// A stand-in for the online translation APIs (LibreTranslate, DeepL, Google, Microsoft and an
// Apertium APy server) on 127.0.0.1 only, for tests: it checks keys, answers in each API's
// shapes, misbehaves on request and records every request.

#include <httplib.h>
#include <signal.h>

#include <cstdlib>
#include <iostream>
#include <string>

#include "Apis.h"
#include "Standin.h"

using namespace velmora::tools::standin;

namespace {

constexpr const char* kUsage = R"(Usage: engine-standin [options]

Serves, on 127.0.0.1 only:
  POST /translate                LibreTranslate (JSON {"q","source","target","api_key"})
  GET  /languages                LibreTranslate's language list
  POST /v2/translate             DeepL (Authorization: DeepL-Auth-Key KEY)
  POST /language/translate/v2    Google basic (X-goog-api-key: KEY, or ?key=KEY)
  POST /translate?api-version=3.0&from=..&to=..
                                 Microsoft (Ocp-Apim-Subscription-Key: KEY)
  POST /apy/translate            APy (form langpair=src|dst&q=..)
  GET  /apy/listPairs            APy's installed pairs
  POST /_control                 add a fault rule, JSON {"api": "deepl"|..|"*",
                                 "fault": "400"|"429"|"456"|"500"|"503"|"empty"|"garbage",
                                 "count": N, "match": "word", "retryAfter": S};
                                 {"clear": true} removes every rule
  GET  /_requests                every API request so far as JSON [{"method","path","query",
                                 "headers": [[name, value]...], "body"}]; ?clear=1 empties it
A translation is "[<target code as sent>] " and the text with a few glossary words replaced
(你好/hello/hola, 谢谢/thanks/gracias, 再见/goodbye/adiós).

Options:
  --port N           port (default 18090; 0 picks a free one). The first line on standard
                     output is "listening on PORT".
  --key K            the one valid key (default standin-key)
  --region R         Microsoft requests must send this region
  --libre-open       LibreTranslate also translates without an api_key
  --libre-modern     /languages lists zh-Hans and zh-Hant instead of zh and zt
  --libre-no-list    /languages answers 404
  --apy-no-list      /apy/listPairs answers 404
  --echo-key         error messages repeat the key the client sent
  --help             this text
)";

bool ParsePort(const std::string& v, int& port) {
    char* end = nullptr;
    const long n = std::strtol(v.c_str(), &end, 10);
    if (v.empty() || *end || n < 0 || n > 65535) return false;
    port = static_cast<int>(n);
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    Options o;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        auto value = [&]() -> std::string {
            if (i + 1 >= argc) {
                std::cerr << a << " needs a value\n";
                std::exit(2);
            }
            return argv[++i];
        };
        if (a == "--help") {
            std::cout << kUsage;
            return 0;
        } else if (a == "--port") {
            if (!ParsePort(value(), o.port)) {
                std::cerr << "bad port\n";
                return 2;
            }
        } else if (a == "--key") {
            o.key = value();
        } else if (a == "--region") {
            o.region = value();
        } else if (a == "--libre-open") {
            o.libreOpen = true;
        } else if (a == "--libre-modern") {
            o.libreModern = true;
        } else if (a == "--libre-no-list") {
            o.libreNoList = true;
        } else if (a == "--apy-no-list") {
            o.apyNoList = true;
        } else if (a == "--echo-key") {
            o.echoKey = true;
        } else {
            std::cerr << "unknown option " << a << "\n" << kUsage;
            return 2;
        }
    }
    signal(SIGPIPE, SIG_IGN);

    State state(o);
    httplib::Server server;
    // Headers and body go out in separate writes: without this, a request sent right after
    // another on the same connection waits for the client's delayed ACK (tens of ms).
    server.set_tcp_nodelay(true);
    AddApis(server, state);
    server.Post("/_control", [&state](const httplib::Request& req, httplib::Response& res) {
        const Json rule = Json::parse(req.body, nullptr, false);
        if (auto error = state.AddRule(rule)) {
            res.status = 400;
            res.set_content(Json{{"error", *error}}.dump(), "application/json");
            return;
        }
        res.set_content("{}", "application/json");
    });
    server.Get("/_requests", [&state](const httplib::Request& req, httplib::Response& res) {
        const Json all = state.Requests(req.get_param_value("clear") == "1");
        res.set_content(all.dump(-1, ' ', false, Json::error_handler_t::replace),
                        "application/json");
    });

    int port = o.port;
    if (o.port == 0) {
        port = server.bind_to_any_port("127.0.0.1");
    } else if (!server.bind_to_port("127.0.0.1", o.port)) {
        port = -1;
    }
    if (port <= 0) {
        std::cerr << "cannot listen on 127.0.0.1:" << o.port << "\n";
        return 1;
    }
    std::cout << "listening on " << port << std::endl;
    return server.listen_after_bind() ? 0 : 1;
}
