"""What the desktops' drivers share: the windows' design, waiting, input methods, what the user does."""

import collections
import os
import pathlib
import re
import subprocess
import time

# From the table that the windows are built from: {"Text1", u"0", u"税抜金額", {0, 0, 113, 18}},
TABLE = (pathlib.Path(__file__).parent.parent / "controls.h").read_text(encoding="utf-8")
DESIGN = {c: (n, [int(x) for x in r.split(",")])
          for c, n, r in re.findall(r'\{"(\w+)", u"[^"]*", u"([^"]+)", \{([\d, ]+)\}\}', TABLE)}
NAMES = {c: n for c, (n, _) in DESIGN.items()}
CONTROL = {n: c for c, n in NAMES.items()}
CLIENT = [int(re.search(rf"k{k} = (\d+)", TABLE)[1]) for k in ("ClientWidth", "ClientHeight")]
# The stories' keys as X names them, and the keys of a US keyboard as Linux numbers them.
KEYS = {"Enter": "Return", "KeypadEnter": "KP_Enter", "Shift+Enter": "shift+Return", "Tab": "Tab",
        "Shift+Tab": "shift+Tab", "Space": "space", "Delete": "Delete", "Escape": "Escape", "select all": "ctrl+a"}
KEY_CODES = {c: first + i for first, row in ((2, "1234567890-="), (16, "qwertyuiop"), (30, "asdfghjkl"),
                                             (44, "zxcvbnm,./")) for i, c in enumerate(row)} | {
    "Escape": 1, "Tab": 15, "Return": 28, "ctrl": 29, "shift": 42, "space": 57, " ": 57, "KP_Enter": 96, "Delete": 111}
# The texts, the focused control, the button held down, each open box's title, text, what a screen reader
# says of it besides title and buttons, buttons and warning sign; a control that a screen reader heard change
# before the focus arrived there; what a screen reader was told to say in the step (None: the driver cannot hear).
Facts = collections.namedtuple("Facts", "net gross focus pressed boxes late told", defaults=[None, None])


def wait_for(condition, what, timeout=10.0):
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        try:
            if value := condition():
                return value
        except Exception:  # an accessible object that went away while being read
            pass
        time.sleep(0.02)
    raise AssertionError(f"timed out waiting for {what}")


def run(*command, text=True):
    return subprocess.run(command, check=True, capture_output=True, text=text).stdout


def verbs(steps):
    return {verb for _, actions, _ in steps for verb, _ in actions or []}


