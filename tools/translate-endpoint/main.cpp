// The translation endpoint stand-in: answers the translation form POST on /translate_t with an
// HTML page that holds the result marker and the HTML-escaped translation.

#include <signal.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "Backends.h"
#include "RawHttpServer.h"

using namespace velmora::tools;

namespace {

constexpr const char* kUsage = R"(Usage: translate-endpoint [options]

A stand-in for the translation web endpoint, on 127.0.0.1 only. POST /translate_t takes the form
  hl=..&ie=UTF-8&text=<percent-encoded UTF-8>&sl=<code>&tl=<code>
and answers an HTML page holding <div id=result_box dir="ltr"> followed by the HTML-escaped
translation and </div>.

Options:
  --port N          port to listen on (default 18080; 0 picks a free one). The first line on
                    standard output is "translate-endpoint listening on http://127.0.0.1:PORT/translate_t".
  --backend B       auto (default): the text itself when source and target are equal, else
                    apertium when the pair is installed (apertium -u, e.g. en<->es), else the
                    glossary for zh-CN/zh-TW<->en, else the test answer;
                    apertium | glossary: that backend where it handles the pair, else the test answer;
                    test: always "[sl>tl] text", e.g. "[zh-CN>en] 你好".
  --delay-ms N      wait N ms before answering each translation request.
  --fault F         misbehave on translation requests:
                      none       answer normally (default)
                      status404  status 404 with a good page;  status500  status 500 with a good page
                      nomarker   a page without the result marker
                      nolt       the marker and the translation, and no "<" after it
                      badutf8    malformed UTF-8 (bytes FF, C3 28) in front of the translation
                      empty      status 200 with a body of zero bytes
                      slow       a good page, one byte every --drip-ms
                      endless    a chunked body that never ends
                      huge       a 100 MiB body with Content-Length
                      hang       read the request and never answer
  --fault-match S   apply the fault only to texts containing S (UTF-8); others answer normally.
  --drip-ms N       gap between bytes of the slow fault (default 2000).
  --record FILE     also append every recorded request to FILE.
  --help            this text.

GET /_requests lists every request received so far (except /_ paths), in arrival order:
  request <seq> connection <conn> <method> <target> <version>
  header <Name>: <value>        (one line per header, in arrival order, names as sent)
  body <byte count>
  <the body bytes>
  end
)";

struct Options {
    int port = 18080;
    std::string backend = "auto";
    int delayMs = 0;
    std::string fault = "none";
    std::string faultMatch;
    int dripMs = 2000;
    std::string recordFile;
};

int HexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

std::string FormDecode(std::string_view s) {
    std::string out;
    for (std::size_t i = 0; i < s.size(); ++i) {
        if (s[i] == '+') {
            out += ' ';
        } else if (s[i] == '%' && i + 2 < s.size() && HexValue(s[i + 1]) >= 0 &&
                   HexValue(s[i + 2]) >= 0) {
            out += static_cast<char>(HexValue(s[i + 1]) * 16 + HexValue(s[i + 2]));
            i += 2;
        } else {
            out += s[i];
        }
    }
    return out;
}

std::map<std::string, std::string> ParseForm(std::string_view body) {
    std::map<std::string, std::string> fields;
    while (!body.empty()) {
        auto amp = body.find('&');
        std::string_view pair = body.substr(0, amp);
        auto eq = pair.find('=');
        std::string key = FormDecode(pair.substr(0, eq));
        std::string value = eq == std::string_view::npos ? "" : FormDecode(pair.substr(eq + 1));
        fields.emplace(std::move(key), std::move(value));  // the first of a repeated field wins
        if (amp == std::string_view::npos) break;
        body.remove_prefix(amp + 1);
    }
    return fields;
}

std::string HtmlEscape(std::string_view s) {
    std::string out;
    for (char c : s) {
        switch (c) {
            case '&':
                out += "&amp;";
                break;
            case '<':
                out += "&lt;";
                break;
            case '>':
                out += "&gt;";
                break;
            case '"':
                out += "&quot;";
                break;
            case '\'':
                out += "&#39;";
                break;
            default:
                out += c;
        }
    }
    return out;
}

const std::string kMarker = "<div id=result_box dir=\"ltr\">";

std::string PageHead() {
    return "<html><head><meta http-equiv=\"content-type\" content=\"text/html; charset=UTF-8\">"
           "<title>Translate</title></head><body><form action=\"/translate_t\" method=post>"
           "<textarea name=text></textarea></form>";
}

