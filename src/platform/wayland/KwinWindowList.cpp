#include "platform/wayland/KwinWindowList.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <nlohmann/json.hpp>

namespace velmora::platform::wayland {

// Plasma 6 renamed what Plasma 5 calls clients: windowList, activeWindow and a window's
// desktops (objects) in place of clientList, activeClient and its desktop (a number). Each
// helper asks for the newer name first.
const char* const kKwinListScript = R"JS(
function windows() {
    return typeof workspace.windowList === "function" ? workspace.windowList()
                                                      : workspace.clientList();
}
function active() {
    return workspace.activeWindow !== undefined ? workspace.activeWindow : workspace.activeClient;
}
function activate(c) {
    if (workspace.activeWindow !== undefined) workspace.activeWindow = c;
    else workspace.activeClient = c;
}
function byId(id) {
    var list = windows();
    for (var i = 0; i < list.length; ++i)
        if (String(list[i].internalId) === id) return list[i];
    return null;
}
function onCurrentDesktop(c) {
    if (c.onAllDesktops) return true;
    if (c.desktops !== undefined && c.desktop === undefined)
        return c.desktops.indexOf(workspace.currentDesktop) >= 0;
    return c.desktop === workspace.currentDesktop;
}
function rectOf(g) { return [g.x, g.y, g.width, g.height]; }
function describe(c) {
    return { id: String(c.internalId), pid: c.pid, caption: String(c.caption),
             resourceClass: String(c.resourceClass), frame: rectOf(c.frameGeometry),
             buffer: rectOf(c.bufferGeometry), minimized: !!c.minimized,
             keepAbove: !!c.keepAbove, stacking: c.stackingOrder,
             shown: !c.hidden && onCurrentDesktop(c) };
}
function snapshot() {
    var list = windows();
    var out = [];
    for (var i = 0; i < list.length; ++i) out.push(describe(list[i]));
    var a = active();
    return { active: a ? String(a.internalId) : "", windows: out };
}
)JS";

namespace {

using nlohmann::json;

bool ToInt(const json& v, int& out) {
    if (!v.is_number()) return false;
    const double d = v.get<double>();
    if (!std::isfinite(d) || d < std::numeric_limits<int>::min() ||
        d > std::numeric_limits<int>::max())
        return false;
    out = static_cast<int>(std::lround(d));
    return true;
}

// [x, y, width, height]; a rectangle whose far edges leave the int range is malformed.
bool ToRect(const json& v, Rect& out) {
    if (!v.is_array() || v.size() != 4) return false;
    int p[4];
    for (int i = 0; i < 4; ++i)
        if (!ToInt(v[i], p[i])) return false;
    if (p[2] < 0 || p[3] < 0) return false;
    const long long right = static_cast<long long>(p[0]) + p[2];
    const long long bottom = static_cast<long long>(p[1]) + p[3];
    if (right > std::numeric_limits<int>::max() || bottom > std::numeric_limits<int>::max())
        return false;
    out = Rect{p[0], p[1], static_cast<int>(right), static_cast<int>(bottom)};
    return true;
}

bool ToString(const json& o, const char* key, std::string& out) {
    const auto it = o.find(key);
    if (it == o.end() || !it->is_string()) return false;
    out = it->get<std::string>();
    return true;
}

bool ToBool(const json& o, const char* key, bool& out) {
    const auto it = o.find(key);
    if (it == o.end() || !it->is_boolean()) return false;
    out = it->get<bool>();
    return true;
}

}  // namespace

std::optional<KwinSnapshot> ParseKwinSnapshot(const std::string& text) {
    const json doc = json::parse(text, nullptr, false);
    if (!doc.is_object()) return std::nullopt;
    KwinSnapshot s;
    const auto windows = doc.find("windows");
    if (!ToString(doc, "active", s.active) || windows == doc.end() || !windows->is_array() ||
        windows->size() > kMaxKwinWindows)
        return std::nullopt;
    for (const json& w : *windows) {
        if (!w.is_object()) return std::nullopt;
        KwinWindow k;
        const auto pid = w.find("pid");
        const auto frame = w.find("frame");
        const auto buffer = w.find("buffer");
        const auto stacking = w.find("stacking");
        if (!ToString(w, "id", k.id) || k.id.empty() || !ToString(w, "caption", k.caption) ||
            !ToString(w, "resourceClass", k.resourceClass) || pid == w.end() ||
            !ToInt(*pid, k.pid) || frame == w.end() || !ToRect(*frame, k.frame) ||
            buffer == w.end() || !ToRect(*buffer, k.client) ||
            !ToBool(w, "minimized", k.minimized) || !ToBool(w, "keepAbove", k.keepAbove) ||
            !ToBool(w, "shown", k.shown) || stacking == w.end() || !ToInt(*stacking, k.stacking))
            return std::nullopt;
        // The program's surface: within KWin's decoration, and without the shadow a program
        // that draws its own frame puts around it.
        k.client = Rect{std::max(k.frame.left, k.client.left), std::max(k.frame.top, k.client.top),
                        std::min(k.frame.right, k.client.right),
                        std::min(k.frame.bottom, k.client.bottom)};
        if (k.client.right < k.client.left || k.client.bottom < k.client.top) k.client = k.frame;
        s.windows.push_back(std::move(k));
    }
    return s;
}

}  // namespace velmora::platform::wayland
