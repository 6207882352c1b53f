#include "Backends.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <map>
#include <sstream>
#include <string_view>

namespace velmora::tools {

std::string TestTranslate(const std::string& text, const std::string& sl, const std::string& tl) {
    return "[" + sl + ">" + tl + "] " + text;
}

namespace {

bool IsChinese(const std::string& code) {
    return code == "zh-CN" || code == "zh-TW";
}

// Longest entries first is not needed: matching tries every length from the longest key down.
const std::vector<std::pair<std::string, std::string>>& ZhEn() {
    static const std::vector<std::pair<std::string, std::string>> t = {
        {"你好吗", "how are you"},
        {"你好", "hello"},
        {"您好", "hello"},
        {"谢谢你", "thank you"},
        {"谢谢", "thank you"},
        {"不客气", "you're welcome"},
        {"再见", "goodbye"},
        {"是的", "yes"},
        {"不是", "no"},
        {"好的", "OK"},
        {"请", "please"},
        {"对不起", "sorry"},
        {"没关系", "never mind"},
        {"早上好", "good morning"},
        {"晚上好", "good evening"},
        {"晚安", "good night"},
        {"很高兴认识你", "nice to meet you"},
        {"我很好", "I am fine"},
        {"在吗", "are you there"},
        {"等一下", "wait a moment"},
        {"多少钱", "how much"},
        {"我们", "we"},
        {"你们", "you"},
        {"他们", "they"},
        {"我", "I"},
        {"你", "you"},
        {"他", "he"},
        {"她", "she"},
        {"朋友", "friend"},
        {"名字", "name"},
        {"什么", "what"},
        {"哪里", "where"},
        {"今天", "today"},
        {"明天", "tomorrow"},
        {"昨天", "yesterday"},
        {"现在", "now"},
        {"时间", "time"},
        {"价格", "price"},
        {"可以", "can"},
        {"喜欢", "like"},
        {"爱", "love"},
        {"中国", "China"},
        {"中文", "Chinese"},
        {"英语", "English"},
        {"工作", "work"},
        {"公司", "company"},
        {"产品", "product"},
        {"订单", "order"},
        {"发货", "ship"},
        {"付款", "payment"},
        {"帮助", "help"},
        {"问题", "question"},
        {"知道", "know"},
        {"明白", "understand"},
        {"欢迎", "welcome"},
        {"很", "very"},
        {"好", "good"},
        {"是", "is"},
        {"不", "not"},
        {"要", "want"},
        {"吗", ""},
        {"呢", ""},
        {"的", ""},
    };
    return t;
}

const std::map<std::string, std::string>& EnZh() {
    static const std::map<std::string, std::string> t = {
        {"hello", "你好"},
        {"hi", "你好"},
        {"thank you", "谢谢"},
        {"thanks", "谢谢"},
        {"you're welcome", "不客气"},
        {"goodbye", "再见"},
        {"bye", "再见"},
        {"yes", "是的"},
        {"no", "不"},
        {"ok", "好的"},
        {"please", "请"},
        {"sorry", "对不起"},
        {"never mind", "没关系"},
        {"good morning", "早上好"},
        {"good evening", "晚上好"},
        {"good night", "晚安"},
        {"how are you", "你好吗"},
        {"i am fine", "我很好"},
        {"nice to meet you", "很高兴认识你"},
        {"are you there", "在吗"},
        {"wait a moment", "等一下"},
        {"how much", "多少钱"},
        {"i", "我"},
        {"you", "你"},
        {"we", "我们"},
        {"they", "他们"},
        {"he", "他"},
        {"she", "她"},
        {"my", "我的"},
        {"your", "你的"},
        {"friend", "朋友"},
        {"name", "名字"},
        {"is", "是"},
        {"am", "是"},
        {"are", "是"},
        {"what", "什么"},
        {"where", "哪里"},
        {"today", "今天"},
        {"tomorrow", "明天"},
        {"yesterday", "昨天"},
        {"now", "现在"},
        {"time", "时间"},
        {"price", "价格"},
        {"can", "可以"},
        {"want", "要"},
        {"like", "喜欢"},
        {"love", "爱"},
        {"china", "中国"},
        {"chinese", "中文"},
        {"english", "英语"},
        {"work", "工作"},
        {"company", "公司"},
        {"product", "产品"},
        {"order", "订单"},
        {"ship", "发货"},
        {"payment", "付款"},
        {"help", "帮助"},
        {"question", "问题"},
        {"know", "知道"},
        {"understand", "明白"},
        {"welcome", "欢迎"},
        {"very", "很"},
        {"good", "好"},
        {"not", "不"},
        {"the", ""},
        {"a", ""},
        {"an", ""},
    };
    return t;
}

std::size_t Utf8Length(unsigned char lead) {
    return lead < 0x80 ? 1 : lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 1;
}

const std::map<std::string, std::string>& FullToAscii() {
    static const std::map<std::string, std::string> t = {
        {"，", ","}, {"。", "."}, {"？", "?"}, {"！", "!"}, {"；", ";"}, {"：", ":"}, {"、", ","},
    };
    return t;
}

void AppendWord(std::string& out, const std::string& word) {
    if (word.empty()) return;
    if (!out.empty() && (std::isalnum(static_cast<unsigned char>(out.back())) ||
                         std::string_view(",.?!;:").find(out.back()) != std::string_view::npos))
        out += ' ';
    out += word;
}

std::string ZhToEn(const std::string& text) {
    std::string out, unknown;
    auto flush = [&] {
        if (!unknown.empty()) AppendWord(out, "*" + unknown);
        unknown.clear();
    };
    std::size_t i = 0;
    while (i < text.size()) {
        std::size_t best = 0;
        const std::string* value = nullptr;
        for (const auto& [k, v] : ZhEn()) {
            if (k.size() > best && text.compare(i, k.size(), k) == 0) {
                best = k.size();
                value = &v;
            }
        }
        if (value) {
            flush();
            AppendWord(out, *value);
            i += best;
            continue;
        }
        std::size_t len =
            std::min(Utf8Length(static_cast<unsigned char>(text[i])), text.size() - i);
        std::string ch = text.substr(i, len);
        auto punct = FullToAscii().find(ch);
        if (punct != FullToAscii().end()) {
            flush();
            out += punct->second;
        } else if (len == 1) {
            flush();
            // ASCII passes as it is; a blank after a word keeps words apart.
            if (!(ch == " " && !out.empty() && out.back() == ' ')) out += ch;
        } else {
            unknown += ch;
        }
        i += len;
    }
    flush();
    return out;
}

std::string Lower(std::string s) {
    for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

std::string EnToZh(const std::string& text) {
    // Tokens: words (letters, digits, apostrophes) and single other bytes.
    std::vector<std::string> tokens;
    for (std::size_t i = 0; i < text.size();) {
        unsigned char c = static_cast<unsigned char>(text[i]);
        if (std::isalnum(c) || c == '\'') {
            std::size_t j = i;
            while (j < text.size() &&
                   (std::isalnum(static_cast<unsigned char>(text[j])) || text[j] == '\''))
                ++j;
            tokens.push_back(text.substr(i, j - i));
            i = j;
        } else {
            std::size_t len = std::min(Utf8Length(c), text.size() - i);
            tokens.push_back(text.substr(i, len));
            i += len;
        }
    }
    auto isWord = [](const std::string& t) {
        return std::isalnum(static_cast<unsigned char>(t[0])) || t[0] == '\'';
    };
    static const std::map<std::string, std::string> punct = {
        {",", "，"}, {".", "。"}, {"?", "？"}, {"!", "！"}, {";", "；"}, {":", "："},
    };
    std::string out;
    bool lastUnknown = false;
    for (std::size_t i = 0; i < tokens.size();) {
        if (isWord(tokens[i])) {
            // Longest phrase of up to four words separated by single blanks.
            std::size_t bestEnd = 0;
            const std::string* value = nullptr;
            std::string phrase;
            for (std::size_t j = i, words = 0; j < tokens.size() && words < 4; j += 2, ++words) {
                if (!isWord(tokens[j])) break;
                phrase += (words ? " " : "") + Lower(tokens[j]);
                auto it = EnZh().find(phrase);
                if (it != EnZh().end()) {
                    bestEnd = j + 1;
                    value = &it->second;
                }
                if (j + 1 >= tokens.size() || tokens[j + 1] != " ") break;
            }
            if (value) {
                out += *value;
                lastUnknown = false;
                i = bestEnd;
            } else {
                if (lastUnknown) out += ' ';
                out += "*" + tokens[i];
                lastUnknown = true;
                ++i;
            }
            continue;
        }
        auto p = punct.find(tokens[i]);
        if (p != punct.end()) {
            out += p->second;
            lastUnknown = false;
        } else if (tokens[i] != " ") {
            out += tokens[i];
            lastUnknown = false;
        }
        ++i;
    }
    return out;
}

}  // namespace

bool GlossaryHandles(const std::string& sl, const std::string& tl) {
    return (IsChinese(sl) && tl == "en") || (sl == "en" && IsChinese(tl));
}

std::string GlossaryTranslate(const std::string& text, const std::string& sl,
                              const std::string& tl) {
    if (IsChinese(sl) && tl == "en") return ZhToEn(text);
    if (sl == "en" && IsChinese(tl)) return EnToZh(text);
    return text;
}

std::optional<std::string> RunFilter(const std::vector<std::string>& argv, const std::string& input,
                                     int timeoutMs) {
    int in[2], out[2];
    if (pipe2(in, O_CLOEXEC) < 0) return std::nullopt;
    if (pipe2(out, O_CLOEXEC) < 0) {
        close(in[0]);
        close(in[1]);
        return std::nullopt;
    }
    // Built before fork: the child of a threaded process must not allocate.
    std::vector<char*> args;
    for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    pid_t pid = fork();
    if (pid < 0) {
        for (int fd : {in[0], in[1], out[0], out[1]}) close(fd);
        return std::nullopt;
    }
    if (pid == 0) {
        dup2(in[0], 0);
        dup2(out[1], 1);
        int devnull = open("/dev/null", O_WRONLY);
        if (devnull >= 0) dup2(devnull, 2);
        execvp(args[0], args.data());
        _exit(127);
    }
    close(in[0]);
    close(out[1]);
    fcntl(in[1], F_SETFL, O_NONBLOCK);
    std::string result;
    std::size_t written = 0;
    int wfd = in[1];
    if (input.empty()) {
        close(wfd);
        wfd = -1;
    }
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    bool ok = true;
    for (;;) {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                        end - std::chrono::steady_clock::now())
                        .count();
        if (left <= 0) {
            ok = false;
            break;
        }
        pollfd fds[2] = {{out[0], POLLIN, 0}, {wfd, POLLOUT, 0}};
        int n = poll(fds, wfd >= 0 ? 2 : 1, static_cast<int>(left));
        if (n < 0) continue;
        if (wfd >= 0 && (fds[1].revents & (POLLOUT | POLLERR | POLLHUP))) {
            ssize_t w = write(wfd, input.data() + written, input.size() - written);
            if (w > 0) written += static_cast<std::size_t>(w);
            if (w < 0 || written == input.size()) {
                close(wfd);
                wfd = -1;
            }
        }
        if (fds[0].revents & (POLLIN | POLLHUP | POLLERR)) {
            char buf[8192];
            ssize_t r = read(out[0], buf, sizeof buf);
            if (r <= 0) break;
            result.append(buf, static_cast<std::size_t>(r));
        }
    }
    if (wfd >= 0) close(wfd);
    close(out[0]);
    if (!ok) kill(pid, SIGKILL);
    int status = 0;
    waitpid(pid, &status, 0);
    if (!ok || !WIFEXITED(status) || WEXITSTATUS(status) != 0) return std::nullopt;
    return result;
}

Apertium::Apertium() {
    auto list = RunFilter({"apertium", "-l"}, "", 5000);
    if (!list) return;
    std::istringstream lines(*list);
    for (std::string line; std::getline(lines, line);) {
        auto b = line.find_first_not_of(" \t");
        if (b == std::string::npos) continue;
        auto e = line.find_last_not_of(" \t\r");
        modes_.push_back(line.substr(b, e - b + 1));
    }
}

std::optional<std::string> Apertium::ModeFor(const std::string& sl, const std::string& tl) const {
    // The table's two-letter codes against the three-letter codes of the installed modes.
    static const std::map<std::string, std::string> codes = {
        {"en", "eng"}, {"es", "spa"}, {"ca", "cat"}, {"fr", "fra"}, {"pt", "por"}, {"it", "ita"},
        {"gl", "glg"}, {"ro", "ron"}, {"de", "deu"}, {"nl", "nld"}, {"da", "dan"}, {"no", "nob"},
        {"is", "isl"}, {"cy", "cym"}, {"mt", "mlt"}, {"bg", "bul"}, {"mk", "mkd"}, {"sr", "srp"},
        {"hr", "hrv"}, {"sl", "slv"}, {"cs", "ces"}, {"sk", "slk"}, {"ru", "rus"}, {"uk", "ukr"},
        {"be", "bel"}, {"id", "ind"}, {"ms", "msa"}, {"af", "afr"}, {"ga", "gle"}, {"fi", "fin"},
        {"et", "est"}, {"lt", "lit"}, {"hu", "hun"}, {"el", "ell"}, {"sw", "swa"}, {"tl", "tgl"},
        {"ja", "jpn"}, {"vi", "vie"},
    };
    auto s = codes.find(sl), t = codes.find(tl);
    if (s == codes.end() || t == codes.end()) return std::nullopt;
    std::string mode = s->second + "-" + t->second;
    if (std::find(modes_.begin(), modes_.end(), mode) == modes_.end()) return std::nullopt;
    return mode;
}

std::optional<std::string> Apertium::Translate(const std::string& mode, const std::string& text,
                                               int timeoutMs) const {
    auto out = RunFilter({"apertium", "-u", mode}, text, timeoutMs);
    if (!out) return std::nullopt;
    // apertium ends its output with a line end the input may not have had.
    if (!out->empty() && out->back() == '\n' && (text.empty() || text.back() != '\n'))
        out->pop_back();
    return out;
}

}  // namespace velmora::tools
