"""Plays the window's stories on a real window and reports each as passed, failed or skipped.

A driver does what the user does and reads raw facts off the window, finding each control by its
accessible name; the player compares them with the story. x, wayland: the Linux program on a desktop
of its own, driven by xdotool, or by wtype and a mouse of our own, and read through AT-SPI as a screen
reader reads it. wine: Mivo.exe's window, in the engine under Wine that PROGRAM names.

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
# From the table that the windows are built from: {"Text1", u"0", u"税抜金額", ...
NAMES = dict(re.findall(r'\{"(\w+)", u"[^"]*", u"([^"]+)"',
                        (pathlib.Path(STORIES).parent / "controls.h").read_text(encoding="utf-8")))
KEYS = {"Enter": "Return", "KeypadEnter": "KP_Enter", "Shift+Enter": "shift+Return", "Tab": "Tab",
        "Shift+Tab": "shift+Tab", "Space": "space", "Delete": "Delete", "Escape": "Escape",
        "select all": "ctrl+a"}
# The texts, the control with the focus, the button held down, and each open box's title, text,
# number of buttons and warning sign.
Facts = collections.namedtuple("Facts", "net gross focus pressed boxes")


def shown(facts):
    """net | gross | the control with the focus or the open box, as the stories write it."""
    where = "Command1 held down" if facts.pressed else facts.focus or "nothing"
    for title, text, buttons, warning in facts.boxes[:1]:
        where = ("warning" if warning else "box") + f' "{text}"'
        if (title, buttons) != ("Mivo", 1):
            where = f"a box titled {title} with {buttons} buttons: {where}"
    return facts.net, facts.gross, where if len(facts.boxes) < 2 else f"{len(facts.boxes)} boxes"


def parse(path):
    """[(title, [(line, [(verb, text or None)...] or None for a skip, expected)...])...]"""
    stories = []
    for number, line in enumerate(open(path, encoding="utf-8"), 1):
        if (line := line.strip()).startswith("=="):
            stories.append((line[2:].strip(), []))
        elif skip := re.fullmatch(r"skip on (\w+): (.*)", line):
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


class AtSpiWindow:
    """The Linux program, read through AT-SPI; the desktops below give it keys and clicks. With an
    input method, typing composes Japanese, as a user with it switched on does."""
    def __init__(self, input_method=False):
        focused_before = input_method and self.input_context()
        self.process = subprocess.Popen([PROGRAM], stderr=subprocess.DEVNULL,
                                        env=dict(os.environ, QT_IM_MODULE="ibus" if input_method else ""))
        self.app = wait_for(lambda: [a for a in pyatspi.Registry.getDesktop(0)
                                     if a and a.get_process_id() == self.process.pid], "the program")[0]
        self.app.set_cache_mask(Atspi.Cache.NONE)
        self.controls = {c: wait_for(lambda n=n: self.find(name=n), n)[0] for c, n in NAMES.items()}
        if input_method:  # keys typed before the program has its input context would not compose
            wait_for(lambda: self.input_context() != focused_before, "the input method")

    @classmethod
    def prepare(cls, stories):
        """Listens to what ibus tells the windows it has composed."""
        AtSpiWindow.told = subprocess.Popen(
            ["dbus-monitor", "--address", os.environ["IBUS_ADDRESS"],
             "type='signal',interface='org.freedesktop.IBus.InputContext',member='UpdatePreeditText'"],
            stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
        os.set_blocking(AtSpiWindow.told.stdout.fileno(), False)

    @staticmethod
    def input_context():
        """The input context of ibus that has the focus."""
        return run("gdbus", "call", "--address", os.environ["IBUS_ADDRESS"], "--dest", "org.freedesktop.IBus",
                   "--object-path", "/org/freedesktop/IBus", "--method", "org.freedesktop.DBus.Properties.Get",
                   "org.freedesktop.IBus", "CurrentInputContext")

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

    def facts(self):
        def box(alert):
            return (alert.name, " ".join(label.name for label in self.find(pyatspi.ROLE_LABEL, node=alert)),
                    len(self.find(pyatspi.ROLE_PUSH_BUTTON, node=alert)), bool(self.find(pyatspi.ROLE_IMAGE, node=alert)))
        state = {c: a.getState() for c, a in self.controls.items()}
        return Facts(*(self.controls[c].queryText().getText(0, -1) for c in ("Text1", "Text2")),
                     next((c for c, s in state.items() if s.contains(pyatspi.STATE_FOCUSED)), None),
                     state["Command1"].contains(pyatspi.STATE_PRESSED), [box(a) for a in self.find(pyatspi.ROLE_ALERT)])

    def middle(self, control):
        """The middle of the control, from the window's top left corner."""
        window, it = (a.queryComponent().getExtents(pyatspi.DESKTOP_COORDS)
                      for a in (self.app.getChildAtIndex(0), self.controls[control]))
        return it.x - window.x + it.width // 2, it.y - window.y + it.height // 2

    def act(self, verb, text):
        if verb in ("type", "compose"):
            getattr(self, verb)(text)
        elif verb.startswith("click "):
            self.click(verb[6:])
        elif verb == "ok":
            self.key("Enter")
            wait_for(lambda: not self.find(pyatspi.ROLE_ALERT), "the box to close")
        elif verb == "menu":
            self.click(self.facts().focus, button=3)
            wait_for(self.menu_open, "the menu")
            self.key("Escape")
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


