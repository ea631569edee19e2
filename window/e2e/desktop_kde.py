"""KDE Plasma: the Linux program on a headless KWin, read through AT-SPI, driven through KWin's fake input as
KDE's own tests are, with fcitx5 and mozc as KWin runs them; KWin's scripts find and raise the window."""

import contextlib
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
    answers, FCITX_QT = [], run("dpkg-query", "-W", "-f", "${Version}", "fcitx5-frontend-qt6")

    @classmethod
    def prepare(cls):
        super().prepare()
        told = f"<node><interface name='{STORIES}'><method name='Tell'><arg type='s'/></method></interface></node>"
        SESSION_BUS.register_object("/", Gio.DBusNodeInfo.new_for_xml(told).interfaces[0], lambda *call_: (
            cls.answers.append(call_[5].unpack()[0]), call_[6].return_value(None)))
        call("org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus.RequestName", "(su)", STORIES, 4)
        cls.compositor = Compositor()
        cls.input = cls.compositor.bind("org_kde_kwin_fake_input", 4)
        cls.compositor.send(cls.input, 0, "Mivo's stories", "to play them").roundtrip()  # authenticate

    @classmethod
    def cannot(cls, steps):
        if cls.mode == "fcitx" and "menu" in verbs(steps) and cls.FCITX_QT.startswith("5.0."):
            return (f"Qt's fcitx5 support {cls.FCITX_QT} leaves a bare Qt window too without a focused control once its "
                    "context menu has closed, on sway as on KWin 5.27, and the keys that follow reach nothing")

    def press(self, code, down):
        """At a typist's pace: while fcitx5 has the keyboard, KWin hands on a key once fcitx5 gives it back, but
        a modifier's change at once, so that a key given back late comes without it, or now and then not."""
        self.compositor.send(self.input, 10, code, down).roundtrip()  # keyboard_key
        time.sleep(0.05)

    def point(self, x, y):
        self.compositor.send(self.input, 9, int(x * 256), int(y * 256)).roundtrip()  # motion_absolute, fixed point

    def button(self, code, down):
        self.compositor.send(self.input, 2, code, down).roundtrip()  # button

    def reach_input_method(self, input_method):  # fcitx5 is off until the user switches it on to compose
        wait_for(lambda: run("fcitx5-remote").strip() != "0", "fcitx5 to know the window")
        if input_method:
            run("fcitx5-remote", "-o")
            wait_for(lambda: run("fcitx5-remote").strip() == "2", "fcitx5 to be on")

    def told(self):
        self.said.seek(0)
        return self.bus.heard() + self.said.read()

    def kwin(self, script):
        """What KWin's script, run on the window w, tells the player (told(text)) at its name on the bus."""
        with tempfile.NamedTemporaryFile("w", suffix=".js") as file:
            file.write(f"""const told = t => callDBus("{STORIES}", "/", "{STORIES}", "Tell", String(t));
                for (const w of (workspace.windowList ? workspace.windowList() : workspace.clientList()))
                    if (w.pid === {self.process.pid} && !w.transient) {{ {script} }}""")
            file.flush()
            name = f"mivo-stories-{time.monotonic_ns()}"
            number = call(KWIN, "/Scripting", "org.kde.kwin.Scripting.loadScript", "(ss)", file.name, name)[0]
            Desktop.answers = []
            for path in (f"/Scripting/Script{number}", f"/{number}"):  # KWin 6, and 5
                with contextlib.suppress(GLib.Error):
                    call(KWIN, path, "org.kde.kwin.Script.run")
            answer = wait_for(lambda: self.facts() and Desktop.answers, "KWin's answer")  # facts() hears the bus
            call(KWIN, "/Scripting", "org.kde.kwin.Scripting.unloadScript", "(s)", name)
            return answer[0]

    def origin(self):
        return map(float, self.kwin("told([w.bufferGeometry.x, w.bufferGeometry.y].join(' '))").split())

    def activate(self):
        self.kwin("workspace[workspace.windowList ? 'activeWindow' : 'activeClient'] = w; told(1)")

    def screenshot(self):
        pass  # KWin shows its screen only to its screenshot effect, which KWin 6.3 without a GPU does not have
