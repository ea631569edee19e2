"""sway: the Linux program on a headless sway (wlroots), read through AT-SPI, driven by wtype and by sway's
seat commands for the pointer, with ibus and mozc reached through Qt's ibus support."""

import json

from atspi import AtSpi
from wayland_wire import Compositor
from window import KEYS, Devices, run


class Desktop(Devices, AtSpi):
    # sway asks a floating window for at least its floating_minimum_size, "75 x 50" by default (sway(5));
    # xdg-shell leaves it to the program whether to take it: Qt 6.8 does, Qt 6.4 keeps its fixed size.
    SMALLEST, MAY_KEEP_ITS_SIZE = [75, 50], True

    @classmethod
    def prepare(cls):
        """A mouse of our own (wlroots' virtual pointer), made before any window, which sway's seat then moves and
        clicks: windows learn of a pointer only as the seat gains one."""
        super().prepare()
        cls.compositor = Compositor()
        seat, manager = (cls.compositor.bind(i, 1) for i in ("wl_seat", "zwlr_virtual_pointer_manager_v1"))
        cls.compositor.send(manager, 0, seat, cls.compositor.new()).roundtrip()  # create_virtual_pointer

    def point(self, x, y):
        run("swaymsg", "seat", "-", "cursor", "set", str(x), str(y))

    def button(self, code, down):
        run("swaymsg", "seat", "-", "cursor", "press" if down else "release", str(code))

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
