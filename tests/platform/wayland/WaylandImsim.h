#pragma once

// imsim's chat window as a Wayland client of a HeadlessSway, and where sway put it.

#include <signal.h>
#include <sys/wait.h>

#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

#include "HeadlessSway.h"
#include "ImsimClient.h"
#include "platform/wayland/SwayIpc.h"
#include "support/PollUntil.h"
#include "support/Spawn.h"
#include "support/TempDir.h"

// Generous for a loaded machine: a Qt window's first frame under stress takes seconds.
inline constexpr int kAppearMs = 20000;

// One imsim chat window on sway's display, ended with the object.
class WaylandImsim {
  public:
    WaylandImsim(const HeadlessSway& sway, const TempDir& dir, const std::string& peer,
                 const std::vector<std::string>& extra = {})
        : WaylandImsim(sway.WaylandDisplay(), dir, peer, extra) {}
    // On the Wayland display at that socket path.
    WaylandImsim(const std::string& display, const TempDir& dir, const std::string& peer,
                 const std::vector<std::string>& extra = {})
        : client_((dir.path() / (peer + ".ctl")).string()) {
        const std::string binary =
            std::string(std::getenv("VELMORA_BUILD_DIR")) + "/tools/imsim/imsim";
        std::vector<std::string> args{binary, "--control", (dir.path() / (peer + ".ctl")).string(),
                                      "--me", "Bob",       "--peer",
                                      peer};
        args.insert(args.end(), extra.begin(), extra.end());
        pid_ = velmora::testing::Spawn(args, {{"QT_QPA_PLATFORM", "wayland"},
                                              {"WAYLAND_DISPLAY", display},
                                              {"XDG_RUNTIME_DIR", dir.path().string()},
                                              {"DISPLAY", ""}});
    }
    ~WaylandImsim() { Close(); }
    WaylandImsim(const WaylandImsim&) = delete;
    WaylandImsim& operator=(const WaylandImsim&) = delete;

    pid_t pid() const { return pid_; }
    const imsim::ImsimClient& client() const { return client_; }
    void Close() {
        if (pid_ <= 0) return;
        const auto ended = [this] { return waitpid(pid_, nullptr, WNOHANG) == pid_; };
        // Under load a Wayland imsim sometimes answers quit and then lingers in its exit: it
        // has no SIGTERM handler, so the signal ends it at once.
        client_.Request("quit", 1000);
        if (!PollUntil(ended, 1000, 20)) {
            kill(pid_, SIGTERM);
            if (!PollUntil(ended, 3000, 20)) {
                kill(pid_, SIGKILL);
                waitpid(pid_, nullptr, 0);
            }
        }
        pid_ = -1;
    }

  private:
    imsim::ImsimClient client_;
    pid_t pid_ = -1;
};

// The view of a program once it has mapped a window and sway has settled its place: a new
// view gets its title bar a layout pass after it first shows, so the same view must be read
// three times in a row, 100 ms apart.
inline std::optional<velmora::platform::wayland::SwayWindow> SettledView(
    velmora::platform::wayland::SwayIpc& ipc, pid_t pid) {
    using velmora::platform::wayland::SwayWindow;
    std::optional<SwayWindow> last;
    int same = 0;
    const bool settled = PollUntil(
        [&] {
            std::optional<SwayWindow> now;
            if (const auto views = ipc.GetTree())
                for (const SwayWindow& v : *views)
                    if (v.pid == pid && v.content.width > 0 && !v.name.empty()) now = v;
            same = now && now == last ? same + 1 : 0;
            last = now;
            return same >= 2;
        },
        kAppearMs, 100);
    return settled ? last : std::nullopt;
}
