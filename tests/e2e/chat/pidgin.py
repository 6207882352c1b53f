"""Pidgin 2.14 (GTK 2) as the chat program under test, logged into a private Prosody and
talking to a scripted XMPP contact.

What Pidgin needs to expose its widgets over AT-SPI (tried one by one on Debian 12):
  * GTK_MODULES must contain both gail and atk-bridge. GTK 2 loads neither by itself,
    and with only one of the two Pidgin never shows up on the accessibility bus.
  * atk-bridge must find the accessibility bus when Pidgin starts: AT_SPI_BUS on the root
    window is enough (it works even with DBUS_SESSION_BUS_ADDRESS unset).
  * org.a11y.Status IsEnabled is not needed; true or false makes no difference.
  * Running as root is fine: Pidgin neither refuses nor warns, so the harness runs it as
    the current user, with HOME and XDG dirs of its own in the temp dir.

Usage (DISPLAY and DBUS_SESSION_BUS_ADDRESS set, accessibility bus running):
    chat = PidginChat(); chat.start()
    conv = chat.open_conversation("Hello")   # window id and widget rectangles
    chat.history_text(); chat.set_input_text("x"); chat.click_send(); chat.peer.received()
    chat.stop()
"""

import glob
import os
import re
import shutil
import subprocess
import tempfile
from dataclasses import dataclass
from xml.sax.saxutils import escape

from pidgin_procs import FatalError, ProcessGroup, wait_for
from pidgin_session import private_dirs
from xmpp_peer import XmppPeer
from xmpp_server import Prosody

ME, ME_PASSWORD = "me", "me-secret"
PEER, PEER_PASSWORD = "anna", "anna-secret"
RESOURCE = "velmora"


def _sendbutton_plugin():
    found = sorted(glob.glob("/usr/lib/*/pidgin/sendbutton.so") + glob.glob("/usr/lib/pidgin/sendbutton.so"))
    if not found:
        raise RuntimeError("Pidgin's sendbutton.so plugin is not installed")
    return found[0]


@dataclass
class Rect:
    x: int
    y: int
    w: int
    h: int

    def contains(self, o):
        return (self.x <= o.x and self.y <= o.y
                and o.x + o.w <= self.x + self.w and o.y + o.h <= self.y + self.h)

    def __str__(self):
        return f"({self.x}, {self.y}, {self.w}, {self.h})"


@dataclass
class Conversation:
    window_id: int       # the X client window of the conversation
    window: Rect         # its client area as X reports it (xwininfo)
    frame: Rect          # the frame including decorations, as AT-SPI reports it
    history: Rect
    input: Rect
    send_button: Rect
    title: str


def _extents(acc):
    import pyatspi
    e = acc.queryComponent().getExtents(pyatspi.DESKTOP_COORDS)
    return Rect(e.x, e.y, e.width, e.height)


