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
import re
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
-- Level 1's things, in the order the test visits them with F8: the active diver is put
-- just above the next one (by the fish in every frame while it is the fish's turn).
bwx_route = {'fotoapparat', 'fish', 'cutter', 'door', 'sandremover', 'heap', 'kiste', 'luftsack', 'kiste',
             'vent', 'basket', 'switch'}
bwx_stop = 0
bwx_chase = false
local function bwx_l(name) return '/usr/logic/level1/' .. name end
local function bwx_active()
    local path = obj('/usr/logic/level1').getactivediver()
    if not path or path == '' or path == 'none' then return nil end
    return path
end
local function bwx_place(x, y, z)
    local d = bwx_active()
    if d then
        bwx_rest(d)
        obj(d).txyz(x, y + 0.5, z)
    end
end
-- The fish goes only for a diver inside its box (1 up or down): in its upper half the
-- diver is put half a unit below it, else above it. A diver above a fish at the box's top
-- would be outside; the fish would flee it and, chased, never bite.
local function bwx_chase_fish()
    local bx, by, bz = obj(bwx_l('fishbox')).gett()
    local fx, fy, fz = obj(bwx_l('fishbox/fish')).gett()
    bwx_place(bx + fx, by + fy + (fy > 0 and -1 or 0), bz + fz)
end
function bwx_next()
    bwx_stop = bwx_stop + 1
    local name = bwx_route[bwx_stop]
    bwx_chase = name == 'fish'
    if bwx_chase then return end
    if name and exists(bwx_l(name)) then
        local x, y, z = obj(bwx_l(name)).gett()
        local o = bwx_before[name] or {0, 0, 0}
        bwx_place(x + o[1], y + o[2], z + o[3])
        -- Facing the door's leaf, whatever way the last swims left the diver turned: the
        -- camera behind it looks through the doorway.
        if name == 'door' and bwx_active() then obj(bwx_active()).rxyz(0, 0, 0) end
    end
end
function bwx_tick()
    bwx_frames = bwx_frames + 1
    bwx_rest_tick()
    if bwx_chase then pcall(bwx_chase_fish) end
    execbuf('bwx_tick()')
end
-- The names of the items in a container, joined by ",".
local function bwx_items(path)
    if not exists(path) then return 'none' end
    local names = ''
    local child = obj(path).gethead()
    while child ~= '' do
        local o = obj(child)
        if o.isa('nbwitem') then names = names .. (names == '' and '' or ',') .. o.getname() end
        child = o.getsucc()
    end
    return names
end
local function bwx_things()
    local lines = {}
    local function add(key, f)
        local ok, v = pcall(f)
        lines[#lines + 1] = key .. ' ' .. (ok and v ~= nil and tostring(v) or 'none')
    end
    local d = bwx_active()
    add('inventory', function() return bwx_items(d .. '/inventory') end)
    add('hand', function() return obj(d).getpath('hand'):match('([^/]+)$') end)
    add('basket', function() return bwx_items(bwx_l('basket/inventory')) end)
    add('basketopen', function() return exists(bwx_l('basket/selection')) and obj(bwx_l('basket/selection')).getactive() and 1 or 0 end)
    add('openstatus', function() return obj(bwx_l('door')).getopen() and 1 or 0 end)
    add('sweepvalue', function() return string.format('%.4f', obj(bwx_l('heap')).getsweepvalue()) end)
    add('docuvalue', function()
        for _, p in ipairs({'diver1/inventory/fotoapparat', 'diver2/inventory/fotoapparat',
                            'basket/inventory/fotoapparat', 'fotoapparat'}) do
            if exists(bwx_l(p)) then return string.format('%.4f', obj(bwx_l(p)).getdokumentation()) end
        end
    end)
    add('waterstand', function() return string.format('%.4f', obj(bwx_l('chamber/chamberwater')).getwaterstand()) end)
    add('crate', function()
        for _, p in ipairs({'/usr/persist/level1/kiste', '/usr/persist/camp/kiste'}) do
            if exists(p) then return p end
        end
    end)
    for _, n in ipairs({'diver1', 'diver2'}) do
        add('life_' .. n, function() return string.format('%.4f', obj(bwx_l(n)).getstat('lifepoints')) end)
        add('txyz_' .. n, function() return string.format('%.4f %.4f %.4f', obj(bwx_l(n)).gett()) end)
    end
    add('status', function() return obj('/usr/logic/uwmenu/statusbar').getvalue('text') end)
    add('camera', bwx_camera)
    return lines
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
-- The game has no file library: the test reads what the hook prints, each line under
-- the name of what it belongs to.
function bwx_print(name, lines)
    for _, line in ipairs(lines) do print('bwx ' .. name .. ' ' .. line) end
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
    if level == 'level1' then
        for _, line in ipairs(bwx_things()) do lines[#lines + 1] = line end
    end
    obj('/sys/servers/gfx').screenshot(bwx_dir .. 'shot_' .. n .. '.bmp')
    lines[#lines + 1] = 'end'
    bwx_print('dump_' .. n, lines)
end
-- ---- The solid level and the rising and sinking keys: F7 puts the active diver at the
-- next place of its own route, level and facing -z; the dump adds the follow camera's place.
bwx_solid_route = {{0, 2, 30}, {-6, 1.2, 26}, {0, 1.5, 11.5}, {-6, 0.1, 1.6}, {0, 4.5, 11.5}, {-7.5, 2, 11.5},
                   {0, 7, 12}, {0, 1.5, 11.5}}
-- F8 puts the diver in front of what is solid rather than at its place: before the middle
-- of the door's leaf (its hinge at the door's place, the leaf 3 wide along x), its body clear
-- of the seabed (0.7 high there), which would push it up and turn it; beside the heap, the
-- crate, the switch and the vent, and above the basket.
bwx_before = {door = {1.5, 1.0, 1.6}, heap = {0, 0, 3.1}, kiste = {0, 0.6, 1.6}, switch = {0, 0, 1.3},
              basket = {0, 1.3, 0}, vent = {0, 0.5, 2.2}}
bwx_solid_stop = 0
function bwx_solid_next()
    bwx_solid_stop = bwx_solid_stop + 1
    local p, d = bwx_solid_route[bwx_solid_stop], bwx_active()
    if p and d then
        bwx_rest(d)
        obj(d).txyz(p[1], p[2], p[3])
        obj(d).rxyz(0, 0, 0)
    end
end
-- A diver put somewhere by F7 or F8 has its body's shapes rest for two frames: moving, they
-- are tested along the way from where it was, and a jump would meet rocks and the door.
bwx_resting = nil
bwx_rest_frames = 0
function bwx_body(d, dynamic)
    for _, m in ipairs({'body1', 'body2'}) do
        if exists(d .. '/' .. m) then obj(d .. '/' .. m).setdynamic(dynamic) end
    end
end
function bwx_rest(d)
    bwx_body(d, false)
    bwx_resting = d
    bwx_rest_frames = 2
end
function bwx_rest_tick()
    if bwx_rest_frames <= 0 then return end
    bwx_rest_frames = bwx_rest_frames - 1
    if bwx_rest_frames == 0 and bwx_resting and exists(bwx_resting) then bwx_body(bwx_resting, true) end
end
function bwx_camera()
    return string.format('%.4f %.4f %.4f', obj(bwx_l('cam')).gett())
end
-- ---- end of the solid level's part
sel('/sys/servers/input')
map('keyb0:f11.down', 'bwx_f11')
map('keyb0:f8.down', 'bwx_f8')
map('keyb0:f7.down', 'bwx_f7')
sel('/')
new('nlogicnode', '/usr/logic/bwx')
new('nlogicinput', '/usr/logic/bwx/f11')
sel('/usr/logic/bwx/f11')
setgroup('bwx')
setfocus(true)
addinput('bwx_f11', 'bwx_dump()')
addinput('bwx_f8', 'bwx_next()')
addinput('bwx_f7', 'bwx_solid_next()')
sel('/')
-- What the screen shows when the start scripts are done: the first dump, no key needed.
bwx_dump()
execbuf('bwx_tick()')
"""


# ---- Probes of the held-item panel, the heap, the Esc menu and the headlight ----------
# Their hook lines follow the test's hook: F11 also writes "probe_<n>.txt" (what the
# panel drew last, the heap's hitpoints); F3 and F4 put the cutter or the sand remover
# into the active diver's hand.
PROBE_HOOK = r"""
local bwx_probe_dump = bwx_dump
function bwx_dump()
    local lines = {}
    local function add(key, f)
        local ok, v = pcall(f)
        lines[#lines + 1] = key .. ' ' .. (ok and v ~= nil and v ~= '' and tostring(v) or 'none')
    end
    add('panel', function() return obj('/usr/logic/uwmenu/inventory').getvalue('_root.shown') end)
    add('heaphp', function() return string.format('%.4f', obj('/usr/logic/level1/heap').getfloat('hitpoints')) end)
    bwx_print('probe_' .. bwx_count, lines)
    bwx_probe_dump()
end
function bwx_hand(name)
    local d = obj('/usr/logic/level1').getactivediver()
    if exists(d .. '/inventory/' .. name) then obj(d).setpath('hand', 'inventory/' .. name) end
end
sel('/sys/servers/input')
map('keyb0:f3.down', 'bwx_f3')
map('keyb0:f4.down', 'bwx_f4')
sel('/usr/logic/bwx/f11')
addinput('bwx_f3', "bwx_hand('cutter')")
addinput('bwx_f4', "bwx_hand('sandremover')")
sel('/')
"""
HOOK += PROBE_HOOK

# ---- The revival's hook lines: F2 puts the active diver into the hot vent; F11 also prints
# diver1's pitch and roll (the y of its z and x rows) as "revival_<n>".
HOOK += r"""
local bwx_revival_dump = bwx_dump
function bwx_dump()
    local ok, text = pcall(function()
        local _, pitch = obj(bwx_l('diver1')).getaxis('z')
        local _, roll = obj(bwx_l('diver1')).getaxis('x')
        return string.format('%.4f %.4f', pitch, roll)
    end)
    bwx_print('revival_' .. bwx_count, {ok and text or 'nan nan'})
    bwx_revival_dump()
end
-- F6: the air bag dug out of the heap and laid before the closed door's leaf, the active
-- diver put at it.
function bwx_bag_at_door()
    local bag = obj(bwx_l('luftsack'))
    local x, y, z = obj(bwx_l('door')).gett()
    bag.setvisible(true)
    bag.sethandleractive('collision', 'item', true)
    bag.txyz(x + 1.5, y + 1.0, z + 1.6)
    bwx_place(x + 1.5, y + 0.5, z + 1.6)
end
function bwx_vent()
    local x, y, z = obj(bwx_l('vent')).gett()
    local o = bwx_before.vent
    bwx_place(x + o[1], y + o[2], z + o[3])
end
sel('/sys/servers/input')
map('keyb0:f2.down', 'bwx_f2')
map('keyb0:f6.down', 'bwx_f6')
sel('/usr/logic/bwx/f11')
addinput('bwx_f2', 'bwx_vent()')
addinput('bwx_f6', 'bwx_bag_at_door()')
sel('/')
"""

# The held-item panel's badge (its middle) in the type's own colour, as its movie makes it.
PANEL_BADGE = (742, 533)


def badge_colour(typ):
    h = 0
    for c in typ:
        h = (h * 31 + ord(c)) % 997
    return tuple(round(255 * v) for v in (0.3 + (h % 7) / 10, 0.3 + (h % 5) / 8, 0.3 + (h % 3) / 4))


def probe(game, d):
    """The probe lines written with dump `d`."""
    values = {}
    for line in game.printed(f"probe_{d['n']}").splitlines():
        key, _, value = line.strip().partition(" ")
        values[key] = value
    return values


def check_panel_follows_hand(game, checks, taken):
    """The camera just came into the hand (dump `taken`): within a second of game time the
    panel has drawn its German name and its badge colour."""
    want = badge_colour("fotoapparat")
    d = game.wait_until("the panel shows the camera",
                        lambda d: probe(game, d).get("panel") == "Fotoapparat"
                        and near(d["picture"].at(*PANEL_BADGE), want, 24), limit=30)
    late = gametime_of(d) - gametime_of(taken)
    checks.expect(late <= 1.0, f"the panel named 'Fotoapparat' {late:.2f} s of game time after the hand took the camera")


def check_heap_resists_cutter(game, checks):
    """At the heap with the cutter in hand (F3), Q leaves the heap as it was; the sand
    remover (F4) goes back into the hand for the test's own sweep."""
    game.xdo("key", "F3")
    game.wait_until("the cutter in the hand at the heap", lambda d: d.get("hand") == "cutter")
    game.xdo("key", "q")
    before = game.dump("Q with the cutter at the heap")
    d = game.wait_until("a second of frames after the cut",
                        lambda d: int(d["frames"]) > int(before["frames"]) + 40)
    checks.expect(num(d, "sweepvalue") == 0 and probe(game, d).get("heaphp") == "1.0000",
                  f"the cutter leaves the heap: sweep {d.get('sweepvalue')}, hitpoints {probe(game, d).get('heaphp')}")
    game.xdo("key", "F4")
    game.wait_until("the sand remover back in the hand", lambda d: d.get("hand") == "sandremover")


def esc_menu_lights_continue(game, checks):
    """Esc in play, the pointer away from the entries: "Weiterspielen" is lit, "Neues
    Spiel" is not."""
    entries = ["Neues Spiel", "Weiterspielen", "Spiel laden", "Beenden"]
    game.xdo("mousemove", "60", "560")
    game.xdo("key", "Escape")
    cont, new = menu_entry(entries, "Weiterspielen"), menu_entry(entries, "Neues Spiel")
    d = game.wait_until("menu in play", lambda d: (state_of(d) or 0) & STATE_MENU
                        and near(d["picture"].at(*cont), MENU_LIT, 24))
    checks.expect(not near(d["picture"].at(*new), MENU_LIT, 24),
                  f"Esc in play: 'Weiterspielen' lit first, 'Neues Spiel' unlit ({d['picture'].at(*new)})")


# The seabed ahead of the diver as the camera frames it at the start, clear of the HUD.
SEABED_AHEAD = (200, 390, 600, 515)


def brightness(d, box):
    pic = d["picture"]
    pixels = [pic.at(x, y) for y in range(box[1], box[3], 4) for x in range(box[0], box[2], 4)]
    pixels = [p for p in pixels if not is_suit(p)]
    return sum(sum(p) for p in pixels) / max(1, len(pixels)) / 3


def check_headlight(game, checks):
    """L switches the diver's headlight on: the seabed ahead gets brighter; L again
    switches it off."""
    dark = game.dump("headlight off")
    game.xdo("key", "l")
    lit = game.wait_until("the headlight on", lambda d: brightness(d, SEABED_AHEAD) >= brightness(dark, SEABED_AHEAD) + 6,
                          limit=30)
    checks.expect(True, f"L: the seabed ahead brightened from {brightness(dark, SEABED_AHEAD):.1f} "
                        f"to {brightness(lit, SEABED_AHEAD):.1f}")
    game.xdo("key", "l")
    game.wait_until("the headlight off", lambda d: brightness(d, SEABED_AHEAD) <= brightness(dark, SEABED_AHEAD) + 3,
                    limit=30)

# ---- end of the panel, heap, Esc menu and headlight probes ----------------------------


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
        # What the game prints: the hook's dumps among it.
        self.out = "out.txt"

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
        self.log_out = open(os.path.join(self.work, self.out), "w")
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
        deadline = time.monotonic() + (START_LIMIT if n == 0 else DUMP_LIMIT)
        while True:
            text = self.printed(f"dump_{n}")
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

    def printed(self, name):
        """The lines the hook printed under `name` (the game has no file library)."""
        prefix = f"bwx {name}" if name.endswith("_") else f"bwx {name} "
        path = os.path.join(self.work, self.out)
        if not os.path.exists(path):
            return ""
        with open(path, errors="replace") as f:
            return "".join(line[len(prefix):] for line in f if line.startswith(prefix))

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

    def hold_until(self, key, what, test, limit=DUMP_LIMIT):
        """Holds `key` until a dump passes `test`: how far a held key takes the diver in a
        span of wall time depends on how fast a busy machine draws frames."""
        self.xdo("keydown", key)
        try:
            return self.wait_until(what, test, limit)
        finally:
            self.xdo("keyup", key)

    def hold(self, key, seconds, what):
        self.xdo("keydown", key)
        self.dump(f"{what}: {key} down")
        time.sleep(seconds)  # the length of the press is what is tested, not a wait for the game
        self.xdo("keyup", key)
        return self.dump(f"{what}: {key} up")

    def windows(self):
        """The X windows that show, by id: a message box would add one."""
        env = dict(os.environ, DISPLAY=self.display)
        out = subprocess.run(["xdotool", "search", "--onlyvisible", "--name", ""], env=env, timeout=60,
                             stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True).stdout
        return set(out.split())

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


def menu_keys(game, checks, what, entries, lit):
    """With the pointer away from the entries, W lights the entry above and S the one below
    (round at either end), as the README's Controls table says; `lit` is lit at the start."""
    game.xdo("mousemove", *map(str, MENU_BACKGROUND[0]))
    i = entries.index(lit)
    for key in ("s", "w", "w", "s"):
        i = (i + (1 if key == "s" else -1)) % len(entries)
        want = menu_entry(entries, entries[i])
        game.xdo("key", key)
        d = game.wait_until(f"{what}: {key.upper()} lit '{entries[i]}'", lambda d: near(d["picture"].at(*want), MENU_LIT, 24),
                            limit=30)
        others = [e for e in entries if e != entries[i] and near(d["picture"].at(*menu_entry(entries, e)), MENU_LIT, 24)]
        checks.expect(not others, f"{what}: after {key.upper()} only '{entries[i]}' lit (also lit: {others})")


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
    menu_keys(game, checks, "main menu", entries, "Beenden")

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
    check_headlight(game, checks)

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

    click_basket_figure(game, checks)
    figures_help(game, checks)
    solid_level(game, checks)
    revival(game, checks)
    things(game, checks)

    door_cut_open(game, checks)

    # Esc: the menu over the paused game, whose clock stands.
    esc_menu_lights_continue(game, checks)
    entries = ["Neues Spiel", "Weiterspielen", "Spiel laden", "Beenden"]
    menu_keys(game, checks, "menu in play", entries, "Weiterspielen")
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


# The basket's figure on the heads-up display, right of the divers' figures.
BASKET_FIGURE = (215, 548)


def click_basket_figure(game, checks):
    """A click on the basket's figure switches to nothing and stops nothing: frames go on,
    W swims diver1 ("Taucher 1") and F5 saves. A box waiting for OK would keep the dumps
    that follow the press from being written."""
    shown = game.windows()
    game.click(*BASKET_FIGURE, "the basket's figure")
    a = game.dump("after the click on the basket's figure")
    b = game.wait_until("frames go on after the click", lambda d: int(d["frames"]) > int(a["frames"]) + 10)
    checks.expect(b["diver"] == "diver1", f"after the click on the basket's figure the active diver is diver1 "
                                          f"({b['diver']})")
    checks.expect(game.windows() == shown, "no message box came up over the game")
    game.xdo("mousemove", str(SCREEN_W // 2), str(SCREEN_H // 2))
    here = swim(game, checks, "W after the click on the basket's figure")
    save_path = os.path.join(game.home, "save", "schnellspeicher.n")
    before = os.path.getmtime(save_path)
    game.xdo("key", "F5")
    d = game.wait_until("F5 after the click on the basket's figure", lambda d: os.path.getmtime(save_path) != before)
    saved = saved_txyz(open(save_path, encoding="utf-8", errors="replace").read(), "diver1")
    checks.expect(saved is not None and distance(saved, here) <= 0.05,
                  f"F5 saved diver1 at {saved}, where W brought it ({here})")
    checks.expect(d["diver"] == "diver1" and game.windows() == shown,
                  f"after W and F5 still diver1 ({d['diver']}) and no box")


def figures_help(game, checks):
    """The pointer over each diver's figure shows the help to switch divers, and over the
    seabed left of the figures nothing; the figures stand in the divers' order: a click on
    the right one switches to diver2, whose name then stays in the status line under the
    resting pointer, and the left one back to diver1."""
    def centre(diver):
        x0, y0, x1, y1 = FIGURES[diver]
        return (x0 + x1) // 2, (y0 + y1) // 2

    for diver in ("diver1", "diver2"):
        game.xdo("mousemove", *map(str, centre(diver)))
        d = game.wait_until(f"the help over {diver}'s figure", lambda d: d.get("status") == SWITCH_HELP)
        game.xdo("mousemove", "30", "560")
        d = game.wait_until("the help gone over the seabed", lambda d: d.get("status") != SWITCH_HELP)
        checks.expect(d.get("status") == " ", f"nothing over the seabed left of the figures: '{d.get('status')}'")
    checks.expect(framed(d, "diver1") >= 20 and framed(d, "diver2") < 5,
                  f"the left figure is diver1's, framed: {framed(d, 'diver1')}, diver2's {framed(d, 'diver2')}")
    game.click(*centre("diver2"), "diver2's figure")
    d = game.wait_until("a click on the right figure switched to diver2",
                        lambda d: d.get("diver") == "diver2" and d.get("status") == "Taucher 2")
    d = game.wait_until("diver2's figure framed", lambda d: framed(d, "diver2") >= 20)
    checks.expect(d.get("status") == "Taucher 2", f"the switch's message stays under the pointer: '{d.get('status')}'")
    game.click(*centre("diver1"), "diver1's figure")
    game.wait_until("a click on the left figure switched back", lambda d: d.get("diver") == "diver1")
    # A click that comes in the same instant as the pointer's move onto a figure counts there.
    for diver in ("diver2", "diver1"):
        game.xdo("mousemove", str(SCREEN_W // 2), str(SCREEN_H // 2))
        game.dump(f"the pointer away from {diver}'s figure")
        game.xdo("mousemove", *map(str, centre(diver)), "click", "1")
        d = game.wait_until(f"a click with the move onto {diver}'s figure", lambda d: d.get("diver") == diver, limit=30)
        checks.expect(d.get("diver") == diver, f"a click with the pointer's move onto {diver}'s figure switched to it")
    game.xdo("mousemove", str(SCREEN_W // 2), str(SCREEN_H // 2))


def num(d, key):
    v = d.get(key, "none")
    try:
        return float(v)
    except ValueError:
        return None


def names(d, key):
    v = d.get(key, "none")
    return [] if v in ("none", "") else v.split(",")


def vec(d, key):
    v = d.get(key, "none")
    return tuple(float(p) for p in v.split()) if v != "none" else None


# The texts the level's scripts show in the status line.
FISH_ATTACK = "Taucher 1: Ein Fisch greift an!"
NOT_CARRIABLE = "Das lässt sich nicht tragen."
LOW_LIFE = "Taucher 1: Vorsicht: Die Gesundheit des Tauchers ist schwach!"
IN_BASKET = "In den Korb gelegt."
OUT_OF_BASKET = "Aus dem Korb genommen."
WATER_OUT = "Das Wasser ist abgelaufen."

# The basket's screen: its list of slots from (275, 260), 250 x 64, the selector resting on
# the first slot; the heads-up display's inventory bar and its selector.
BASKET_LIST = (280, 266, 520, 318)
BASKET_SELECTOR = (300, 290)
BAR_SELECTOR = (425, 550)


# The human divers' figures on the heads-up display, in the divers' order; the active diver's
# picture has a white frame.
FIGURES = {"diver1": (75, 524, 105, 562), "diver2": (110, 524, 140, 562)}
SWITCH_HELP = "Taucher wechseln"


def is_white(p):
    return min(p) >= 230


def framed(d, diver):
    return d["picture"].count(FIGURES[diver], is_white, step=1)


# The sand remover's yellow, seen through the doorway in the middle of the picture once the
# door is open.
DOORWAY = (300, 250, 500, 450)


def is_remover(p):
    r, g, b = p
    return r >= 150 and g >= 130 and b <= 80 and r - b >= 110


def is_dark_panel(p):
    r, g, b = p
    return max(p) < 90 and b >= r


def things(game, checks):
    """Level 1's things with the game's keys: F8 (the hook) puts the active diver at the
    next thing of its route, E takes or works it, Q uses what the hand holds."""
    def at_next(what):
        game.xdo("key", "F8")
        return game.dump(f"at {what}")

    def take(what, item):
        """At the next thing, E takes it into the hand."""
        at_next(what)
        game.xdo("key", "e")
        return game.wait_until(f"{what} in the hand", lambda d: d.get("hand") == item)

    d = take("the camera", "fotoapparat")
    check_panel_follows_hand(game, checks, d)
    checks.expect("fotoapparat" in names(d, "inventory"), f"E: the camera in the inventory ({d['inventory']})")
    game.xdo("key", "q")
    d = game.wait_until("Q photographs", lambda d: (num(d, "docuvalue") or 0) > 0)
    checks.expect(num(d, "docuvalue") >= 0.5, f"Q: the documentation value grew to {d['docuvalue']}")

    life = num(d, "life_diver1")
    at_next("the fish")
    d = game.wait_until("the fish bites", lambda d: d.get("status") == FISH_ATTACK, limit=120)
    d = game.wait_until("the bite hurts", lambda d: (num(d, "life_diver1") or 1) < life)
    checks.expect(num(d, "life_diver1") < life, f"the fish's bite: life {life} -> {d['life_diver1']}")

    take("the cutter", "cutter")
    at_next("the door")
    # The camera trails the diver: the view through the doorway once it has caught up. The
    # waits are of game time, which the camera and the door go by, whatever the frame rate.
    placed = game.dump("at the door")
    closed = game.wait_until("the camera behind the diver at the door",
                             lambda d: num(d, "gametime") > num(placed, "gametime") + 3.0)
    game.xdo("key", "q")
    d = game.wait_until("Q cuts the door open", lambda d: num(d, "openstatus") == 1)
    d = game.wait_until("door_open's message", lambda d: d.get("status") == "Die Tür ist aufgeschnitten.")
    opened = game.wait_until("the door swung open", lambda d: num(d, "gametime") > num(closed, "gametime") + 2.0)
    before, after = closed["picture"].count(DOORWAY, is_remover), opened["picture"].count(DOORWAY, is_remover)
    checks.expect(after >= 10 and after > 3 * before,
                  f"through the doorway the room behind shows: {before} -> {after} probes of the sand remover")

    take("the sand remover", "sandremover")
    at_next("the heap")
    check_heap_resists_cutter(game, checks)
    game.xdo("key", "q")
    d = game.wait_until("the heap swept away", lambda d: num(d, "sweepvalue") == 1)
    checks.expect(True, f"Q: the sand remover swept the heap ({d['sweepvalue']})")

    at_next("the crate")
    game.xdo("key", "e")
    d = game.wait_until("the crate cannot be carried", lambda d: d.get("status") == NOT_CARRIABLE)
    checks.expect(d["crate"] == "/usr/persist/level1/kiste" and "kiste" not in names(d, "inventory"),
                  f"E at the crate: '{NOT_CARRIABLE}' and it stays ({d['crate']})")
    take("the air bag", "luftsack")
    at_next("the crate again")
    game.xdo("key", "q")
    d = game.wait_until("the air bag lifts the crate", lambda d: d.get("crate") == "/usr/persist/camp/kiste")
    checks.expect(d["hand"] == "hand" and "luftsack" not in names(d, "inventory"),
                  f"the air bag is used up, the hand bare ({d['hand']})")

    at_next("the vent")
    first = game.dump("in the vent")
    d = game.wait_until("the low-life warning", lambda d: d.get("status") == LOW_LIFE)
    checks.expect(num(d, "life_diver1") < num(first, "life_diver1"),
                  f"in the vent life falls: {first['life_diver1']} -> {d['life_diver1']}")

    # Out to the basket; the camera into the hand from the inventory bar (the selector
    # dragged onto the second slot from the left), then into the basket.
    at_next("the basket")
    game.xdo("key", "i")
    opened = game.wait_until("the inventory bar open", lambda d: (state_of(d) or 0) & 0x1000)
    # It slides in within 0.25 s of game time; the selector is grabbed where it rests.
    game.wait_until("the inventory bar in place", lambda d: int(d["frames"]) > int(opened["frames"]) + 15)
    game.xdo("mousemove", str(BAR_SELECTOR[0]), str(BAR_SELECTOR[1]))
    game.dump("pointer on the bar's selector")
    game.xdo("mousedown", "1")
    game.dump("selector grabbed")
    game.xdo("mousemove", str(BAR_SELECTOR[0] + 60), str(BAR_SELECTOR[1]))
    game.dump("selector dragged")
    game.xdo("mouseup", "1")
    d = game.wait_until("the camera taken from the bar", lambda d: d.get("hand") == "fotoapparat")
    checks.expect(not (state_of(d) or 0) & 0x1000, "taking from the bar closes it")
    game.xdo("key", "e")
    d = game.wait_until("the camera in the basket", lambda d: names(d, "basket") == ["fotoapparat"])
    checks.expect(d["status"] == IN_BASKET, f"E at the basket: '{d['status']}'")
    game.xdo("key", "e")
    opened = game.wait_until("the basket's screen open", lambda d: d.get("basketopen") == "1")
    # Its movie loads as it opens, and the screen takes no click in its first frames.
    d = game.wait_until("the basket's screen in place", lambda d: int(d["frames"]) > int(opened["frames"]) + 10)
    panel = d["picture"].count(BASKET_LIST, is_dark_panel)
    checks.expect(panel >= 50, f"the basket's screen shows its list: {panel} probes")
    game.xdo("mousemove", str(BASKET_SELECTOR[0]), str(BASKET_SELECTOR[1]))
    game.dump("pointer on the basket's selector")
    game.xdo("mousedown", "1")
    game.dump("button down on the basket's selector")
    game.xdo("mouseup", "1")
    d = game.wait_until("the camera out of the basket", lambda d: "fotoapparat" in names(d, "inventory"))
    checks.expect(names(d, "basket") == [] and d["status"] == OUT_OF_BASKET,
                  f"the camera came back out: basket '{d['basket']}', '{d['status']}'")
    game.wait_until("the basket's screen closed", lambda d: d.get("basketopen") == "0")
    # Tab: the second diver, whose figure takes the frame; it works the switch, and the
    # chamber's water runs out.
    d = game.dump("before Tab")
    checks.expect(framed(d, "diver1") >= 20 and framed(d, "diver2") < 5,
                  f"diver1's figure framed: {framed(d, 'diver1')}, diver2's {framed(d, 'diver2')}")
    game.xdo("key", "Tab")
    game.wait_until("Tab switched to diver2", lambda d: d.get("diver") == "diver2")
    d = game.wait_until("diver2's figure framed", lambda d: framed(d, "diver2") >= 20)
    checks.expect(framed(d, "diver1") < 5, f"diver1's figure no longer framed: {framed(d, 'diver1')}")
    at_next("the switch")
    game.xdo("key", "e")
    d = game.wait_until("the water run out", lambda d: d.get("status") == WATER_OUT, limit=120)
    checks.expect(num(d, "waterstand") <= 0.5, f"the water fell to its target: {d['waterstand']}")

    # F5, then changes, then F9: everything as saved.
    save_path = os.path.join(game.home, "save", "schnellspeicher.n")
    before = os.path.getmtime(save_path) if os.path.exists(save_path) else None
    saved = game.dump("before F5")
    game.xdo("key", "F5")
    game.wait_until("F5 saved level 1's things",
                    lambda d: os.path.isfile(save_path) and os.path.getmtime(save_path) != before)
    text = open(save_path, encoding="utf-8", errors="replace").read()
    for what, needle in (("the door open", "openstatus"), ("the heap swept", "sweepvalue"),
                         ("the water level", "waterstand"), ("the crate at the camp", "camp")):
        checks.expect(needle in text, f"the save holds {what} ('{needle}')")
    checks.expect(saved_txyz(text, "diver2") is not None and distance(saved_txyz(text, "diver2"),
                                                                      vec(saved, "txyz_diver2")) <= 0.05,
                  f"the save holds diver2's txyz {saved_txyz(text, 'diver2')} at {saved['txyz_diver2']}")
    # Backwards: before it stands the switch, solid.
    game.hold("s", 1.5, "diver2 swims away")
    game.xdo("key", "Tab")
    changed = game.wait_until("back to diver1", lambda d: d.get("diver") == "diver1")
    checks.expect(distance(vec(changed, "txyz_diver2"), vec(saved, "txyz_diver2")) > 0.5,
                  "diver2 moved away from its saved place")
    game.xdo("key", "F9")
    d = game.wait_until("F9 brought level 1 back", lambda d: d.get("diver") == "diver2"
                        and (state_of(d) or 0) & STATE_LEVEL)
    for key_, label in (("openstatus", "the door"), ("sweepvalue", "the heap"), ("crate", "the crate"),
                        ("inventory", "diver2's inventory"), ("basket", "the basket"),
                        ("waterstand", "the water level")):
        checks.expect(d.get(key_) == saved.get(key_), f"F9: {label} as saved: {d.get(key_)} ({saved.get(key_)})")
    for n in ("diver1", "diver2"):
        got, want = vec(d, "txyz_" + n), vec(saved, "txyz_" + n)
        checks.expect(got is not None and want is not None and distance(got, want) <= 0.05,
                      f"F9: {n} at {got}, saved at {want}")


# ---- The revival: diver1, put into the hot vent with F2 and pitched up with R, passes out
# and comes back level at the first start point, clear of diver2 at the second.

def revival(game, checks):
    vent, start1 = (-8.0, 0.0, -12.0), (0.0, 4.0, 30.0)
    game.xdo("key", "F2")
    game.dump("in the vent")
    game.hold("r", 1.0, "nose up in the vent")
    game.wait_until("diver1 brought round", lambda d: vec(d, "txyz_diver1") is not None
                    and distance(vec(d, "txyz_diver1"), vent) > 10)
    d = at_rest(game, "brought round")
    one, two = vec(d, "txyz_diver1"), vec(d, "txyz_diver2")
    pitch, roll = (float(v) for v in game.printed(f"revival_{d['n']}").split())
    checks.expect(distance(one, start1) <= 1.0 and distance(one, two) >= 2.8 and abs(pitch) + abs(roll) <= 0.05,
                  f"diver1 brought round to the first start point {one}, clear of diver2 {two}, level: "
                  f"pitch {pitch}, roll {roll}")
    checks.expect(num(d, "life_diver1") == 1.0, f"diver1 brought round with full health ({d['life_diver1']})")

# ---- end of the revival


# ---- The solid level and the rising and sinking keys. The hook's F7 puts the active diver
# at the places of its own route, level and facing -z: above the seabed, before a rock and
# twice before the door.

def seabed_height(x, z, heights=[]):
    """The seabed's height at x, z as its collision tiles have it: the generator's grid,
    each cell split along the diagonal from its +x corner to its +z corner."""
    if not heights:
        sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "tools", "datagen"))
        import gen_meshes
        heights.extend(gen_meshes.seabed_heights())
    n = len(heights) - 1
    step = 200.0 / n
    u, v = (x + 100.0) / step, (z + 100.0) / step
    i, j = max(0, min(n - 1, int(u))), max(0, min(n - 1, int(v)))
    u, v = u - i, v - j
    h00, h10, h01, h11 = heights[j][i], heights[j][i + 1], heights[j + 1][i], heights[j + 1][i + 1]
    if u + v <= 1.0:
        return h00 + u * (h10 - h00) + v * (h01 - h00)
    return h11 + (1.0 - u) * (h01 - h11) + (1.0 - v) * (h10 - h11)


def at_rest(game, what):
    last = [None]
    return game.wait_until(f"{what}: the diver at rest", lambda d: settled(d, last))


def solid_place(game, what):
    game.xdo("key", "F7")
    game.dump(f"{what}: placed")
    return at_rest(game, what)


def above_seabed(p, margin):
    return p is not None and p[1] - seabed_height(p[0], p[2]) > margin


def solid_level(game, checks):
    """R lifts the diver's nose and F lowers it, W swims that way; the seabed, a rock and the
    closed door stop the diver; the follow camera stays above the seabed."""
    start = txyz_of(solid_place(game, "rise and sink"))
    game.hold("r", 1.0, "nose up")
    game.hold("w", 2.0, "swim up")
    risen = txyz_of(at_rest(game, "swum up"))
    checks.expect(risen[1] - start[1] >= 0.3, f"R then W raised the diver: y {start[1]} -> {risen[1]}")
    game.hold("f", 2.0, "nose down")
    game.hold("w", 2.0, "swim down")
    sunk = txyz_of(at_rest(game, "swum down"))
    checks.expect(risen[1] - sunk[1] >= 0.3, f"F then W lowered the diver: y {risen[1]} -> {sunk[1]}")

    # Down onto the seabed: it stops the diver with the body above it.
    game.hold("f", 1.5, "nose further down")
    game.hold("w", 4.0, "swim into the seabed")
    d = at_rest(game, "on the seabed")
    p = txyz_of(d)
    floor = seabed_height(p[0], p[2])
    checks.expect(above_seabed(p, 0.25) and p[1] - floor < 1.5,
                  f"the seabed stopped the diver: at {p}, the seabed at y {floor:.3f}")

    # Nose up and nose down for 3 s each at the seabed: the camera stays above it.
    for key, what in (("r", "nose up"), ("f", "nose down")):
        game.hold(key, 3.0, f"{what} at the seabed")
        for i in range(3):
            d = game.dump(f"{what} at the seabed: the camera")
            cam = vec(d, "camera")
            checks.expect(above_seabed(cam, 0.1),
                          f"{key.upper()} held 3 s: the camera at {cam} above the seabed "
                          f"(y {seabed_height(cam[0], cam[2]) if cam else None})")
            if cam is None or not above_seabed(cam, 0.1):
                break

    # Before a rock (a ball of radius 1.5 round (-6, 1.45, 20)): W does not take the diver
    # through it. It stops before it, or slides up its slanting face, outside it.
    start = txyz_of(solid_place(game, "before a rock"))
    game.hold("w", 4.0, "swim into the rock")
    p = txyz_of(at_rest(game, "at the rock"))
    over = p[1] - start[1] >= 0.5 and distance(p, (-6.0, 1.45, 20.0)) >= 1.8
    checks.expect(start[2] - p[2] >= 1.0 and (p[2] > 21.5 or over),
                  f"the rock stopped the diver: {start} -> {p} (the rock from z 21.5 to 18.5)")

    # Before the closed door (its leaf at z 8): the passage is shut.
    start = txyz_of(solid_place(game, "before the closed door"))
    game.hold("w", 4.0, "swim into the closed door")
    p = txyz_of(at_rest(game, "at the closed door"))
    checks.expect(start[2] - p[2] >= 1.0 and p[2] > 8.3,
                  f"the closed door stopped the diver: z {start[2]} -> {p[2]}")

    # Before the sand heap, not swept yet (its sand 1.5 to 2.1 round (-6, 0, -2) at the
    # diver's height): met head on, it stops the diver outside it, the diver's head (0.9 ahead
    # of its middle) still before its sand.
    start = txyz_of(solid_place(game, "before the heap"))
    game.hold("w", 4.0, "swim into the heap")
    p = txyz_of(at_rest(game, "at the heap"))
    checks.expect(start[2] - p[2] >= 0.3 and p[2] > -2.0 + 1.4 + 0.9 and p[1] < 1.2,
                  f"the heap stopped the diver outside it: {start} -> {p}")

    # The closed door's reef rises to the surface: W held over the door, beside its rocks and
    # nose down from above leaves the diver before the reef's face (z 8.5), its head out.
    for what, nose_down in (("over the closed door", 0), ("beside the gate rocks", 0), ("down from above", 1)):
        start = txyz_of(solid_place(game, what))
        if nose_down:
            game.hold("f", nose_down, f"{what}: nose down")
        game.hold("w", 3.0, f"{what}: swim")
        p = txyz_of(at_rest(game, what))
        checks.expect(distance(start, p) >= 0.8 and p[2] > 8.95, f"{what}: the reef kept the diver: {start} -> {p}")


def door_cut_open(game, checks):
    """The door cut open lets the diver through its passage."""
    start = txyz_of(solid_place(game, "before the open door"))
    try:
        game.hold_until("w", "swim through the open door",
                        lambda d: txyz_of(d) is not None and txyz_of(d)[2] < 7.0)
    except Failure as e:
        checks.expect(False, f"through the open door from z {start[2]}: {e}")
        return
    p = txyz_of(at_rest(game, "through the open door"))
    checks.expect(p[2] < 7.5, f"through the open door: z {start[2]} -> {p[2]}")

# ---- end of the solid level's part


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
    checks.expect("is no nbwdiver" not in log and "without the input focus" not in log,
                  "the log has no switch to what cannot be steered")
    # The run spans hundreds of frames: a line as frequent as that is written every frame.
    frames = 0
    for line in game.printed("dump_").splitlines():
        # "dump_<n>" lines: the name's number, then the dump's own line.
        _, _, rest = line.partition(" ")
        if rest.startswith("frames "):
            frames = max(frames, int(rest.split()[1]))
    limit = max(30, frames // 4)
    # A line that came again soon is written once with its count.
    lines = Counter()
    for line in log.splitlines():
        counted = re.fullmatch(r"(.*) \(repeated (\d+) times?\)", line)
        if counted:
            lines[counted.group(1)] += int(counted.group(2))
        elif line.strip():
            lines[line] += 1
    often = [(n, line) for line, n in lines.items() if n > limit]
    checks.expect(not often, f"no log line repeated every frame ({frames} frames; above {limit}: {often[:3]})")


# ---- The main menu as a player meets it, in runs of the game of their own: the entries
# after quick loads, a click acting where it is made, and a load as a session's first action.

MENU_ALL = ["Neues Spiel", "Weiterspielen", "Spiel laden", "Beenden"]


def menu_shown(d):
    """The entries the menu's picture shows, top down, as "lit" or "unlit", up to the first
    place in neither colour."""
    out = []
    for i in range(4):
        p = d["picture"].at(MENU_LEFT + MENU_W - 10, MENU_TOP + i * MENU_STEP + 6)
        if near(p, MENU_LIT, 24):
            out.append("lit")
        elif near(p, MENU_UNLIT, 24):
            out.append("unlit")
        else:
            break
    return out


def menu_settled(game, what):
    """The menu up (state 0x4), dumped once some frames have shown it."""
    up = game.wait_until(f"{what}: the menu up", lambda d: (state_of(d) or 0) & STATE_MENU)
    return game.wait_until(f"{what}: the menu shown", lambda d: int(d["frames"]) > int(up["frames"]) + 3)


def in_play(game, what):
    return game.wait_until(f"{what}: in play", lambda d: d["level"] == "level1" and (state_of(d) or 0) & STATE_LEVEL
                           and not (state_of(d) or 0) & STATE_MENU)


def click_in_menu(game, at, what, last=False):
    """In play the pointer moves to `at`; Esc, then a click there without moving."""
    game.xdo("mousemove", str(at[0]), str(at[1]))
    game.dump(f"pointer {what}, in play")
    game.xdo("key", "Escape")
    d = menu_settled(game, f"Esc with the pointer {what}")
    game.xdo("mousedown", "1")
    if not last:
        game.dump(f"button down {what}")
    game.xdo("mouseup", "1")
    return d


def first_menu(game, entries):
    """The session's first menu shows `entries`; the pointer is in the window."""
    game.wait_dump(0, "start scripts done")
    game.count = 1
    game.xdo("mousemove", str(SCREEN_W // 2), str(SCREEN_H // 2))
    game.wait_until(f"the first menu with {entries}", lambda d: len(menu_shown(d)) == len(entries))


def hostile_save(game, checks, save_path):
    """A quick save whose level holds a timer that calls the menu's entry is refused at F9,
    and W then swims the diver: a save's text never takes the person's keys."""
    with open(save_path, "rb") as f:
        good = f.read()
    count = b'seti( "timercount", 0 )'
    timer = (b'seti( "timercount", 1 ) sets( "timer_0_name", "t" ) sets( "timer_0_type", "loop" ) '
             b'sets( "timer_0_script", "menuaction(\'beenden\')" ) setf( "timer_0_time", 0.01 ) '
             b'setf( "timer_0_starttime", 0 )')
    checks.expect(count in good, "the quick save holds the level's timer count")
    with open(save_path, "wb") as f:
        f.write(good.replace(count, timer))
    try:
        game.xdo("key", "F9")
        d = game.wait_until("F9 of a save with a timer", lambda e: e.get("status") == "Laden fehlgeschlagen.",
                            limit=30)
        start = txyz_of(d)
        game.hold_until("w", "W after the refused save",
                        lambda e: txyz_of(e) is not None and distance(txyz_of(e), start) > 1.0)
        game.alive()
        checks.expect(True, "a save's timer calling the menu's entry is refused, and W then swims the diver")
    finally:
        with open(save_path, "wb") as f:
            f.write(good)


def menu_new_game(game, checks):
    """A new game and its quick save: every Esc, after quick loads too, shows all four
    entries with "Weiterspielen" lit and Return goes back; then a click in the menu, the
    pointer moved in the game, acts where it is made: on no entry nothing, on "Beenden" the
    game ends."""
    first_menu(game, ["Neues Spiel", "Beenden"])
    game.click(*menu_entry(["Neues Spiel", "Beenden"], "Neues Spiel"), "Neues Spiel")
    in_play(game, "a new game")
    save_path = os.path.join(game.home, "save", "schnellspeicher.n")
    game.xdo("key", "F5")
    game.wait_until("F5 for the menu's rounds", lambda d: os.path.isfile(save_path))
    hostile_save(game, checks, save_path)
    for n in range(3):
        game.xdo("key", "Escape")
        shown = menu_shown(menu_settled(game, f"round {n}: Esc"))
        checks.expect(shown == ["unlit", "lit", "unlit", "unlit"],
                      f"round {n}: Esc shows four entries, 'Weiterspielen' lit: {shown}")
        game.xdo("key", "Return")
        in_play(game, f"round {n}: Return")
        # The last load's message has had its time before the next load shows its own.
        game.wait_until(f"round {n}: the status line clear", lambda d: d.get("status") != "Spiel geladen.")
        game.xdo("key", "F9")
        game.wait_until(f"round {n}: F9 loaded", lambda d: d.get("status") == "Spiel geladen.")

    # The menu last sees the pointer on "Weiterspielen".
    weiter = menu_entry(MENU_ALL, "Weiterspielen")
    game.xdo("key", "Escape")
    menu_settled(game, "Esc before the clicks")
    game.xdo("mousemove", str(weiter[0]), str(weiter[1]))
    game.dump("pointer on 'Weiterspielen'")
    game.xdo("key", "Return")
    in_play(game, "Return")
    d = click_in_menu(game, (SCREEN_W // 2, MENU_TOP + 4 * MENU_STEP + 40), "below the entries")
    d = game.wait_until("frames after the click below the entries", lambda e: int(e["frames"]) > int(d["frames"]) + 10)
    stays = (state_of(d) or 0) & STATE_MENU
    checks.expect(stays, f"a click below the entries does nothing: the menu stays (state {state_of(d)})")
    if not stays:
        return
    game.xdo("key", "Return")
    in_play(game, "Return after the click below")
    click_in_menu(game, menu_entry(MENU_ALL, "Beenden"), "on the place of 'Beenden'", last=True)
    code = game.wait_exit()
    checks.expect(code == 0, f"a click on 'Beenden' without moving ends the game with 0 (exit code {code})")


def load_first(game, checks):
    """"Spiel laden" as the session's first action: level 1 from the quick save, "Spiel
    geladen." in the status line and no error about the display."""
    entries = ["Neues Spiel", "Spiel laden", "Beenden"]
    first_menu(game, entries)
    game.click(*menu_entry(entries, "Spiel laden"), "Spiel laden")
    game.wait_until("level 1 loaded", lambda d: d["level"] == "level1" and (state_of(d) or 0) & STATE_LEVEL)
    game.wait_until("'Spiel laden' first: 'Spiel geladen.' in the status line",
                    lambda d: d.get("status") == "Spiel geladen.", limit=30)
    log = open(os.path.join(game.bin, "Brinewick.log"), encoding="utf-8", errors="replace").read()
    checks.expect("no usable" not in log, "'Spiel laden' first: no error about the display's parts in the log")
    game.xdo("key", "Escape")
    menu_settled(game, "Esc after the load")
    game.click(*menu_entry(MENU_ALL, "Beenden"), "Beenden", last=True)
    checks.expect(game.wait_exit() == 0, "the loaded session ends with 0")


def menu_sessions(game, checks):
    """Two runs of the game in the installation, each with an X server and output of its
    own: a new game, then one whose first action is "Spiel laden"."""
    save = os.path.join(game.home, "save", "schnellspeicher.n")
    if os.path.exists(save):
        os.remove(save)
    log = os.path.join(game.bin, "Brinewick.log")
    for n, session in enumerate((menu_new_game, load_first)):
        if os.path.exists(log):
            os.replace(log, os.path.join(game.work, f"Brinewick-{game.out}.log"))
        game.out = f"menu_{n}.txt"
        game.count = 0
        guarded_run(game, checks, lambda: (game.start(), session(game, checks)))
# ---- end of the main menu's runs


# ---- A failed quick save, in a run of the game of its own: the save folder replaced by a
# file, F5 says "Speichern fehlgeschlagen." and the screen shows no line of the engine's.
# The new game first takes the air bag to the closed door.

def is_report_red(p):
    """The warm red in which the overlay shows the engine's error lines."""
    r, g, b = p
    return r >= 150 and r - g >= 60 and r - b >= 70 and g - b >= 0


NOTHING_TO_DO = "Damit lässt sich hier nichts tun."


def airbag_at_closed_door(game, checks):
    """The air bag (the hook's F6 lays it before the closed door) taken with E; Q there says
    that it does nothing, and the bag stays in the hand and the door closed in the level."""
    game.xdo("key", "F6")
    game.dump("the air bag before the closed door")
    game.xdo("key", "e")
    game.wait_until("the air bag in the hand at the door", lambda d: d.get("hand") == "luftsack")
    game.xdo("key", "q")
    d = game.wait_until("Q with the air bag at the closed door", lambda d: d.get("status") == NOTHING_TO_DO,
                        limit=30)
    d = game.wait_until("frames after Q at the door", lambda e: int(e["frames"]) > int(d["frames"]) + 30)
    checks.expect(d.get("hand") == "luftsack" and "luftsack" in names(d, "inventory"),
                  f"Q at the closed door: the air bag stays in the hand ({d.get('hand')}, {d.get('inventory')})")
    checks.expect(d.get("openstatus") == "0", f"the door stays closed in the level ({d.get('openstatus')})")


def failed_save(game, checks):
    first_menu(game, ["Neues Spiel", "Beenden"])
    game.click(*menu_entry(["Neues Spiel", "Beenden"], "Neues Spiel"), "Neues Spiel")
    d = in_play(game, "a new game")
    airbag_at_closed_door(game, checks)
    before = game.wait_until("frames in play", lambda e: int(e["frames"]) > int(d["frames"]) + 30)
    folder = os.path.join(game.home, "save")
    shutil.rmtree(folder)
    with open(folder, "w") as f:
        f.write("no folder\n")
    try:
        game.xdo("key", "F5")
        d = game.wait_until("F5 into a file", lambda e: e.get("status") == "Speichern fehlgeschlagen.", limit=30)
        # The overlay's lines fade in over half a second; the message stands for three, which
        # a busy machine's slow frames may pass within 20 frames: the wait is in game time.
        after = game.wait_until("a second after the failed F5",
                                lambda e: int(e["frames"]) > int(d["frames"]) + 2 and
                                gametime_of(e) > gametime_of(d) + 1.0)
    finally:
        os.remove(folder)
        os.makedirs(folder)
    checks.expect(after.get("status") == "Speichern fehlgeschlagen.",
                  f"the status line still says 'Speichern fehlgeschlagen.' ({after.get('status')})")
    box = (0, 26, SCREEN_W, 200)
    red = [x["picture"].count(box, is_report_red) for x in (before, after)]
    checks.expect(red[1] <= red[0] + 20, f"no engine line on the screen after the failed F5: red pixels {red}")
    log = open(os.path.join(game.bin, "Brinewick.log"), encoding="utf-8", errors="replace").read()
    checks.expect("nbwObserver: could not save" in log, "the engine's line of the failed save is in the log")
    game.xdo("key", "Escape")
    menu_settled(game, "Esc after the failed save")
    game.click(*menu_entry(MENU_ALL[:2] + MENU_ALL[3:], "Beenden"), "Beenden", last=True)
    checks.expect(game.wait_exit() == 0, "the session of the failed save ends with 0")


def failed_save_session(game, checks):
    save = os.path.join(game.home, "save", "schnellspeicher.n")
    if os.path.exists(save):
        os.remove(save)
    log = os.path.join(game.bin, "Brinewick.log")
    if os.path.exists(log):
        os.replace(log, os.path.join(game.work, f"Brinewick-{game.out}.log"))
    game.out = "failed_save.txt"
    game.count = 0
    guarded_run(game, checks, lambda: (game.start(), failed_save(game, checks)))
# ---- end of the failed save's run


def guarded_run(game, checks, run):
    """Runs one game session: a failure is a check that failed, and the game is stopped
    and its log checked whatever happened."""
    try:
        run()
    except Failure as e:
        checks.expect(False, str(e))
    except (subprocess.CalledProcessError, subprocess.TimeoutExpired) as e:
        checks.expect(False, f"xdotool: {e}")
    finally:
        game.stop()
    check_log(game, checks)


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
    guarded_run(game, checks, lambda: play(game, checks))
    menu_sessions(game, checks)
    failed_save_session(game, checks)
    if checks.failed:
        out = os.path.join(work, game.out)
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
