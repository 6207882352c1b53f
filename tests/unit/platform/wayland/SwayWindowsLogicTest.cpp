// SwayWindows' own decisions (stacking, identity of a watched window) against a stand-in sway
// on a real UNIX socket that answers every GET_TREE with the tree the test set.

#include <gtest/gtest.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <atomic>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>

#include "platform/wayland/SwayWindows.h"
#include "support/SleepLoop.h"
#include "support/TempDir.h"

namespace velmora::platform::wayland {
namespace {

class TreeServer {
  public:
    TreeServer() : path_((dir_.path() / "ipc.sock").string()) {
        listen_ = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_un addr{};
        addr.sun_family = AF_UNIX;
        std::strncpy(addr.sun_path, path_.c_str(), sizeof addr.sun_path - 1);
        if (bind(listen_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
            listen(listen_, 8) != 0)
            ADD_FAILURE() << "cannot listen on " << path_;
        thread_ = std::thread([this] { Serve(); });
    }
    ~TreeServer() {
        stop_ = true;
        thread_.join();
        close(listen_);
    }
    const std::string& path() const { return path_; }
    // The views, as the "nodes" of one workspace.
    void SetViews(const std::string& nodes) {
        std::lock_guard lock(mutex_);
        tree_ = R"({"id":1,"type":"root","nodes":[)" + nodes + "]}";
    }

  private:
    void Serve() {
        while (!stop_) {
            pollfd p{listen_, POLLIN, 0};
            if (poll(&p, 1, 20) <= 0) continue;
            const int conn = accept(listen_, nullptr, nullptr);
            if (conn < 0) continue;
            char header[14];
            if (recv(conn, header, sizeof header, MSG_WAITALL) == sizeof header) {
                std::uint32_t length = 0, type = 0;
                std::memcpy(&length, header + 6, 4);
                std::memcpy(&type, header + 10, 4);
                std::string payload(length, '\0');
                if (length > 0) recv(conn, payload.data(), length, MSG_WAITALL);
                std::string answer = R"([{"success":true}])";
                if (type == SwayIpc::kGetTree) {
                    std::lock_guard lock(mutex_);
                    answer = tree_;
                }
                const auto size = static_cast<std::uint32_t>(answer.size());
                std::string out(header, 6);
                out.append(reinterpret_cast<const char*>(&size), 4);
                out.append(reinterpret_cast<const char*>(&type), 4);
                out += answer;
                (void)!send(conn, out.data(), out.size(), MSG_NOSIGNAL);
            }
            close(conn);
        }
    }
    TempDir dir_;
    std::string path_;
    int listen_ = -1;
    std::atomic<bool> stop_{false};
    std::mutex mutex_;
    std::string tree_ = R"({"id":1,"type":"root"})";
    std::thread thread_;
};

std::string View(long long id, int pid, const char* app, int x, int y, int w, int h,
                 bool focused = false, bool visible = true) {
    return R"({"id":)" + std::to_string(id) + R"(,"type":"con","pid":)" + std::to_string(pid) +
           R"(,"app_id":")" + app + R"(","focused":)" + (focused ? "true" : "false") +
           R"(,"visible":)" + (visible ? "true" : "false") + R"(,"rect":{"x":)" +
           std::to_string(x) + R"(,"y":)" + std::to_string(y) + R"(,"width":)" + std::to_string(w) +
           R"(,"height":)" + std::to_string(h) + "}}";
}

std::string Floating(const std::string& tiled, const std::string& floating) {
    return R"({"id":2,"type":"workspace","nodes":[)" + tiled + R"(],"floating_nodes":[)" +
           floating + "]}";
}

TEST(SwayWindowsLogic, WindowFromPointTakesTheWindowOnTop) {
    struct Case {
        const char* name;
        std::string nodes;
        Point at;
        WinHandle expected;
    };
    const std::string tiledFocused = View(5, 1, "a", 0, 0, 640, 800, true);
    const Case cases[] = {
        {"tiled window", Floating(View(5, 1, "a", 0, 0, 640, 800), ""), {10, 10}, 5},
        {"right and bottom edges are outside",
         Floating(View(5, 1, "a", 0, 0, 640, 800), ""),
         {640, 10},
         0},
        {"floating over the focused tiled one",
         Floating(tiledFocused, View(9, 2, "b", 100, 100, 300, 200)),
         {150, 150},
         9},
        {"focused floating over a later floating one",
         Floating(
             "", View(8, 2, "b", 0, 0, 300, 300, true) + "," + View(9, 3, "c", 100, 100, 300, 300)),
         {150, 150},
         8},
        {"later floating over an earlier one",
         Floating("", View(8, 2, "b", 0, 0, 300, 300) + "," + View(9, 3, "c", 100, 100, 300, 300)),
         {150, 150},
         9},
        {"a window on a hidden workspace is not there",
         Floating(View(5, 1, "a", 0, 0, 640, 800, false, false), ""),
         {10, 10},
         0},
        {"an id past the handle's range is no handle",
         Floating(View(5000000000LL, 1, "a", 0, 0, 640, 800), ""),
         {10, 10},
         0},
    };
    TreeServer sway;
    SwayIpc ipc(sway.path());
    SleepLoop loop;
    SwayWindows windows(ipc, loop);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        sway.SetViews(c.nodes);
        EXPECT_EQ(windows.WindowFromPoint(c.at), c.expected);
    }
}

TEST(SwayWindowsLogic, AWatchedIdNamingAnotherProgramsWindowIsNotTheWatchedWindow) {
    TreeServer sway;
    SwayIpc ipc(sway.path());
    SleepLoop loop;
    SwayWindows windows(ipc, loop);
    sway.SetViews(View(7, 100, "chat", 0, 0, 10, 10));
    windows.Watch(7);
    EXPECT_TRUE(windows.IsWindow(7));
    sway.SetViews(View(7, 200, "editor", 0, 0, 10, 10));
    EXPECT_FALSE(windows.IsWindow(7));
    sway.SetViews(View(7, 100, "other", 0, 0, 10, 10));
    EXPECT_FALSE(windows.IsWindow(7));
    // Picked anew, the new window is the watched one.
    windows.Watch(7);
    EXPECT_TRUE(windows.IsWindow(7));
    sway.SetViews("");
    EXPECT_FALSE(windows.IsWindow(7));
}

// Qt's id for one of our Wayland windows means nothing to sway: our window is found by this
// process's id and its title; another program's window of that title is not ours.
TEST(SwayWindowsLogic, OurOwnWindowIsNamedBySwaysIdForIt) {
    TreeServer sway;
    SwayIpc ipc(sway.path());
    SleepLoop loop;
    SwayWindows windows(ipc, loop);
    const int me = static_cast<int>(getpid());
    const auto titled = [](std::string view, const char* title) {
        view.insert(view.size() - 1, std::string(R"(,"name":")") + title + "\"");
        return view;
    };
    sway.SetViews(titled(View(7, me + 1, "other", 0, 0, 10, 10), "Quillet") + "," +
                  titled(View(8, me, "velmora", 0, 0, 10, 10), "frmSnapShot") + "," +
                  titled(View(9, me, "velmora", 20, 0, 10, 10), "Quillet"));
    EXPECT_EQ(windows.OwnTopLevel(0x0c0ffee, "Quillet"), 9);
    EXPECT_EQ(windows.OwnTopLevel(0x0c0ffee, "frmSnapShot"), 8);
    EXPECT_EQ(windows.OwnTopLevel(0x0c0ffee, "gone"), 0);
}

TEST(SwayWindowsLogic, NoSwayMeansNoWindows) {
    TempDir dir;
    SwayIpc ipc((dir.path() / "gone.sock").string());
    SleepLoop loop;
    SwayWindows windows(ipc, loop);
    EXPECT_FALSE(windows.IsWindow(7));
    EXPECT_FALSE(windows.IsOwnWindow(7));
    EXPECT_EQ(windows.WindowFromPoint({1, 1}), 0);
    EXPECT_EQ(windows.FocusedWindow(), 0);
    EXPECT_FALSE(windows.GetWindowRect(7));
    EXPECT_FALSE(windows.ScreenToClient(7, {1, 1}));
}

}  // namespace
}  // namespace velmora::platform::wayland
