#!/usr/bin/env python3
"""Memory and CPU of the running program with everything it started, the web engine's helper
processes included, next to the same program with its web panes switched off.

Starts the vendor server stand-in (the ad pages), imsim (a chat window to capture from) and
velmora on the current X display, then measures the whole process tree of velmora (the sum of
VmRSS over the process and all its descendants; CPU as utime + stime of the tree, reaped
children included, over a window) in three states, the way a user runs it:

  shown     the main window shown, both panes loaded, nothing going on
  tray      closed into the tray, measured after it has been there --tray-wait seconds
  capture   shown again from the tray icon, the chat history picked as the return area and the
            focus in the input box: the monitor counts down and copies the history again and
            again

The same is done with VELMORA_NO_PANES=1 (the panes are not created), and the figures are
printed side by side with their ratios, and checked against the goals.

Usage (a desktop with a tray must be running, e.g.
`source scripts/desktop.sh; velmora_start_desktop`):
    python3 bench/program/footprint.py --build build [--program PATH] [--panes-only]
"""

import argparse
import os
import re
import subprocess
import sys
import time
import urllib.request

sys.path.insert(0, os.path.join(os.path.dirname(__file__), "..", "..", "tests", "e2e", "conversation"))
import drive  # noqa: E402  (the e2e driver's helpers: program start-up, picking, clicking)

TICKS = os.sysconf("SC_CLK_TCK")
GOALS = {  # state: (RSS MB at most, CPU % of a core below)
    "tray": (150, 0.1),
    "shown": (None, 1.0),
    "capture": (None, 1.5),
}


def read_stat(pid):
    try:
        with open(f"/proc/{pid}/stat") as f:
            rest = f.read().rsplit(")", 1)[1].split()
    except OSError:
        return None
    # rest[0] is field 3 (state); ppid is field 4, utime..cstime are fields 14..17.
    return int(rest[1]), sum(int(v) for v in rest[11:15])


def tree(root):
    """The pids of root and all its descendants."""
    children = {}
    for name in os.listdir("/proc"):
        if name.isdigit():
            st = read_stat(name)
            if st:
                children.setdefault(st[0], []).append(int(name))
    out, todo = [], [root]
    while todo:
        pid = todo.pop()
        out.append(pid)
        todo.extend(children.get(pid, []))
    return out


def tree_cpu_seconds(root):
    # A child's own times plus what its reaped children left in cutime/cstime: a helper that
    # ends during the window still counts up to its end, and nothing counts twice.
    return sum((read_stat(p) or (0, 0))[1] for p in tree(root)) / TICKS


def rss_mb(pid):
    try:
        with open(f"/proc/{pid}/status") as f:
            for line in f:
                if line.startswith("VmRSS:"):
                    return int(line.split()[1]) / 1024
    except OSError:
        pass
    return 0.0


def engine_processes(root):
    n = 0
    for p in tree(root):
        try:
            with open(f"/proc/{p}/cmdline", "rb") as f:
                n += b"QtWebEngineProcess" in f.read().split(b"\0")[0]
        except OSError:
            pass
    return n


def measure(root, seconds):
    c0, t0 = tree_cpu_seconds(root), time.monotonic()
    time.sleep(seconds)
    cpu = (tree_cpu_seconds(root) - c0) / (time.monotonic() - t0)
    pids = tree(root)
    return {"rss": sum(rss_mb(p) for p in pids), "cpu": cpu * 100,
            "engine": engine_processes(root)}


def tray_icon_window(program):
    # The icon's window is named after the program and carries its class.
    name = re.escape(os.path.basename(program))
    m = re.search(rf'^\s*(0x[0-9a-f]+) "{name}": \("{name}" "{name}"\)',
                  drive.sh("xwininfo", "-root", "-tree"), re.M)
    return m.group(1) if m else None


def page_requests(base):
    with urllib.request.urlopen(base + "/_requests", timeout=5) as r:
        lines = r.read().decode().splitlines()
    return sum(line.startswith("GET /ad") for line in lines)


