#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace velmora::platform::wayland {

// A rectangle as sway gives it: corner and size, in layout (screen) coordinates.
struct SwayRect {
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;
    bool Contains(int px, int py) const {
        return px >= x && py >= y && px - x < width && py - y < height;
    }
    bool operator==(const SwayRect&) const = default;
};

// A view (a program's window) in sway's tree.
struct SwayWindow {
    long long id = 0;   // the container id, stable for the window's life
    int pid = 0;        // 0 when sway does not know it
    std::string appId;  // Wayland app_id, or the X11 class of an Xwayland window
    std::string name;   // the title
    SwayRect frame;     // the container with its borders (sway puts the title bar above it)
    SwayRect content;   // the program's surface, absolute
    bool focused = false;
    bool visible = false;
    bool floating = false;
    bool operator==(const SwayWindow&) const = default;
};

// Sway's IPC: one connection per request to the socket named by SWAYSOCK. Its answers are
// untrusted bytes: each request is bounded in time and size, and anything malformed is a
// failure, never a crash.
class SwayIpc {
  public:
    struct Limits {
        int timeoutMs = 2000;                  // the whole request, connect to last byte
        std::uint32_t maxPayload = 32u << 20;  // a tree of a few thousand windows fits
    };
    enum MessageType : std::uint32_t { kRunCommand = 0, kGetTree = 4 };

    explicit SwayIpc(std::string socketPath);
    SwayIpc(std::string socketPath, Limits limits);

    // True when sway ran every command of the line.
    bool RunCommand(const std::string& command);
    // The views of the whole tree; nullopt when sway could not be asked or answered nonsense.
    std::optional<std::vector<SwayWindow>> GetTree();

    // One framed request; the answer's payload when its header matched the request.
    std::optional<std::string> Request(MessageType type, std::string_view payload);

  private:
    std::string path_;
    Limits limits_;
};

// The answer of RUN_COMMAND: an array of {"success": bool} objects, one per command.
bool ParseCommandSuccess(std::string_view json);
// The views of a GET_TREE answer, in tree order (tiled before floating, per workspace).
std::optional<std::vector<SwayWindow>> ParseTree(std::string_view json);

}  // namespace velmora::platform::wayland
