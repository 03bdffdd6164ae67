#!/usr/bin/env python3
"""How much of a frame is ours: the release game against a replay of its own GL calls.

For each place (a script in bench/frame_replay/ that sets the view up), the game runs
headless from a temporary installation, on a fixed time step and random seed with no frame
sleep, and renders warm-up frames and then the measured ones; its own frame loop publishes
each frame's wall time ("/sys/var/prof_frame"), which the installation's hook script
collects. The same run is then taken again under `apitrace trace` and replayed with
`eglretrace --benchmark --pframe-times` (SDL's offscreen driver draws through EGL), whose
frame ends give the replay's times of the same frames. The report gives both frame times,
median and p99, and their ratios; the last frame of the replay must read as ours at the
probe pixels, else the run fails.

Without apitrace (Debian packages apitrace and apitrace-tracers, which `bash .ci/setup
bench` installs) the benchmark is skipped with one line and exit code 0.
"""
import argparse
import math
import os
import shutil
import statistics
import subprocess
import sys
import tempfile
from pathlib import Path

SOURCE = Path(__file__).resolve().parent.parent
PLACES = SOURCE / "bench" / "frame_replay"
TARGET_MEDIAN = 1.3
TARGET_SPREAD = 2.0
# A grid of probes over the 800 x 600 picture.
PROBE_COLUMNS, PROBE_ROWS = 8, 6

HOOK = """-- The frame-replay benchmark's hook, run after the game's own start scripts. The game
-- has no file library: the script reads what the hook prints.
local function fail(err)
    print('bench_error ' .. string.gsub(tostring(err), '\\n', ' | '))
    exit()
end
local ok, err = pcall(dofile, 'bin:bench_place.n')
if not ok then fail(err) end
sel('/sys/servers/time') lockdeltat({step}) sel('/')
local warmup, count = {warmup}, {frames}
local times = {{}}
local frame = 0
local function step()
    frame = frame + 1
    if bench_place_frame then bench_place_frame(frame) end
    -- Game states set a sleep again; the measured frames have none.
    obj('/sys/servers/observer').setsleep(0)
    -- This frame's script reads what the loop published at the last frame's start:
    -- the time of the frame before that.
    if frame > warmup + 2 then times[#times + 1] = obj('/sys/var/prof_frame').getf() end
    if frame < warmup + count + 2 then execbuf('bench_frame()') return end
    obj('/sys/servers/gfx').screenshot('bench_last.bmp')
    for _, t in ipairs(times) do print(string.format('bench_time %.9f', t)) end
    print('bench_end')
    exit()
end
function bench_frame()
    local ok, err = pcall(step)
    if not ok then fail(err) end
end
execbuf('bench_frame()')
"""


class BenchError(Exception):
    pass


def percentile(values, share):
    """Nearest-rank percentile (share in 0..1) of a non-empty list."""
    ordered = sorted(values)
    rank = min(max(1, math.ceil(len(ordered) * share)), len(ordered))
    return ordered[rank - 1]


def frame_stamps(output):
    """The frame-end times (ns) of eglretrace --pframe-times output, in frame order."""
    return [int(line.split()[1]) for line in output.splitlines() if line.startswith("rendering_finished ")]


def window_times(stamps, last, frames):
    """Times (seconds) of the `frames` frames that end at frame `last` (0-based), each
    from the end of the frame before it."""
    if last - frames < 0 or last >= len(stamps):
        raise BenchError(f"the replay has {len(stamps)} frames; the run needs {frames + 1} up to frame {last + 1}")
    return [(stamps[i] - stamps[i - 1]) * 1e-9 for i in range(last - frames + 1, last + 1)]


def trace_layout(dump):
    """From `apitrace dump` lines of frame ends, blits and read-backs: the frame ends' call
    numbers, the frame (0-based) that the last read-back shows (the last one ended before
    it), and the blits that present a frame (the call right before a frame end)."""
    ends, blits, reads = [], [], []
    for line in dump.splitlines():
        parts = line.split(" ", 1)
        if len(parts) < 2 or not parts[0].isdigit():
            continue
        call, name = int(parts[0]), parts[1].split("(", 1)[0]
        {"eglSwapBuffers": ends, "glBlitFramebuffer": blits, "glReadPixels": reads}.get(name, []).append(call)
    if not reads:
        raise BenchError("the trace holds no read-back of the game's screenshot")
    shown = sum(1 for end in ends if end < reads[-1]) - 1
    if shown < 0:
        raise BenchError("the game's screenshot comes before its first frame")
    end_set = set(ends)
    return ends, shown, [b for b in blits if b + 1 in end_set]


