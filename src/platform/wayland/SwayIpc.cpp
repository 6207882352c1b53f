#include "platform/wayland/SwayIpc.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <climits>
#include <cstring>
#include <nlohmann/json.hpp>

#include "platform/posix/FdWait.h"
#include "platform/posix/PosixPipeline.h"

namespace velmora::platform::wayland {

namespace {

using Json = nlohmann::json;
using Clock = std::chrono::steady_clock;

constexpr char kMagic[] = {'i', '3', '-', 'i', 'p', 'c'};
constexpr std::size_t kMagicSize = sizeof kMagic;
constexpr std::size_t kHeaderSize = kMagicSize + 2 * sizeof(std::uint32_t);
// Sway's containers nest a few levels per split; far deeper is not a tree sway made.
constexpr int kMaxDepth = 128;

bool WriteAll(int fd, const std::string& bytes, Clock::time_point deadline) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        if (!posix::WaitForFd(fd, POLLOUT, deadline)) return false;
        const ssize_t n = send(fd, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL);
        if (n < 0 && (errno == EINTR || errno == EAGAIN)) continue;
        if (n <= 0) return false;
        done += static_cast<std::size_t>(n);
    }
    return true;
}

bool ReadExactly(int fd, char* out, std::size_t size, Clock::time_point deadline) {
    std::size_t done = 0;
    while (done < size) {
        if (!posix::WaitForFd(fd, POLLIN, deadline)) return false;
        const ssize_t n = recv(fd, out + done, size - done, 0);
        if (n < 0 && (errno == EINTR || errno == EAGAIN)) continue;
        if (n <= 0) return false;  // closed before the whole answer came
        done += static_cast<std::size_t>(n);
    }
    return true;
}

posix::UniqueFd Connect(const std::string& path) {
    sockaddr_un addr{};
    if (path.empty() || path.size() >= sizeof addr.sun_path) return {};
    posix::UniqueFd fd(socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0));
    if (!fd) return {};
    addr.sun_family = AF_UNIX;
    std::memcpy(addr.sun_path, path.c_str(), path.size());
    // A UNIX socket connects at once or fails; EAGAIN means sway's backlog is full.
    if (connect(fd.Get(), reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) return {};
    return fd;
}

const Json* Member(const Json& j, const char* name) {
    if (!j.is_object()) return nullptr;
    auto it = j.find(name);
    return it == j.end() ? nullptr : &*it;
}

int Int(const Json* j) {
    if (!j) return 0;
    if (j->is_number_integer()) {
        const auto v = j->get<long long>();
        return v < INT_MIN || v > INT_MAX ? 0 : static_cast<int>(v);
    }
    if (j->is_number_unsigned()) {
        const auto v = j->get<unsigned long long>();
        return v > INT_MAX ? 0 : static_cast<int>(v);
    }
    return 0;
}

std::string String(const Json* j) {
    return j && j->is_string() ? j->get<std::string>() : std::string();
}

bool Bool(const Json* j) {
    return j && j->is_boolean() && j->get<bool>();
}

std::optional<SwayRect> RectOf(const Json* j) {
    if (!j || !j->is_object()) return std::nullopt;
    return SwayRect{Int(Member(*j, "x")), Int(Member(*j, "y")), Int(Member(*j, "width")),
                    Int(Member(*j, "height"))};
}

// A view is a container that holds a program's surface: Wayland ones have an app_id, Xwayland
// ones window_properties; both have a pid. Workspaces and split containers have neither.
bool IsView(const Json& node) {
    const Json* appId = Member(node, "app_id");
    const Json* props = Member(node, "window_properties");
    return Member(node, "pid") && ((appId && appId->is_string()) || (props && props->is_object()));
}

std::optional<SwayWindow> ViewOf(const Json& node, bool floating) {
    const Json* id = Member(node, "id");
    if (!id || !(id->is_number_integer() || id->is_number_unsigned())) return std::nullopt;
    if (id->is_number_unsigned() && id->get<unsigned long long>() > LLONG_MAX) return std::nullopt;
    const auto frame = RectOf(Member(node, "rect"));
    if (!frame) return std::nullopt;
    SwayWindow w;
    w.id = id->get<long long>();
    w.pid = Int(Member(node, "pid"));
    w.appId = String(Member(node, "app_id"));
    if (w.appId.empty())
        if (const Json* props = Member(node, "window_properties"))
            w.appId = String(Member(*props, "class"));
    w.name = String(Member(node, "name"));
    w.frame = *frame;
    // window_rect places the surface inside the container; without it, the surface is taken
    // to fill the container.
    w.content = w.frame;
    if (auto inner = RectOf(Member(node, "window_rect")); inner && inner->width > 0) {
        w.content = {w.frame.x + inner->x, w.frame.y + inner->y, inner->width, inner->height};
    }
    w.focused = Bool(Member(node, "focused"));
    w.visible = Bool(Member(node, "visible"));
    w.floating = floating;
    return w;
}

