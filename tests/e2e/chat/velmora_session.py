"""velmora's side of a conversation through a real chat program on the test desktop.

Starts velmora with its stand-ins (the glossary translate endpoint and the vendor server),
reads velmora's own widgets through its accessibility tree, picks targets on its overlay,
pastes into its send box, saves screenshots and a transcript, and runs a test's main().
Each test brings its own waiting function, so that its timeouts keep their own meaning.
"""

import argparse
import os
import re
import shutil
import signal
import subprocess
import sys
import time
import traceback

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "conversation"))

import drive  # noqa: E402
from drive import sh  # noqa: E402


class Failed(Exception):
    pass


def extents(acc):
    e = acc.queryComponent().getExtents(0)  # 0: screen coordinates
    return e.x, e.y, e.width, e.height


def walk(root):
    import pyatspi
    stack = [root]
    while stack:
        a = stack.pop()
        if a is None:
            continue
        try:
            role = a.getRole()
            if role in (pyatspi.ROLE_MENU_BAR, pyatspi.ROLE_MENU):
                continue
            yield a, role
            stack.extend(a.getChildAtIndex(i) for i in range(a.childCount - 1, -1, -1))
        except Exception:
            continue  # a widget that went away while we looked


class VelmoraTree:
    """velmora's own widgets as its accessibility tree shows them: read without a click, a key
    or a focus change, so that watching them does not restart velmora's idle countdown."""

    # Points inside the main window: txtResult, txtSend, lblTimeKeeper.
    RESULT, SEND, TIMER = (170, 200), (170, 500), (212, 624)

    def __init__(self, pid, origin, wait_for):
        self.pid = pid
        self.ox, self.oy = origin
        self.wait_for = wait_for
        self.app = None
        self.result = self.send = None

    def _find_app(self):
        import pyatspi
        desktop = pyatspi.Registry.getDesktop(0)
        for i in range(desktop.childCount):
            app = desktop.getChildAtIndex(i)
            try:
                if app is not None and app.get_process_id() == self.pid:
                    return app
            except Exception:
                continue
        return None

    def _at(self, role, point):
        """The smallest showing widget of that role over the point of the main window."""
        import pyatspi
        best = None
        for a, r in walk(self.app):
            if r != role or not a.getState().contains(pyatspi.STATE_SHOWING):
                continue
            x, y, w, h = extents(a)
            px, py = self.ox + point[0], self.oy + point[1]
            if x <= px < x + w and y <= py < y + h and (best is None or w * h < best[1]):
                best = (a, w * h)
        return best and best[0]

    def find(self):
        import pyatspi
        self.app = self.wait_for(self._find_app, 15,
                                 f"velmora (pid {self.pid}) on the accessibility bus")
        self.result, self.send = self.wait_for(
            lambda: (lambda r, s: r and s and (r, s))(self._at(pyatspi.ROLE_TEXT, self.RESULT),
                                                      self._at(pyatspi.ROLE_TEXT, self.SEND)),
            15, "velmora's result and send boxes on the accessibility bus")

    def result_text(self):
        return self.result.queryText().getText(0, -1)

    def send_text(self):
        return self.send.queryText().getText(0, -1)

    def send_box_focused(self):
        import pyatspi
        return self.send.getState().contains(pyatspi.STATE_FOCUSED)

    def countdown(self):
        """The idle countdown's caption, or None while it is hidden."""
        import pyatspi
        label = self._at(pyatspi.ROLE_LABEL, self.TIMER)
        return label.name if label is not None else None


