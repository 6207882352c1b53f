#pragma once

#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/IEventLoop.h"

namespace velmora::platform::wayland {

// One run of a command-line tool: its input given whole, its output kept (up to a bound), its
// end awaited on the event loop and bounded (killed after that).
struct ToolResult {
    int status = -1;  // the exit code; -1 when it could not start, died or was killed
    std::string out;
};
struct ToolRequest {
    std::vector<std::string> args;                         // args[0] is looked up on PATH
    std::vector<std::pair<std::string, std::string>> env;  // set in the child
    std::string input;
    // Whether to read the standard output. A tool that leaves a child of its own behind
    // (wl-copy serves the clipboard from one) must not be read: its child holds the pipe.
    bool readOutput = false;
    std::size_t maxOutput = 64u << 20;
    int timeoutMs = 3000;
};
ToolResult RunTool(IEventLoop& loop, const ToolRequest& request);

}  // namespace velmora::platform::wayland
