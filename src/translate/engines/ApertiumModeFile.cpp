#include "translate/engines/ApertiumModeFile.h"

#include <algorithm>

namespace velmora::translate::engines {

namespace {

bool IsBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r';
}

// Characters that mean something to the shell beyond words and pipes. Refused, not guessed at.
bool IsShellSpecial(char c) {
    switch (c) {
        case ';':
        case '&':
        case '<':
        case '>':
        case '(':
        case ')':
        case '`':
        case '*':
        case '?':
        case '[':
            return true;
        default:
            return false;
    }
}

class Parser {
  public:
    explicit Parser(std::string_view text) : s_(text) {}

    std::optional<std::vector<ModeCommand>> Run() {
        // Trailing blank lines and spaces end the file; a line break anywhere else would start
        // a second pipeline.
        while (!s_.empty() && (IsBlank(s_.back()) || s_.back() == '\n')) s_.remove_suffix(1);
        std::vector<ModeCommand> commands(1);
        bool afterPipe = true;
        while (i_ < s_.size()) {
            char c = s_[i_];
            if (IsBlank(c)) {
                ++i_;
            } else if (c == '\n') {
                if (!afterPipe) return std::nullopt;
                ++i_;
            } else if (c == '\\' && i_ + 1 < s_.size() && s_[i_ + 1] == '\n') {
                i_ += 2;
            } else if (c == '|') {
                if (commands.back().empty()) return std::nullopt;
                commands.emplace_back();
                afterPipe = true;
                ++i_;
            } else {
                auto word = Word();
                if (!word) return std::nullopt;
                // A placeholder cannot name the program.
                if (commands.back().empty() && word->placeholder != 0) return std::nullopt;
                commands.back().push_back(std::move(*word));
                afterPipe = false;
            }
        }
        if (commands.back().empty()) return std::nullopt;
        return commands;
    }

  private:
    std::optional<ModeWord> Word() {
        ModeWord w;
        const std::size_t start = i_;
        while (i_ < s_.size()) {
            char c = s_[i_];
            if (IsBlank(c) || c == '\n' || c == '|') break;
            if (c == '\'') {
                std::size_t end = s_.find('\'', i_ + 1);
                if (end == std::string_view::npos) return std::nullopt;
                w.text.append(s_.substr(i_ + 1, end - i_ - 1));
                i_ = end + 1;
            } else if (c == '"') {
                if (!DoubleQuoted(w.text)) return std::nullopt;
            } else if (c == '\\') {
                if (i_ + 1 >= s_.size()) return std::nullopt;
                if (s_[i_ + 1] != '\n') w.text.push_back(s_[i_ + 1]);
                i_ += 2;
            } else if (c == '$') {
                // Only a whole unquoted $1 or $2 word is understood.
                if (i_ != start || i_ + 1 >= s_.size() || (s_[i_ + 1] != '1' && s_[i_ + 1] != '2'))
                    return std::nullopt;
                std::size_t after = i_ + 2;
                if (after < s_.size() && !IsBlank(s_[after]) && s_[after] != '\n' &&
                    s_[after] != '|')
                    return std::nullopt;
                w.placeholder = s_[i_ + 1] - '0';
                i_ = after;
                return w;
            } else if (IsShellSpecial(c) || ((c == '#' || c == '~') && i_ == start)) {
                return std::nullopt;
            } else {
                w.text.push_back(c);
                ++i_;
            }
        }
        return w;
    }

    // Reads "..." at i_; inside, only \" \\ \$ \` and \newline are escapes, and no expansion
    // is understood.
    bool DoubleQuoted(std::string& out) {
        ++i_;
        while (i_ < s_.size()) {
            char c = s_[i_];
            if (c == '"') {
                ++i_;
                return true;
            }
            if (c == '$' || c == '`') return false;
            if (c == '\\' && i_ + 1 < s_.size()) {
                char n = s_[i_ + 1];
                if (n == '"' || n == '\\' || n == '$' || n == '`') {
                    out.push_back(n);
                    i_ += 2;
                    continue;
                }
                if (n == '\n') {
                    i_ += 2;
                    continue;
                }
            }
            out.push_back(c);
            ++i_;
        }
        return false;
    }

    std::string_view s_;
    std::size_t i_ = 0;
};

}  // namespace

std::optional<std::vector<ModeCommand>> ParseModeFile(std::string_view text) {
    return Parser(text).Run();
}

std::vector<platform::Argv> NullFlushCommands(const std::vector<ModeCommand>& commands,
                                              bool markUnknown) {
    std::vector<platform::Argv> out;
    out.reserve(commands.size());
    for (const auto& command : commands) {
        platform::Argv argv;
        for (const auto& word : command) {
            if (word.placeholder == 1) {
                argv.push_back(markUnknown ? "-g" : "-n");
            } else if (word.placeholder == 0) {
                argv.push_back(word.text);
            }
        }
        const bool hasFlush = std::any_of(argv.begin() + 1, argv.end(), [](const std::string& a) {
            return a == "-z" || a == "--null-flush";
        });
        if (!hasFlush) argv.insert(argv.begin() + 1, "-z");
        out.push_back(std::move(argv));
    }
    return out;
}

}  // namespace velmora::translate::engines
