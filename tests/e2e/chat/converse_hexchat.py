#!/usr/bin/python3
"""A conversation through HexChat on the current test desktop.

ngIRCd on loopback, HexChat logged in as velmora with a query tab to a scripted user (alice).
velmora (with the glossary translate endpoint and the vendor server) gets two targets by real
clicks on its snapshot overlay, HexChat's input box and its history, and Enter as the send key
through its shortcut dialog (HexChat has no send button). Then:
  1. two messages typed into velmora reach alice translated, each once, in order, and the
     user's clipboard never holds a translation (they go through the accessibility tree);
  2. with a draft in HexChat's input box and a message from alice, velmora's send box stays
     idle until velmora copies the history: HexChat copies its input box instead, so velmora
     must drop that copy with a tip, leave the draft alone and never show it as a message.
Prints timings; saves screenshots, logs and a transcript into --out.

Needs the test desktop (DISPLAY, the session bus and the accessibility bus with AT_SPI_BUS on
the root window) and Debian's /usr/bin/python3 (pyatspi).
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
import uuid

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
sys.path.insert(0, os.path.join(HERE, "..", "conversation"))

import drive  # noqa: E402
from drive import sh  # noqa: E402

T0 = time.monotonic()

# What we type, and what the glossary makes of it (Chinese to English).
OUTGOING = [("你好", "hello"), ("很高兴认识你", "nice to meet you")]
DRAFT = "unsent draft"
INCOMING = "Are you still there?"
DROPPED_TIP = "复制到的是聊天窗口输入框中的文字，不是消息记录，已忽略。"
ROUTE_KEYS_TIP = "将通过复制读取消息记录：发送框空闲 5 秒后复制聊天记录。"
ROUTE_TREE_TIP = "将通过辅助功能直接读取消息记录：不按键、不占用剪贴板，新消息随到随译。"
# HexChat's window goes right of velmora's main window (at (40, 40), 517 wide).
CHAT_AT = (600, 60)
CHAT_SIZE = (660, 560)
SEND_WAIT = 15
# Five idle seconds, the click and keys, up to three seconds for the clipboard, and slack.
COPY_WAIT = 20
# Marks every process this run starts, so that leftovers can be found by it alone.
RUN_MARK = "VELMORA_E2E_HEXCHAT_RUN"


def log(msg):
    print(f"[chat_hexchat {time.monotonic() - T0:5.1f}s] {msg}", flush=True)


class Failed(Exception):
    pass


def wait_for(cond, timeout, what, step=0.05):
    end = time.monotonic() + timeout
    while True:
        v = cond()
        if v:
            return v
        if time.monotonic() >= end:
            what = what() if callable(what) else what
            raise Failed(f"{what} did not happen within {timeout:.0f} s")
        time.sleep(step)


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

    # Points inside the main window: txtResult, txtSend, lblTimeKeeper, lblTips.
    RESULT, SEND, TIMER, TIPS = (170, 200), (170, 500), (212, 624), (140, 592)

    def __init__(self, pid, origin):
        self.pid = pid
        self.ox, self.oy = origin
        self.app = None
        self.result = self.send = self.timer = self.tips = None
        self._timer_looked = 0.0

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

    def _at(self, role, point, showing=True):
        """The smallest widget of that role over the point of the main window."""
        import pyatspi
        best = None
        for a, r in walk(self.app):
            if r != role or (showing and not a.getState().contains(pyatspi.STATE_SHOWING)):
                continue
            x, y, w, h = extents(a)
            px, py = self.ox + point[0], self.oy + point[1]
            if x <= px < x + w and y <= py < y + h and (best is None or w * h < best[1]):
                best = (a, w * h)
        return best and best[0]

    def find(self):
        import pyatspi
        self.app = wait_for(self._find_app, 15,
                            f"velmora (pid {self.pid}) on the accessibility bus")
        self.result, self.send = wait_for(
            lambda: (lambda r, s: r and s and (r, s))(self._at(pyatspi.ROLE_TEXT, self.RESULT),
                                                      self._at(pyatspi.ROLE_TEXT, self.SEND)),
            15, "velmora's result and send boxes on the accessibility bus")

    def find_tips(self):
        """The tip panel's label; it exists while hidden, so it is found while it shows."""
        import pyatspi
        self.tips = wait_for(lambda: self._at(pyatspi.ROLE_LABEL, self.TIPS), 10,
                             "velmora's tip panel showing")


    @staticmethod
    def _shown_name(acc):
        import pyatspi
        if acc is None or not acc.getState().contains(pyatspi.STATE_SHOWING):
            return None
        return acc.name

    def result_text(self):
        return self.result.queryText().getText(0, -1)

    def send_text(self):
        return self.send.queryText().getText(0, -1)

    def send_box_focused(self):
        import pyatspi
        return self.send.getState().contains(pyatspi.STATE_FOCUSED)

    def tip(self):
        """The tip panel's text, or None while the panel is hidden."""
        return self._shown_name(self.tips)

    def countdown(self):
        """The idle countdown's caption, or None while it is hidden."""
        if self.timer is None:
            # Found once it shows; the search walks the whole tree, so not at every poll.
            import pyatspi
            if time.monotonic() - self._timer_looked < 0.5:
                return None
            self._timer_looked = time.monotonic()
            self.timer = self._at(pyatspi.ROLE_LABEL, self.TIMER)
        return self._shown_name(self.timer)


