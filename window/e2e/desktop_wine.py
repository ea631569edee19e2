"""Wine: Mivo.exe under Wine's X11 driver on Xvfb with openbox, driven by xdotool, read by msaa_reader.exe
beside it through MSAA as a Windows screen reader does; ibus composes through XIM, and the program is told
nothing of a composition until it is committed."""

import os
import pathlib
import subprocess

from window import CONTROL, DESIGN, Facts, Window, run
from x_input import XInput


class Desktop(XInput, Window):
    WINE, reader = "/usr/lib/wine/wine64", None

    def start(self, input_method):
        self.process = subprocess.Popen([self.WINE, self.program], stderr=subprocess.DEVNULL,
                                        env=dict(os.environ, XMODIFIERS="@im=ibus" if input_method else "@im=none"))
        Desktop.reader = Desktop.reader or subprocess.Popen(
            [self.WINE, pathlib.Path(self.program).with_name("msaa_reader.exe")], stdin=subprocess.PIPE,
            stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True, encoding="utf-8")
        self.number = self.ask("find")[0]
        if self.number == "none":
            raise AssertionError("Mivo.exe showed no window titled Mivo with the controls that controls.h names")
        self.find_window()

    def ask(self, question):
        print(question, file=Desktop.reader.stdin, flush=True)
        return Desktop.reader.stdout.readline().rstrip("\n").split("\t")

    def facts(self):
        net, gross, focus, pressed, *boxes = self.ask(f"facts {self.number}")
        return Facts(net, gross, CONTROL.get(focus), pressed == "1",
                     [(t, x, h, int(b), i == "1") for t, x, h, b, i in zip(*[iter(boxes)] * 5)])

    def compose(self, text):
        self.type(text)  # with the input method on

    def menu(self):
        """Once a second window shows: Wine's oleacc tells a screen reader none of a menu's entries."""
        return [] if len(run("xdotool", "search", "--all", "--onlyvisible", "--pid", str(self.process.pid),
                             "--name", "").split()) > 1 else None

    def layout(self):
        numbers = [int(n) for n in self.ask(f"layout {self.number}")]
        return numbers[:2], {c: numbers[4 + 4 * i:8 + 4 * i] for i, c in enumerate(DESIGN)}, numbers[2:4]

    def all_selected(self):
        return True  # XIM hands keys back in the order they came

    def hear_afresh(self, step=False):
        pass  # Wine tells a screen reader of no text change, and the reader hears no notification
