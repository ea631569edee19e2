"""Plays the window's stories on a real window: a desktop's driver (desktop_DESKTOP.py) starts the program as
it ships, does what the user does and reads facts off the window from outside, as a screen reader does; the
player compares them with each story, in each way that the desktop's users reach its input method.

Usage: play_stories.py x|sway|gnome|kde|wine PROGRAM STORIES SCREENSHOT [PART-OF-A-TITLE]"""

import collections
import importlib
import os
import re
import sys

from window import CLIENT, DESIGN, verbs, wait_for

DESKTOP, PROGRAM, STORIES, SCREENSHOT, ONLY = (sys.argv[1:] + [""])[:5]
SCALE = int(os.environ.get("MIVO_DPI", "96")) / 96  # the display's scale, for Mivo.exe


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
    where += "".join(f', told "{told}"' for told in facts.told or [])
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


def play(window_kind, steps):
    """Returns None when the story passed, or else what happened."""
    window, number = None, 0
    try:
        window = window_kind("compose" in verbs(steps))
        # As designed, at the display's scale, rounded as Windows does; no smaller than the platform lets it.
        def scaled(numbers):
            return [int(n * SCALE + 0.5) for n in numbers]
        size, places, smallest = wait_for(window.layout, "the window's layout")
        design = [[max(n, least) for n, least in zip(scaled(CLIENT), smallest)],
                  {c: scaled(r) for c, (_, r) in DESIGN.items()}]
        if size not in [design[0]] + [scaled(CLIENT)] * window.MAY_KEEP_ITS_SIZE or places != design[1]:
            return f"FAIL: the window is laid out as {[size, places]}, not as {design}"
        for number, actions, expected in steps:
            if actions is None:
                if DESKTOP in expected[0].split(", "):
                    return f"SKIP on {DESKTOP}: {expected[1]} (line {number})"
                continue
            if window.facts().told is None:  # what the driver cannot hear is not expected
                expected = (*expected[:2], re.sub(r', told ".*"$', "", expected[2]))
            for i, (verb, text) in enumerate(actions):
                if i in (0, len(actions) - 1):
                    window.hear_afresh(step=i == 0)
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
    window_kind = importlib.import_module(f"desktop_{DESKTOP}").Desktop
    window_kind.program, window_kind.screenshot_file = PROGRAM, SCREENSHOT
    stories = [s for s in parse(STORIES) if ONLY in s[0]]
    window_kind.prepare()
    counts = collections.Counter()
    for mode in window_kind.MODES:
        window_kind.mode = mode
        for title, steps in stories:
            why = window_kind.cannot(steps)
            for _ in range(1 if why else window_kind.times(steps)):
                outcome = f"SKIP {why}" if why else play(window_kind, steps) or "PASS"
                counts[outcome[:4]] += 1
                print(f"{outcome[:4]} {f'[{mode}] ' if mode else ''}{title}" + (f":{outcome[4:]}" if outcome[4:] else ""),
                      flush=True)
    print(f"{DESKTOP}: {counts['PASS']} passed, {counts['FAIL']} failed, {counts['SKIP']} skipped")
    return 1 if counts["FAIL"] or not counts["PASS"] else 0


if __name__ == "__main__":
    sys.exit(main())
