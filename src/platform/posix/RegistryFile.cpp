#include "platform/posix/RegistryFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <iterator>

#include "platform/Utf8.h"
#include "platform/posix/DesktopEntry.h"

namespace velmora::platform::posix {

namespace fs = std::filesystem;

namespace {

constexpr const char* kRunKey = "software\\microsoft\\windows\\currentversion\\run";
// The value's bytes as stored through the ANSI calls, and (when written as UTF-8) its exact text.
constexpr const char* kValueField = "X-Velmora-Value";
constexpr const char* kTextField = "X-Velmora-Text";

std::string Lower(std::string s) {
    for (char& c : s)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
    return s;
}

bool SameName(const std::string& a, const std::string& b) {
    return Lower(a) == Lower(b);
}

const char* RootName(RootKey r) {
    switch (r) {
        case RootKey::ClassesRoot:
            return "HKEY_CLASSES_ROOT";
        case RootKey::CurrentUser:
            return "HKEY_CURRENT_USER";
        case RootKey::LocalMachine:
            return "HKEY_LOCAL_MACHINE";
        case RootKey::Users:
            return "HKEY_USERS";
        case RootKey::PerformanceData:
            return "HKEY_PERFORMANCE_DATA";
        case RootKey::CurrentConfig:
            return "HKEY_CURRENT_CONFIG";
        case RootKey::DynData:
            return "HKEY_DYN_DATA";
        default:
            return nullptr;
    }
}

std::string FullPath(RootKey root, const std::string& subkey) {
    std::string p = RootName(root);
    if (!subkey.empty()) p += "\\" + subkey;
    return p;
}

bool IsRunKey(RootKey root, const std::string& subkey) {
    return root == RootKey::CurrentUser && Lower(subkey) == kRunKey;
}

bool IsHidden(std::string_view desktopFile) {
    auto hidden = DesktopEntryValue(desktopFile, "Hidden");
    return hidden && Lower(*hidden) == "true";
}

// %HH for '%', '=', '[', ']' (and '\\' where the desktop file's escapes would read it) and every
// byte outside printable ASCII: the file stays ASCII and every byte string survives the round trip.
std::string Escape(const std::string& s, bool backslash = false) {
    static const char* d = "0123456789ABCDEF";
    std::string out;
    for (unsigned char c : s) {
        if (c < 0x20 || c >= 0x7F || c == '%' || c == '=' || c == '[' || c == ']' ||
            (backslash && c == '\\')) {
            out.push_back('%');
            out.push_back(d[c >> 4]);
            out.push_back(d[c & 15]);
        } else {
            out.push_back(static_cast<char>(c));
        }
    }
    return out;
}

int Hex(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

std::string Unescape(std::string_view s) {
    std::string out;
    for (std::size_t i = 0; i < s.size(); ++i) {
        if (s[i] == '%' && i + 2 < s.size() && Hex(s[i + 1]) >= 0 && Hex(s[i + 2]) >= 0) {
            out.push_back(static_cast<char>(Hex(s[i + 1]) << 4 | Hex(s[i + 2])));
            i += 2;
        } else {
            out.push_back(s[i]);
        }
    }
    return out;
}

std::optional<std::string> ReadWhole(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    if (!in) return std::nullopt;
    return std::string(std::istreambuf_iterator<char>(in), {});
}

fs::path HomeConfig() {
    if (const char* x = std::getenv("XDG_CONFIG_HOME"); x && *x == '/') return x;
    if (const char* h = std::getenv("HOME"); h && *h) return fs::path(h) / ".config";
    return fs::path("/tmp") / ".config";
}

}  // namespace

bool WriteFileAtomically(const fs::path& path, const std::string& bytes) {
    std::error_code ec;
    fs::create_directories(path.parent_path(), ec);
    std::string tmpl = (path.parent_path() / ("." + path.filename().string() + ".XXXXXX")).string();
    int fd = mkstemp(tmpl.data());
    if (fd < 0) return false;
    const char* p = bytes.data();
    std::size_t left = bytes.size();
    bool ok = true;
    while (left > 0) {
        ssize_t n = write(fd, p, left);
        if (n < 0) {
            if (errno == EINTR) continue;
            ok = false;
            break;
        }
        p += n;
        left -= static_cast<std::size_t>(n);
    }
    fchmod(fd, 0644);
    if (ok && fsync(fd) != 0) ok = false;
    if (close(fd) != 0) ok = false;
    if (ok && rename(tmpl.c_str(), path.c_str()) != 0) ok = false;
    if (!ok) unlink(tmpl.c_str());
    return ok;
}

fs::path RegistryFile::DefaultConfigDir() {
    return HomeConfig();
}
fs::path RegistryFile::DefaultAutostartDir() {
    return HomeConfig() / "autostart";
}

RegistryFile::RegistryFile() : RegistryFile(DefaultConfigDir(), DefaultAutostartDir()) {}

RegistryFile::RegistryFile(fs::path configDir, fs::path autostartDir)
    : storeFile_(std::move(configDir) / "velmora" / "registry.ini"),
      autostartDir_(std::move(autostartDir)) {}

std::vector<RegistryFile::Key> RegistryFile::Load() const {
    std::vector<Key> keys;
    auto text = ReadWhole(storeFile_);
    if (!text) return keys;
    std::size_t pos = 0;
    while (pos < text->size()) {
        std::size_t end = text->find('\n', pos);
        if (end == std::string::npos) end = text->size();
        std::string_view line(text->data() + pos, end - pos);
        pos = end + 1;
        if (line.empty() || line.front() == ';') continue;
        if (line.front() == '[' && line.back() == ']') {
            keys.push_back(Key{Unescape(line.substr(1, line.size() - 2)), {}});
        } else if (auto eq = line.find('='); eq != std::string_view::npos && !keys.empty()) {
            keys.back().values.emplace_back(Unescape(line.substr(0, eq)),
                                            Unescape(line.substr(eq + 1)));
        }
    }
    return keys;
}

bool RegistryFile::Save(const std::vector<Key>& keys) const {
    std::string text = "; Velmora key store. Values of the Run key are the autostart entries.\n";
    for (const auto& k : keys) {
        text += "[" + Escape(k.path) + "]\n";
        for (const auto& [n, v] : k.values) text += Escape(n) + "=" + Escape(v) + "\n";
    }
    return WriteFileAtomically(storeFile_, text);
}

bool RegistryFile::KeyExists(RootKey root, const std::string& subkey) {
    if (!RootName(root)) return false;
    if (subkey.empty()) return true;
    const std::string path = FullPath(root, subkey);
    auto keys = Load();
    return std::any_of(keys.begin(), keys.end(),
                       [&](const Key& k) { return SameName(k.path, path); });
}

bool RegistryFile::CreateKey(RootKey root, const std::string& subkey) {
    if (!RootName(root)) return false;
    if (subkey.empty()) return true;
    auto keys = Load();
    bool changed = false;
    // Like the registry, creating a key creates the keys above it.
    for (std::size_t cut = subkey.find('\\');; cut = subkey.find('\\', cut + 1)) {
        std::string part = FullPath(root, subkey.substr(0, cut));
        if (std::none_of(keys.begin(), keys.end(),
                         [&](const Key& k) { return SameName(k.path, part); })) {
            keys.push_back(Key{part, {}});
            changed = true;
        }
        if (cut == std::string::npos) break;
    }
    return !changed || Save(keys);
}

std::optional<std::string> RegistryFile::ReadValue(RootKey root, const std::string& subkey,
                                                   const std::string& name) {
    if (!RootName(root)) return std::nullopt;
    if (IsRunKey(root, subkey)) return ReadRunValue(name);
    const std::string path = FullPath(root, subkey);
    for (const auto& k : Load()) {
        if (!SameName(k.path, path)) continue;
        for (const auto& [n, v] : k.values)
            if (SameName(n, name)) return v;
        return std::nullopt;
    }
    return std::nullopt;
}

bool RegistryFile::WriteValue(RootKey root, const std::string& subkey, const std::string& name,
                              const std::string& data) {
    if (!KeyExists(root, subkey)) return false;
    if (IsRunKey(root, subkey)) return WriteRunValue(name, data);
    const std::string path = FullPath(root, subkey);
    auto keys = Load();
    auto k = std::find_if(keys.begin(), keys.end(),
                          [&](const Key& x) { return SameName(x.path, path); });
    if (k == keys.end()) keys.push_back(Key{path, {}}), k = std::prev(keys.end());  // the root
    auto v = std::find_if(k->values.begin(), k->values.end(),
                          [&](const auto& nv) { return SameName(nv.first, name); });
    if (v != k->values.end())
        v->second = data;
    else
        k->values.emplace_back(name, data);
    return Save(keys);
}

std::optional<fs::path> RegistryFile::AutostartFile(const std::string& name) const {
    // The value name becomes a file name: nothing that could leave the folder.
    std::string stem = Utf8Encode(codePage_.FromAnsi(name));
    if (stem.empty() || stem.size() > 200 || stem == "." || stem == ".." ||
        stem.find('/') != std::string::npos || std::any_of(stem.begin(), stem.end(), [](char c) {
            return static_cast<unsigned char>(c) < 0x20;
        }))
        return std::nullopt;
    std::error_code ec;
    for (fs::directory_iterator it(autostartDir_, ec), end; !ec && it != end; it.increment(ec)) {
        const fs::path& p = it->path();
        if (p.extension() == ".desktop" && SameName(p.stem().string(), stem)) return p;
    }
    return autostartDir_ / (stem + ".desktop");
}

std::optional<std::string> RegistryFile::ReadValueUtf8(RootKey root, const std::string& subkey,
                                                       const std::string& name) {
    if (IsRunKey(root, subkey)) return ReadRunText(name);
    auto ansi = ReadValue(root, subkey, name);
    if (!ansi) return std::nullopt;
    return Utf8Encode(codePage_.FromAnsi(*ansi));
}

bool RegistryFile::WriteValueUtf8(RootKey root, const std::string& subkey, const std::string& name,
                                  const std::string& utf8) {
    if (!IsRunKey(root, subkey))
        return WriteValue(root, subkey, name, codePage_.ToAnsi(Utf8Decode(utf8)));
    if (!KeyExists(root, subkey)) return false;
    const std::string text = utf8.substr(0, utf8.find('\0'));
    return WriteRunEntry(name, text, codePage_.ToAnsi(Utf8Decode(text)), text);
}

std::optional<std::string> RegistryFile::RunEntryText(const std::string& name) const {
    auto file = AutostartFile(name);
    if (!file) return std::nullopt;
    return ReadWhole(*file);
}

// A hidden entry is one the user switched off: it is there, and must stay as it is.
std::optional<std::string> RegistryFile::ReadRunValue(const std::string& name) const {
    auto text = RunEntryText(name);
    if (!text) return std::nullopt;
    if (auto v = DesktopEntryValue(*text, kValueField)) return Unescape(*v);
    // An entry written by someone else: its command line as the value.
    if (auto exec = DesktopEntryValue(*text, "Exec")) return codePage_.ToAnsi(Utf8Decode(*exec));
    if (IsHidden(*text)) return std::string();
    return std::nullopt;
}

std::optional<std::string> RegistryFile::ReadRunText(const std::string& name) const {
    auto text = RunEntryText(name);
    if (!text) return std::nullopt;
    if (auto v = DesktopEntryValue(*text, kTextField)) return Unescape(*v);
    if (auto v = DesktopEntryValue(*text, kValueField))
        return Utf8Encode(codePage_.FromAnsi(Unescape(*v)));
    if (auto exec = DesktopEntryValue(*text, "Exec")) return *exec;
    if (IsHidden(*text)) return std::string();
    return std::nullopt;
}

bool RegistryFile::WriteRunValue(const std::string& name, const std::string& data) const {
    // The value stops at a NUL, as a registry string does.
    return WriteRunEntry(name, Utf8Encode(codePage_.FromAnsi(data.substr(0, data.find('\0')))),
                         data, std::nullopt);
}

bool RegistryFile::WriteRunEntry(const std::string& name, const std::string& command,
                                 const std::string& ansiValue,
                                 const std::optional<std::string>& utf8Value) const {
    auto file = AutostartFile(name);
    if (!file) return false;
    std::string displayName = Utf8Encode(codePage_.FromAnsi(name));
    std::string text = "[Desktop Entry]\n";
    text += "Type=Application\n";
    text += "Name=" + displayName + "\n";
    text += "Exec=" + ExecValue(command) + "\n";
    text += "Terminal=false\n";
    text += "X-GNOME-Autostart-enabled=true\n";
    text += std::string(kValueField) + "=" + Escape(ansiValue, true) + "\n";
    if (utf8Value) text += std::string(kTextField) + "=" + Escape(*utf8Value, true) + "\n";
    return WriteFileAtomically(*file, text);
}

}  // namespace velmora::platform::posix
