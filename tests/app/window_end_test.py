#!/usr/bin/env python3
"""Ends the installed game each way its window can go, on the playthrough's virtual X server,
after a macro was added: the exit code, the shutdown in the log, the macros saved with the file
before them as the backup. Exit code 0, 1 on a failure, 77 without Xvfb or xdotool."""

import ctypes
import os
import sys
import tempfile
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import playthrough_test as pt  # noqa: E402

BEFORE = "new('nscriptlet', 'alt')\nsel('alt')\nsetscript(\"x = 1\")\nsel('..')\n"
SETUP = "\ndofile('bin:init_tools.n')\nnew('nscriptlet', '/scripts/neu')\n%s\nprint('bwx ready 1')\n"
X = ctypes.CDLL("libX11.so.6")
X.XOpenDisplay.restype = ctypes.c_void_p
X.XInternAtom.restype = ctypes.c_ulong
X.XDefaultRootWindow.restype = ctypes.c_ulong
for f, args in {"XOpenDisplay": [ctypes.c_char_p], "XInternAtom": [ctypes.c_void_p, ctypes.c_char_p, ctypes.c_int],
                "XDestroyWindow": [ctypes.c_void_p, ctypes.c_ulong], "XKillClient": [ctypes.c_void_p, ctypes.c_ulong],
                "XSendEvent": [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_int, ctypes.c_long, ctypes.c_void_p],
                "XSync": [ctypes.c_void_p, ctypes.c_int], "XCloseDisplay": [ctypes.c_void_p],
                "XDefaultRootWindow": [ctypes.c_void_p], "XFree": [ctypes.c_void_p],
                "XQueryTree": [ctypes.c_void_p, ctypes.c_ulong] + [ctypes.c_void_p] * 4}.items():
    getattr(X, f).argtypes = args


def wm_close(dpy, wid, game):
    # A ClientMessage WM_PROTOCOLS / WM_DELETE_WINDOW, as longs: type, serial, send_event,
    # display, window, message_type, format, data.
    ev = (ctypes.c_long * 24)(33, 0, 0, 0, wid, X.XInternAtom(dpy, b"WM_PROTOCOLS", 0), 32,
                              X.XInternAtom(dpy, b"WM_DELETE_WINDOW", 0))
    X.XSendEvent(dpy, wid, 0, 0, ev)


def server_gone(dpy, wid, game):
    game.xvfb.kill()


def boxes(dpy, wid):
    """The top windows of clients other than the server and the game: a message box's."""
    root, parent, kids, n = ctypes.c_ulong(), ctypes.c_ulong(), ctypes.POINTER(ctypes.c_ulong)(), ctypes.c_uint()
    X.XQueryTree(dpy, X.XDefaultRootWindow(dpy), ctypes.byref(root), ctypes.byref(parent), ctypes.byref(kids),
                 ctypes.byref(n))
    found = [kids[i] for i in range(n.value) if kids[i] >> 21 not in (0, wid >> 21)]
    X.XFree(kids)
    return found


def box_gone_then_closed(dpy, wid, game):
    # The box's own connection lost: its process ends without a word, and the game, its
    # connection alive, goes on until its window's close.
    for box in boxes(dpy, wid):
        X.XKillClient(dpy, box)
    wm_close(dpy, wid, game)


