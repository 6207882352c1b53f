#pragma once

// GNOME's backends on a headless mutter of their own, the portal's dialog granted, bundled
// into the ports a relay flow takes; the ports GNOME does not decide are the caller's.

#include <memory>
#include <string>

#include "HeadlessMutter.h"
#include "PortalSession.h"
#include "platform/Platform.h"
#include "platform/fake/FakePlatform.h"
#include "platform/qt/QtEventLoop.h"
#include "platform/wayland/PortalInput.h"
#include "platform/wayland/ScreenCast.h"
#include "platform/wayland/ScreenCastScreen.h"
#include "platform/wayland/ScreenCastWindows.h"
#include "platform/wayland/WlClipboard.h"
#include "target/SnapShotPick.h"

struct GnomeRelayDesk {
    // Empty when everything started; else what did not.
    std::string Start(velmora::platform::qt::QtEventLoop& loop,
                      velmora::platform::fake::FakePlatform& fp,
                      velmora::platform::IRegexEngine& regex, velmora::platform::IClock& clock) {
        namespace wl = velmora::platform::wayland;
        if (!desktop.WaitReady()) return "the desktop did not start";
        session = StartSession(desktop, loop, "share");
        if (!session->Started()) return session->Reason();
        cast = std::make_unique<wl::ScreenCast>(*session, loop);
        if (!cast->Available()) return cast->Reason();
        windows = std::make_unique<wl::ScreenCastWindows>(*cast);
        input = std::make_unique<wl::PortalInput>(*session);
        clipboard = std::make_unique<wl::WlClipboard>(
            loop, wl::WlClipboard::Options{desktop.WaylandDisplay(), 5000});
        if (!clipboard->Available()) return "wl-copy and wl-paste do not reach mutter";
        screen = std::make_unique<wl::ScreenCastScreen>(*clipboard, *cast);
        fp_ = &fp;
        regex_ = &regex;
        clock_ = &clock;
        loop_ = &loop;
        p = std::make_unique<velmora::platform::Platform>(PlatformWith(fp.accessibility));
        return "";
    }

    // The ports as Start bundled them, with another accessibility tree; only once started.
    velmora::platform::Platform PlatformWith(velmora::platform::IAccessibility& accessibility) {
        return velmora::platform::Platform{.input = *input,
                                           .windows = *windows,
                                           .clipboard = *clipboard,
                                           .screen = *screen,
                                           .http = fp_->http,
                                           .regex = *regex_,
                                           .codePage = fp_->codePage,
                                           .clock = *clock_,
                                           .loop = *loop_,
                                           .keyStore = fp_->keyStore,
                                           .processorId = fp_->processorId,
                                           .process = fp_->process,
                                           .messageBox = fp_->messageBox,
                                           .accessibility = accessibility};
    }

    // A pick as the user makes it: the screen frozen (onto the clipboard), then the window at the
    // point read once the picture is gone. The frozen picture it was made on.
    std::shared_ptr<const velmora::platform::Bitmap> Pick(velmora::platform::Point at,
                                                          velmora::target::TargetPoint& t) {
        screen->CaptureToClipboard();
        velmora::target::SnapShotFields f;
        velmora::target::FillFromPoint(*windows, f, at.x, at.y);
        velmora::target::CopyToTarget(f, t);
        windows->Watch(t.WinHwnd);
        return cast->FrozenPicture();
    }

    HeadlessMutter desktop;  // first: ended last
    std::unique_ptr<velmora::platform::wayland::PortalRemoteDesktop> session;
    std::unique_ptr<velmora::platform::wayland::ScreenCast> cast;
    std::unique_ptr<velmora::platform::wayland::ScreenCastWindows> windows;
    std::unique_ptr<velmora::platform::wayland::PortalInput> input;
    std::unique_ptr<velmora::platform::wayland::WlClipboard> clipboard;
    std::unique_ptr<velmora::platform::wayland::ScreenCastScreen> screen;
    std::unique_ptr<velmora::platform::Platform> p;

  private:
    velmora::platform::fake::FakePlatform* fp_ = nullptr;
    velmora::platform::IRegexEngine* regex_ = nullptr;
    velmora::platform::IClock* clock_ = nullptr;
    velmora::platform::qt::QtEventLoop* loop_ = nullptr;
};
