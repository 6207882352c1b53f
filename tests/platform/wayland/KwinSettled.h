#pragma once

// Where KWin put a program's window, as its scripts see it.

#include <sys/types.h>

#include <optional>
#include <string>

#include "WaylandImsim.h"
#include "platform/wayland/KwinScripting.h"
#include "platform/wayland/KwinWindowList.h"
#include "support/PollUntil.h"

// KWin's description of the program's window now; nullopt while it has none with a size.
inline std::optional<velmora::platform::wayland::KwinWindow> KwinWindowOf(
    velmora::platform::wayland::KwinScripting& scripting, pid_t pid) {
    using namespace velmora::platform::wayland;
    const auto text = scripting.Run(std::string(kKwinListScript) + "report(snapshot());");
    const auto s = text ? ParseKwinSnapshot(*text) : std::nullopt;
    if (s)
        for (const KwinWindow& k : s->windows)
            if (k.pid == pid && k.client.right > k.client.left) return k;
    return std::nullopt;
}

// The same, once the window's surface has stayed put for three reads 100 ms apart.
inline std::optional<velmora::platform::wayland::KwinWindow> SettledKwinWindow(
    velmora::platform::wayland::KwinScripting& scripting, pid_t pid) {
    std::optional<velmora::platform::wayland::KwinWindow> last;
    int same = 0;
    const bool settled = PollUntil(
        [&] {
            const auto now = KwinWindowOf(scripting, pid);
            same = now && last && now->client == last->client ? same + 1 : 0;
            last = now;
            return same >= 2;
        },
        kAppearMs, 100);
    return settled ? last : std::nullopt;
}
