// The configuration file: the INI reader on its own and LoadConfiguration on a real file.
// Checks: entries and problems carry line numbers inside the text, keys are trimmed, non-empty
// and hold no '='; a quoted value comes back unchanged; a diagnostic never holds a key from the
// file; every engine taken is known, once, with the URL and key it needs.

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>

#include "FuzzCheck.h"
#include "app/core/Configuration.h"
#include "app/core/IniFile.h"

namespace {

using namespace velmora;

constexpr std::string_view kPlanted = "Zq7-planted-deepl-key";

// A file of this process's own, removed when the fuzzer exits.
struct ScratchFile {
    std::filesystem::path path = std::filesystem::temp_directory_path() /
                                 ("velmora-fuzz-" + std::to_string(getpid()) + ".conf");
    ~ScratchFile() {
        std::error_code ec;
        std::filesystem::remove(path, ec);
    }
};

const std::filesystem::path& File() {
    static const ScratchFile f;
    return f.path;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text = fuzz::Bytes(data, size);
    const int lines = static_cast<int>(std::count(text.begin(), text.end(), '\n')) + 1;

    const app::IniFile ini = app::ParseIni(text);
    for (const auto& e : ini.entries) {
        FUZZ_CHECK(e.line >= 1 && e.line <= lines);
        FUZZ_CHECK(!e.key.empty() && e.key.find('=') == std::string::npos);
        FUZZ_CHECK(e.key.front() != ' ' && e.key.back() != ' ');
        FUZZ_CHECK(e.key.find('\n') == std::string::npos);
    }
    for (const auto& p : ini.problems) FUZZ_CHECK(p.line >= 1 && p.line <= lines);

    // Any value written by QuoteIniValue reads back as itself.
    const auto round = app::ParseIni("[s]\nk = " + app::QuoteIniValue(text) + "\n");
    FUZZ_CHECK(round.problems.empty() && round.entries.size() == 1);
    FUZZ_CHECK(round.entries[0].value == text && round.entries[0].section == "s");

    // The whole loader, with a key the diagnostics must never show.
    {
        std::ofstream out(File(), std::ios::binary | std::ios::trunc);
        out << text << "\n[deepl]\nkey=" << kPlanted << "\n";
    }
    std::filesystem::permissions(
        File(), std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
    app::Diagnostics diagnostics;
    const auto noEnv = [](const char*) -> std::optional<std::string> { return std::nullopt; };
    const app::Configuration c = app::LoadConfiguration(noEnv, File(), diagnostics);
    if (text.find(kPlanted) == std::string_view::npos) {
        for (const auto& d : diagnostics) FUZZ_CHECK(d.find(kPlanted) == std::string::npos);
        FUZZ_CHECK(c.Engine("deepl").key == kPlanted);
    }
    const auto& known = app::KnownEngines();
    for (std::size_t i = 0; i < c.engines.size(); ++i) {
        const std::string& name = c.engines[i];
        FUZZ_CHECK(std::find(known.begin(), known.end(), name) != known.end());
        FUZZ_CHECK(std::find(c.engines.begin(), c.engines.begin() + i, name) ==
                   c.engines.begin() + i);
        if (app::EngineNeedsKey(name)) FUZZ_CHECK(!c.Engine(name).key.empty());
        if (app::EngineNeedsUrl(name)) FUZZ_CHECK(!c.Engine(name).url.empty());
    }
    return 0;
}
