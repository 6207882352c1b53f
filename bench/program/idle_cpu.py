#!/usr/bin/env python3
"""CPU use of the running program while its incoming monitor counts down and waits.

Starts imsim and velmora on the current X display, picks the chat history as the return area by
real clicks, puts the focus into velmora's input box and then measures velmora's CPU time over a
window (60 s by default) while it counts down and copies the history again and again. As the
baseline, the same measurement is taken of a loop that polls the clock without sleeping, the
way a busy-polling countdown would. Prints both and their ratio.

Usage (a desktop must be running, e.g. `source scripts/desktop.sh; velmora_start_desktop`):
    python3 bench/program/idle_cpu.py --build build [--seconds 60]
"""

import argparse
import os
import subprocess
import sys
import time

sys.path.insert(0, os.path.join(os.path.dirname(__file__), "..", "..", "tests", "e2e", "conversation"))
import drive  # noqa: E402  (the e2e driver's helpers: program start-up, picking, clicking)


def cpu_seconds(pid):
    with open(f"/proc/{pid}/stat") as f:
        fields = f.read().rsplit(")", 1)[1].split()
    ticks = os.sysconf("SC_CLK_TCK")
    return (int(fields[11]) + int(fields[12])) / ticks  # utime + stime


def measure(pid, seconds):
    c0, t0 = cpu_seconds(pid), time.monotonic()
    time.sleep(seconds)
    return (cpu_seconds(pid) - c0) / (time.monotonic() - t0)


BUSY = "import time\nwhile True:\n    time.monotonic()\n"


def main():
    ap = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawTextHelpFormatter)
    ap.add_argument("--build", required=True)
    ap.add_argument("--seconds", type=float, default=60)
    args = ap.parse_args()

    class A:
        pass

    a = A()
    a.build, a.out = args.build, "/tmp/velmora-idle-cpu"
    run = drive.Run(a)
    try:
        sock = os.path.join(run.tmp, "imsim.sock")
        run.start("imsim", [f"{run.build}/tools/imsim/imsim", "--control", sock,
                            "--geometry", "430x560+820+60"])
        im = drive.Imsim(sock)
        geo = drive.eventually(lambda: drive.Run.try_geometry(im), 10)
        env = dict(os.environ)
        env["VELMORA_TRANSLATE_URL"] = "http://127.0.0.1:9/translate_t"
        env["VELMORA_UPDATE_URL"] = "http://127.0.0.1:9"
        env["VELMORA_PAGE_BASE"] = "127.0.0.1:9"
        env["XDG_CONFIG_HOME"] = os.path.join(run.tmp, "config")
        velmora, _ = run.start("velmora", [f"{run.build}/src/app/velmora"], env=env)
        run.origin = run.main_window_origin()
        run.pick(163, geo["history"])
        run.focus_send_box()
        time.sleep(2)
        program = measure(velmora.pid, args.seconds)
        busy = subprocess.Popen([sys.executable, "-c", BUSY])
        try:
            baseline = measure(busy.pid, min(args.seconds, 10))
        finally:
            busy.kill()
            busy.wait()
    finally:
        run.stop()
    print(f"velmora, monitor counting down and copying: {program * 100:.2f} % of one core")
    print(f"busy-polling baseline:                      {baseline * 100:.2f} % of one core")
    print(f"ratio program / baseline:                   {program / baseline:.4f}")
    print("goal: program under 1 % of one core:        " + ("met" if program < 0.01 else "NOT met"))
    return 0


if __name__ == "__main__":
    sys.exit(main())
