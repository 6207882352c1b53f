// The vendor web server stand-in: answers the version query, the update file list and the file
// downloads, and serves the two ad pages and the help page, on 127.0.0.1 only.

#include <httplib.h>
#include <openssl/evp.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <mutex>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "Pages.h"

namespace fs = std::filesystem;
using namespace velmora::tools;

namespace {

constexpr const char* kUsage = R"(Usage: vendor-server [options]

A stand-in for the vendor's web server, on 127.0.0.1 only.

  GET /version.php?id=..&counter=..  "<version>V</version>" and CR LF (V from --version)
  GET /last_files.php                one element per file of --files DIR, in name order:
                                       <url>http://127.0.0.1:PORT/files/NAME,NAME,SHA256</url>
                                     each followed by CR LF; or the bytes of --list FILE verbatim
  GET /files/NAME                    the bytes of DIR/NAME (plain names only)
  GET /ad1.php, /ad2.php             advertising pages, larger than the panes showing them
  GET /help.php                      the help page
  GET /nobody.svg                    a document without a body element
  GET /_requests                     every request received so far (except /_ paths), one per
                                     line: "<method> <target>"; with ?clear=1 the log is emptied
                                     after it is read

Options:
  --port N          port to listen on (default 18081; 0 picks a free one). The first line on
                    standard output is "vendor-server listening on http://127.0.0.1:PORT".
  --version V       the version announced (default 20090923).
  --files DIR       the folder whose files are offered for download.
  --list FILE       serve FILE verbatim as the file list (for broken or hostile lists).
  --fault F         misbehave (may be given several times):
                      status500  /version.php answers status 500 (with a good body)
                      nomarker   /version.php answers the bare version, without markers
                      list500    /last_files.php answers status 500
                      nohash     the file list leaves out the SHA-256 field
                      file404    downloads answer status 404
                      file500    downloads answer status 500
                      tamper     downloads serve bytes that differ from the listed SHA-256
                      huge       downloads serve --huge-bytes bytes (default 1 GiB)
                      slow       every answer waits --delay-ms first (default 3000)
  --huge-bytes N    size of the huge fault's body.
  --delay-ms N      delay of the slow fault.
  --mirror URL      downloads answer 302 with Location URL/files/NAME, as a vendor that
                    hands its files out through mirrors does.
  --record FILE     also append every recorded request line to FILE.
  --help            this text.
)";

struct Options {
    int port = 18081;
    std::string version = "20090923";
    std::string filesDir;
    std::string listFile;
    std::set<std::string> faults;
    unsigned long long hugeBytes = 1ull << 30;
    int delayMs = 3000;
    std::string recordFile;
    std::string mirror;
    bool has(const std::string& f) const { return faults.count(f) > 0; }
};

const std::set<std::string> kFaults = {"status500", "nomarker", "list500", "nohash", "file404",
                                       "file500",   "tamper",   "huge",    "slow"};

std::string ReadAll(const fs::path& p, bool* ok = nullptr) {
    std::ifstream in(p, std::ios::binary);
    if (ok) *ok = static_cast<bool>(in);
    // In one read: offered files are whole programs, too large to take a character at a time.
    std::ostringstream out;
    if (in) out << in.rdbuf();
    return std::move(out).str();
}

std::string Sha256Hex(const std::string& bytes) {
    unsigned char md[EVP_MAX_MD_SIZE];
    unsigned int len = 0;
    EVP_Digest(bytes.data(), bytes.size(), md, &len, EVP_sha256(), nullptr);
    static const char* d = "0123456789abcdef";
    std::string s;
    for (unsigned int i = 0; i < len; ++i) {
        s.push_back(d[md[i] >> 4]);
        s.push_back(d[md[i] & 15]);
    }
    return s;
}

std::string PercentEncode(const std::string& s) {
    static const char* d = "0123456789ABCDEF";
    std::string out;
    for (unsigned char c : s) {
        if (std::isalnum(c) || c == '-' || c == '.' || c == '_' || c == '~') {
            out.push_back(static_cast<char>(c));
        } else {
            out.push_back('%');
            out.push_back(d[c >> 4]);
            out.push_back(d[c & 15]);
        }
    }
    return out;
}

bool IsServableName(const std::string& n) {
    return !n.empty() && n != "." && n != ".." && n.find('/') == std::string::npos &&
           n.find('\0') == std::string::npos;
}

class RequestLog {
  public:
    explicit RequestLog(std::string recordFile) : recordFile_(std::move(recordFile)) {}
    void Add(const std::string& line) {
        std::lock_guard<std::mutex> lock(mu_);
        lines_.push_back(line);
        if (!recordFile_.empty()) {
            std::ofstream out(recordFile_, std::ios::app);
            out << line << "\n";
        }
    }
    std::string Dump(bool clear) {
        std::lock_guard<std::mutex> lock(mu_);
        std::string s;
        for (const auto& l : lines_) s += l + "\n";
        if (clear) lines_.clear();
        return s;
    }

  private:
    std::mutex mu_;
    std::vector<std::string> lines_;
    std::string recordFile_;
};

