#include "platform/Escape.h"

namespace velmora::platform {

std::string BackslashEscape(std::string_view text, std::string_view alsoEscaped) {
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
            case '\t':
                out += "\\t";
                break;
            case '\r':
                out += "\\r";
                break;
            default:
                if (alsoEscaped.find(c) != std::string_view::npos) out.push_back('\\');
                out.push_back(c);
                break;
        }
    }
    return out;
}

}  // namespace velmora::platform
