#!/usr/bin/env python3
"""Drives a whole conversation through the real programs on the current X display, or on a
headless sway or KWin of its own (--desk sway, --desk kwin; desk.py holds the user's side).

Starts the vendor server, the chat window stand-in (imsim) with a scripted peer, velmora and
whatever translation service the scenario needs; picks the three targets by real clicks on the
snapshot overlay; sets the two languages; types messages into velmora and sends them; waits for
the peer's replies to come back translated. Saves screenshots and a transcript, and exits 0 only
when the conversation went through both ways.

Scenarios (--scenario):
  glossary  the form endpoint stand-in and its toy glossary; Chinese out, English back.
  offline   nothing configured: the local Apertium programs; English out, Spanish back. The
            expected translations come from running `apertium -u` on the same texts.
  online    LibreTranslate first, DeepL second, both served by engine-standin and configured
            through velmora.conf; LibreTranslate answers 429 for one message, which DeepL
            then translates.
"""

import argparse
import json
import os
import re
import shutil
import signal
import socket
import subprocess
import sys
import tempfile
import time
import urllib.request

from desk import DESKS, X11Desk, sh  # noqa: F401 - sh: the chat programs' drivers use it too
from listed_desk import wait_for

SOURCE_DIR = os.path.abspath(os.path.join(os.path.dirname(__file__), "..", "..", ".."))

def log(msg):
    print(f"[conversation] {msg}", flush=True)


def window_origin(wid):
    """An X window's top-left corner and map state; the chat programs' drivers run on X11."""
    info = sh("xwininfo", "-id", str(wid))
    vals = {}
    for line in info.splitlines():
        key, _, value = line.strip().partition(":")
        vals[key] = value.strip()
    return (int(vals["Absolute upper-left X"]), int(vals["Absolute upper-left Y"]),
            vals.get("Map State", ""))


def click(x, y, button=1):
    X11Desk().click(x, y, button)


def eventually(cond, seconds=10.0, step=0.1):
    return wait_for(cond, seconds, step)


class Imsim:
    """The chat window's control socket."""

    def __init__(self, path):
        self.path = path

    def request(self, line):
        with socket.socket(socket.AF_UNIX) as s:
            s.settimeout(10)
            s.connect(self.path)
            s.sendall((line + "\n").encode())
            data = b""
            while b"\n" not in data:
                chunk = s.recv(65536)
                if not chunk:
                    break
                data += chunk
            head, _, rest = data.partition(b"\n")
            if not head.startswith(b"ok "):
                raise RuntimeError(f"imsim {line!r}: {head.decode()}")
            n = int(head[3:])
            while len(rest) < n:
                chunk = s.recv(65536)
                if not chunk:
                    break
                rest += chunk
            return rest[:n].decode()

    def geometry(self):
        out = {}
        for line in self.request("geometry").splitlines():
            parts = line.split()
            if parts[0] == "window":
                out["window"] = int(parts[1])
            else:
                x, y, w, h, wid = map(int, parts[1:6])
                out[parts[0]] = (x, y, w, h, wid)
        return out

    def sent(self):
        rows = []
        for line in self.request("sent").splitlines():
            if "\t" in line:
                rows.append(line.split("\t", 1)[1])
        return rows


def language_index(desc):
    """The row of a language in velmora's lists: the table's order, first match."""
    path = os.path.join(SOURCE_DIR, "src", "translate", "clsGoogleLanguages.cpp")
    with open(path, encoding="utf-8") as f:
        descs = re.findall(r'addLanguage\("[^"]*",\s*u"([^"]*)"\)', f.read())
    if desc not in descs:
        raise RuntimeError(f"{desc} is not in the language table")
    return descs.index(desc)


def http_json(url, body=None):
    data = None if body is None else json.dumps(body).encode()
    req = urllib.request.Request(url, data=data, headers={"Content-Type": "application/json"})
    with urllib.request.urlopen(req, timeout=10) as r:
        return json.loads(r.read().decode())