class PidginChat:
    def __init__(self, log=print):
        self.log = log
        self.dir = tempfile.mkdtemp(prefix="velmora-pidgin-")
        self.procs = ProcessGroup()
        self.server = Prosody(self.dir, {ME: ME_PASSWORD, PEER: PEER_PASSWORD}, log=log)
        self.peer = None
        self.pidgin = None
        self.profile = os.path.join(self.dir, "purple")
        self.pidgin_log = os.path.join(self.dir, "pidgin.log")
        self.me_jid = f"{ME}@localhost"
        self.peer_jid = f"{PEER}@localhost"
        self._history = self._input = self._send = None
        self.conversation = None

    # -- setup -------------------------------------------------------------------------

    def _write_profile(self):
        os.makedirs(self.profile, mode=0o700)
        account = f"{self.me_jid}/{RESOURCE}"
        with open(os.path.join(self.profile, "accounts.xml"), "w") as f:
            f.write(f"""<?xml version='1.0' encoding='UTF-8' ?>
<account version='1.0'>
 <account>
  <protocol>prpl-jabber</protocol>
  <name>{escape(account)}</name>
  <password>{escape(ME_PASSWORD)}</password>
  <alias>{ME}</alias>
  <settings>
   <setting name='connect_server' type='string'>127.0.0.1</setting>
   <setting name='port' type='int'>{self.server.port}</setting>
   <setting name='connection_security' type='string'>opportunistic_tls</setting>
   <setting name='auth_plain_in_clear' type='bool'>1</setting>
  </settings>
  <settings ui='gtk-gaim'>
   <setting name='auto-login' type='bool'>1</setting>
  </settings>
 </account>
</account>
""")
        with open(os.path.join(self.profile, "blist.xml"), "w") as f:
            f.write(f"""<?xml version='1.0' encoding='UTF-8' ?>
<purple version='1.0'>
<blist>
<group name='Buddies'>
<contact>
<buddy account='{escape(account)}' proto='prpl-jabber'>
<name>{self.peer_jid}</name>
<alias>{PEER}</alias>
</buddy>
</contact>
</group>
</blist>
</purple>
""")
        # Only the Send button plugin; timestamps stay at Pidgin's default "(HH:MM:SS)".
        with open(os.path.join(self.profile, "prefs.xml"), "w") as f:
            f.write(f"""<?xml version='1.0' encoding='UTF-8' ?>
<pref version='1' name='/'>
 <pref name='pidgin'>
  <pref name='plugins'>
   <pref name='loaded' type='pathlist'>
    <item value='{escape(_sendbutton_plugin())}'/>
   </pref>
  </pref>
  <pref name='conversations'>
   <pref name='spellcheck' type='bool' value='0'/>
  </pref>
  <pref name='sound'>
   <pref name='method' type='string' value='none'/>
  </pref>
 </pref>
</pref>
""")

    def start(self, timeout=20):
        for k in ("DISPLAY", "DBUS_SESSION_BUS_ADDRESS"):
            if not os.environ.get(k):
                raise RuntimeError(f"{k} is not set; PidginChat needs a running desktop session")
        self.server.start()
        self._write_profile()
        env = dict(os.environ)
        env.update(private_dirs(os.path.join(self.dir, "pidgin-home")))
        modules = [m for m in env.get("GTK_MODULES", "").split(":") if m]
        env["GTK_MODULES"] = ":".join(modules + [m for m in ("gail", "atk-bridge") if m not in modules])
        env.pop("NO_AT_BRIDGE", None)
        # Widget names ("Send") and the timestamp format (%X) follow the locale; pin them.
        for k in [k for k in env if k.startswith("LC_")] + ["LANGUAGE"]:
            env.pop(k, None)
        env["LANG"] = env["LC_ALL"] = "C.UTF-8"
        # -m: another Pidgin on the same session bus must not make this one quit.
        self.pidgin = self.procs.spawn(["pidgin", "-m", "-d", "-c", self.profile],
                                       stdout=open(self.pidgin_log, "w"),
                                       stderr=subprocess.STDOUT, env=env)
        self.log(f"pidgin pid {self.pidgin.pid}, profile {self.profile}")
        self.peer = XmppPeer(self.peer_jid, PEER_PASSWORD, self.server.port, self.me_jid,
                             self.dir, log=self.log)
        self.peer.start()

        def pidgin_online():
            self._check_pidgin_alive()
            return f"{self.me_jid}/{RESOURCE}" in self.peer.online()

        wait_for(pidgin_online, timeout, f"Pidgin to sign on as {self.me_jid} (seen as available by {PEER})",
                 step=0.1)
        self.log("pidgin signed on")

    def _check_pidgin_alive(self):
        if self.pidgin.poll() is not None:
            raise FatalError(f"pidgin exited with {self.pidgin.returncode}; see {self.pidgin_log}")

    # -- AT-SPI lookup -----------------------------------------------------------------

    def _app(self):
        import pyatspi
        desktop = pyatspi.Registry.getDesktop(0)
        for i in range(desktop.childCount):
            app = desktop.getChildAtIndex(i)
            try:
                if app is not None and app.get_process_id() == self.pidgin.pid:
                    return app
            except Exception:
                continue  # an application that went away while we looked
        return None

    @staticmethod
    def _widgets(frame):
        """The showing history view, input box and Send button under one frame."""
        import pyatspi
        history, inputs, send = [], [], []
        stack = [frame]
        while stack:
            a = stack.pop()
            role = a.getRole()
            if role in (pyatspi.ROLE_MENU_BAR, pyatspi.ROLE_MENU):
                continue  # hundreds of menu items, none of them interesting
            states = a.getState()
            if states.contains(pyatspi.STATE_SHOWING):
                if role == pyatspi.ROLE_TEXT:
                    (inputs if states.contains(pyatspi.STATE_EDITABLE) else history).append(a)
                elif role == pyatspi.ROLE_PUSH_BUTTON and a.name == "Send":
                    send.append(a)
            stack.extend(a.getChildAtIndex(i) for i in range(a.childCount - 1, -1, -1))
        return history, inputs, send

    def _find_conversation_frame(self, first_text):
        import pyatspi
        self._check_pidgin_alive()
        app = self._app()
        if app is None:
            return None
        found = []
        for i in range(app.childCount):
            frame = app.getChildAtIndex(i)
            if frame.getRole() != pyatspi.ROLE_FRAME:
                continue
            history, inputs, send = self._widgets(frame)
            if len(history) == 1 and first_text in history[0].queryText().getText(0, -1):
                found.append((frame, history, inputs, send))
        if len(found) > 1:
            raise FatalError(f"{len(found)} Pidgin windows show {first_text!r}")
        return found[0] if found else None

    def _x_window(self, title, frame_rect, widgets):
        """The conversation's X window: a viewable window of Pidgin's pid, named like the
        AT-SPI frame, whose client area lies in that frame and holds every widget."""
        ids = subprocess.run(["xdotool", "search", "--pid", str(self.pidgin.pid)],
                             capture_output=True, text=True, timeout=5).stdout.split()
        matches = []
        for wid in ids:
            info = subprocess.run(["xwininfo", "-id", wid], capture_output=True, text=True, timeout=5).stdout
            if "IsViewable" not in info:
                continue
            m = re.search(r'xwininfo: Window id: \S+ "(.*)"', info)
            g = {k: int(re.search(rf"{k}:\s+(-?\d+)", info).group(1))
                 for k in ("Absolute upper-left X", "Absolute upper-left Y", "Width", "Height")}
            rect = Rect(g["Absolute upper-left X"], g["Absolute upper-left Y"], g["Width"], g["Height"])
            if m and m.group(1) == title and frame_rect.contains(rect) and all(rect.contains(w) for w in widgets):
                matches.append((int(wid), rect))
        if len(matches) != 1:
            raise RuntimeError(f"expected one X window titled {title!r} around the AT-SPI widgets, "
                               f"found {matches} among {ids}")
        return matches[0]

    def open_conversation(self, first_text, timeout=20):
        """Has the peer send first_text, which makes Pidgin open the conversation window,
        and locates that window and its widgets."""
        self.peer.say(first_text)
        frame, history, inputs, send = wait_for(
            lambda: self._find_conversation_frame(first_text), timeout,
            f"a Pidgin window showing {first_text!r} from {PEER} (over AT-SPI)")

        def complete():
            # The window maps before GTK has laid out every child; wait for one of each.
            _, i, s = self._widgets(frame)
            return len(i) == 1 and len(s) == 1 and (i, s)

        inputs, send = wait_for(complete, 5, f"exactly one showing input box and one showing "
                                f"Send button in Pidgin's window {frame.name!r}")
        self._history, self._input, self._send = history[0], inputs[0], send[0]
        rects = [_extents(a) for a in (self._history, self._input, self._send)]
        frame_rect = _extents(frame)
        wid, client = self._x_window(frame.name, frame_rect, rects)
        self.conversation = Conversation(wid, client, frame_rect, *rects, title=frame.name)
        return self.conversation

    # -- accessors for test checks -----------------------------------------------------

    def _need(self, acc):
        if acc is None:
            raise RuntimeError("no conversation window yet; call open_conversation() first")
        return acc

    def history_text(self):
        return self._need(self._history).queryText().getText(0, -1)

    def input_text(self):
        return self._need(self._input).queryText().getText(0, -1)

    def set_input_text(self, text):
        if not self._need(self._input).queryEditableText().setTextContents(text):
            raise RuntimeError("AT-SPI refused to set the text of Pidgin's input box")

    def click_send(self):
        action = self._need(self._send).queryAction()
        names = [action.getName(i) for i in range(action.nActions)]
        if "click" not in names:
            raise RuntimeError(f"Pidgin's Send button offers no 'click' action, only {names}")
        if not action.doAction(names.index("click")):
            raise RuntimeError("AT-SPI refused the Send button's 'click' action")

    def activate_window(self, timeout=5):
        """Raises and focuses the conversation window, as a user would before typing."""
        wid = str(self._need(self.conversation).window_id)
        subprocess.run(["xdotool", "windowactivate", wid], capture_output=True, timeout=5)
        wait_for(lambda: subprocess.run(["xdotool", "getactivewindow"], capture_output=True,
                                        text=True, timeout=5).stdout.strip() == wid,
                 timeout, f"the conversation window {wid} to become the active window")

    def wait_history_contains(self, text, timeout=10):
        return wait_for(lambda: text in self.history_text() and self.history_text(), timeout,
                        f"{text!r} in Pidgin's history view")

    def log_tail(self, lines=15):
        out = []
        for name in (self.pidgin_log, os.path.join(self.dir, "xmpp_peer.log"), self.server.logfile):
            try:
                with open(name, errors="replace") as f:
                    tail = f.readlines()[-lines:]
            except OSError:
                continue
            out.append(f"--- {name} (last {len(tail)} lines)\n" + "".join(tail))
        return "\n".join(out)

    # -- teardown ----------------------------------------------------------------------

    def stop(self):
        errors = []
        for part in (self.procs, self.peer, self.server):
            if part is None:
                continue
            try:
                part.stop()
            except Exception as e:
                errors.append(f"{type(part).__name__}: {e}")
        shutil.rmtree(self.dir, ignore_errors=True)
        if errors:
            raise RuntimeError("stopping the Pidgin harness: " + "; ".join(errors))

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.stop()
