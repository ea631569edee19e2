"""Plays the window's stories on a real window and reports each as passed, failed or skipped.

A driver does what the user does and reads raw facts off the window; the player compares them
with the story. x, wayland: the Linux program on a desktop of its own, driven by xdotool, or by
wtype and a virtual pointer, and read through AT-SPI as a screen reader reads it, so that reading
never moves the focus. wine: Mivo.exe's window, in the engine under Wine that PROGRAM names.
Every driver finds the controls by their accessible names.

Usage: play_stories.py x|wayland|wine PROGRAM STORIES SCREENSHOT [PART-OF-A-TITLE]"""

import collections
import json
import os
import pathlib
import re
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
# What a driver reads: the two texts, the control with the focus (or None), whether the button is
# held down, and the boxes open (each: title, text, number of buttons, whether it has a warning sign).
Facts = collections.namedtuple("Facts", "net gross focus pressed boxes")


def shown(facts):
    """net | gross | the control with the focus, or the open box, as the stories write it."""
    where = "Command1 held down" if facts.pressed else facts.focus or "nothing"
    if len(facts.boxes) > 1:
        where = f"{len(facts.boxes)} boxes"
    elif facts.boxes:
        title, text, buttons, warning = facts.boxes[0]
        where = ("warning" if warning else "box") + f' "{text}"'
        if (title, buttons) != ("Mivo", 1):
            where = f"a box titled {title} with {buttons} buttons: {where}"
    return facts.net, facts.gross, where


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
    while True:
        try:
            if value := condition():
                return value
        except Exception:  # an accessible object that went away while being read
            pass
        if time.monotonic() > deadline:
            raise AssertionError(f"timed out waiting for {what}")
        time.sleep(0.02)


def run(*command):
    return subprocess.run(command, check=True, capture_output=True, text=True).stdout


