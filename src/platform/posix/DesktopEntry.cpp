#include "platform/posix/DesktopEntry.h"

#include "platform/Escape.h"

namespace velmora::platform::posix {

std::vector<std::string> SplitCommandLine(std::string_view line) {
    std::vector<std::string> words;
    std::size_t i = 0;
    while (true) {
        while (i < line.size() && (line[i] == ' ' || line[i] == '\t')) ++i;
        if (i >= line.size()) return words;
        std::string word;
        bool quoted = false;
        for (; i < line.size(); ++i) {
            char c = line[i];
            if (c == '"') {
                quoted = !quoted;
            } else if ((c == ' ' || c == '\t') && !quoted) {
                break;
            } else {
                word.push_back(c);
            }
        }
        words.push_back(std::move(word));
    }
}

std::string QuoteExecArgument(std::string_view arg) {
    static constexpr std::string_view kReserved = " \t\n\"'\\><~|&;$*?#()`";
    bool needsQuotes = arg.empty() || arg.find_first_of(kReserved) != std::string_view::npos;
    std::string out;
    if (needsQuotes) out.push_back('"');
    for (char c : arg) {
        if (needsQuotes && (c == '"' || c == '`' || c == '$' || c == '\\')) out.push_back('\\');
        if (c == '%') out.push_back('%');
        out.push_back(c);
    }
    if (needsQuotes) out.push_back('"');
    return out;
}

std::string ExecValue(std::string_view commandLine) {
    std::string quoted;
    for (const auto& w : SplitCommandLine(commandLine)) {
        if (!quoted.empty()) quoted.push_back(' ');
        quoted += QuoteExecArgument(w);
    }
    return BackslashEscape(quoted);
}

std::optional<std::string> DesktopEntryValue(std::string_view fileText, std::string_view key) {
    bool inGroup = false;
    std::size_t pos = 0;
    while (pos <= fileText.size()) {
        std::size_t end = fileText.find('\n', pos);
        if (end == std::string_view::npos) end = fileText.size();
        std::string_view line = fileText.substr(pos, end - pos);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        pos = end + 1;
        if (!line.empty() && line.front() == '[') {
            inGroup = line == "[Desktop Entry]";
            continue;
        }
        if (!inGroup || line.size() <= key.size() || line.substr(0, key.size()) != key) continue;
        std::string_view rest = line.substr(key.size());
        while (!rest.empty() && rest.front() == ' ') rest.remove_prefix(1);
        if (rest.empty() || rest.front() != '=') continue;
        rest.remove_prefix(1);
        while (!rest.empty() && rest.front() == ' ') rest.remove_prefix(1);
        std::string value;
        for (std::size_t i = 0; i < rest.size(); ++i) {
            if (rest[i] == '\\' && i + 1 < rest.size()) {
                char n = rest[++i];
                value.push_back(n == 's'   ? ' '
                                : n == 'n' ? '\n'
                                : n == 't' ? '\t'
                                : n == 'r' ? '\r'
                                           : n);
            } else {
                value.push_back(rest[i]);
            }
        }
        return value;
    }
    return std::nullopt;
}

}  // namespace velmora::platform::posix
