#!/usr/bin/python3
"""A conversation through HexChat on the current test desktop.

ngIRCd on loopback, HexChat logged in as velmora with a query tab to a scripted user (alice).
velmora (with the glossary translate endpoint and the vendor server) gets two targets by real
clicks on its snapshot overlay, HexChat's input box and its history, and Enter as the send key
through its shortcut dialog (HexChat has no send button). Then:
  1. two messages typed into velmora reach alice translated, each once, in order, and the
     user's clipboard never holds a translation (they go through the accessibility tree);
  2. with a draft in HexChat's input box and a message from alice, velmora's send box stays
     idle until velmora copies the history: HexChat's history shows no text in the tree and
     its copy keys go to its input box, so velmora drags over the history view (whose place the
     tree knows) and HexChat copies the selection; alice's message shows translated, once, and
     the draft is left alone and never shown as a message.
Prints timings; saves screenshots, logs and a transcript into --out.

Needs the test desktop (DISPLAY, the session bus and the accessibility bus with AT_SPI_BUS on
the root window) and Debian's /usr/bin/python3 (pyatspi).
"""

import os
import signal
import sys
import time
import uuid

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
sys.path.insert(0, os.path.join(HERE, "..", "conversation"))

import drive  # noqa: E402
from drive import sh  # noqa: E402
import velmora_session  # noqa: E402
from velmora_session import Failed, walk  # noqa: E402

T0 = time.monotonic()

# What we type, and what the glossary makes of it (Chinese to English).
OUTGOING = [("你好", "hello"), ("很高兴认识你", "nice to meet you")]
DRAFT = "unsent draft"
# In the glossary, with its translation.
INCOMING = ("Where is the order?", "哪里是订单？")
DROPPED_TIP = "复制到的是聊天窗口输入框中的文字，不是消息记录，已忽略。"
ROUTE_KEYS_TIP = "将通过复制读取消息记录：发送框空闲 5 秒后复制聊天记录。"
ROUTE_TREE_TIP = "将通过辅助功能直接读取消息记录：不按键、不占用剪贴板，新消息随到随译。"
ROUTE_DRAG_TIP = ("将通过拖选复制读取消息记录：发送框空闲 5 秒后在消息记录上拖选并复制"
                  "（不影响聊天输入框）。")
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


class HexChatTree(velmora_session.VelmoraTree):
    """Also the tip panel; the countdown's label is looked up once it shows."""

    # A point inside the main window: lblTips.
    TIPS = (140, 592)

    def __init__(self, pid, origin, wait_for):
        super().__init__(pid, origin, wait_for)
        self.timer = self.tips = None
        self._timer_looked = 0.0

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