class AtSpiWindow:
    """The Linux program, read through AT-SPI; the desktops below give it keys and clicks. With an
    input method, typing composes Japanese, as a user with it switched on does."""
    def __init__(self, input_method=False):
        environment = dict(os.environ, QT_IM_MODULE="ibus") if input_method else None
        focused_before = input_method and self.input_context()
        self.process = subprocess.Popen([PROGRAM], stderr=subprocess.DEVNULL, env=environment)
        bus = pyatspi.Registry.getDesktop(0)
        self.app = wait_for(lambda: [a for a in bus if a and a.get_process_id() == self.process.pid],
                            "the program on the accessibility bus")[0]
        self.app.set_cache_mask(Atspi.Cache.NONE)
        self.controls = {c: wait_for(lambda n=n: self.find(lambda a: a.name == n), n)[0]
                         for c, n in NAMES.items()}
        if input_method:  # keys typed before the program has its input context would not compose
            wait_for(lambda: self.input_context() != focused_before, "the input method")

    @classmethod
    def prepare(cls, stories):
        """Listens to what ibus tells the windows it has composed."""
        AtSpiWindow.preedits = subprocess.Popen(
            ["dbus-monitor", "--address", os.environ["IBUS_ADDRESS"],
             "type='signal',interface='org.freedesktop.IBus.InputContext',member='UpdatePreeditText'"],
            stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
        os.set_blocking(AtSpiWindow.preedits.stdout.fileno(), False)

    @staticmethod
    def input_context():
        """The input context of ibus that has the focus."""
        return run("gdbus", "call", "--address", os.environ["IBUS_ADDRESS"], "--dest", "org.freedesktop.IBus",
                   "--object-path", "/org/freedesktop/IBus", "--method", "org.freedesktop.DBus.Properties.Get",
                   "org.freedesktop.IBus", "CurrentInputContext")

    def compose(self, text):
        """Types with the input method on, and goes on once the window has been told what was composed,
        as a user sees it first: a click sooner would commit only what the window had been told."""
        self.preedits.stdout.read()
        self.type(text)
        told, wide = b"", f'string "{text.translate({c: c + 0xFEE0 for c in range(0x21, 0x7F)})}"'.encode()

        def composed():
            nonlocal told
            told += self.preedits.stdout.read() or b""
            return wide in told
        wait_for(composed, "the window to be told what was composed")

    def find(self, predicate, node=None):
        node = node or self.app
        found = [node] if predicate(node) else []
        for child in filter(None, (node.getChildAtIndex(i) for i in range(node.childCount))):
            found += self.find(predicate, child)
        return found

    def showing(self, role, node=None):
        return self.find(lambda a: a.getRole() == role and a.getState().contains(pyatspi.STATE_SHOWING), node)

    def facts(self):
        def box(alert):
            text = " ".join(label.name for label in self.showing(pyatspi.ROLE_LABEL, alert))
            return (alert.name, text, len(self.showing(pyatspi.ROLE_PUSH_BUTTON, alert)),
                    bool(self.showing(pyatspi.ROLE_IMAGE, alert)))
        texts = [self.controls[c].queryText().getText(0, -1) for c in ("Text1", "Text2")]
        focus = [c for c, a in self.controls.items() if a.getState().contains(pyatspi.STATE_FOCUSED)]
        pressed = self.controls["Command1"].getState().contains(pyatspi.STATE_PRESSED)
        return Facts(*texts, (focus or [None])[0], pressed, [box(a) for a in self.showing(pyatspi.ROLE_ALERT)])

    def middle(self, control):
        """The middle of the control, from the window's top left corner."""
        window, extents = (a.queryComponent().getExtents(pyatspi.DESKTOP_COORDS)
                           for a in (self.app.getChildAtIndex(0), self.controls[control]))
        return extents.x - window.x + extents.width // 2, extents.y - window.y + extents.height // 2

    def act(self, verb, text):
        if verb == "type":
            self.type(text)
        elif verb == "compose":
            self.compose(text)
        elif verb.startswith("click "):
            self.click(verb[6:])
        elif verb == "ok":
            self.key("Enter")
            wait_for(lambda: not self.showing(pyatspi.ROLE_ALERT), "the box to close")
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
        self.screenshot(SCREENSHOT)
        self.process.terminate()
        self.process.wait(5)


class X(AtSpiWindow):
    def __init__(self, input_method=False):
        super().__init__(input_method)
        self.window = wait_for(lambda: run("xdotool", "search", "--all", "--onlyvisible", "--pid",
                                           str(self.process.pid), "--name", "^Mivo$").split(), "the window")[0]

    @classmethod
    def prepare(cls, stories):
        """xdotool garbles characters that are not on the keyboard: give each a spare key first."""
        super().prepare(stories)
        spare = re.findall(r"^keycode +(\d+) =\s*$", run("xmodmap", "-pke"), re.M)
        wanted = {c for _, steps in stories for _, actions, _ in steps for verb, text in actions or []
                  if verb == "type" for c in text if ord(c) > 127}
        for c, code in zip(sorted(wanted), reversed(spare)):
            run("xmodmap", "-e", f"keycode {code} = U{ord(c):04X}")

    def key(self, name):
        run("xdotool", "key", "--delay", "20", KEYS[name])

    def type(self, text):
        for plain, other in re.findall(r"([\x00-\x7f]*)([^\x00-\x7f]?)", text):
            run("xdotool", "type", "--delay", "20", "--", plain)
            if other:
                run("xdotool", "key", f"U{ord(other):04X}")

    def click(self, control, button=1):
        run("xdotool", "mousemove", "--window", self.window, *map(str, self.middle(control)), "click", str(button))

    def activate(self):
        run("xdotool", "windowactivate", "--sync", self.window)

    def menu_open(self):
        return len(run("xdotool", "search", "--all", "--onlyvisible", "--pid", str(self.process.pid),
                       "--name", "").split()) > 1

    def screenshot(self, path):
        run("import", "-window", "root", path)


class Wayland(AtSpiWindow):
    @classmethod
    def prepare(cls, stories):
        """wtype sends a keymap of its own with whatever it types; the mouse is made before any window,
        which would otherwise learn of it too late for the first click."""
        super().prepare(stories)
        Wayland.pointer = subprocess.Popen([pathlib.Path(PROGRAM).parent / "virtual_pointer"],
                                           stdin=subprocess.PIPE, stdout=subprocess.PIPE, text=True)
        Wayland.point("move 0 0 640 480")

    @staticmethod
    def point(command):
        print(command, file=Wayland.pointer.stdin, flush=True)
        assert Wayland.pointer.stdout.readline() == "done\n", "the virtual pointer went away"

    def key(self, name):
        *modifiers, key = KEYS[name].split("+")
        run("wtype", *(a for m in modifiers for a in ("-M", m)), "-k", key,
            *(a for m in modifiers for a in ("-m", m)))

    def type(self, text):
        run("wtype", "--", text)

    def origin(self):
        """The window's top left corner on the screen, from sway."""
        def nodes(node):
            yield node
            for child in node["nodes"] + node["floating_nodes"]:
                yield from nodes(child)
        window = next(n for n in nodes(json.loads(run("swaymsg", "-t", "get_tree")))
                      if n.get("pid") == self.process.pid)
        return [window["rect"][k] + window["window_rect"][k] for k in "xy"]

    def click(self, control, button=1):
        x, y = (o + m for o, m in zip(self.origin(), self.middle(control)))
        # From outside the window, so that the window always learns that the pointer entered it.
        button = 0x110 if button == 1 else 0x111  # BTN_LEFT, BTN_RIGHT
        for command in ("move 0 0 640 480", f"move {x} {y} 640 480", f"click {button}"):
            Wayland.point(command)

    def activate(self):
        run("swaymsg", f"[pid={self.process.pid}]", "focus")

    def menu_open(self):
        """Something shows beside the window, where its menu opens, on the desktop's plain colour:
        Qt's menus are neither on the accessibility bus nor in sway's tree."""
        x, y = self.origin()
        shot = [subprocess.run(["grim", "-t", "ppm", "-g", region, "-"], check=True, capture_output=True)
                .stdout.split(b"\n", 3)[3] for region in ("0,0 1x1", f"{x + 120},{y + 20} 60x40")]
        return shot[1] != shot[0] * 2400

    def screenshot(self, path):
        run("grim", path)


class Wine:
    """Mivo.exe's window in its engine, which does each action to its end and keeps what the window
    showed as each box opened (and closes it) until it is asked for the facts."""
    engine = None

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
        if self.ask(verb if text is None else f"{verb} {text}") != ["done"]:
            raise AssertionError(f"Mivo.exe's window cannot {verb}")

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
    counts = {"PASS": 0, "FAIL": 0, "SKIP": 0}
    for title, steps in stories:
        outcome = play(steps) or "PASS"
        counts[outcome[:4]] += 1
        print(f"{outcome[:4]} {title}" + (f":{outcome[4:]}" if outcome[4:] else ""), flush=True)
    print(f"{PLATFORM}: {counts['PASS']} passed, {counts['FAIL']} failed, {counts['SKIP']} skipped")
    return 1 if counts["FAIL"] or not counts["PASS"] else 0


if __name__ == "__main__":
    sys.exit(main())
