#!/usr/bin/env python3
"""Plays the installed game as a player would: real key and pointer events on an X server.

The build's game, its start scripts and its data archives are copied into a temporary
installation with an empty "save/". The game runs on a virtual X server (Xvfb) through SDL's
X11 driver and Mesa's software GL; xdotool sends key and pointer events through XTEST, so
every event takes the player's path (X server, SDL, our pump, input server, mappings, focus
nodes, movies). The game cannot be asked anything from outside, so the installation gets one
hook script, run at the end of "init_menue.n": F11, in a focus group of its own, writes a
screenshot and a text dump of the game's state with a running number. The test waits for each
dump with a time limit, checks probe pixels with a tolerance and the dumped values, reads the
quick save as plain text, and at the end checks the exit code and the log.

Exit code 0 when everything held, 1 on a failure, 77 (skipped) when Xvfb or xdotool is missing.
"""

import argparse
import ctypes
import math
import os
import select
import shutil
import signal
import struct
import subprocess
import sys
import tempfile
import time
from collections import Counter

SKIP = 77

# Generous limits: the test build runs under the sanitizers on a software rasteriser, on a
# machine shared by several builds.
START_LIMIT = 180.0
DUMP_LIMIT = 90.0
EXIT_LIMIT = 120.0

SCREEN_W, SCREEN_H = 800, 600

# Game state bits the checks read.
STATE_RUNNING = 0x2
STATE_MENU = 0x4
STATE_LEVEL = 0x40

# The loading image's probes: lit water at the top, the amber bar, the dark ground.
LOADING_PROBES = [((400, 20), (39, 117, 147)), ((400, 498), (230, 160, 40)), ((40, 590), (6, 21, 51))]

# The main menu's movie: entries of 240 x 48 from (280, 230) down, 66 apart, only those that
# apply shown; the entry under the pointer is lit orange, the others are blue-green.
MENU_LEFT, MENU_TOP, MENU_W, MENU_H, MENU_STEP = 280, 230, 240, 48, 66
MENU_LIT, MENU_UNLIT = (242, 158, 38), (20, 77, 107)
# Its background: deep water, darkest at the bottom.
MENU_BACKGROUND = ((60, 560), (10, 20, 41))


def menu_entry(entries, label):
    """The screen point of `label` among the entries shown, clear of its text."""
    i = entries.index(label)
    return MENU_LEFT + MENU_W - 10, MENU_TOP + i * MENU_STEP + 6


# The diver's suit (strong orange, lit and fogged in the scene).
def is_suit(p):
    r, g, b = p
    return r >= 110 and r - g >= 45 and g - b >= 25


# The air row of the first diver figure on the HUD: light blue.
AIR_BAR = (76, 560, 105, 574)


def is_air(p):
    return near(p, (77, 179, 255), 40)


def is_water(p):
    r, g, b = p
    return b - r >= 25 and g - r >= 15 and max(p) >= 40


