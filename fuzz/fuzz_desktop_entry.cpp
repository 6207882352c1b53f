// The desktop-entry reader and the Exec= writer it must agree with.
// Checks: a value read from a file never spans lines; a command line written as an Exec= value
// and read back from a desktop file gives the same words once the Exec quoting is undone.

#include "FuzzCheck.h"
#include "platform/posix/DesktopEntry.h"

namespace {

using namespace velmora::platform::posix;

// Undoes the Exec= quoting: blanks separate words, double quotes group with \" \` \$ \\ escapes
// inside, "%%" is one '%'.
std::vector<std::string> ExecWords(std::string_view v) {
    std::vector<std::string> words;
    std::size_t i = 0;
    while (i < v.size()) {
        while (i < v.size() && v[i] == ' ') ++i;
        if (i >= v.size()) break;
        std::string w;
        bool quoted = false;
        for (; i < v.size() && (quoted || v[i] != ' '); ++i) {
            const char c = v[i];
            if (c == '"') {
                quoted = !quoted;
            } else if (quoted && c == '\\' && i + 1 < v.size()) {
                w += v[++i];
            } else if (c == '%' && i + 1 < v.size() && v[i + 1] == '%') {
                w += '%';
                ++i;
            } else {
                w += c;
            }
        }
        words.push_back(std::move(w));
    }
    return words;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text = velmora::fuzz::Bytes(data, size);
    for (std::string_view key : {"Exec", "Name", "X-GNOME-Autostart-enabled"}) {
        if (auto v = DesktopEntryValue(text, key)) FUZZ_CHECK(v->size() <= text.size());
    }

    const std::vector<std::string> words = SplitCommandLine(text);
    for (const auto& w : words) {
        const auto quoted = QuoteExecArgument(w);
        FUZZ_CHECK(ExecWords(quoted) == std::vector<std::string>{w});
    }
    const std::string exec = ExecValue(text);
    FUZZ_CHECK(exec.find('\n') == std::string::npos && exec.find('\r') == std::string::npos);
    const std::string file = "[Desktop Entry]\nType=Application\nExec=" + exec + "\n";
    const auto back = DesktopEntryValue(file, "Exec");
    FUZZ_CHECK(back.has_value());
    FUZZ_CHECK(ExecWords(*back) == words);
    return 0;
}
