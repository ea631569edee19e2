"""Keys, typing and clicks through the X server (xdotool), for the Linux program and Mivo.exe alike."""

from window import KEYS, run, wait_for


class XInput:
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
        run("import", "-window", "root", self.screenshot_file)
