"""A pointer and a keyboard of the test's own on a wlroots compositor, like a user's devices;
and on KWin, a user's pointer and keyboard through its fake input (FakeInput, at the end).

A headless sway has no input devices, so its seat offers neither a pointer nor a keyboard and
clients bind none: the clicks of `swaymsg seat - cursor press` would reach nobody, and each
`wtype` run would bring a keyboard that clients first have to bind, losing its first keys. This
client creates one virtual pointer and one virtual keyboard and keeps its connection open, so
the seat has both for as long as it lives; it never sends input through them. It speaks the
Wayland wire format itself (a handful of requests), so the driver needs no bindings.
"""

import array
import os
import socket
import struct
import threading
import time

# Object ids: the display is always 1; the compositor wants the client's new ids one after the
# other, in the order of the requests that create them.
(_DISPLAY, _REGISTRY, _SYNC, _SEAT, _POINTER_MANAGER, _KEYBOARD_MANAGER, _POINTER, _KEYBOARD,
 _SYNC_AGAIN) = range(1, 10)
# Opcodes.
_DISPLAY_SYNC, _DISPLAY_GET_REGISTRY = 0, 1
_DISPLAY_ERROR = 0
_REGISTRY_BIND = 0
_REGISTRY_GLOBAL = 0
_CALLBACK_DONE = 0
_MANAGER_CREATE_VIRTUAL_POINTER = 0
_MANAGER_CREATE_VIRTUAL_KEYBOARD = 0
_KEYBOARD_KEYMAP = 0
_KEYMAP_FORMAT_XKB_V1 = 1
# The smallest keymap the compositor accepts: a keyboard whose one key is never pressed.
_KEYMAP = b"""xkb_keymap {
  xkb_keycodes "(unnamed)" { minimum = 8; maximum = 255; <K1> = 9; };
  xkb_types "(unnamed)" { include "complete" };
  xkb_compatibility "(unnamed)" { include "complete" };
  xkb_symbols "(unnamed)" { key <K1> { [ space ] }; };
};
""" + b"\0"  # the compositor reads it as a C string
_MAX_MESSAGE = 4096  # the wire format's own bound on a message


def _string(s):
    data = s.encode() + b"\0"
    return struct.pack("=I", len(data)) + data + b"\0" * (-len(data) % 4)


def _message(obj, opcode, payload=b""):
    return struct.pack("=II", obj, ((8 + len(payload)) << 16) | opcode) + payload


def _socket_path(display, runtime_dir):
    if os.path.isabs(display):
        return display
    if not runtime_dir:
        raise RuntimeError("XDG_RUNTIME_DIR is unset; a relative WAYLAND_DISPLAY needs it")
    return os.path.join(runtime_dir, display)


class _Wire:
    """One client connection speaking the wire format: requests out, events read up to a
    round trip's end, and afterwards read and dropped so the compositor never blocks on us."""

    def _connect(self, display, runtime_dir, timeout):
        self._sock = socket.socket(socket.AF_UNIX, socket.SOCK_STREAM)
        self._sock.settimeout(timeout)
        self._buf = b""
        self._sock.connect(_socket_path(display, runtime_dir))
        self._send(_message(_DISPLAY, _DISPLAY_GET_REGISTRY, struct.pack("=I", _REGISTRY)))

    def _keep_reading(self):
        # The compositor may still send events (a seat's name, capabilities); reading them
        # keeps its buffer for this client from filling up.
        self._sock.settimeout(None)
        self._drain = threading.Thread(target=self._discard, daemon=True)
        self._drain.start()

    def close(self):
        try:
            self._sock.shutdown(socket.SHUT_RDWR)
        except OSError:
            pass
        self._sock.close()
        if hasattr(self, "_drain"):
            self._drain.join(timeout=2)

    def _send(self, data):
        self._sock.sendall(data)

    def _bind(self, name, interface, version, new_id):
        self._send(_message(_REGISTRY, _REGISTRY_BIND,
                            struct.pack("=I", name) + _string(interface)
                            + struct.pack("=II", version, new_id)))

    def _events(self):
        while True:
            while len(self._buf) < 8:
                self._recv()
            obj, word = struct.unpack_from("=II", self._buf)
            size, opcode = word >> 16, word & 0xFFFF
            if size < 8 or size > _MAX_MESSAGE:
                raise RuntimeError(f"a malformed Wayland message (size {size})")
            while len(self._buf) < size:
                self._recv()
            payload, self._buf = self._buf[8:size], self._buf[size:]
            yield obj, opcode, payload

    def _recv(self):
        chunk = self._sock.recv(65536)
        if not chunk:
            raise RuntimeError("the compositor closed the connection")
        self._buf += chunk

    def _round_trip(self, callback):
        """Asks for a callback and reads events up to its done; returns the globals seen, by
        interface: (name, version)."""
        self._send(_message(_DISPLAY, _DISPLAY_SYNC, struct.pack("=I", callback)))
        found = {}
        for obj, opcode, payload in self._events():
            if obj == _DISPLAY and opcode == _DISPLAY_ERROR:
                _, code, n = struct.unpack_from("=III", payload)
                text = payload[12:12 + n - 1].decode(errors="replace")
                raise RuntimeError(f"Wayland error {code}: {text}")
            if obj == _REGISTRY and opcode == _REGISTRY_GLOBAL:
                name, n = struct.unpack_from("=II", payload)
                interface = payload[8:8 + n - 1].decode(errors="replace")
                (version,) = struct.unpack_from("=I", payload, 8 + n + (-n % 4))
                found.setdefault(interface, (name, version))
            if obj == callback and opcode == _CALLBACK_DONE:
                return found

    def _discard(self):
        try:
            while self._sock.recv(65536):
                pass
        except OSError:
            pass