class Bus:
    """What an input method's bus carries: the compositions that it tells the windows, and focus-ins, which
    tell that it knows the window with the focus. ibus's, but on Plasma fcitx5's, on the session bus."""
    def __init__(self, address=None, interface="org.freedesktop.IBus.InputContext",
                 told=("UpdatePreeditText", "UpdatePreeditTextWithMode")):
        self.monitor = subprocess.Popen(
            ["dbus-monitor", *(["--address", address or os.environ["IBUS_ADDRESS"]] if address != "session" else []),
             f"type='method_call',interface='{interface}',member='FocusIn'",
             *(f"type='signal',interface='{interface}',member='{m}'" for m in told)],
            stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
        os.set_blocking(self.monitor.stdout.fileno(), False)
        self.carried = b""

    def heard(self):  # since it was last forgotten
        self.carried += self.monitor.stdout.read() or b""
        return self.carried


class Window:
    """What the user does, in a driver's keys, typing and clicks. The Japanese input method is on for the stories
    that compose, once it knows the window: keys typed sooner would not compose. Users may reach a desktop's input
    method in several ways (MODES: what each sets for the program); the stories play in each. A desktop that runs
    its input method for every window (OWN_INPUT_METHOD) has it off for the stories that do not compose.
    SMALLEST: the client area that the platform enlarges a smaller one to, which the program may decline."""
    SMALLEST, MAY_KEEP_ITS_SIZE = [0, 0], False
    MODES, BUS, OWN_INPUT_METHOD = {"": {"QT_IM_MODULE": "ibus"}}, (), False  # Qt's ibus support
    mode, bus, program, screenshot_file = "", None, None, None

    def __init__(self, input_method=False):
        self.bus.heard()
        self.bus.carried = b""  # what comes for this window
        self.start(input_method)
        self.reach_input_method(input_method)

    @classmethod
    def prepare(cls):
        Window.bus = Bus(*cls.BUS)

    @classmethod
    def cannot(cls, steps):  # why this desktop cannot play those steps in this mode
        return None

    @classmethod
    def times(cls, steps):  # more than once where a fault shows only now and then
        return 1

    def environment(self, input_method):  # a mode's None unsets
        settings = self.MODES[self.mode] if input_method or self.OWN_INPUT_METHOD else {"QT_IM_MODULE": ""}
        return {k: v for k, v in dict(os.environ, **settings).items() if v is not None}

    def reach_input_method(self, input_method):
        if input_method:
            wait_for(lambda: b"member=FocusIn" in self.bus.heard(), "the input method to know the window")

    def told(self):  # of compositions, and more
        return self.bus.heard()

    def compose(self, text):
        """Once the window has been told what was composed, as a user sees it: a click sooner would commit less."""
        wide = f'"{text.translate({c: c + 0xFEE0 for c in range(33, 127)})}"'.encode()
        before = self.told().count(wide)
        self.type(text)
        wait_for(lambda: self.told().count(wide) > before, "the window to be told what was composed")

    def box_has_keyboard(self):
        return True

    def middle(self, control):  # from the top left corner of the client area
        x, y, width, height = self.layout()[1][control]
        return x + width // 2, y + height // 2

    def act(self, verb, text):
        if verb in ("type", "compose"):
            getattr(self, verb)(text)
        elif verb.startswith("click "):
            self.click(verb[6:])
        elif verb == "select all":  # and the user sees it selected before typing on
            self.key(verb)
            wait_for(self.all_selected, "the field's text to be selected")
        elif verb == "ok":  # once the box has the keyboard, which a window manager may give it late
            wait_for(self.box_has_keyboard, "the box to have the keyboard")
            self.key("Enter")
            wait_for(lambda: not self.facts().boxes, "the box to close")
        elif verb == "menu":
            self.click(self.facts().focus, button=3)
            wait_for(lambda: self.menu() is not None, "the menu")
            entries = self.menu()
            self.key("Escape")
            wait_for(lambda: self.menu() is None, "the menu to close")  # and the window to have its keys back
            # An entry in Japanese may name its key in Latin letters, one at a time: 元に戻す(U)\tCtrl+Z.
            if english := [e.split("\t")[0] for e in entries if re.search("[A-Za-z]{2}", e.split("\t")[0])]:
                raise AssertionError(f"the field's menu says {', '.join(english)}")
        elif verb == "away":
            other = type(self)()
            try:
                wait_for(lambda: self.facts().focus is None, "the other window to take the focus")
            finally:
                other.process.terminate()
            self.activate()
        else:
            self.key(verb)

    def close(self):
        self.screenshot()
        self.process.terminate()
        self.process.wait(5)


class Devices:
    """Keys as a keyboard's pressed and let go (press), clicks as a pointer's moves and buttons (point, button),
    for compositors that take them so; a click comes from outside, so that the window sees the pointer enter."""
    def key(self, name):
        *modifiers, key = (KEY_CODES[k] for k in KEYS[name].split("+"))
        for code, down in [(m, 1) for m in modifiers] + [(key, 1), (key, 0)] + [(m, 0) for m in modifiers]:
            self.press(code, down)

    def type(self, text):
        for code, down in ((KEY_CODES[c], down) for c in text for down in (1, 0)):
            self.press(code, down)

    def click(self, control, button=1):
        x, y = self.origin()
        self.point(x + CLIENT[0] // 2, y + 150)
        self.point(*(o + m for o, m in zip((x, y), self.middle(control))))
        for down in (1, 0):
            self.button({1: 0x110, 3: 0x111}[button], down)  # BTN_LEFT, BTN_RIGHT

    def inside(self, x, y, width, height):
        """The client area's corner in a window's frame: the client area, drawn about as wide at the sides as below."""
        (client_width, client_height), _, _ = self.layout()
        side = (width - client_width) // 2
        return x + side, y + height - client_height - side
