#!/usr/bin/python3
"""Self-check of the Pidgin harness: starts its own desktop session on a display between
:160 and :169, Prosody, Pidgin and the scripted contact, and checks what the end-to-end
tests rely on. Exits 0 on success; otherwise prints what failed and exits 1. Run with
Debian's /usr/bin/python3 (pyatspi and slixmpp come from Debian packages).
"""

import datetime
import os
import re
import statistics
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

from pidgin import PEER, PidginChat  # noqa: E402
from pidgin_procs import wait_for  # noqa: E402
from pidgin_session import DesktopSession  # noqa: E402

FIRST = "Hello Velmora, how are you?"
T0 = time.monotonic()


def log(msg):
    print(f"[check_pidgin {time.monotonic() - T0:5.1f}s] {msg}", flush=True)


class CheckFailed(Exception):
    pass


def expect(cond, what):
    if not cond:
        raise CheckFailed(what)


def free_display():
    for n in range(160, 170):
        if not os.path.exists(f"/tmp/.X{n}-lock") and not os.path.exists(f"/tmp/.X11-unix/X{n}"):
            return f":{n}"
    raise CheckFailed("no free X display between :160 and :169")


def near_now(hms, before, after):
    """Whether a (HH:MM:SS) stamp falls between two wall-clock readings (seconds resolution)."""
    h, m, s = map(int, hms)
    for day in (before.date(), after.date()):
        t = datetime.datetime.combine(day, datetime.time(h, m, s))
        if before.replace(microsecond=0) <= t <= after:
            return True
    return False


def run_checks(chat):
    chat.start()
    before = datetime.datetime.now()
    conv = chat.open_conversation(FIRST)
    after = datetime.datetime.now()
    log(f"conversation window 0x{conv.window_id:x} {conv.title!r}: X client area {conv.window}, "
        f"AT-SPI frame {conv.frame}")
    log(f"history {conv.history}, input {conv.input}, Send button {conv.send_button}")
    expect(conv.history.w > 50 and conv.history.h > 50, f"history view too small: {conv.history}")
    expect(conv.history.y + conv.history.h <= conv.input.y,
           f"history {conv.history} is not above the input box {conv.input}")
    expect(conv.input.x + conv.input.w <= conv.send_button.x,
           f"Send button {conv.send_button} is not right of the input box {conv.input}")
    chat.activate_window()
    log(f"window 0x{conv.window_id:x} is the active window")

    history = chat.history_text()
    log(f"history_text() = {history!r}")
    m = re.fullmatch(r"\((\d\d):(\d\d):(\d\d)\) " + re.escape(f"{PEER}: {FIRST}"), history)
    expect(m, f"history is not one '(HH:MM:SS) {PEER}: {FIRST}' line: {history!r}")
    expect(near_now(m.groups(), before, after),
           f"timestamp {m.group(0)[:10]} is not the local time the message was sent "
           f"({before:%H:%M:%S}..{after:%H:%M:%S})")

    timings = []
    for _ in range(20):
        t = time.perf_counter()
        again = chat.history_text()
        timings.append(time.perf_counter() - t)
        expect(again == history, f"history changed between reads: {again!r}")
    log("history_text() read: min %.2f ms, median %.2f ms, max %.2f ms (20 reads, %d chars)"
        % (min(timings) * 1e3, statistics.median(timings) * 1e3, max(timings) * 1e3, len(history)))
    expect(max(timings) < 0.5, f"a history_text() read took {max(timings):.3f}s")

    expect(chat.input_text() == "", f"input box not empty at start: {chat.input_text()!r}")
    chat.set_input_text("draft")
    expect(chat.input_text() == "draft", f"input_text() after set_input_text('draft'): {chat.input_text()!r}")
    expect(chat.peer.received() == [], f"{PEER} received something before any send: {chat.peer.received()}")

    sent = "Fine, thanks! Sent through AT-SPI"
    chat.set_input_text(sent)
    chat.click_send()
    wait_for(lambda: chat.peer.received(), 10, f"{PEER} to receive {sent!r}")
    wait_for(lambda: chat.input_text() == "", 5, "Pidgin to empty its input box after sending")
    own = chat.wait_history_contains(f") {'me'}: {sent}")
    log(f"after send: received {chat.peer.received()}, history_text() = {own!r}")
    expect(chat.peer.received() == [sent], f"{PEER} received {chat.peer.received()}, expected [{sent!r}]")
    expect(re.fullmatch(r"\(\d\d:\d\d:\d\d\) " + re.escape(f"{PEER}: {FIRST}")
                        + r"\n\(\d\d:\d\d:\d\d\) " + re.escape(f"me: {sent}"), own),
           f"history after sending is not two timestamped lines: {own!r}")

    # One TCP stream keeps order, so once this marker is in, a duplicate of the first
    # text would have arrived before it.
    marker = "second"
    chat.set_input_text(marker)
    chat.click_send()
    wait_for(lambda: len(chat.peer.received()) >= 2, 10, f"{PEER} to receive {marker!r}")
    expect(chat.peer.received() == [sent, marker],
           f"{PEER} received {chat.peer.received()}, expected each text exactly once: {[sent, marker]}")
    wait_for(lambda: chat.input_text() == "", 5, "Pidgin to empty its input box after the second send")


def main():
    display = free_display()
    session = DesktopSession(display, log=log)
    chat = None
    failure = None
    try:
        session.start()
        chat = PidginChat(log=log)
        run_checks(chat)
    except Exception as e:
        failure = f"{type(e).__name__}: {e}"
        if chat is not None:
            print(chat.log_tail(), file=sys.stderr)
    finally:
        leftovers = []
        for part in (chat, session):
            if part is None:
                continue
            try:
                part.stop()
            except Exception as e:
                leftovers.append(str(e))
        if os.path.exists(f"/tmp/.X{display[1:]}-lock"):
            leftovers.append(f"/tmp/.X{display[1:]}-lock still exists")
    if leftovers:
        failure = (failure + "; " if failure else "") + "teardown: " + "; ".join(leftovers)
    if failure:
        log(f"FAILED: {failure}")
        return 1
    log("OK: everything stopped")
    return 0


if __name__ == "__main__":
    sys.exit(main())
