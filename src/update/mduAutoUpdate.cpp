#include "update/mduAutoUpdate.h"

#include <charconv>
#include <cmath>
#include <fstream>
#include <system_error>

#include "update/UpdateScript.h"

namespace velmora::update::mduAutoUpdate {

namespace fs = std::filesystem;
using platform::HttpError;

namespace {
// The script this build writes and cleans up.
#ifdef _WIN32
constexpr const char* kScriptName = kWindowsUpdateScriptName;
#else
constexpr const char* kScriptName = kUpdateScriptName;
#endif
}  // namespace

using platform::HttpRequest;
using platform::HttpResponse;

std::u16string ExtractBetween(std::u16string_view text, std::u16string_view openMarker,
                              std::u16string_view closeMarker, std::u16string& rest) {
    std::size_t a = text.find(openMarker);
    if (a == std::u16string_view::npos) return {};
    std::size_t b = a + openMarker.size();
    std::size_t c = text.find(closeMarker, b);
    if (c == std::u16string_view::npos) return {};
    std::u16string result(text.substr(b, c - b));
    // Built before the assignment: text may view rest itself.
    std::u16string after(text.substr(c + closeMarker.size()));
    rest = std::move(after);
    return result;
}

double LeadingNumber(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size() && text[i] == ' ') ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    const std::size_t digitsStart = i;
    auto isDigit = [&](std::size_t k) {
        return k < text.size() && text[k] >= '0' && text[k] <= '9';
    };
    std::size_t digits = 0;
    while (isDigit(i)) ++i, ++digits;
    if (i < text.size() && text[i] == '.') {
        std::size_t j = i + 1;
        while (isDigit(j)) ++j, ++digits;
        if (digits > 0) i = j;
    }
    if (digits == 0) return 0.0;
    bool negativeExponent = false;
    // An exponent counts only when digits follow it.
    if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
        std::size_t j = i + 1;
        bool neg = false;
        if (j < text.size() && (text[j] == '+' || text[j] == '-')) neg = text[j++] == '-';
        if (isDigit(j)) {
            while (isDigit(j)) ++j;
            i = j;
            negativeExponent = neg;
        }
    }
    double value = 0.0;
    auto [ptr, ec] = std::from_chars(text.data() + digitsStart, text.data() + i, value);
    (void)ptr;
    if (ec == std::errc::result_out_of_range)
        value = negativeExponent ? 0.0 : HUGE_VAL;
    else if (ec != std::errc())
        return 0.0;
    return negative ? -value : value;
}

bool IsNewerVersion(const std::string& mine, const std::string& answer) {
    if (answer.empty()) return false;
    return LeadingNumber(mine) < LeadingNumber(answer);
}

std::string CounterText(double secondsSinceMidnight) {
    char buf[64];
    auto [end, ec] = std::to_chars(buf, buf + sizeof buf, static_cast<float>(secondsSinceMidnight),
                                   std::chars_format::general, 7);
    if (ec != std::errc()) return "0";
    return std::string(buf, end);
}

std::string VersionQueryUrl(const std::string& baseUrl, const std::string& unitId,
                            double secondsSinceMidnight) {
    return baseUrl + "/version.php?id=" + unitId + "&counter=" + CounterText(secondsSinceMidnight);
}

std::u16string GetLatestVersion(platform::Platform& pf, const std::string& baseUrl,
                                const std::string& unitId) {
    try {
        HttpRequest req;
        req.url = VersionQueryUrl(baseUrl, unitId, pf.clock.SecondsSinceMidnight());
        HttpResponse resp = pf.http.Send(req);
        if (resp.status != 200) return {};
        std::u16string discarded;
        return ExtractBetween(pf.codePage.FromUtf8(resp.body), u"<version>", u"</version>",
                              discarded);
    } catch (...) {
        return {};
    }
}

std::vector<std::u16string> ParseFileList(std::u16string_view body) {
    std::vector<std::u16string> list;
    std::u16string remaining(body);
    while (true) {
        std::u16string item = ExtractBetween(remaining, u"<url>", u"</url>", remaining);
        if (item.empty()) break;
        list.push_back(std::move(item));
    }
    return list;
}

std::vector<std::u16string> GetUpdateFileList(platform::Platform& pf, const std::string& baseUrl) {
    HttpRequest req;
    req.url = baseUrl + "/last_files.php";
    HttpResponse resp = pf.http.Send(req);  // a transport failure goes to the caller
    if (resp.status != 200) return {};
    return ParseFileList(pf.codePage.FromUtf8(resp.body));
}

namespace {

// Deep enough for any folder an older version or a file list could have left.
constexpr int kMaxCleanDepth = 32;

// Removes what dir holds. A symbolic link is unlinked, never followed, so nothing outside dir
// is touched; only real folders are entered.
void RemoveContents(const fs::path& dir, int depthLeft) {
    // Listed first, removed after: removing while iterating may skip entries.
    std::vector<fs::path> entries;
    std::error_code ec;
    for (fs::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec))
        entries.push_back(it->path());
    for (const auto& entry : entries) {
        std::error_code ec2;
        auto s = fs::symlink_status(entry, ec2);
        if (ec2) continue;
        if (fs::is_directory(s) && depthLeft > 0) RemoveContents(entry, depthLeft - 1);
        fs::remove(entry, ec2);
    }
}

}  // namespace

