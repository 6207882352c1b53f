"""HexChat 2.16 on a private loopback ngIRCd, driven from outside for end-to-end tests.

What HexChat (GTK 2) needs to expose its accessibility tree:
- GTK_MODULES must name both "gail" and "atk-bridge" (GTK 2 has no built-in bridge; without
  them the app never appears on the AT-SPI desktop), and NO_AT_BRIDGE must be unset.
- The accessibility bus must run before HexChat starts: atk-bridge looks it up once at start
  (AT_SPI_BUS_ADDRESS, else the AT_SPI_BUS property on the X root window, else org.a11y.Bus
  on the session bus).
- The history view (GtkXText) has no Text interface: only role "unknown" and its extents.
  The input box is an editable "text" with an "activate" action (the topic entry at the top
  is one too, so the input box is told apart as the entry beside the nick button).

Run as root, HexChat shows a modal "Running IRC as root is stupid!" dialog and blocks in
main() until it is dismissed. A non-root HexChat cannot join the session's accessibility bus:
that bus (accessibility.conf) admits only root and the bus owner, and relaying it would make
the bus report the relay's pid instead of HexChat's, which breaks matching the AT-SPI app to
the window's _NET_WM_PID. So HexChat runs as root and the harness presses OK on that dialog
through AT-SPI.

Text a user can copy from the history (mouse drag over the history extents):
- HexChat puts the selection in PRIMARY and, as text_autocopy_text defaults to on, in
  CLIPBOARD as soon as the button is released. Lines are joined by "\\n", no final newline.
  Default settings (stamps shown on screen, text_autocopy_stamp off):
      <alice> Hello Velmora, how are you?
  With text_autocopy_stamp on:
      [07:02:09] <alice> Hello Velmora, how are you?
  Own messages look the same: "<velmora> text".
- Without a desktop notification service on the session bus HexChat prints one line
  " Failed loading notification plugin: ..." at start, into whichever tab is current by then
  (sometimes the query tab): match copied lines, not the whole copy.
- Ctrl+C does not copy it: the focus stays in the input box, whose Ctrl+C only copies its own
  selection. Ctrl+Shift+C ("Copy Selection") copies the history selection to CLIPBOARD.
- The log file (irc_logging on) is CFGDIR/logs/velmora/alice.log, lines like
      Dec 09 17:01:09 <alice>\\tHello Velmora, how are you?
"""

import os
import re
import shutil
import signal
import socket
import subprocess
import tempfile
import time

from irc_peer import IrcPeer

NICK = "velmora"
PEER = "alice"
NETWORK = "Velmora"
WIN_W, WIN_H = 900, 600


class HarnessError(RuntimeError):
    pass


def wait_until(pred, timeout, what, interval=0.05):
    """Poll pred() until it returns a true value; raise naming `what` when the bound passes."""
    deadline = time.monotonic() + timeout
    last_exc = None
    while True:
        try:
            value = pred()
            if value:
                return value
        except HarnessError:
            raise
        except Exception as e:  # a widget may vanish while the tree is rebuilt
            last_exc = e
        if time.monotonic() >= deadline:
            extra = " (last error: %s)" % last_exc if last_exc else ""
            what = what() if callable(what) else what
            raise HarnessError("%s did not happen within %.1f s%s" % (what, timeout, extra))
        time.sleep(interval)


def free_port():
    with socket.socket(socket.AF_INET, socket.SOCK_STREAM) as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def _run(args, timeout=10):
    return subprocess.run(args, capture_output=True, text=True, timeout=timeout)


def _ext(acc):
    e = acc.queryComponent().getExtents(0)  # 0: screen coordinates
    return (e.x, e.y, e.width, e.height)


def _inside(inner, outer):
    x, y, w, h = inner
    ox, oy, ow, oh = outer
    return ox <= x and oy <= y and x + w <= ox + ow and y + h <= oy + oh and w > 0 and h > 0


