#include "platform/wayland/VirtualInput.h"

#include <fcntl.h>
#include <linux/input-event-codes.h>
#include <sys/mman.h>
#include <time.h>
#include <unistd.h>
#include <wayland-client.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>
#include <optional>
#include <set>
#include <stdexcept>
#include <vector>

#include "platform/VirtualKey.h"
#include "platform/posix/UniqueFd.h"
#include "platform/wayland/EvdevKeys.h"
#include "platform/wayland/WaylandDisplay.h"
#include "platform/wayland/WaylandHandles.h"
#include "platform/wayland/XkbKeyboard.h"
#include "virtual-keyboard-unstable-v1-client.h"
#include "wlr-virtual-pointer-unstable-v1-client.h"
#include "xdg-output-unstable-v1-client.h"

namespace velmora::platform::wayland {

namespace {

// Each call waits this long at most for the compositor to take its event.
constexpr int kAnswerMs = 3000;
// More outputs than any desk has: a compositor that lists more is not believed.
constexpr std::size_t kMaxOutputs = 64;

std::uint32_t NowMs() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<std::uint32_t>(static_cast<std::uint64_t>(ts.tv_sec) * 1000u +
                                      static_cast<std::uint64_t>(ts.tv_nsec) / 1000000u);
}

bool WriteAll(int fd, const char* data, std::size_t size) {
    while (size > 0) {
        const ssize_t n = write(fd, data, size);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        data += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

// One output, as wl_output and (where offered) xdg-output describe it.
struct Output {
    std::uint32_t name = 0;  // the registry's name of its global
    OutputPtr output;
    Proxy<zxdg_output_v1, zxdg_output_v1_destroy> xdg;
    // wl_output: current mode in pixels, scale and transform. wlroots puts every output at
    // 0,0 here; the layout position comes from xdg-output.
    std::int32_t x = 0, y = 0, modeWidth = 0, modeHeight = 0, scale = 1, transform = 0;
    // xdg-output: the place in the layout, in layout coordinates.
    std::int32_t logicalX = 0, logicalY = 0, logicalWidth = 0, logicalHeight = 0;

    // Corner and size in layout coordinates; size 0 when not known yet.
    void Box(std::int64_t& bx, std::int64_t& by, std::int64_t& bw, std::int64_t& bh) const {
        if (logicalWidth > 0 && logicalHeight > 0) {
            bx = logicalX, by = logicalY, bw = logicalWidth, bh = logicalHeight;
            return;
        }
        bx = x, by = y;
        bw = modeWidth > 0 ? modeWidth / scale : 0;
        bh = modeHeight > 0 ? modeHeight / scale : 0;
        // The odd transforms turn the output by 90 or 270 degrees.
        if (transform & 1) std::swap(bw, bh);
    }
};

struct Layout {
    std::int64_t x = 0, y = 0, width = 0, height = 0;
};

}  // namespace

struct VirtualInput::Impl {
    explicit Impl(const std::string& name) : display(name) {}

    WaylandDisplay display;
    RegistryPtr registry;
    SeatPtr seat;
    Proxy<zwp_virtual_keyboard_manager_v1, zwp_virtual_keyboard_manager_v1_destroy> keyboardManager;
    Proxy<zwlr_virtual_pointer_manager_v1, zwlr_virtual_pointer_manager_v1_destroy> pointerManager;
    Proxy<zxdg_output_manager_v1, zxdg_output_manager_v1_destroy> xdgOutputManager;
    // Pointers, so the listeners' data stays put as outputs come and go.
    std::vector<std::unique_ptr<Output>> outputs;
    Proxy<zwp_virtual_keyboard_v1, zwp_virtual_keyboard_v1_destroy> keyboard;
    Proxy<zwlr_virtual_pointer_v1, zwlr_virtual_pointer_v1_destroy> pointer;
    std::unique_ptr<XkbKeyboard> xkb;
    std::set<std::uint32_t> heldKeys;  // evdev codes
    bool buttonHeld = false;
    std::optional<Point> cursor;

    void Start();
    void UploadKeymap();
    void WatchOutput(Output& o);
    void SendKey(std::uint32_t key, bool down);
    void SendButton(bool down);
    void ReleaseAll();
    Layout CurrentLayout() const;
    bool Usable() const { return !display.Broken(); }

    static void Global(void* data, wl_registry* r, std::uint32_t name, const char* iface,
                       std::uint32_t version);
    static void GlobalRemove(void* data, wl_registry* r, std::uint32_t name);
};

namespace {

template <typename T>
T* Bind(wl_registry* r, std::uint32_t name, const wl_interface* iface, std::uint32_t offered,
        std::uint32_t wanted) {
    return static_cast<T*>(wl_registry_bind(r, name, iface, std::min(offered, wanted)));
}

const wl_output_listener kOutputListener{
    .geometry =
        [](void* data, wl_output*, std::int32_t x, std::int32_t y, std::int32_t, std::int32_t,
           std::int32_t, const char*, const char*, std::int32_t transform) {
            auto* o = static_cast<Output*>(data);
            o->x = x;
            o->y = y;
            o->transform = transform;
        },
    .mode =
        [](void* data, wl_output*, std::uint32_t flags, std::int32_t width, std::int32_t height,
           std::int32_t) {
            if (!(flags & WL_OUTPUT_MODE_CURRENT)) return;
            auto* o = static_cast<Output*>(data);
            o->modeWidth = width;
            o->modeHeight = height;
        },
    .done = [](void*, wl_output*) {},
    .scale =
        [](void* data, wl_output*, std::int32_t factor) {
            static_cast<Output*>(data)->scale = factor > 0 ? factor : 1;
        },
    .name = [](void*, wl_output*, const char*) {},
    .description = [](void*, wl_output*, const char*) {},
};

const zxdg_output_v1_listener kXdgOutputListener{
    .logical_position =
        [](void* data, zxdg_output_v1*, std::int32_t x, std::int32_t y) {
            auto* o = static_cast<Output*>(data);
            o->logicalX = x;
            o->logicalY = y;
        },
    .logical_size =
        [](void* data, zxdg_output_v1*, std::int32_t width, std::int32_t height) {
            auto* o = static_cast<Output*>(data);
            o->logicalWidth = width;
            o->logicalHeight = height;
        },
    .done = [](void*, zxdg_output_v1*) {},
    .name = [](void*, zxdg_output_v1*, const char*) {},
    .description = [](void*, zxdg_output_v1*, const char*) {},
};

}  // namespace

void VirtualInput::Impl::Global(void* data, wl_registry* r, std::uint32_t name, const char* iface,
                                std::uint32_t version) {
    auto* self = static_cast<Impl*>(data);
    if (!iface || version == 0) return;  // nothing that could be bound
    const std::string_view i(iface);
    if (i == wl_seat_interface.name && !self->seat) {
        // The first seat: the one a desktop of one user has.
        self->seat.reset(Bind<wl_seat>(r, name, &wl_seat_interface, version, 1));
    } else if (i == zwp_virtual_keyboard_manager_v1_interface.name && !self->keyboardManager) {
        self->keyboardManager.reset(Bind<zwp_virtual_keyboard_manager_v1>(
            r, name, &zwp_virtual_keyboard_manager_v1_interface, version, 1));
    } else if (i == zwlr_virtual_pointer_manager_v1_interface.name && !self->pointerManager) {
        self->pointerManager.reset(Bind<zwlr_virtual_pointer_manager_v1>(
            r, name, &zwlr_virtual_pointer_manager_v1_interface, version, 1));
    } else if (i == zxdg_output_manager_v1_interface.name && !self->xdgOutputManager) {
        self->xdgOutputManager.reset(
            Bind<zxdg_output_manager_v1>(r, name, &zxdg_output_manager_v1_interface, version, 1));
        for (auto& o : self->outputs) self->WatchOutput(*o);
    } else if (i == wl_output_interface.name && self->outputs.size() < kMaxOutputs) {
        auto o = std::make_unique<Output>();
        o->name = name;
        o->output.reset(Bind<wl_output>(r, name, &wl_output_interface, version, 2));
        wl_output_add_listener(o->output.get(), &kOutputListener, o.get());
        self->WatchOutput(*o);
        self->outputs.push_back(std::move(o));
    }
}

void VirtualInput::Impl::GlobalRemove(void* data, wl_registry*, std::uint32_t name) {
    auto& outputs = static_cast<Impl*>(data)->outputs;
    std::erase_if(outputs, [name](const auto& o) { return o->name == name; });
}

void VirtualInput::Impl::WatchOutput(Output& o) {
    if (!xdgOutputManager || o.xdg) return;
    o.xdg.reset(zxdg_output_manager_v1_get_xdg_output(xdgOutputManager.get(), o.output.get()));
    zxdg_output_v1_add_listener(o.xdg.get(), &kXdgOutputListener, &o);
}

void VirtualInput::Impl::Start() {
    registry.reset(wl_display_get_registry(display.Get()));
    if (!registry) throw std::runtime_error("the Wayland connection failed at once");
    static const wl_registry_listener listener{.global = &Impl::Global,
                                               .global_remove = &Impl::GlobalRemove};
    wl_registry_add_listener(registry.get(), &listener, this);
    if (!display.Roundtrip(kAnswerMs))
        throw std::runtime_error("the Wayland compositor did not list its globals in time");
    if (!keyboardManager && !pointerManager)
        throw std::runtime_error(
            "the Wayland compositor offers neither a virtual keyboard "
            "(zwp_virtual_keyboard_manager_v1) nor a virtual pointer "
            "(zwlr_virtual_pointer_manager_v1)");
    // A virtual keyboard needs a seat; a virtual pointer takes the compositor's choice.
    if (keyboardManager && seat) {
        xkb = std::make_unique<XkbKeyboard>();
        keyboard.reset(zwp_virtual_keyboard_manager_v1_create_virtual_keyboard(
            keyboardManager.get(), seat.get()));
        UploadKeymap();
    }
    if (pointerManager)
        pointer.reset(zwlr_virtual_pointer_manager_v1_create_virtual_pointer(pointerManager.get(),
                                                                             seat.get()));
    // Also brings the outputs' descriptions.
    if (!display.Roundtrip(kAnswerMs))
        throw std::runtime_error(display.Broken()
                                     ? "the Wayland compositor refused our virtual input devices"
                                     : "the Wayland compositor did not answer in time");
    if (!keyboard && !pointer)
        throw std::runtime_error("the Wayland compositor offers a virtual keyboard but no seat");
}

// The keymap travels as a sealed memfd, the way wl_keyboard hands keymaps to clients.
void VirtualInput::Impl::UploadKeymap() {
    const std::string& text = xkb->KeymapText();
    posix::UniqueFd fd(memfd_create("velmora-keymap", MFD_CLOEXEC | MFD_ALLOW_SEALING));
    if (!fd) throw std::runtime_error(std::string("memfd_create: ") + std::strerror(errno));
    // With its terminating NUL, as XKB_V1 keymaps are handed over.
    if (!WriteAll(fd.Get(), text.c_str(), text.size() + 1))
        throw std::runtime_error(std::string("writing the keymap: ") + std::strerror(errno));
    fcntl(fd.Get(), F_ADD_SEALS, F_SEAL_SHRINK | F_SEAL_GROW | F_SEAL_WRITE | F_SEAL_SEAL);
    // libwayland duplicates the fd as it queues the request: ours closes at the end of scope.
    zwp_virtual_keyboard_v1_keymap(keyboard.get(), WL_KEYBOARD_KEYMAP_FORMAT_XKB_V1, fd.Get(),
                                   static_cast<std::uint32_t>(text.size() + 1));
}

void VirtualInput::Impl::SendKey(std::uint32_t key, bool down) {
    zwp_virtual_keyboard_v1_key(
        keyboard.get(), NowMs(), key,
        down ? WL_KEYBOARD_KEY_STATE_PRESSED : WL_KEYBOARD_KEY_STATE_RELEASED);
    // The compositor takes the modifier state from us, not from the keys.
    if (xkb->Update(key, down)) {
        const auto m = xkb->Current();
        zwp_virtual_keyboard_v1_modifiers(keyboard.get(), m.depressed, m.latched, m.locked,
                                          m.group);
    }
    if (down)
        heldKeys.insert(key);
    else
        heldKeys.erase(key);
}

void VirtualInput::Impl::SendButton(bool down) {
    zwlr_virtual_pointer_v1_button(
        pointer.get(), NowMs(), BTN_LEFT,
        down ? WL_POINTER_BUTTON_STATE_PRESSED : WL_POINTER_BUTTON_STATE_RELEASED);
    zwlr_virtual_pointer_v1_frame(pointer.get());
    buttonHeld = down;
}

void VirtualInput::Impl::ReleaseAll() {
    if (!Usable()) return;
    const bool anything = !heldKeys.empty() || buttonHeld;
    if (keyboard) {
        const std::set<std::uint32_t> held = heldKeys;
        for (std::uint32_t key : held) SendKey(key, false);
        if (!held.empty()) zwp_virtual_keyboard_v1_modifiers(keyboard.get(), 0, 0, 0, 0);
    }
    if (pointer && buttonHeld) SendButton(false);
    if (anything) display.Roundtrip(kAnswerMs);
}

Layout VirtualInput::Impl::CurrentLayout() const {
    std::int64_t left = INT64_MAX, top = INT64_MAX, right = INT64_MIN, bottom = INT64_MIN;
    for (const auto& o : outputs) {
        std::int64_t x = 0, y = 0, w = 0, h = 0;
        o->Box(x, y, w, h);
        if (w <= 0 || h <= 0) continue;
        left = std::min(left, x);
        top = std::min(top, y);
        right = std::max(right, x + w);
        bottom = std::max(bottom, y + h);
    }
    if (left >= right || top >= bottom) return {};
    return {left, top, right - left, bottom - top};
}

VirtualInput::VirtualInput(const std::string& display) : impl_(std::make_unique<Impl>(display)) {
    impl_->Start();
}

VirtualInput::~VirtualInput() {
    impl_->ReleaseAll();
}

void VirtualInput::MoveCursor(std::int32_t x, std::int32_t y) {
    if (!impl_->pointer || !impl_->Usable()) return;
    const Layout l = impl_->CurrentLayout();
    // Past the edge the pointer stops at it, as a real one does; extents beyond 32 bits (no
    // real layout) do not fit the request.
    if (l.width <= 0 || l.height <= 0 || l.width > UINT32_MAX || l.height > UINT32_MAX) return;
    const std::int64_t cx = std::clamp<std::int64_t>(x, l.x, l.x + l.width - 1);
    const std::int64_t cy = std::clamp<std::int64_t>(y, l.y, l.y + l.height - 1);
    zwlr_virtual_pointer_v1_motion_absolute(
        impl_->pointer.get(), NowMs(), static_cast<std::uint32_t>(cx - l.x),
        static_cast<std::uint32_t>(cy - l.y), static_cast<std::uint32_t>(l.width),
        static_cast<std::uint32_t>(l.height));
    zwlr_virtual_pointer_v1_frame(impl_->pointer.get());
    impl_->display.Roundtrip(kAnswerMs);
    impl_->cursor = Point{static_cast<std::int32_t>(cx), static_cast<std::int32_t>(cy)};
}

Point VirtualInput::CursorPos() {
    if (impl_->cursor) return *impl_->cursor;
    const Layout l = impl_->CurrentLayout();
    return {static_cast<std::int32_t>(l.x + l.width / 2),
            static_cast<std::int32_t>(l.y + l.height / 2)};
}

void VirtualInput::LeftDown() {
    if (!impl_->pointer || !impl_->Usable()) return;
    impl_->SendButton(true);
    impl_->display.Roundtrip(kAnswerMs);
}

void VirtualInput::LeftUp() {
    if (!impl_->pointer || !impl_->buttonHeld || !impl_->Usable()) return;
    impl_->SendButton(false);
    impl_->display.Roundtrip(kAnswerMs);
}

void VirtualInput::KeyDown(std::uint8_t vk) {
    const std::uint32_t key = EvdevKeyForVk(vk);
    if (key == 0 || !impl_->keyboard || !impl_->Usable()) return;
    if (impl_->heldKeys.count(key)) {
        // Pressed again while down: the compositor sees a repeat, our modifier state stays.
        zwp_virtual_keyboard_v1_key(impl_->keyboard.get(), NowMs(), key,
                                    WL_KEYBOARD_KEY_STATE_PRESSED);
    } else {
        impl_->SendKey(key, true);
    }
    impl_->display.Roundtrip(kAnswerMs);
}

void VirtualInput::KeyUp(std::uint8_t vk) {
    const std::uint32_t key = EvdevKeyForVk(vk);
    if (key == 0 || !impl_->keyboard || !impl_->heldKeys.count(key) || !impl_->Usable()) return;
    impl_->SendKey(key, false);
    impl_->display.Roundtrip(kAnswerMs);
}

bool VirtualInput::AnyKeyDown() {
    return !impl_->heldKeys.empty();
}

bool VirtualInput::IsKeyDown(std::uint8_t vk) {
    const auto held = [this](std::uint8_t code) {
        const std::uint32_t key = EvdevKeyForVk(code);
        return key != 0 && impl_->heldKeys.count(key) > 0;
    };
    // The side-neutral codes ask for either key, as on Windows.
    switch (vk) {
        case vk::Shift:
            return held(0xA0) || held(0xA1);
        case vk::Control:
            return held(0xA2) || held(0xA3);
        case vk::Menu:
            return held(0xA4) || held(0xA5);
        default:
            return held(vk);
    }
}

bool VirtualInput::AnyButtonDown() {
    return impl_->buttonHeld;
}

}  // namespace velmora::platform::wayland
