#include "platform/wayland/KwinFakeInput.h"

#include <linux/input-event-codes.h>
#include <unistd.h>
#include <wayland-client.h>

#include <algorithm>
#include <climits>
#include <optional>
#include <set>
#include <stdexcept>
#include <string_view>
#include <vector>

#include "fake-input-client.h"
#include "platform/VirtualKey.h"
#include "platform/wayland/EvdevKeys.h"
#include "platform/wayland/OutputLayout.h"
#include "platform/wayland/ScreenCompose.h"
#include "platform/wayland/WaylandDisplay.h"
#include "platform/wayland/WaylandHandles.h"

namespace velmora::platform::wayland {

namespace {

// Each call waits this long at most for the compositor to take its event.
constexpr int kAnswerMs = 3000;
// Absolute motion came with version 3, keys with version 4.
constexpr std::uint32_t kNeededVersion = 4;

constexpr std::uint32_t kPressed = 1, kReleased = 0;

std::string OwnExecutable() {
    char path[PATH_MAX];
    const ssize_t n = readlink("/proc/self/exe", path, sizeof path - 1);
    return n > 0 ? std::string(path, static_cast<std::size_t>(n)) : std::string("this program");
}

}  // namespace

struct KwinFakeInput::Impl {
    explicit Impl(const std::string& name) : display(name) {}

    WaylandDisplay display;
    RegistryPtr registry;
    Proxy<org_kde_kwin_fake_input, org_kde_kwin_fake_input_destroy> fake;
    std::uint32_t offeredVersion = 0;
    OutputLayout layout;
    std::set<std::uint32_t> heldKeys;  // evdev codes
    bool buttonHeld = false;
    std::optional<Point> cursor;

    void Start();
    void SendKey(std::uint32_t key, bool down) {
        org_kde_kwin_fake_input_keyboard_key(fake.get(), key, down ? kPressed : kReleased);
        if (down)
            heldKeys.insert(key);
        else
            heldKeys.erase(key);
    }
    void SendButton(bool down) {
        org_kde_kwin_fake_input_button(fake.get(), BTN_LEFT, down ? kPressed : kReleased);
        buttonHeld = down;
    }
    void ReleaseAll();
    Rect CurrentLayout() const {
        std::vector<Rect> boxes;
        for (const auto& o : layout.Outputs()) boxes.push_back(o->Box());
        return LayoutRect(boxes);
    }
    bool Usable() const { return fake && !display.Broken(); }

