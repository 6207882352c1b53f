#include "app/core/ConfigFileWriter.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <sstream>

#include "app/core/Configuration.h"
#include "app/core/IniFile.h"

namespace velmora::app {

namespace {

constexpr std::uintmax_t kMaxFileBytes = 1 << 20;

std::string_view Trim(std::string_view s) {
    const auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r'; };
    while (!s.empty() && blank(s.front())) s.remove_prefix(1);
    while (!s.empty() && blank(s.back())) s.remove_suffix(1);
    return s;
}

// What a line is, read the way ParseIni reads it.
struct LineInfo {
    bool header = false;
    std::string section;  // the section the line belongs to (its own, for a header)
    std::string key;      // empty unless the line is key=value
};

std::vector<LineInfo> Scan(const std::vector<std::string>& lines) {
    std::vector<LineInfo> out;
    std::string section = "General";
    for (const std::string& raw : lines) {
        LineInfo info;
        const std::string_view line = Trim(raw);
        if (!line.empty() && line.front() == '[' && line.back() == ']' && line.size() >= 3) {
            section = std::string(Trim(line.substr(1, line.size() - 2)));
            info.header = true;
        } else if (!line.empty() && line.front() != ';' && line.front() != '#') {
            const std::size_t eq = line.find('=');
            if (eq != std::string_view::npos) info.key = std::string(Trim(line.substr(0, eq)));
        }
        info.section = section;
        out.push_back(std::move(info));
    }
    return out;
}

// Plain where both this program's reader and QSettings read the text back unchanged.
std::string Formatted(const std::string& value) {
    bool plain = value.empty() || (value.front() != ' ' && value.front() != '\t' &&
                                   value.back() != ' ' && value.back() != '\t');
    for (char c : value) {
        if (static_cast<unsigned char>(c) < 0x20 || std::strchr(";#,\"\\", c) != nullptr)
            plain = false;
    }
    return plain ? value : QuoteIniValue(value);
}

void Apply(std::vector<std::string>& lines, const IniChange& change) {
    const std::vector<LineInfo> info = Scan(lines);
    std::vector<std::size_t> hits;
    for (std::size_t i = 0; i < info.size(); ++i) {
        if (!info[i].header && info[i].section == change.section && info[i].key == change.key)
            hits.push_back(i);
    }
    const std::size_t keep = change.value && !hits.empty() ? 1 : 0;
    for (std::size_t i = hits.size(); i > keep; --i)
        lines.erase(lines.begin() + static_cast<std::ptrdiff_t>(hits[i - 1]));
    if (!change.value) return;
    std::string line = change.key + "=" + Formatted(*change.value);
    if (!hits.empty()) {
        lines[hits[0]] = std::move(line);
        return;
    }
    for (std::size_t h = 0; h < info.size(); ++h) {
        if (!info[h].header || info[h].section != change.section) continue;
        std::size_t last = h;
        for (std::size_t j = h + 1; j < info.size() && !info[j].header; ++j) {
            if (!info[j].key.empty()) last = j;
        }
        lines.insert(lines.begin() + static_cast<std::ptrdiff_t>(last + 1), std::move(line));
        return;
    }
    if (!lines.empty() && !Trim(lines.back()).empty()) lines.emplace_back();
    lines.push_back("[" + change.section + "]");
    lines.push_back(std::move(line));
}

// The path for a message, in UTF-8 whatever the platform's narrow encoding.
std::string Where(const std::filesystem::path& file) {
    const std::u8string u = file.u8string();
    return std::string(u.begin(), u.end());
}

// The file's text, or why it is not read: a missing file reads as empty.
std::string ReadWhole(const std::filesystem::path& file, std::string& text) {
    const std::string where = Where(file);
    std::error_code ec;
    const auto status = std::filesystem::status(file, ec);
    if (!std::filesystem::exists(status)) return {};
    if (!std::filesystem::is_regular_file(status)) return where + ": is not a regular file";
    if (std::filesystem::file_size(file, ec) > kMaxFileBytes)
        return where + ": is larger than 1 MiB and was not changed";
    std::ifstream in(file, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    if (!in) return where + ": cannot be read";
    text = s.str();
    return {};
}

#ifndef _WIN32
bool HoldsKey(const std::string& text) {
    for (const IniEntry& e : ParseIni(text).entries) {
        const ConfigRow* row = FindConfigRow(e.section, e.key);
        if (row != nullptr && row->secret && !e.value.empty()) return true;
    }
    return false;
}

// A descriptor closed when it goes out of scope.
class Fd {
  public:
    explicit Fd(int fd) : fd_(fd) {}
    ~Fd() {
        if (fd_ >= 0) ::close(fd_);
    }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    int get() const { return fd_; }
    bool Close() {
        const int fd = fd_;
        fd_ = -1;
        return ::close(fd) == 0;
    }

  private:
    int fd_;
};

std::string Errno() {
    return std::strerror(errno);
}

std::string MakeFolders(const std::filesystem::path& dir) {
    std::filesystem::path built;
    for (const auto& part : dir) {
        built /= part;
        struct stat st {};
        if (::stat(built.c_str(), &st) == 0) continue;
        if (::mkdir(built.c_str(), 0700) != 0 && errno != EEXIST)
            return built.string() + ": cannot be created (" + Errno() + ")";
    }
    return {};
}

bool WriteAll(int fd, const std::string& text) {
    std::size_t done = 0;
    while (done < text.size()) {
        const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        done += static_cast<std::size_t>(n);
    }
    return true;
}
#endif

}  // namespace

std::string ApplyIniChanges(std::string_view text, const std::vector<IniChange>& changes) {
    std::vector<std::string> lines;
    while (!text.empty()) {
        const std::size_t end = text.find('\n');
        lines.emplace_back(text.substr(0, end));
        text = end == std::string_view::npos ? std::string_view{} : text.substr(end + 1);
    }
    for (const IniChange& change : changes) Apply(lines, change);
    std::string out;
    for (const std::string& line : lines) out += line + "\n";
    return out;
}

#ifdef _WIN32

std::string WriteIniChanges(const std::filesystem::path& file,
                            const std::vector<IniChange>& changes) {
    const std::string where = Where(file);
    std::error_code ec;
    std::filesystem::create_directories(file.parent_path(), ec);
    if (ec) return Where(file.parent_path()) + ": cannot be created (" + ec.message() + ")";
    std::string text;
    if (std::string why = ReadWhole(file, text); !why.empty()) return why;
    const std::string out = ApplyIniChanges(text, changes);

    std::filesystem::path temp = file;
    temp += L"." + std::to_wstring(GetCurrentProcessId()) + L"-" +
            std::to_wstring(GetTickCount64()) + L".tmp";
    bool written = false;
    {
        std::ofstream f(temp, std::ios::binary | std::ios::trunc);
        written = f && f.write(out.data(), static_cast<std::streamsize>(out.size())) && f.flush();
    }
    if (!written || !MoveFileExW(temp.c_str(), file.c_str(),
                                 MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        const DWORD error = GetLastError();
        DeleteFileW(temp.c_str());
        return where + ": cannot be written (error " + std::to_string(error) + ")";
    }
    return {};
}

#else

std::string WriteIniChanges(const std::filesystem::path& file,
                            const std::vector<IniChange>& changes) {
    const std::string where = Where(file);
    if (std::string why = MakeFolders(file.parent_path()); !why.empty()) return why;

    struct stat st {};
    const bool exists = ::stat(file.c_str(), &st) == 0;
    std::string text;
    if (std::string why = ReadWhole(file, text); !why.empty()) return why;
    const std::string out = ApplyIniChanges(text, changes);
    mode_t mode = exists ? (st.st_mode & 07777) : 0600;
    if (HoldsKey(out)) mode &= ~static_cast<mode_t>(077);

    std::string temp = where + ".XXXXXX";
    Fd fd(::mkstemp(temp.data()));
    if (fd.get() < 0) return where + ": no temporary file beside it (" + Errno() + ")";
    const bool written = WriteAll(fd.get(), out) && ::fsync(fd.get()) == 0 &&
                         ::fchmod(fd.get(), mode) == 0 && fd.Close();
    if (!written || ::rename(temp.c_str(), file.c_str()) != 0) {
        const std::string why = Errno();
        ::unlink(temp.c_str());
        return where + ": cannot be written (" + why + ")";
    }
    return {};
}

#endif

}  // namespace velmora::app
