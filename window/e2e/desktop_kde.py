"""KDE Plasma: the Linux program on KWin on Wayland, headless, read through AT-SPI, and driven through
KWin's fake input (as KDE's own tests drive it), with fcitx5 and mozc as KWin runs them. KWin tells
where a window is, and brings it to the front, as KRunner's window switcher asks it."""

import os
import subprocess
import time

from atspi import AtSpi, call
from wayland_wire import Compositor
from window import Devices, run, verbs, wait_for

KWIN = "org.kde.KWin"


class Desktop(Devices, AtSpi):
    # im-config sets QT_IM_MODULE=fcitx where fcitx5 is installed; fcitx5 itself recommends leaving it
    # unset on KWin, where Qt then composes through KWin's text input, which it tells only over Wayland.
    MODES = {"fcitx": {"QT_IM_MODULE": "fcitx"}, "text input": {"QT_IM_MODULE": None, "WAYLAND_DEBUG": "client"}}
    BUS, OWN_INPUT_METHOD = ("session", "org.fcitx.Fcitx.InputContext1", ("UpdateFormattedPreedit",)), True

    @classmethod
    def prepare(cls, stories):
        super().prepare(stories)
        cls.compositor = Compositor()
        cls.input = cls.compositor.bind("org_kde_kwin_fake_input", 4)
        cls.fake(0, "Mivo's stories", "to play them")  # authenticate
        if "ScreenShot2" not in call(KWIN, "/org/kde/KWin", "org.freedesktop.DBus.Introspectable.Introspect")[0]:
            cls.screenshot = lambda self: None
            print("SKIP screenshots: KWin offers no /org/kde/KWin/ScreenShot2 here (KWin 6.3 without a GPU"
                  " composites with QPainter, and has no screenshot effect then)", flush=True)

    @classmethod
    def cannot(cls, steps):
        plugin = run("dpkg-query", "-W", "-f", "${Version}", "fcitx5-frontend-qt6")
        if cls.mode == "fcitx" and "menu" in verbs(steps) and plugin.startswith("5.0."):
            return (f"Qt's fcitx5 support {plugin} leaves a bare Qt window too without a focused control once its "
                    "context menu has closed, on sway as on KWin 5.27, and the keys that follow reach nothing")

    @classmethod
    def fake(cls, opcode, *args):
        cls.compositor.send(cls.input, opcode, *args)
        cls.compositor.roundtrip()

    def press(self, code, down):
        """As a typist presses and lets go, not at once: while fcitx5 has the keyboard, KWin tells the window
        of a key only once fcitx5 has handed it back, but of a modifier's change at once, so that a key
        handed back after its modifier was let go comes without it; and keys let go at once are now and
        then lost."""
        self.fake(10, code, down)  # keyboard_key
        time.sleep(0.05)

    def point(self, x, y):
        self.fake(9, int(x * 256), int(y * 256))  # pointer_motion_absolute, in fixed point

    def button(self, code, down):
        self.fake(2, code, down)

    def reach_input_method(self, input_method):
        """fcitx5 is off until the user switches it on to compose."""
        wait_for(lambda: run("fcitx5-remote").strip() != "0", "fcitx5 to know the window")
        if input_method:
            run("fcitx5-remote", "-o")
            wait_for(lambda: run("fcitx5-remote").strip() == "2", "fcitx5 to be on")

    def told(self):
        self.said.seek(0)
        return self.bus.heard() + self.said.read()

    def window(self):
        """The window, once it is the only normal one titled so that the window switcher offers: its entry
        there, and what KWin tells of it."""
        def offered():
            matches = call(KWIN, "/WindowsRunner", "org.kde.krunner1.Match", "(s)", "Mivo")[0]
            windows = [(m, call(KWIN, "/KWin", "org.kde.KWin.getWindowInfo", "(s)", m.split("_", 1)[1])[0])
                       for m, *_ in matches]
            return (normal := [w for w in windows if w[1]["type"] == 0]) and len(normal) == 1 and normal[0]
        return wait_for(offered, "the window in KWin's window switcher")

    def origin(self):
        frame = self.window()[1]
        return self.inside(*(frame[k] for k in ("x", "y", "width", "height")))

    def activate(self):
        call(KWIN, "/WindowsRunner", "org.kde.krunner1.Run", "(ss)", self.window()[0], "")

    def screenshot(self):
        """The screen as KWin gives it: its pixels, written to a pipe, whose end is handed over with the call."""
        out, into = os.pipe()
        shown = call(KWIN, "/org/kde/KWin/ScreenShot2", "org.kde.KWin.ScreenShot2.CaptureWorkspace", "(a{sv}h)",
                     {}, 0, fds=[into])[0]
        with os.fdopen(out, "rb") as pixels:
            subprocess.run(["convert", "-size", f"{shown['stride'] // 4}x{shown['height']}", "-depth", "8", "bgra:-",
                            "-crop", f"{shown['width']}x{shown['height']}+0+0", self.screenshot_file], stdin=pixels,
                           check=True)