class HexChat:
    """ngIRCd + HexChat (nick velmora) + scripted peer (alice), with a query tab to alice open.

    copy_stamps: value of text_autocopy_stamp (whether copied history lines carry stamps).
    """

    def __init__(self, copy_stamps=False, workdir=None):
        self.copy_stamps = copy_stamps
        self._own_workdir = workdir is None
        self.workdir = workdir or tempfile.mkdtemp(prefix="velmora-hexchat-")
        self.cfgdir = os.path.join(self.workdir, "hexchat")
        self.port = None
        self.ngircd = None
        self.hexchat = None
        self.peer = None
        self.dismissed_root_warning = False
        self.window_id = None
        self._app = self._frame = self._input = self._history = None
        self._selection_owners = []
        self._logs = []

    # --- start ---

    def start(self):
        try:
            self._start_ngircd()
            self.peer = IrcPeer("127.0.0.1", self.port, nick=PEER, partner=NICK)
            self._start_hexchat()
            self._find_widgets()
            self.peer.wait_partner_online(timeout=20)
        except BaseException:
            self.stop()
            raise
        return self

    def _start_ngircd(self):
        conf = os.path.join(self.workdir, "ngircd.conf")
        self.port = free_port()
        with open(conf, "w") as f:
            f.write(
                "[Global]\n"
                "Name = irc.velmora.test\n"
                "Info = Velmora test server\n"
                "Listen = 127.0.0.1\n"
                "Ports = %d\n"
                "MotdPhrase = test server\n"
                "[Limits]\n"
                "MaxNickLength = 30\n"
                "[Options]\n"
                "PAM = no\n"
                "Ident = no\n"
                "DNS = no\n" % self.port)
        log = self._logfile("ngircd.log")
        self.ngircd = subprocess.Popen(["ngircd", "-n", "-f", conf], stdout=log, stderr=subprocess.STDOUT,
                                       stdin=subprocess.DEVNULL, start_new_session=True)

        def listening():
            if self.ngircd.poll() is not None:
                raise HarnessError("ngircd exited with %s; see %s" % (self.ngircd.returncode, log.name))
            try:
                socket.create_connection(("127.0.0.1", self.port), timeout=1).close()
                return True
            except OSError:
                return False
        wait_until(listening, 10, "ngircd listening on 127.0.0.1:%d" % self.port)

    def _write_config(self):
        os.makedirs(self.cfgdir, exist_ok=True)
        prefs = {
            "version": "2.16.1",
            "gui_slist_skip": 1,       # no network list dialog at start
            "gui_join_dialog": 0,
            "gui_quit_dialog": 0,
            "gui_tray": 0,
            "gui_win_save": 0,
            "gui_win_left": 40,
            "gui_win_top": 40,
            "gui_win_width": WIN_W,
            "gui_win_height": WIN_H,
            "irc_nick1": NICK,
            "irc_nick2": NICK + "_",
            "irc_nick3": NICK + "__",
            "irc_user_name": NICK,
            "irc_real_name": "Velmora",
            "irc_logging": 1,
            "text_autocopy_stamp": 1 if self.copy_stamps else 0,
            "net_auto_reconnect": 0,
        }
        # Desktop notifications would fail on the bare session bus and print an error line
        # into the history; tray, beep and flash are off for the same quiet.
        for kind in ("balloon", "tray", "beep", "flash"):
            for where in ("chans", "hilight", "priv"):
                prefs["input_%s_%s" % (kind, where)] = 0
        with open(os.path.join(self.cfgdir, "hexchat.conf"), "w") as f:
            for k, v in prefs.items():
                f.write("%s = %s\n" % (k, v))
        # F=10: use the global nick + connect at start; no TLS, no proxy. C= runs on connect.
        with open(os.path.join(self.cfgdir, "servlist.conf"), "w") as f:
            f.write("v=2.16.1\n\nN=%s\nE=UTF-8 (Unicode)\nF=10\nD=0\nS=127.0.0.1/%d\nC=QUERY %s\n\n"
                    % (NETWORK, self.port, PEER))

    def _start_hexchat(self):
        for var in ("DISPLAY", "DBUS_SESSION_BUS_ADDRESS"):
            if not os.environ.get(var):
                raise HarnessError("%s is not set: the session must be up before HexChat starts" % var)
        self._write_config()
        env = dict(os.environ)
        mods = [m for m in env.get("GTK_MODULES", "").split(":") if m]
        for m in ("gail", "atk-bridge"):
            if m not in mods:
                mods.append(m)
        env["GTK_MODULES"] = ":".join(mods)
        env.pop("NO_AT_BRIDGE", None)
        env["HOME"] = self.workdir  # nothing lands in the real home
        log = self._logfile("hexchat.log")
        # -n: no plugins, so no user scripts change behaviour.
        self.hexchat = subprocess.Popen(["hexchat", "-n", "--cfgdir", self.cfgdir], env=env, stdout=log,
                                        stderr=subprocess.STDOUT, stdin=subprocess.DEVNULL,
                                        start_new_session=True)
        import pyatspi  # after the session is up: pyatspi binds to the bus at import
        self._pyatspi = pyatspi

        def app():
            if self.hexchat.poll() is not None:
                raise HarnessError("hexchat exited with %s; see %s" % (self.hexchat.returncode, log.name))
            for a in pyatspi.Registry.getDesktop(0):
                if a is not None and a.get_process_id() == self.hexchat.pid:
                    return a
            return None
        self._app = wait_until(app, 20, "HexChat (pid %d) appearing on the AT-SPI desktop" % self.hexchat.pid,
                               interval=0.1)

        title = "Dialog with %s @ %s - HexChat" % (PEER, NETWORK)

        def frame():
            for w in self._app:
                if w is None:
                    continue
                role = w.getRole()
                if role == pyatspi.ROLE_ALERT and os.geteuid() == 0 and not self.dismissed_root_warning:
                    self._dismiss_root_warning(w)
                elif role == pyatspi.ROLE_FRAME and w.name == title:
                    return w
            return None
        self._frame = wait_until(frame, 20, "HexChat's main window titled %r" % title, interval=0.1)

    def _dismiss_root_warning(self, alert):
        # GTK 2 does not expose the dialog's label; its title and lone OK button identify it.
        buttons = [c for c in self._walk(alert) if c.getRole() == self._pyatspi.ROLE_PUSH_BUTTON]
        if alert.name != "Warning" or [b.name for b in buttons] != ["OK"]:
            raise HarnessError("unexpected HexChat alert %r with buttons %r"
                               % (alert.name, [b.name for b in buttons]))
        buttons[0].queryAction().doAction(0)
        self.dismissed_root_warning = True

    def _walk(self, node, showing_only=False):
        stack = [node]
        while stack:
            n = stack.pop()
            for i in range(n.childCount):
                c = n.getChildAtIndex(i)
                if c is None:
                    continue
                if showing_only and not c.getState().contains(self._pyatspi.STATE_SHOWING):
                    continue
                yield c
                stack.append(c)

    def _find_widgets(self):
        pa = self._pyatspi

        def widgets():
            nodes = list(self._walk(self._frame, showing_only=True))
            history = [n for n in nodes if n.getRole() == pa.ROLE_UNKNOWN
                       and pa.utils.listInterfaces(n) == ["Accessible", "Collection", "Component"]]
            nick_buttons = [n for n in nodes if n.getRole() == pa.ROLE_PUSH_BUTTON and n.name == NICK]
            if len(history) != 1 or len(nick_buttons) != 1:
                return None
            box = nick_buttons[0].parent.parent  # nick button sits in a box beside the entry
            entries = [box.getChildAtIndex(i) for i in range(box.childCount)]
            entries = [e for e in entries if e is not None and e.getRole() == pa.ROLE_TEXT
                       and "EditableText" in pa.utils.listInterfaces(e)]
            if len(entries) != 1:
                return None
            return history[0], entries[0]
        self._history, self._input = wait_until(
            widgets, 15, "the history view and the input box (beside the %r nick button) showing" % NICK,
            interval=0.1)
        act = self._input.queryAction()
        names = [act.getName(i) for i in range(act.nActions)]
        if "activate" not in names:
            raise HarnessError("the input box has no activate action (has %r)" % names)
        self._activate_index = names.index("activate")
        self.window_id = self._x_window()

    def _x_window(self):
        """The X window whose _NET_WM_PID is HexChat's and whose geometry matches the AT-SPI frame."""
        title = self._frame.name

        def find():
            r = _run(["xdotool", "search", "--all", "--onlyvisible", "--pid", str(self.hexchat.pid),
                      "--name", "^" + re.escape(title) + "$"])
            ids = [int(x) for x in r.stdout.split()]
            return ids if len(ids) == 1 else None
        wid = wait_until(find, 10, "exactly one visible X window of HexChat titled %r" % title)[0]
        frame = wait_until(lambda: self._stable_frame_extents(wid), 10,
                           lambda: "AT-SPI frame and content extents agreeing with xwininfo for window 0x%x ((xwininfo -frame, xwininfo), (AT-SPI frame, content)): %r"
                           % (wid, getattr(self, "_last_geometry", None)))
        for what, rect in (("history", self.history_rect()), ("input box", self.input_rect())):
            if not _inside(rect, frame):
                raise HarnessError("%s rectangle %r is not inside the window %r" % (what, rect, frame))
        return wid

    def _stable_frame_extents(self, wid):
        # GTK 2 reports the frame with the window manager's decorations and the frame's only
        # child (the window's content) at the client window's place.
        geo = (self.xwininfo(wid, frame=True), self.xwininfo(wid))
        self._last_geometry = (geo, (_ext(self._frame), _ext(self._frame.getChildAtIndex(0))))
        return geo[1] if geo == self._last_geometry[1] else None

    @staticmethod
    def xwininfo(wid, frame=False):
        """(x, y, w, h) of an X window on screen; with frame, including the window manager's frame."""
        if frame:  # climb to the root window's child: the window manager's frame
            while True:
                tree = _run(["xwininfo", "-tree", "-id", str(wid)]).stdout
                parent = re.search(r"Parent window id: (0x[0-9a-f]+)(.*)", tree)
                if not parent:
                    raise HarnessError("xwininfo -tree gave no parent for 0x%x:\n%s" % (wid, tree))
                if "(the root window)" in parent.group(2):
                    break
                wid = int(parent.group(1), 16)
        out = _run(["xwininfo", "-id", str(wid)]).stdout
        vals = {}
        for key in ("Absolute upper-left X", "Absolute upper-left Y", "Width", "Height"):
            m = re.search(r"^\s*%s:\s+(-?\d+)" % re.escape(key), out, re.M)
            if not m:
                raise HarnessError("xwininfo gave no %r for window 0x%x:\n%s" % (key, wid, out))
            vals[key] = int(m.group(1))
        return (vals["Absolute upper-left X"], vals["Absolute upper-left Y"], vals["Width"], vals["Height"])

    # --- geometry ---

    def history_rect(self):
        return _ext(self._history)

    def input_rect(self):
        return _ext(self._input)

    # --- input box ---

    def input_text(self):
        return self._input.queryText().getText(0, -1)

    def set_input_text(self, s):
        if not self._input.queryEditableText().setTextContents(s):
            raise HarnessError("AT-SPI refused to set the input box text")

    def send_via_activate(self):
        if not self._input.queryAction().doAction(self._activate_index):
            raise HarnessError("AT-SPI refused the input box's activate action")

    def wait_input_text(self, expected, timeout=5):
        return wait_until(lambda: self.input_text() == expected, timeout,
                          "the input box holding %r (has %r)" % (expected, self.input_text()))

    def command(self, line):
        """Run a HexChat command (e.g. "/set text_autocopy_stamp 1") through the input box."""
        self.set_input_text(line)
        self.send_via_activate()
        self.wait_input_text("")

    # --- history as a user could copy it ---

    def _own_selection(self, selection, token):
        """Make a marker own the selection, so a later change proves a fresh copy."""
        p = subprocess.Popen(["xclip", "-quiet", "-selection", selection, "-i"], stdin=subprocess.PIPE,
                             stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, start_new_session=True)
        self._selection_owners.append(p)
        p.stdin.write(token.encode())
        p.stdin.close()
        wait_until(lambda: self.read_selection(selection) == token, 5, "xclip owning %s" % selection)

    @staticmethod
    def read_selection(selection):
        r = subprocess.run(["xclip", "-o", "-selection", selection], capture_output=True, timeout=5)
        return r.stdout.decode("utf-8", "replace") if r.returncode == 0 else None

    def _wait_selection_change(self, selection, token, what, timeout=5):
        return wait_until(lambda: (lambda v: v if v not in (None, token) else None)(self.read_selection(selection)),
                          timeout, what)

    def _activate_window(self):
        _run(["xdotool", "windowactivate", "--sync", str(self.window_id)])
        wait_until(lambda: _run(["xdotool", "getactivewindow"]).stdout.strip() == str(self.window_id), 5,
                   "HexChat's window 0x%x becoming active" % self.window_id)

    def drag_select_history(self):
        """Drag the mouse over the whole history view; return (PRIMARY, CLIPBOARD) right after."""
        self._activate_window()
        token = "velmora-marker-%d" % time.monotonic_ns()
        self._own_selection("primary", token)
        self._own_selection("clipboard", token)
        x, y, w, h = self.history_rect()
        x0, y0, x1, y1 = x + 3, y + 3, x + w - 4, y + h - 4
        _run(["xdotool", "mousemove", str(x0), str(y0), "mousedown", "1"])
        # The selection follows motion events, so the pointer must pass through between the ends.
        steps = 8
        for i in range(1, steps + 1):
            _run(["xdotool", "mousemove", str(x0 + (x1 - x0) * i // steps), str(y0 + (y1 - y0) * i // steps)])
        _run(["xdotool", "mouseup", "1"])
        primary = self._wait_selection_change("primary", token, "HexChat taking PRIMARY after the drag")
        clipboard = self.read_selection("clipboard")
        if clipboard == token:  # text_autocopy_text off: the drag leaves CLIPBOARD alone
            clipboard = None
        return primary, clipboard

    def copy_keys(self, keys):
        """Press `keys` (e.g. "ctrl+c") in HexChat; return CLIPBOARD afterwards, None if it did not change.

        After the keys a "z" is typed; once it shows in the input box the keys before it have been
        handled too (one X event queue), so an unchanged CLIPBOARD means they copied nothing.
        """
        self._activate_window()
        token = "velmora-marker-%d" % time.monotonic_ns()
        self._own_selection("clipboard", token)
        self.set_input_text("")
        _run(["xdotool", "key", "--clearmodifiers", keys])
        _run(["xdotool", "type", "z"])
        wait_until(lambda: self.input_text().endswith("z"), 5, "the key after %s reaching the input box" % keys)
        self.set_input_text("")
        value = self.read_selection("clipboard")
        return None if value in (None, token) else value

    def log_path(self, target=PEER):
        return os.path.join(self.cfgdir, "logs", NETWORK.lower(), target + ".log")

    def log_text(self, target=PEER):
        try:
            with open(self.log_path(target), encoding="utf-8", errors="replace") as f:
                return f.read()
        except FileNotFoundError:
            return ""

    # --- stop ---

    def _logfile(self, name):
        f = open(os.path.join(self.workdir, name), "w")
        self._logs.append(f)
        return f

    @staticmethod
    def _end(proc, name, errors):
        if proc is None or proc.poll() is not None:
            return
        try:
            os.killpg(proc.pid, signal.SIGTERM)
        except ProcessLookupError:
            return
        try:
            proc.wait(timeout=5)
        except subprocess.TimeoutExpired:
            os.killpg(proc.pid, signal.SIGKILL)
            proc.wait(timeout=5)
            errors.append("%s ignored SIGTERM for 5 s and was killed" % name)

    def stop(self):
        errors = []
        if self.peer is not None:
            try:
                self.peer.close()
            except OSError as e:
                errors.append("closing the IRC peer: %s" % e)
            self.peer = None
        self._end(self.hexchat, "hexchat", errors)
        self._end(self.ngircd, "ngircd", errors)
        for p in self._selection_owners:
            self._end(p, "xclip", errors)
        self._selection_owners = []
        for f in self._logs:
            f.close()
        self._logs = []
        if self._own_workdir and not os.environ.get("VELMORA_KEEP_HEXCHAT_DIR"):
            shutil.rmtree(self.workdir, ignore_errors=True)
        return errors

    def __enter__(self):
        return self.start()

    def __exit__(self, *exc):
        self.stop()
