#include "platform/wayland/ScreencopyScreen.h"

#include <algorithm>
#include <cstring>
#include <map>
#include <vector>

#include "platform/wayland/OutputLayout.h"
#include "platform/wayland/ScreenCompose.h"
#include "platform/wayland/ShmBuffer.h"
#include "platform/wayland/WaylandConnection.h"
#include "platform/wayland/WaylandHandles.h"
#include "wlr-screencopy-unstable-v1-client.h"
#include "xdg-output-unstable-v1-client.h"

namespace velmora::platform::wayland {

namespace {

using Manager = Proxy<zwlr_screencopy_manager_v1, zwlr_screencopy_manager_v1_destroy>;
using FrameProxy = Proxy<zwlr_screencopy_frame_v1, zwlr_screencopy_frame_v1_destroy>;

// One output's capture, as the frame's events tell it.
struct Frame {
    int x = 0, y = 0;  // the output's place when the capture began
    FrameProxy proxy;
    uint32_t version = 1;
    bool shmOffered = false;
    uint32_t format = 0;
    int width = 0, height = 0, stride = 0;
    bool buffersListed = false;  // version 3: buffer_done; before: the buffer event itself
    bool yInvert = false;
    bool ready = false;
    bool failed = false;
    std::unique_ptr<ShmBuffer> buffer;