def read_pnm(data):
    """(width, height, rows of (r, g, b)) from a binary P6 picture, comments allowed."""
    fields, pos = [], 0
    while len(fields) < 4:
        while pos < len(data) and data[pos:pos + 1].isspace():
            pos += 1
        if data[pos:pos + 1] == b"#":
            pos = data.index(b"\n", pos) + 1
            continue
        start = pos
        while pos < len(data) and not data[pos:pos + 1].isspace():
            pos += 1
        fields.append(data[start:pos])
    if fields[0] != b"P6" or int(fields[3]) != 255:
        raise BenchError("the replay's snapshot is no 8-bit P6 picture")
    w, h = int(fields[1]), int(fields[2])
    pixels = data[pos + 1:pos + 1 + w * h * 3]
    if len(pixels) != w * h * 3:
        raise BenchError("the replay's snapshot is cut short")
    return w, h, [[tuple(pixels[(y * w + x) * 3:(y * w + x) * 3 + 3]) for x in range(w)] for y in range(h)]


def read_bmp(data):
    """(width, height, rows of (r, g, b), top row first) from an uncompressed 24- or 32-bit BMP."""
    if data[:2] != b"BM" or len(data) < 54:
        raise BenchError("the game's screenshot is no BMP file")
    offset = int.from_bytes(data[10:14], "little")
    w = int.from_bytes(data[18:22], "little", signed=True)
    h = int.from_bytes(data[22:26], "little", signed=True)
    bpp = int.from_bytes(data[28:30], "little")
    compression = int.from_bytes(data[30:34], "little")
    if bpp not in (24, 32) or compression not in (0, 3) or w <= 0 or h == 0:
        raise BenchError(f"the game's screenshot has {bpp} bits a pixel, compression {compression}")
    step = bpp // 8
    stride = (w * step + 3) & ~3
    rows = []
    for y in range(abs(h)):
        start = offset + y * stride
        row = data[start:start + w * step]
        if len(row) != w * step:
            raise BenchError("the game's screenshot is cut short")
        rows.append([(row[x * step + 2], row[x * step + 1], row[x * step]) for x in range(w)])
    if h > 0:
        rows.reverse()
    return w, abs(h), rows


def probe_points(w, h):
    return [(int((c + 0.5) * w / PROBE_COLUMNS), int((r + 0.5) * h / PROBE_ROWS))
            for r in range(PROBE_ROWS) for c in range(PROBE_COLUMNS)]


def compare_probes(ours, replay, tolerance):
    """The probes where the two pictures differ by more than `tolerance` in a channel:
    a list of (x, y, ours, replay); pictures of different sizes fail outright."""
    (w, h, a), (w2, h2, b) = ours, replay
    if (w, h) != (w2, h2):
        raise BenchError(f"the pictures differ in size: ours {w} x {h}, the replay's {w2} x {h2}")
    return [(x, y, a[y][x], b[y][x]) for x, y in probe_points(w, h)
            if max(abs(p - q) for p, q in zip(a[y][x], b[y][x])) > tolerance]


def install(build, home, place, args):
    """A copy of the release game with its data and the hook, in `home`."""
    shutil.copytree(build / "bin", home / "bin", symlinks=False)
    data = SOURCE / "data"
    packed = {p.stem for p in build.glob("*.npk")}
    for archive in build.glob("*.npk"):
        shutil.copy(archive, home / archive.name)
    for folder in sorted(p.name for p in data.iterdir() if p.is_dir() and p.name != "bin"):
        if folder not in packed and (build / folder).is_dir():
            shutil.copytree(build / folder, home / folder, symlinks=False)
    (home / "save").mkdir(exist_ok=True)
    binary = home / "bin" / "win32"
    for old in binary.glob("*.log"):
        old.unlink()
    shutil.copy(place, binary / "bench_place.n")
    (binary / "bench_frame_replay.n").write_text(
        HOOK.format(step=repr(args.step), warmup=args.warmup, frames=args.frames))
    with open(binary / "init_menue.n", "a") as menu:
        menu.write("\ndofile('bin:bench_frame_replay.n')\n")


def environment(args):
    env = dict(os.environ)
    env.update(SDL_VIDEODRIVER="offscreen", LIBGL_ALWAYS_SOFTWARE="1", ALSOFT_DRIVERS="null",
               BW_RANDOM_SEED=str(args.seed), WAFFLE_PLATFORM="surfaceless_egl")
    return env


