"""A desktop session like the one the end-to-end tests run in: Xvfb, a session bus, the
accessibility bus (started before any window), openbox, and Debian's Xsession variables.

Everything lives in one temp dir (HOME, XDG dirs, bus sockets) so nothing outlives stop().
start() exports DISPLAY, DBUS_SESSION_BUS_ADDRESS and the toolkit variables into os.environ
so that this process's own AT-SPI client (pyatspi) talks to the same buses.
"""

import os
import shutil
import subprocess
import tempfile

from pidgin_procs import ProcessGroup, wait_for


def private_dirs(root):
    """HOME and XDG dirs under root, so caches and sockets do not land in the real HOME."""
    env = {
        "HOME": os.path.join(root, "home"),
        "XDG_CONFIG_HOME": os.path.join(root, "home", ".config"),
        "XDG_CACHE_HOME": os.path.join(root, "home", ".cache"),
        "XDG_DATA_HOME": os.path.join(root, "home", ".local", "share"),
    }
    for d in env.values():
        os.makedirs(d, exist_ok=True)
    return env


class DesktopSession:
    def __init__(self, display, log=print, a11y_is_enabled=False):
        self.display = display
        self.log = log
        self.a11y_is_enabled = a11y_is_enabled
        self.procs = ProcessGroup()
        self.dir = None
        self.env = None

    def _x(self, *args, timeout=5):
        return subprocess.run(args, capture_output=True, text=True, env=self.env, timeout=timeout)

    def start(self):
        self.dir = tempfile.mkdtemp(prefix=f"velmora-session{self.display.strip(':')}-")
        run = os.path.join(self.dir, "run")
        os.makedirs(run, mode=0o700)
        env = dict(os.environ)
        env.update(private_dirs(self.dir))
        env.update({
            "DISPLAY": self.display,
            # at-spi-bus-launcher puts its socket here; the default would be ~/.cache.
            "XDG_RUNTIME_DIR": run,
            # Keeps the launcher's IsEnabled/toolkit-accessibility writes out of dconf.
            "GSETTINGS_BACKEND": "memory",
            "GTK_MODULES": "gail:atk-bridge",
            "QT_ACCESSIBILITY": "1",
        })
        env.pop("NO_AT_BRIDGE", None)
        env.pop("AT_SPI_BUS_ADDRESS", None)
        self.env = env
        logs = os.path.join(self.dir, "logs")
        os.makedirs(logs)

        def logf(name):
            return open(os.path.join(logs, name), "w")

        lock = f"/tmp/.X{self.display.strip(':')}-lock"
        if os.path.exists(lock):
            raise RuntimeError(f"display {self.display} is already in use ({lock} exists)")
        self.procs.spawn(["Xvfb", self.display, "-noreset", "-nolisten", "tcp",
                          "-screen", "0", "1280x1024x24"],
                         stdout=logf("xvfb.log"), stderr=subprocess.STDOUT, env=env)
        wait_for(lambda: self._x("xwininfo", "-root").returncode == 0, 10,
                 f"Xvfb to accept connections on {self.display}")

        bus = os.path.join(run, "bus")
        dbus = self.procs.spawn(["dbus-daemon", "--session", "--nofork", "--nopidfile",
                                 f"--address=unix:path={bus}", "--print-address=1"],
                                stdout=subprocess.PIPE, stderr=logf("dbus.log"), env=env, text=True)
        address = dbus.stdout.readline().strip()
        if not address:
            raise RuntimeError(f"dbus-daemon printed no address (rc={dbus.poll()})")
        env["DBUS_SESSION_BUS_ADDRESS"] = address

        self.procs.spawn(["/usr/libexec/at-spi-bus-launcher", "--launch-immediately"],
                         stdout=logf("at-spi.log"), stderr=subprocess.STDOUT, env=env)
        wait_for(lambda: "AT_SPI_BUS(STRING)" in self._x("xprop", "-root", "AT_SPI_BUS").stdout,
                 10, "at-spi-bus-launcher to publish AT_SPI_BUS on the root window")
        if self.a11y_is_enabled:
            r = self._x("dbus-send", "--session", "--print-reply", "--dest=org.a11y.Bus",
                        "/org/a11y/bus", "org.freedesktop.DBus.Properties.Set",
                        "string:org.a11y.Status", "string:IsEnabled", "variant:boolean:true")
            if r.returncode != 0:
                raise RuntimeError(f"setting org.a11y.Status IsEnabled: {r.stderr.strip()}")

        self.procs.spawn(["openbox"], stdout=logf("openbox.log"), stderr=subprocess.STDOUT, env=env)
        wait_for(lambda: "window id" in self._x("xprop", "-root", "_NET_SUPPORTING_WM_CHECK").stdout,
                 10, "openbox to manage the screen")

        for k in ("DISPLAY", "DBUS_SESSION_BUS_ADDRESS", "XDG_RUNTIME_DIR", "GTK_MODULES",
                  "QT_ACCESSIBILITY"):
            os.environ[k] = env[k]
        os.environ.pop("AT_SPI_BUS_ADDRESS", None)
        self.log(f"session on {self.display}: bus {address}")

    def stop(self):
        try:
            self.procs.stop()
        finally:
            if self.dir:
                shutil.rmtree(self.dir, ignore_errors=True)
