// Answers the desktop portal's permission dialog on a HeadlessMutter the way a user does: finds
// its Share or Cancel button through the accessibility bus and presses it.
//   portal_dialog share|cancel [timeout-ms]
// Exits 0 once the button was pressed, 1 when no such dialog showed in time.

#include <atspi/atspi.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>

namespace {

// A control of the role whose name is the word or ends with it (GTK names buttons by their
// mnemonic and their label: "_Share Share").
bool IsControl(AtspiAccessible* a, AtspiRole role, const std::string& word) {
    if (atspi_accessible_get_role(a, nullptr) != role) return false;
    gchar* name = atspi_accessible_get_name(a, nullptr);
    if (!name) return false;
    const std::string n(name);
    g_free(name);
    return n == word ||
           (n.size() > word.size() && n.compare(n.size() - word.size(), word.size(), word) == 0 &&
            n[n.size() - word.size() - 1] == ' ');
}

// The first matching control under a, owned by the caller; depth-bounded.
AtspiAccessible* Find(AtspiAccessible* a, AtspiRole role, const std::string& word, int depth) {
    if (IsControl(a, role, word)) return static_cast<AtspiAccessible*>(g_object_ref(a));
    if (depth > 30) return nullptr;
    const int n = atspi_accessible_get_child_count(a, nullptr);
    for (int i = 0; i < n && i < 500; ++i) {
        AtspiAccessible* child = atspi_accessible_get_child_at_index(a, i, nullptr);
        if (!child) continue;
        AtspiAccessible* found = Find(child, role, word, depth + 1);
        g_object_unref(child);
        if (found) return found;
    }
    return nullptr;
}

bool Act(AtspiAccessible* control) {
    AtspiAction* action = atspi_accessible_get_action_iface(control);
    const bool done = action && atspi_action_do_action(action, 0, nullptr);
    if (action) g_object_unref(action);
    return done;
}

// Sharing the screen alone would leave the session without keyboard and pointer: the switch
// that allows remote interaction must be on before Share is pressed. The dialog may fill in
// the switch after its buttons, and the switch turns on some time after it is asked to: true
// only once it is seen on.
// The switch is toggled, not set: a second toggle while the first is still on its way to the
// dialog's tree (which shows it some time later) would turn it off again, just before Share.
// So it is toggled again only once the first had long enough to show.
constexpr auto kToggleShowsWithin = std::chrono::seconds(2);

struct Toggle {
    bool pending = false;
    std::chrono::steady_clock::time_point at;
};

bool InteractionAllowed(AtspiAccessible* app, Toggle& toggled) {
    AtspiAccessible* box = Find(app, ATSPI_ROLE_CHECK_BOX, "Allow remote interaction", 0);
    if (!box) return false;
    atspi_accessible_clear_cache(box);
    AtspiStateSet* states = atspi_accessible_get_state_set(box);
    const bool on = states && atspi_state_set_contains(states, ATSPI_STATE_CHECKED);
    if (states) g_object_unref(states);
    const auto now = std::chrono::steady_clock::now();
    if (on) {
        toggled.pending = false;
    } else if (!toggled.pending || now - toggled.at > kToggleShowsWithin) {
        Act(box);
        toggled = {true, now};
    }
    g_object_unref(box);
    return on;
}

// onLooks: how many looks in a row saw the switch on; Share waits for two, as the dialog can
// set the switch from its own defaults after it first showed it.
bool PressOnce(const std::string& word, int& onLooks, Toggle& toggled) {
    AtspiAccessible* desktop = atspi_get_desktop(0);
    if (!desktop) return false;
    bool pressed = false;
    const int apps = atspi_accessible_get_child_count(desktop, nullptr);
    for (int i = 0; i < apps && !pressed; ++i) {
        AtspiAccessible* app = atspi_accessible_get_child_at_index(desktop, i, nullptr);
        if (!app) continue;
        gchar* name = atspi_accessible_get_name(app, nullptr);
        const bool portal = name && std::strcmp(name, "xdg-desktop-portal-gnome") == 0;
        g_free(name);
        if (portal) {
            if (AtspiAccessible* button = Find(app, ATSPI_ROLE_PUSH_BUTTON, word, 0)) {
                if (word == "Share") onLooks = InteractionAllowed(app, toggled) ? onLooks + 1 : 0;
                if (word != "Share" || onLooks >= 2) pressed = Act(button);
                g_object_unref(button);
            }
        }
        g_object_unref(app);
    }
    g_object_unref(desktop);
    return pressed;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) return 2;
    const std::string word = std::strcmp(argv[1], "cancel") == 0 ? "Cancel" : "Share";
    const int timeoutMs = argc > 2 ? std::atoi(argv[2]) : 20000;
    if (atspi_init() < 0) return 2;
    atspi_set_timeout(2000, 5000);
    // With nothing cached, the library reads a program's first tree inside the bus dispatch and
    // calls back on the bus from there, which never returns. States only; the switch's is
    // dropped before each look.
    if (AtspiAccessible* desktop = atspi_get_desktop(0)) {
        atspi_accessible_set_cache_mask(desktop, ATSPI_CACHE_STATES);
        g_object_unref(desktop);
    }
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    int onLooks = 0;
    Toggle toggled;
    while (std::chrono::steady_clock::now() < end) {
        if (PressOnce(word, onLooks, toggled)) return 0;
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    return 1;
}