class HexChatRun(velmora_session.VelmoraRun):
    Tree = HexChatTree

    def __init__(self, args, mark):
        super().__init__(args, log, wait_for, Failed)
        self.mark = mark
        self.hx = None
        self.observed = []  # (time, what, value): velmora's tip and countdown as they changed

    # -- HexChat ------------------------------------------------------------------------

    def start_hexchat(self):
        from hexchat import HexChat
        self.hx = HexChat()
        self.hx.start()
        wid = self.hx.window_id
        log(f"HexChat pid {self.hx.hexchat.pid}, window 0x{wid:x}, IRC port {self.hx.port}")
        self.history_rect, self.input_rect = self.move_chat_window(
            wid, CHAT_AT, "HexChat", lambda: (self.hx.history_rect(), self.hx.input_rect()),
            size=CHAT_SIZE)
        log(f"HexChat: history {self.history_rect}, input box {self.input_rect}")

    # -- velmora ------------------------------------------------------------------------

    def set_up_targets(self):
        # The chat window on top, as a user would have it while picking.
        sh("xdotool", "windowactivate", "--sync", str(self.hx.window_id))
        self.pick_input_and_history()
        # Picking the history shows which way velmora will read it: the tip panel is there.
        self.tree.find_tips()
        # Over the picker icons the panel shows their captions: wait for the route's tip.
        tip = wait_for(lambda: (lambda t: t in (ROUTE_KEYS_TIP, ROUTE_TREE_TIP, ROUTE_DRAG_TIP)
                                            and t)(
            self.tree.tip()), 5, lambda: f"velmora's tip about the way it reads the history "
                                         f"(shows {self.tree.tip()!r})")
        log(f"tip after picking the history: {tip!r}")
        # HexChat's history view shows no text in its tree, only its place: velmora must read
        # it by a drag over it and a copy.
        if tip != ROUTE_DRAG_TIP:
            self.fail(f"after picking HexChat's history velmora's tip says {tip!r}, expected "
                      f"{ROUTE_DRAG_TIP!r}")
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
        """Types text into velmora's send box and sends it with Ctrl+Enter; returns when, and
        the mark the user's clipboard must still hold afterwards."""
        self.wait_send_ready(self.watch)
        # Typed through the clipboard (synthetic typing of Han characters would remap the
        # keyboard). Someone must own the clipboard while velmora pastes.
        self.own_clipboard(text)
        self.paste(text)
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
            self.check_boxes_emptied("HexChat", self.hx.input_text)
            clip = self.clipboard()
            if clip != mark:
                self.fail(f"the user's clipboard changed during the send: it held {mark!r}, "
                          f"now {clip!r}")
            self.release_clipboard()
        return True

    def draft(self):
        """A draft in HexChat's input box and a message from alice; then velmora's send box
        stays idle until its history copy has shown alice's message translated."""
        self.hx.set_input_text(DRAFT)
        if self.hx.input_text() != DRAFT:
            raise Failed(f"HexChat's input box holds {self.hx.input_text()!r} after setting "
                         f"the draft")
        self.hx.peer.say(INCOMING[0])
        wait_for(lambda: f"<alice>\t{INCOMING[0]}" in self.hx.log_text(), 10,
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
        dropped_tip = [False]
        copied = [None]
        shown = f"{INCOMING[0]}(译文：{INCOMING[1]})"

        def translated():
            self.watch()
            if DRAFT in self.tree.result_text():
                draft_shown[0] = True
            if (self.tree.tip() or "").startswith(DROPPED_TIP):
                dropped_tip[0] = True
            if copied[0] is None and owner.poll() is not None:
                copied[0] = time.monotonic()
            # Done once the copy is over (velmora active again with the focus in its send box)
            # and alice's message shows translated.
            return (copied[0] is not None and shown in self.tree.result_text()
                    and self.main_active() and self.tree.send_box_focused())

        try:
            wait_for(translated, COPY_WAIT, "alice's message translated in velmora's result box, "
                     "with the focus back in its send box")
            took = time.monotonic() - idle_from
            self.timings.append(("idle send box to the history copy",
                                 copied[0] - idle_from))
            self.timings.append(("idle send box to alice's message shown translated", took))
            log(f"alice's message shown translated {took:.2f}s after the send box went idle")
        except Failed as e:
            self.fail(f"{e}; velmora took the clipboard for a history copy: "
                      f"{copied[0] is not None}, tip {self.tree.tip()!r}, countdown "
                      f"{self.tree.countdown()!r}, velmora active {self.main_active()}, send box "
                      f"focused {self.tree.send_box_focused()}, result box "
                      f"{self.tree.result_text()[-300:]!r}")
        if self.tree.result_text().count(shown) > 1:
            self.fail(f"alice's message shown more than once: {self.tree.result_text()[-400:]!r}")
        if dropped_tip[0]:
            self.fail("velmora dropped a copy as the input box's text: the drag copied the draft")
        log(f"clipboard after the idle wait: {self.clipboard()!r}")
        if self.hx.input_text() != DRAFT:
            self.fail(f"the draft in HexChat's input box changed: {self.hx.input_text()!r}")
        if draft_shown[0] or DRAFT in self.tree.result_text():
            self.fail(f"the draft {DRAFT!r} from HexChat's input box appeared in velmora's "
                      f"result box: {self.tree.result_text()[-300:]!r}")
        self.release_clipboard()

    def go(self):
        self.check_desktop()
        self.start_hexchat()
        self.start_velmora("HexChat", min(self.history_rect[0], self.input_rect[0]))
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
        self.save_transcript(received)

    def save_transcript(self, received):
        def write(f):
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
        self.save(self.hx.window_id, write)

    def keep_chat_logs(self):
        if self.hx is not None:
            self.keep_logs((os.path.join(self.hx.workdir, "hexchat.log"),
                            os.path.join(self.hx.workdir, "ngircd.log"), self.hx.log_path()),
                           prefix="hexchat-")

    def close(self):
        super().close()
        if self.hx is not None:
            for e in self.hx.stop():
                self.fail(f"stopping HexChat: {e}")

    def wrap_up(self):
        try:
            wait_for(lambda: not leftovers(self.mark), 5, "every process of this run ending")
        except Failed:
            left = leftovers(self.mark)
            self.fail(f"processes left running: {left}")
            for pid, _ in left:
                try:
                    os.kill(pid, signal.SIGKILL)
                except ProcessLookupError:
                    pass
        for what, took in self.timings:
            log(f"timing: {what}: {took:.2f}s")
        log(f"total {time.monotonic() - T0:.1f}s")


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
    mark = uuid.uuid4().hex

    def make_run(args):
        os.environ[RUN_MARK] = mark  # inherited by everything started below
        return HexChatRun(args, mark)

    return velmora_session.main(make_run, __doc__, "chat_hexchat")


if __name__ == "__main__":
    sys.exit(main())