def run(command, cwd, env, what, capture=True, timeout=900):
    try:
        proc = subprocess.run(command, cwd=cwd, env=env, stdout=subprocess.PIPE if capture else subprocess.DEVNULL,
                              stderr=subprocess.PIPE, timeout=timeout)
    except subprocess.TimeoutExpired:
        raise BenchError(f"{what} did not end within {timeout} s") from None
    if proc.returncode != 0:
        raise BenchError(f"{what} failed with exit code {proc.returncode}: "
                         f"{proc.stderr.decode(errors='replace')[-2000:]}")
    return proc.stdout if capture else b""


def hook_output(out):
    """The frame times and the error that the hook printed among the game's output lines;
    the times are None unless the hook finished."""
    times, error, ended = [], None, False
    for line in out.decode(errors="replace").splitlines():
        if line.startswith("bench_time "):
            times.append(float(line.split()[1]))
        elif line.startswith("bench_error "):
            error = line[len("bench_error "):]
        elif line == "bench_end":
            ended = True
    return (times if ended else None), error


def run_game(home, env, pin, tracer=None, timeout=300):
    """Runs the installed game (under `tracer`, a command prefix, when given) and returns
    its measured frame times and last picture; the picture is removed for the next run."""
    cmd = pin + (tracer or []) + [str(home / "bin" / "win32" / "brinewick")]
    log = home / "bin" / "win32" / "Brinewick.log"
    try:
        out = run(cmd, home, env, "the traced game" if tracer else "the game", timeout=timeout)
    except BenchError as e:
        raise BenchError(f"{e}; log tail:\n" + (log.read_text(errors="replace")[-1500:] if log.exists() else "")) from None
    times, error = hook_output(out)
    if error is not None:
        raise BenchError(f"the place script failed: {error}")
    shot = home / "bench_last.bmp"
    if times is None or not shot.exists():
        raise BenchError("the game ended without its frame times or screenshot; log tail:\n"
                         + (log.read_text(errors="replace")[-2000:] if log.exists() else "(no log)"))
    picture = read_bmp(shot.read_bytes())
    shot.unlink()
    return times, picture


def measure(place, args, build, work):
    name = place.stem
    home = work / name
    if home.exists():
        shutil.rmtree(home)
    home.mkdir(parents=True)
    install(build, home, place, args)
    env = environment(args)
    pin = ["taskset", "-c", args.cpus] if args.cpus else []

    ours, our_picture = run_game(home, env, pin)
    if len(ours) != args.frames:
        raise BenchError(f"{name}: the game measured {len(ours)} frames, not {args.frames}")
    trace = home / "frames.trace"
    run_game(home, env, pin, ["apitrace", "trace", "--api", "egl", "-o", str(trace)])

    dump = run(["apitrace", "dump", "--call-nos=yes", "--grep=^(eglSwapBuffers|glBlitFramebuffer|glReadPixels)$",
                str(trace)], home, env, "listing the trace's frames").decode(errors="replace")
    ends, shown, presents = trace_layout(dump)
    # Our screenshot read the last frame finished before it, which is the frame after the
    # measured ones (the hook reads each frame's time two frames later).
    replay_cmd = pin + ["eglretrace", "--headless", "--benchmark", "--pframe-times"]
    stamps = frame_stamps(run(replay_cmd + [str(trace)], home, env, "the replay").decode(errors="replace"))
    if len(stamps) != len(ends):
        raise BenchError(f"the replay timed {len(stamps)} frames of the trace's {len(ends)}")
    replay = window_times(stamps, shown - 1, args.frames)
    # The replayer presents into a surface of its own, whose copy from the game's frame
    # buffer may cost what ours does not; without those copies the replay is the strict
    # baseline (it lacks the copy our frame pays).
    ignore = ",".join(str(c) for c in presents)
    stamps = frame_stamps(run(replay_cmd + ([f"--ignore-calls={ignore}"] if ignore else []) + [str(trace)], home, env,
                              "the replay without presenting").decode(errors="replace"))
    strict = window_times(stamps, shown - 1, args.frames)
    snapshot = run(["eglretrace", "--headless", "--snapshot-format=PNM", "-s", "-", "-S", str(ends[shown]), str(trace)],
                   home, env, "the replay's snapshot")
    differ = compare_probes(our_picture, read_pnm(snapshot), args.tolerance)
    if not args.keep:
        trace.unlink()
    return ours, replay, strict, differ