class VelmoraRun(drive.Run):
    """A test run: velmora and its stand-ins, the failures and timings seen so far."""

    Tree = VelmoraTree

    def __init__(self, args, log, wait_for, timed_out):
        super().__init__(args)
        self.log = log
        self.wait_for = wait_for
        self.timed_out = timed_out  # what wait_for raises when time runs out
        self.tree = None
        self.failures = []
        self.timings = []
        self.clip_owners = []

    def fail(self, msg):
        self.log(f"FAIL: {msg}")
        self.failures.append(msg)

    @staticmethod
    def check_desktop():
        for k in ("DISPLAY", "DBUS_SESSION_BUS_ADDRESS"):
            if not os.environ.get(k):
                raise Failed(f"{k} is not set: run inside the test desktop (scripts/desktop.sh)")
        if "unix:" not in sh("xprop", "-root", "AT_SPI_BUS"):
            raise Failed("no accessibility bus on the display (AT_SPI_BUS is not on the root "
                         "window): run inside the test desktop (scripts/desktop.sh)")

    def move_chat_window(self, wid, at, name, rects, size=None):
        """Moves (and sizes) the chat window clear of velmora's; returns its widgets' places,
        rects() as (x, y, w, h), once they have followed the move."""
        if size:
            sh("xdotool", "windowsize", str(wid), *map(str, size))
        sh("xdotool", "windowmove", str(wid), *map(str, at))
        last = {}

        def settled():
            x, y, _ = drive.window_origin(wid)
            now = rects()
            ok = (x >= at[0] and all(r[0] >= x and (not size or r[0] + r[2] <= x + size[0])
                                     for r in now) and now == last.get("r"))
            last["r"] = now
            return ok and now

        return self.wait_for(settled, 10, f"{name}'s widgets to follow its window to {at}",
                             step=0.1)

    def start_velmora(self, chat_name, chat_left):
        """Starts velmora at (40, 40), left of the chat program's widgets (from x=chat_left),
        and finds its widgets in its accessibility tree."""
        env = dict(os.environ)
        # Only what this test configures reaches velmora; the accessibility tree stays in use.
        for name in ("VELMORA_TRANSLATE_URL", "VELMORA_ENGINES", "VELMORA_ACCESSIBILITY"):
            env.pop(name, None)
        env["XDG_CONFIG_HOME"] = os.path.join(self.tmp, "config")
        os.makedirs(env["XDG_CONFIG_HOME"])
        drive.Glossary().prepare(self, env)
        _, line = self.start("vendor-server",
                             [f"{self.build}/tools/vendor-server/vendor-server", "--port", "0"],
                             first_line=True)
        env["VELMORA_UPDATE_URL"] = line.split()[-1]
        env["VELMORA_PAGE_BASE"] = env["VELMORA_UPDATE_URL"].replace("http://", "")
        velmora, _ = self.start("velmora", [f"{self.build}/src/app/velmora"], env=env)
        self.main_window_origin()
        sh("xdotool", "windowmove", str(self.main_wid), "40", "40")
        self.origin = self.wait_for(
            lambda: (lambda x, y, _: (x, y) if x < 100 and y < 100 else None)(
                *drive.window_origin(self.main_wid)), 5, "velmora's main window to move to (40, 40)")
        width = int(re.search(r"Width:\s+(\d+)", sh("xwininfo", "-id", str(self.main_wid)))[1])
        if self.origin[0] + width >= chat_left:
            raise Failed(f"velmora's main window ({self.origin}, {width} wide) would cover "
                         f"{chat_name}'s widgets, which start at x={chat_left}")
        self.log(f"velmora pid {velmora.pid}, main window at {self.origin}")
        self.tree = self.Tree(velmora.pid, self.origin, self.wait_for)
        self.tree.find()

    def pick_input_and_history(self):
        """Picks the chat program's input box and history on the overlay, with the chat window
        under velmora's as a user would have it."""
        sh("xdotool", "windowactivate", "--sync", str(self.main_wid))
        # drive.Run.pick clicks the centre of (x, y, w, h, window).
        self.pick(134, (*self.input_rect, 0))
        self.pick(163, (*self.history_rect, 0))

    # -- the send box ---------------------------------------------------------------------

    def wait_send_ready(self, poll=lambda: None):
        """Waits for a moment when velmora's send box has the focus and no history copy can take
        it half-way (a copy by keys starts only after five idle seconds: a countdown at 5 or 4
        leaves time for a paste). poll() runs at every look."""
        inactive_since = [None]

        def ready():
            poll()
            if not self.main_active():
                # A copy by keys holds the focus for a few seconds and hands it back itself.
                now = time.monotonic()
                inactive_since[0] = inactive_since[0] or now
                if now - inactive_since[0] > 5:
                    self.focus_send_box()
                    inactive_since[0] = None
                return False
            inactive_since[0] = None
            if not self.tree.send_box_focused():
                self.focus_send_box()
                return False
            c = self.tree.countdown()
            if c is None or c in ("5", "4"):
                return True
            sh("xdotool", "key", "shift")  # a key starts the countdown again
            return False

        self.wait_for(ready, 20, "velmora's send box to have the focus with no history copy due",
                      step=0.1)

    def paste(self, text):
        """Pastes the clipboard, which must hold text, into velmora's send box."""
        sh("xdotool", "key", "ctrl+v")
        try:
            self.wait_for(lambda: self.tree.send_text() == text, 5,
                          f"{text!r} pasted into velmora's send box")
        except self.timed_out as e:
            raise Failed(f"{e}: it holds {self.tree.send_text()!r}, has the focus: "
                         f"{self.tree.send_box_focused()}, active window "
                         f"{sh('xdotool', 'getactivewindow')} (main {self.main_wid})")

    def check_boxes_emptied(self, chat_name, chat_input_text):
        """After a send both velmora's send box and the chat program's input box must empty."""
        try:
            self.wait_for(lambda: self.tree.send_text() == "", 5,
                          "velmora to empty its send box after the send")
            self.wait_for(lambda: chat_input_text() == "", 5,
                          f"{chat_name}'s input box to be empty after the send")
        except self.timed_out as e:
            self.fail(str(e))

    # -- clipboard ----------------------------------------------------------------------

    def own_clipboard(self, text):
        """Makes xclip serve text as the clipboard until someone else takes it or it is released.
        With a limited count our own look at the clipboard would use one up, and a paste with
        nobody owning the clipboard crashes velmora's send box (Qt 6
        QWidgetTextControl::insertFromMimeData)."""
        p = subprocess.Popen(["xclip", "-selection", "clipboard", "-quiet"],
                             stdin=subprocess.PIPE, stdout=subprocess.DEVNULL,
                             stderr=subprocess.DEVNULL)
        self.clip_owners.append(p)
        p.stdin.write(text.encode())
        p.stdin.close()
        self.wait_for(lambda: self.clipboard() == text, 5,
                      f"xclip owning the clipboard with {text!r}")
        return p

    @staticmethod
    def clipboard():
        r = subprocess.run(["xclip", "-selection", "clipboard", "-o"], capture_output=True,
                           timeout=5)
        return r.stdout.decode("utf-8", "replace") if r.returncode == 0 else None

    def release_clipboard(self):
        for p in self.clip_owners:
            if p.poll() is None:
                p.terminate()
                p.wait(timeout=5)
        self.clip_owners = []

    # -- what the run leaves behind -------------------------------------------------------

    def save(self, chat_wid, write):
        """Screenshots of both windows and the screen; write(f) fills the transcript."""
        self.screenshot(self.main_wid, "main-window.png")
        self.screenshot(chat_wid, "chat-window.png")
        sh("import", "-window", "root", os.path.join(self.out, "screen.png"), timeout=30)
        path = os.path.join(self.out, "transcript.txt")
        with open(path, "w") as f:
            write(f)
        self.log(f"transcript {path}")

    def keep_logs(self, paths, prefix=""):
        for src in paths:
            if os.path.exists(src):
                shutil.copy(src, os.path.join(self.out, prefix + os.path.basename(src)))

    # What a test defines.
    def go(self):
        raise NotImplementedError

    def keep_chat_logs(self):
        """Copies the chat program's logs into --out."""

    def on_error(self):
        """Adds to the report of an exception that ended go()."""

    def close(self):
        """Stops everything the run started."""
        self.release_clipboard()
        self.stop()

    def wrap_up(self):
        """Runs after close(): last checks and the timings."""


def main(make_run, description, name):
    """Runs a test: make_run(args) gives its VelmoraRun; prints `name: 1 passed, 0 failed` or
    the reverse and returns the exit status."""
    ap = argparse.ArgumentParser(description=description,
                                 formatter_class=argparse.RawDescriptionHelpFormatter)
    ap.add_argument("--build", required=True)
    ap.add_argument("--out", required=True)
    args = ap.parse_args()
    # A test runner's SIGTERM must still stop everything started.
    signal.signal(signal.SIGTERM, lambda *_: sys.exit(143))
    run = make_run(args)
    try:
        run.go()
    except Exception as e:  # noqa: BLE001 - any failure ends the run with a message
        run.fail(f"{type(e).__name__}: {e}")
        traceback.print_exc()
        run.on_error()
    finally:
        if run.failures:
            sh("import", "-window", "root", os.path.join(run.out, "failure-screen.png"),
               timeout=30)
        run.keep_chat_logs()
        run.close()
    run.wrap_up()
    ok = not run.failures
    print(f"{name}: " + ("1 passed, 0 failed" if ok else "0 passed, 1 failed"))
    return 0 if ok else 1
