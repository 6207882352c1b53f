#pragma once

// One imsim chat window on a headless sway's display, ended with the object.

#include <signal.h>
#include <sys/wait.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "HeadlessSway.h"
#include "ImsimClient.h"
#include "support/PollUntil.h"
#include "support/Spawn.h"
#include "support/TempDir.h"

class WaylandImsim {
  public:
    WaylandImsim(const HeadlessSway& sway, const TempDir& dir, const std::string& peer,
                 const std::vector<std::string>& extra = {})
        : client_((dir.path() / (peer + ".ctl")).string()) {
        const std::string binary =
            std::string(std::getenv("VELMORA_BUILD_DIR")) + "/tools/imsim/imsim";
        std::vector<std::string> args{binary, "--control", (dir.path() / (peer + ".ctl")).string(),
                                      "--me", "Bob",       "--peer",
                                      peer};
        args.insert(args.end(), extra.begin(), extra.end());
        pid_ = velmora::testing::Spawn(args, {{"QT_QPA_PLATFORM", "wayland"},
                                              {"WAYLAND_DISPLAY", sway.WaylandDisplay()},
                                              {"XDG_RUNTIME_DIR", dir.path().string()},
                                              {"DISPLAY", ""}});
    }
    ~WaylandImsim() { Close(); }
    WaylandImsim(const WaylandImsim&) = delete;
    WaylandImsim& operator=(const WaylandImsim&) = delete;

    pid_t pid() const { return pid_; }
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
