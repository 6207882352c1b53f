#include "app/core/IniFile.h"

#include "platform/Escape.h"

namespace velmora::app {

namespace {

std::string_view Trim(std::string_view s) {
    const auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r'; };
    while (!s.empty() && blank(s.front())) s.remove_prefix(1);
    while (!s.empty() && blank(s.back())) s.remove_suffix(1);
    return s;
}

// A quoted value: returns false when the closing quote is missing or text follows it.
bool Unquote(std::string_view in, std::string& out) {
    out.clear();
    std::size_t i = 1;
    for (; i < in.size(); ++i) {
        const char c = in[i];
        if (c == '"') break;
        if (c == '\\' && i + 1 < in.size()) {
            const char e = in[++i];
            switch (e) {
                case 'n':
                    out += '\n';
                    break;
                case 't':
                    out += '\t';
                    break;
                case 'r':
                    out += '\r';
                    break;
                default:
                    out += e;
                    break;  // \" \\ and anything else: the character itself
            }
            continue;
        }
        out += c;
    }
    if (i >= in.size()) return false;
    return Trim(in.substr(i + 1)).empty();
}

}  // namespace

IniFile ParseIni(std::string_view text) {
    IniFile file;
    std::string section = "General";
    int lineNo = 0;
    while (!text.empty()) {
        ++lineNo;
        const std::size_t end = text.find('\n');
        std::string_view line = text.substr(0, end);
        text = end == std::string_view::npos ? std::string_view{} : text.substr(end + 1);
        if (lineNo == 1 && line.substr(0, 3) == "\xEF\xBB\xBF") line.remove_prefix(3);
        line = Trim(line);
        if (line.empty() || line.front() == ';' || line.front() == '#') continue;
        if (line.front() == '[') {
            if (line.back() != ']' || line.size() < 3) {
                file.problems.push_back({lineNo, "a section header must be [name]"});
                continue;
            }
            section = std::string(Trim(line.substr(1, line.size() - 2)));
            continue;
        }
        const std::size_t eq = line.find('=');
        if (eq == std::string_view::npos) {
            file.problems.push_back({lineNo, "expected key=value"});
            continue;
        }
        const std::string_view key = Trim(line.substr(0, eq));
        if (key.empty()) {
            file.problems.push_back({lineNo, "a key is missing before '='"});
            continue;
        }
        const std::string_view raw = Trim(line.substr(eq + 1));
        std::string value;
        if (!raw.empty() && raw.front() == '"') {
            if (!Unquote(raw, value)) {
                file.problems.push_back({lineNo, "a quoted value is not closed"});
                continue;
            }
        } else {
            value = std::string(raw);
        }
        file.entries.push_back({section, std::string(key), std::move(value), lineNo});
    }
    return file;
}

std::string QuoteIniValue(std::string_view value) {
    return "\"" + platform::BackslashEscape(value, "\"") + "\"";
}

}  // namespace velmora::app