class Scenario:
    """What one conversation says and expects. messages: (what we type, what the chat window
    must get); replies: (what the peer answers, its expected translation or None)."""

    my_language = None  # None leaves velmora's first row, 中文(简体)
    other_language = "英语"
    messages = []
    replies = []

    def prepare(self, run, env):
        """Starts the translation service and configures velmora through env."""

    @staticmethod
    def same(got, expected):
        return got == expected

    def before_send(self, i):
        pass

    def after_send(self, i):
        pass

    def check(self, run):
        """Checks beyond the conversation itself, once it is over."""
        return True


class Glossary(Scenario):
    """The form endpoint stand-in: a toy glossary from Chinese to English and back."""

    # What we type, and what the glossary backend makes of it.
    messages = [("你好", "hello"), ("很高兴认识你", "nice to meet you")]
    # The peer's answers (one after each message of ours) and their expected translations.
    replies = [("Hello, are you there?", None), ("Nice to meet you", "很高兴认识你")]

    def prepare(self, run, env):
        _, line = run.start(
            "translate-endpoint",
            [f"{run.build}/tools/translate-endpoint/translate-endpoint", "--port", "0"],
            first_line=True,
        )
        env["VELMORA_TRANSLATE_URL"] = line.split()[-1]

    @staticmethod
    def same(got, expected):
        return got.strip().lower() == expected


def apertium(mode, text):
    try:
        r = subprocess.run(["apertium", "-u", mode], input=text, capture_output=True, text=True,
                           timeout=120)
    except FileNotFoundError:
        raise RuntimeError("apertium is not installed (scripts/deps.sh installs it)") from None
    if r.returncode != 0:
        raise RuntimeError(f"apertium -u {mode}: {r.stderr.strip()}")
    return r.stdout[:-1] if r.stdout.endswith("\n") else r.stdout


class Offline(Scenario):
    """Nothing configured: the installed Apertium pairs translate, with no network."""

    my_language = "英语"
    other_language = "西班牙语"

    def __init__(self):
        # Expected: what the real programs make of the same texts.
        self.messages = [(t, apertium("eng-spa", t))
                         for t in ("Good morning, my friend.", "Where do you live?")]
        self.replies = [(t, apertium("spa-eng", t))
                        for t in ("Hola, ¿estás ahí?", "Vivo en Barcelona con mi familia.")]
        for text, expected in self.messages + self.replies:
            log(f"apertium: {text!r} -> {expected!r}")


