#!/usr/bin/env python3
"""Checks a Wayland desk alone (sway, KWin or GNOME), with two imsim chat windows and no
velmora: its clicks land on the controls imsim reports, its keys and pastes arrive, it sees which
window has the focus, its clipboard reads what a client copied and its screenshots have the
window's size.

The second window lies right of the screen's middle (sway tiles the two side by side; on KWin
and GNOME the desk moves them there), so its controls lie right of the screen's edge by more
than its own width's half: a window-relative place taken for a screen place misses them. On
KWin and GNOME the desk also minimises a window and brings it back.
"""

import argparse
import os
import struct
import sys
import time

from drive import Imsim, Run, eventually, log


class Check:
    def __init__(self):
        self.failures = 0

    def expect(self, what, got, expected):
        if got == expected:
            log(f"ok: {what}")
        else:
            log(f"FAIL: {what}: got {got!r}, expected {expected!r}")
            self.failures += 1


def png_size(path):
    with open(path, "rb") as f:
        head = f.read(24)
    if head[:8] != b"\x89PNG\r\n\x1a\n":
        return None
    return struct.unpack(">II", head[16:24])


def centre(rect):
    x, y, w, h, _ = rect
    return x + w // 2, y + h // 2


def start_chat(run, desk, peer):
    sock = os.path.join(run.tmp, f"{peer}.sock")
    proc, _ = run.start(f"imsim-{peer}",
                        [f"{run.build}/tools/imsim/imsim", "--control", sock, "--me", "Wang",
                         "--peer", peer, "--send-key", "button"],
                        env=desk.client_env(dict(os.environ)))
    if not eventually(lambda: os.path.exists(sock), 10):
        raise RuntimeError(f"imsim for {peer} did not open its control socket")
    return proc, Imsim(sock)


def settled_controls(desk, proc, im, others):
    """The controls' screen places once sway has placed the window: the same in three reads,
    and every window there is tiled (a window's place changes when the next one maps)."""
    last = {"g": None, "same": 0}

    def read():
        g = Run.try_geometry(im)
        try:
            chat = desk.chat_window(proc.pid, g) if g else None
            g = (chat, desk.chat_controls(chat, g)) if chat else None
        except RuntimeError:
            g = None
        last["same"] = last["same"] + 1 if g and g == last["g"] else 0
        last["g"] = g
        return g if last["same"] >= 2 and len(desk.views()) == others + 1 else None

    got = eventually(read, 20, 0.2)
    if not got:
        raise RuntimeError(f"the chat window never settled: {last['g']}")
    return got


def go(run, check):
    desk = run.desk
    desk.start(run)
    alice_proc, alice = start_chat(run, desk, "Alice")
    settled_controls(desk, alice_proc, alice, 0)
    carol_proc, carol = start_chat(run, desk, "Carol")
    carol_win, carol_geo = settled_controls(desk, carol_proc, carol, 1)
    alice_win, alice_geo = settled_controls(desk, alice_proc, alice, 1)
    if desk.name in ("kwin", "gnome"):
        # KWin and GNOME put new windows in the middle: the desk lays them out as a user would.
        top = getattr(desk, "top_bar", 0)
        desk.move_window(alice_win, 20, 60 + top)
        desk.move_window(carol_win, 700, 60 + top)
        carol_win, carol_geo = settled_controls(desk, carol_proc, carol, 1)
        alice_win, alice_geo = settled_controls(desk, alice_proc, alice, 1)
    log(f"Alice {alice_win} {alice_geo}, Carol {carol_win} {carol_geo}")
    check.expect("the windows tile side by side", carol_geo["input"][0] > 640, True)

    # Clicks land where imsim's reports and sway's tree put the controls: the history takes
    # the focus from the input box, so typing there changes nothing; then the input box.
    for win, geo, im in ((alice_win, alice_geo, alice), (carol_win, carol_geo, carol)):
        desk.click(*centre(geo["history"]))
        time.sleep(0.3)
        desk.keys("x")
        check.expect(f"window {win} has the focus after a click", desk.active_window(), win)
        desk.click(*centre(geo["input"]))
        time.sleep(0.3)
        # Ctrl+A with a modifier: "hi " is replaced.
        desk.keys("h", "i", "space", "ctrl+a", "o", "k")
        check.expect(f"keys typed into window {win}'s input box",
                     eventually(lambda im=im: im.request("input") == "ok" and "ok", 5), "ok")

    # Focus by the window's handle, a paste into the focused one and a click on Send.
    desk.activate(alice_win)
    check.expect("the activated window is the active one", desk.active_window(), alice_win)
    desk.keys("ctrl+a")
    desk.paste("你好，朋友")
    check.expect("a paste replaced the input box's text",
                 eventually(lambda: alice.request("input") == "你好，朋友" and "pasted", 5),
                 "pasted")
    desk.click(*centre(alice_geo["send"]))
    check.expect("the Send button was clicked", eventually(lambda: alice.sent(), 5), ["你好，朋友"])
    check.expect("the other window sent nothing", carol.sent(), [])

    # What a client copies is what the desk's clipboard reads.
    desk.click(*centre(carol_geo["input"]))
    desk.keys("ctrl+a", "ctrl+c")
    check.expect("the clipboard holds what the chat window copied",
                 eventually(lambda: desk.clipboard() == "ok" and "ok", 5), "ok")

    if desk.can_minimise:
        desk.minimise(carol_win)
        check.expect("a minimised window is seen so",
                     bool(eventually(lambda: desk.is_minimised(carol_win), 5)), True)
        desk.activate(carol_win)
        check.expect("an activated minimised window is back and active",
                     (desk.is_minimised(carol_win), desk.active_window()), (False, carol_win))

    if desk.name == "kwin":
        return  # no screenshots there
    path = os.path.join(run.out, "carol.png")
    desk.screenshot_window(carol_win, path)
    check.expect("the screenshot has the window's size", png_size(path),
                 tuple(desk.window_rect(carol_win)[2:]))
    desk.screenshot_screen(os.path.join(run.out, "screen.png"))
    check.expect("the screen shot has the screen's size",
                 png_size(os.path.join(run.out, "screen.png")), (desk.width, desk.height))


def main():
    ap = argparse.ArgumentParser(description=__doc__)
    ap.add_argument("--build", required=True)
    ap.add_argument("--out", required=True)
    ap.add_argument("--desk", choices=("sway", "kwin", "gnome"), default="sway")
    args = ap.parse_args()
    run = Run(args)
    check = Check()
    try:
        go(run, check)
    except Exception as e:  # noqa: BLE001 - any failure ends the run with a message
        log(f"FAIL: {e}")
        check.failures += 1
    finally:
        run.stop()
    print(f"{args.desk} desk: {'0 failed' if not check.failures else f'{check.failures} failed'}")
    return 0 if not check.failures else 1


if __name__ == "__main__":
    sys.exit(main())
