"""Plays the window's stories on a real window and reports each as passed, failed or skipped.

A driver starts the program as it ships, does what the user does and reads raw facts off the window
from outside, as a screen reader does, finding each control by its accessible name; the player
compares them with the story. x: the Linux program on X, driven by xdotool and read through AT-SPI;
wayland: the same on sway, driven by wtype and a mouse of our own; wine: Mivo.exe under Wine on X,
driven by xdotool like the Linux program and read through MSAA by a small Windows reader.

Usage: play_stories.py x|wayland|wine PROGRAM STORIES SCREENSHOT [PART-OF-A-TITLE]"""

import collections
import json
import os
import pathlib
import re
import socket
import struct
import subprocess
import sys
import time

PLATFORM, PROGRAM, STORIES, SCREENSHOT, ONLY = (sys.argv[1:] + [""])[:5]
# From the table that the windows are built from: {"Text1", u"0", u"税抜金額", {0, 0, 113, 18}},
TABLE = (pathlib.Path(STORIES).parent / "controls.h").read_text(encoding="utf-8")
DESIGN = {c: (n, [int(x) for x in r.split(",")])
          for c, n, r in re.findall(r'\{"(\w+)", u"[^"]*", u"([^"]+)", \{([\d, ]+)\}\}', TABLE)}
NAMES = {c: n for c, (n, _) in DESIGN.items()}
CONTROL = {n: c for c, n in NAMES.items()}
CLIENT = [int(re.search(rf"k{k} = (\d+)", TABLE)[1]) for k in ("ClientWidth", "ClientHeight")]
SCALE = int(os.environ.get("MIVO_DPI", "96")) / 96  # the display's scale, for Mivo.exe
KEYS = {"Enter": "Return", "KeypadEnter": "KP_Enter", "Shift+Enter": "shift+Return", "Tab": "Tab",
        "Shift+Tab": "shift+Tab", "Space": "space", "Delete": "Delete", "Escape": "Escape",
        "select all": "ctrl+a"}
# The texts, the control with the focus, the button held down, each open box's title, text, what a
# screen reader says of it besides its title and buttons, number of buttons and warning sign, and a
# control that a screen reader heard change before it heard the focus arrive there, in the last
# thing that the user did.
Facts = collections.namedtuple("Facts", "net gross focus pressed boxes late", defaults=[None])


def shown(facts):
    """net | gross | the control with the focus or the open box, as the stories write it."""
    where = "Command1 held down" if facts.pressed else facts.focus or "nothing"
    for title, text, heard, buttons, warning in facts.boxes[:1]:
        where = ("warning" if warning else "box") + f' "{text}"'
        if heard != text:
            where += f', which a screen reader says as "{heard}"'
        if (title, buttons) != ("Mivo", 1):
            where = f"a box titled {title} with {buttons} buttons: {where}"
    if facts.late:
        where += f", but a screen reader heard {facts.late} change before the focus arrived there"
    return facts.net, facts.gross, where if len(facts.boxes) < 2 else f"{len(facts.boxes)} boxes"


def parse(path):
    """[(title, [(line, [(verb, text or None)...] or None for a skip, expected)...])...]"""
    stories = []
    for number, line in enumerate(open(path, encoding="utf-8"), 1):
        if (line := line.strip()).startswith("=="):
            stories.append((line[2:].strip(), []))
        elif skip := re.fullmatch(r"skip on ([\w, ]+): (.*)", line):
            stories[-1][1].append((number, None, skip.groups()))
        elif line and not line.startswith("#"):
            actions, expected = line.split("=>")
            actions = [re.fullmatch(r'(.*?)(?: "(.*)")?', a.strip()).groups()
                       for a in re.findall(r'(?:[^,"]|"[^"]*")+', actions) if a.strip()]
            expected = tuple(re.sub(r'^"(.*)"$', r"\1", part.strip()) for part in expected.split("|"))
            stories[-1][1].append((number, actions, expected))
    return stories


def wait_for(condition, what, timeout=5.0):
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


