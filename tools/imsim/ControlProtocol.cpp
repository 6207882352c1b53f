#include "ControlProtocol.h"

namespace imsim {

std::string Escape(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        switch (c) {
            case '\\':
                out += "\\\\";
                break;
            case '\n':
                out += "\\n";
                break;
            case '\r':
                out += "\\r";
                break;
            case '\t':
                out += "\\t";
                break;
            default:
                out += c;
        }
    }
    return out;
}

std::string Unescape(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        char c = text[i];
        if (c != '\\' || i + 1 == text.size()) {
            out += c;
            continue;
        }
        char n = text[++i];
        switch (n) {
            case 'n':
                out += '\n';
                break;
            case 'r':
                out += '\r';
                break;
            case 't':
                out += '\t';
                break;
            case '\\':
                out += '\\';
                break;
            default:
                out += '\\';
                out += n;
        }
    }
    return out;
}

std::string OkReply(std::string_view payload) {
    return "ok " + std::to_string(payload.size()) + "\n" + std::string(payload);
}

std::string ErrReply(std::string_view reason) {
    std::string r(reason);
    for (char& c : r)
        if (c == '\n' || c == '\r') c = ' ';
    return "err " + r + "\n";
}

}  // namespace imsim
