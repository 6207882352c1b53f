#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/IClipboard.h"
#include "platform/wayland/WaylandHandles.h"

namespace velmora::platform::wayland {

// The regular selection through wlroots' data-control protocol, on a connection of its own
// that a thread of its own serves: other programs' pastes are answered whatever the program's
// event loop does meanwhile (a wait, a Hold while a key is down, a handler that blocks), and
// no keyboard focus is needed, neither to set nor to read the selection.
class DataControlSession {
  public:
    struct Limits {
        int syncMs = 1000;   // for the compositor's answer to a round trip
        int writeMs = 5000;  // for a paste's reader to take the bytes
    };
    // display: a socket name or absolute path, empty for WAYLAND_DISPLAY. onEvent runs on the
    // session's thread whenever the selection changed or a paste was served.
    DataControlSession(const std::string& display, std::function<void()> onEvent, Limits limits);
    ~DataControlSession();
    DataControlSession(const DataControlSession&) = delete;
    DataControlSession& operator=(const DataControlSession&) = delete;

    // Connected to a compositor with data-control and a seat.
    bool Ready() const;
    // Makes contents the selection; empty contents unset it. reads, when given, counts the
    // requests served for it.
    bool SetSelection(std::shared_ptr<const ClipboardContents> contents,
                      std::shared_ptr<std::atomic<int>> reads);
    // Waits (bounded) until the events the compositor sent before are handled.
    bool Sync();
    // What we hold, while the selection is still ours; null otherwise.
    std::shared_ptr<const ClipboardContents> Owned();
    // The selection's types (at most kMaxOfferTypes, and the text and picture types past them);
    // nullopt when not Ready, empty when the
    // selection is empty.
    std::optional<std::vector<std::string>> OfferedTypes();
    // Asks the selection's owner for type: the read end of the pipe it writes to, or none.
    UniqueFd Receive(const std::string& type);

    static constexpr std::size_t kMaxOfferTypes = 256;
    static constexpr std::size_t kMaxTypeLength = 1024;
    static constexpr std::size_t kMaxPendingWrites = 64;

    struct State;

  private:
    void Run();
    std::unique_ptr<State> s_;
};

}  // namespace velmora::platform::wayland
