"""sway: the Linux program on a headless sway (wlroots), read through AT-SPI, driven by wtype and a mouse
of the player's own, with ibus and mozc reached through Qt's ibus support."""

import json

from atspi import AtSpi
from wayland_wire import Compositor
from window import KEYS, Devices, run


class Desktop(Devices, AtSpi):
    # sway asks a floating window for at least its floating_minimum_size, "75 x 50" by default (sway(5));
    # xdg-shell leaves it to the program whether to take it: Qt 6.8 does, Qt 6.4 keeps its fixed size.
    SMALLEST, MAY_KEEP_ITS_SIZE = [75, 50], True
    MODES = {"": {"QT_IM_MODULE": "ibus"}}

    @classmethod
    def prepare(cls, stories):
        """A mouse of our own (wlroots' virtual pointer), made before any window: windows learn of a pointer only
        as the seat gains one."""
        super().prepare(stories)
        cls.compositor, cls.time = Compositor(), 0
        seat, manager = (cls.compositor.bind(i, 1) for i in ("wl_seat", "zwlr_virtual_pointer_manager_v1"))
        cls.pointer = cls.compositor.new()
        cls.compositor.send(manager, 0, seat, cls.pointer)  # create_virtual_pointer

    def pointer_does(self, opcode, *args):  # each followed by a frame
        Desktop.time += 10
        self.compositor.send(self.pointer, opcode, self.time, *args)
        self.compositor.send(self.pointer, 4)
        self.compositor.roundtrip()

    def point(self, x, y):
        self.pointer_does(1, x, y, 640, 480)  # motion_absolute, within the output's extent

    def button(self, code, down):
        self.pointer_does(2, code, down)

    def key(self, name):
        *modifiers, key = KEYS[name].split("+")
        run("wtype", *(a for m in modifiers for a in ("-M", m)), "-k", key, *(a for m in modifiers for a in ("-m", m)))

    def type(self, text):
        run("wtype", "--", text)

    def origin(self):
        def nodes(node):
            return [node] + [n for child in node["nodes"] + node["floating_nodes"] for n in nodes(child)]
        window = next(n for n in nodes(json.loads(run("swaymsg", "-t", "get_tree"))) if n.get("pid") == self.process.pid)
        return [window["rect"][k] + window["window_rect"][k] for k in "xy"]

    def activate(self):
        run("swaymsg", f"[pid={self.process.pid}]", "focus")

    def screenshot(self):
        run("grim", self.screenshot_file)
