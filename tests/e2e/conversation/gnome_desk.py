"""A headless GNOME Shell of the desk's own (gnome-shell --headless on a virtual monitor), with
PipeWire, WirePlumber, the accessibility bus and the desktop portal, on a session bus of its own.

GNOME gives a program no window list and no input of its own. The desk acts as the user through
the shell itself: a small extension of the desk's own turns on the shell's developer mode, in
which the shell runs the desk's JavaScript (org.gnome.Shell.Eval), as its looking glass does.
The user's pointer and keys are virtual devices of the shell's seat, as a remote desktop's are;
windows are read and moved through the shell's window objects; the clipboard is the shell's;
screenshots are the shell's own. The portal's permission dialog is answered as a user answers
it, through the accessibility bus (tests/platform/wayland/portal_dialog).
"""

import ast
import json
import os
import re
import shutil
import subprocess
import tempfile
import time

from listed_desk import ListedDesk, wait_for

_EXTENSION = "desk@velmora.test"

# The helpers every piece of the desk's JavaScript starts with.
_PRELUDE = """
const { Clutter, GLib, Meta, St } = imports.gi;
const Main = imports.ui.main;
function views() {
    return global.get_window_actors().map(a => a.meta_window).filter(w =>
        w.get_window_type() === Meta.WindowType.NORMAL ||
        w.get_window_type() === Meta.WindowType.DIALOG);
}
function byId(id) { return views().find(w => String(w.get_id()) === id) || null; }
function now() { return GLib.get_monotonic_time(); }
function devices() {
    if (!globalThis.velmoraDesk) {
        const seat = Clutter.get_default_backend().get_default_seat();
        globalThis.velmoraDesk = {
            pointer: seat.create_virtual_device(Clutter.InputDeviceType.POINTER_DEVICE),
            keyboard: seat.create_virtual_device(Clutter.InputDeviceType.KEYBOARD_DEVICE),
        };
    }
    return globalThis.velmoraDesk;
}
"""

_KEYVALS = {"ctrl": "Control_L", "shift": "Shift_L", "alt": "Alt_L", "super": "Super_L"}


def _gvariant_string(text):
    """gdbus reads each argument as GVariant text: a string must be written as one."""
    return '"' + text.replace("\\", "\\\\").replace('"', '\\"').replace("\n", "\\n") + '"'