bool ParseOptions(int argc, char** argv, Options& o) {
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        auto value = [&]() -> std::string {
            if (i + 1 >= argc) throw std::invalid_argument(a + " needs a value");
            return argv[++i];
        };
        if (a == "--help" || a == "-h") {
            std::cout << kUsage;
            std::exit(0);
        } else if (a == "--port") {
            o.port = std::stoi(value());
        } else if (a == "--version") {
            o.version = value();
        } else if (a == "--files") {
            o.filesDir = value();
        } else if (a == "--list") {
            o.listFile = value();
        } else if (a == "--fault") {
            std::string f = value();
            if (!kFaults.count(f)) throw std::invalid_argument("unknown fault: " + f);
            o.faults.insert(f);
        } else if (a == "--huge-bytes") {
            o.hugeBytes = std::stoull(value());
        } else if (a == "--delay-ms") {
            o.delayMs = std::stoi(value());
        } else if (a == "--mirror") {
            o.mirror = value();
        } else if (a == "--record") {
            o.recordFile = value();
        } else {
            throw std::invalid_argument("unknown option: " + a);
        }
    }
    if (o.port < 0 || o.port > 65535) throw std::invalid_argument("bad port");
    return true;
}

std::string FileList(const Options& o, int port) {
    if (!o.listFile.empty()) return ReadAll(o.listFile);
    if (o.filesDir.empty()) return "";
    std::vector<std::string> names;
    std::error_code ec;
    for (fs::directory_iterator it(o.filesDir, ec), end; !ec && it != end; it.increment(ec))
        if (it->is_regular_file()) names.push_back(it->path().filename().string());
    std::sort(names.begin(), names.end());
    std::string body;
    for (const auto& n : names) {
        body += "<url>http://127.0.0.1:" + std::to_string(port) + "/files/" + PercentEncode(n) +
                "," + n;
        if (!o.has("nohash")) body += "," + Sha256Hex(ReadAll(fs::path(o.filesDir) / n));
        body += "</url>\r\n";
    }
    return body;
}

}  // namespace

int main(int argc, char** argv) {
    Options o;
    try {
        ParseOptions(argc, argv, o);
    } catch (const std::exception& e) {
        std::cerr << "vendor-server: " << e.what() << "\n(see --help)\n";
        return 2;
    }

    httplib::Server server;
    RequestLog log(o.recordFile);
    int port = 0;

    // Every answer passes here first: the request is recorded and the slow fault applied.
    server.set_pre_routing_handler([&](const httplib::Request& req, httplib::Response&) {
        if (req.path.rfind("/_", 0) != 0) {
            log.Add(req.method + " " + req.target);
            if (o.has("slow")) std::this_thread::sleep_for(std::chrono::milliseconds(o.delayMs));
        }
        return httplib::Server::HandlerResponse::Unhandled;
    });

    server.Get("/_requests", [&](const httplib::Request& req, httplib::Response& res) {
        res.set_content(log.Dump(req.has_param("clear")), "text/plain; charset=utf-8");
    });

    server.Get("/version.php", [&](const httplib::Request&, httplib::Response& res) {
        if (o.has("nomarker")) {
            res.set_content(o.version + "\r\n", "text/html; charset=utf-8");
            return;
        }
        res.set_content("<version>" + o.version + "</version>\r\n", "text/html; charset=utf-8");
        if (o.has("status500")) res.status = 500;
    });

    server.Get("/last_files.php", [&](const httplib::Request&, httplib::Response& res) {
        res.set_content(FileList(o, port), "text/html; charset=utf-8");
        if (o.has("list500")) res.status = 500;
    });

    server.Get(R"(/files/(.+))", [&](const httplib::Request& req, httplib::Response& res) {
        const std::string name = req.matches[1];
        if (!o.mirror.empty()) {
            res.set_redirect(o.mirror + "/files/" + name);
            return;
        }
        if (o.has("file404") || o.filesDir.empty() || !IsServableName(name)) {
            res.status = 404;
            return;
        }
        if (o.has("file500")) {
            res.status = 500;
            res.set_content("server error", "text/plain");
            return;
        }
        if (o.has("huge")) {
            const unsigned long long total = o.hugeBytes;
            res.set_content_provider(total, "application/octet-stream",
                                     [](size_t offset, size_t length, httplib::DataSink& sink) {
                                         (void)offset;
                                         static const std::string chunk(64 * 1024, 'x');
                                         return sink.write(chunk.data(),
                                                           std::min(length, chunk.size()));
                                     });
            return;
        }
        bool ok = false;
        std::string bytes = ReadAll(fs::path(o.filesDir) / name, &ok);
        if (!ok || !fs::is_regular_file(fs::path(o.filesDir) / name)) {
            res.status = 404;
            return;
        }
        if (o.has("tamper")) {
            if (bytes.empty())
                bytes = "x";
            else
                bytes[bytes.size() / 2] ^= 0x20;
        }
        res.set_content(bytes, "application/octet-stream");
    });

    auto html = [](std::string (*page)()) {
        return [page](const httplib::Request&, httplib::Response& res) {
            res.set_content(page(), "text/html; charset=utf-8");
        };
    };
    server.Get("/ad1.php", html(AdPage1));
    server.Get("/ad2.php", html(AdPage2));
    server.Get("/help.php", html(HelpPage));
    server.Get("/nobody.svg", [](const httplib::Request&, httplib::Response& res) {
        res.set_content(NoBodyDocument(), "image/svg+xml");
    });

    if (o.port == 0) {
        port = server.bind_to_any_port("127.0.0.1");
    } else if (server.bind_to_port("127.0.0.1", o.port)) {
        port = o.port;
    }
    if (port <= 0) {
        std::cerr << "vendor-server: cannot listen on 127.0.0.1:" << o.port << "\n";
        return 1;
    }
    std::cout << "vendor-server listening on http://127.0.0.1:" << port << std::endl;
    return server.listen_after_bind() ? 0 : 1;
}