class HexChatRun(drive.Run):
    def __init__(self, args):
        super().__init__(args)
        self.hx = None
        self.tree = None
        self.failures = []
        self.timings = []
        self.observed = []  # (time, what, value): velmora's tip and countdown as they changed
        self.clip_owners = []

    def fail(self, msg):
        log(f"FAIL: {msg}")
        self.failures.append(msg)

    # -- clipboard ----------------------------------------------------------------------

    def own_clipboard(self, text):
        """Makes xclip serve text as the clipboard until someone else takes it."""
        p = subprocess.Popen(["xclip", "-selection", "clipboard", "-quiet"],
                             stdin=subprocess.PIPE, stdout=subprocess.DEVNULL,
                             stderr=subprocess.DEVNULL)
        self.clip_owners.append(p)
        p.stdin.write(text.encode())
        p.stdin.close()
        wait_for(lambda: self.clipboard() == text, 5, f"xclip owning the clipboard with {text!r}")
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

    # -- HexChat ------------------------------------------------------------------------

    def start_hexchat(self):
        from hexchat import HexChat
        self.hx = HexChat()
        self.hx.start()
        wid = self.hx.window_id
        log(f"HexChat pid {self.hx.hexchat.pid}, window 0x{wid:x}, IRC port {self.hx.port}")
        sh("xdotool", "windowsize", str(wid), *map(str, CHAT_SIZE))
        sh("xdotool", "windowmove", str(wid), *map(str, CHAT_AT))
        last = {}

        def settled():
            x, y, _ = drive.window_origin(wid)
            rects = (self.hx.history_rect(), self.hx.input_rect())
            ok = (x >= CHAT_AT[0] and all(r[0] >= x and r[0] + r[2] <= x + CHAT_SIZE[0]
                                          for r in rects) and rects == last.get("r"))
            last["r"] = rects
            return ok and rects

        self.history_rect, self.input_rect = wait_for(
            settled, 10, f"HexChat's widgets to follow its window to {CHAT_AT}", step=0.1)
        log(f"HexChat: history {self.history_rect}, input box {self.input_rect}")

    # -- velmora ------------------------------------------------------------------------

    def start_velmora(self):
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
        if self.origin[0] + width >= min(self.history_rect[0], self.input_rect[0]):
            raise Failed(f"velmora's main window ({self.origin}, {width} wide) would cover "
                         f"HexChat's widgets")
        log(f"velmora pid {velmora.pid}, main window at {self.origin}")
        self.tree = VelmoraTree(velmora.pid, self.origin)
        self.tree.find()

    def set_up_targets(self):
        # The chat window on top, as a user would have it while picking.
        sh("xdotool", "windowactivate", "--sync", str(self.hx.window_id))
        sh("xdotool", "windowactivate", "--sync", str(self.main_wid))
        # drive.Run.pick clicks the centre of (x, y, w, h, window).
        self.pick(134, (*self.input_rect, 0))
        self.pick(163, (*self.history_rect, 0))
        # Picking the history shows which way velmora will read it: the tip panel is there.
        self.tree.find_tips()
        # Over the picker icons the panel shows their captions: wait for the route's tip.
        tip = wait_for(lambda: (lambda t: t in (ROUTE_KEYS_TIP, ROUTE_TREE_TIP) and t)(
            self.tree.tip()), 5, lambda: f"velmora's tip about the way it reads the history "
                                         f"(shows {self.tree.tip()!r})")
        log(f"tip after picking the history: {tip!r}")
        # HexChat's history view shows no text in its tree: velmora must read it by copying.
        if tip != ROUTE_KEYS_TIP:
            self.fail(f"after picking HexChat's history velmora's tip says {tip!r}, expected "
                      f"{ROUTE_KEYS_TIP!r}")
        # The shortcut dialog opens on "(无)" and "{Enter}"; "完成" makes Enter the send key.
        # The settings menu is not in velmora's accessibility tree; it is a window of its own.
        shown = set(self.velmora_windows())
        drive.click(self.origin[0] + 40, self.origin[1] + 624)
        wait_for(lambda: set(self.velmora_windows()) - shown, 5, "velmora's settings menu opening")
        sh("xdotool", "key", "s")
        dlg = wait_for(lambda: sh("xdotool", "search", "--onlyvisible", "--name", "设置发送快捷键"),
                       8, "the send shortcut dialog opening")
        self.check_shortcut_dialog(int(dlg.splitlines()[0]))
        sh("xdotool", "key", "--window", dlg.splitlines()[0], "Tab", "Tab", "space")
        wait_for(lambda: not sh("xdotool", "search", "--onlyvisible", "--name", "设置发送快捷键"),
                 5, "the send shortcut dialog closing")
        self.choose_language(100, 422, drive.Glossary.other_language)
        self.focus_send_box()

    def velmora_windows(self):
        return sh("xdotool", "search", "--onlyvisible", "--pid", str(self.tree.pid)).split()

    def check_shortcut_dialog(self, wid):
        """The dialog's two lists must offer (无) and {Enter}, or its OK sets another key."""
        import pyatspi
        title = sh("xdotool", "getwindowname", str(wid))

        def combos():
            for a, r in walk(self.tree.app):
                if r in (pyatspi.ROLE_DIALOG, pyatspi.ROLE_FRAME, pyatspi.ROLE_WINDOW) \
                        and a.name == title:
                    found = [c.name for c, cr in walk(a) if cr == pyatspi.ROLE_COMBO_BOX]
                    return found if len(found) == 2 else None
            return None

        found = wait_for(combos, 5, "the shortcut dialog's two lists on the accessibility bus")
        log(f"shortcut dialog shows {found}")
        if found != ["(无)", "{Enter}"]:
            raise Failed(f"the shortcut dialog opened on {found}, not ['(无)', '{{Enter}}']")

    def watch(self):
        """Notes changes of velmora's tip and countdown, for the transcript and the checks."""
        now = time.monotonic() - T0
        for what, value in (("tip", self.tree.tip()), ("countdown", self.tree.countdown())):
            last = next((v for _, w, v in reversed(self.observed) if w == what), "unseen")
            if value != last:
                self.observed.append((now, what, value))

    def send(self, text):
        """Types text into velmora's send box and sends it with Ctrl+Enter, at a moment when no
        history copy can take the focus half-way (a copy by keys starts only after five idle
        seconds: a countdown at 5 or 4 leaves time for the paste)."""
        inactive_since = [None]

        def ready():
            self.watch()
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
        # keyboard). Someone must own the clipboard while velmora pastes.
        self.own_clipboard(text)
        sh("xdotool", "key", "ctrl+v")
        try:
            wait_for(lambda: self.tree.send_text() == text, 5,
                     f"{text!r} pasted into velmora's send box")
        except Failed as e:
            raise Failed(f"{e}: it holds {self.tree.send_text()!r}, has the focus: "
                         f"{self.tree.send_box_focused()}, active window "
                         f"{sh('xdotool', 'getactivewindow')} (main {self.main_wid})")
        # The user's clipboard as it is before the send: what it must still hold afterwards.
        mark = f"user clipboard {uuid.uuid4().hex}"
        self.own_clipboard(mark)
        t = time.monotonic()
        sh("xdotool", "key", "ctrl+Return")
        return t, mark

    # -- the conversation ---------------------------------------------------------------

    def outgoing(self):
        peer = self.hx.peer
        for i, (text, expected) in enumerate(OUTGOING):
            t, mark = self.send(text)
            try:
                got = wait_for(lambda: len(peer.received()) > i and peer.received(), SEND_WAIT,
                               f"alice receiving the translation of message {i + 1}", step=0.02)
            except Failed as e:
                self.fail(f"{e}; velmora's send box {self.tree.send_text()!r}, HexChat's input "
                          f"box {self.hx.input_text()!r}, tip {self.tree.tip()!r}")
                return False
            took = time.monotonic() - t
            self.timings.append((f"send {i + 1}: Ctrl+Enter to alice receiving", took))
            log(f"sent {text!r}: alice got {got[i]!r} {took:.2f}s after Ctrl+Enter")
            want = [e for _, e in OUTGOING[:i + 1]]
            if got != want:
                self.fail(f"alice received {got}, expected {want}")
            try:
                wait_for(lambda: self.tree.send_text() == "", 5,
                         "velmora emptying its send box after the send")
                wait_for(lambda: self.hx.input_text() == "", 5,
                         "HexChat's input box being empty after the send")
            except Failed as e:
                self.fail(str(e))
            clip = self.clipboard()
            if clip != mark:
                self.fail(f"the user's clipboard changed during the send: it held {mark!r}, "
                          f"now {clip!r}")
            self.release_clipboard()
        return True

    def draft(self):
        """A draft in HexChat's input box and a message from alice; then velmora's send box
        stays idle until its history copy (which gets the draft) has been dealt with."""
        self.hx.set_input_text(DRAFT)
        if self.hx.input_text() != DRAFT:
            raise Failed(f"HexChat's input box holds {self.hx.input_text()!r} after setting "
                         f"the draft")
        self.hx.peer.say(INCOMING)
        wait_for(lambda: f"<alice>\t{INCOMING}" in self.hx.log_text(), 10,
                 "alice's message reaching HexChat")
        # A marker in the clipboard: velmora empties the clipboard before it copies, which
        # ends the marker's owner; that shows the copy began.
        owner = self.own_clipboard(f"before the copy {uuid.uuid4().hex}")
        self.focus_send_box()
        wait_for(lambda: self.main_active() and self.tree.send_box_focused(), 5,
                 "velmora's send box having the focus")
        idle_from = time.monotonic()
        # Nothing of ours touches velmora from here on: no click, key or pointer move.
        draft_shown = [False]
        copied = [None]

        def dropped():
            self.watch()
            if DRAFT in self.tree.result_text():
                draft_shown[0] = True
            if copied[0] is None and owner.poll() is not None:
                copied[0] = time.monotonic()
            # Done once the copy is over (velmora active again with the focus in its send box)
            # and the tip says why its text was dropped.
            tip = self.tree.tip() or ""
            return (copied[0] is not None and tip.startswith(DROPPED_TIP)
                    and self.main_active() and self.tree.send_box_focused())

        try:
            wait_for(dropped, COPY_WAIT, "velmora's tip about a dropped copy of the input box, "
                     "with the focus back in its send box")
            took = time.monotonic() - idle_from
            self.timings.append(("idle send box to the history copy",
                                 copied[0] - idle_from))
            self.timings.append(("idle send box to the dropped-copy tip", took))
            log(f"tip shown {took:.2f}s after the send box went idle: {self.tree.tip()!r}")
        except Failed as e:
            self.fail(f"{e}; velmora took the clipboard for a history copy: "
                      f"{copied[0] is not None}, tip {self.tree.tip()!r}, countdown "
                      f"{self.tree.countdown()!r}, velmora active {self.main_active()}, send box "
                      f"focused {self.tree.send_box_focused()}")
        log(f"clipboard after the idle wait: {self.clipboard()!r}")
        if self.hx.input_text() != DRAFT:
            self.fail(f"the draft in HexChat's input box changed: {self.hx.input_text()!r}")
        if draft_shown[0] or DRAFT in self.tree.result_text():
            self.fail(f"the draft {DRAFT!r} from HexChat's input box appeared in velmora's "
                      f"result box: {self.tree.result_text()[-300:]!r}")
        self.release_clipboard()
        log(f"alice's message in velmora's result box (not read from HexChat yet): "
            f"{INCOMING in self.tree.result_text()}")

    def go(self):
        for k in ("DISPLAY", "DBUS_SESSION_BUS_ADDRESS"):
            if not os.environ.get(k):
                raise Failed(f"{k} is not set: run inside the test desktop (scripts/desktop.sh)")
        if "unix:" not in sh("xprop", "-root", "AT_SPI_BUS"):
            raise Failed("no accessibility bus on the display (AT_SPI_BUS is not on the root "
                         "window): run inside the test desktop (scripts/desktop.sh)")
        self.start_hexchat()
        self.start_velmora()
        self.set_up_targets()
        log("-- outgoing")
        if self.outgoing():
            log("-- a draft in HexChat's input box")
            self.draft()
        # Later sends or copies must not have repeated anything.
        received = self.hx.peer.received()
        if received != [e for _, e in OUTGOING]:
            self.fail(f"at the end alice has received {received}, expected each of "
                      f"{[e for _, e in OUTGOING]} once")
        self.save(received)

    def save(self, received):
        self.screenshot(self.main_wid, "main-window.png")
        self.screenshot(self.hx.window_id, "chat-window.png")
        sh("import", "-window", "root", os.path.join(self.out, "screen.png"), timeout=30)
        path = os.path.join(self.out, "transcript.txt")
        with open(path, "w") as f:
            f.write("== HexChat log of the query with alice ==\n" + self.hx.log_text() + "\n")
            f.write(f"== HexChat input box ==\n{self.hx.input_text()}\n\n")
            f.write("== received by alice ==\n" + "\n".join(received) + "\n\n")
            f.write("== velmora result box ==\n" + self.tree.result_text() + "\n\n")
            f.write("== velmora tip panel and countdown as they changed ==\n")
            for at, what, value in self.observed:
                f.write(f"{at:7.2f}s\t{what}\t{value!r}\n")
            f.write("\n== timings ==\n")
            for what, took in self.timings:
                f.write(f"{took:.3f}s\t{what}\n")
        log(f"transcript {path}")

    def keep_chat_logs(self):
        if self.hx is None:
            return
        for src in (os.path.join(self.hx.workdir, "hexchat.log"),
                    os.path.join(self.hx.workdir, "ngircd.log"), self.hx.log_path()):
            if os.path.exists(src):
                shutil.copy(src, os.path.join(self.out, "hexchat-" + os.path.basename(src)))


