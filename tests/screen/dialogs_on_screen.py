"""The dialogs that the settings sheet opens reach the screen drawn.

The stand-in dock opens the settings and presses, one after another, Add on the
"RSS Feed Profiles" page (the profile editor), Back Up there (the backup file dialog) and
Browse... on the "Icons & Images" page (the dock's image browser). Each dialog is looked
at on the X root window, as the screen shows it, from the moment it is mapped. It counts
as drawn when, within DRAW_SECONDS, its rectangle holds more than one colour and differs
in a good part from what the screen showed there just before: a window that is mapped
but never painted leaves either a blank rectangle or what lay under it.

usage: dialogs_on_screen.py --wine WINE --dock BUILD/dock [--shots FOLDER]
"""
import argparse
import os
import subprocess
import sys
import threading
import time

import xscreen

PRESSES = ["RSS Feed Profiles", "Add", "Back Up", "Icons & Images", "Browse..."]
# The dialogs' captions and the names of their pictures.
DIALOGS = {"RSS Feed Profile Settings": "editor", "Quillmere Profiles BackUp File": "backup", "Open": "browse"}
DRAW_SECONDS = 3
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


def look_at(screen, title, before):
    """Watches the dialog's rectangle until it is drawn and has settled (two looks alike),
    it closes, or DRAW_SECONDS have passed. Returns (rectangle, shot, picture, colours,
    seconds) of the last look."""
    start = time.monotonic()
    seen, previous = (None, None, b"", set()), None
    while time.monotonic() - start < DRAW_SECONDS:
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
    return seen + (time.monotonic() - start,)


def collect(stream, output):
    for raw in iter(stream.readline, b""):
        output.append(raw.decode("utf-8", "replace").rstrip("\r\n"))


def check(screen, title, before, shots):
    """None when the dialog is drawn, else what is wrong."""
    rect, shot, picture, colours, seconds = look_at(screen, title, before)
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
    output = []
    threading.Thread(target=collect, args=(dock.stdout, output), daemon=True).start()

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
                failure = check(screen, title, before or shot, args.shots)
                if failure:
                    failures.append(failure)
            time.sleep(0.05)
    finally:
        if dock.poll() is None:
            dock.kill()
        dock.wait()
        screen.close()

    failures += ["%s: never shown" % title for title in DIALOGS if title not in looked]
    if dock.returncode != 0:
        failures.append("dockhost ended with %s" % dock.returncode)
    if failures:
        print("\n".join(output))
        print("\n".join("FAILED: " + f for f in failures))
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
