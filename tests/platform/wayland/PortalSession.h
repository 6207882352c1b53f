#pragma once

// A portal remote-desktop session on a HeadlessMutter, its permission dialog answered by the
// test's helper through the accessibility bus.

#include <signal.h>
#include <sys/wait.h>

#include <QCoreApplication>
#include <cstdlib>
#include <memory>
#include <optional>
#include <string>

#include "HeadlessMutter.h"
#include "WaylandImsim.h"
#include "platform/IEventLoop.h"
#include "platform/Types.h"
#include "platform/wayland/PortalRemoteDesktop.h"
#include "support/PollUntil.h"
#include "support/Spawn.h"

// The test's hand on the permission dialog: a process that presses Share or Cancel in it.
class DialogAnswer {
  public:
    DialogAnswer(const HeadlessMutter& desktop, const char* button) {
        const std::string tool =
            std::string(std::getenv("VELMORA_BUILD_DIR")) + "/tests/platform/wayland/portal_dialog";
        pid_ = velmora::testing::Spawn({tool, button, "20000"}, desktop.Env());
    }
    ~DialogAnswer() { Pressed(); }
    DialogAnswer(const DialogAnswer&) = delete;
    DialogAnswer& operator=(const DialogAnswer&) = delete;
    // Whether it pressed the button; waits (bounded) for it to end.
    bool Pressed() {
        if (pid_ <= 0) return status_ == 0;
        int status = -1;
        if (!PollUntil([&] { return waitpid(pid_, &status, WNOHANG) == pid_; }, 25000, 20)) {
            kill(pid_, SIGKILL);
            waitpid(pid_, &status, 0);
        }
        pid_ = -1;
        status_ = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        return status_ == 0;
    }

  private:
    pid_t pid_ = -1;
    int status_ = -1;
};

// A session on the desktop's bus whose dialog is answered with `button`.
inline std::unique_ptr<velmora::platform::wayland::PortalRemoteDesktop> StartSession(
    const HeadlessMutter& desktop, velmora::platform::IEventLoop& loop, const char* button) {
    DialogAnswer answer(desktop, button);
    velmora::platform::wayland::PortalRemoteDesktop::Options options;
    options.busAddress = desktop.BusAddress();
    options.dialogTimeoutMs = 25000;
    auto session = std::make_unique<velmora::platform::wayland::PortalRemoteDesktop>(loop, options);
    session->Start();
    return session;
}

// Where a full-screen chat window's controls are once it fills the screen (and, with
// `focused`, has the focus: where no picture of the screen shows the window is there, clicks
// and keys may otherwise reach no window). Before, it lays them out in its first, smaller size.
inline std::optional<imsim::ImsimGeometry> FullScreenGeometry(const WaylandImsim& chat,
                                                              bool focused = true) {
    std::optional<imsim::ImsimGeometry> g;
    const bool full = PollUntil(
        [&] {
            g = chat.client().Geometry();
            return g && g->input.x + g->input.width > 1200 && (!focused || chat.client().Active());
        },
        kAppearMs, 50);
    return full ? g : std::nullopt;
}

inline velmora::platform::Point Centre(const imsim::ControlRect& r) {
    return {r.x + r.width / 2, r.y + r.height / 2};
}