def run_once(args, panes):
    class A:
        pass

    a = A()
    a.build, a.out = args.build, f"/tmp/velmora-footprint-{'panes' if panes else 'nopanes'}"
    run = drive.Run(a)
    try:
        _, line = run.start("vendor-server",
                            [f"{run.build}/tools/vendor-server/vendor-server", "--port", "0"],
                            first_line=True)
        vendor = line.split()[-1]
        sock = os.path.join(run.tmp, "imsim.sock")
        run.start("imsim", [f"{run.build}/tools/imsim/imsim", "--control", sock,
                            "--geometry", "430x560+820+60"])
        im = drive.Imsim(sock)
        geo = drive.eventually(lambda: drive.Run.try_geometry(im), 10)
        env = dict(os.environ)
        env["VELMORA_TRANSLATE_URL"] = "http://127.0.0.1:9/translate_t"
        env["VELMORA_UPDATE_URL"] = vendor
        env["VELMORA_PAGE_BASE"] = vendor.replace("http://", "")
        env["XDG_CONFIG_HOME"] = os.path.join(run.tmp, "config")
        env.pop("VELMORA_NO_PANES", None)
        if not panes:
            env["VELMORA_NO_PANES"] = "1"
        program = args.program or f"{run.build}/src/app/velmora"
        velmora, _ = run.start("velmora", [program], env=env)
        run.origin = run.main_window_origin()
        drive.sh("xdotool", "windowmove", str(run.main_wid), "40", "40")
        time.sleep(0.5)
        run.origin = drive.window_origin(run.main_wid)[:2]
        if panes and not drive.eventually(lambda: page_requests(vendor) >= 2, 20):
            raise RuntimeError("the panes never asked for their pages")
        time.sleep(args.settle)
        figures = {"shown": measure(velmora.pid, args.seconds)}

        drive.sh("xdotool", "windowactivate", "--sync", str(run.main_wid), "key",
                 "--clearmodifiers", "alt+F4")
        if not drive.eventually(lambda: not drive.sh("xdotool", "search", "--onlyvisible",
                                                     "--name", "^Quillet2009"), 10):
            raise RuntimeError("closing did not hide the window into the tray")
        time.sleep(args.tray_wait)
        figures["tray"] = measure(velmora.pid, args.tray_seconds)

        before = page_requests(vendor)
        icon = drive.eventually(lambda: tray_icon_window(program), 10)
        if not icon:
            raise RuntimeError("no tray icon")
        drive.sh("xdotool", "mousemove", "--window", icon, "8", "8", "click", "1")
        run.origin = run.main_window_origin()
        if panes:
            drive.eventually(lambda: page_requests(vendor) - before >= 2, 15)
        figures["reloaded"] = page_requests(vendor) - before
        if not args.no_capture:
            run.pick(163, geo["history"])
            run.focus_send_box()
            time.sleep(2)
            figures["capture"] = measure(velmora.pid, args.capture_seconds)
        return figures
    finally:
        run.stop()


def main():
    ap = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawTextHelpFormatter)
    ap.add_argument("--build", required=True)
    ap.add_argument("--program", help="the velmora binary (default: BUILD/src/app/velmora)")
    ap.add_argument("--seconds", type=float, default=10, help="CPU window of shown")
    # One clock tick in 10 s is 0.1 % already: the tray's window is longer.
    ap.add_argument("--tray-seconds", type=float, default=30, help="CPU window of tray")
    ap.add_argument("--capture-seconds", type=float, default=20, help="CPU window of capture")
    ap.add_argument("--tray-wait", type=float, default=10, help="time in the tray before measuring")
    ap.add_argument("--settle", type=float, default=5, help="wait after the pages were asked for")
    ap.add_argument("--no-capture", action="store_true", help="leave the capture state out")
    ap.add_argument("--panes-only", action="store_true", help="leave the run without panes out")
    args = ap.parse_args()

    with_panes = run_once(args, True)
    without = None if args.panes_only else run_once(args, False)

    states = [s for s in ("shown", "tray", "capture") if s in with_panes]
    print(f"program: {args.program or os.path.join(args.build, 'src/app/velmora')}")
    print(f"{'state':8} {'':6} {'panes':>10} {'no panes':>10} {'ratio':>7}  goal")
    met = True
    for s in states:
        for key, unit in (("rss", "MB"), ("cpu", "%")):
            v = with_panes[s][key]
            b = without[s][key] if without and s in without else None
            goal = GOALS[s][0 if key == "rss" else 1]
            ok = goal is None or (v <= goal if key == "rss" else v < goal)
            met &= ok
            bs = f"{b:10.3f}" if b is not None else f"{'-':>10}"
            ratio = f"{v / b:7.2f}" if b else f"{'-':>7}"
            gs = "" if goal is None else f"{'<=' if key == 'rss' else '<'} {goal} {unit}: " + (
                "met" if ok else "NOT met")
            print(f"{s:8} {key + ' ' + unit:6} {v:10.3f} {bs} {ratio}  {gs}")
        print(f"{'':8} web engine processes: {with_panes[s]['engine']}")
    print(f"pages asked for again when shown from the tray: {with_panes['reloaded']}")
    print("all goals " + ("met" if met else "NOT met"))
    return 0


if __name__ == "__main__":
    sys.exit(main())