VIEWER = "new('n3dnode', '/usr/scene') new('nobserver', '/usr/v') sel('/usr/v') start()"
# An error before the first frame waits in a box, which SDL shows from a fork of the game.
BOX = "print('bwx ready 1') obj('/sys/servers/file2').setassign('nothing', 'no/end')"
GONE, LOST, ENDED = "window 0x", "AppMain: display lost", "AppMain: main loop ended"
# How the window goes, start-up lines, the exit code (AppMain::ExitDisplayLost 4), what the game printed.
ROWS = [("window manager's close", wm_close, "", 0, ENDED),
        ("destroyed by another client", lambda d, w, g: X.XDestroyWindow(d, w), "", 0, GONE),
        ("destroyed without /usr/logic", lambda d, w, g: X.XDestroyWindow(d, w), "delete('/usr/logic')", 0, GONE),
        ("destroyed under the viewer", lambda d, w, g: X.XDestroyWindow(d, w), "execbuf(\"" + VIEWER + "\")", 0, GONE),
        ("closed in a macro's loop", wm_close, "execbuf('while true do end')", 0, ENDED),
        ("destroyed with an editor open", lambda d, w, g: X.XDestroyWindow(d, w),
         "obj('/sys/servers/plugin/rootedit').open('/scripts/neu')", 0, GONE),
        ("destroyed without the tools", lambda d, w, g: X.XDestroyWindow(d, w), "delete('/sys/servers/plugin')", 0,
         GONE),
        ("connection killed", lambda d, w, g: X.XKillClient(d, w), "", 4, LOST),
        ("connection killed under the viewer", lambda d, w, g: X.XKillClient(d, w), "execbuf(\"" + VIEWER + "\")", 4,
         LOST),
        ("X server gone", server_gone, "", 4, LOST),
        ("X server gone under an error box", server_gone, BOX, 4, LOST),
        ("the error box's connection killed", box_gone_then_closed, BOX, 0, ENDED)]


def run(game, checks, name, end, extra, code, said):
    with open(os.path.join(game.bin, "scripts.n"), "w") as f:
        f.write(BEFORE)
    with open(os.path.join(game.bin, "init_menue.n"), "a") as f:
        f.write(SETUP % extra)
    game.start()
    deadline = time.monotonic() + pt.START_LIMIT
    while "1" not in game.printed("ready"):
        game.alive()
        if time.monotonic() > deadline:
            raise pt.Failure(f"{name}: not ready in time")
        time.sleep(0.1)
    wins = pt.subprocess.run(["xdotool", "search", "--onlyvisible", "--name", "^Brinewick$"], timeout=60, text=True,
                             env=dict(os.environ, DISPLAY=game.display), stdout=pt.subprocess.PIPE).stdout.split()
    if len(wins) != 1:
        raise pt.Failure(f"{name}: windows {wins}")
    dpy = X.XOpenDisplay(game.display.encode())
    # The box: a window of its own beside the game's, another client's (xdotool's visible
    # windows hold one of the server's anyway).
    while BOX in extra and not boxes(dpy, int(wins[0])):
        if time.monotonic() > deadline:
            raise pt.Failure(f"{name}: no box showed")
        time.sleep(0.1)
    end(dpy, int(wins[0]), game)
    if end is not server_gone:  # Xlib would end this process on a dead connection
        X.XSync(dpy, 0)
        X.XCloseDisplay(dpy)
    got = game.wait_exit()
    checks.expect(got == code, f"{name}: exit code {got}, {code} expected")
    out = open(os.path.join(game.work, game.out), errors="replace").read()
    # Once: a box's process neither logs as the game nor runs its shutdown.
    checks.expect(out.count(said) == 1 and out.count("AppMain: shutdown\n") == 1,
                  f"{name}: '{said}' and the shutdown printed once")
    checks.expect(said == LOST or LOST not in out, f"{name}: no display lost printed")
    checks.expect((VIEWER in extra) == ("the viewer runs" in out), f"{name}: the viewer ran only where started")
    saved = [open(os.path.join(game.bin, n), errors="replace").read() for n in ("scripts.n", "scripts.bak")]
    checks.expect("'neu'" in saved[0] and "'alt'" in saved[0] and saved[1] == BEFORE,
                  f"{name}: the macros saved, the file before as the backup")


def main():
    args = dict(zip(sys.argv[1::2], sys.argv[2::2]))
    if not all(map(pt.shutil.which, ("Xvfb", "xdotool"))):
        return pt.SKIP
    checks = pt.Checks()
    for row in ROWS:
        game = pt.Game(os.path.abspath(args["--game"]), os.path.abspath(args["--build"]), tempfile.mkdtemp())
        game.install()
        failed = len(checks.failed)
        pt.guarded_run(game, checks, lambda: run(game, checks, *row))
        if len(checks.failed) == failed:
            pt.shutil.rmtree(game.work, ignore_errors=True)
    return 1 if checks.failed else 0


if __name__ == "__main__":
    sys.exit(main())