class SeatDevices(_Wire):
    """Holds a virtual pointer and a virtual keyboard on the compositor's seat until close()."""

    def __init__(self, display, runtime_dir=None, timeout=10.0):
        try:
            self._connect(display, runtime_dir, timeout)
            globals_ = self._round_trip(_SYNC)
            needed = ("wl_seat", "zwlr_virtual_pointer_manager_v1",
                      "zwp_virtual_keyboard_manager_v1")
            missing = [i for i in needed if i not in globals_]
            if missing:
                raise RuntimeError(f"the compositor does not offer {', '.join(missing)}")
            for interface, new_id in zip(needed, (_SEAT, _POINTER_MANAGER, _KEYBOARD_MANAGER)):
                self._bind(globals_[interface][0], interface, 1, new_id)
            self._send(_message(_POINTER_MANAGER, _MANAGER_CREATE_VIRTUAL_POINTER,
                                struct.pack("=II", _SEAT, _POINTER)))
            self._send(_message(_KEYBOARD_MANAGER, _MANAGER_CREATE_VIRTUAL_KEYBOARD,
                                struct.pack("=II", _SEAT, _KEYBOARD)))
            self._send_keymap()
            # A round trip: the devices exist once the compositor answers (or it said why not).
            self._round_trip(_SYNC_AGAIN)
        except BaseException:
            self._sock.close()
            raise
        self._keep_reading()

    def _send_keymap(self):
        fd = os.memfd_create("velmora-e2e-keymap", os.MFD_CLOEXEC)
        try:
            os.write(fd, _KEYMAP)
            msg = _message(_KEYBOARD, _KEYBOARD_KEYMAP,
                           struct.pack("=II", _KEYMAP_FORMAT_XKB_V1, len(_KEYMAP)))
            # The file descriptor travels beside the message, not in it.
            self._sock.sendmsg([msg], [(socket.SOL_SOCKET, socket.SCM_RIGHTS,
                                        array.array("i", [fd]))])
        finally:
            os.close(fd)


# KWin's fake input, version 4: requests by their place in its protocol file.
_FAKE_AUTHENTICATE, _FAKE_BUTTON, _FAKE_MOTION_ABSOLUTE, _FAKE_KEY = 0, 2, 9, 10
_BTN_LEFT, _BTN_RIGHT = 0x110, 0x111
# Key names as xdotool spells them, to evdev codes (a US layout's keys).
_EVDEV = {
    **{c: code for c, code in zip("qwertyuiop", range(16, 26))},
    **{c: code for c, code in zip("asdfghjkl", range(30, 39))},
    **{c: code for c, code in zip("zxcvbnm", range(44, 51))},
    **{str(d): 2 + (d - 1) % 10 for d in range(10)},
    "Escape": 1, "BackSpace": 14, "Tab": 15, "Return": 28, "space": 57, "Home": 102,
    "Up": 103, "Left": 105, "Right": 106, "End": 107, "Down": 108, "Delete": 111,
    "ctrl": 29, "shift": 42, "alt": 56, "super": 125,
}


class FakeInput(_Wire):
    """A user's pointer and keyboard on KWin, through its fake-input protocol. KWin offers that
    only to a program its desktop entries name (X-KDE-Wayland-Interfaces), so the desk installs
    one for this interpreter. Every action ends with a round trip: KWin has taken it then."""

    def __init__(self, display, runtime_dir=None, timeout=10.0):
        self._next = 2  # ids 1 and 2: the display and its registry; new ids come in order
        try:
            self._connect(display, runtime_dir, timeout)
            globals_ = self._round_trip(self._new_id())
            if "org_kde_kwin_fake_input" not in globals_:
                raise RuntimeError("KWin does not offer fake input to this program")
            self._fake = self._new_id()
            self._bind(globals_["org_kde_kwin_fake_input"][0], "org_kde_kwin_fake_input", 4,
                       self._fake)
            self._send(_message(self._fake, _FAKE_AUTHENTICATE,
                                _string("velmora e2e") + _string("the user's side of a test")))
            self._round_trip(self._new_id())
        except BaseException:
            self._sock.close()
            raise

    def _new_id(self):
        self._next += 1
        return self._next

    def click(self, x, y, button=1, settle=0.15):
        self._send(_message(self._fake, _FAKE_MOTION_ABSOLUTE,
                            struct.pack("=ii", int(x * 256), int(y * 256))))
        self._round_trip(self._new_id())
        time.sleep(settle)  # a user's click follows the move, not the same instant
        code = _BTN_LEFT if button == 1 else _BTN_RIGHT
        for state in (1, 0):
            self._send(_message(self._fake, _FAKE_BUTTON, struct.pack("=II", code, state)))
        self._round_trip(self._new_id())

    def combo(self, combo):
        """One xdotool-style combination ("ctrl+Return", "Down"): pressed, then let go."""
        *mods, key = combo.split("+")
        codes = [_EVDEV[m] for m in mods] + [_EVDEV[key if key in _EVDEV else key.lower()]]
        if key not in _EVDEV and key != key.lower():
            codes.insert(0, _EVDEV["shift"])  # a capital letter
        for code in codes:
            self._send(_message(self._fake, _FAKE_KEY, struct.pack("=II", code, 1)))
        for code in reversed(codes):
            self._send(_message(self._fake, _FAKE_KEY, struct.pack("=II", code, 0)))
        self._round_trip(self._new_id())
