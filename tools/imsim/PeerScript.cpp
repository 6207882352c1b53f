#include "PeerScript.h"

#include <charconv>

#include "ControlProtocol.h"

namespace imsim {

PeerScript ParsePeerScript(const std::string& content) {
    PeerScript script;
    size_t start = 0;
    int number = 0;
    while (start <= content.size()) {
        size_t end = content.find('\n', start);
        if (end == std::string::npos) end = content.size();
        std::string line = content.substr(start, end - start);
        start = end + 1;
        ++number;
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.empty() || line[0] == '#') {
            if (end == content.size()) break;
            continue;
        }
        size_t tab = line.find('\t');
        if (tab == std::string::npos) {
            script.errors.push_back("line " + std::to_string(number) + ": no tab");
        } else {
            std::string head = line.substr(0, tab);
            std::string text = Unescape(line.substr(tab + 1));
            if (head == "reply") {
                script.replies.push_back(text);
            } else {
                int delay = 0;
                auto [p, ec] = std::from_chars(head.data(), head.data() + head.size(), delay);
                if (ec != std::errc() || p != head.data() + head.size() || delay < 0)
                    script.errors.push_back("line " + std::to_string(number) + ": bad delay");
                else
                    script.timed.push_back({delay, text});
            }
        }
        if (end == content.size()) break;
    }
    return script;
}

}  // namespace imsim
