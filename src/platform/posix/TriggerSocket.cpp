#include "platform/posix/TriggerSocket.h"

#include <errno.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <stdexcept>

#include "platform/posix/FdWait.h"

namespace velmora::platform::posix {

namespace {

constexpr int kAnswerBoundMs = 5000;
constexpr std::string_view kOk = "ok\n";
constexpr std::string_view kRefused = "refused\n";

// A folder only this user can enter: ours, not a symlink, no access for others.
bool PrivateFolder(const std::filesystem::path& dir) {
    struct stat st {};
    if (lstat(dir.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) return false;
    return st.st_uid == getuid() && (st.st_mode & 077) == 0;
}

std::optional<sockaddr_un> AddressOf(const std::filesystem::path& path) {
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    const std::string& s = path.native();
    if (s.empty() || s.size() >= sizeof addr.sun_path) return std::nullopt;
    std::memcpy(addr.sun_path, s.c_str(), s.size() + 1);
    return addr;
}

UniqueFd ConnectTo(const std::filesystem::path& path) {
    const auto addr = AddressOf(path);
    if (!addr) return {};
    UniqueFd fd(socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
    if (!fd) return {};
    if (connect(fd.Get(), reinterpret_cast<const sockaddr*>(&*addr), sizeof *addr) != 0) return {};
    return fd;
}

// Reads up to a newline, at most max bytes, within boundMs: what came, or nullopt.
std::optional<std::string> ReadLine(int fd, std::size_t max, int boundMs) {
    const auto deadline = SteadyClock::now() + std::chrono::milliseconds(boundMs);
    std::string line;
    while (line.size() <= max) {
        if (!WaitForFd(fd, POLLIN, deadline)) return std::nullopt;
        char buf[64];
        const ssize_t n = recv(fd, buf, sizeof buf, MSG_DONTWAIT);
        if (n < 0 && (errno == EINTR || errno == EAGAIN)) continue;
        if (n <= 0) return std::nullopt;
        line.append(buf, static_cast<std::size_t>(n));
        if (const auto nl = line.find('\n'); nl != std::string::npos) return line.substr(0, nl);
    }
    return std::nullopt;
}

void SendAll(int fd, std::string_view text) {
    while (!text.empty()) {
        const ssize_t n = send(fd, text.data(), text.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return;
        text.remove_prefix(static_cast<std::size_t>(n));
    }
}

}  // namespace

std::filesystem::path TriggerSocketPath() {
    if (const char* runtime = std::getenv("XDG_RUNTIME_DIR"); runtime && *runtime) {
        const std::filesystem::path dir(runtime);
        if (dir.is_absolute() && PrivateFolder(dir)) return dir / "velmora.trigger";
    }
    const std::filesystem::path dir = "/tmp/velmora-" + std::to_string(getuid());
    if (mkdir(dir.c_str(), 0700) != 0 && errno != EEXIST) return {};
    if (!PrivateFolder(dir)) return {};
    return dir / "trigger";
}

TriggerListener::TriggerListener(std::filesystem::path path) : path_(std::move(path)) {
    const auto addr = AddressOf(path_);
    if (!addr) throw std::runtime_error("no usable place for the trigger socket");
    if (ConnectTo(path_)) throw std::runtime_error("another Velmora is running");
    // Nothing answers there: a socket left by a program that ended, taken over.
    struct stat st {};
    if (lstat(path_.c_str(), &st) == 0) {
        if (!S_ISSOCK(st.st_mode)) throw std::runtime_error("not a socket: " + path_.string());
        unlink(path_.c_str());
    }
    fd_ = UniqueFd(socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0));
    if (!fd_ || bind(fd_.Get(), reinterpret_cast<const sockaddr*>(&*addr), sizeof *addr) != 0 ||
        listen(fd_.Get(), 8) != 0)
        throw std::runtime_error("cannot listen at " + path_.string() + ": " +
                                 std::strerror(errno));
    chmod(path_.c_str(), 0600);
    struct stat made {};
    if (lstat(path_.c_str(), &made) == 0) inode_ = made.st_ino;
}

TriggerListener::~TriggerListener() {
    // Only the socket this object made: a later program may have taken the name over.
    struct stat byName {};
    if (inode_ != 0 && lstat(path_.c_str(), &byName) == 0 && byName.st_ino == inode_)
        unlink(path_.c_str());
}

void TriggerListener::Dispatch() {
    for (;;) {
        UniqueFd client(accept4(fd_.Get(), nullptr, nullptr, SOCK_CLOEXEC));
        if (!client) return;  // none left waiting (EAGAIN), or an error: the next wake retries
        Serve(client.Get());
    }
}

void TriggerListener::Serve(int client) {
    ucred peer{};
    socklen_t size = sizeof peer;
    if (getsockopt(client, SOL_SOCKET, SO_PEERCRED, &peer, &size) != 0 || peer.uid != getuid())
        return;  // another user's program: not answered at all
    const auto command = ReadLine(client, kMaxCommand, kReadBoundMs);
    const bool done = command && handler_ && handler_(*command);
    SendAll(client, done ? kOk : kRefused);
}

TriggerResult SendTrigger(const std::filesystem::path& path, std::string_view command) {
    UniqueFd fd = ConnectTo(path);
    if (!fd) return TriggerResult::NoProgram;
    std::string line(command);
    line += '\n';
    SendAll(fd.Get(), line);
    const auto answer = ReadLine(fd.Get(), 16, kAnswerBoundMs);
    if (!answer) return TriggerResult::NoProgram;
    return *answer + "\n" == kOk ? TriggerResult::Done : TriggerResult::Refused;
}

}  // namespace velmora::platform::posix
