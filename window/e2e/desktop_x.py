"""X: the Linux program on a private Xvfb with openbox, driven by xdotool and read through AT-SPI, with
ibus and mozc reached through Qt's ibus support."""

from atspi import AtSpi
from x_input import XInput


class Desktop(XInput, AtSpi):
    def start(self, input_method):
        super().start(input_method)
        self.find_window()
