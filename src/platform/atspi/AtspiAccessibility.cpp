#include "platform/atspi/AtspiAccessibility.h"

#include <atspi/atspi.h>
#include <gio/gio.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <string_view>
#include <vector>

#include "platform/Utf8.h"

namespace velmora::platform::atspi {

namespace {

// A program that hangs must not hang us: every bus call gives up after this.
constexpr int kCallTimeoutMs = 800;
constexpr int kBusStartTimeoutMs = 3000;
// Bounds on one search, so a huge or cyclic tree cannot keep us.
constexpr int kMaxDepth = 48;
constexpr int kMaxVisits = 4000;
// Longer texts are read from their end: the new part of a history is there.
constexpr int kMaxChars = 4 * 1024 * 1024;
constexpr char16_t kObject = u'\uFFFC';

struct Unref {
    void operator()(gpointer p) const {
        if (p) g_object_unref(p);
    }
};
template <typename T>
using GObj = std::unique_ptr<T, Unref>;

struct ErrorHolder {
    GError* error = nullptr;
    ~ErrorHolder() {
        if (error) g_error_free(error);
    }
    GError** operator&() { return &error; }
    bool failed() const { return error != nullptr; }
};

struct Extents {
    int x = 0, y = 0, w = 0, h = 0;
    bool empty() const { return w <= 0 || h <= 0; }
    bool contains(Point p) const {
        return !empty() && p.x >= x && p.y >= y && p.x < x + w && p.y < y + h;
    }
};

std::optional<Extents> ExtentsOf(AtspiAccessible* a) {
    GObj<AtspiComponent> c(atspi_accessible_get_component_iface(a));
    if (!c) return std::nullopt;
    ErrorHolder e;
    AtspiRect* r = atspi_component_get_extents(c.get(), ATSPI_COORD_TYPE_SCREEN, &e);
    if (!r) return std::nullopt;
    Extents out{r->x, r->y, r->width, r->height};
    g_free(r);
    if (e.failed()) return std::nullopt;
    return out;
}

// Other programs change their trees all the time: every read asks them, never a cache. Only the
// states are cached at all (the library's handler of a program's first tree reads them inside
// the bus dispatch, and a call from there never returns), and dropped before each read.
constexpr AtspiCache kProgramCache = ATSPI_CACHE_STATES;

void AskOthers(AtspiAccessible* app) {
    atspi_accessible_set_cache_mask(app, kProgramCache);
}

bool HasState(AtspiAccessible* a, AtspiStateType state) {
    a->cached_properties &= ~static_cast<guint>(ATSPI_CACHE_STATES);
    GObj<AtspiStateSet> set(atspi_accessible_get_state_set(a));
    return set && atspi_state_set_contains(set.get(), state);
}

int ChildCount(AtspiAccessible* a) {
    ErrorHolder e;
    int n = atspi_accessible_get_child_count(a, &e);
    return e.failed() ? 0 : std::clamp(n, 0, kMaxVisits);
}

GObj<AtspiAccessible> ChildAt(AtspiAccessible* a, int i) {
    ErrorHolder e;
    return GObj<AtspiAccessible>(atspi_accessible_get_child_at_index(a, i, &e));
}

// One object on the way down, and whether it holds the point itself (a page tab of no size
// only leads to its page).
struct Step {
    GObj<AtspiAccessible> object;
    bool holds = false;
};

// The path (outermost first) from below `a` to the deepest object that holds the point.
std::vector<Step> Descend(AtspiAccessible* a, Point p, int depth, int& visits) {
    std::vector<Step> path;
    if (depth > kMaxDepth) return path;
    const int n = ChildCount(a);
    std::vector<GObj<AtspiAccessible>> sizeless;
    for (int i = 0; i < n && visits < kMaxVisits; ++i) {
        ++visits;
        auto child = ChildAt(a, i);
        if (!child) continue;
        auto ext = ExtentsOf(child.get());
        if (ext && ext->contains(p) && HasState(child.get(), ATSPI_STATE_SHOWING)) {
            auto below = Descend(child.get(), p, depth + 1, visits);
            path.push_back({std::move(child), true});
            for (auto& b : below) path.push_back(std::move(b));
            return path;
        }
        if (!ext || ext->empty()) sizeless.push_back(std::move(child));
    }
    for (auto& child : sizeless) {
        auto below = Descend(child.get(), p, depth + 1, visits);
        if (below.empty()) continue;
        path.push_back({std::move(child), false});
        for (auto& b : below) path.push_back(std::move(b));
        return path;
    }
    return path;
}

std::optional<std::u16string> WholeText(AtspiAccessible* a) {
    GObj<AtspiText> t(atspi_accessible_get_text_iface(a));
    if (!t) return std::nullopt;
    ErrorHolder e;
    const int count = atspi_text_get_character_count(t.get(), &e);
    if (e.failed() || count < 0) return std::nullopt;
    ErrorHolder e2;
    gchar* bytes = atspi_text_get_text(t.get(), std::max(0, count - kMaxChars), count, &e2);
    if (!bytes) return std::nullopt;
    std::u16string out = Utf8Decode(bytes);
    g_free(bytes);
    if (e2.failed()) return std::nullopt;
    return out;
}

bool MostlyObjects(const std::u16string& s) {
    const auto objects = std::count(s.begin(), s.end(), kObject);
    return objects > 0 && static_cast<std::size_t>(objects) * 2 >= s.size();
}

// A view that holds its lines as child objects reports only U+FFFC for them: its children's
// texts, one a line, are what it shows.
std::u16string ChildrenText(AtspiAccessible* a) {
    std::u16string out;
    const int n = std::min(ChildCount(a), kMaxVisits);
    for (int i = 0; i < n; ++i) {
        auto child = ChildAt(a, i);
        if (!child) continue;
        if (auto t = WholeText(child.get())) {
            out += *t;
            out += u'\n';
        }
    }
    return out;
}

int SendActionIndex(AtspiAccessible* a) {
    GObj<AtspiAction> act(atspi_accessible_get_action_iface(a));
    if (!act) return -1;
    ErrorHolder e;
    const int n = atspi_action_get_n_actions(act.get(), &e);
    for (int i = 0; i < n && i < 16; ++i) {
        ErrorHolder e2;
        gchar* name = atspi_action_get_action_name(act.get(), i, &e2);
        if (!name) continue;
        // Toolkits differ in case: "click", "press", "Press", "activate".
        std::string s = name;
        g_free(name);
        std::transform(s.begin(), s.end(), s.begin(),
                       [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
        if (s == "click" || s == "press" || s == "activate") return i;
    }
    return -1;
}

// A control that sends: a push button that can be clicked or pressed, or an editable entry
// that can be activated (its Enter). Containers around them may carry actions of their own
// (a page tab's, say) that send nothing.
int SendControlAction(AtspiAccessible* a) {
    const int index = SendActionIndex(a);
    if (index < 0) return -1;
    ErrorHolder e;
    const AtspiRole role = atspi_accessible_get_role(a, &e);
    if (!e.failed() && role == ATSPI_ROLE_PUSH_BUTTON) return index;
    if (!HasState(a, ATSPI_STATE_EDITABLE)) return -1;
    GObj<AtspiAction> act(atspi_accessible_get_action_iface(a));
    ErrorHolder e2;
    gchar* name = act ? atspi_action_get_action_name(act.get(), index, &e2) : nullptr;
    const bool activate = name && std::string_view(name) == "activate";
    g_free(name);
    return activate ? index : -1;
}

bool Matches(AtspiAccessible* a, bool editable) {
    GObj<AtspiText> t(atspi_accessible_get_text_iface(a));
    if (!t) return false;
    const bool isEditable = HasState(a, ATSPI_STATE_EDITABLE);
    if (!editable) return !isEditable;
    GObj<AtspiEditableText> et(atspi_accessible_get_editable_text_iface(a));
    return isEditable && et;
}

// Whether an accessibility bus can be reached at all: without one the library only warns,
// and every later call would wait for nothing. Asking the bus launcher for the address starts
// it where the session can (as a screen reader's start does).
bool BusReachable() {
    if (std::getenv("AT_SPI_BUS_ADDRESS")) return true;
    ErrorHolder e;
    GObj<GDBusConnection> bus(g_bus_get_sync(G_BUS_TYPE_SESSION, nullptr, &e));
    if (!bus) return false;
    ErrorHolder e2;
    GVariant* reply = g_dbus_connection_call_sync(
        bus.get(), "org.a11y.Bus", "/org/a11y/bus", "org.a11y.Bus", "GetAddress", nullptr,
        G_VARIANT_TYPE("(s)"), G_DBUS_CALL_FLAGS_NONE, kBusStartTimeoutMs, nullptr, &e2);
    if (!reply) return false;
    g_variant_unref(reply);
    return true;
}

}  // namespace

struct AtspiAccessibility::Node {
    GObj<AtspiAccessible> object;
};

AtspiAccessibility::AtspiAccessibility(x11::X11Windows& windows) : AtspiAccessibility() {
    windows_ = &windows;
}

AtspiAccessibility::AtspiAccessibility() {
    if (!BusReachable()) return;
    if (!atspi_is_initialized() && atspi_init() > 1) return;
    atspi_set_timeout(kCallTimeoutMs, kCallTimeoutMs);
    // The same for the list of programs, and for programs not yet asked (theirs falls back to
    // the list's).
    GObj<AtspiAccessible> desktop(atspi_get_desktop(0));
    if (desktop) AskOthers(desktop.get());
    ready_ = true;
}

AtspiAccessibility::~AtspiAccessibility() = default;

std::unique_ptr<AtspiAccessibility::Node> AtspiAccessibility::Find(WinHandle window, Point screen,
                                                                   Want want) {
    auto app = ApplicationOf(window);
    if (!app) return nullptr;
    int visits = 0;
    auto path = Descend(app->object.get(), screen, 0, visits);
    // The widget is the deepest object that fits; a view's pieces lie inside it.
    for (auto it = path.rbegin(); it != path.rend(); ++it) {
        if (!it->holds) continue;
        AtspiAccessible* a = it->object.get();
        const bool fits = want == Want::Any      ? true
                          : want == Want::Action ? SendControlAction(a) >= 0
                                                 : Matches(a, want == Want::EditableText);
        if (fits) return std::make_unique<Node>(Node{std::move(it->object)});
    }
    return nullptr;
}

std::unique_ptr<AtspiAccessibility::Node> AtspiAccessibility::ApplicationOf(WinHandle window) {
    if (!ready_ || !windows_) return nullptr;
    const auto pid = windows_->ProcessIdOf(static_cast<Window>(window));
    if (!pid) return nullptr;
    GObj<AtspiAccessible> desktop(atspi_get_desktop(0));
    if (!desktop) return nullptr;
    const int apps = ChildCount(desktop.get());
    for (int i = 0; i < apps; ++i) {
        auto app = ChildAt(desktop.get(), i);
        if (!app) continue;
        ErrorHolder e;
        if (static_cast<int>(atspi_accessible_get_process_id(app.get(), &e)) != *pid) continue;
        AskOthers(app.get());
        return std::make_unique<Node>(Node{std::move(app)});
    }
    return nullptr;
}

namespace {
// The focused editable text below a, searched through shown objects only; views that manage
// many descendants (lists, tables) hold no input box and are not entered.
GObj<AtspiAccessible> FocusedEditable(AtspiAccessible* a, int depth, int& visits) {
    if (depth > kMaxDepth || ++visits > kMaxVisits) return nullptr;
    if (HasState(a, ATSPI_STATE_FOCUSED) && Matches(a, true))
        return GObj<AtspiAccessible>(static_cast<AtspiAccessible*>(g_object_ref(a)));
    if (HasState(a, ATSPI_STATE_MANAGES_DESCENDANTS)) return nullptr;
    const int n = ChildCount(a);
    for (int i = 0; i < n; ++i) {
        auto child = ChildAt(a, i);
        if (!child) continue;
        if (depth > 0 && !HasState(child.get(), ATSPI_STATE_SHOWING)) continue;
        if (auto found = FocusedEditable(child.get(), depth + 1, visits)) return found;
    }
    return nullptr;
}
}  // namespace

namespace {
bool DoSendAction(AtspiAccessible* a) {
    const int index = SendControlAction(a);
    GObj<AtspiAction> act(atspi_accessible_get_action_iface(a));
    if (!act || index < 0) return false;
    ErrorHolder e;
    const bool ok = atspi_action_do_action(act.get(), index, &e);
    return ok && !e.failed();
}

bool SetWholeText(AtspiAccessible* a, std::u16string_view text) {
    GObj<AtspiEditableText> et(atspi_accessible_get_editable_text_iface(a));
    if (!et) return false;
    ErrorHolder e;
    const std::string bytes = Utf8Encode(text);
    const bool ok = atspi_editable_text_set_text_contents(et.get(), bytes.c_str(), &e);
    return ok && !e.failed();
}

// The focused editable text in the active window of the one other program that claims one;
// nothing where none or several claim it.
GObj<AtspiAccessible> FocusedOnDesktop() {
    GObj<AtspiAccessible> desktop(atspi_get_desktop(0));
    if (!desktop) return nullptr;
    GObj<AtspiAccessible> found;
    const int apps = ChildCount(desktop.get());
    for (int i = 0; i < apps; ++i) {
        auto app = ChildAt(desktop.get(), i);
        if (!app) continue;
        // Asked of the bus, not of the program. Our own tree answers on the thread that would
        // wait for it: every call there would run into its time limit.
        ErrorHolder e;
        const auto pid = atspi_accessible_get_process_id(app.get(), &e);
        if (e.failed() || pid == static_cast<guint>(getpid())) continue;
        AskOthers(app.get());
        const int windows = ChildCount(app.get());
        for (int w = 0; w < windows; ++w) {
            auto window = ChildAt(app.get(), w);
            if (!window || !HasState(window.get(), ATSPI_STATE_ACTIVE)) continue;
            int visits = 0;
            auto field = FocusedEditable(window.get(), 0, visits);
            if (!field) continue;
            if (found) return nullptr;
            found = std::move(field);
        }
    }
    return found;
}

// The same object of the same program: libatspi may hand out a new proxy for it.
bool SameObject(AtspiAccessible* a, AtspiAccessible* b) {
    if (a == b) return true;
    const AtspiObject& x = a->parent;
    const AtspiObject& y = b->parent;
    return x.app && y.app && x.path && y.path && std::string_view(x.path) == y.path &&
           x.app->bus_name && y.app->bus_name &&
           std::string_view(x.app->bus_name) == y.app->bus_name;
}

class AtspiTextField : public ITextField {
  public:
    explicit AtspiTextField(GObj<AtspiAccessible> field) : field_(std::move(field)) {}
    bool HasFocus() override {
        auto now = FocusedOnDesktop();
        return now && SameObject(now.get(), field_.get());
    }
    std::optional<std::u16string> Text() override { return WholeText(field_.get()); }
    bool SetText(std::u16string_view text) override { return SetWholeText(field_.get(), text); }
    bool Send() override { return DoSendAction(field_.get()); }

  private:
    GObj<AtspiAccessible> field_;
};
}  // namespace

std::optional<std::u16string> AtspiAccessibility::HistoryTextAt(WinHandle window, Point screen) {
    auto node = Find(window, screen, Want::ReadOnlyText);
    if (!node) return std::nullopt;
    auto text = WholeText(node->object.get());
    if (text && MostlyObjects(*text)) return ChildrenText(node->object.get());
    return text;
}

std::optional<Rect> AtspiAccessibility::WidgetRectAt(WinHandle window, Point screen) {
    auto node = Find(window, screen, Want::Any);
    if (!node) return std::nullopt;
    // Only a widget of its own: a tree that goes no deeper than the window or its layout
    // panes says nothing about where the history lies.
    ErrorHolder err;
    switch (atspi_accessible_get_role(node->object.get(), &err)) {
        case ATSPI_ROLE_FRAME:
        case ATSPI_ROLE_WINDOW:
        case ATSPI_ROLE_DIALOG:
        case ATSPI_ROLE_APPLICATION:
        case ATSPI_ROLE_ROOT_PANE:
        case ATSPI_ROLE_FILLER:
        case ATSPI_ROLE_SPLIT_PANE:
        case ATSPI_ROLE_PAGE_TAB_LIST:
            return std::nullopt;
        default:
            break;
    }
    if (err.failed()) return std::nullopt;
    auto e = ExtentsOf(node->object.get());
    if (!e || e->empty()) return std::nullopt;
    return Rect{e->x, e->y, e->x + e->w, e->y + e->h};
}

std::optional<std::u16string> AtspiAccessibility::InputTextAt(WinHandle window, Point screen) {
    auto node = Find(window, screen, Want::EditableText);
    if (!node) return std::nullopt;
    return WholeText(node->object.get());
}

bool AtspiAccessibility::SetInputTextAt(WinHandle window, Point screen, std::u16string_view text) {
    auto node = Find(window, screen, Want::EditableText);
    return node && SetWholeText(node->object.get(), text);
}

std::optional<Point> AtspiAccessibility::FocusedInputPoint(WinHandle window) {
    auto app = ApplicationOf(window);
    if (!app) return std::nullopt;
    int visits = 0;
    auto field = FocusedEditable(app->object.get(), 0, visits);
    if (!field) return std::nullopt;
    auto e = ExtentsOf(field.get());
    if (!e || e->empty()) return std::nullopt;
    return Point{e->x + e->w / 2, e->y + e->h / 2};
}

bool AtspiAccessibility::SendActionAt(WinHandle window, Point screen) {
    auto node = Find(window, screen, Want::Action);
    return node && DoSendAction(node->object.get());
}

std::unique_ptr<ITextField> AtspiAccessibility::FocusedFieldOnDesktop() {
    if (!ready_) return nullptr;
    auto field = FocusedOnDesktop();
    if (!field) return nullptr;
    return std::make_unique<AtspiTextField>(std::move(field));
}

bool AtspiAccessibility::TurnOnIfOff() {
    ErrorHolder e;
    GObj<GDBusConnection> bus(g_bus_get_sync(G_BUS_TYPE_SESSION, nullptr, &e));
    if (!bus) return false;
    ErrorHolder e2;
    GVariant* reply = g_dbus_connection_call_sync(
        bus.get(), "org.a11y.Bus", "/org/a11y/bus", "org.freedesktop.DBus.Properties", "Get",
        g_variant_new("(ss)", "org.a11y.Status", "IsEnabled"), G_VARIANT_TYPE("(v)"),
        G_DBUS_CALL_FLAGS_NONE, kCallTimeoutMs, nullptr, &e2);
    if (!reply) return false;
    GVariant* value = nullptr;
    g_variant_get(reply, "(v)", &value);
    const bool on = value && g_variant_is_of_type(value, G_VARIANT_TYPE_BOOLEAN) &&
                    g_variant_get_boolean(value);
    if (value) g_variant_unref(value);
    g_variant_unref(reply);
    if (on) return false;
    ErrorHolder e3;
    GVariant* set = g_dbus_connection_call_sync(
        bus.get(), "org.a11y.Bus", "/org/a11y/bus", "org.freedesktop.DBus.Properties", "Set",
        g_variant_new("(ssv)", "org.a11y.Status", "IsEnabled", g_variant_new_boolean(TRUE)),
        nullptr, G_DBUS_CALL_FLAGS_NONE, kCallTimeoutMs, nullptr, &e3);
    if (!set) return false;
    g_variant_unref(set);
    return true;
}

}  // namespace velmora::platform::atspi