class GnomeDesk(ListedDesk):
    name = "gnome"
    label = "GNOME"
    backends = "GNOME"
    can_minimise = True
    width, height = 1280, 800
    # Qt draws a window's frame itself on GNOME: its content starts this far into the window.
    content_offset = (3, 30)
    top_bar = 32  # the shell's bar along the screen's top

    def _write(self, path, text):
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "w") as f:
            f.write(text)

    def start(self, run):
        self.run = run
        self.dir = tempfile.mkdtemp(prefix="velmora-gnome-")
        os.chmod(self.dir, 0o700)
        d = self.dir
        self.bus_address = f"unix:path={os.path.join(d, 'bus')}"
        # Only the permission store starts on demand: nothing of the machine's own desktop
        # joins this bus.
        store = "org.freedesktop.impl.portal.PermissionStore"
        self._write(os.path.join(d, "services", f"{store}.service"),
                    f"[D-BUS Service]\nName={store}\n"
                    "Exec=/usr/libexec/xdg-permission-store\n")
        self._write(os.path.join(d, "bus.conf"),
                    "<!DOCTYPE busconfig PUBLIC \"-//freedesktop//DTD D-Bus Bus Configuration "
                    "1.0//EN\" \"http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd\">\n"
                    f"<busconfig><type>session</type><listen>{self.bus_address}</listen>"
                    f"<servicedir>{os.path.join(d, 'services')}</servicedir>"
                    "<policy context=\"default\"><allow send_destination=\"*\" eavesdrop=\"true\"/>"
                    "<allow eavesdrop=\"true\"/><allow own=\"*\"/></policy></busconfig>\n")
        # The shell's settings: the desk's extension on, no welcome tour, and no banners (the
        # one that says developer mode is on would cover the top of the screen for a while).
        self._write(os.path.join(d, "config", "glib-2.0", "settings", "keyfile"),
                    f"[org/gnome/shell]\nenabled-extensions=['{_EXTENSION}']\n"
                    "welcome-dialog-last-shown-version='999'\n"
                    "[org/gnome/desktop/notifications]\nshow-banners=false\n")
        ext = os.path.join(d, "data", "gnome-shell", "extensions", _EXTENSION)
        self._write(os.path.join(ext, "metadata.json"), json.dumps(
            {"uuid": _EXTENSION, "name": "velmora test desk", "description": "developer mode",
             "shell-version": ["43"]}))
        self._write(os.path.join(ext, "extension.js"),
                    "function init() {}\n"
                    "function enable() {\n"
                    "  global.context.unsafe_mode = true;\n"
                    "  // Which window has the focus, in the shell's log: what a failed run needs.\n"
                    "  global.display.connect('notify::focus-window', () => {\n"
                    "    const w = global.display.focus_window;\n"
                    "    log(`velmora-desk: focus ${w ? w.get_id() + ' ' + w.get_title() : 'none'}`);\n"
                    "  });\n"
                    "  // A window that asked for the focus and was refused: GNOME says it is ready.\n"
                    "  global.display.connect('window-demands-attention', (d, w) => {\n"
                    "    log(`velmora-desk: demands attention pid ${w.get_pid()} ${w.get_title()}`);\n"
                    "  });\n"
                    "}\n"
                    "function disable() {}\n")
        self.env = {k: v for k, v in os.environ.items()
                    if k not in ("WAYLAND_DISPLAY", "DISPLAY", "QT_QPA_PLATFORM", "SWAYSOCK")}
        # The shell asks the system bus for logins: this bus answers that nobody is there.
        self.env.update(XDG_RUNTIME_DIR=d, HOME=d, XDG_CONFIG_HOME=os.path.join(d, "config"),
                        XDG_DATA_HOME=os.path.join(d, "data"),
                        DBUS_SESSION_BUS_ADDRESS=self.bus_address,
                        DBUS_SYSTEM_BUS_ADDRESS=self.bus_address, XDG_CURRENT_DESKTOP="GNOME",
                        XDG_SESSION_TYPE="wayland", GSETTINGS_BACKEND="keyfile",
                        GDK_BACKEND="wayland")
        self._start("gnome-bus", ["dbus-daemon", "--nofork",
                                  f"--config-file={os.path.join(d, 'bus.conf')}"])
        if not wait_for(lambda: os.path.exists(os.path.join(d, "bus")), 10):
            raise RuntimeError("the desk's session bus did not start")
        # WirePlumber and the shell connect to PipeWire once, as they start.
        self._start("pipewire", ["/usr/bin/pipewire"])
        if not wait_for(lambda: os.path.exists(os.path.join(d, "pipewire-0")), 15):
            raise RuntimeError("PipeWire made no socket in 15 s; see pipewire.log")
        self._start("wireplumber", ["/usr/bin/wireplumber"])
        self.display = os.path.join(d, "wayland-gnome")
        self.shell = self._start("gnome-shell", [
            "/usr/bin/gnome-shell", "--headless", "--wayland", "--no-x11", "--virtual-monitor",
            f"{self.width}x{self.height}", "--wayland-display", "wayland-gnome"])
        self._start("a11y-bus", ["/usr/libexec/at-spi-bus-launcher", "--launch-immediately"])
        if not wait_for(lambda: self._alive() and os.path.exists(self.display), 30, 0.1):
            raise RuntimeError("GNOME Shell made no socket in 30 s; see gnome-shell.log")
        # The portal's dialogs are windows on the shell's display.
        self.env["WAYLAND_DISPLAY"] = self.display
        self._start("portal-gnome", ["/usr/libexec/xdg-desktop-portal-gnome"])
        if not wait_for(lambda: self._has("org.freedesktop.impl.portal.desktop.gnome"), 15, 0.1):
            raise RuntimeError("the portal's GNOME backend did not start; see portal-gnome.log")
        self._start("portal", ["/usr/libexec/xdg-desktop-portal"])
        # The shell is ready for the desk once it runs the desk's JavaScript; it starts in its
        # overview, which the user leaves first.
        if not wait_for(lambda: self._alive() and self._try_js("Main.overview.hide(); true"), 30,
                         0.2):
            raise RuntimeError("GNOME Shell never ran the desk's JavaScript; see gnome-shell.log")
        if not wait_for(lambda: self.js("!Main.overview.visible &&"
                                         " !Main.overview.animationInProgress"), 10):
            raise RuntimeError("GNOME Shell stayed in its overview")
        if not wait_for(lambda: self._has("org.freedesktop.portal.Desktop"), 15, 0.1):
            raise RuntimeError("the desktop portal did not start; see portal.log")

    def _start(self, name, argv):
        # The run ends what it started, this desk's programs too, before the desk's stop.
        p, _ = self.run.start(name, argv, env=self.env)
        return p

    def _alive(self):
        if self.shell.poll() is not None:
            raise RuntimeError(f"GNOME Shell ended with {self.shell.returncode};"
                               " see gnome-shell.log")
        return True

    def _call(self, dest, path, method, *args, timeout=20):
        """A D-Bus call on the desk's bus; its answer as Python values."""
        r = subprocess.run(["gdbus", "call", "--address", self.bus_address, "--dest", dest,
                            "--object-path", path, "--method", method, "--timeout",
                            str(timeout), "--", *args],
                           capture_output=True, text=True, timeout=timeout + 5)
        if r.returncode != 0:
            raise RuntimeError(f"{method}: {r.stderr.strip()}")
        # GVariant's text of booleans and strings, which Python reads once the booleans are
        # spelt its way (the strings the desk reads are plain ASCII: see js()).
        text = re.sub(r"^\((true|false)\b", lambda m: "(" + m.group(1).capitalize(),
                      r.stdout.strip())
        return ast.literal_eval(text)

    def _has(self, name):
        try:
            return self._call("org.freedesktop.DBus", "/org/freedesktop/DBus",
                              "org.freedesktop.DBus.NameHasOwner", name, timeout=5)[0]
        except RuntimeError:
            return False

    def _try_js(self, body):
        try:
            return self.js(body)
        except RuntimeError:
            return None

    def js(self, body):
        """Runs JavaScript in the shell; the value of its last expression, through JSON, with
        every character beyond ASCII escaped."""
        code = _PRELUDE + (
            "JSON.stringify((() => { return eval(%s); })()).replace(/[\\u007f-\\uffff]/g,"
            " c => '\\\\u' + ('000' + c.charCodeAt(0).toString(16)).slice(-4))" % json.dumps(body))
        ok, out = self._call("org.gnome.Shell", "/org/gnome/Shell", "org.gnome.Shell.Eval",
                             _gvariant_string(code))
        if not ok:
            raise RuntimeError(f"the shell refused the desk's JavaScript: {out}")
        # The shell hands back its own JSON of the value: here, of the JSON text above.
        return json.loads(json.loads(out)) if out else None

    def stop(self):
        if hasattr(self, "dir"):
            shutil.rmtree(self.dir, ignore_errors=True)

    def client_env(self, env):
        env = {k: v for k, v in env.items() if k not in ("DISPLAY", "SWAYSOCK")}
        env.update(QT_QPA_PLATFORM="wayland", WAYLAND_DISPLAY=self.display,
                   XDG_RUNTIME_DIR=self.dir, DBUS_SESSION_BUS_ADDRESS=self.bus_address,
                   XDG_SESSION_TYPE="wayland", XDG_CURRENT_DESKTOP="GNOME")
        return env

    def asked_in_vain(self, pid):
        """How often a window of the process asked for the focus and was refused: each time
        GNOME tells the user that program "is ready"."""
        with open(os.path.join(self.run.out, "gnome-shell.log"), encoding="utf-8",
                  errors="replace") as f:
            return f.read().count(f"velmora-desk: demands attention pid {pid} ")

    def grant_portal(self, seconds=60):
        """Presses Share in the portal's dialog, as the user does; false when none showed."""
        tool = os.path.join(self.run.build, "tests", "platform", "wayland", "portal_dialog")
        r = subprocess.run([tool, "share", str(seconds * 1000)], env=self.env,
                           timeout=seconds + 10, capture_output=True)
        return r.returncode == 0

    def _listed(self):
        return self.js(
            "views().map(w => { const r = w.get_frame_rect(); return {id: String(w.get_id()),"
            " pid: w.get_pid(), name: w.get_title() || '', x: r.x, y: r.y, width: r.width,"
            " height: r.height, minimized: w.minimized, focused: w.has_focus()}; })")

    def move_window(self, handle, x, y):
        """Puts the window's content at (x, y)."""
        fx, fy = x - self.content_offset[0], y - self.content_offset[1]
        self.js(f"(() => {{ const w = byId('{self._own_id(handle)}');"
                f" if (w) w.move_frame(true, {fx}, {fy}); return !!w; }})()")
        wait_for(lambda: self.window_origin(handle) == (x, y), 5, 0.1)

    def activate(self, handle):
        self.js(f"(() => {{ const w = byId('{self._own_id(handle)}');"
                " if (w) Main.activateWindow(w); return !!w; })()")
        wait_for(lambda: self.active_window() == handle, 5, 0.1)

    def minimise(self, handle):
        self.js(f"(() => {{ const w = byId('{self._own_id(handle)}'); if (w) w.minimize();"
                " return !!w; })()")

    def click(self, x, y, button=1):
        self.js(f"(() => {{ const p = devices().pointer; p.notify_absolute_motion(now(), {x}, {y});"
                " return true; })()")
        time.sleep(0.15)
        self.js(f"(() => {{ const p = devices().pointer;"
                f" p.notify_button(now(), {button}, Clutter.ButtonState.PRESSED);"
                f" p.notify_button(now(), {button}, Clutter.ButtonState.RELEASED);"
                " return true; })()")

    def keys(self, *combos, window=None):
        if window:
            self.activate(window)
        for combo in combos:
            names = [_KEYVALS.get(k, k) for k in combo.split("+")]
            vals = json.dumps(names)
            self.js(f"(() => {{ const k = devices().keyboard;"
                    f" const vs = {vals}.map(n => Clutter['KEY_' + n]);"
                    " if (vs.some(v => v === undefined)) throw new Error('no key ' + "
                    f"{json.dumps(combo)});"
                    " vs.forEach(v => k.notify_keyval(now(), v, Clutter.KeyState.PRESSED));"
                    " vs.slice().reverse().forEach(v =>"
                    " k.notify_keyval(now(), v, Clutter.KeyState.RELEASED)); return true; })()")

    def paste(self, text):
        self.js(f"St.Clipboard.get_default().set_text(St.ClipboardType.CLIPBOARD, "
                f"{json.dumps(text)}), true")
        wait_for(lambda: self.clipboard() == text, 5)
        self.keys("ctrl+v")
        time.sleep(0.3)

    def clipboard(self):
        # The shell reads the clipboard asynchronously: ask, then collect the answer.
        self.js("globalThis.velmoraClip = undefined; St.Clipboard.get_default().get_text("
                "St.ClipboardType.CLIPBOARD, (c, t) => { globalThis.velmoraClip = t || ''; });"
                " true")
        got = wait_for(lambda: self.js("globalThis.velmoraClip === undefined ? null :"
                                        " [globalThis.velmoraClip]"), 5)
        return got[0] if got else ""

    def _screenshot(self, x, y, w, h, path):
        ok, _ = self._call("org.gnome.Shell.Screenshot", "/org/gnome/Shell/Screenshot",
                           "org.gnome.Shell.Screenshot.ScreenshotArea", str(x), str(y), str(w),
                           str(h), "false", _gvariant_string(path), timeout=30)
        if not ok:
            print(f"desk: the shell took no screenshot ({os.path.basename(path)})", flush=True)

    def screenshot_window(self, handle, path):
        self._screenshot(*self.window_rect(handle), path)

    def screenshot_screen(self, path):
        self._screenshot(0, 0, self.width, self.height, path)
