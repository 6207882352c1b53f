#pragma once

// The in-place run as a Wayland desktop starts it: the desktop's own shortcut binding runs
// `velmora --trigger inplace`, which reaches the running program through its trigger socket.

#include <chrono>
#include <future>

#include "platform/posix/TriggerSocket.h"
#include "platform/qt/QtEventLoop.h"
#include "platform/qt/QtFdWatch.h"
#include "relay/InPlaceFlow.h"
#include "relay/RelayScheduler.h"
#include "support/TempDir.h"

// Sends the trigger from another thread, as the command would, and runs the flow it asks for;
// the trigger's answer once the flow has ended, or nothing when either took too long.
inline std::optional<velmora::platform::posix::TriggerResult> TriggerInPlace(
    velmora::platform::qt::QtEventLoop& loop, velmora::relay::InPlaceFlow& inPlace,
    velmora::relay::RelayScheduler& scheduler) {
    namespace posix = velmora::platform::posix;
    TempDir runtime;
    posix::TriggerListener listener(runtime.path() / "velmora.trigger");
    velmora::platform::qt::QtFdWatch watch(listener.Fd(), [&] { listener.Dispatch(); });
    int runs = 0;
    listener.SetHandler([&](std::string_view command) {
        if (command != "inplace") return false;
        loop.Post([&] {
            inPlace.OnShortcut();
            ++runs;
        });
        return true;
    });
    auto sent = std::async(std::launch::async, [&] {
        return posix::SendTrigger(runtime.path() / "velmora.trigger", "inplace");
    });
    const bool ended = loop.WaitUntil(
        [&] {
            return sent.wait_for(std::chrono::seconds(0)) == std::future_status::ready &&
                   runs > 0 && !scheduler.Busy();
        },
        20'000);
    const posix::TriggerResult result = sent.get();
    if (!ended) return std::nullopt;
    return result;
}