void Collect(const Json& node, bool floating, int depth, std::vector<SwayWindow>& out) {
    if (depth > kMaxDepth || !node.is_object()) return;
    if (IsView(node)) {
        if (auto w = ViewOf(node, floating)) out.push_back(std::move(*w));
    }
    for (const char* list : {"nodes", "floating_nodes"}) {
        const Json* children = Member(node, list);
        if (!children || !children->is_array()) continue;
        const bool childFloating = floating || std::strcmp(list, "floating_nodes") == 0;
        for (const Json& child : *children) Collect(child, childFloating, depth + 1, out);
    }
}

Json Parse(std::string_view text) {
    return Json::parse(text.begin(), text.end(), nullptr, /*allow_exceptions=*/false);
}

}  // namespace

SwayIpc::SwayIpc(std::string socketPath) : SwayIpc(std::move(socketPath), Limits{}) {}

SwayIpc::SwayIpc(std::string socketPath, Limits limits)
    : path_(std::move(socketPath)), limits_(limits) {}

std::optional<std::string> SwayIpc::Request(MessageType type, std::string_view payload) {
    if (payload.size() > limits_.maxPayload) return std::nullopt;
    const auto deadline = Clock::now() + std::chrono::milliseconds(limits_.timeoutMs);
    posix::UniqueFd fd = Connect(path_);
    if (!fd) return std::nullopt;

    // The header's numbers are in the host's byte order: sway runs on this machine.
    const auto length = static_cast<std::uint32_t>(payload.size());
    const auto kind = static_cast<std::uint32_t>(type);
    std::string message(kMagic, kMagicSize);
    message.append(reinterpret_cast<const char*>(&length), sizeof length);
    message.append(reinterpret_cast<const char*>(&kind), sizeof kind);
    message.append(payload);
    if (!WriteAll(fd.Get(), message, deadline)) return std::nullopt;

    char header[kHeaderSize];
    if (!ReadExactly(fd.Get(), header, kHeaderSize, deadline)) return std::nullopt;
    if (std::memcmp(header, kMagic, kMagicSize) != 0) return std::nullopt;
    std::uint32_t answerLength = 0;
    std::uint32_t answerType = 0;
    std::memcpy(&answerLength, header + kMagicSize, sizeof answerLength);
    std::memcpy(&answerType, header + kMagicSize + sizeof answerLength, sizeof answerType);
    // Only subscribed connections get events; any other type is not the answer asked for.
    if (answerType != kind || answerLength > limits_.maxPayload) return std::nullopt;
    std::string answer(answerLength, '\0');
    if (!ReadExactly(fd.Get(), answer.data(), answer.size(), deadline)) return std::nullopt;
    return answer;
}

bool SwayIpc::RunCommand(const std::string& command) {
    const auto answer = Request(kRunCommand, command);
    return answer && ParseCommandSuccess(*answer);
}

std::optional<std::vector<SwayWindow>> SwayIpc::GetTree() {
    const auto answer = Request(kGetTree, {});
    if (!answer) return std::nullopt;
    return ParseTree(*answer);
}

bool ParseCommandSuccess(std::string_view text) {
    const Json j = Parse(text);
    if (!j.is_array() || j.empty()) return false;
    for (const Json& result : j)
        if (!Bool(Member(result, "success"))) return false;
    return true;
}

std::optional<std::vector<SwayWindow>> ParseTree(std::string_view text) {
    const Json j = Parse(text);
    // The root is the one node of type "root"; anything else is not a tree.
    if (!j.is_object() || String(Member(j, "type")) != "root") return std::nullopt;
    std::vector<SwayWindow> views;
    Collect(j, false, 0, views);
    return views;
}

}  // namespace velmora::platform::wayland
