"""Self-check of the HexChat harness: starts its own X session (display :170-:179), the harness,
and checks receiving, the copied history format, the input box accessors and sending.

Run: /usr/bin/python3 tests/e2e/chat/check_hexchat.py   (exit 0 on success)
"""

import os
import re
import shutil
import signal
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

HELLO = "Hello Velmora, how are you?"
STAMP = r"\[\d\d:\d\d:\d\d\]"


class CheckFailed(AssertionError):
    pass


def check(cond, msg):
    if not cond:
        raise CheckFailed(msg)


def poll(pred, timeout, what):
    deadline = time.monotonic() + timeout
    while not pred():
        if time.monotonic() >= deadline:
            raise CheckFailed("%s did not happen within %.0f s" % (what, timeout))
        time.sleep(0.05)


class Session:
    """Xvfb + session bus + accessibility bus + openbox, as the end-to-end tests set them up."""

    def __init__(self):
        self.procs = []
        self.bus_pid = None
        self.display = None
        self.tmp = tempfile.mkdtemp(prefix="velmora-hexchat-session-")

    def _free_display(self):
        for n in range(170, 180):
            if not os.path.exists("/tmp/.X%d-lock" % n) and not os.path.exists("/tmp/.X11-unix/X%d" % n):
                return n
        raise CheckFailed("no free X display between :170 and :179")

    def _spawn(self, args, name):
        log = open(os.path.join(self.tmp, name + ".log"), "w")
        p = subprocess.Popen(args, stdout=log, stderr=subprocess.STDOUT, stdin=subprocess.DEVNULL,
                             start_new_session=True)
        log.close()
        self.procs.append((name, p))
        return p

    def start(self):
        n = self._free_display()
        self.display = ":%d" % n
        os.environ["DISPLAY"] = self.display
        # The accessibility bus socket goes under XDG_RUNTIME_DIR; keep it in our temp dir.
        runtime = os.path.join(self.tmp, "runtime")
        os.mkdir(runtime, 0o700)
        os.environ["XDG_RUNTIME_DIR"] = runtime
        os.environ["GTK_MODULES"] = "gail:atk-bridge"
        os.environ["QT_ACCESSIBILITY"] = "1"
        os.environ.pop("NO_AT_BRIDGE", None)
        xvfb = self._spawn(["Xvfb", self.display, "-noreset", "-nolisten", "tcp", "-screen", "0", "1280x1024x24"],
                           "xvfb")

        def x_up():
            if xvfb.poll() is not None:
                raise CheckFailed("Xvfb %s exited with %s" % (self.display, xvfb.returncode))
            return subprocess.run(["xdpyinfo"], capture_output=True).returncode == 0
        poll(x_up, 10, "Xvfb answering on " + self.display)
        out = subprocess.run(["dbus-daemon", "--session", "--fork", "--print-address=1", "--print-pid=1"],
                             capture_output=True, text=True, timeout=10, check=True).stdout.split("\n")
        os.environ["DBUS_SESSION_BUS_ADDRESS"] = out[0].strip()
        self.bus_pid = int(out[1])
        self._spawn(["/usr/libexec/at-spi-bus-launcher", "--launch-immediately"], "atspi")
        poll(lambda: subprocess.run(["xprop", "-root", "AT_SPI_BUS"], capture_output=True,
                                    text=True).stdout.count("unix:") == 1,
             10, "the accessibility bus publishing AT_SPI_BUS on the root window")
        self._spawn(["openbox"], "openbox")
        poll(lambda: "_NET_SUPPORTING_WM_CHECK(WINDOW)" in subprocess.run(
            ["xprop", "-root", "_NET_SUPPORTING_WM_CHECK"], capture_output=True, text=True).stdout,
            10, "openbox managing the screen")

    def stop(self):
        for name, p in reversed(self.procs):
            if p.poll() is None:
                try:
                    os.killpg(p.pid, signal.SIGTERM)
                    p.wait(timeout=5)
                except ProcessLookupError:
                    pass
                except subprocess.TimeoutExpired:
                    os.killpg(p.pid, signal.SIGKILL)
                    p.wait(timeout=5)
        if self.bus_pid:
            try:
                os.kill(self.bus_pid, signal.SIGTERM)
            except ProcessLookupError:
                pass
        shutil.rmtree(self.tmp, ignore_errors=True)


def leftovers(display, since):
    """Processes started by this check that still run: they carry our DISPLAY."""
    found = []
    me = os.getpid()
    for pid in os.listdir("/proc"):
        if not pid.isdigit() or int(pid) == me:
            continue
        try:
            with open("/proc/%s/environ" % pid, "rb") as f:
                env = f.read().split(b"\0")
            with open("/proc/%s/cmdline" % pid, "rb") as f:
                cmd = f.read().replace(b"\0", b" ").decode(errors="replace").strip()
            with open("/proc/%s/stat" % pid) as f:
                state = f.read().rsplit(")", 1)[1].split()[0]
        except OSError:
            continue
        if ("DISPLAY=" + display).encode() in env and state != "Z":
            found.append("%s %s" % (pid, cmd))
    return found


