"""GNOME: the Linux program on a headless GNOME Shell, read through AT-SPI, driven through the shell's remote
desktop as GNOME's own is, with ibus and mozc as the shell runs them. The shell tells where a window is (its
Eval, in the unsafe mode that the desktop's extension puts it in)."""

import json
import pathlib
import re

from gi.repository import GLib

from atspi import AtSpi, call
from window import KEY_CODES, Devices, run, verbs, wait_for

REMOTE, CAST = "org.gnome.Mutter.RemoteDesktop", "org.gnome.Mutter.ScreenCast"
WINDOW = "global.get_window_actors().map(a => a.meta_window).find(w => w.get_pid() === {} && !w.get_transient_for())"


def shell(script):  # what the shell's script evaluates to
    done, value = call("org.gnome.Shell", "/org/gnome/Shell", "org.gnome.Shell.Eval", "(s)", script)
    assert done, f"GNOME Shell could not evaluate {script}: {value}"
    return json.loads(value) if value else None


class Desktop(Devices, AtSpi):
    # gnome-session sets QT_IM_MODULE=ibus where ibus is installed; unset, Qt composes through the
    # shell's own text input, text-input-v3, which Qt's Wayland support must speak.
    MODES, OWN_INPUT_METHOD = {"ibus": {"QT_IM_MODULE": "ibus"}, "text input": {"QT_IM_MODULE": None}}, True
    QT_WAYLAND = re.search(r"=> (\S*/libQt6WaylandClient\.so\.6)\n", run("/sbin/ldconfig", "-p"))[1]

    @classmethod
    def prepare(cls):
        super().prepare()
        cls.session = call(REMOTE, "/org/gnome/Mutter/RemoteDesktop", REMOTE + ".CreateSession")[0]
        number = call(REMOTE, cls.session, "org.freedesktop.DBus.Properties.Get", "(ss)", f"{REMOTE}.Session", "SessionId")
        screen = call(CAST, "/org/gnome/Mutter/ScreenCast", CAST + ".CreateSession", "(a{sv})",
                      {"remote-desktop-session-id": GLib.Variant("s", number[0])})[0]
        cls.stream = call(CAST, screen, CAST + ".Session.RecordMonitor", "(sa{sv})", "", {})[0]
        call(REMOTE, cls.session, REMOTE + ".Session.Start")
        # Keys and moves are lost until the shell has made its devices: once it sees the pointer and Shift.
        wait_for(lambda: cls.point(300, 300) or cls.press(KEY_CODES["shift"], 1) or
                 shell("global.get_pointer()") == [300, 300, 1], "the shell's keyboard and pointer")
        cls.press(KEY_CODES["shift"], 0)

    @classmethod
    def cannot(cls, steps):
        if "compose" in verbs(steps) and not cls.composes():
            return (f"Qt's Wayland support here ({cls.QT_WAYLAND}; Qt 6.4) has no zwp_text_input_v3, the only text "
                    "input that GNOME Shell offers, so nothing composes through it")

    @classmethod
    def times(cls, steps):  # GNOME Shell 48 now and then commits with the text composed anew
        return 16 if cls.mode == "text input" and "compose" in verbs(steps) else 1

    @classmethod
    def composes(cls):  # through Qt's ibus support, or through the shell's text input
        return cls.mode == "ibus" or b"zwp_text_input_v3" in pathlib.Path(cls.QT_WAYLAND).read_bytes()

    @classmethod
    def press(cls, code, down):
        call(REMOTE, cls.session, REMOTE + ".Session.NotifyKeyboardKeycode", "(ub)", code, bool(down))

    @classmethod
    def point(cls, x, y):
        call(REMOTE, cls.session, REMOTE + ".Session.NotifyPointerMotionAbsolute", "(sdd)", cls.stream, x, y)

    def button(self, code, down):
        call(REMOTE, self.session, REMOTE + ".Session.NotifyPointerButton", "(ib)", code, bool(down))

    def start(self, input_method):
        """With mozc, or with the US keyboard, as the user's input source."""
        source, engine = ("ibus", "mozc-jp") if input_method else ("xkb", "us")
        run("gsettings", "set", "org.gnome.desktop.input-sources", "sources", f"[('{source}', '{engine}')]")
        wait_for(lambda: run("ibus", "engine").strip() in (engine, f"xkb:{engine}::eng"), "the input source")
        super().start(input_method)

    def reach_input_method(self, input_method):
        super().reach_input_method(self.composes())

    def origin(self):
        window = WINDOW.format(self.process.pid)
        return self.inside(*shell(f"(f => [f.x, f.y, f.width, f.height])({window}.get_frame_rect())"))

    def activate(self):
        shell(f"{WINDOW.format(self.process.pid)}.activate(global.get_current_time())")

    def screenshot(self):
        call("org.gnome.Shell.Screenshot", "/org/gnome/Shell/Screenshot", "org.gnome.Shell.Screenshot.Screenshot",
             "(bbs)", False, False, self.screenshot_file)
