#pragma once

// A headless GNOME desktop of the test's own: a private session bus, mutter on a 1280x800
// virtual monitor, PipeWire and WirePlumber, the accessibility bus (the portal's dialog is
// answered through it) and the desktop portal with its GNOME backend. Everything runs in one
// process group of its own, ended with the object.

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <filesystem>
#include <string>
#include <vector>

#include "support/PollUntil.h"
#include "support/Spawn.h"
#include "support/TempDir.h"

class HeadlessMutter {
  public:
    HeadlessMutter() {
        const auto& dir = dir_.path();
        chmod(dir.c_str(), 0700);
        busAddress_ = "unix:path=" + (dir / "bus").string();
        waylandDisplay_ = (dir / "wayland-m").string();
        // Only the permission store may be started on demand: nothing of the machine's own
        // desktop (keyring, document store) joins this bus.
        const auto services = dir / "services";
        std::filesystem::create_directories(services);
        WriteFile(services / "org.freedesktop.impl.portal.PermissionStore.service",
                  "[D-BUS Service]\nName=org.freedesktop.impl.portal.PermissionStore\n"
                  "Exec=/usr/libexec/xdg-permission-store\n");
        WriteFile(dir / "bus.conf",
                  "<!DOCTYPE busconfig PUBLIC \"-//freedesktop//DTD D-Bus Bus Configuration "
                  "1.0//EN\" \"http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd\">\n"
                  "<busconfig><type>session</type><listen>" +
                      busAddress_ + "</listen><servicedir>" + services.string() +
                      "</servicedir><policy context=\"default\"><allow send_destination=\"*\" "
                      "eavesdrop=\"true\"/><allow eavesdrop=\"true\"/><allow own=\"*\"/>"
                      "</policy></busconfig>\n");
        log_ = (dir / "desktop.log").string();
        group_ = Start(
            {"/usr/bin/dbus-daemon", "--nofork", "--config-file=" + (dir / "bus.conf").string()},
            0);
        if (group_ <= 0 || !PollUntil([&] { return std::filesystem::exists(dir / "bus"); }, 10000))
            return;
        // WirePlumber (which links the screen-cast streams) and mutter connect to PipeWire
        // once, as they start: either one that came first leaves every stream without frames.
        Start({"/usr/bin/pipewire"}, group_);
        if (!PollUntil([&] { return std::filesystem::exists(dir / "pipewire-0"); }, 15000, 20))
            return;
        Start({"/usr/bin/wireplumber"}, group_);
        Start({"/usr/bin/mutter", "--headless", "--wayland", "--no-x11", "--virtual-monitor",
               "1280x800", "--wayland-display", "wayland-m"},
              group_, {{"WAYLAND_DISPLAY", ""}});
        Start({"/usr/libexec/at-spi-bus-launcher", "--launch-immediately"}, group_);
        // The portal's dialogs are windows on mutter's display: its backend starts once that is.
        if (!PollUntil([&] { return std::filesystem::exists(waylandDisplay_); }, 15000, 20)) return;
        Start({"/usr/libexec/xdg-desktop-portal-gnome"}, group_);
        if (!PollUntil([&] { return HasName("org.freedesktop.impl.portal.desktop.gnome"); }, 15000,
                       50))
            return;
        Start({"/usr/libexec/xdg-desktop-portal"}, group_);
    }
    ~HeadlessMutter() {
        if (!busName_.empty()) QDBusConnection::disconnectFromBus(QString::fromStdString(busName_));
        if (group_ <= 0) return;
        killpg(group_, SIGTERM);
        const bool ended = PollUntil(
            [this] {
                for (pid_t& p : pids_)
                    if (p > 0 && waitpid(p, nullptr, WNOHANG) == p) p = -1;
                for (pid_t p : pids_)
                    if (p > 0) return false;
                return true;
            },
            5000, 20);
        // What the bus started on demand is in the group too.
        killpg(group_, SIGKILL);
        if (!ended)
            for (pid_t p : pids_)
                if (p > 0) waitpid(p, nullptr, 0);
    }
    HeadlessMutter(const HeadlessMutter&) = delete;
    HeadlessMutter& operator=(const HeadlessMutter&) = delete;

    // Waits (bounded) for mutter's display, its screen-cast service and the portal; false when
    // any part died or never came.
    bool WaitReady(int timeoutMs = 20000) {
        return group_ > 0 && PollUntil(
                                 [this] {
                                     return std::filesystem::exists(waylandDisplay_) &&
                                            HasName("org.gnome.Mutter.ScreenCast") &&
                                            HasName("org.gnome.Mutter.RemoteDesktop") &&
                                            HasName("org.freedesktop.portal.Desktop") &&
                                            HasName("org.a11y.Bus");
                                 },
                                 timeoutMs, 50);
    }
    const std::string& BusAddress() const { return busAddress_; }
    // An absolute path: clients need no runtime folder of mutter's to reach it.
    const std::string& WaylandDisplay() const { return waylandDisplay_; }
    // What a program on this desktop sees.
    velmora::testing::SpawnEnv Env() const {
        const std::string dir = dir_.path().string();
        return {{"XDG_RUNTIME_DIR", dir},
                {"HOME", dir},
                {"DBUS_SESSION_BUS_ADDRESS", busAddress_},
                {"WAYLAND_DISPLAY", waylandDisplay_},
                {"DISPLAY", ""},
                {"XDG_CURRENT_DESKTOP", "GNOME"},
                {"XDG_SESSION_TYPE", "wayland"},
                {"GDK_BACKEND", "wayland"},
                {"GSETTINGS_BACKEND", "memory"}};
    }
    std::string Log() const { return ReadFile(log_); }

  private:
    pid_t Start(const std::vector<std::string>& args, pid_t group,
                const velmora::testing::SpawnEnv& extra = {}) {
        auto env = Env();
        for (const auto& kv : extra) env.push_back(kv);
        const int logFd = open(log_.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
        const pid_t pid = velmora::testing::Spawn(args, env, logFd, logFd, group);
        if (logFd >= 0) close(logFd);
        if (pid > 0) pids_.push_back(pid);
        return pid;
    }
    bool HasName(const char* name) {
        if (busName_.empty()) {
            busName_ = "headless-mutter-" + std::to_string(reinterpret_cast<std::uintptr_t>(this));
            QDBusConnection::connectToBus(QString::fromStdString(busAddress_),
                                          QString::fromStdString(busName_));
        }
        QDBusConnection bus(QString::fromStdString(busName_));
        if (!bus.isConnected()) {
            // The bus was not up yet at the first try: connect again.
            QDBusConnection::disconnectFromBus(QString::fromStdString(busName_));
            busName_.clear();
            return false;
        }
        const auto reply = bus.interface()->isServiceRegistered(QString::fromLatin1(name));
        return reply.isValid() && reply.value();
    }

    TempDir dir_;
    std::string busAddress_, waylandDisplay_, log_, busName_;
    pid_t group_ = -1;
    std::vector<pid_t> pids_;
};
