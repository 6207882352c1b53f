#include "platform/wayland/WaylandGlobals.h"

#include <wayland-client.h>

#include <cstring>
#include <memory>
#include <stdexcept>

#include "platform/wayland/WaylandDisplay.h"

namespace velmora::platform::wayland {

namespace {

constexpr std::size_t kMaxGlobals = 4096;
constexpr std::size_t kMaxName = 255;

void OnGlobal(void* data, wl_registry*, std::uint32_t, const char* iface, std::uint32_t version) {
    auto& out = *static_cast<std::vector<WaylandGlobal>*>(data);
    if (out.size() >= kMaxGlobals || !iface) return;
    out.push_back({std::string(iface, strnlen(iface, kMaxName)), version});
}

void OnGlobalRemove(void*, wl_registry*, std::uint32_t) {}

}  // namespace

std::optional<std::vector<WaylandGlobal>> ListWaylandGlobals(const std::string& display,
                                                             int timeoutMs) {
    std::optional<WaylandDisplay> connection;
    try {
        connection.emplace(display);
    } catch (const std::runtime_error&) {
        return std::nullopt;
    }
    std::vector<WaylandGlobal> globals;
    static const wl_registry_listener listener{.global = OnGlobal, .global_remove = OnGlobalRemove};
    RegistryPtr registry(wl_display_get_registry(connection->Get()));
    if (!registry) return std::nullopt;
    wl_registry_add_listener(registry.get(), &listener, &globals);
    if (!connection->Roundtrip(timeoutMs)) return std::nullopt;
    return globals;
}

bool Offers(const std::vector<WaylandGlobal>& globals, std::string_view interface,
            std::uint32_t version) {
    for (const WaylandGlobal& g : globals)
        if (g.interface == interface && g.version >= version) return true;
    return false;
}

}  // namespace velmora::platform::wayland