std::string Page(std::string_view escapedTranslation) {
    return PageHead() + kMarker + std::string(escapedTranslation) + "</div></body></html>";
}

class Recorder {
  public:
    explicit Recorder(std::string file) : file_(std::move(file)) {}
    void Add(const RawRequest& r) {
        std::string e = "request " + std::to_string(r.sequence) + " connection " +
                        std::to_string(r.connection) + " " + r.method + " " + r.target + " " +
                        r.version + "\n";
        for (const auto& [k, v] : r.headers) e += "header " + k + ": " + v + "\n";
        e += "body " + std::to_string(r.body.size()) + "\n" + r.body + "\nend\n";
        std::lock_guard lock(mutex_);
        all_ += e;
        if (!file_.empty()) {
            std::ofstream f(file_, std::ios::app | std::ios::binary);
            f << e;
        }
    }
    std::string All() {
        std::lock_guard lock(mutex_);
        return all_;
    }

  private:
    std::mutex mutex_;
    std::string all_;
    std::string file_;
};

class Endpoint {
  public:
    explicit Endpoint(Options o) : opt_(std::move(o)), recorder_(opt_.recordFile) {
        if (opt_.backend == "auto" || opt_.backend == "apertium") apertium_.emplace();
    }

    void Handle(const RawRequest& req, ResponseWriter& w) {
        const std::string path = req.Path();
        if (path.rfind("/_", 0) == 0) {
            if (path == "/_requests" && req.method == "GET")
                w.Respond(200, "text/plain; charset=UTF-8", recorder_.All());
            else
                w.Respond(404, "text/plain", "not found\n");
            return;
        }
        recorder_.Add(req);
        if (path != "/translate_t") {
            w.Respond(404, "text/html", "<html><body>Not Found</body></html>");
            return;
        }
        if (req.method == "GET") {
            w.Respond(200, "text/html; charset=UTF-8", Page(""));
            return;
        }
        if (req.method != "POST") {
            w.Respond(405, "text/plain", "POST the form\n");
            return;
        }
        auto form = ParseForm(req.body);
        const std::string text = form["text"], sl = form["sl"], tl = form["tl"];
        if (opt_.delayMs > 0) std::this_thread::sleep_for(std::chrono::milliseconds(opt_.delayMs));

        std::string fault = opt_.fault;
        if (!opt_.faultMatch.empty() && text.find(opt_.faultMatch) == std::string::npos)
            fault = "none";
        if (fault == "hang") {
            w.WaitForPeerClose(10 * 60 * 1000);
            return;
        }
        if (fault == "empty") {
            w.Respond(200, "text/html; charset=UTF-8", "");
            return;
        }
        if (fault == "nomarker") {
            w.Respond(200, "text/html; charset=UTF-8",
                      PageHead() + "<div id=result>" + HtmlEscape(text) + "</div></body></html>");
            return;
        }
        if (fault == "endless") {
            SendEndless(w);
            return;
        }
        if (fault == "huge") {
            SendHuge(w);
            return;
        }

        auto translation = Translate(text, sl, tl);
        if (!translation) {
            w.Respond(502, "text/html; charset=UTF-8",
                      "<html><body>translation backend failed</body></html>");
            return;
        }
        std::string escaped = HtmlEscape(*translation);
        std::string page = Page(escaped);
        int status = 200;
        if (fault == "status404") status = 404;
        if (fault == "status500") status = 500;
        if (fault == "nolt") page = PageHead() + kMarker + escaped;
        if (fault == "badutf8") page = Page("\xFF\xC3(" + escaped);
        if (fault == "slow") {
            SendSlow(w, page);
            return;
        }
        w.Respond(status, "text/html; charset=UTF-8", page);
    }

  private:
    std::optional<std::string> Translate(const std::string& text, const std::string& sl,
                                         const std::string& tl) {
        const std::string& b = opt_.backend;
        if (b == "test") return TestTranslate(text, sl, tl);
        if (b == "auto" && sl == tl) return text;
        if (b == "auto" || b == "apertium") {
            if (auto mode = apertium_->ModeFor(sl, tl))
                return apertium_->Translate(*mode, text, 20000);
        }
        if ((b == "auto" || b == "glossary") && GlossaryHandles(sl, tl))
            return GlossaryTranslate(text, sl, tl);
        return TestTranslate(text, sl, tl);
    }

