#!/usr/bin/python3
"""A conversation through Pidgin on the current test desktop.

Prosody on loopback, Pidgin logged in as me@localhost and a scripted contact (anna); anna's
first message opens Pidgin's conversation window. velmora (with the glossary translate
endpoint and the vendor server) gets its three targets by real clicks on its snapshot overlay at
the centres of Pidgin's input box, history and Send button. Then:
  1. two messages typed into velmora reach anna translated, each once, in order;
  2. two messages from anna appear translated in velmora's result box, each once, and none
     of our own messages shows up as incoming;
  3. a draft left in Pidgin's input box survives velmora's reading of the history and never
     shows up in the result box.
Prints how long each message took; saves screenshots, logs and a transcript into --out.

Needs the test desktop (DISPLAY, the session bus and the accessibility bus with AT_SPI_BUS on
the root window) and Debian's /usr/bin/python3 (pyatspi, slixmpp).
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
sys.path.insert(0, HERE)
sys.path.insert(0, os.path.join(HERE, "..", "conversation"))

import drive  # noqa: E402
from drive import sh  # noqa: E402
from pidgin import PEER, PidginChat, _extents  # noqa: E402
from pidgin_procs import WaitTimeout, wait_for  # noqa: E402

T0 = time.monotonic()

OPENING = ("Hello, are you there?", "你好，在吗？")
# What we type, and what the glossary makes of it (Chinese to English).
OUTGOING = [("你好", "hello"), ("很高兴认识你", "nice to meet you")]
# What anna says, and what the glossary makes of it (English to Chinese).
INCOMING = [("Good morning, my friend", "早上好，我的朋友"),
            ("Where is the order?", "哪里是订单？")]
DRAFT = "unsent draft"
AFTER_DRAFT = ("Thank you, goodbye", "谢谢，再见")
# Where the conversation window goes: clear of velmora's main window at (40, 40).
CHAT_AT = (720, 60)
INCOMING_WAIT = 15  # seconds from anna's message to its translation, at most


def log(msg):
    print(f"[chat_pidgin {time.monotonic() - T0:5.1f}s] {msg}", flush=True)


class Failed(Exception):
    pass


def _walk(root, skip_menus=True):
    import pyatspi
    stack = [root]
    while stack:
        a = stack.pop()
        if a is None:
            continue
        try:
            role = a.getRole()
            if skip_menus and role in (pyatspi.ROLE_MENU_BAR, pyatspi.ROLE_MENU):
                continue
            yield a, role
            stack.extend(a.getChildAtIndex(i) for i in range(a.childCount - 1, -1, -1))
        except Exception:
            continue  # a widget that went away while we looked


class VelmoraTree:
    """velmora's own widgets as its accessibility tree shows them: read without a click, a key
    or a focus change, so that watching it does not disturb velmora's idle countdown."""

    # Points of txtResult, txtSend and lblTimeKeeper in the main window.
    RESULT_AT, SEND_AT, TIMER_AT = (170, 200), (170, 500), (212, 624)

    def __init__(self, pid, origin):
        self.pid = pid
        self.ox, self.oy = origin
        self._result = self._send = None

    def _app(self):
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

    def _at(self, role, x, y):
        """The smallest showing widget of that role over the point of the main window."""
        import pyatspi
        app = self._app()
        if app is None:
            return None
        best = None
        for a, r in _walk(app):
            if r != role or not a.getState().contains(pyatspi.STATE_SHOWING):
                continue
            e = _extents(a)
            if e.x <= self.ox + x < e.x + e.w and e.y <= self.oy + y < e.y + e.h:
                if best is None or e.w * e.h < best[1]:
                    best = (a, e.w * e.h)
        return best and best[0]

    def find(self, timeout=15):
        import pyatspi

        def both():
            r = self._at(pyatspi.ROLE_TEXT, *self.RESULT_AT)
            s = self._at(pyatspi.ROLE_TEXT, *self.SEND_AT)
            return r and s and (r, s)

        self._result, self._send = wait_for(
            both, timeout, "velmora's result and send boxes on the accessibility bus")

    def result_text(self):
        return self._result.queryText().getText(0, -1)

    def send_text(self):
        return self._send.queryText().getText(0, -1)

    def send_box_focused(self):
        import pyatspi
        return self._send.getState().contains(pyatspi.STATE_FOCUSED)

    def countdown(self):
        """The idle countdown's caption, or None while it is hidden."""
        import pyatspi
        label = self._at(pyatspi.ROLE_LABEL, *self.TIMER_AT)
        return label.name if label is not None else None