    static void Global(void* data, wl_registry* r, std::uint32_t name, const char* iface,
                       std::uint32_t version);
    static void GlobalRemove(void* data, wl_registry* r, std::uint32_t name);
};

void KwinFakeInput::Impl::Global(void* data, wl_registry* r, std::uint32_t name, const char* iface,
                                 std::uint32_t version) {
    auto* self = static_cast<Impl*>(data);
    if (!iface || version == 0) return;
    const std::string_view i(iface);
    if (i == org_kde_kwin_fake_input_interface.name) {
        self->offeredVersion = std::max(self->offeredVersion, version);
        if (!self->fake && version >= kNeededVersion)
            self->fake.reset(static_cast<org_kde_kwin_fake_input*>(
                wl_registry_bind(r, name, &org_kde_kwin_fake_input_interface, kNeededVersion)));
    } else {
        self->layout.Offer(r, name, i, version);
    }
}

void KwinFakeInput::Impl::GlobalRemove(void* data, wl_registry*, std::uint32_t name) {
    static_cast<Impl*>(data)->layout.Remove(name);
}

void KwinFakeInput::Impl::Start() {
    registry.reset(wl_display_get_registry(display.Get()));
    if (!registry) throw std::runtime_error("the Wayland connection failed at once");
    static const wl_registry_listener listener{.global = &Impl::Global,
                                               .global_remove = &Impl::GlobalRemove};
    wl_registry_add_listener(registry.get(), &listener, this);
    if (!display.Roundtrip(kAnswerMs))
        throw std::runtime_error("the Wayland compositor did not list its globals in time");
    if (offeredVersion == 0)
        throw std::runtime_error(
            "KWin does not offer this program fake input (org_kde_kwin_fake_input): it offers it "
            "only to a program with an installed desktop entry whose Exec= is the absolute path " +
            OwnExecutable() +
            " and whose X-KDE-Wayland-Interfaces lists org_kde_kwin_fake_input (the package "
            "installs one; elsewhere, put one in ~/.local/share/applications)");
    if (!fake)
        throw std::runtime_error("the compositor's fake input is version " +
                                 std::to_string(offeredVersion) +
                                 ", too old for absolute motion and keys (4 needed)");
    org_kde_kwin_fake_input_authenticate(fake.get(), "Velmora",
                                         "types translated chat messages into the chat window");
    // Also brings the outputs' descriptions.
    if (!display.Roundtrip(kAnswerMs))
        throw std::runtime_error(display.Broken()
                                     ? "the compositor refused our fake input"
                                     : "the Wayland compositor did not answer in time");
}

void KwinFakeInput::Impl::ReleaseAll() {
    if (!Usable()) return;
    const bool anything = !heldKeys.empty() || buttonHeld;
    const std::set<std::uint32_t> held = heldKeys;
    for (std::uint32_t key : held) SendKey(key, false);
    if (buttonHeld) SendButton(false);
    if (anything) display.Roundtrip(kAnswerMs);
}

KwinFakeInput::KwinFakeInput(const std::string& display) : impl_(std::make_unique<Impl>(display)) {
    impl_->Start();
}

KwinFakeInput::~KwinFakeInput() {
    impl_->ReleaseAll();
}

void KwinFakeInput::MoveCursor(std::int32_t x, std::int32_t y) {
    if (!impl_->Usable()) return;
    const Rect l = impl_->CurrentLayout();
    if (l.right <= l.left || l.bottom <= l.top) return;
    // Past the edge the pointer stops at it, as a real one does.
    const std::int32_t cx = std::clamp(x, l.left, l.right - 1);
    const std::int32_t cy = std::clamp(y, l.top, l.bottom - 1);
    // KWin takes the position in layout coordinates; the middle of the pixel, so rounding
    // on either side lands on it.
    org_kde_kwin_fake_input_pointer_motion_absolute(
        impl_->fake.get(), wl_fixed_from_double(cx + 0.5), wl_fixed_from_double(cy + 0.5));
    impl_->display.Roundtrip(kAnswerMs);
    impl_->cursor = Point{cx, cy};
}

Point KwinFakeInput::CursorPos() {
    if (impl_->cursor) return *impl_->cursor;
    const Rect l = impl_->CurrentLayout();
    return {l.left + (l.right - l.left) / 2, l.top + (l.bottom - l.top) / 2};
}

void KwinFakeInput::LeftDown() {
    if (!impl_->Usable()) return;
    impl_->SendButton(true);
    impl_->display.Roundtrip(kAnswerMs);
}

void KwinFakeInput::LeftUp() {
    if (!impl_->Usable() || !impl_->buttonHeld) return;
    impl_->SendButton(false);
    impl_->display.Roundtrip(kAnswerMs);
}

void KwinFakeInput::KeyDown(std::uint8_t vk) {
    const std::uint32_t key = EvdevKeyForVk(vk);
    if (key == 0 || !impl_->Usable()) return;
    impl_->SendKey(key, true);
    impl_->display.Roundtrip(kAnswerMs);
}

void KwinFakeInput::KeyUp(std::uint8_t vk) {
    const std::uint32_t key = EvdevKeyForVk(vk);
    if (key == 0 || !impl_->Usable() || !impl_->heldKeys.count(key)) return;
    impl_->SendKey(key, false);
    impl_->display.Roundtrip(kAnswerMs);
}

bool KwinFakeInput::AnyKeyDown() {
    return !impl_->heldKeys.empty();
}

bool KwinFakeInput::IsKeyDown(std::uint8_t vk) {
    return EvdevKeyHeld(impl_->heldKeys, vk);
}

bool KwinFakeInput::AnyButtonDown() {
    return impl_->buttonHeld;
}

}  // namespace velmora::platform::wayland
