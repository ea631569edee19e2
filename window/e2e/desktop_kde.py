"""KDE Plasma: the Linux program on KWin on Wayland, headless, read through AT-SPI, and driven through
KWin's fake input (as KDE's own tests drive it), with fcitx5 and mozc as KWin runs them. KWin tells
where a window is, and brings it to the front, to scripts of the player's own."""

import os
import subprocess
import tempfile
import time

from gi.repository import Gio, GLib

from atspi import SESSION_BUS, AtSpi, call
from wayland_wire import Compositor
from window import Devices, run, verbs, wait_for

KWIN, STORIES = "org.kde.KWin", "org.mivo.Stories"


class Desktop(Devices, AtSpi):
    # im-config sets QT_IM_MODULE=fcitx where fcitx5 is installed; fcitx5 itself recommends leaving it
    # unset on KWin, where Qt then composes through KWin's text input, which it tells only over Wayland.
    MODES = {"fcitx": {"QT_IM_MODULE": "fcitx"}, "text input": {"QT_IM_MODULE": None, "WAYLAND_DEBUG": "client"}}
    BUS, OWN_INPUT_METHOD = ("session", "org.fcitx.Fcitx.InputContext1", ("UpdateFormattedPreedit",)), True
    answers = []

    @classmethod
    def prepare(cls, stories):
        super().prepare(stories)
        # KWin's scripts answer the player through a name of its own on the session bus.
        told = f"<node><interface name='{STORIES}'><method name='Tell'><arg type='s'/></method></interface></node>"
        SESSION_BUS.register_object("/", Gio.DBusNodeInfo.new_for_xml(told).interfaces[0], lambda *call_: (
            cls.answers.append(call_[5].unpack()[0]), call_[6].return_value(None)))
        call("org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus.RequestName", "(su)", STORIES, 4)
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

    def kwin(self, script):
        """What KWin's script, run on the program's window w, tells (told(text))."""
        with tempfile.NamedTemporaryFile("w", suffix=".js") as file:
            file.write(f"""const told = t => callDBus("{STORIES}", "/", "{STORIES}", "Tell", String(t));
                for (const w of (workspace.windowList ? workspace.windowList() : workspace.clientList()))
                    if (w.pid === {self.process.pid} && !w.transient) {{ {script} }}""")
            file.flush()
            name = f"mivo-stories-{time.monotonic_ns()}"
            number = call(KWIN, "/Scripting", "org.kde.kwin.Scripting.loadScript", "(ss)", file.name, name)[0]
            del Desktop.answers[:]
            try:
                for path in (f"/Scripting/Script{number}", f"/{number}"):  # KWin 6, and 5
                    try:
                        call(KWIN, path, "org.kde.kwin.Script.run")
                    except GLib.Error:
                        pass
                return wait_for(self.answer, "KWin's answer")
            finally:
                call(KWIN, "/Scripting", "org.kde.kwin.Scripting.unloadScript", "(s)", name)

    @staticmethod
    def answer():
        GLib.MainContext.default().iteration(False)
        return Desktop.answers and Desktop.answers[0]

    def origin(self):
        return map(float, self.kwin("told([w.bufferGeometry.x, w.bufferGeometry.y].join(' '))").split())

    def activate(self):
        self.kwin("workspace[workspace.windowList ? 'activeWindow' : 'activeClient'] = w; told(1)")

    def screenshot(self):
        """The screen as KWin gives it: its pixels, written to a pipe, whose end is handed over with the call."""
        out, into = os.pipe()
        shown = call(KWIN, "/org/kde/KWin/ScreenShot2", "org.kde.KWin.ScreenShot2.CaptureWorkspace", "(a{sv}h)",
                     {}, 0, fds=[into])[0]
        with os.fdopen(out, "rb") as pixels:
            subprocess.run(["convert", "-size", f"{shown['stride'] // 4}x{shown['height']}", "-depth", "8", "bgra:-",
                            "-crop", f"{shown['width']}x{shown['height']}+0+0", self.screenshot_file], stdin=pixels,
                           check=True)