class PidginRun(drive.Run):
    def __init__(self, args):
        super().__init__(args)
        self.chat = None
        self.tree = None
        self.failures = []
        self.timings = []

    def fail(self, msg):
        log(f"FAIL: {msg}")
        self.failures.append(msg)

    # -- Pidgin -------------------------------------------------------------------------

    def place_chat_window(self):
        """Moves the conversation window clear of velmora's and reads its widgets' places anew
        once they have followed the move."""
        conv = self.chat.conversation
        sh("xdotool", "windowmove", str(conv.window_id), *map(str, CHAT_AT))
        last = {}

        def settled():
            x, y, _ = drive.window_origin(conv.window_id)
            rects = [_extents(a) for a in (self.chat._history, self.chat._input, self.chat._send)]
            ok = x >= CHAT_AT[0] and all(r.x >= x for r in rects) and rects == last.get("r")
            last["r"] = rects
            return ok and rects

        self.history_rect, self.input_rect, self.send_rect = wait_for(
            settled, 10, f"Pidgin's widgets to follow its window to {CHAT_AT}", step=0.1)
        log(f"Pidgin: history {self.history_rect}, input {self.input_rect}, "
            f"Send {self.send_rect}")

    # -- velmora ------------------------------------------------------------------------

    def send(self, text):
        """Types text into velmora's send box and sends it with Ctrl+Enter, at a moment when no
        history copy can take the focus half-way (a copy by keys starts only after five idle
        seconds: a countdown at 5 or 4 leaves time for the paste)."""
        inactive_since = [None]

        def ready():
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

        wait_for(ready, 20, "velmora's send box to have the focus with no history copy due",
                 step=0.1)
        # Typed through the clipboard (synthetic typing of Han characters would remap the
        # keyboard). xclip serves every request until it is stopped: with a limited count our
        # own look at the clipboard would use one up, and a paste with nobody owning the
        # clipboard crashes velmora's send box (Qt 6 QWidgetTextControl::insertFromMimeData).
        p = subprocess.Popen(["xclip", "-selection", "clipboard", "-quiet"],
                             stdin=subprocess.PIPE, stdout=subprocess.DEVNULL,
                             stderr=subprocess.DEVNULL)
        try:
            p.stdin.write(text.encode())
            p.stdin.close()
            wait_for(lambda: sh("xclip", "-selection", "clipboard", "-o") == text, 5,
                     "xclip to own the clipboard")
            sh("xdotool", "key", "ctrl+v")
            try:
                wait_for(lambda: self.tree.send_text() == text, 5,
                         f"{text!r} pasted into velmora's send box")
            except WaitTimeout as e:
                raise Failed(f"{e}: it holds {self.tree.send_text()!r}, has the focus: "
                             f"{self.tree.send_box_focused()}, active window "
                             f"{sh('xdotool', 'getactivewindow')} (main {self.main_wid})")
        finally:
            p.terminate()
            p.wait(timeout=5)
        sh("xdotool", "key", "ctrl+Return")
        return time.monotonic()

    # -- the conversation ---------------------------------------------------------------

    def outgoing(self):
        peer = self.chat.peer
        for i, (text, expected) in enumerate(OUTGOING):
            t = self.send(text)
            try:
                got = wait_for(lambda: len(peer.received()) > i and peer.received(), 20,
                               f"{PEER} to receive the translation of message {i + 1}")
            except Exception as e:
                self.fail(f"{e}; velmora's send box {self.tree.send_text()!r}, Pidgin's input "
                          f"box {self.chat.input_text()!r}")
                return
            took = time.monotonic() - t
            self.timings.append(("out", text, took))
            log(f"sent {text!r}: {PEER} got {got[i]!r} {took:.2f}s after Ctrl+Enter")
            if got != [e for _, e in OUTGOING[:i + 1]]:
                self.fail(f"{PEER} received {got}, expected {[e for _, e in OUTGOING[:i + 1]]}")
            try:
                wait_for(lambda: self.tree.send_text() == "", 5,
                         "velmora to empty its send box after the send")
                wait_for(lambda: self.chat.input_text() == "", 5,
                         "Pidgin's input box to be empty after the send")
            except Exception as e:
                self.fail(str(e))

    def incoming(self, text, expected):
        """anna says text; returns whether its translation appeared in velmora's result box."""
        shown = f"{text}(译文：{expected})"
        t = time.monotonic()
        self.chat.peer.say(text)
        try:
            self.chat.wait_history_contains(f"{PEER}: {text}")
        except Exception as e:
            self.fail(f"Pidgin never showed {PEER}'s message: {e}")
            return False
        try:
            wait_for(lambda: shown in self.tree.result_text(), INCOMING_WAIT,
                     f"{shown!r} in velmora's result box", step=0.05)
        except Exception as e:
            self.fail(f"{e}; the result box ends with {self.tree.result_text()[-300:]!r}")
            return False
        took = time.monotonic() - t
        self.timings.append(("in", text, took))
        log(f"{PEER} said {text!r}: translated in velmora's result box {took:.2f}s later")
        # The user may go on typing: the send box must have the focus again.
        try:
            wait_for(lambda: self.main_active() and self.tree.send_box_focused(), 3,
                     "velmora's send box to have the focus again after showing the message")
        except WaitTimeout as e:
            self.fail(str(e))
            self.focus_send_box()  # as a user would, to see the rest of the conversation
        return True

    def check_result_box(self, text):
        """What the result box holds at the end: each of anna's messages once, in order, and
        nothing of ours or of the draft as an incoming message."""
        said = [f"{t}(译文：{e})" for t, e in INCOMING + [AFTER_DRAFT]]
        counts = {s: text.count(s) for s in said}
        for s, n in counts.items():
            if n > 1:
                self.fail(f"{s!r} appears {n} times in velmora's result box")
        at = [text.find(s) for s in said if counts[s] == 1]
        if at != sorted(at):
            self.fail(f"{PEER}'s messages appear out of order in velmora's result box")
        # The opening message came before the picks: velmora may leave it out, but what it
        # shows must be the message and its translation, once.
        opening = text.count(OPENING[0])
        log(f"{PEER}'s opening message (before the targets were picked) shown {opening} times")
        if opening > 1:
            self.fail(f"{PEER}'s opening message appears {opening} times in the result box")
        elif opening and f"{OPENING[0]}(译文：{OPENING[1]})" not in text:
            line = next(l for l in text.splitlines() if OPENING[0] in l)
            self.fail(f"{PEER}'s opening message is shown as {line!r}, expected "
                      f"{OPENING[0]!r} translated as {OPENING[1]!r}")
        for _, sent in OUTGOING:
            if f"{sent}(译文：" in text:
                self.fail(f"our own message {sent!r} was shown as an incoming one")
        if re.search(r"^\(\d\d:\d\d:\d\d\) me:", text, re.M):
            self.fail("a speaker line of our own (me:) was shown as an incoming one")
        if DRAFT in text:
            self.fail(f"the draft {DRAFT!r} from Pidgin's input box appeared in the result box")

    def go(self):
        for k in ("DISPLAY", "DBUS_SESSION_BUS_ADDRESS"):
            if not os.environ.get(k):
                raise Failed(f"{k} is not set: run inside the test desktop (scripts/desktop.sh)")
        if "AT_SPI_BUS" not in sh("xprop", "-root", "AT_SPI_BUS"):
            raise Failed("no accessibility bus on the display (AT_SPI_BUS is not on the root "
                         "window): run inside the test desktop (scripts/desktop.sh)")

        self.chat = PidginChat(log=log)
        self.chat.start()
        conv = self.chat.open_conversation(OPENING[0])
        log(f"conversation window 0x{conv.window_id:x} {conv.title!r}")
        self.place_chat_window()

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
        self.origin = wait_for(lambda: (lambda x, y, _: (x, y) if x < 100 and y < 100 else None)(
            *drive.window_origin(self.main_wid)), 5, "velmora's main window to move to (40, 40)")
        width = int(re.search(r"Width:\s+(\d+)", sh("xwininfo", "-id", str(self.main_wid)))[1])
        left = min(r.x for r in (self.history_rect, self.input_rect, self.send_rect))
        if self.origin[0] + width >= left:
            raise Failed(f"velmora's main window ({self.origin}, {width} wide) would cover "
                         f"Pidgin's widgets, which start at x={left}")
        log(f"velmora pid {velmora.pid}, main window at {self.origin}")
        self.tree = VelmoraTree(velmora.pid, self.origin)
        self.tree.find()

        # The chat window on top, as a user would have it while picking.
        self.chat.activate_window()
        sh("xdotool", "windowactivate", "--sync", str(self.main_wid))
        # drive.Run.pick clicks the centre of (x, y, w, h, window).
        self.pick(134, (*vars(self.input_rect).values(), 0))
        self.pick(163, (*vars(self.history_rect).values(), 0))
        self.pick(102, (*vars(self.send_rect).values(), 0))
        self.choose_language(100, 422, drive.Glossary.other_language)
        self.focus_send_box()

        # velmora's first read of the history (anna's opening message) writes into the result
        # box: typing is safe once it is done.
        try:
            wait_for(lambda: self.tree.result_text().strip(), 10,
                     "velmora's first read of Pidgin's history")
        except WaitTimeout as e:
            log(f"{e}; going on")
        log("-- outgoing")
        self.outgoing()

        log("-- incoming")
        for text, expected in INCOMING:
            self.incoming(text, expected)

        log("-- a draft in Pidgin's input box")
        self.chat.set_input_text(DRAFT)
        if self.chat.input_text() != DRAFT:
            raise Failed(f"Pidgin's input box holds {self.chat.input_text()!r} after setting "
                         f"the draft")
        # Whether or not the message came through, velmora has had the incoming wait to read.
        self.incoming(*AFTER_DRAFT)
        if self.chat.input_text() != DRAFT:
            self.fail(f"the draft in Pidgin's input box changed: {self.chat.input_text()!r}")

        received = self.chat.peer.received()
        if received != [e for _, e in OUTGOING]:
            self.fail(f"at the end {PEER} has received {received}, expected each of "
                      f"{[e for _, e in OUTGOING]} once")
        result = self.tree.result_text()
        self.check_result_box(result)
        self.save(result, received)

    def save(self, result, received):
        self.screenshot(self.main_wid, "main-window.png")
        self.screenshot(self.chat.conversation.window_id, "chat-window.png")
        sh("import", "-window", "root", os.path.join(self.out, "screen.png"), timeout=30)
        path = os.path.join(self.out, "transcript.txt")
        with open(path, "w") as f:
            f.write("== Pidgin history ==\n" + self.chat.history_text() + "\n\n")
            f.write(f"== Pidgin input box ==\n{self.chat.input_text()}\n\n")
            f.write(f"== received by {PEER} ==\n" + "\n".join(received) + "\n\n")
            f.write("== velmora result box ==\n" + result + "\n\n")
            f.write("== timings ==\n")
            for way, text, took in self.timings:
                f.write(f"{way}\t{took:.3f}s\t{text}\n")
        log(f"transcript {path}")

    def keep_chat_logs(self):
        if self.chat is None:
            return
        for src in (self.chat.pidgin_log, os.path.join(self.chat.dir, "xmpp_peer.log"),
                    self.chat.server.logfile):
            if os.path.exists(src):
                shutil.copy(src, os.path.join(self.out, os.path.basename(src)))


