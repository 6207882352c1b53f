"""What a desk whose desktop lists its windows (KWin, GNOME Shell) does alike, and the one wait
every desk uses.

A subclass reads the desktop's list in _listed(): one dict per window with the desktop's own
id, the pid, the title (name), the frame's place and size (x, y, width, height), whether it
is minimised and whether it has the focus. Windows are then named by small handles of the
desk's own, in the order first seen."""

import re
import time


def wait_for(cond, seconds, step=0.05):
    end = time.monotonic() + seconds
    while time.monotonic() < end:
        v = cond()
        if v:
            return v
        time.sleep(step)
    return cond()


class ListedDesk:
    label = "the desktop"  # how failures name it
    # Where a window's content starts inside its frame.
    content_offset = (0, 0)

    def __init__(self):
        self.handles = {}  # the desktop's window ids to the desk's small handles

    def views(self):
        found = self._listed()
        for v in found:
            v["own_id"] = v["id"]
            v["id"] = self.handles.setdefault(v["own_id"], len(self.handles) + 1)
        return found

    def view(self, handle):
        return next((v for v in self.views() if v["id"] == handle), None)

    def _own_id(self, handle):
        return next(u for u, h in self.handles.items() if h == handle)

    def find_window(self, title_re):
        for v in self.views():
            if not v["minimized"] and v["name"] and re.search(title_re, v["name"]):
                return v["id"]
        return None

    def chat_window(self, pid, geo):
        v = next((v for v in self.views() if v["pid"] == pid and v["name"]), None)
        if not v:
            raise RuntimeError(f"{self.label} shows no window of the chat program (pid {pid})")
        return v["id"]

    def chat_controls(self, chat, geo):
        """As on sway: imsim reports its controls within its window's content."""
        x0, y0 = self.window_origin(chat)
        out = dict(geo)
        for name in ("input", "history", "send"):
            x, y, w, h, wid = geo[name]
            out[name] = (x0 + x, y0 + y, w, h, wid)
        return out

    def placed(self, geo):
        return True  # the driver waits for the same places in two reads

    def window_origin(self, handle):
        v = self.view(handle)
        if not v:
            raise RuntimeError(f"{self.label} has no window {handle}")
        return round(v["x"]) + self.content_offset[0], round(v["y"]) + self.content_offset[1]

    def window_rect(self, handle):
        v = self.view(handle)
        return round(v["x"]), round(v["y"]), round(v["width"]), round(v["height"])

    def active_window(self):
        return next((v["id"] for v in self.views() if v["focused"]), None)

    def is_minimised(self, handle):
        v = self.view(handle)
        return bool(v and v["minimized"])