    bool Ended() const { return ready || failed; }
};

}  // namespace

struct ScreencopyScreen::State {
    Options options;
    DisplayPtr display;  // first: closed after every proxy on it
    RegistryPtr registry;
    ShmPtr shm;
    Manager manager;
    uint32_t managerVersion = 0;
    OutputLayout layout;
};

namespace {

using State = ScreencopyScreen::State;

void OnGlobal(void* data, wl_registry* registry, uint32_t name, const char* interface,
              uint32_t version) {
    auto* s = static_cast<State*>(data);
    if (std::strcmp(interface, wl_shm_interface.name) == 0 && !s->shm) {
        s->shm.reset(static_cast<wl_shm*>(wl_registry_bind(registry, name, &wl_shm_interface, 1)));
    } else if (std::strcmp(interface, zwlr_screencopy_manager_v1_interface.name) == 0 &&
               !s->manager) {
        s->managerVersion = std::min<uint32_t>(version, 3);
        s->manager.reset(static_cast<zwlr_screencopy_manager_v1*>(wl_registry_bind(
            registry, name, &zwlr_screencopy_manager_v1_interface, s->managerVersion)));
    } else {
        s->layout.Offer(registry, name, interface, version);
    }
}
void OnGlobalRemove(void* data, wl_registry*, uint32_t name) {
    static_cast<State*>(data)->layout.Remove(name);
}
const wl_registry_listener kRegistryListener{OnGlobal, OnGlobalRemove};

void OnBuffer(void* data, zwlr_screencopy_frame_v1*, uint32_t format, uint32_t width,
              uint32_t height, uint32_t stride) {
    auto* f = static_cast<Frame*>(data);
    f->shmOffered = true;
    f->format = format;
    f->width = static_cast<int>(std::min<uint32_t>(width, INT32_MAX));
    f->height = static_cast<int>(std::min<uint32_t>(height, INT32_MAX));
    f->stride = static_cast<int>(std::min<uint32_t>(stride, INT32_MAX));
    if (f->version < 3) f->buffersListed = true;
}
void OnFlags(void* data, zwlr_screencopy_frame_v1*, uint32_t flags) {
    static_cast<Frame*>(data)->yInvert = (flags & ZWLR_SCREENCOPY_FRAME_V1_FLAGS_Y_INVERT) != 0;
}
void OnReady(void* data, zwlr_screencopy_frame_v1*, uint32_t, uint32_t, uint32_t) {
    static_cast<Frame*>(data)->ready = true;
}
void OnFailed(void* data, zwlr_screencopy_frame_v1*) {
    static_cast<Frame*>(data)->failed = true;
}
void OnDamage(void*, zwlr_screencopy_frame_v1*, uint32_t, uint32_t, uint32_t, uint32_t) {}
void OnDmabuf(void*, zwlr_screencopy_frame_v1*, uint32_t, uint32_t, uint32_t) {}
void OnBufferDone(void* data, zwlr_screencopy_frame_v1*) {
    static_cast<Frame*>(data)->buffersListed = true;
}
const zwlr_screencopy_frame_v1_listener kFrameListener{OnBuffer, OnFlags,  OnReady,     OnFailed,
                                                       OnDamage, OnDmabuf, OnBufferDone};

}  // namespace

ScreencopyScreen::ScreencopyScreen(IClipboard& clipboard, Options options)
    : clipboard_(clipboard), s_(std::make_unique<State>()) {
    s_->options = std::move(options);
    s_->display = ConnectDisplay(s_->options.display);
    if (!s_->display) return;
    s_->registry.reset(wl_display_get_registry(s_->display.get()));
    if (!s_->registry) return;
    wl_registry_add_listener(s_->registry.get(), &kRegistryListener, s_.get());
    // The globals, then the outputs' own events.
    if (Roundtrip(s_->display.get(), s_->options.timeoutMs))
        Roundtrip(s_->display.get(), s_->options.timeoutMs);
}

ScreencopyScreen::~ScreencopyScreen() = default;

bool ScreencopyScreen::Available() const {
    return s_->display && s_->shm && s_->manager;
}

Rect ScreencopyScreen::VirtualScreen() {
    if (!s_->display || !Roundtrip(s_->display.get(), s_->options.timeoutMs)) return {};
    std::vector<Rect> rects;
    for (const auto& o : s_->layout.Outputs()) {
        // A quarter turn swaps the mode's sides.
        const bool turned = o->transform % 2 == 1;
        const int w = turned ? o->modeHeight : o->modeWidth;
        const int h = turned ? o->modeWidth : o->modeHeight;
        rects.push_back({o->X(), o->Y(), o->X() + w, o->Y() + h});
    }
    return LayoutRect(rects);
}

Bitmap ScreencopyScreen::Capture() {
    if (!Available() || !Roundtrip(s_->display.get(), s_->options.timeoutMs)) return {};
    wl_display* d = s_->display.get();
    // Every output at once: each one's next frame.
    std::vector<std::unique_ptr<Frame>> frames;
    for (const auto& o : s_->layout.Outputs()) {
        auto f = std::make_unique<Frame>();
        f->x = o->X();
        f->y = o->Y();
        f->version = s_->managerVersion;
        f->proxy.reset(
            zwlr_screencopy_manager_v1_capture_output(s_->manager.get(), 0, o->output.get()));
        if (!f->proxy) continue;
        zwlr_screencopy_frame_v1_add_listener(f->proxy.get(), &kFrameListener, f.get());
        frames.push_back(std::move(f));
    }
    const auto all = [&](auto&& pred) {
        return std::all_of(frames.begin(), frames.end(), [&](const auto& f) { return pred(*f); });
    };
    DispatchUntil(
        d, [&] { return all([](const Frame& f) { return f.buffersListed || f.failed; }); },
        s_->options.timeoutMs);
    for (auto& f : frames) {
        if (!f->buffersListed || f->failed || !f->shmOffered || !IsReadableFormat(f->format) ||
            f->width <= 0 || f->height <= 0 || f->width > kMaxSide || f->height > kMaxSide ||
            f->stride < f->width * 4 || f->stride > f->width * 4 + 4096) {
            f->failed = true;
            continue;
        }
        f->buffer =
            std::make_unique<ShmBuffer>(s_->shm.get(), f->width, f->height, f->stride, f->format);
        if (!f->buffer->valid()) {
            f->failed = true;
            continue;
        }
        zwlr_screencopy_frame_v1_copy(f->proxy.get(), f->buffer->buffer());
    }
    DispatchUntil(
        d, [&] { return all([](const Frame& f) { return f.Ended(); }); }, s_->options.timeoutMs);

    std::vector<OutputFrame> parts;
    for (const auto& f : frames) {
        if (!f->ready || !f->buffer) continue;
        OutputFrame part;
        part.x = f->x;
        part.y = f->y;
        part.width = f->width;
        part.height = f->height;
        part.stride = f->stride;
        part.format = f->format;
        part.yInvert = f->yInvert;
        part.data = f->buffer->data();
        parts.push_back(part);
    }
    return ComposeScreen(parts);
}

void ScreencopyScreen::CaptureToClipboard() {
    const Bitmap shot = Capture();
    if (!shot.empty()) clipboard_.SetImage(shot);
}

}  // namespace velmora::platform::wayland
