"""The user's side of a conversation: the desktop operations the driver needs, on X11 or sway.

Both desks take the same actions a user would, through the desktop's own tools: X11 through
xdotool, xclip, xwininfo, xprop and ImageMagick's import on the current display; sway through
a headless sway of the desk's own, its IPC (swaymsg) for the pointer and windows, wtype for
keys, wl-copy/wl-paste for the clipboard and grim for screenshots. Windows are named by a
handle: an X window id, or a sway container id. Places are screen pixels.
"""

import json
import os
import re
import shutil
import signal
import subprocess
import tempfile
import time

from wayland_devices import SeatDevices


def sh(*args, check=False, timeout=20, env=None):
    r = subprocess.run(args, capture_output=True, text=True, timeout=timeout, env=env)
    if check and r.returncode != 0:
        raise RuntimeError(f"{args}: {r.stderr.strip()}")
    return r.stdout.strip()


def wait_for(cond, seconds, step=0.05):
    end = time.monotonic() + seconds
    while time.monotonic() < end:
        v = cond()
        if v:
            return v
        time.sleep(step)
    return cond()


class X11Desk:
    """The current X display, as the test desktop (Xvfb, openbox) provides it."""

    name = "x11"
    can_minimise = True

    def start(self, run):
        pass

    def stop(self):
        pass

    def client_env(self, env):
        return env

    def click(self, x, y, button=1):
        sh("xdotool", "mousemove", str(x), str(y))
        time.sleep(0.15)
        sh("xdotool", "click", str(button))

    def keys(self, *combos, window=None):
        """Presses key combinations given as xdotool names ("ctrl+v", "Down"), into a window
        when one is given."""
        target = ["--window", str(window)] if window else []
        sh("xdotool", "key", *target, *combos)

    def find_window(self, title_re):
        found = sh("xdotool", "search", "--onlyvisible", "--name", title_re)
        return int(found.splitlines()[0]) if found else None

    def chat_window(self, pid, geo):
        return geo["window"]

    def chat_controls(self, chat, geo):
        """The chat window's controls in screen pixels: imsim reports them so on X."""
        return geo

    def placed(self, geo):
        # Until the window manager has placed the window, its controls report places near the
        # screen's corner: the window asks for x 820.
        return geo["input"][0] >= 820

    def window_origin(self, handle):
        info = sh("xwininfo", "-id", str(handle))
        vals = {}
        for line in info.splitlines():
            key, _, value = line.strip().partition(":")
            vals[key] = value.strip()
        return int(vals["Absolute upper-left X"]), int(vals["Absolute upper-left Y"])

    def move_window(self, handle, x, y):
        sh("xdotool", "windowmove", str(handle), str(x), str(y))

    def activate(self, handle):
        sh("xdotool", "windowactivate", "--sync", str(handle))

    def active_window(self):
        active = sh("xdotool", "getactivewindow")
        return int(active) if active.isdigit() else None

    def minimise(self, handle):
        sh("xdotool", "windowminimize", str(handle))

    def is_minimised(self, handle):
        return "Iconic" in sh("xprop", "-id", str(handle), "WM_STATE")

    def paste(self, text):
        """Puts text on the clipboard and pastes it with Ctrl+V, waiting for the paste."""
        p = subprocess.Popen(["xclip", "-selection", "clipboard", "-loops", "1", "-quiet"],
                             stdin=subprocess.PIPE, stdout=subprocess.DEVNULL,
                             stderr=subprocess.DEVNULL)
        p.stdin.write(text.encode())
        p.stdin.close()
        time.sleep(0.3)
        self.keys("ctrl+v")
        p.wait(timeout=5)

    def clipboard(self):
        return sh("xclip", "-selection", "clipboard", "-o")

    def screenshot_window(self, handle, path):
        sh("import", "-window", str(handle), path, timeout=30)

    def screenshot_screen(self, path):
        sh("import", "-window", "root", path, timeout=30)


