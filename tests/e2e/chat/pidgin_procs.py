"""Process and waiting helpers shared by the Pidgin/XMPP harness and its self-check."""

import os
import signal
import socket
import subprocess
import time


class WaitTimeout(RuntimeError):
    pass


class FatalError(RuntimeError):
    """Raised inside a wait condition when waiting longer cannot help (a process died)."""


def wait_for(cond, seconds, what, step=0.05):
    """Polls cond() until it returns something truthy; raises naming `what` otherwise."""
    end = time.monotonic() + seconds
    last_error = None
    while True:
        try:
            v = cond()
            if v:
                return v
        except (WaitTimeout, FatalError):
            raise
        except Exception as e:  # the condition may race with a widget being built
            last_error = e
        if time.monotonic() >= end:
            detail = f" (last error: {last_error!r})" if last_error else ""
            raise WaitTimeout(f"timed out after {seconds:g}s waiting for {what}{detail}")
        time.sleep(step)


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def _sessions():
    """{pid: session id} of every live process."""
    out = {}
    for name in os.listdir("/proc"):
        if not name.isdigit():
            continue
        try:
            with open(f"/proc/{name}/stat") as f:
                fields = f.read().rsplit(")", 1)[1].split()
        except (OSError, IndexError):
            continue
        if fields[0] == "Z":
            continue
        out[int(name)] = int(fields[3])
    return out


class ProcessGroup:
    """Children started in sessions of their own, so that stop() also finds whatever they
    forked or had D-Bus activate (those inherit the session id) without matching names."""

    def __init__(self):
        self.procs = []

    def spawn(self, args, **kw):
        kw.setdefault("stdin", subprocess.DEVNULL)
        p = subprocess.Popen(args, start_new_session=True, **kw)
        self.procs.append(p)
        return p

    def pids(self):
        sids = {p.pid for p in self.procs}
        return sorted(pid for pid, sid in _sessions().items() if sid in sids)

    def stop(self, grace=5.0):
        # Newest first: clients go before the servers they talk to.
        for p in reversed(self.procs):
            if p.poll() is None:
                try:
                    p.terminate()
                except ProcessLookupError:
                    pass
        self._reap(grace)
        for pid in self.pids():
            try:
                os.kill(pid, signal.SIGTERM)
            except ProcessLookupError:
                pass
        self._reap(grace)
        for pid in self.pids():
            try:
                os.kill(pid, signal.SIGKILL)
            except ProcessLookupError:
                pass
        self._reap(grace)
        left = self.pids()
        self.procs = []
        if left:
            raise RuntimeError(f"processes still running after stop: {left}")

    def _reap(self, seconds):
        end = time.monotonic() + seconds
        while time.monotonic() < end:
            for p in self.procs:
                p.poll()
            if not self.pids():
                return
            time.sleep(0.05)