HOOK = r"""-- Playthrough hook, added by the test to its own installation: F11 writes a screenshot
-- and a dump of the game's state, both with a running number.
bwx_dir = '@DIR@'
bwx_count = 0
bwx_frames = 0
function bwx_tick()
    bwx_frames = bwx_frames + 1
    execbuf('bwx_tick()')
end
local function bwx_state()
    local o = obj('/sys/servers/observer')
    local s = 0
    for bit = 0, 15 do
        local v = o.getgamestate(1 << bit)
        if v == true or v == 1 then s = s | (1 << bit) end
    end
    return string.format('%d', s)
end
local function bwx_level()
    return obj('/sys/servers/observer').getlevel()
end
local function bwx_diver(level)
    local path = obj('/usr/logic/' .. level).getactivediver()
    if not path or path == '' or path == 'none' then return nil end
    local x, y, z = obj(path).gett()
    return path:match('([^/]+)$'), string.format('%.4f %.4f %.4f', x, y, z)
end
local function bwx_try(f, ...)
    local ok, a, b = pcall(f, ...)
    if ok then return a, b end
    return nil
end
function bwx_dump()
    local n = bwx_count
    bwx_count = n + 1
    local lines = {'n ' .. n, 'frames ' .. bwx_frames}
    lines[#lines + 1] = 'state ' .. (bwx_try(bwx_state) or 'none')
    local t = bwx_try(function() return obj('/sys/servers/channel').getchannel1f('gametime') end)
    lines[#lines + 1] = 'gametime ' .. (t and string.format('%.4f', t) or 'none')
    local level = bwx_try(bwx_level) or 'none'
    lines[#lines + 1] = 'level ' .. level
    local name, txyz
    if level ~= 'none' then name, txyz = bwx_try(bwx_diver, level) end
    lines[#lines + 1] = 'diver ' .. (name or 'none')
    lines[#lines + 1] = 'txyz ' .. (txyz or 'none')
    obj('/sys/servers/gfx').screenshot(bwx_dir .. 'shot_' .. n .. '.bmp')
    local f = io.open(bwx_dir .. 'dump_' .. n .. '.txt', 'w')
    for _, line in ipairs(lines) do f:write(line, '\n') end
    f:write('end\n')
    f:close()
end
sel('/sys/servers/input')
map('keyb0:f11.down', 'bwx_f11')
sel('/')
new('nlogicnode', '/usr/logic/bwx')
new('nlogicinput', '/usr/logic/bwx/f11')
sel('/usr/logic/bwx/f11')
setgroup('bwx')
setfocus(true)
addinput('bwx_f11', 'bwx_dump()')
sel('/')
-- What the screen shows when the start scripts are done: the first dump, no key needed.
bwx_dump()
execbuf('bwx_tick()')
"""


def end_with_parent():
    """Run in a child before exec: it gets SIGTERM when the test process dies, so a test
    killed on its time limit leaves no X server or game behind."""
    ctypes.CDLL(None, use_errno=True).prctl(1, signal.SIGTERM)  # PR_SET_PDEATHSIG


class Failure(Exception):
    pass


class Picture:
    """A screenshot: an uncompressed 24- or 32-bit BMP file, read by hand."""

    def __init__(self, path):
        with open(path, "rb") as f:
            data = f.read()
        if data[:2] != b"BM" or len(data) < 54:
            raise Failure(f"{path}: not a BMP file")
        self.offset = struct.unpack_from("<I", data, 10)[0]
        self.width, height, _, bpp = struct.unpack_from("<iiHH", data, 18)
        self.bottom_up = height > 0
        self.height = abs(height)
        if bpp not in (24, 32):
            raise Failure(f"{path}: {bpp} bits a pixel")
        self.bpp = bpp // 8
        self.stride = (self.width * self.bpp + 3) & ~3
        if len(data) < self.offset + self.stride * self.height:
            raise Failure(f"{path}: cut short")
        self.data = data

    def at(self, x, y):
        row = self.height - 1 - y if self.bottom_up else y
        i = self.offset + row * self.stride + x * self.bpp
        b, g, r = self.data[i], self.data[i + 1], self.data[i + 2]
        return (r, g, b)

    def count(self, box, test, step=2):
        x0, y0, x1, y1 = box
        return sum(1 for y in range(y0, y1, step) for x in range(x0, x1, step) if test(self.at(x, y)))


def near(got, want, tol):
    return all(abs(a - b) <= tol for a, b in zip(got, want))


def distance(a, b):
    return math.sqrt(sum((p - q) ** 2 for p, q in zip(a, b)))


