"""A Wayland client that speaks the wire itself, for the protocols of input from outside, which no library
of the distribution's speaks for us."""

import itertools
import os
import socket
import struct


class Compositor:
    def __init__(self):
        self.socket = socket.socket(socket.AF_UNIX)
        self.socket.connect(os.path.join(os.environ["XDG_RUNTIME_DIR"], os.environ["WAYLAND_DISPLAY"]))
        self.new, self.offered = itertools.count(3).__next__, {}  # the display is object 1, the registry 2
        for sender, opcode, body in self.send(1, 1, 2).roundtrip():  # get_registry
            if (sender, opcode) == (2, 0):  # a global: its name, interface and version
                name, length = struct.unpack_from("<II", body)
                self.offered[body[8:7 + length].decode()] = name, struct.unpack_from("<I", body, 8 + -(-length // 4) * 4)[0]

    def bind(self, interface, version):  # at that version, or the compositor's own if older
        name, offered = self.offered[interface]
        self.send(2, 0, name, interface, min(version, offered), made := self.new())
        return made

    def send(self, target, opcode, *args):
        body = b"".join(struct.pack("<i", a) if isinstance(a, int) else struct.pack("<I", len(a.encode()) + 1)
                        + a.encode() + bytes(1 + -(len(a.encode()) + 1) % 4) for a in args)
        self.socket.sendall(struct.pack("<II", target, (8 + len(body)) << 16 | opcode) + body)
        return self

    def roundtrip(self):  # what the compositor says until it has done what it was asked
        callback, events, data = self.new(), [], b""
        self.send(1, 0, callback)  # sync
        while not any(sender == callback for sender, _, _ in events):
            data += self.socket.recv(65536)
            while len(data) >= 8 and len(data) >= (size := struct.unpack_from("<I", data, 4)[0] >> 16):
                events.append((struct.unpack_from("<I", data)[0], data[4], data[8:size]))
                data = data[size:]
        return events
