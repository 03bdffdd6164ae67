#!/usr/bin/env python3
"""Ends the installed game each way its window can go, on a virtual X server: a window
manager's close, the window destroyed by another client, the client's connection killed, the
X server gone; and the close once more after a script deleted the logic root. Each run adds a
macro first: the macros must be saved with the file before them as the backup, the shutdown
logged, and the exit code be 0 (the display's loss has a code of its own).

Uses the playthrough's installation and processes. Exit code 0 when everything held, 1 on a
failure, 77 (skipped) when Xvfb or xdotool is missing.
"""

import argparse
import ctypes
import os
import shutil
import signal
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import playthrough_test as pt  # noqa: E402

# AppMain::ExitDisplayLost.
EXIT_DISPLAY_LOST = 4

# Appended to init_menue.n: the tools, one macro more than the file holds, and a line that
# says the game is ready. The macro plugin saves at shutdown only what changed.
SETUP = """
dofile('bin:init_tools.n')
new('nscriptlet', '/scripts/fenster')
obj('/scripts/fenster').setscript('y = 2')
@EXTRA@
print('bwx ready 1')
"""

BEFORE = "new('nscriptlet', 'alt')\nsel('alt')\nsetscript(\"x = 1\")\nsel('..')\n"


class X:
    """The few Xlib calls the test makes as another client of the game's X server."""

    def __init__(self, display):
        self.lib = ctypes.CDLL("libX11.so.6")
        self.lib.XOpenDisplay.restype = ctypes.c_void_p
        self.lib.XOpenDisplay.argtypes = [ctypes.c_char_p]
        self.lib.XInternAtom.restype = ctypes.c_ulong
        self.lib.XInternAtom.argtypes = [ctypes.c_void_p, ctypes.c_char_p, ctypes.c_int]
        for name in ("XDestroyWindow", "XKillClient"):
            getattr(self.lib, name).argtypes = [ctypes.c_void_p, ctypes.c_ulong]
        self.lib.XSendEvent.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_int, ctypes.c_long, ctypes.c_void_p]
        self.lib.XSync.argtypes = [ctypes.c_void_p, ctypes.c_int]
        self.lib.XCloseDisplay.argtypes = [ctypes.c_void_p]
        self.dpy = self.lib.XOpenDisplay(display.encode())
        if not self.dpy:
            raise pt.Failure(f"no connection to {display}")

    def close(self):
        self.lib.XCloseDisplay(self.dpy)

    def delete_window(self, wid):
        """What a window manager sends when its close button is pressed."""
        # XClientMessageEvent: type, serial, send_event, display, window, message_type, format,
        # then five longs.
        ev = (ctypes.c_long * 24)()
        ev[0] = 33  # ClientMessage
        ev[4] = wid
        ev[5] = self.lib.XInternAtom(self.dpy, b"WM_PROTOCOLS", 0)
        ev[6] = 32
        ev[7] = self.lib.XInternAtom(self.dpy, b"WM_DELETE_WINDOW", 0)
        self.lib.XSendEvent(self.dpy, wid, 0, 0, ev)


def the_window(game):
    env = dict(os.environ, DISPLAY=game.display)
    wins = subprocess.run(["xdotool", "search", "--onlyvisible", "--name", "^Brinewick$"], env=env, timeout=60,
                          stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True).stdout.split()
    if len(wins) != 1:
        raise pt.Failure(f"one game window expected, found {wins}")
    return int(wins[0])


def by_wm_close(game, x):
    x.delete_window(the_window(game))


def by_destroy(game, x):
    x.lib.XDestroyWindow(x.dpy, the_window(game))


def by_kill_client(game, x):
    x.lib.XKillClient(x.dpy, the_window(game))


def by_server_gone(game, x):
    game.xvfb.kill()
    game.xvfb.wait()


GONE = "is gone; the game ends"
LOST = "AppMain: display lost"

# Name, extra start-up lines, how the window goes, the exit code, what the game printed.
ROWS = [
    ("window manager's close", "", by_wm_close, 0, "AppMain: main loop ended"),
    ("window destroyed by another client", "", by_destroy, 0, GONE),
    ("window manager's close without /usr/logic", "delete('/usr/logic')", by_wm_close, 0, "AppMain: main loop ended"),
    ("window destroyed without /usr/logic", "delete('/usr/logic')", by_destroy, 0, GONE),
    ("connection killed", "", by_kill_client, EXIT_DISPLAY_LOST, LOST),
    ("X server gone", "", by_server_gone, EXIT_DISPLAY_LOST, LOST),
]


def run_row(exe, build, work, row, checks):
    name, extra, end, code, said = row
    game = pt.Game(exe, build, work)
    game.install()
    with open(os.path.join(game.bin, "scripts.n"), "w") as f:
        f.write(BEFORE)
    with open(os.path.join(game.bin, "init_menue.n"), "a") as f:
        f.write(SETUP.replace("@EXTRA@", extra))
    x = None
    try:
        game.start()
        deadline = time.monotonic() + pt.START_LIMIT
        while "1" not in game.printed("ready"):
            game.alive()
            if time.monotonic() > deadline:
                raise pt.Failure("the game was not ready in time")
            time.sleep(0.1)
        x = X(game.display)
        end(game, x)
        if end is not by_server_gone:
            x.lib.XSync(x.dpy, 0)
        got = game.wait_exit()
        checks.expect(got == code, f"{name}: exit code {got}, {code} expected")
    except pt.Failure as e:
        checks.expect(False, f"{name}: {e}")
    finally:
        # Before the server goes: Xlib would end this process too on a dead connection.
        if x and end is not by_server_gone:
            x.close()
        game.stop()
    out = open(os.path.join(work, game.out), errors="replace").read()
    checks.expect(said in out, f"{name}: the game printed '{said}'")
    log = open(os.path.join(game.bin, "Brinewick.log"), errors="replace").read()
    checks.expect("AppMain: shutdown\n" in log, f"{name}: the shutdown is logged")
    macros = open(os.path.join(game.bin, "scripts.n"), errors="replace").read()
    backup = os.path.join(game.bin, "scripts.bak")
    checks.expect("'fenster'" in macros and "'alt'" in macros, f"{name}: the new macro is saved beside the old")
    checks.expect(os.path.exists(backup) and open(backup).read() == BEFORE, f"{name}: the file before is the backup")


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--game", required=True)
    parser.add_argument("--build", required=True)
    parser.add_argument("--only", help="run only the rows whose name holds this")
    args = parser.parse_args()
    if any(shutil.which(t) is None for t in ("Xvfb", "xdotool")):
        print("SKIPPED: needs Xvfb and xdotool (bash .ci/setup installs them)")
        return pt.SKIP
    signal.signal(signal.SIGTERM, lambda *_: sys.exit(1))
    checks = pt.Checks()
    works = []
    for row in ROWS:
        if args.only and args.only not in row[0]:
            continue
        work = tempfile.mkdtemp(prefix="bw_window_")
        works.append(work)
        run_row(os.path.abspath(args.game), os.path.abspath(args.build), work, row, checks)
    if checks.failed:
        print(f"{len(checks.failed)} checks failed; the installations stay at {works}")
        return 1
    for work in works:
        shutil.rmtree(work, ignore_errors=True)
    return 0


if __name__ == "__main__":
    sys.exit(main())