class Window:
    """What the user does, in terms of a driver's keys, typing and clicks. Drivers start the program
    with the Japanese input method on for the stories that compose, and wait until the input method
    knows the window: keys typed sooner would not compose."""
    # The smallest client area that the platform gives a window, enlarging a smaller one; and whether
    # the program may keep its own smaller size all the same.
    SMALLEST, MAY_KEEP_ITS_SIZE = [0, 0], False

    def __init__(self, input_method=False):
        focused_before = input_method and self.input_context()
        self.start(input_method)
        if input_method:
            wait_for(lambda: self.input_context() != focused_before, "the input method")

    @classmethod
    def prepare(cls, stories):
        pass

    @staticmethod
    def input_context():
        """The input context of ibus that has the focus."""
        return run("gdbus", "call", "--address", os.environ["IBUS_ADDRESS"], "--dest", "org.freedesktop.IBus",
                   "--object-path", "/org/freedesktop/IBus", "--method", "org.freedesktop.DBus.Properties.Get",
                   "org.freedesktop.IBus", "CurrentInputContext")

    def compose(self, text):
        self.type(text)  # with the input method on

    def middle(self, control):
        """The middle of the control, from the top left corner of the window's client area."""
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
        elif verb == "ok":
            self.key("Enter")
            wait_for(lambda: not self.facts().boxes, "the box to close")
        elif verb == "menu":
            self.click(self.facts().focus, button=3)
            wait_for(lambda: self.menu() is not None, "the menu")
            entries = self.menu()
            self.key("Escape")
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


