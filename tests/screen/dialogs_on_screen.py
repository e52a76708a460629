"""The dialogs that the settings sheet opens reach the screen drawn.

The stand-in dock opens the settings and presses, one after another, Add on the
"RSS Feed Profiles" page (the profile editor), Back Up there (the backup file dialog) and
Browse... on the "Icons & Images" page (the dock's image browser). Each dialog is looked
at on the X root window, as the screen shows it, from the moment it is mapped. Within
DRAW_SECONDS the dock's user-interface thread must get to it (the dock reports it from a
timer, which runs only after the thread's pending paints), and its rectangle must hold
more than one colour and differ in a good part from what the screen showed there just
before: a window that is mapped but never painted leaves either a blank rectangle or
what lay under it.

usage: dialogs_on_screen.py --wine WINE --dock BUILD/dock [--shots FOLDER]
"""
import argparse
import os
import subprocess
import sys
import threading
import time

import xscreen
from dockoutput import Output

PRESSES = ["RSS Feed Profiles", "Add", "Back Up", "Icons & Images", "Browse..."]
# The dialogs' captions and the names of their pictures.
DIALOGS = {"RSS Feed Profile Settings": "editor", "Quillmere Profiles BackUp File": "backup", "Open": "browse"}
DRAW_SECONDS = 4
# The dock closes each dialog this long after it got the input: after the look is over.
DIALOG_SECONDS = DRAW_SECONDS + 2
RUN_SECONDS = 180
# A drawn dialog changes at least this share of its rectangle. A window left unpainted
# over the sheet changes almost nothing (a caret at most).
MIN_CHANGED = 0.10


def changed_share(before, after):
    """The share of pixels that differ between two pictures of one rectangle."""
    a, b = memoryview(before).cast("I"), memoryview(after).cast("I")
    return sum(1 for x, y in zip(a, b) if (x ^ y) & 0xFFFFFF) / max(1, len(a))


def drawn(picture, colours, before):
    return len(colours) > 1 and changed_share(before, picture) >= MIN_CHANGED


def look_at(screen, title, before, mapped):
    """Watches the dialog's rectangle until it is drawn and has settled (two looks alike),
    it closes, or DRAW_SECONDS have passed since it was mapped. Returns (rectangle, shot,
    picture, colours, seconds) of the last look."""
    seen, previous = (None, None, b"", set()), None
    while time.monotonic() - mapped < DRAW_SECONDS:
        rect = screen.find_window(title, "dockhost.exe")
        if not rect:
            break  # closed
        shot = screen.grab()
        picture = shot.pixels(rect)
        seen = (rect, shot, picture, shot.colours(rect))
        if picture == previous and drawn(picture, seen[3], before.pixels(rect)):
            break
        previous = picture
        time.sleep(0.05)
    return seen + (time.monotonic() - mapped,)


def check(screen, title, before, output, shots):
    """None when the dialog is drawn, else what is wrong."""
    mapped = time.monotonic()
    if not output.wait_for("window: " + title, DRAW_SECONDS):
        return "%s: mapped, but the dock's user-interface thread did not get to it within %d s" % (
            title, DRAW_SECONDS)
    rect, shot, picture, colours, seconds = look_at(screen, title, before, mapped)
    if not rect:
        return "%s: its window went away at once" % title
    name = DIALOGS[title]
    if shots:
        shot.write_png(os.path.join(shots, "screen-%s.png" % name), rect)
    share = changed_share(before.pixels(rect), picture)
    print("%s: at %s on the screen, %d colours, %.0f%% changed, looked for %.2f s"
          % (title, rect, len(colours), share * 100, seconds))
    if drawn(picture, colours, before.pixels(rect)):
        return None
    if shots:
        shot.write_png(os.path.join(shots, "screen-%s-whole.png" % name))
        before.write_png(os.path.join(shots, "screen-%s-before.png" % name))
    if len(colours) <= 1:
        return "%s: its rectangle is a single colour (%s) %.1f s after it was mapped" % (
            title, ", ".join("#%06X" % c for c in colours), seconds)
    return "%s: its rectangle still shows what lay under it %.1f s after it was mapped (%.0f%% changed)" % (
        title, seconds, share * 100)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--wine", required=True)
    parser.add_argument("--dock", required=True)
    parser.add_argument("--shots", default=None)
    args = parser.parse_args()
    dock_folder = os.path.abspath(args.dock)
    if args.shots:
        os.makedirs(args.shots, exist_ok=True)

    screen = xscreen.Screen()
    command = [args.wine, os.path.join(dock_folder, "dockhost.exe"), "--dock-click", "--choose", "1",
               "--dialog-seconds", str(DIALOG_SECONDS), "--log"]
    for press in PRESSES:
        command += ["--press", press]
    dock = subprocess.Popen(command, cwd=dock_folder, stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                            stderr=subprocess.STDOUT)
    output = Output()
    threading.Thread(target=output.collect, args=(dock.stdout,), daemon=True).start()

    # The dialogs are found on the X screen as soon as they are mapped, not from the
    # dock's report of them: a user-interface thread that hangs before painting would
    # hold that report back too.
    failures, looked = [], set()
    before = None  # the screen at the last look that found none of the dialogs
    end = time.monotonic() + RUN_SECONDS
    try:
        while dock.poll() is None:
            if time.monotonic() > end:
                failures.append("dockhost did not finish within %d s" % RUN_SECONDS)
                break
            shot = screen.grab()
            shown = [t for t in DIALOGS if t not in looked and screen.find_window(t, "dockhost.exe")]
            if not shown:
                before = shot
            for title in shown:
                looked.add(title)
                failure = check(screen, title, before or shot, output, args.shots)
                if failure:
                    failures.append(failure)
            time.sleep(0.1)
    finally:
        if dock.poll() is None:
            dock.kill()
        dock.wait()
        screen.close()

    failures += ["%s: never shown" % title for title in DIALOGS if title not in looked]
    if dock.returncode != 0:
        failures.append("dockhost ended with %s" % dock.returncode)
    if failures:
        print("\n".join(output.lines))
        print("\n".join("FAILED: " + f for f in failures))
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