def main():
    ap = argparse.ArgumentParser(description=__doc__,
                                 formatter_class=argparse.RawDescriptionHelpFormatter)
    ap.add_argument("--build", required=True)
    ap.add_argument("--out", required=True)
    args = ap.parse_args()
    # A test runner's SIGTERM must still stop everything started.
    signal.signal(signal.SIGTERM, lambda *_: sys.exit(143))
    run = PidginRun(args)
    try:
        run.go()
    except Exception as e:  # noqa: BLE001 - any failure ends the run with a message
        run.fail(f"{type(e).__name__}: {e}")
        traceback.print_exc()
        if run.chat is not None:
            print(run.chat.log_tail(), file=sys.stderr)
    finally:
        if run.failures:
            sh("import", "-window", "root", os.path.join(run.out, "failure-screen.png"),
               timeout=30)
        run.keep_chat_logs()
        run.stop()
        if run.chat is not None:
            try:
                run.chat.stop()
            except Exception as e:  # noqa: BLE001
                run.fail(str(e))
    if run.timings:
        log("timings: " + ", ".join(f"{w} {t!r} {s:.2f}s" for w, t, s in run.timings))
    ok = not run.failures
    print("chat_pidgin: " + ("1 passed, 0 failed" if ok else "0 passed, 1 failed"))
    return 0 if ok else 1


if __name__ == "__main__":
    sys.exit(main())
