"""A scripted XMPP contact, run as a child process and driven over a line protocol.

Parent side: XmppPeer(jid, password, port, buddy, logdir).start(); say(text); received();
online().
Child side (this file as a script) reads one command per line on stdin and answers one
line on stdout; texts travel as JSON so newlines and non-ASCII survive:
  say <json text>   -> ok            (a chat message to the buddy's bare JID)
  received          -> ok <json list> (bodies received from the buddy, in order)
  online            -> ok <json list> (full JIDs of the buddy's available resources)
  quit              -> ok
Before any command it prints "ready" once the session is up, or "error <why>".
"""

import json
import os
import queue
import subprocess
import sys
import threading

from pidgin_procs import FatalError, ProcessGroup, WaitTimeout

HERE = os.path.dirname(os.path.abspath(__file__))


class XmppPeer:
    def __init__(self, jid, password, port, buddy, logdir, log=print):
        self.jid, self.password, self.port, self.buddy = jid, password, port, buddy
        self.logdir = logdir
        self.log = log
        self.procs = ProcessGroup()
        self.proc = None
        self._lines = queue.Queue()
        self._lock = threading.Lock()

    def start(self, timeout=15):
        self.proc = self.procs.spawn(
            ["/usr/bin/python3", os.path.abspath(__file__), self.jid, self.password,
             str(self.port), self.buddy],
            stdin=subprocess.PIPE, stdout=subprocess.PIPE,
            stderr=open(os.path.join(self.logdir, "xmpp_peer.log"), "w"),
            text=True, encoding="utf-8", bufsize=1)
        threading.Thread(target=self._pump, daemon=True).start()
        line = self._next_line(timeout, f"{self.jid} to log in")
        if line != "ready":
            raise RuntimeError(f"xmpp peer {self.jid}: {line}")
        self.log(f"peer {self.jid} logged in")

    def _pump(self):
        for line in self.proc.stdout:
            self._lines.put(line.rstrip("\n"))
        self._lines.put(None)

    def _next_line(self, timeout, what):
        try:
            line = self._lines.get(timeout=timeout)
        except queue.Empty:
            raise WaitTimeout(f"timed out after {timeout:g}s waiting for {what}") from None
        if line is None:
            raise FatalError(f"xmpp peer {self.jid} exited (rc={self.proc.poll()}) "
                               f"while waiting for {what}; see xmpp_peer.log")
        return line

    def _request(self, line, timeout=10):
        with self._lock:
            self.proc.stdin.write(line + "\n")
            self.proc.stdin.flush()
            reply = self._next_line(timeout, f"the peer's answer to {line.split()[0]!r}")
        if reply == "ok":
            return None
        if reply.startswith("ok "):
            return json.loads(reply[3:])
        raise RuntimeError(f"xmpp peer {line.split()[0]!r}: {reply}")

    def say(self, text):
        self._request("say " + json.dumps(text))

    def received(self):
        return self._request("received")

    def online(self):
        return self._request("online")

    def stop(self):
        if self.proc and self.proc.poll() is None:
            try:
                self._request("quit", timeout=5)
                self.proc.wait(timeout=5)
            except Exception:
                pass  # the process group is torn down below either way
        self.procs.stop()


def _child(jid, password, port, buddy):
    import asyncio
    import logging

    import slixmpp

    logging.basicConfig(level=logging.INFO, stream=sys.stderr,
                        format="%(asctime)s %(levelname)s %(name)s %(message)s")
    out_lock = threading.Lock()

    def reply(s):
        with out_lock:
            sys.stdout.write(s + "\n")
            sys.stdout.flush()

    loop = asyncio.new_event_loop()
    asyncio.set_event_loop(loop)
    xmpp = slixmpp.ClientXMPP(jid + "/peer", password)
    bodies = []
    buddy_bare = slixmpp.JID(buddy).bare

    def on_message(msg):
        # Chat-state notifications arrive as bodiless messages; only real texts count.
        if msg["type"] in ("chat", "normal") and msg["from"].bare == buddy_bare and msg["body"]:
            bodies.append(msg["body"])
            logging.info("received %r", msg["body"])

    async def on_start(_):
        await xmpp.get_roster()
        xmpp.send_presence()
        reply("ready")

    def on_fail(*_):
        reply("error authentication failed")

    xmpp.add_event_handler("session_start", on_start)
    xmpp.add_event_handler("message", on_message)
    xmpp.add_event_handler("failed_auth", on_fail)
    xmpp.add_event_handler("connection_failed", lambda e: reply(f"error connection failed: {e}"))

    def handle(line):
        cmd, _, arg = line.partition(" ")
        if cmd == "say":
            text = json.loads(arg)
            xmpp.send_message(mto=buddy_bare, mbody=text, mtype="chat")
            logging.info("said %r", text)
            reply("ok")
        elif cmd == "received":
            reply("ok " + json.dumps(bodies))
        elif cmd == "online":
            res = xmpp.client_roster.presence(buddy_bare)
            avail = [f"{buddy_bare}/{r}" for r, p in res.items() if p.get("show") != "unavailable"]
            reply("ok " + json.dumps(avail))
        elif cmd == "quit":
            xmpp.disconnect()
            reply("ok")
            loop.call_later(0.5, loop.stop)
        else:
            reply(f"error unknown command {cmd!r}")

    def read_stdin():
        for line in sys.stdin:
            loop.call_soon_threadsafe(handle, line.rstrip("\n"))
        loop.call_soon_threadsafe(loop.stop)

    threading.Thread(target=read_stdin, daemon=True).start()
    xmpp.connect(("127.0.0.1", port), force_starttls=False, disable_starttls=True)
    loop.run_forever()


if __name__ == "__main__":
    _child(sys.argv[1], sys.argv[2], int(sys.argv[3]), sys.argv[4])