class Game:
    """The installation, the X server and the running game."""

    def __init__(self, exe, build, work):
        self.exe, self.build, self.work = exe, build, work
        self.home = os.path.join(work, "home")
        self.bin = os.path.join(self.home, "bin", "win32")
        self.dumps = os.path.join(work, "dumps") + "/"
        self.xvfb = None
        self.game = None
        self.display = None
        self.count = 0
        self.log_out = None

    # ---- installation

    def install(self):
        os.makedirs(self.bin)
        os.makedirs(os.path.join(self.home, "save"))
        os.makedirs(self.dumps)
        shutil.copy2(self.exe, os.path.join(self.bin, "brinewick"))
        # The build's bin/win32 mirrors data/bin/win32 as links: the start scripts and the icon.
        src_bin = os.path.join(self.build, "bin", "win32")
        for name in sorted(os.listdir(src_bin)):
            path = os.path.join(src_bin, name)
            if os.path.islink(path) and os.path.isfile(path):
                shutil.copyfile(path, os.path.join(self.bin, name))
        # The data archives; a data folder the build still links loose is copied as it is.
        archives = [n for n in sorted(os.listdir(self.build)) if n.endswith(".npk")]
        for name in archives:
            shutil.copyfile(os.path.join(self.build, name), os.path.join(self.home, name))
        loose = []
        for name in sorted(os.listdir(self.build)):
            path = os.path.join(self.build, name)
            if os.path.islink(path) and os.path.isdir(path):
                shutil.copytree(path, os.path.join(self.home, name))
                loose.append(name)
        print(f"installation {self.home}: archives {archives}, loose folders {loose}")
        with open(os.path.join(self.bin, "bwx_hook.n"), "w") as f:
            f.write(HOOK.replace("@DIR@", self.dumps))
        with open(os.path.join(self.bin, "init_menue.n"), "a") as f:
            f.write("\ndofile('bin:bwx_hook.n')\n")

    # ---- processes

    def start(self):
        rfd, wfd = os.pipe()
        self.xvfb = subprocess.Popen(
            ["Xvfb", "-displayfd", str(wfd), "-screen", "0", f"{SCREEN_W}x{SCREEN_H}x24", "-nolisten", "tcp",
             "-noreset"],
            pass_fds=(wfd,), preexec_fn=end_with_parent, stdout=subprocess.DEVNULL,
            stderr=open(os.path.join(self.work, "xvfb.txt"), "w"))
        os.close(wfd)
        text = b""
        deadline = time.monotonic() + 60
        while not text.endswith(b"\n"):
            left = deadline - time.monotonic()
            if left <= 0 or not select.select([rfd], [], [], left)[0]:
                raise Failure("Xvfb named no display within 60 s")
            chunk = os.read(rfd, 64)
            if not chunk:
                raise Failure("Xvfb ended before naming its display")
            text += chunk
        os.close(rfd)
        self.display = ":" + text.decode().strip()
        env = dict(os.environ)
        env.update({"DISPLAY": self.display, "SDL_VIDEODRIVER": "x11", "LIBGL_ALWAYS_SOFTWARE": "1",
                    "SDL_AUDIODRIVER": "dummy", "ALSOFT_DRIVERS": "null"})
        self.log_out = open(os.path.join(self.work, "out.txt"), "w")
        self.game = subprocess.Popen([os.path.join(self.bin, "brinewick")], cwd=self.home, env=env,
                                     preexec_fn=end_with_parent, stdout=self.log_out, stderr=subprocess.STDOUT)

    def stop(self):
        for proc in (self.game, self.xvfb):
            if proc and proc.poll() is None:
                proc.terminate()
                try:
                    proc.wait(30)
                except subprocess.TimeoutExpired:
                    proc.kill()
                    proc.wait()
        if self.log_out:
            self.log_out.close()

    def xdo(self, *args):
        env = dict(os.environ, DISPLAY=self.display)
        subprocess.run(["xdotool", *args], env=env, check=True, timeout=60,
                       stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)

    def alive(self):
        if self.game.poll() is not None:
            raise Failure(f"the game ended early with exit code {self.game.returncode}")

    # ---- dumps

    def wait_dump(self, n, what):
        path = os.path.join(self.dumps, f"dump_{n}.txt")
        deadline = time.monotonic() + (START_LIMIT if n == 0 else DUMP_LIMIT)
        while True:
            text = ""
            if os.path.exists(path):
                with open(path) as f:
                    text = f.read()
            if text.endswith("end\n"):
                break
            self.alive()
            if self.hook_failed():
                raise Failure(f"dump {n} ({what}): the hook script failed: see the log")
            if time.monotonic() > deadline:
                self.diagnose()
                raise Failure(f"dump {n} ({what}) not written in time")
            time.sleep(0.05)
        values = {}
        for line in text.splitlines():
            key, _, value = line.partition(" ")
            values[key] = value
        values["picture"] = Picture(os.path.join(self.dumps, f"shot_{n}.bmp"))
        print(f"dump {n} ({what}): " + ", ".join(f"{k} {v}" for k, v in values.items() if k not in ("picture", "end")))
        return values

    def diagnose(self):
        """Where a game that stopped answering stands: its threads' stacks, when gdb is there."""
        if self.game.poll() is not None or shutil.which("gdb") is None:
            return
        try:
            out = subprocess.run(["gdb", "-p", str(self.game.pid), "-batch", "-ex", "thread apply all bt 20"],
                                 stdout=subprocess.PIPE, stderr=subprocess.STDOUT, timeout=120, text=True).stdout
            print("---- the game's threads\n" + "\n".join(l for l in out.splitlines() if l.startswith(("#", "Thread"))))
        except subprocess.TimeoutExpired:
            print("---- gdb did not answer")

    def hook_failed(self):
        path = os.path.join(self.bin, "Brinewick.log")
        return os.path.exists(path) and "bwx_hook.n:" in open(path, errors="replace").read()

    def dump(self, what):
        """Presses F11 and returns the next dump: values and picture."""
        self.alive()
        self.xdo("key", "F11")
        values = self.wait_dump(self.count, what)
        self.count += 1
        return values

    def wait_until(self, what, test, limit=DUMP_LIMIT):
        """Dumps until `test` holds for one; fails after the time limit."""
        deadline = time.monotonic() + limit
        while True:
            d = self.dump(what)
            if test(d):
                return d
            time.sleep(0.2)  # a poll interval: the dumps themselves are the condition
            if time.monotonic() > deadline:
                raise Failure(f"{what}: not reached within {limit:.0f} s")

    def click(self, x, y, what, last=False):
        """Button down and up in frames of their own: a dump lies between them. The last
        click of a run may end the game at the press, so nothing waits after it."""
        self.xdo("mousemove", str(x), str(y))
        self.dump(f"pointer on {what}")
        self.xdo("mousedown", "1")
        if not last:
            self.dump(f"button down on {what}")
        self.xdo("mouseup", "1")

    def hold(self, key, seconds, what):
        self.xdo("keydown", key)
        self.dump(f"{what}: {key} down")
        time.sleep(seconds)  # the length of the press is what is tested, not a wait for the game
        self.xdo("keyup", key)
        return self.dump(f"{what}: {key} up")

    def wait_exit(self):
        try:
            return self.game.wait(EXIT_LIMIT)
        except subprocess.TimeoutExpired:
            raise Failure(f"the game did not exit within {EXIT_LIMIT:.0f} s")


