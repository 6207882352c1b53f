#include "translate/engines/ApertiumModes.h"

#include <algorithm>
#include <fstream>
#include <iterator>

namespace velmora::translate::engines {

namespace fs = std::filesystem;

namespace {

// Real mode files are a few kilobytes.
constexpr std::uintmax_t kMaxModeFileBytes = 64 * 1024;

bool IsLower(std::string_view s) {
    return std::all_of(s.begin(), s.end(), [](char c) { return c >= 'a' && c <= 'z'; });
}

std::optional<std::string> ThreeLetter(std::string_view code, const ToThreeLetter& toThreeLetter) {
    if (!IsLower(code)) return std::nullopt;
    if (code.size() == 3) return std::string(code);
    if (code.size() != 2 || !toThreeLetter) return std::nullopt;
    auto mapped = toThreeLetter(std::string(code));
    if (!mapped || mapped->size() != 3 || !IsLower(*mapped)) return std::nullopt;
    return mapped;
}

std::optional<std::string> ReadSmallFile(const fs::path& file) {
    std::error_code ec;
    if (!fs::is_regular_file(file, ec)) return std::nullopt;
    auto size = fs::file_size(file, ec);
    if (ec || size > kMaxModeFileBytes) return std::nullopt;
    std::ifstream in(file, std::ios::binary);
    if (!in) return std::nullopt;
    std::string text(static_cast<std::size_t>(size), '\0');
    in.read(text.data(), static_cast<std::streamsize>(size));
    if (!in && !in.eof()) return std::nullopt;
    text.resize(static_cast<std::size_t>(in.gcount()));
    return text;
}

std::vector<fs::path> ModeFilesIn(const fs::path& folder) {
    std::vector<fs::path> files;
    std::error_code ec;
    fs::directory_iterator it(folder, ec), end;
    for (; !ec && it != end; it.increment(ec)) {
        if (it->path().extension() == ".mode") files.push_back(it->path());
    }
    std::sort(files.begin(), files.end());
    return files;
}

}  // namespace

std::optional<std::string> ModePairKey(std::string_view modeName,
                                       const ToThreeLetter& toThreeLetter) {
    std::size_t dash = modeName.find('-');
    if (dash == std::string_view::npos) return std::nullopt;
    auto src = ThreeLetter(modeName.substr(0, dash), toThreeLetter);
    auto dst = ThreeLetter(modeName.substr(dash + 1), toThreeLetter);
    if (!src || !dst) return std::nullopt;
    return *src + "-" + *dst;
}

std::map<std::string, ApertiumMode> DiscoverModes(const std::vector<fs::path>& folders,
                                                  const ToThreeLetter& toThreeLetter) {
    std::map<std::string, ApertiumMode> modes;
    for (const auto& folder : folders) {
        std::map<std::string, ApertiumMode> here;
        for (const auto& file : ModeFilesIn(folder)) {
            const std::string name = file.stem().string();
            auto key = ModePairKey(name, toThreeLetter);
            if (!key || modes.count(*key)) continue;
            auto found = here.find(*key);
            if (found != here.end() && found->second.name == *key) continue;
            auto text = ReadSmallFile(file);
            if (!text) continue;
            auto commands = ParseModeFile(*text);
            if (!commands) continue;
            here[*key] = ApertiumMode{name, file, std::move(*commands)};
        }
        modes.merge(here);
    }
    return modes;
}

}  // namespace velmora::translate::engines