    void SendSlow(ResponseWriter& w, const std::string& page) {
        std::string head =
            "HTTP/1.1 200 OK\r\nContent-Type: text/html; charset=UTF-8\r\n"
            "Content-Length: " +
            std::to_string(page.size()) + "\r\n\r\n";
        if (!w.Write(head)) return;
        for (char c : page) {
            std::this_thread::sleep_for(std::chrono::milliseconds(opt_.dripMs));
            if (!w.Write(std::string_view(&c, 1))) return;
        }
    }

    void SendEndless(ResponseWriter& w) {
        w.CloseAfter();
        std::string head =
            "HTTP/1.1 200 OK\r\nContent-Type: text/html; charset=UTF-8\r\n"
            "Transfer-Encoding: chunked\r\n\r\n";
        auto chunk = [](const std::string& data) {
            char size[32];
            std::snprintf(size, sizeof size, "%zX\r\n", data.size());
            return size + data + "\r\n";
        };
        if (!w.Write(head) || !w.Write(chunk(PageHead() + kMarker))) return;
        const std::string filler = chunk(std::string(64 * 1024, 'x'));
        while (w.Write(filler)) {
        }
    }

    void SendHuge(ResponseWriter& w) {
        w.CloseAfter();
        const std::size_t total = std::size_t{100} << 20;
        std::string start = PageHead() + kMarker;
        std::string head =
            "HTTP/1.1 200 OK\r\nContent-Type: text/html; charset=UTF-8\r\n"
            "Content-Length: " +
            std::to_string(total) + "\r\n\r\n";
        if (!w.Write(head) || !w.Write(start)) return;
        const std::string filler(64 * 1024, 'x');
        for (std::size_t sent = start.size(); sent < total;) {
            std::size_t n = std::min(filler.size(), total - sent);
            if (!w.Write(std::string_view(filler).substr(0, n))) return;
            sent += n;
        }
    }

    Options opt_;
    Recorder recorder_;
    std::optional<Apertium> apertium_;
};

bool ParseInt(const char* s, int& out) {
    char* end = nullptr;
    long v = std::strtol(s, &end, 10);
    if (!*s || *end || v < 0 || v > 1000000000) return false;
    out = static_cast<int>(v);
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    Options o;
    static const std::vector<std::string> backends = {"auto", "apertium", "glossary", "test"};
    static const std::vector<std::string> faults = {"none",    "status404", "status500", "nomarker",
                                                    "nolt",    "badutf8",   "empty",     "slow",
                                                    "endless", "huge",      "hang"};
    auto fail = [](const std::string& msg) {
        std::cerr << "translate-endpoint: " << msg << "\n(see --help)\n";
        return 2;
    };
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        if (a == "--help" || a == "-h") {
            std::cout << kUsage;
            return 0;
        }
        if (i + 1 >= argc) return fail("missing value for " + a);
        const char* v = argv[++i];
        if (a == "--port") {
            if (!ParseInt(v, o.port) || o.port > 65535) return fail("bad port");
        } else if (a == "--backend") {
            o.backend = v;
            if (std::find(backends.begin(), backends.end(), o.backend) == backends.end())
                return fail("unknown backend " + o.backend);
        } else if (a == "--delay-ms") {
            if (!ParseInt(v, o.delayMs)) return fail("bad delay");
        } else if (a == "--fault") {
            o.fault = v;
            if (std::find(faults.begin(), faults.end(), o.fault) == faults.end())
                return fail("unknown fault " + o.fault);
        } else if (a == "--fault-match") {
            o.faultMatch = v;
        } else if (a == "--drip-ms") {
            if (!ParseInt(v, o.dripMs)) return fail("bad drip gap");
        } else if (a == "--record") {
            o.recordFile = v;
        } else {
            return fail("unknown option " + a);
        }
    }
    signal(SIGPIPE, SIG_IGN);
    try {
        Endpoint endpoint(o);
        RawHttpServer server(
            [&endpoint](const RawRequest& r, ResponseWriter& w) { endpoint.Handle(r, w); });
        int port = server.Listen(o.port);
        std::cout << "translate-endpoint listening on http://127.0.0.1:" << port << "/translate_t"
                  << std::endl;
        server.Run();
    } catch (const std::exception& e) {
        std::cerr << "translate-endpoint: " << e.what() << "\n";
        return 1;
    }
}