class Online(Scenario):
    """LibreTranslate, then DeepL, on one engine-standin; LibreTranslate turns one message down
    with 429, so DeepL translates it, and LibreTranslate is used again once the wait is over."""

    key = "velmora-e2e-key:fx"  # a DeepL free-plan key ends in ":fx"
    retry_after = 1
    # The stand-in answers "[<target code as sent>] " and the text with a few glossary words
    # replaced: LibreTranslate is asked for "en", DeepL for "EN-US".
    messages = [("你好，朋友", "[en] hello，朋友"), ("谢谢你的礼物", "[EN-US] thanks你的礼物"),
                ("再见", "[en] goodbye")]
    limited = 1  # the message LibreTranslate answers 429 for
    limited_word = "谢谢"
    replies = [("hello, are you there?", "[zh] 你好, are you there?"),
               ("thanks for the gift", "[zh] 谢谢 for the gift"),
               ("goodbye, see you soon", "[zh] 再见, see you soon")]

    def __init__(self):
        self.limited_at = None

    def prepare(self, run, env):
        _, line = run.start(
            "engine-standin",
            [f"{run.build}/tools/engine-standin/engine-standin", "--port", "0", "--key", self.key],
            first_line=True,
        )
        if not line.startswith("listening on "):
            raise RuntimeError(f"engine-standin did not start: {line!r}")
        self.base = f"http://127.0.0.1:{line.split()[-1]}"
        self.conf = os.path.join(env["XDG_CONFIG_HOME"], "velmora", "velmora.conf")
        os.makedirs(os.path.dirname(self.conf))
        fd = os.open(self.conf, os.O_WRONLY | os.O_CREAT | os.O_EXCL, 0o600)
        with os.fdopen(fd, "w") as f:
            f.write("[translation]\nengines = libretranslate, deepl\n\n"
                    f"[libretranslate]\nurl = {self.base}/translate\nkey = {self.key}\n\n"
                    f"[deepl]\nurl = {self.base}/v2/translate\nkey = {self.key}\n")
        http_json(f"{self.base}/_control",
                  {"api": "libretranslate", "fault": "429", "count": 1,
                   "match": self.limited_word, "retryAfter": self.retry_after})

    def before_send(self, i):
        # The message after the limited one is for LibreTranslate again: it waits out the
        # Retry-After the stand-in sent.
        if self.limited_at is not None and i > self.limited:
            left = self.limited_at + self.retry_after + 0.5 - time.monotonic()
            if left > 0:
                time.sleep(left)

    def after_send(self, i):
        if i == self.limited:
            self.limited_at = time.monotonic()

    def check(self, run):
        ok = True
        records = http_json(f"{self.base}/_requests")
        with open(os.path.join(run.out, "engine-requests.json"), "w") as f:
            json.dump(records, f, ensure_ascii=False, indent=1)
        asked = []  # (api, text), in the order the stand-in got them
        for r in records:
            body = json.loads(r["body"]) if r["body"] else {}
            if r["path"] == "/translate" and "api-version" not in r["query"]:
                asked.append(("libretranslate", body.get("q")))
            elif r["path"] == "/v2/translate":
                asked.append(("deepl", (body.get("text") or [None])[0]))
        log(f"engine requests: {asked}")
        limited_text = self.messages[self.limited][0]
        libre = [i for i, a in enumerate(asked) if a == ("libretranslate", limited_text)]
        if len(libre) != 1 or asked[libre[0] + 1:libre[0] + 2] != [("deepl", limited_text)]:
            log("FAIL: the limited message was not asked of LibreTranslate once, then of DeepL")
            ok = False
        deepl = [text for api, text in asked if api == "deepl"]
        if deepl != [limited_text]:
            log(f"FAIL: DeepL was asked for {deepl!r}, expected only {limited_text!r}")
            ok = False
        for text, _ in self.messages + self.replies:
            if text != limited_text and ("libretranslate", text) not in asked:
                log(f"FAIL: LibreTranslate was never asked for {text!r}")
                ok = False
        with open(os.path.join(run.out, "velmora.log"), encoding="utf-8", errors="replace") as f:
            complaints = [line.strip() for line in f if self.conf in line]
        if complaints:
            log(f"FAIL: velmora complained about its configuration: {complaints}")
            ok = False
        return ok


SCENARIOS = {"glossary": Glossary, "offline": Offline, "online": Online}


