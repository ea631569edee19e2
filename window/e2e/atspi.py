"""The Linux program read through AT-SPI as a screen reader reads it, and the session bus, on which the
Wayland desktops are driven and asked where their windows are."""

import subprocess
import tempfile
import time

import pyatspi
from gi.repository import Atspi, Gio, GLib

from window import CONTROL, NAMES, Facts, Window, wait_for

# Held for the run: GNOME Shell ends a remote desktop with the connection that made it.
SESSION_BUS = Gio.bus_get_sync(Gio.BusType.SESSION)


def call(service, path, method, signature=None, *args):
    interface, method = method.rsplit(".", 1)
    return SESSION_BUS.call_sync(service, path, interface, method, GLib.Variant(signature, args) if signature else None,
                                 None, 0, -1).unpack()


class AtSpi(Window):
    """Reads the program's window, and hears what it tells a screen reader of each focus move and text
    change: noted is a control whose text changed before the focus was told to arrive there."""
    playing = {}  # the windows by their process

    @classmethod
    def prepare(cls):
        super().prepare()
        pyatspi.Registry.registerEventListener(cls.hear, "object:state-changed:focused", "object:text-changed",
                                               "object:state-changed:showing", "object:announcement")

    @staticmethod
    def hear(event):
        """Notes text changes, focus arrivals, a menu's entries, and what the program has a screen reader say
        wherever the focus is: an announcement, or a notification that shows (Qt 6.4 has no announcements). A
        menu is not among the program's children, and has gone when its closing is told: known by its path."""
        source = event.source
        try:
            if "showing" in event.type and not event.detail1:
                for window in AtSpi.playing.values():
                    if source.path == window.menu_path:
                        window.menu_told = window.menu_path = None
            elif window := AtSpi.playing.get(source.get_process_id()):
                control, role = CONTROL.get(source.name), "showing" in event.type and source.getRole()
                if "announcement" in event.type:
                    window.announced.append(event.any_data)
                elif role == pyatspi.ROLE_NOTIFICATION:
                    window.announced.append(source.name)
                elif role == pyatspi.ROLE_POPUP_MENU:
                    window.menu_told, window.menu_path = [entry.name for entry in source], source.path
                elif control and "text" in event.type:
                    window.changed.add(control)
                elif control in window.changed and event.detail1:
                    window.late = window.late or control
        except GLib.Error:  # told by a program that has ended since
            pass

    def start(self, input_method):
        """The program, once its window has the keyboard: keys sent sooner are lost."""
        self.said = tempfile.TemporaryFile()  # what the program says on its standard error
        self.process = subprocess.Popen([self.program], stderr=self.said, env=self.environment(input_method))
        self.app = wait_for(lambda: [a for a in pyatspi.Registry.getDesktop(0)
                                     if a and a.get_process_id() == self.process.pid], "the program")[0]
        self.app.set_cache_mask(Atspi.Cache.NONE)
        self.controls = {c: wait_for(lambda n=n: self.find(name=n), n)[0] for c, n in NAMES.items()}
        self.changed, self.late, self.menu_told, self.menu_path, self.announced = set(), None, None, None, []
        AtSpi.playing[self.process.pid] = self
        wait_for(lambda: self.app.getChildAtIndex(0).getState().contains(pyatspi.STATE_ACTIVE), "the keyboard")

    def find(self, role=None, name=None, node=None):
        """The showing accessible objects of that role, or those of that name, below node."""
        node, found = node or self.app, []
        for child in filter(None, (node.getChildAtIndex(i) for i in range(node.childCount))):
            if child.name == name or child.getRole() == role and child.getState().contains(pyatspi.STATE_SHOWING):
                found.append(child)
            found += self.find(role, name, child)
        return found

    def hear_afresh(self, step=False):
        """Once the window shows the same twice, hears only what comes next: what it has a screen reader say,
        from a step's first action; the rest, from its last."""
        last = None
        while (now := self.facts()) != last:
            last, _ = now, time.sleep(0.03)
        self.changed, self.late, self.announced = set(), None, [] if step else self.announced

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
            pass  # what the buses told meanwhile, to hear()
        state = {c: a.getState() for c, a in self.controls.items()}
        return Facts(*(self.controls[c].queryText().getText(0, -1) for c in ("Text1", "Text2")),
                     next((c for c, s in state.items() if s.contains(pyatspi.STATE_FOCUSED)), None),
                     state["Command1"].contains(pyatspi.STATE_PRESSED), [box(a) for a in self.find(pyatspi.ROLE_ALERT)],
                     self.late, self.announced)

    def box_has_keyboard(self):
        return any(a.getState().contains(pyatspi.STATE_ACTIVE) for a in self.find(pyatspi.ROLE_ALERT))

    def menu(self):
        """The entries of the menu that the program has told a screen reader is open, once facts() has heard it."""
        return self.facts() and self.menu_told

    def all_selected(self):
        """Whether the focused field's text is selected. Qt hands keys to the input method and back while
        it composes, and a composition begun meanwhile would come before the key."""
        text = self.controls[self.facts().focus].queryText()
        return text.getNSelections() == 1 and text.getSelection(0) == (0, text.characterCount)

    def layout(self):
        """The window's size, and each control's place and size, from AT-SPI's extents."""
        window, *controls = (a.queryComponent().getExtents(pyatspi.DESKTOP_COORDS)
                             for a in [self.app.getChildAtIndex(0), *self.controls.values()])
        return [window.width, window.height], {c: [e.x - window.x, e.y - window.y, e.width, e.height]
                                              for c, e in zip(self.controls, controls)}, self.SMALLEST