class AtSpi(Window):
    """The Linux program, read through AT-SPI, on which it also tells a screen reader of each focus move
    and text change: noted is a control whose text changed before the focus was told to arrive there."""
    playing = {}  # the windows by their process

    @classmethod
    def prepare(cls, stories):
        """Listens to what the windows tell a screen reader, and to what ibus tells them it has composed."""
        pyatspi.Registry.registerEventListener(cls.hear, "object:state-changed:focused", "object:text-changed",
                                               "object:state-changed:showing")
        # A newer ibus tells a client that asks for it (Qt 6.8 does) the composition with its mode.
        AtSpi.told = subprocess.Popen(
            ["dbus-monitor", "--address", os.environ["IBUS_ADDRESS"],
             *(f"type='signal',interface='org.freedesktop.IBus.InputContext',member='{member}'"
               for member in ("UpdatePreeditText", "UpdatePreeditTextWithMode"))],
            stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
        os.set_blocking(AtSpi.told.stdout.fileno(), False)

    @staticmethod
    def hear(event):
        """Notes text changes, focus arrivals and a menu's entries. A program's menu is told only as it opens:
        it is not among the program's children."""
        try:
            source = event.source
            window, control = AtSpi.playing.get(source.get_process_id()), CONTROL.get(source.name)
            if window and "showing" in event.type and source.getRole() == pyatspi.ROLE_POPUP_MENU:
                entries = [source.getChildAtIndex(i).name for i in range(source.childCount)]
                window.menu_told = entries if event.detail1 else None
                return
        except GLib.Error:  # told by a program that has ended since
            return
        if window and control and "text" in event.type:
            window.changed.add(control)
        elif window and control in window.changed and event.detail1:
            window.late = window.late or control

    def start(self, input_method):
        self.process = subprocess.Popen([PROGRAM], stderr=subprocess.DEVNULL,
                                        env=dict(os.environ, QT_IM_MODULE="ibus" if input_method else ""))
        self.app = wait_for(lambda: [a for a in pyatspi.Registry.getDesktop(0)
                                     if a and a.get_process_id() == self.process.pid], "the program")[0]
        self.app.set_cache_mask(Atspi.Cache.NONE)
        self.controls = {c: wait_for(lambda n=n: self.find(name=n), n)[0] for c, n in NAMES.items()}
        self.changed, self.late, self.menu_told, AtSpi.playing[self.process.pid] = set(), None, None, self

    def compose(self, text):
        """Types with the input method on, and goes on once the window has been told what was composed,
        as a user sees it first: a click sooner would commit only what the window had been told."""
        self.told.stdout.read()  # what was told before
        self.type(text)
        told, wide = b"", f'"{text.translate({c: c + 0xFEE0 for c in range(33, 127)})}"'.encode()

        def composed():
            nonlocal told
            told += self.told.stdout.read() or b""
            return wide in told
        wait_for(composed, "the window to be told what was composed")

    def find(self, role=None, name=None, node=None):
        """The showing accessible objects of that role, or those of that name, below node."""
        node, found = node or self.app, []
        for child in filter(None, (node.getChildAtIndex(i) for i in range(node.childCount))):
            if child.name == name or child.getRole() == role and child.getState().contains(pyatspi.STATE_SHOWING):
                found.append(child)
            found += self.find(role, name, child)
        return found

    def hear_afresh(self):
        """Waits until the window shows the same twice, then hears only what comes next."""
        last = None
        while (now := self.facts()) != last:
            last, _ = now, time.sleep(0.03)
        self.changed, self.late = set(), None

    def facts(self):
        def box(alert):
            labels = self.find(pyatspi.ROLE_LABEL, node=alert)
            # A screen reader says a box's description; Orca 43 also says each label in it that relates to
            # nothing, and Orca 48, where there is no description, those of three words or more, counted by
            # spaces, which a Japanese sentence does not have.
            unrelated = [label.name for label in labels if not label.getRelationSet()]
            heard = [alert.description, *unrelated] if alert.description else [
                n for n in unrelated if len(n.split()) >= 3]
            return (alert.name, " ".join(label.name for label in labels), " ".join(heard),
                    len(self.find(pyatspi.ROLE_PUSH_BUTTON, node=alert)),
                    bool(self.find(pyatspi.ROLE_IMAGE, node=alert)))
        while GLib.MainContext.default().iteration(False):
            pass  # what the bus told meanwhile, to hear()
        state = {c: a.getState() for c, a in self.controls.items()}
        return Facts(*(self.controls[c].queryText().getText(0, -1) for c in ("Text1", "Text2")),
                     next((c for c, s in state.items() if s.contains(pyatspi.STATE_FOCUSED)), None),
                     state["Command1"].contains(pyatspi.STATE_PRESSED), [box(a) for a in self.find(pyatspi.ROLE_ALERT)],
                     self.late)

    def menu(self):
        """The entries of the menu that the program has told a screen reader it opened, if it has."""
        self.facts()
        return self.menu_told

    def all_selected(self):
        """Whether the focused field's text is selected. Qt hands keys to ibus and back while ibus
        composes, and a composition begun meanwhile would come before the key."""
        text = self.controls[self.facts().focus].queryText()
        return text.getNSelections() == 1 and text.getSelection(0) == (0, text.characterCount)

    def layout(self):
        """The window's size, and each control's place and size, from AT-SPI's extents."""
        window, *controls = (a.queryComponent().getExtents(pyatspi.DESKTOP_COORDS)
                             for a in [self.app.getChildAtIndex(0), *self.controls.values()])
        return [window.width, window.height], {c: [e.x - window.x, e.y - window.y, e.width, e.height]
                                              for c, e in zip(self.controls, controls)}, self.SMALLEST


class XInput:
    """Keys, typing and clicks through the X server, as a user's reach the window."""
    def find_window(self):
        """The window, once the window manager has given it the keyboard: keys sent sooner are lost."""
        self.window = wait_for(lambda: run("xdotool", "search", "--all", "--onlyvisible", "--pid",
                                           str(self.process.pid), "--name", "^Mivo$").split(), "the window")[0]
        wait_for(lambda: run("xdotool", "getwindowfocus").strip() == self.window, "the window to have the keyboard")

    def key(self, name):
        run("xdotool", "key", "--delay", "20", KEYS.get(name, name))

    def type(self, text):
        run("xdotool", "type", "--delay", "20", "--", text)

    def click(self, control, button=1):
        run("xdotool", "mousemove", "--window", self.window, *map(str, self.middle(control)), "click", str(button))

    def activate(self):
        run("xdotool", "windowactivate", "--sync", self.window)

    def screenshot(self):
        run("import", "-window", "root", SCREENSHOT)


class X(XInput, AtSpi):
    def start(self, input_method):
        super().start(input_method)
        self.find_window()


class Pointer:
    """A mouse of our own on the compositor's socket, through the wlroots virtual-pointer protocol. It
    is made once, before any window: a window learns of a pointer only when the seat gains one."""
    def __init__(self):
        self.socket = socket.socket(socket.AF_UNIX)
        self.socket.connect(os.path.join(os.environ["XDG_RUNTIME_DIR"], os.environ["WAYLAND_DISPLAY"]))
        self.last, self.time, offered = 2, 0, {}  # the display is object 1, the registry 2
        self.send(1, 1, 2)  # get_registry
        for sender, opcode, body in self.roundtrip():
            if (sender, opcode) == (2, 0):  # a global: its name, interface and version
                offered[body[8:8 + struct.unpack_from("<I", body, 4)[0] - 1].decode()] = struct.unpack_from("<I", body)[0]
        seat, manager, self.pointer = self.last + 1, self.last + 2, self.last + 3
        self.last += 3
        for interface, made in (("wl_seat", seat), ("zwlr_virtual_pointer_manager_v1", manager)):
            self.send(2, 0, offered[interface], interface, 1, made)  # bind
        self.send(manager, 0, seat, self.pointer)  # create_virtual_pointer

    def send(self, target, opcode, *args):
        body = b"".join(struct.pack("<I", a) if isinstance(a, int) else struct.pack("<I", len(a) + 1) + a.encode()
                        + bytes(1 + -(len(a) + 1) % 4) for a in args)
        self.socket.sendall(struct.pack("<II", target, (8 + len(body)) << 16 | opcode) + body)

    def roundtrip(self):
        """What the compositor says until it has done all that it was asked before."""
        self.last += 1
        callback, events, data = self.last, [], b""
        self.send(1, 0, callback)  # sync
        while not any(sender == callback for sender, _, _ in events):
            data += self.socket.recv(65536)
            while len(data) >= 8 and len(data) >= (size := struct.unpack_from("<I", data, 4)[0] >> 16):
                events.append((struct.unpack_from("<I", data)[0], data[4], data[8:size]))
                data = data[size:]
        return events

    def act(self, opcode, *args):  # motion_absolute 1, button 2; each followed by a frame
        self.time += 10
        self.send(self.pointer, opcode, self.time, *args)
        self.send(self.pointer, 4)
        self.roundtrip()


class Wayland(AtSpi):
    # sway asks a floating window for at least its floating_minimum_size, "75 x 50" by default (sway(5));
    # xdg-shell leaves it to the program whether to take it: Qt 6.8 does, Qt 6.4 keeps its fixed size.
    SMALLEST, MAY_KEEP_ITS_SIZE = [75, 50], True

    @classmethod
    def prepare(cls, stories):
        super().prepare(stories)
        Wayland.pointer = Pointer()

    def key(self, name):
        *modifiers, key = KEYS[name].split("+")
        run("wtype", *(a for m in modifiers for a in ("-M", m)), "-k", key, *(a for m in modifiers for a in ("-m", m)))

    def type(self, text):
        run("wtype", "--", text)

    def origin(self):
        """The window's top left corner on the screen, from sway."""
        def nodes(node):
            return [node] + [n for child in node["nodes"] + node["floating_nodes"] for n in nodes(child)]
        window = next(n for n in nodes(json.loads(run("swaymsg", "-t", "get_tree"))) if n.get("pid") == self.process.pid)
        return [window["rect"][k] + window["window_rect"][k] for k in "xy"]

    def click(self, control, button=1):
        # From outside the window, so that the window always learns that the pointer entered it.
        for spot in ((0, 0), [o + m for o, m in zip(self.origin(), self.middle(control))]):
            self.pointer.act(1, *spot, 640, 480)
        for state in (1, 0):
            self.pointer.act(2, {1: 0x110, 3: 0x111}[button], state)  # BTN_LEFT, BTN_RIGHT

    def activate(self):
        run("swaymsg", f"[pid={self.process.pid}]", "focus")

    def screenshot(self):
        run("grim", SCREENSHOT)


class Wine(XInput, Window):
    """Mivo.exe under Wine's X11 driver, read by msaa_reader.exe beside it, which finds the window by
    its title and its controls by the names that MSAA gives them. Wine hands an input method's keys to
    ibus through XIM, and the program is told nothing of a composition until it is committed."""
    WINE, reader = "/usr/lib/wine/wine64", None

    def start(self, input_method):
        self.process = subprocess.Popen([self.WINE, PROGRAM], stderr=subprocess.DEVNULL,
                                        env=dict(os.environ, XMODIFIERS="@im=ibus" if input_method else "@im=none"))
        Wine.reader = Wine.reader or subprocess.Popen(
            [self.WINE, pathlib.Path(PROGRAM).with_name("msaa_reader.exe")], stdin=subprocess.PIPE,
            stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True, encoding="utf-8")
        self.number = self.ask("find")[0]
        if self.number == "none":
            raise AssertionError("Mivo.exe showed no window titled Mivo with the controls that controls.h names")
        self.find_window()

    def ask(self, question):
        print(question, file=Wine.reader.stdin, flush=True)
        return Wine.reader.stdout.readline().rstrip("\n").split("\t")

    def facts(self):
        net, gross, focus, pressed, *boxes = self.ask(f"facts {self.number}")
        return Facts(net, gross, CONTROL.get(focus), pressed == "1",
                     [(t, x, h, int(b), i == "1") for t, x, h, b, i in zip(*[iter(boxes)] * 5)])

    def menu(self):
        """Once a second window shows: Wine's oleacc tells a screen reader none of a menu's entries."""
        return [] if len(run("xdotool", "search", "--all", "--onlyvisible", "--pid", str(self.process.pid),
                             "--name", "").split()) > 1 else None

    def layout(self):
        numbers = [int(n) for n in self.ask(f"layout {self.number}")]
        return numbers[:2], {c: numbers[4 + 4 * i:8 + 4 * i] for i, c in enumerate(DESIGN)}, numbers[2:4]

    def all_selected(self):
        return True  # XIM hands keys back in the order they came

    def hear_afresh(self):
        pass  # Wine tells a screen reader of no text change


WINDOW = {"x": X, "wayland": Wayland, "wine": Wine}[PLATFORM]
if PLATFORM != "wine":
    import pyatspi
    from gi.repository import Atspi, GLib


def play(steps):
    """Returns None when the story passed, or else what happened."""
    window, number = None, 0
    try:
        window = WINDOW(any(verb == "compose" for _, a, _ in steps for verb, _ in a or []))
        # The client area and the controls as designed, at the display's scale, rounded as Windows does;
        # the client area as large as the platform's smallest.
        def scaled(numbers):
            return [int(n * SCALE + 0.5) for n in numbers]
        size, places, smallest = wait_for(window.layout, "the window's layout")
        design = [[max(n, least) for n, least in zip(scaled(CLIENT), smallest)],
                  {c: scaled(r) for c, (_, r) in DESIGN.items()}]
        if size not in [design[0]] + [scaled(CLIENT)] * window.MAY_KEEP_ITS_SIZE or places != design[1]:
            return f"FAIL: the window is laid out as {[size, places]}, not as {design}"
        for number, actions, expected in steps:
            if actions is None:
                if PLATFORM in expected[0].split(", "):
                    return f"SKIP on {PLATFORM}: {expected[1]} (line {number})"
                continue
            for i, (verb, text) in enumerate(actions):
                if i == len(actions) - 1:
                    window.hear_afresh()
                window.act(verb, text)
            try:
                wait_for(lambda: shown(window.facts()) == expected, "")
            except AssertionError:
                return f"FAIL line {number}: expected {' | '.join(expected)}, found {' | '.join(shown(window.facts()))}"
        return None
    except Exception as error:  # a step that could not be played, or a window that went away
        return f"FAIL line {number}: {error}"
    finally:
        if window:
            window.close()


def main():
    stories = [s for s in parse(STORIES) if ONLY in s[0]]
    WINDOW.prepare(stories)
    counts = collections.Counter()
    for title, steps in stories:
        outcome = play(steps) or "PASS"
        counts[outcome[:4]] += 1
        print(f"{outcome[:4]} {title}" + (f":{outcome[4:]}" if outcome[4:] else ""), flush=True)
    print(f"{PLATFORM}: {counts['PASS']} passed, {counts['FAIL']} failed, {counts['SKIP']} skipped")
    return 1 if counts["FAIL"] or not counts["PASS"] else 0


if __name__ == "__main__":
    sys.exit(main())
