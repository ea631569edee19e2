"""The real program on a real X server: driven by xdotool's key and mouse events, read through
AT-SPI as a screen reader reads it, so that reading never moves the focus."""

import subprocess
import sys
import time

import pyatspi
from gi.repository import Atspi

PROGRAM, SCREENSHOT = sys.argv[1], sys.argv[2]
NET, GROSS, BUTTON = "税抜金額", "税込金額", "消費税計算機"
# Where to click, in window coordinates: inside the visible part of each control.
CLICK_AT = {NET: (20, 8), GROSS: (20, 24), BUTTON: (20, 40)}


def wait_for(condition, what, timeout=5.0):
    deadline = time.monotonic() + timeout
    while True:
        try:
            value = condition()
        except Exception:  # an accessible object that went away while being read
            value = None
        if value:
            return value
        if time.monotonic() > deadline:
            raise AssertionError(f"timed out waiting for {what}")
        time.sleep(0.02)


def find(node, predicate):
    if predicate(node):
        return node
    for i in range(node.childCount):
        child = node.getChildAtIndex(i)
        if child is not None and (found := find(child, predicate)):
            return found
    return None


def xdotool(*args):
    return subprocess.run(["xdotool", *args], check=True, capture_output=True, text=True).stdout


class Calculator:
    def __init__(self):
        self.process = subprocess.Popen([PROGRAM], stderr=subprocess.DEVNULL)
        desktop = pyatspi.Registry.getDesktop(0)
        self.app = wait_for(lambda: next(a for a in desktop if a and a.get_process_id() == self.process.pid),
                            "the program on the accessibility bus")
        self.app.set_cache_mask(Atspi.Cache.NONE)
        self.controls = {name: wait_for(lambda n=name: find(self.app, lambda a: a.name == n), name)
                         for name in (NET, GROSS, BUTTON)}
        self.window = wait_for(lambda: xdotool("search", "--all", "--onlyvisible", "--pid",
                                               str(self.process.pid), "--name", "^Mivo$").split()[0],
                               "the window")
        self.expect(focus=NET, net="0", gross="0")

    def close(self):
        self.process.terminate()
        self.process.wait(5)

    def text(self, name):
        return self.controls[name].queryText().getText(0, -1)

    def focused(self):
        return next((n for n, c in self.controls.items()
                     if c.getState().contains(pyatspi.STATE_FOCUSED)), None)

    def box(self):
        return find(self.app, lambda a: a.getRole() == pyatspi.ROLE_ALERT)

    def keys(self, *keys):
        xdotool("key", "--delay", "20", *keys)

    def type(self, text):
        self.keys("ctrl+a")
        xdotool("type", "--delay", "20", "--", text)
        wait_for(lambda: self.text(self.focused()) == text, f"{text!r} to be typed")

    def click(self, name):
        x, y = CLICK_AT[name]
        xdotool("mousemove", "--window", self.window, str(x), str(y), "click", "1")

    def dismiss_box(self, text, icon=False):
        box = wait_for(self.box, f"a box saying {text}")
        shown = [l.name for l in [find(box, lambda a: a.getRole() == pyatspi.ROLE_LABEL and a.name)] if l]
        buttons = []
        find(box, lambda a: a.getRole() == pyatspi.ROLE_PUSH_BUTTON and buttons.append(a.name))
        assert box.name == "Mivo", f"box title {box.name!r}"
        assert shown == [text], f"box text {shown!r}, expected {text!r}"
        assert len(buttons) == 1, f"box buttons {buttons!r}"
        self.keys("Return")
        wait_for(lambda: self.box() is None, "the box to close")

    def expect(self, focus=None, net=None, gross=None):
        def holds():
            return ((focus is None or self.focused() == focus)
                    and (net is None or self.text(NET) == net)
                    and (gross is None or self.text(GROSS) == gross))
        try:
            wait_for(holds, "the window's state")
        except AssertionError:
            raise AssertionError(f"expected focus {focus} net {net!r} gross {gross!r}, found focus "
                                 f"{self.focused()} net {self.text(NET)!r} gross {self.text(GROSS)!r}")
        assert self.box() is None, "an unexpected box is open"


def enter_walks_the_controls(c):
    c.type("1000")
    c.keys("Return")
    c.expect(focus=GROSS, net="1000", gross="1050")
    c.keys("KP_Enter")
    c.expect(focus=BUTTON)
    c.keys("Return")
    c.expect(focus=NET)
    c.type("20.7")
    c.keys("shift+Return")
    c.expect(focus=GROSS, net="20", gross="21")
    c.keys("Tab")
    c.expect(focus=BUTTON)
    c.keys("space")
    c.expect(focus=NET)
    c.keys("shift+Tab")
    c.expect(focus=BUTTON, net="20", gross="21")


def gross_amounts(c):
    for gross, net, no_match, after in [("21", "20", False, "21"), ("1051", "1001", False, "1051"),
                                        ("104", "100", True, "105"), ("0.5", "1", True, "1"),
                                        ("-1", "0", True, "0"), ("105.0", "100", False, "105.0")]:
        c.click(GROSS)
        c.expect(focus=GROSS)
        c.type(gross)
        c.keys("Tab")
        if no_match:
            c.dismiss_box("該当金額無")
        c.expect(focus=BUTTON, net=net, gross=after)


def bad_amount_is_reported_and_kept(c):
    c.type("abc")
    c.keys("Return")
    c.dismiss_box("「abc」は金額として読めません。")
    c.expect(focus=NET, net="abc", gross="0")
    c.type("200")
    c.keys("Return")
    c.expect(focus=GROSS, net="200", gross="210")


# The press that opens the box is not also a click: the focus stays on the button.
def click_on_the_button_with_a_gross_that_has_no_net(c):
    c.click(GROSS)
    c.type("62")
    c.click(BUTTON)
    c.dismiss_box("該当金額無")
    c.expect(focus=BUTTON, net="60", gross="63")
    c.click(BUTTON)
    c.expect(focus=NET)


def switching_windows_runs_nothing(c):
    c.type("20.7")
    other = Calculator()
    try:
        xdotool("windowactivate", "--sync", other.window)
        other.expect(focus=NET)
        xdotool("windowactivate", "--sync", c.window)
        c.expect(focus=NET, net="20.7", gross="0")
    finally:
        other.close()


def main():
    scenarios = [enter_walks_the_controls, gross_amounts, bad_amount_is_reported_and_kept,
                 click_on_the_button_with_a_gross_that_has_no_net, switching_windows_runs_nothing]
    passed = failed = 0
    for scenario in scenarios:
        c = Calculator()
        try:
            scenario(c)
            passed += 1
            print(f"PASS {scenario.__name__}")
        except AssertionError as error:
            failed += 1
            print(f"FAIL {scenario.__name__}: {error}")
        finally:
            subprocess.run(["import", "-window", "root", SCREENSHOT], check=False)
            c.close()
    print(f"{passed} passed, {failed} failed")
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
