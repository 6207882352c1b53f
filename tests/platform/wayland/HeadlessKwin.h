#pragma once

// A headless KWin (KDE Plasma's compositor) of the test's own, with a D-Bus session bus of its
// own, on a private runtime folder, ended with the test. Desktop entries the test gives are
// installed in an applications folder on KWin's XDG_DATA_DIRS before it starts: KWin grants
// its restricted interfaces by them.

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <climits>
#include <filesystem>
#include <string>
#include <vector>

#include "support/PollUntil.h"
#include "support/Shell.h"
#include "support/Spawn.h"
#include "support/TempDir.h"

struct DesktopEntry {
    std::string fileName;  // e.g. "org.velmora.Test.desktop"
    std::string text;
};

// The path the kernel gives for this process's executable, as KWin reads it.
inline std::string OwnExecutable() {
    char path[PATH_MAX];
    const ssize_t n = readlink("/proc/self/exe", path, sizeof path - 1);
    return n > 0 ? std::string(path, static_cast<std::size_t>(n)) : std::string();
}

// An entry granting `exec` the Wayland interfaces and D-Bus interfaces listed.
inline DesktopEntry TrustedEntry(const std::string& exec, const std::string& waylandInterfaces,
                                 const std::string& dbusInterfaces = {}) {
    std::string text = "[Desktop Entry]\nType=Application\nName=Velmora test\nExec=" + exec +
                       "\nX-KDE-Wayland-Interfaces=" + waylandInterfaces + "\n";
    if (!dbusInterfaces.empty())
        text += "X-KDE-DBUS-Restricted-Interfaces=" + dbusInterfaces + "\n";
    return {"org.velmora.Test.desktop", text};
}

class HeadlessKwin {
  public:
    struct Options {
        std::vector<DesktopEntry> entries;
        // QPainter compositing costs far less CPU than llvmpipe's OpenGL, which only the
        // screenshot interface needs.
        bool opengl = false;
        // Further variables for KWin (PATH, for one).
        velmora::testing::SpawnEnv env;
    };

    HeadlessKwin() : HeadlessKwin(Options{}) {}
    explicit HeadlessKwin(const Options& options) {
        namespace fs = std::filesystem;
        const fs::path& dir = dir_.path();
        chmod(dir.c_str(), 0700);
        const fs::path apps = dir / "data" / "applications";
        fs::create_directories(apps);
        for (const DesktopEntry& e : options.entries) WriteFile(apps / e.fileName, e.text);
        // Breeze's decorations, as on a Plasma desktop: KWin draws the title bars, so a
        // program's surface is its own content (without a decoration plugin KWin asks programs
        // to draw their own, and Qt's title bar would lie inside the surface).
        fs::create_directories(dir / "config");
        WriteFile(dir / "config" / "kwinrc",
                  "[org.kde.kdecoration2]\nlibrary=org.kde.breeze\ntheme=Breeze\n");
        const fs::path bus = dir / "bus";
        busAddress_ = "unix:path=" + bus.string();
        WriteFile(dir / "bus.conf",
                  "<!DOCTYPE busconfig PUBLIC \"-//freedesktop//DTD D-Bus Bus Configuration "
                  "1.0//EN\" \"http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd\">\n"
                  "<busconfig><type>session</type><listen>" +
                      busAddress_ +
                      "</listen><policy context=\"default\"><allow send_destination=\"*\"/>"
                      "<allow receive_sender=\"*\"/><allow own=\"*\"/></policy></busconfig>\n");
        log_ = (dir / "kwin.log").string();
        const int logFd = open(log_.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
        busPid_ = velmora::testing::Spawn(
            {"/usr/bin/dbus-daemon", "--nofork", "--config-file=" + (dir / "bus.conf").string()},
            {}, logFd, logFd);
        // KWin's file capability cannot be exec'd where the bounding set lacks it; a copy has
        // none.
        const fs::path kwin = dir / "kwin_wayland";
        std::error_code ec;
        fs::copy_file("/usr/bin/kwin_wayland", kwin, ec);
        if (busPid_ > 0 && !ec && PollUntil([&] { return fs::exists(bus); }, 10000, 10)) {
            velmora::testing::SpawnEnv env{
                {"XDG_RUNTIME_DIR", dir.string()},
                {"HOME", dir.string()},
                {"XDG_CONFIG_HOME", (dir / "config").string()},
                {"XDG_CACHE_HOME", (dir / "cache").string()},
                {"XDG_DATA_HOME", (dir / "local").string()},
                {"XDG_DATA_DIRS", (dir / "data").string() + ":/usr/share"},
                {"DBUS_SESSION_BUS_ADDRESS", busAddress_},
                {"WAYLAND_DISPLAY", ""},
                {"DISPLAY", ""},
                {"QT_QPA_PLATFORM", ""}};
            if (!options.opengl) env.push_back({"KWIN_COMPOSE", "Q"});
            env.insert(env.end(), options.env.begin(), options.env.end());
            // In its own folder, as in a session: KWin resolves a relative Exec= against its
            // working folder. env execs KWin, so the pid is KWin's.
            kwinPid_ = velmora::testing::Spawn(
                {"/usr/bin/env", "-C", dir.string(), kwin.string(), "--virtual", "--no-lockscreen",
                 "--width", "1280", "--height", "800", "--socket", "wayland-k"},
                env, logFd, logFd);
        }
        if (logFd >= 0) close(logFd);
        waylandDisplay_ = (dir / "wayland-k").string();
    }
    ~HeadlessKwin() {
        Stop(kwinPid_);
        Stop(busPid_);
    }
    HeadlessKwin(const HeadlessKwin&) = delete;
    HeadlessKwin& operator=(const HeadlessKwin&) = delete;

    // Waits (bounded) for KWin's Wayland socket and its name on the bus; false when it died or
    // never made them.
    bool WaitReady(int timeoutMs = 20000) {
        const std::string ask = "dbus-send --bus='" + busAddress_ +
                                "' --print-reply --dest=org.freedesktop.DBus /org/freedesktop/DBus "
                                "org.freedesktop.DBus.NameHasOwner string:org.kde.KWin 2>/dev/null";
        return kwinPid_ > 0 &&
               PollUntil(
                   [&] {
                       if (waitpid(kwinPid_, nullptr, WNOHANG) == kwinPid_) {
                           kwinPid_ = -1;
                           return true;
                       }
                       return std::filesystem::exists(waylandDisplay_) &&
                              Shell(ask).find("boolean true") != std::string::npos;
                   },
                   timeoutMs, 50) &&
               kwinPid_ > 0;
    }
    // Installs a desktop entry while KWin runs; it notices new entries within a second or so.
    void AddEntry(const DesktopEntry& e) const {
        WriteFile(dir_.path() / "data" / "applications" / e.fileName, e.text);
    }
    // An absolute path: clients need no runtime folder of KWin's to reach it.
    const std::string& WaylandDisplay() const { return waylandDisplay_; }
    const std::string& BusAddress() const { return busAddress_; }
    std::string Log() const { return ReadFile(log_); }

  private:
    static void Stop(pid_t& pid) {
        if (pid <= 0) return;
        kill(pid, SIGTERM);
        if (!PollUntil([&] { return waitpid(pid, nullptr, WNOHANG) == pid; }, 5000, 20)) {
            kill(pid, SIGKILL);
            waitpid(pid, nullptr, 0);
        }
        pid = -1;
    }
    TempDir dir_;
    std::string busAddress_, log_, waylandDisplay_;
    pid_t busPid_ = -1, kwinPid_ = -1;
};