class Checks:
    """Collects failed checks, so one run reports all it saw."""

    def __init__(self):
        self.failed = []

    def expect(self, ok, text):
        print(("ok    " if ok else "FAIL  ") + text)
        if not ok:
            self.failed.append(text)
        return ok


def state_of(d):
    s = d.get("state", "none")
    return int(s) if s.lstrip("-").isdigit() else None


def txyz_of(d):
    t = d.get("txyz", "none")
    return tuple(float(v) for v in t.split()) if t != "none" else None


def gametime_of(d):
    t = d.get("gametime", "none")
    return float(t) if t != "none" else None


def saved_txyz(text, store):
    """The "txyz" vector of the store named `store` in a save file, read as plain text: the
    first "v_setv_sffff" line naming "txyz" after the line that selects the store."""
    lines = text.splitlines()
    for i, line in enumerate(lines):
        if store in line and ("sel(" in line or "new(" in line):
            for later in lines[i + 1:]:
                if "setv" in later and ("'txyz'" in later or '"txyz"' in later):
                    inner = later[later.index("(") + 1:later.rindex(")")]
                    parts = [p.strip() for p in inner.split(",")]
                    return tuple(float(p) for p in parts[1:4])
    return None


def check_menu(game, checks, what, entries):
    """The menu stands over its background, and the entry under the pointer is lit: the
    pointer rests on the first entry (the last one unlit), then moves to the last."""
    last, first = menu_entry(entries, entries[-1]), menu_entry(entries, entries[0])
    game.xdo("mousemove", str(first[0]), str(first[1]))
    before = game.wait_until(f"{what}: first entry lit", lambda d: near(d["picture"].at(*first), MENU_LIT, 24))
    s = state_of(before)
    checks.expect(s is not None and s & STATE_MENU, f"{what}: the game state has 0x4 (state {s})")
    (bx, by), want = MENU_BACKGROUND
    bg = before["picture"].at(bx, by)
    checks.expect(near(bg, want, 16), f"{what}: the menu's background at ({bx}, {by}): {bg}, want {want}")
    unlit = before["picture"].at(*last)
    checks.expect(near(unlit, MENU_UNLIT, 24), f"{what}: '{entries[-1]}' unlit away from the pointer: {unlit}")
    game.xdo("mousemove", str(last[0]), str(last[1]))
    lit = game.wait_until(f"{what}: '{entries[-1]}' lit under the pointer",
                          lambda d: near(d["picture"].at(*last), MENU_LIT, 24))
    checks.expect(not near(lit["picture"].at(*first), MENU_LIT, 24), f"{what}: '{entries[0]}' unlit again")
    return lit


