#pragma once

#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "platform/posix/UniqueFd.h"

namespace velmora::platform::posix {

// Where the running program listens for commands from a second start of it: the user's
// runtime folder (XDG_RUNTIME_DIR) when it is set, else a folder of the user's own in /tmp.
// Empty when no such folder can be had safely (one owned by another user, or a symlink).
std::filesystem::path TriggerSocketPath();

// The running program's door for `velmora --trigger <command>`, which a desktop binds to a key
// where it gives programs no global shortcut of their own. A Unix socket, answered only for the
// user the program runs as; one command line per connection, answered "ok" or "refused".
class TriggerListener {
  public:
    static constexpr std::size_t kMaxCommand = 64;
    // How long one connection may take to say its command; the loop waits that long at most.
    static constexpr int kReadBoundMs = 200;

    // Takes over a socket file left by a program that ended. Throws std::runtime_error when
    // another running program listens there, or the socket cannot be made.
    explicit TriggerListener(std::filesystem::path path);
    ~TriggerListener();
    TriggerListener(const TriggerListener&) = delete;
    TriggerListener& operator=(const TriggerListener&) = delete;

    // Readable when a connection waits; Dispatch then serves every waiting one.
    int Fd() const { return fd_.Get(); }
    void Dispatch();
    // Runs a command; false refuses it (an unknown command).
    void SetHandler(std::function<bool(std::string_view command)> handler) {
        handler_ = std::move(handler);
    }

  private:
    void Serve(int client);

    std::filesystem::path path_;
    UniqueFd fd_;
    unsigned long inode_ = 0;  // the socket file this object made
    std::function<bool(std::string_view)> handler_;
};

// What a second start says to the running program.
enum class TriggerResult { Done, Refused, NoProgram };

// Sends one command to the program listening at path and waits (bounded) for its answer.
TriggerResult SendTrigger(const std::filesystem::path& path, std::string_view command);

}  // namespace velmora::platform::posix
