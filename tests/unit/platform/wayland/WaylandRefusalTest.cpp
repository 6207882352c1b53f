// What the Wayland backends do with a compositor that cannot serve them: one of our own making
// (libwayland-server) offering a seat and nothing else, and a socket that never answers.

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>
#include <wayland-server-core.h>
#include <wayland-server-protocol.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <stdexcept>
#include <string>
#include <thread>

#include "platform/wayland/VirtualInput.h"
#include "platform/wayland/WaylandGlobals.h"
#include "support/TempDir.h"

namespace velmora::platform::wayland {
namespace {

// A listening UNIX socket at path; -1 on failure.
int Listen(const std::string& path) {
    const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    std::strncpy(addr.sun_path, path.c_str(), sizeof addr.sun_path - 1);
    if (fd < 0 || bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
        listen(fd, 8) != 0) {
        if (fd >= 0) close(fd);
        return -1;
    }
    return fd;
}

// A compositor with a seat and no virtual input managers, served on a thread of its own.
class SeatOnlyCompositor {
  public:
    explicit SeatOnlyCompositor(const std::string& path) : display_(wl_display_create()) {
        const int fd = Listen(path);
        ok_ = display_ && fd >= 0 && wl_display_add_socket_fd(display_, fd) == 0;
        if (!ok_ && fd >= 0) close(fd);
        if (!ok_) return;
        wl_global_create(display_, &wl_seat_interface, 1, nullptr,
                         [](wl_client* client, void*, std::uint32_t version, std::uint32_t id) {
                             wl_resource_create(client, &wl_seat_interface,
                                                static_cast<int>(version), id);
                         });
        thread_ = std::thread([this] {
            wl_event_loop* loop = wl_display_get_event_loop(display_);
            while (!stop_) {
                wl_event_loop_dispatch(loop, 20);
                wl_display_flush_clients(display_);
            }
        });
    }
    ~SeatOnlyCompositor() {
        stop_ = true;
        if (thread_.joinable()) thread_.join();
        if (display_) {
            wl_display_destroy_clients(display_);
            wl_display_destroy(display_);
        }
    }
    bool ok() const { return ok_; }

  private:
    wl_display* display_;
    bool ok_ = false;
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

TEST(WaylandRefusal, ACompositorWithoutVirtualInputIsRefusedWithItsReason) {
    TempDir dir;
    const std::string path = (dir.path() / "wayland-seat-only").string();
    SeatOnlyCompositor compositor(path);
    ASSERT_TRUE(compositor.ok());

    const auto globals = ListWaylandGlobals(path);
    ASSERT_TRUE(globals);
    EXPECT_EQ(*globals, (std::vector<WaylandGlobal>{{"wl_seat", 1}}));

    try {
        VirtualInput input(path);
        ADD_FAILURE() << "a compositor without the managers was taken";
    } catch (const std::runtime_error& e) {
        const std::string why = e.what();
        EXPECT_NE(why.find("zwp_virtual_keyboard_manager_v1"), std::string::npos) << why;
        EXPECT_NE(why.find("zwlr_virtual_pointer_manager_v1"), std::string::npos) << why;
    }
}

TEST(WaylandRefusal, ASocketThatNeverAnswersCostsATimeoutNotAHang) {
    TempDir dir;
    const std::string path = (dir.path() / "wayland-silent").string();
    const int fd = Listen(path);  // connections queue up and are never read
    ASSERT_GE(fd, 0);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(ListWaylandGlobals(path, 300));
    EXPECT_THROW(VirtualInput input(path), std::runtime_error);
    const auto took = std::chrono::steady_clock::now() - start;
    EXPECT_LT(took, std::chrono::seconds(10));
    close(fd);
}

TEST(WaylandRefusal, NoSocketIsRefusedAtOnce) {
    TempDir dir;
    EXPECT_FALSE(ListWaylandGlobals((dir.path() / "wayland-none").string()));
    EXPECT_THROW(VirtualInput input((dir.path() / "wayland-none").string()), std::runtime_error);
}

}  // namespace
}  // namespace velmora::platform::wayland