def swim(game, checks, what):
    """W held for 2 s; the diver's place once it has come to rest."""
    start = txyz_of(game.dump(f"{what}: before"))
    game.hold("w", 2.0, what)
    last = [None]
    rest = game.wait_until(f"{what}: diver at rest", lambda d: settled(d, last))
    here = txyz_of(rest)
    checks.expect(start is not None and here is not None and distance(start, here) >= 1.0,
                  f"{what}: W held 2 s moved the diver from {start} to {here}")
    return here


def play(game, checks):
    game.install()
    game.start()

    # The loading screen is what stands on screen when the start scripts end.
    first = game.wait_dump(0, "start scripts done")
    game.count = 1
    for (x, y), want in LOADING_PROBES:
        got = first["picture"].at(x, y)
        checks.expect(near(got, want, 16), f"loading screen at ({x}, {y}): {got}, want {want}")

    # The window has the keyboard focus under the pointer (no window manager).
    game.xdo("mousemove", str(SCREEN_W // 2), str(SCREEN_H // 2))
    entries = ["Neues Spiel", "Beenden"]
    check_menu(game, checks, "main menu", entries)

    # A new game: level 1 fades in over 4 s of game time.
    game.click(*menu_entry(entries, "Neues Spiel"), "Neues Spiel")
    started = game.wait_until("level 1 running",
                              lambda d: d["level"] == "level1" and (state_of(d) or 0) & STATE_LEVEL
                              and gametime_of(d) is not None)
    # Game time run since the start; starting the level may set the clock back.
    ran = [0.0, gametime_of(started)]

    def faded_in(d):
        t = gametime_of(d)
        ran[0] += max(0.0, t - ran[1])
        ran[1] = t
        return ran[0] >= 4.5

    shown = game.wait_until("level 1 faded in", faded_in)
    pic = shown["picture"]
    s = state_of(shown)
    checks.expect(s & STATE_RUNNING and not s & STATE_MENU, f"in play: state {s} has 0x2 and not 0x4")
    checks.expect(shown["diver"] == "diver1", f"the active diver is diver1 ({shown['diver']})")
    water = [pic.at(x, y) for x in (80, 400, 720) for y in (30, 120)]
    checks.expect(all(is_water(p) for p in water), f"water colour in the upper quarter: {water}")
    suit = pic.count((160, 120, 640, 500), is_suit)
    checks.expect(suit >= 20, f"the diver's suit where the camera frames it: {suit} orange probes")
    air = pic.count(AIR_BAR, is_air, step=1)
    checks.expect(air >= 10, f"the air bar of the HUD's diver figure: {air} probes in {AIR_BAR}")

    here = swim(game, checks, "forward")

    # Quick save, swim on, quick load: the diver is back where it was saved.
    # The save is written under a temporary name and renamed: once there, it is whole.
    save_path = os.path.join(game.home, "save", "schnellspeicher.n")
    game.xdo("key", "F5")
    game.wait_until("F5 wrote save/schnellspeicher.n", lambda d: os.path.isfile(save_path))
    text = open(save_path, encoding="utf-8", errors="replace").read()
    checks.expect(any("currlevel" in line and "level1" in line for line in text.splitlines()),
                  "the save holds currlevel level1")
    saved = saved_txyz(text, "diver1")
    checks.expect(saved is not None and distance(saved, here) <= 0.05,
                  f"the save holds diver1's txyz {saved} at the F5 position {here}")
    away = swim(game, checks, "forward again")
    game.xdo("key", "F9")
    loaded = game.wait_until("quick load done",
                             lambda d: (state_of(d) or 0) & STATE_LEVEL and txyz_of(d) is not None
                             and distance(txyz_of(d), away) > 0.5)
    s = state_of(loaded)
    back = txyz_of(loaded)
    checks.expect(distance(back, here) <= 0.05 and (saved is None or distance(back, saved) <= 0.05),
                  f"F9: diver at {back}; at F5 {here}, saved {saved}")
    checks.expect(s & STATE_RUNNING and s & STATE_LEVEL and not s & STATE_MENU,
                  f"after F9: state {s} has 0x2 and 0x40, not 0x4")

    # Esc: the menu over the paused game, whose clock stands.
    game.xdo("key", "Escape")
    game.wait_until("menu in play", lambda d: (state_of(d) or 0) & STATE_MENU)
    entries = ["Neues Spiel", "Weiterspielen", "Spiel laden", "Beenden"]
    check_menu(game, checks, "menu in play", entries)
    a = game.dump("game clock")
    time.sleep(1.0)  # the clock must stand over real time; the frame count shows frames ran
    b = game.wait_until("a second of frames", lambda d: int(d["frames"]) > int(a["frames"]) + 5)
    checks.expect(gametime_of(a) == gametime_of(b),
                  f"gametime stands in the menu: {gametime_of(a)} -> {gametime_of(b)}")

    # "Beenden" ends the game.
    game.click(*menu_entry(entries, "Beenden"), "Beenden", last=True)
    code = game.wait_exit()
    checks.expect(code == 0, f"the game exits with 0 after Beenden (exit code {code})")


def settled(d, last):
    """True when the diver has not moved since the previous dump."""
    here = txyz_of(d)
    prev, last[0] = last[0], here
    return here is not None and prev is not None and distance(here, prev) <= 0.005


def check_log(game, checks):
    path = os.path.join(game.bin, "Brinewick.log")
    log = open(path, encoding="utf-8", errors="replace").read() if os.path.exists(path) else ""
    checks.expect(log != "", "the log was written")
    checks.expect("Aborting" not in log, "the log has no 'Aborting'")
    # The run spans hundreds of frames: a line as frequent as that is written every frame.
    frames = 0
    for name in os.listdir(game.dumps):
        if name.startswith("dump_"):
            for line in open(os.path.join(game.dumps, name)):
                if line.startswith("frames "):
                    frames = max(frames, int(line.split()[1]))
    limit = max(30, frames // 4)
    lines = Counter(line for line in log.splitlines() if line.strip())
    often = [(n, line) for line, n in lines.items() if n > limit]
    checks.expect(not often, f"no log line repeated every frame ({frames} frames; above {limit}: {often[:3]})")


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--game", required=True, help="the build's bin/win32/brinewick")
    parser.add_argument("--build", required=True, help="the build directory (home: of the build)")
    parser.add_argument("--keep", action="store_true", help="keep the installation")
    args = parser.parse_args()
    missing = [tool for tool in ("Xvfb", "xdotool") if shutil.which(tool) is None]
    if missing:
        print(f"SKIPPED: the playthrough needs {' and '.join(missing)} (bash .ci/setup installs them)")
        return SKIP
    work = tempfile.mkdtemp(prefix="bw_play_")
    game = Game(os.path.abspath(args.game), os.path.abspath(args.build), work)
    checks = Checks()
    # A terminated test still ends its processes.
    signal.signal(signal.SIGTERM, lambda *_: sys.exit(1))
    try:
        play(game, checks)
    except Failure as e:
        checks.expect(False, str(e))
    except (subprocess.CalledProcessError, subprocess.TimeoutExpired) as e:
        checks.expect(False, f"xdotool: {e}")
    finally:
        game.stop()
    check_log(game, checks)
    if checks.failed:
        out = os.path.join(work, "out.txt")
        if os.path.exists(out):
            print("---- game output (last lines)")
            print("".join(open(out, errors="replace").readlines()[-40:]))
        print(f"{len(checks.failed)} checks failed; the installation stays at {work}")
        return 1
    if not args.keep:
        shutil.rmtree(work, ignore_errors=True)
    return 0


if __name__ == "__main__":
    sys.exit(main())