void CleanUpdateFiles(const fs::path& programFolder) {
    std::error_code ec;
    const fs::path dl = programFolder / kDownloadFolderName;
    auto st = fs::symlink_status(dl, ec);
    if (!ec && fs::is_symlink(st)) {
        fs::remove(dl, ec);
    } else if (!ec && fs::is_directory(st)) {
        RemoveContents(dl, kMaxCleanDepth);
        fs::remove(dl, ec);  // fails, harmlessly, when something could not be removed
    }
    std::error_code ec3;
    if (!fs::is_directory(fs::symlink_status(programFolder / kScriptName, ec3)))
        fs::remove(programFolder / kScriptName, ec3);
}

namespace {

// The downloaded file takes the installed file's permissions, so that an executable stays one;
// a new executable of the program's own name is made executable.
void SetInstalledMode(const fs::path& file, const fs::path& installed, bool isProgram) {
    std::error_code ec;
    auto st = fs::status(installed, ec);
    fs::perms mode;
    if (!ec && fs::is_regular_file(st)) {
        mode = st.permissions() & fs::perms::mask;
    } else {
        mode = fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read |
               fs::perms::others_read;
        if (isProgram)
            mode |= fs::perms::owner_exec | fs::perms::group_exec | fs::perms::others_exec;
    }
    fs::permissions(file, mode, fs::perm_options::replace, ec);
}

bool WriteWhole(const fs::path& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    if (!out) return false;
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    out.close();
    return !out.fail();
}

bool Download(platform::Platform& pf, platform::IHttp& http, const UpdateConfig& config,
              const UpdateEntry& e, const fs::path& programFolder, const fs::path& dl) {
    HttpResponse resp;
    try {
        HttpRequest req;
        req.url = e.url;
        resp = http.Send(req);
    } catch (const HttpError&) {
        return false;
    }
    if (resp.status != 200 || resp.body.size() > config.maxFileBytes) return false;
    if (e.sha256 && Sha256(resp.body) != *e.sha256) return false;
    const fs::path target = dl / fs::path(e.name);
    if (!WriteWhole(target, resp.body)) return false;
    SetInstalledMode(target, programFolder / fs::path(e.name),
                     e.name == pf.process.ExecutableName());
    return true;
}

}  // namespace

void DownloadUpdate(platform::Platform& pf, platform::IHttp& http, const UpdateConfig& config,
                    const std::vector<std::u16string>& fileList) {
    const fs::path folder = pf.process.ProgramFolder();
    const fs::path dl = folder / kDownloadFolderName;
    CleanUpdateFiles(folder);

    std::vector<UpdateEntry> entries;
    for (const auto& raw : fileList)
        if (auto e = ParseUpdateEntry(pf.codePage, raw)) entries.push_back(std::move(*e));
    if (entries.empty()) return;

    std::error_code ec;
    if (!fs::create_directory(dl, ec)) {
        CleanUpdateFiles(folder);
        return;
    }
    for (const auto& e : entries) {
        if (!Download(pf, http, config, e, folder, dl)) {
            CleanUpdateFiles(folder);
            return;
        }
        pf.loop.Yield();  // keeps the update window painted between files
    }
    WriteUpdateScript(pf, entries);
    CleanUpdateFiles(folder);  // only reached when the script could not be started
}

void WriteUpdateScript(platform::Platform& pf, const std::vector<UpdateEntry>& entries) {
    const fs::path folder = pf.process.ProgramFolder();
    std::vector<std::string> names;
    names.reserve(entries.size());
    for (const auto& e : entries) names.push_back(e.name);
#ifdef _WIN32
    // cmd reads batch files in the ANSI code page. A path it cannot spell would come out with
    // '?' (a wildcard to copy and move), so no script is written then.
    std::vector<std::u16string> wideNames;
    for (const auto& n : names) wideNames.push_back(pf.codePage.FromUtf8(n));
    const std::u16string wide = WindowsUpdateScriptText(
        folder.u16string(), pf.codePage.FromUtf8(pf.process.ExecutableName()), wideNames);
    const std::string text = pf.codePage.ToAnsi(wide);
    if (pf.codePage.FromAnsi(text) != wide) return;
#else
    const std::string text = UpdateScriptText(folder.string(), pf.process.ExecutableName(), names);
#endif
    const fs::path script = folder / kScriptName;
    if (!WriteWhole(script, text)) return;
    if (!pf.process.StartDetachedScript(script)) return;
    pf.loop.Yield();
    pf.process.ExitNow(0);
}

}  // namespace velmora::update::mduAutoUpdate