class SwayDesk:
    """A headless sway of the desk's own, started as tests/platform/wayland/HeadlessSway.h
    does. Windows tile, as on a user's sway: the chat window fills the screen and velmora's
    fixed-size main window floats above it."""

    name = "sway"
    can_minimise = False  # sway has no minimised windows
    nobody = 65534  # Debian's fixed uid and gid; sway refuses to run as root
    width, height = 1280, 800

    def start(self, run):
        # Not inside the run's private folder: nobody must reach it.
        self.dir = tempfile.mkdtemp(prefix="velmora-e2e-sway-")
        self.client_dir = tempfile.mkdtemp(prefix="velmora-e2e-clients-")
        config = os.path.join(self.dir, "config")
        with open(config, "w") as f:
            f.write(f"output HEADLESS-1 resolution {self.width}x{self.height} position 0 0\n"
                    "xwayland disable\n")
        self.sock = os.path.join(self.dir, "ipc.sock")
        argv = ["/usr/bin/sway", "-c", config]
        if os.geteuid() == 0:
            for path in (self.dir, config):
                os.chown(path, self.nobody, self.nobody)
            argv = ["/usr/bin/setpriv", f"--reuid={self.nobody}", f"--regid={self.nobody}",
                    "--clear-groups", "--"] + argv
        env = {k: v for k, v in os.environ.items() if k not in ("WAYLAND_DISPLAY", "DISPLAY")}
        env.update(XDG_RUNTIME_DIR=self.dir, HOME=self.dir, SWAYSOCK=self.sock,
                   WLR_BACKENDS="headless", WLR_RENDERER="pixman", WLR_LIBINPUT_NO_DEVICES="1")
        self.sway, _ = run.start("sway", argv, env=env)

        def ready():
            if self.sway.poll() is not None:
                raise RuntimeError(f"sway ended with {self.sway.returncode}; see sway.log")
            names = [n for n in os.listdir(self.dir) if re.fullmatch(r"wayland-\d+", n)]
            return names and os.path.exists(self.sock) and os.path.join(self.dir, names[0])

        self.display = wait_for(ready, 15)
        if not self.display:
            raise RuntimeError("sway made no sockets in 15 s; see sway.log")
        self.env = self.client_env(dict(os.environ))
        self.devices = SeatDevices(self.display)

    def stop(self):
        if hasattr(self, "devices"):
            self.devices.close()
        if hasattr(self, "sway") and self.sway.poll() is None:
            self.sway.send_signal(signal.SIGTERM)
            try:
                self.sway.wait(timeout=5)
            except subprocess.TimeoutExpired:
                self.sway.kill()
        for d in ("dir", "client_dir"):
            if hasattr(self, d):
                shutil.rmtree(getattr(self, d), ignore_errors=True)

    def client_env(self, env):
        env = {k: v for k, v in env.items() if k != "DISPLAY"}
        env.update(QT_QPA_PLATFORM="wayland", WAYLAND_DISPLAY=self.display,
                   XDG_RUNTIME_DIR=self.client_dir, SWAYSOCK=self.sock)
        return env

    def _tool(self, *args, timeout=20):
        return sh(*args, check=True, timeout=timeout, env=self.env)

    def swaymsg(self, *args):
        return self._tool("swaymsg", "-s", self.sock, *args)

    def click(self, x, y, button=1):
        self.swaymsg("seat", "seat0", "cursor", "set", str(x), str(y))
        time.sleep(0.15)
        self.swaymsg("seat", "seat0", "cursor", "press", f"button{button}")
        self.swaymsg("seat", "seat0", "cursor", "release", f"button{button}")

    _mods = {"ctrl": "ctrl", "shift": "shift", "alt": "alt", "super": "logo"}
    _lone = {"shift": "Shift_L", "ctrl": "Control_L", "alt": "Alt_L"}

    @classmethod
    def wtype_args(cls, combo):
        """wtype's arguments for one xdotool-style combination."""
        *mods, key = combo.split("+")
        if not mods and key in cls._lone:
            return ["-k", cls._lone[key]]
        args = []
        for m in mods:
            args += ["-M", cls._mods[m]]
        args += ["-k", key]
        for m in reversed(mods):
            args += ["-m", cls._mods[m]]
        return args

    def keys(self, *combos, window=None):
        if window:
            self.activate(window)
        args = []
        for c in combos:
            args += self.wtype_args(c)
        self._tool("wtype", *args)

    def views(self):
        """Every window in sway's tree, tiled or floating."""
        out = []

        def walk(node):
            if node.get("pid") is not None:
                out.append(node)
            for child in node.get("nodes", []) + node.get("floating_nodes", []):
                walk(child)

        walk(json.loads(self.swaymsg("-t", "get_tree")))
        return out

    def view(self, handle):
        return next((v for v in self.views() if v["id"] == handle), None)

    def find_window(self, title_re):
        for v in self.views():
            if v.get("visible") and v.get("name") and re.search(title_re, v["name"]):
                return v["id"]
        return None

    def chat_window(self, pid, geo):
        v = next((v for v in self.views() if v["pid"] == pid and v.get("name")), None)
        if not v:
            raise RuntimeError(f"sway shows no window of the chat program (pid {pid})")
        return v["id"]

    def chat_controls(self, chat, geo):
        """A Wayland client knows no screen places: imsim reports its controls within its
        window, and the window's content lies where sway's tree says."""
        x0, y0 = self.window_origin(chat)
        out = dict(geo)
        for name in ("input", "history", "send"):
            x, y, w, h, wid = geo[name]
            out[name] = (x0 + x, y0 + y, w, h, wid)
        return out

    def placed(self, geo):
        return True  # the driver waits for the same places in two reads

    def window_origin(self, handle):
        v = self.view(handle)
        if not v:
            raise RuntimeError(f"no window {handle} in sway's tree")
        return v["rect"]["x"] + v["window_rect"]["x"], v["rect"]["y"] + v["window_rect"]["y"]

    def window_rect(self, handle):
        x, y = self.window_origin(handle)
        r = self.view(handle)["window_rect"]
        return x, y, r["width"], r["height"]

    def move_window(self, handle, x, y):
        self.swaymsg(f"[con_id={handle}]", "move", "position", str(x), str(y))

    def activate(self, handle):
        self.swaymsg(f"[con_id={handle}]", "focus")
        wait_for(lambda: self.active_window() == handle, 5)

    def active_window(self):
        return next((v["id"] for v in self.views() if v.get("focused")), None)

    def minimise(self, handle):
        raise RuntimeError("sway has no minimised windows")

    def is_minimised(self, handle):
        raise RuntimeError("sway has no minimised windows")

    def paste(self, text):
        # wl-copy serves the text until the clipboard changes, as when a user copies it; the
        # previous one ends then.
        subprocess.run(["wl-copy", "--", text], env=self.env, timeout=10, check=True,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        wait_for(lambda: self.clipboard() == text, 5)
        self.keys("ctrl+v")
        time.sleep(0.3)

    def clipboard(self):
        r = subprocess.run(["wl-paste", "--no-newline"], capture_output=True, env=self.env,
                           timeout=10)
        return r.stdout.decode(errors="replace") if r.returncode == 0 else ""

    def screenshot_window(self, handle, path):
        x, y, w, h = self.window_rect(handle)
        self._tool("grim", "-g", f"{x},{y} {w}x{h}", path, timeout=30)

    def screenshot_screen(self, path):
        self._tool("grim", path, timeout=30)


DESKS = {"x11": X11Desk, "sway": SwayDesk}