class Run:
    def __init__(self, args):
        self.args = args
        self.build = os.path.abspath(args.build)
        self.out = os.path.abspath(args.out)
        os.makedirs(self.out, exist_ok=True)
        self.tmp = tempfile.mkdtemp(prefix="velmora-e2e-")
        self.procs = []
        self.transcript = []
        # The chat programs' drivers run on X11 and pass no desk.
        self.desk = DESKS[getattr(args, "desk", "x11")]()

    def start(self, name, argv, env=None, first_line=False):
        logf = open(os.path.join(self.out, f"{name}.log"), "w")
        p = subprocess.Popen(
            argv,
            stdout=subprocess.PIPE if first_line else logf,
            stderr=logf,
            env=env,
            text=True,
        )
        self.procs.append(p)
        if first_line:
            line = p.stdout.readline().strip()
            log(f"{name}: {line}")
            return p, line
        return p, None

    def stop(self):
        for p in reversed(self.procs):
            if p.poll() is None:
                p.send_signal(signal.SIGTERM)
        for p in self.procs:
            try:
                p.wait(timeout=5)
            except subprocess.TimeoutExpired:
                p.kill()
        self.desk.stop()
        shutil.rmtree(self.tmp, ignore_errors=True)

    def main_window_origin(self):
        """Waits for velmora's main window; its top-left corner."""
        self.main_wid = eventually(lambda: self.desk.find_window("^Quillet2009"), 15)
        if not self.main_wid:
            raise RuntimeError("the main window did not appear")
        self.origin = self.desk.window_origin(self.main_wid)
        return self.origin

    def overlay_shown(self):
        return self.desk.find_window("^frmSnapShot$")

    def pick(self, icon_x, target_rect, button=1):
        mx, my = self.origin
        self.desk.click(mx + icon_x, my + 624)
        if not eventually(self.overlay_shown, 8):
            raise RuntimeError("the snapshot overlay did not appear")
        time.sleep(0.3)
        x, y, w, h, _ = target_rect
        self.desk.click(x + w // 2, y + h // 2, button)
        if not eventually(lambda: not self.overlay_shown(), 8):
            raise RuntimeError("the snapshot overlay did not close")
        time.sleep(0.3)

    def choose_language(self, x, y, desc):
        """Picks a language in one of the two lists by real input: a click opens it, the keys
        walk down from the first row, where velmora starts both lists."""
        mx, my = self.origin
        self.desk.click(mx + x, my + y)
        time.sleep(0.6)
        self.desk.keys(*(["Down"] * language_index(desc)), "Return")
        time.sleep(0.3)

    def focus_send_box(self):
        mx, my = self.origin
        self.desk.activate(self.main_wid)
        self.desk.click(mx + 170, my + 500)

    def main_active(self):
        return self.desk.active_window() == self.main_wid

    def send(self, text, copies):
        # After 5 s without a key in the send box the monitor copies the chat history, taking
        # the focus for a moment: keys typed then go to the chat window, which the countdown
        # warns of. As a user does, press a key first (it starts the countdown again) and wait
        # out a copy that had already begun, so the paste below lands in the send box.
        for _ in range(3):
            before = copies()
            self.focus_send_box()
            self.desk.keys("shift")
            time.sleep(0.5)
            if copies() == before and self.main_active():
                break
            log("a history copy was under way; waiting for it to end")
            eventually(lambda: copies() > before and self.main_active(), 20, 0.2)
            time.sleep(0.5)
        # Typed through the clipboard: synthetic typing of Han characters would remap the
        # keyboard under the program's feet.
        self.desk.paste(text)
        time.sleep(0.3)
        self.desk.keys("ctrl+Return")

    def result_text(self):
        mx, my = self.origin
        self.desk.activate(self.main_wid)
        self.desk.click(mx + 170, my + 200)
        self.desk.keys("ctrl+a")
        self.desk.keys("ctrl+c")
        time.sleep(0.4)
        text = self.desk.clipboard()
        self.desk.keys("ctrl+End")  # leave nothing selected in the box
        self.focus_send_box()
        return text

    def screenshot(self, handle, name):
        path = os.path.join(self.out, name)
        self.desk.screenshot_window(handle, path)
        log(f"screenshot {path}")

    def go(self):
        a = self.args
        desk = self.desk
        desk.start(self)
        sc = SCENARIOS[a.scenario]()
        env = desk.client_env(dict(os.environ))
        # Only what the scenario configures reaches velmora.
        for name in ("VELMORA_TRANSLATE_URL", "VELMORA_ENGINES"):
            env.pop(name, None)
        env["XDG_CONFIG_HOME"] = os.path.join(self.tmp, "config")
        os.makedirs(env["XDG_CONFIG_HOME"])
        sc.prepare(self, env)
        _, line = self.start(
            "vendor-server",
            [f"{self.build}/tools/vendor-server/vendor-server", "--port", "0"],
            first_line=True,
        )
        vendor_url = line.split()[-1]

        script = os.path.join(self.tmp, "peer.txt")
        with open(script, "w") as f:
            for reply, _ in sc.replies:
                f.write(f"reply\t{reply}\n")
        sock = os.path.join(self.tmp, "imsim.sock")
        imsim_argv = [
            f"{self.build}/tools/imsim/imsim",
            "--control", sock,
            "--geometry", "430x560+820+60",
            "--me", "Wang",
            "--peer", "Alice",
            "--form", str(a.form),
            "--send-key", a.im_send_key,
            "--script", script,
            "--reply-delay", "500",
        ]
        if a.no_indent:
            imsim_argv.append("--no-indent")
        if a.form == 3 and a.said:
            imsim_argv += ["--said", a.said]
        imsim, _ = self.start("imsim", imsim_argv, env=desk.client_env(dict(os.environ)))
        im = Imsim(sock)
        if not eventually(lambda: os.path.exists(sock), 10):
            raise RuntimeError("imsim did not open its control socket")
        # Until the window manager has placed the window, its controls report other places
        # (near the screen's corner, where a pick would land on velmora's own window): wait for
        # the place the desk expects, the same in two reads.
        last = {}
        # Below GNOME's top bar, where it has one.
        top = getattr(desk, "top_bar", 0)
        chat_place = (820, 60 + top)

        def settled():
            g = self.try_geometry(im)
            try:
                if g is not None:
                    chat = desk.chat_window(imsim.pid, g)
                    if desk.name == "gnome" and desk.window_origin(chat) != chat_place:
                        # GNOME puts a new window in the middle, where velmora's would cover
                        # it: the user moves it where it asked to be.
                        desk.move_window(chat, *chat_place)
                    g = (chat, desk.chat_controls(chat, g))
            except RuntimeError:
                g = None
            ok = g is not None and desk.placed(g[1]) and g == last.get("g")
            last["g"] = g
            return g if ok else None

        settled_geo = eventually(settled, 10)
        if not settled_geo:
            raise RuntimeError(f"the chat window never settled at its place: {last.get('g')}")
        chat, geo = settled_geo

        if a.history_route == "keys":
            env["VELMORA_ACCESSIBILITY"] = "off"
        else:
            env.pop("VELMORA_ACCESSIBILITY", None)
        env["VELMORA_UPDATE_URL"] = vendor_url
        env["VELMORA_PAGE_BASE"] = vendor_url.replace("http://", "")
        self.velmora, _ = self.start("velmora", [f"{self.build}/src/app/velmora"], env=env)
        # Where the desktop asks the user to let velmora drive other programs, the user allows it.
        if hasattr(desk, "grant_portal") and not desk.grant_portal():
            raise RuntimeError("the portal's permission dialog never showed")
        self.main_window_origin()
        desk.move_window(self.main_wid, 40, 40 + top)
        time.sleep(0.5)
        self.origin = desk.window_origin(self.main_wid)
        log(f"main window at {self.origin}, chat window {chat}, its controls {geo}")

        # The three targets, by real clicks on the frozen screen.
        self.pick(134, geo["input"])
        self.pick(163, geo["history"], button=3 if a.right_click_pick else 1)
        self.pick(102, geo["send"])

        if a.shortcut_enter:
            # The shortcut dialog opens on "(无)" and "{Enter}"; "完成" makes Enter the send key.
            mx, my = self.origin
            desk.click(mx + 40, my + 624)
            time.sleep(0.6)
            desk.keys("s")
            dlg = eventually(lambda: desk.find_window("设置发送快捷键"), 8)
            if not dlg:
                raise RuntimeError("the send shortcut dialog did not open")
            desk.keys("Tab", "Tab", "space", window=dlg)
            eventually(lambda: not desk.find_window("设置发送快捷键"), 5)

        # The two languages: ours, then the other party's.
        if sc.my_language:
            self.choose_language(288, 429, sc.my_language)
        self.choose_language(100, 422, sc.other_language)

        def copies():
            m = re.search(r"copies (\d+)", im.request("stats"))
            return int(m.group(1)) if m else 0

        ok = True
        for i, (text, expected) in enumerate(sc.messages):
            sc.before_send(i)
            self.send(text, copies)
            got = eventually(lambda: len(im.sent()) > i and im.sent(), 30)
            if not got:
                log(f"FAIL: message {i + 1} never reached the chat window")
                # Where it got stuck: pasted but not sent, sent empty, or never pasted.
                stats = " ".join(im.request("stats").split())
                log(f"chat window: input box {im.request('input')!r}, {stats}")
                ok = False
                break
            sc.after_send(i)
            log(f"sent {text!r} -> chat window got {got[i]!r}")
            # Through the tree the translation goes straight into the chat input box and its
            # Send button's action sends it: the clipboard never holds it. (An input box that
            # sends on Enter has no action in the tree: that send takes the keys.)
            if (a.history_route == "tree" and a.im_send_key == "button" and got[i]
                    and desk.clipboard() == got[i]):
                log("FAIL: the translation went through the clipboard")
                ok = False
            if not sc.same(got[i], expected):
                log(f"FAIL: expected {expected!r}")
                ok = False
            if i == 0 and a.minimize_chat:
                time.sleep(1.5)  # let the peer's first answer arrive before hiding the window
                desk.minimise(chat)
                time.sleep(0.5)
            self.focus_send_box()
            time.sleep(1.5)

        # Stay idle in the input box: the monitor counts down and copies the history. Reading
        # our result box moves the focus, so it is read only after a full capture cycle.
        if not eventually(lambda: all(r in im.request("history") for r, _ in sc.replies), 15):
            log("FAIL: the peer's replies never reached the chat window")
            ok = False
        expected_in = [f"(译文：{t})" for _, t in sc.replies if t]
        self.focus_send_box()
        result = ""

        main_active = self.main_active

        # A capture copies the chat history, shows what is new and then gives the focus back to
        # the main window: only then is the result box worth reading (reading it takes the
        # focus, which restarts the idle countdown).
        deadline = time.monotonic() + a.wait
        seen = copies()
        attempt = 0
        # Read through the accessibility tree, new messages show while the user types, with
        # no copy: the result box is read until they are there.
        while a.history_route == "tree" and time.monotonic() < deadline:
            text = self.result_text()
            if all(t in text for t in expected_in):
                result = text
                break
            time.sleep(1.0)
        while a.history_route == "keys" and time.monotonic() < deadline:
            left = deadline - time.monotonic()
            if not eventually(lambda: copies() > seen and main_active(), left, 0.2):
                log(f"no capture came: history copies {copies()} (was {seen}), active window "
                    f"{desk.active_window()}, main window {self.main_wid}")
                break
            seen = copies()
            text = self.result_text()
            if all(t in text for t in expected_in):
                result = text
                break
            attempt += 1
            log(f"waiting for the capture (read {attempt})")
        self.screenshot(self.main_wid, "main-window.png")
        if a.minimize_chat:
            # A capture may be under way right now (it restores the window while it copies).
            iconic = bool(eventually(lambda: desk.is_minimised(chat), 10))
            log(f"chat window minimised again after the capture: {iconic}")
            ok = ok and iconic
            desk.activate(chat)
            time.sleep(0.5)
        self.screenshot(chat, "chat-window.png")
        desk.screenshot_screen(os.path.join(self.out, "screen.png"))
        final_text = result or self.result_text()
        history = im.request("history")
        with open(os.path.join(self.out, "transcript.txt"), "w") as f:
            f.write("== chat window history ==\n")
            f.write(history.replace("\r\n", "\n"))
            f.write("\n\n== velmora result box ==\n")
            f.write(final_text)
            f.write("\n")
        log(f"transcript {os.path.join(self.out, 'transcript.txt')}")
        if not result:
            log(f"FAIL: the peer's replies did not appear translated; result box:\n{final_text}")
            ok = False
        else:
            log("the peer's replies appeared translated")
        # With indented messages our own speaker name is learned from the first capture, so our
        # own lines are not shown as incoming (without the indent it cannot be learned).
        if not a.no_indent and any(f"{e}(译文：" in final_text for _, e in sc.messages):
            log("FAIL: one of our own messages was shown as an incoming one")
            ok = False
        if a.history_route == "tree" and copies() != 0:
            log(f"FAIL: the chat history was copied {copies()} times; the tree needs no copy")
            ok = False
        if desk.backends:
            # The conversation must have gone through the desktop's own backends, not a fallback.
            with open(os.path.join(self.out, "velmora.log"), encoding="utf-8",
                      errors="replace") as f:
                chose = f"driving other programs through {desk.backends}" in f.read()
            log(f"velmora chose {desk.backends}'s backends: {chose}")
            ok = ok and chose
        if hasattr(desk, "asked_in_vain"):
            # Every focus change of velmora's is its own doing, answered at once: none is late.
            vain = desk.asked_in_vain(self.velmora.pid)
            if vain:
                log(f"FAIL: velmora's windows asked GNOME for the focus in vain {vain} times")
                ok = False
        return sc.check(self) and ok

    @staticmethod
    def try_geometry(im):
        try:
            g = im.geometry()
            return g if "input" in g else None
        except (OSError, RuntimeError):
            return None


def main():
    ap = argparse.ArgumentParser(description=__doc__,
                                 formatter_class=argparse.RawDescriptionHelpFormatter)
    ap.add_argument("--build", required=True)
    ap.add_argument("--desk", default="x11", choices=sorted(DESKS),
                    help="x11: the current X display; sway, kwin, gnome: a headless sway, KWin or "
                         "GNOME Shell of the driver's own")
    ap.add_argument("--scenario", default="glossary", choices=sorted(SCENARIOS),
                    help="which translation service and languages (see above)")
    ap.add_argument("--out", required=True)
    ap.add_argument("--form", type=int, default=1)
    ap.add_argument("--said", default="")
    ap.add_argument("--im-send-key", default="button", choices=["enter", "ctrl-enter", "button"])
    ap.add_argument("--shortcut-enter", action="store_true")
    ap.add_argument("--right-click-pick", action="store_true")
    ap.add_argument("--minimize-chat", action="store_true")
    ap.add_argument("--no-indent", action="store_true")
    ap.add_argument("--history-route", default="keys", choices=["keys", "tree"],
                    help="keys: velmora's accessibility use is off, it copies the history; "
                         "tree: it reads the chat window's accessibility tree")
    ap.add_argument("--wait", type=float, default=40)
    ap.add_argument("--keep", action="store_true", help="leave the programs running at the end")
    args = ap.parse_args()
    if args.minimize_chat and not DESKS[args.desk].can_minimise:
        ap.error(f"--minimize-chat: {args.desk} has no minimised windows")
    run = Run(args)
    try:
        ok = run.go()
    except Exception as e:  # noqa: BLE001 - any failure ends the run with a message
        log(f"FAIL: {e}")
        ok = False
    finally:
        if args.keep and ok:
            log("the programs keep running; close velmora from its tray icon menu")
            for p in run.procs:
                p.wait()
        run.stop()
    print("conversation: " + ("1 passed, 0 failed" if ok else "0 passed, 1 failed"))
    return 0 if ok else 1


if __name__ == "__main__":
    sys.exit(main())
