#!/usr/bin/env python3
"""Long fuzzing campaign: runs every fuzz target in slices until each has spent the goal in CPU
time, keeping a growing corpus in build-fuzz/campaign/ and a ledger (CPU seconds, executions,
edges, findings) in fuzz/campaign-ledger.json, which is committed: a campaign stops and resumes,
across machines too. --merge adds to fuzz/corpus/ the campaign's inputs that reach new edges.
Run scripts/fuzz.sh once first to build.

usage: scripts/fuzz-campaign.py [--goal SECONDS] [--slice SECONDS] [--jobs N] [--report|--merge]
Ctrl+C (SIGINT to the script) stops every slice and keeps what it spent.
"""
import argparse
import json
import os
import re
import shutil
import signal
import subprocess
import sys
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
BUILD = os.path.join(ROOT, "build-fuzz")
CAMPAIGN = os.path.join(BUILD, "campaign")
LEDGER = os.path.join(ROOT, "fuzz", "campaign-ledger.json")


def targets():
    d = os.path.join(BUILD, "fuzz")
    return sorted(f for f in os.listdir(d) if f.startswith("fuzz_") and os.access(os.path.join(d, f), os.X_OK)
                  and os.path.isfile(os.path.join(d, f)))


def load_ledger():
    if os.path.exists(LEDGER):
        with open(LEDGER) as f:
            return json.load(f)
    return {}


def save_ledger(ledger):
    tmp = LEDGER + ".tmp"
    with open(tmp, "w") as f:
        json.dump(ledger, f, indent=1, sort_keys=True)
    os.replace(tmp, LEDGER)


def start_slice(t, seconds):
    corpus = os.path.join(CAMPAIGN, "corpus", t)
    if not os.path.isdir(corpus):
        os.makedirs(corpus)
        seeds = os.path.join(ROOT, "fuzz", "corpus", t)
        if os.path.isdir(seeds):
            shutil.copytree(seeds, corpus, dirs_exist_ok=True)
    findings = os.path.join(CAMPAIGN, "findings", t)
    os.makedirs(findings, exist_ok=True)
    tmpdir = os.path.join(CAMPAIGN, "tmp", t)
    os.makedirs(tmpdir, exist_ok=True)
    args = [os.path.join(BUILD, "fuzz", t), f"-max_total_time={seconds}", "-timeout=10",
            "-rss_limit_mb=2048", "-print_final_stats=1", f"-artifact_prefix={findings}/"]
    d = os.path.join(ROOT, "fuzz", t + ".dict")
    if os.path.exists(d):
        args.append(f"-dict={d}")
    args.append(corpus)
    log = open(os.path.join(CAMPAIGN, t + ".log"), "w")
    env = dict(os.environ, TMPDIR=tmpdir)
    p = subprocess.Popen(["nice", "-n", "19"] + args, stdout=log, stderr=subprocess.STDOUT, env=env)
    return p, log


INTERRUPTED = 72  # libFuzzer's exit code after SIGINT (its -interrupted_exitcode default)


def record(ledger, t, rc, usage, stopping):
    with open(os.path.join(CAMPAIGN, t + ".log"), errors="replace") as f:
        text = f.read()
    e = ledger.setdefault(t, {"cpu_seconds": 0.0, "executions": 0, "edges": 0, "slices": 0, "findings": []})
    e["cpu_seconds"] += usage.ru_utime + usage.ru_stime
    m = re.findall(r"^stat::number_of_executed_units: *(\d+)", text, re.M)
    if m:
        e["executions"] += int(m[-1])
    cov = re.findall(r"cov: (\d+)", text)
    if cov:
        e["edges"] = max(e["edges"], int(cov[-1]))
    e["slices"] += 1
    # A slice ended because the campaign was stopped is not a finding.
    if rc > 0 and not (stopping and rc == INTERRUPTED):
        kept = os.path.join(CAMPAIGN, f"{t}.finding.{e['slices']}.log")
        shutil.copy(os.path.join(CAMPAIGN, t + ".log"), kept)
        e["findings"].append(kept)
    save_ledger(ledger)


def report(ledger):
    print(f"{'target':24} {'cpu h':>6} {'executions':>13} {'exec/s':>8} {'edges':>6} findings")
    for t in targets():
        e = ledger.get(t)
        if not e:
            print(f"{t:24} {'-':>6}")
            continue
        rate = e["executions"] / e["cpu_seconds"] if e["cpu_seconds"] else 0
        print(f"{t:24} {e['cpu_seconds'] / 3600:6.2f} {e['executions']:13,} {rate:8,.0f} {e['edges']:6} "
              f"{len(e['findings'])}")


def merge():
    for t in targets():
        found = os.path.join(CAMPAIGN, "corpus", t)
        if not os.path.isdir(found):
            continue
        kept = os.path.join(ROOT, "fuzz", "corpus", t)
        os.makedirs(kept, exist_ok=True)
        before = len(os.listdir(kept))
        subprocess.run([os.path.join(BUILD, "fuzz", t), "-merge=1", "-timeout=10", kept, found],
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, check=True)
        print(f"{t:24} {before} -> {len(os.listdir(kept))} inputs")


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--goal", type=float, default=3600)
    ap.add_argument("--slice", type=int, default=600)
    ap.add_argument("--jobs", type=int, default=1)
    ap.add_argument("--report", action="store_true")
    ap.add_argument("--merge", action="store_true")
    a = ap.parse_args()
    os.makedirs(CAMPAIGN, exist_ok=True)
    ledger = load_ledger()
    if a.report:
        report(ledger)
        return 0
    if a.merge:
        merge()
        return 0
    # Started in the background, the script may have inherited an ignored SIGINT: take both.
    def stop(signum, frame):
        raise KeyboardInterrupt

    signal.signal(signal.SIGINT, stop)
    signal.signal(signal.SIGTERM, stop)
    running = {}
    stopping = False
    while True:
        todo = [] if stopping else [t for t in targets() if ledger.get(t, {}).get("cpu_seconds", 0) < a.goal
                                    and t not in running]
        todo.sort(key=lambda t: ledger.get(t, {}).get("cpu_seconds", 0))
        while todo and len(running) < a.jobs:
            t = todo.pop(0)
            running[t] = start_slice(t, a.slice)
        if not running:
            break
        try:
            pid, status, usage = os.wait4(-1, 0)
        except KeyboardInterrupt:
            # Stop every slice; libFuzzer prints its statistics on SIGINT, so the time counts.
            for p, _ in running.values():
                p.send_signal(signal.SIGINT)
            stopping = True
            continue
        for t, (p, log) in list(running.items()):
            if p.pid == pid:
                log.close()
                del running[t]
                record(ledger, t, os.waitstatus_to_exitcode(status), usage, stopping)
                print(time.strftime("%H:%M:%S"), t, "slice done", flush=True)
    report(ledger)
    return 1 if any(e["findings"] for e in ledger.values()) else 0


if __name__ == "__main__":
    sys.exit(main())
