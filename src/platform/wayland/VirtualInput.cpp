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
#include "platform/wayland/OutputLayout.h"
#include "platform/wayland/ScreenCompose.h"
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
    OutputLayout layout;
    Proxy<zwp_virtual_keyboard_v1, zwp_virtual_keyboard_v1_destroy> keyboard;
    Proxy<zwlr_virtual_pointer_v1, zwlr_virtual_pointer_v1_destroy> pointer;
    std::unique_ptr<XkbKeyboard> xkb;
    std::set<std::uint32_t> heldKeys;  // evdev codes
    bool buttonHeld = false;
    std::optional<Point> cursor;

    void Start();
    void UploadKeymap();
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
    } else {
        self->layout.Offer(r, name, i, version);
    }
}

void VirtualInput::Impl::GlobalRemove(void* data, wl_registry*, std::uint32_t name) {
    static_cast<Impl*>(data)->layout.Remove(name);
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
    std::vector<Rect> boxes;
    for (const auto& o : layout.Outputs()) boxes.push_back(o->Box());
    const Rect all = LayoutRect(boxes);
    return {all.left, all.top, std::int64_t{all.right} - all.left,
            std::int64_t{all.bottom} - all.top};
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
    return EvdevKeyHeld(impl_->heldKeys, vk);
}

bool VirtualInput::AnyButtonDown() {
    return impl_->buttonHeld;
}

}  // namespace velmora::platform::wayland
