"""A pointer and a keyboard of the test's own on a wlroots compositor, like a user's devices.

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


class SeatDevices:
    """Holds a virtual pointer and a virtual keyboard on the compositor's seat until close()."""

    def __init__(self, display, runtime_dir=None, timeout=10.0):
        self._sock = socket.socket(socket.AF_UNIX, socket.SOCK_STREAM)
        self._sock.settimeout(timeout)
        self._buf = b""
        try:
            self._sock.connect(_socket_path(display, runtime_dir))
            self._send(_message(_DISPLAY, _DISPLAY_GET_REGISTRY, struct.pack("=I", _REGISTRY)))
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
        self._drain.join(timeout=2)

    def _send(self, data):
        self._sock.sendall(data)

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
