"""A scripted IRC user ("alice") that talks to one other nick over a plain socket.

Only the standard library: the tests must run on a bare Debian machine.
"""

import socket
import threading
import time


class IrcError(RuntimeError):
    pass


def _parse(line):
    """Split an IRC line into (prefix nick, command, params)."""
    prefix = ""
    if line.startswith(":"):
        prefix, _, line = line[1:].partition(" ")
    trailing = None
    if " :" in line:
        line, _, trailing = line.partition(" :")
    params = line.split()
    command = params.pop(0).upper() if params else ""
    if trailing is not None:
        params.append(trailing)
    return prefix.split("!", 1)[0], command, params


class IrcPeer:
    """Connects as `nick`, answers PINGs, and records the PRIVMSG bodies that `partner` sends."""

    def __init__(self, host, port, nick="alice", partner="velmora", timeout=10.0):
        self.nick = nick
        self.partner = partner
        self._received = []
        self._ison = None
        self._cond = threading.Condition()
        self._closed = False
        self._error = None
        self._sock = socket.create_connection((host, port), timeout=timeout)
        self._sock.settimeout(None)
        self._wlock = threading.Lock()
        self._registered = False
        self._send("NICK " + nick)
        self._send("USER %s 0 * :%s" % (nick, nick.capitalize()))
        self._reader = threading.Thread(target=self._read_loop, name="irc-peer-" + nick, daemon=True)
        self._reader.start()
        self._wait(lambda: self._registered, timeout, "the IRC server to accept %r (001 welcome)" % nick)

    # --- wire ---

    def _send(self, line):
        if "\r" in line or "\n" in line:
            raise ValueError("IRC lines cannot hold line breaks: %r" % line)
        with self._wlock:
            self._sock.sendall(line.encode("utf-8") + b"\r\n")

    def _read_loop(self):
        buf = b""
        try:
            while True:
                chunk = self._sock.recv(4096)
                if not chunk:
                    break
                buf += chunk
                while b"\n" in buf:
                    raw, buf = buf.split(b"\n", 1)
                    self._handle(raw.rstrip(b"\r").decode("utf-8", "replace"))
        except OSError as e:
            if not self._closed:
                self._error = e
        finally:
            with self._cond:
                self._closed = True
                self._cond.notify_all()

    def _handle(self, line):
        sender, command, params = _parse(line)
        if command == "PING":
            self._send("PONG :" + (params[-1] if params else ""))
            return
        with self._cond:
            if command == "001":
                self._registered = True
            elif command in ("433", "432"):
                self._error = IrcError("the server refused nick %r: %s" % (self.nick, line))
            elif command == "303":
                self._ison = params[-1].split() if params else []
            elif command == "PRIVMSG" and len(params) >= 2 and params[0].lower() == self.nick.lower():
                body = params[1]
                # CTCP (e.g. ACTION, VERSION) is not a chat message body.
                if sender.lower() == self.partner.lower() and not body.startswith("\x01"):
                    self._received.append(body)
            self._cond.notify_all()

    def _wait(self, pred, timeout, what):
        deadline = time.monotonic() + timeout
        with self._cond:
            while not pred():
                if self._error is not None:
                    raise IrcError("while waiting for %s: %s" % (what, self._error))
                left = deadline - time.monotonic()
                if self._closed or left <= 0:
                    why = "connection closed" if self._closed else "timed out after %.1f s" % timeout
                    raise IrcError("%s: %s did not happen" % (why, what))
                self._cond.wait(left)

    # --- API ---

    def say(self, text):
        """Send one private message to the partner."""
        self._send("PRIVMSG %s :%s" % (self.partner, text))

    def received(self):
        """Bodies of the private messages received from the partner, in order."""
        with self._cond:
            return list(self._received)

    def wait_received(self, count, timeout=10.0):
        """Wait until at least `count` messages came from the partner; return them all."""
        self._wait(lambda: len(self._received) >= count, timeout,
                   "%d message(s) from %s to reach %s" % (count, self.partner, self.nick))
        return self.received()

    def partner_online(self, timeout=5.0):
        """Ask the server (ISON) whether the partner is connected."""
        with self._cond:
            self._ison = None
        self._send("ISON " + self.partner)
        self._wait(lambda: self._ison is not None, timeout, "the ISON reply about " + self.partner)
        with self._cond:
            return any(n.lower() == self.partner.lower() for n in self._ison)

    def wait_partner_online(self, timeout=20.0):
        deadline = time.monotonic() + timeout
        while not self.partner_online(timeout=max(0.5, deadline - time.monotonic())):
            if time.monotonic() >= deadline:
                raise IrcError("%s did not come online on the IRC server within %.0f s" % (self.partner, timeout))
            time.sleep(0.1)

    def close(self):
        if self._closed and self._sock.fileno() < 0:
            return
        try:
            self._send("QUIT :bye")
        except OSError:
            pass
        self._closed = True
        try:
            self._sock.shutdown(socket.SHUT_RDWR)
        except OSError:
            pass
        self._sock.close()
        self._reader.join(timeout=5)
