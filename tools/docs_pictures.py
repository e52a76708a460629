"""The README's pictures of the settings, read off the X screen as it shows them.

For each picture the stand-in dock opens the settings from its own menu, presses the
tabs and buttons that lead to what the picture shows, and keeps the dialogs open; the
picture is taken from the X root window (tests/screen/xscreen.py, as the screen check
reads it) once the dock has made its last press and the dialog's rectangle is drawn and
has settled (two looks alike). The dock then closes its dialogs and ends by itself.

usage: docs_pictures.py --wine WINE --dock BUILD/dock --ini WINDOWS_PATH --out FOLDER
"""
import argparse
import os
import subprocess
import sys
import threading
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests", "screen"))
import xscreen  # noqa: E402
from dockoutput import Output  # noqa: E402

SHEET = "Configure Quillmere"
EDITOR = "RSS Feed Profile Settings"
# Picture file, the window it shows, the presses that lead there.
PICTURES = [
    ("settings.png", SHEET, []),
    ("headlines.png", SHEET, ["Headlines"]),
    ("profile-editor.png", EDITOR, ["RSS Feed Profiles", "Add"]),
]
# How long a picture may take to appear and settle, and how long the dock keeps each
# dialog open after its last press (it closes them itself after that).
LOOK_SECONDS = 30
DIALOG_SECONDS = 8
RUN_SECONDS = 120


def settled_picture(screen, title, end):
    """The window's rectangle and the screen once two looks at it agree and it holds
    more than one colour; None when that does not happen before end."""
    previous = None
    while time.monotonic() < end:
        rect = screen.find_window(title, "dockhost.exe")
        if rect:
            shot = screen.grab()
            picture = shot.pixels(rect)
            if picture == previous and len(shot.colours(rect)) > 1:
                return rect, shot
            previous = picture
        time.sleep(0.5)
    return None


def take(args, screen, name, title, presses):
    command = [args.wine, os.path.join(args.dock, "dockhost.exe"), "--ini", args.ini, "--section", "Quillmere",
               "--dock-click", "--choose", "1", "--dialog-seconds", str(DIALOG_SECONDS), "--log"]
    for press in presses:
        command += ["--press", press]
    dock = subprocess.Popen(command, cwd=args.dock, stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                            stderr=subprocess.STDOUT)
    output = Output()
    threading.Thread(target=output.collect, args=(dock.stdout,), daemon=True).start()
    failure = None
    try:
        end = time.monotonic() + LOOK_SECONDS
        ready = "press: " + presses[-1] if presses else "window: " + SHEET
        if not output.wait_for(ready, LOOK_SECONDS):
            failure = "%s: the dock never got to \"%s\"" % (name, ready)
        else:
            seen = settled_picture(screen, title, end)
            if not seen:
                failure = "%s: \"%s\" was not drawn and settled within %d s" % (name, title, LOOK_SECONDS)
            else:
                rect, shot = seen
                shot.write_png(os.path.join(args.out, name), rect)
                print("%s: \"%s\" at %s" % (name, title, rect))
        dock.wait(timeout=RUN_SECONDS)
    except subprocess.TimeoutExpired:
        failure = failure or "%s: dockhost did not finish within %d s" % (name, RUN_SECONDS)
    finally:
        if dock.poll() is None:
            dock.kill()
            dock.wait()
    if not failure and dock.returncode != 0:
        failure = "%s: dockhost ended with %s" % (name, dock.returncode)
    if failure:
        print("\n".join(output.lines))
    return failure


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--wine", required=True)
    parser.add_argument("--dock", required=True)
    parser.add_argument("--ini", required=True)
    parser.add_argument("--out", required=True)
    args = parser.parse_args()
    args.dock = os.path.abspath(args.dock)
    os.makedirs(args.out, exist_ok=True)
    screen = xscreen.Screen()
    try:
        failures = [f for f in (take(args, screen, *p) for p in PICTURES) if f]
    finally:
        screen.close()
    for f in failures:
        print("FAILED: " + f)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
