#include "platform/wayland/OutputLayout.h"

#include <algorithm>
#include <utility>

namespace velmora::platform::wayland {

namespace {

const wl_output_listener kOutputListener{
    .geometry =
        [](void* data, wl_output*, std::int32_t x, std::int32_t y, std::int32_t, std::int32_t,
           std::int32_t, const char*, const char*, std::int32_t transform) {
            auto* o = static_cast<LayoutOutput*>(data);
            o->geometryX = x;
            o->geometryY = y;
            o->transform = transform;
        },
    .mode =
        [](void* data, wl_output*, std::uint32_t flags, std::int32_t width, std::int32_t height,
           std::int32_t) {
            if (!(flags & WL_OUTPUT_MODE_CURRENT)) return;
            auto* o = static_cast<LayoutOutput*>(data);
            o->modeWidth = width;
            o->modeHeight = height;
        },
    .done = [](void*, wl_output*) {},
    .scale =
        [](void* data, wl_output*, std::int32_t factor) {
            static_cast<LayoutOutput*>(data)->scale = factor > 0 ? factor : 1;
        },
    .name = [](void*, wl_output*, const char*) {},
    .description = [](void*, wl_output*, const char*) {},
};

const zxdg_output_v1_listener kXdgOutputListener{
    .logical_position =
        [](void* data, zxdg_output_v1*, std::int32_t x, std::int32_t y) {
            auto* o = static_cast<LayoutOutput*>(data);
            o->logicalX = x;
            o->logicalY = y;
            o->placed = true;
        },
    .logical_size =
        [](void* data, zxdg_output_v1*, std::int32_t width, std::int32_t height) {
            auto* o = static_cast<LayoutOutput*>(data);
            o->logicalWidth = width;
            o->logicalHeight = height;
        },
    .done = [](void*, zxdg_output_v1*) {},
    .name = [](void*, zxdg_output_v1*, const char*) {},
    .description = [](void*, zxdg_output_v1*, const char*) {},
};

}  // namespace

Rect LayoutOutput::Box() const {
    std::int32_t width = logicalWidth;
    std::int32_t height = logicalHeight;
    if (width <= 0 || height <= 0) {
        width = modeWidth > 0 ? modeWidth / scale : 0;
        height = modeHeight > 0 ? modeHeight / scale : 0;
        // The odd transforms turn the output by 90 or 270 degrees.
        if (transform & 1) std::swap(width, height);
    }
    return Rect{X(), Y(), X() + width, Y() + height};
}

bool OutputLayout::Offer(wl_registry* registry, std::uint32_t name, std::string_view interface,
                         std::uint32_t version) {
    if (interface == zxdg_output_manager_v1_interface.name) {
        if (xdgManager_) return true;
        xdgManager_.reset(static_cast<zxdg_output_manager_v1*>(
            wl_registry_bind(registry, name, &zxdg_output_manager_v1_interface,
                             std::min<std::uint32_t>(version, 2))));
        for (auto& o : outputs_) Watch(*o);
        return true;
    }
    if (interface != wl_output_interface.name) return false;
    if (outputs_.size() >= kMaxOutputs) return true;
    auto o = std::make_unique<LayoutOutput>();
    o->name = name;
    o->output.reset(static_cast<wl_output*>(wl_registry_bind(registry, name, &wl_output_interface,
                                                             std::min<std::uint32_t>(version, 2))));
    if (!o->output) return true;
    wl_output_add_listener(o->output.get(), &kOutputListener, o.get());
    Watch(*o);
    outputs_.push_back(std::move(o));
    return true;
}

void OutputLayout::Remove(std::uint32_t name) {
    std::erase_if(outputs_, [name](const auto& o) { return o->name == name; });
}

void OutputLayout::Watch(LayoutOutput& o) {
    if (!xdgManager_ || o.xdg) return;
    o.xdg.reset(zxdg_output_manager_v1_get_xdg_output(xdgManager_.get(), o.output.get()));
    if (o.xdg) zxdg_output_v1_add_listener(o.xdg.get(), &kXdgOutputListener, &o);
}

}  // namespace velmora::platform::wayland