def report(name, ours, replay, strict, differ):
    om, rm, sm = statistics.median(ours), statistics.median(replay), statistics.median(strict)
    op, rp, sp = percentile(ours, 0.99), percentile(replay, 0.99), percentile(strict, 0.99)
    ratio, strict_ratio, spread = om / rm, om / sm, op / om
    probes = PROBE_COLUMNS * PROBE_ROWS
    print(f"{name}: {len(ours)} frames; ours median {om * 1e3:.3f} ms, p99 {op * 1e3:.3f} ms (p99/median {spread:.2f}); "
          f"replay median {rm * 1e3:.3f} ms, p99 {rp * 1e3:.3f} ms; "
          f"replay without presenting median {sm * 1e3:.3f} ms, p99 {sp * 1e3:.3f} ms")
    print(f"{name}: ours/replay median {ratio:.2f}, p99 {op / rp:.2f}; "
          f"ours/strict replay median {strict_ratio:.2f}, p99 {op / sp:.2f}; "
          f"last frame: {probes - len(differ)}/{probes} probes equal"
          + ("" if strict_ratio <= TARGET_MEDIAN else f"  [strict median ratio over {TARGET_MEDIAN}]")
          + ("" if spread <= TARGET_SPREAD else f"  [our p99/median over {TARGET_SPREAD}]"))
    for x, y, a, b in differ[:8]:
        print(f"    probe {x},{y}: ours {a}, replay {b}")


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--build", default=str(SOURCE / "build" / "release"),
                        help="the release build folder (holds bin/win32/brinewick)")
    parser.add_argument("--places", default="start,busy,inventory",
                        help="comma-separated place scripts of bench/frame_replay/ (without .n), or paths")
    parser.add_argument("--frames", type=int, default=500, help="measured frames (at least 500 for a report)")
    parser.add_argument("--warmup", type=int, default=200, help="frames run before measuring")
    parser.add_argument("--step", type=float, default=1.0 / 30.0, help="the fixed time step in seconds")
    parser.add_argument("--seed", type=int, default=4711, help="the engine's random seed")
    parser.add_argument("--runs", type=int, default=1, help="runs of each place")
    parser.add_argument("--cpus", default="", help="taskset CPU list for the game and the replay")
    parser.add_argument("--tolerance", type=int, default=2, help="largest channel difference at a probe")
    parser.add_argument("--work", default="", help="folder for the installations (kept); else a temporary one")
    parser.add_argument("--keep", action="store_true", help="keep the traces")
    args = parser.parse_args()

    missing = [tool for tool in ("apitrace", "eglretrace") if not shutil.which(tool)]
    if missing:
        print(f"bench_frame_replay: skipped: {' and '.join(missing)} not installed "
              "(Debian packages apitrace and apitrace-tracers: bash .ci/setup bench)")
        return 0
    build = Path(args.build).resolve()
    if not (build / "bin" / "win32" / "brinewick").is_file():
        print(f"bench_frame_replay: no game at {build}/bin/win32/brinewick; build the release build first",
              file=sys.stderr)
        return 2
    if args.frames < 1 or args.warmup < 0 or not args.step > 0:
        print("bench_frame_replay: frames must be positive, warm-up not negative, the step above 0",
              file=sys.stderr)
        return 2
    places = []
    for item in filter(None, args.places.split(",")):
        path = Path(item) if item.endswith(".n") else PLACES / f"{item}.n"
        if not path.is_file():
            print(f"bench_frame_replay: no place script {path}", file=sys.stderr)
            return 2
        places.append(path)

    work = Path(args.work) if args.work else Path(tempfile.mkdtemp(prefix="bench_frame_replay_"))
    failed = False
    try:
        print(f"bench_frame_replay: {args.frames} frames after {args.warmup}, step {args.step:.6f} s, "
              f"seed {args.seed}, target: median of ours / the strict replay <= {TARGET_MEDIAN}")
        for place in places:
            for _ in range(args.runs):
                try:
                    ours, replay, strict, differ = measure(place, args, build, work)
                except BenchError as e:
                    print(f"{place.stem}: FAILED: {e}")
                    failed = True
                    continue
                report(place.stem, ours, replay, strict, differ)
                if differ:
                    print(f"{place.stem}: FAILED: the replay's last frame differs from ours at {len(differ)} probes")
                    failed = True
                sys.stdout.flush()
    finally:
        if not args.work:
            shutil.rmtree(work, ignore_errors=True)
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
