#!/usr/bin/python3
"""A conversation through Pidgin on the current test desktop.

Prosody on loopback, Pidgin logged in as me@localhost and a scripted contact (anna); anna's
first message opens Pidgin's conversation window. velmora (with the glossary translate
endpoint and the vendor server) gets its three targets by real clicks on its snapshot overlay at
the centres of Pidgin's input box, history and Send button. Then:
  1. two messages typed into velmora reach anna translated, each once, in order;
  2. two messages from anna appear translated in velmora's result box, each once, and none
     of our own messages shows up as incoming; so does one that comes while the user is in
     Pidgin's window (velmora inactive, its send box without the focus);
  3. a draft left in Pidgin's input box survives velmora's reading of the history and never
     shows up in the result box.
Prints how long each message took; saves screenshots, logs and a transcript into --out.

Needs the test desktop (DISPLAY, the session bus and the accessibility bus with AT_SPI_BUS on
the root window) and Debian's /usr/bin/python3 (pyatspi, slixmpp).
"""

import os
import re
import sys
import time
from dataclasses import astuple

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
sys.path.insert(0, os.path.join(HERE, "..", "conversation"))

import drive  # noqa: E402
from drive import sh  # noqa: E402
from pidgin import PEER, PidginChat, _extents  # noqa: E402
from pidgin_procs import WaitTimeout, wait_for  # noqa: E402
import velmora_session  # noqa: E402
from velmora_session import Failed  # noqa: E402

T0 = time.monotonic()

OPENING = ("Hello, are you there?", "你好，在吗？")
# What we type, and what the glossary makes of it (Chinese to English).
OUTGOING = [("你好", "hello"), ("很高兴认识你", "nice to meet you")]
# What anna says, and what the glossary makes of it (English to Chinese).
INCOMING = [("Good morning, my friend", "早上好，我的朋友"),
            ("Where is the order?", "哪里是订单？")]
# What anna says while the user is away from velmora, in Pidgin's window.
AWAY = ("Good night, my friend", "晚安，我的朋友")
DRAFT = "unsent draft"
AFTER_DRAFT = ("Thank you, goodbye", "谢谢，再见")
# Where the conversation window goes: clear of velmora's main window at (40, 40).
CHAT_AT = (720, 60)
INCOMING_WAIT = 15  # seconds from anna's message to its translation, at most


def log(msg):
    print(f"[chat_pidgin {time.monotonic() - T0:5.1f}s] {msg}", flush=True)


class PidginRun(velmora_session.VelmoraRun):
    def __init__(self, args):
        super().__init__(args, log, wait_for, WaitTimeout)
        self.chat = None

    # -- Pidgin -------------------------------------------------------------------------

    def place_chat_window(self):
        """Moves the conversation window clear of velmora's and reads its widgets' places anew
        once they have followed the move."""
        chat = self.chat
        self.history_rect, self.input_rect, self.send_rect = self.move_chat_window(
            chat.conversation.window_id, CHAT_AT, "Pidgin",
            lambda: [astuple(_extents(a)) for a in (chat._history, chat._input, chat._send)])
        log(f"Pidgin: history {self.history_rect}, input {self.input_rect}, "
            f"Send {self.send_rect}")

    # -- velmora ------------------------------------------------------------------------

    def send(self, text):
        """Types text into velmora's send box and sends it with Ctrl+Enter."""
        self.wait_send_ready()
        # Typed through the clipboard (synthetic typing of Han characters would remap the
        # keyboard).
        try:
            self.own_clipboard(text)
            self.paste(text)
        finally:
            self.release_clipboard()
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
            self.check_boxes_emptied("Pidgin", self.chat.input_text)

    def incoming(self, text, expected, away=False):
        """anna says text; returns whether its translation appeared in velmora's result box.
        away: the user is in Pidgin's window meanwhile, so velmora has neither the activation
        nor its send box the focus."""
        shown = f"{text}(译文：{expected})"
        if away:
            self.chat.activate_window()
            try:
                wait_for(lambda: not self.main_active(), 5, "Pidgin's window to be active")
            except WaitTimeout as e:
                self.fail(str(e))
                return False
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
        log(f"{PEER} said {text!r}: translated in velmora's result box {took:.2f}s later"
            + (" (the user away in Pidgin)" if away else ""))
        if away:
            self.focus_send_box()
            return True
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
        said = [f"{t}(译文：{e})" for t, e in INCOMING + [AWAY, AFTER_DRAFT]]
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
        self.check_desktop()
        self.chat = PidginChat(log=log)
        self.chat.start()
        conv = self.chat.open_conversation(OPENING[0])
        log(f"conversation window 0x{conv.window_id:x} {conv.title!r}")
        self.place_chat_window()
        self.start_velmora(
            "Pidgin", min(r[0] for r in (self.history_rect, self.input_rect, self.send_rect)))

        # The other party's language first: velmora reads the history as soon as it is picked.
        self.choose_language(100, 422, drive.Glossary.other_language)
        # The chat window on top, as a user would have it while picking.
        self.chat.activate_window()
        self.pick_input_and_history()
        self.pick(102, (*self.send_rect, 0))
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

        log("-- while the user is in Pidgin's window")
        self.incoming(*AWAY, away=True)

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
        self.save_transcript(result, received)

    def save_transcript(self, result, received):
        def write(f):
            f.write("== Pidgin history ==\n" + self.chat.history_text() + "\n\n")
            f.write(f"== Pidgin input box ==\n{self.chat.input_text()}\n\n")
            f.write(f"== received by {PEER} ==\n" + "\n".join(received) + "\n\n")
            f.write("== velmora result box ==\n" + result + "\n\n")
            f.write("== timings ==\n")
            for way, text, took in self.timings:
                f.write(f"{way}\t{took:.3f}s\t{text}\n")
        self.save(self.chat.conversation.window_id, write)

    def keep_chat_logs(self):
        if self.chat is not None:
            self.keep_logs((self.chat.pidgin_log, os.path.join(self.chat.dir, "xmpp_peer.log"),
                            self.chat.server.logfile))

    def on_error(self):
        if self.chat is not None:
            print(self.chat.log_tail(), file=sys.stderr)

    def close(self):
        super().close()
        if self.chat is not None:
            try:
                self.chat.stop()
            except Exception as e:  # noqa: BLE001
                self.fail(str(e))

    def wrap_up(self):
        if self.timings:
            log("timings: " + ", ".join(f"{w} {t!r} {s:.2f}s" for w, t, s in self.timings))


def main():
    return velmora_session.main(PidginRun, __doc__, "chat_pidgin")


if __name__ == "__main__":
    sys.exit(main())