def leftovers(mark):
    """Processes that still carry this run's mark in their environment."""
    found = []
    for pid in os.listdir("/proc"):
        if not pid.isdigit() or int(pid) == os.getpid():
            continue
        try:
            with open(f"/proc/{pid}/environ", "rb") as f:
                env = f.read().split(b"\0")
            with open(f"/proc/{pid}/stat") as f:
                state = f.read().rsplit(")", 1)[1].split()[0]
            with open(f"/proc/{pid}/cmdline", "rb") as f:
                cmd = f.read().replace(b"\0", b" ").decode(errors="replace").strip()
        except OSError:
            continue
        if f"{RUN_MARK}={mark}".encode() in env and state != "Z":
            found.append((int(pid), cmd))
    return found


def main():
    ap = argparse.ArgumentParser(description=__doc__,
                                 formatter_class=argparse.RawDescriptionHelpFormatter)
    ap.add_argument("--build", required=True)
    ap.add_argument("--out", required=True)
    args = ap.parse_args()
    # A test runner's SIGTERM must still stop everything started.
    signal.signal(signal.SIGTERM, lambda *_: sys.exit(143))
    mark = uuid.uuid4().hex
    os.environ[RUN_MARK] = mark  # inherited by everything started below
    run = HexChatRun(args)
    try:
        run.go()
    except Exception as e:  # noqa: BLE001 - any failure ends the run with a message
        run.fail(f"{type(e).__name__}: {e}")
        traceback.print_exc()
    finally:
        if run.failures:
            sh("import", "-window", "root", os.path.join(run.out, "failure-screen.png"),
               timeout=30)
        run.keep_chat_logs()
        run.release_clipboard()
        run.stop()
        if run.hx is not None:
            for e in run.hx.stop():
                run.fail(f"stopping HexChat: {e}")
    try:
        wait_for(lambda: not leftovers(mark), 5, "every process of this run ending")
    except Failed:
        left = leftovers(mark)
        run.fail(f"processes left running: {left}")
        for pid, _ in left:
            try:
                os.kill(pid, signal.SIGKILL)
            except ProcessLookupError:
                pass
    for what, took in run.timings:
        log(f"timing: {what}: {took:.2f}s")
    log(f"total {time.monotonic() - T0:.1f}s")
    ok = not run.failures
    print("chat_hexchat: " + ("1 passed, 0 failed" if ok else "0 passed, 1 failed"))
    return 0 if ok else 1


if __name__ == "__main__":
    sys.exit(main())
