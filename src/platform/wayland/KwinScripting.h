#pragma once

#include <memory>
#include <optional>
#include <string>

namespace velmora::platform::wayland {

// Runs short scripts inside KWin (KDE Plasma's compositor) through its D-Bus scripting
// interface and gets their answers back: KWin has no query interface for windows, but its
// scripts see all of them. A script reports one value with report(value); it reaches us as a
// D-Bus call to an object on a connection of our own, received on a thread of our own, so a
// query needs no event loop of the caller's to turn.
class KwinScripting {
  public:
    // Needs Qt's application object. busAddress: a D-Bus address; empty: the session bus. Throws
    // std::runtime_error, saying why, when there is no such bus or no KWin on it.
    // reportMs: how long a script's report is waited for by default.
    explicit KwinScripting(const std::string& busAddress = {}, int reportMs = 3000);
    ~KwinScripting();
    KwinScripting(const KwinScripting&) = delete;
    KwinScripting& operator=(const KwinScripting&) = delete;

    // Runs `body`, JavaScript in which report(v) sends v back, and returns v as JSON text;
    // nullopt when KWin refused the script, it threw or did not report within timeoutMs
    // (negative: the default).
    std::optional<std::string> Run(const std::string& body, int timeoutMs = -1);

  private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace velmora::platform::wayland
