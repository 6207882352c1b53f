// The globals a real headless sway offers, as the start-up reads them to choose backends.

#include "platform/wayland/WaylandGlobals.h"

#include <gtest/gtest.h>

#include "HeadlessSway.h"
#include "support/TempDir.h"

namespace velmora::platform::wayland {
namespace {

TEST(WaylandGlobals, ListsWhatSwayOffersForOurBackends) {
    HeadlessSway sway;
    ASSERT_TRUE(sway.WaitReady()) << sway.Log();
    const auto globals = ListWaylandGlobals(sway.WaylandDisplay());
    ASSERT_TRUE(globals);
    for (const char* name : {"wl_compositor", "wl_seat", "wl_output", "zxdg_output_manager_v1",
                             "zwp_virtual_keyboard_manager_v1", "zwlr_virtual_pointer_manager_v1",
                             "zwlr_data_control_manager_v1", "zwlr_screencopy_manager_v1"})
        EXPECT_TRUE(Offers(*globals, name)) << name;
    EXPECT_FALSE(Offers(*globals, "zwp_no_such_manager_v1"));
    // Versions are the compositor's: sway's seat speaks far more than version 1.
    EXPECT_TRUE(Offers(*globals, "wl_seat", 5));
    EXPECT_FALSE(Offers(*globals, "wl_seat", 1000));
}

TEST(WaylandGlobals, NoCompositorIsNoList) {
    TempDir dir;
    EXPECT_FALSE(ListWaylandGlobals((dir.path() / "wayland-none").string(), 500));
}

}  // namespace
}  // namespace velmora::platform::wayland
