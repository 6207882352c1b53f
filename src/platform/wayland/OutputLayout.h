#pragma once

#include <cstdint>
#include <memory>
#include <string_view>
#include <vector>

#include <wayland-client.h>
#include "platform/Types.h"
#include "xdg-output-unstable-v1-client.h"

namespace velmora::platform::wayland {

// Deleters spelled out: the generated destroy functions are static, so they cannot be template
// arguments of a type that other files see.
struct OutputDestroy {
    void operator()(wl_output* o) const { wl_output_destroy(o); }
};
struct XdgOutputDestroy {
    void operator()(zxdg_output_v1* o) const { zxdg_output_v1_destroy(o); }
};
struct XdgOutputManagerDestroy {
    void operator()(zxdg_output_manager_v1* m) const { zxdg_output_manager_v1_destroy(m); }
};

// One output as wl_output and (where offered) xdg-output describe it. wlroots puts every output
// at 0,0 in wl_output; its place in the layout comes from xdg-output.
struct LayoutOutput {
    std::uint32_t name = 0;  // the registry's name of its global
    std::unique_ptr<wl_output, OutputDestroy> output;
    std::unique_ptr<zxdg_output_v1, XdgOutputDestroy> xdg;
    // wl_output: its own place, the current mode in device pixels, scale and transform.
    std::int32_t geometryX = 0, geometryY = 0, modeWidth = 0, modeHeight = 0, scale = 1;
    std::int32_t transform = WL_OUTPUT_TRANSFORM_NORMAL;
    // xdg-output: the place and size in the layout, once told.
    bool placed = false;
    std::int32_t logicalX = 0, logicalY = 0, logicalWidth = 0, logicalHeight = 0;

    // The corner in the layout.
    std::int32_t X() const { return placed ? logicalX : geometryX; }
    std::int32_t Y() const { return placed ? logicalY : geometryY; }
    // The rectangle in layout coordinates; empty while the size is not known. Without
    // xdg-output's size, the mode divided by the whole-number scale, turned with the output.
    Rect Box() const;
};

// The outputs of a compositor and their places, kept up to date from the registry the owner
// listens to. Owned by the connection's user, destroyed before the connection.
class OutputLayout {
  public:
    // More outputs than any desk has: a compositor that lists more is not believed.
    static constexpr std::size_t kMaxOutputs = 64;

    // A global the registry announced: bound when it is an output or the xdg-output manager,
    // and then true.
    bool Offer(wl_registry* registry, std::uint32_t name, std::string_view interface,
               std::uint32_t version);
    void Remove(std::uint32_t name);
    // In the order the compositor announced them.
    const std::vector<std::unique_ptr<LayoutOutput>>& Outputs() const { return outputs_; }

  private:
    void Watch(LayoutOutput& o);

    std::unique_ptr<zxdg_output_manager_v1, XdgOutputManagerDestroy> xdgManager_;
    // Pointers, so the listeners' data stays put as outputs come and go.
    std::vector<std::unique_ptr<LayoutOutput>> outputs_;
};

}  // namespace velmora::platform::wayland
