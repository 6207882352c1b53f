"""A throwaway Prosody on 127.0.0.1 with its own config, data and port, in a temp dir.

Accounts are registered with prosodyctl against that config; each account's roster is
written straight into the data dir so both sides see each other as subscribed buddies
(the client then shows the roster name instead of a bare JID and nobody gets an
authorisation request).
"""

import os
import socket
import subprocess

from pidgin_procs import FatalError, ProcessGroup, free_port, wait_for

DOMAIN = "localhost"


def _lua_str(s):
    return '"' + s.replace("\\", "\\\\").replace('"', '\\"') + '"'


class Prosody:
    def __init__(self, workdir, accounts, log=print):
        """accounts: {user: password}; every user gets all the others as buddies."""
        self.dir = os.path.join(workdir, "prosody")
        self.accounts = dict(accounts)
        self.port = None
        self.log = log
        self.procs = ProcessGroup()
        self.config = os.path.join(self.dir, "prosody.cfg.lua")
        self.logfile = os.path.join(self.dir, "prosody.log")

    def jid(self, user):
        return f"{user}@{DOMAIN}"

    def _write_config(self):
        data = os.path.join(self.dir, "data")
        certs = os.path.join(self.dir, "certs")
        os.makedirs(data, exist_ok=True)
        os.makedirs(certs, exist_ok=True)
        root = os.geteuid() == 0
        lines = [
            f"pidfile = {_lua_str(os.path.join(self.dir, 'prosody.pid'))}",
            f"data_path = {_lua_str(data)}",
            f"certificates = {_lua_str(certs)}",
            "plugin_paths = {}",
            'interfaces = { "127.0.0.1" }',
            'local_interfaces = { "127.0.0.1" }',
            f"c2s_ports = {{ {self.port} }}",
            'c2s_interfaces = { "127.0.0.1" }',
            # No tls module: the client must not be offered STARTTLS on loopback.
            'modules_enabled = { "roster"; "saslauth"; "disco"; "ping" }',
            'modules_disabled = { "s2s" }',
            "c2s_require_encryption = false",
            "allow_unencrypted_plain_auth = true",
            'authentication = "internal_plain"',
            'storage = "internal"',
            f"log = {{ debug = {_lua_str(self.logfile)} }}",
        ]
        if root:
            # CI runs as root; keep everything owned by the caller instead of the prosody user.
            lines += ["run_as_root = true", 'prosody_user = "root"', 'prosody_group = "root"']
        lines.append(f'VirtualHost "{DOMAIN}"')
        with open(self.config, "w") as f:
            f.write("\n".join(lines) + "\n")

    def _write_rosters(self):
        rdir = os.path.join(self.dir, "data", DOMAIN, "roster")
        os.makedirs(rdir, exist_ok=True)
        for user in self.accounts:
            items = ["\t[false] = { version = 1; pending = {}; };"]
            for other in self.accounts:
                if other != user:
                    items.append(
                        f"\t[{_lua_str(self.jid(other))}] = {{ subscription = \"both\"; "
                        f"groups = {{ [\"Buddies\"] = true; }}; name = {_lua_str(other)}; }};"
                    )
            with open(os.path.join(rdir, f"{user}.dat"), "w") as f:
                f.write("return {\n" + "\n".join(items) + "\n};\n")

    def start(self):
        os.makedirs(self.dir, exist_ok=True)
        self.port = free_port()
        self._write_config()
        for user, password in self.accounts.items():
            r = subprocess.run(
                ["prosodyctl", "--config", self.config, "register", user, DOMAIN, password],
                capture_output=True, text=True, timeout=20)
            if r.returncode != 0:
                raise RuntimeError(f"prosodyctl register {user}: rc={r.returncode} {r.stderr.strip()}")
        self._write_rosters()
        self.proc = self.procs.spawn(
            ["prosody", "--config", self.config, "-F"],
            stdout=open(os.path.join(self.dir, "stdout.log"), "w"), stderr=subprocess.STDOUT)

        def listening():
            if self.proc.poll() is not None:
                raise FatalError(f"prosody exited with {self.proc.returncode}; see {self.logfile}")
            try:
                with socket.create_connection(("127.0.0.1", self.port), timeout=0.5):
                    return True
            except OSError:
                return False

        wait_for(listening, 15, f"prosody listening on 127.0.0.1:{self.port}")
        self.log(f"prosody on 127.0.0.1:{self.port}, accounts {', '.join(map(self.jid, self.accounts))}")

    def stop(self):
        self.procs.stop()