class X(AtSpiWindow):
    def __init__(self, input_method=False):
        super().__init__(input_method)
        self.window = wait_for(lambda: run("xdotool", "search", "--all", "--onlyvisible", "--pid",
                                           str(self.process.pid), "--name", "^Mivo$").split(), "the window")[0]

    def key(self, name):
        run("xdotool", "key", "--delay", "20", KEYS.get(name, name))

    def type(self, text):
        run("xdotool", "type", "--delay", "20", "--", text)

    def click(self, control, button=1):
        run("xdotool", "mousemove", "--window", self.window, *map(str, self.middle(control)), "click", str(button))

    def menu_open(self):
        return len(run("xdotool", "search", "--all", "--onlyvisible", "--pid", str(self.process.pid),
                       "--name", "").split()) > 1

    def activate(self):
        run("xdotool", "windowactivate", "--sync", self.window)

    def screenshot(self):
        run("import", "-window", "root", SCREENSHOT)


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


class Wayland(AtSpiWindow):
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

    def menu_open(self):
        """Something shows beside the window, where its menu opens, on the desktop's plain colour:
        Qt's menus are neither on the accessibility bus nor in sway's tree."""
        x, y = self.origin()
        shot = [run("grim", "-t", "ppm", "-g", region, "-", text=False).split(b"\n", 3)[3]
                for region in ("0,0 1x1", f"{x + 120},{y + 20} 60x40")]
        return shot[1] != shot[0] * 2400

    def activate(self):
        run("swaymsg", f"[pid={self.process.pid}]", "focus")

    def screenshot(self):
        run("grim", SCREENSHOT)


class Wine:
    """Mivo.exe's window in its engine, which does each action to its end and keeps what the window
    showed as each box opened (and closes it) until it is asked for the facts."""
    engine = None
    KEYS = {"Enter": "13 0 0", "KeypadEnter": "13 0 1", "Shift+Enter": "13 1 0", "Tab": "9 0 0",
            "Shift+Tab": "9 1 0", "Space": "32 0 0", "Delete": "46 0 0", "Escape": "27 0 0"}  # code, Shift, keypad

    def __init__(self, input_method=False):
        wine_run = pathlib.Path(__file__).resolve().parents[2] / "scripts" / "wine-run"
        Wine.engine = Wine.engine or subprocess.Popen([wine_run, PROGRAM], stdin=subprocess.PIPE,
                                                      stdout=subprocess.PIPE, text=True, encoding="utf-8")
        self.act("start", None)

    @staticmethod
    def prepare(stories):
        pass

    def ask(self, line):
        print(line, file=Wine.engine.stdin, flush=True)
        return Wine.engine.stdout.readline().rstrip("\n").split("\t")

    def act(self, verb, text):
        self.read = None
        if verb in self.KEYS:
            verb, text = "key", self.KEYS[verb]
        elif verb.startswith("click "):
            verb, text = "click", verb[6:]
        if self.ask(f"{verb} {text or ''}") != ["done"]:
            raise AssertionError(f"Mivo.exe's window cannot {verb} {text}")

    def facts(self):
        if not self.read:
            net, gross, focus, pressed, *boxes = self.ask("facts")
            self.read = Facts(net, gross, focus or None, pressed == "1",
                              [(t, x, int(b), w == "1") for t, x, b, w in zip(*[iter(boxes)] * 4)])
        return self.read

    def close(self):
        pass


WINDOW = {"x": X, "wayland": Wayland, "wine": Wine}[PLATFORM]
if PLATFORM != "wine":
    import pyatspi
    from gi.repository import Atspi


def play(steps):
    """Returns None when the story passed, or else what happened."""
    window, number = WINDOW(any(verb == "compose" for _, a, _ in steps for verb, _ in a or [])), 0
    try:
        for number, actions, expected in steps:
            if actions is None:
                if expected[0] == PLATFORM:
                    return f"SKIP on {PLATFORM}: {expected[1]} (line {number})"
                continue
            for verb, text in actions:
                window.act(verb, text)
            try:
                wait_for(lambda: shown(window.facts()) == expected, "")
            except AssertionError:
                return f"FAIL line {number}: expected {' | '.join(expected)}, found {' | '.join(shown(window.facts()))}"
        return None
    except Exception as error:  # a step that could not be played, or a window that went away
        return f"FAIL line {number}: {error}"
    finally:
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