def copied_lines(text):
    return text.split("\n") if text else []


def run():
    session = Session()
    hx = None
    try:
        session.start()
        print("session: DISPLAY=%s" % session.display)
        from hexchat import HexChat
        hx = HexChat().start()
        print("HexChat pid %d, ran as uid %d, root warning dismissed: %s"
              % (hx.hexchat.pid, os.geteuid(), hx.dismissed_root_warning))
        print("X window 0x%x, xwininfo %r" % (hx.window_id, hx.xwininfo(hx.window_id)))
        print("history rect %r, input rect %r" % (hx.history_rect(), hx.input_rect()))
        hr, ir = hx.history_rect(), hx.input_rect()
        check(hr[2] > 200 and hr[3] > 100, "history view too small: %r" % (hr,))
        check(ir[1] >= hr[1] + hr[3], "input box %r is not below the history %r" % (ir, hr))

        # alice -> velmora, read back as a user would copy it.
        hx.peer.say(HELLO)
        poll(lambda: HELLO in hx.log_text(), 10, "alice's message reaching HexChat's log")
        log_line = [l for l in hx.log_text().splitlines() if HELLO in l]
        print("log line: %r" % log_line)
        check(len(log_line) == 1 and re.fullmatch(r"\w{3} \d\d \d\d:\d\d:\d\d <alice>\t" + re.escape(HELLO),
                                                    log_line[0]), "unexpected log line %r" % log_line)
        primary, clipboard = hx.drag_select_history()
        print("drag-select, default settings: PRIMARY=%r CLIPBOARD=%r" % (primary, clipboard))
        check("<alice> " + HELLO in copied_lines(primary),
              "PRIMARY after the drag lacks the line %r: %r" % ("<alice> " + HELLO, primary))
        check(clipboard == primary, "autocopy should put the same text in CLIPBOARD: %r" % clipboard)

        ctrl_c = hx.copy_keys("ctrl+c")
        print("Ctrl+C after the drag -> CLIPBOARD %r" % ctrl_c)
        check(ctrl_c is None, "Ctrl+C was expected to copy nothing (focus in the input box), got %r" % ctrl_c)
        ctrl_shift_c = hx.copy_keys("ctrl+shift+c")
        print("Ctrl+Shift+C after the drag -> CLIPBOARD %r" % ctrl_shift_c)
        check(ctrl_shift_c == primary, "Ctrl+Shift+C should copy the selection %r, got %r"
              % (primary, ctrl_shift_c))

        hx.command("/set text_autocopy_stamp 1")
        primary2, _ = hx.drag_select_history()
        print("drag-select, text_autocopy_stamp 1: PRIMARY=%r" % primary2)
        hello2 = [l for l in copied_lines(primary2) if HELLO in l]
        check(len(hello2) == 1 and re.fullmatch(STAMP + " <alice> " + re.escape(HELLO), hello2[0]),
              "stamped copy line has the wrong form: %r" % hello2)
        hx.command("/set text_autocopy_stamp 0")

        # Input box accessors.
        hx.set_input_text("draft")
        check(hx.input_text() == "draft", "input_text() gave %r after set_input_text('draft')" % hx.input_text())

        # velmora -> alice through the activate action, exactly once.
        reply = "Fine, thanks! Und dir?"
        hx.set_input_text(reply)
        hx.send_via_activate()
        got = hx.peer.wait_received(1, timeout=10)
        hx.wait_input_text("", timeout=5)
        # A later message proves nothing else came before it (one ordered TCP stream).
        hx.set_input_text("second")
        hx.send_via_activate()
        got = hx.peer.wait_received(2, timeout=10)
        print("alice received: %r" % got)
        check(got == [reply, "second"], "alice should have received %r once, then 'second'; got %r"
              % (reply, got))
        check(hx.input_text() == "" or hx.wait_input_text("", 5), "input box not emptied after sending")
        primary3, _ = hx.drag_select_history()
        check("<velmora> " + reply in copied_lines(primary3), "own message missing in the copy: %r" % primary3)
        print("own message in copy: %r" % [l for l in copied_lines(primary3) if reply in l])
    finally:
        errors = hx.stop() if hx is not None else []
        session.stop()
        for e in errors:
            print("stop: " + e)
    left = []
    if session.display:
        try:
            poll(lambda: not leftovers(session.display, 0), 5, "all processes of the check ending")
        except CheckFailed:
            left = leftovers(session.display, 0)
    check(not left, "processes left running: %s" % left)
    check(not errors, "unclean stop: %s" % errors)


def main():
    start = time.monotonic()
    try:
        run()
    except Exception as e:
        print("FAIL: %s: %s" % (type(e).__name__, e), file=sys.stderr)
        return 1
    print("OK in %.1f s" % (time.monotonic() - start))
    return 0


if __name__ == "__main__":
    sys.exit(main())
