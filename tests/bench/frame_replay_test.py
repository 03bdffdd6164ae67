#!/usr/bin/env python3
"""The frame-replay benchmark's own reading: which replayed frames match the game's,
which calls present, the pictures it compares, its skip without apitrace, and its game
part (the hook in the installed game) on a few frames of the game that CTest names."""
import argparse
import importlib.util
import os
import subprocess
import sys
import tempfile
import unittest
from pathlib import Path

SCRIPT = Path(__file__).resolve().parents[2] / "bench" / "bench_frame_replay.py"
module_spec = importlib.util.spec_from_file_location("bench_frame_replay", SCRIPT)
bench = importlib.util.module_from_spec(module_spec)
module_spec.loader.exec_module(bench)


def bmp(rows, bpp, top_down=False):
    """A BMP file of `rows` (top row first) of (r, g, b), as the game's screenshot writes it."""
    h, w = len(rows), len(rows[0])
    step = bpp // 8
    stride = (w * step + 3) & ~3
    body = b""
    for row in (rows if top_down else reversed(rows)):
        line = b"".join(bytes((b, g, r)) + (b"\xff" if step == 4 else b"") for r, g, b in row)
        body += line + b"\0" * (stride - len(line))
    header = (b"BM" + (54 + len(body)).to_bytes(4, "little") + b"\0" * 4 + (54).to_bytes(4, "little")
              + (40).to_bytes(4, "little") + w.to_bytes(4, "little") + (-h if top_down else h).to_bytes(4, "little", signed=True)
              + (1).to_bytes(2, "little") + bpp.to_bytes(2, "little") + b"\0" * 24)
    return header + body


class TraceLayoutTest(unittest.TestCase):
    DUMP = "\n".join([
        "// process.name = \"brinewick\"",
        "10 eglSwapBuffers(dpy = 0x1, surface = 0x2) = EGL_TRUE",
        "",
        "20 glBlitFramebuffer(srcX0 = 0, srcY0 = 0, srcX1 = 64, srcY1 = 64, dstX0 = 0) // an upload",
        "29 glBlitFramebuffer(srcX0 = 0, srcY0 = 0, srcX1 = 800, srcY1 = 600, dstX0 = 0)",
        "30 eglSwapBuffers(dpy = 0x1, surface = 0x2) = EGL_TRUE",
        "39 glBlitFramebuffer(srcX0 = 0, srcY0 = 0, srcX1 = 800, srcY1 = 600, dstX0 = 0)",
        "40 eglSwapBuffers(dpy = 0x1, surface = 0x2) = EGL_TRUE",
        "41 glReadPixels(x = 0, y = 0, width = 800, height = 600, format = GL_BGRA)",
        "49 glBlitFramebuffer(srcX0 = 0, srcY0 = 0, srcX1 = 800, srcY1 = 600, dstX0 = 0)",
        "50 eglSwapBuffers(dpy = 0x1, surface = 0x2) = EGL_TRUE",
    ])

    def test_the_screenshot_shows_the_last_frame_ended_before_it_and_only_presenting_blits_are_listed(self):
        ends, shown, presents = bench.trace_layout(self.DUMP)
        self.assertEqual(ends, [10, 30, 40, 50])
        # The frame the game finished after the read-back is not the one it read.
        self.assertEqual(shown, 2)
        self.assertEqual(presents, [29, 39, 49])

    def test_a_trace_without_the_read_back_or_with_it_before_any_frame_is_refused(self):
        with self.assertRaises(bench.BenchError):
            bench.trace_layout("10 eglSwapBuffers(dpy = 0x1) = EGL_TRUE\n")
        with self.assertRaises(bench.BenchError):
            bench.trace_layout("5 glReadPixels(x = 0)\n10 eglSwapBuffers(dpy = 0x1) = EGL_TRUE\n")


class FrameTimesTest(unittest.TestCase):
    def test_the_window_ends_at_the_given_frame_and_each_time_runs_from_the_frame_before(self):
        out = "# call no gpu_start\nframe_end\nrendering_finished 1000000\ncall 5 0 0 glClear\n" \
              "frame_end\nrendering_finished 3000000\nframe_end\nrendering_finished 6000000\n" \
              "frame_end\nrendering_finished 10000000\nframe_end\nrendering_finished 15000000\n"
        stamps = bench.frame_stamps(out)
        self.assertEqual(len(stamps), 5)
        times = bench.window_times(stamps, 3, 2)
        self.assertEqual([round(t * 1e3, 6) for t in times], [3.0, 4.0])
        # The first frame has no start of its own, and frames past the trace do not exist.
        with self.assertRaises(bench.BenchError):
            bench.window_times(stamps, 3, 4)
        with self.assertRaises(bench.BenchError):
            bench.window_times(stamps, 5, 1)

    def test_percentile_is_the_nearest_rank(self):
        values = list(range(100, 0, -1))
        self.assertEqual(bench.percentile(values, 0.99), 99)
        self.assertEqual(bench.percentile(values, 0.5), 50)
        self.assertEqual(bench.percentile([7.0], 0.99), 7.0)
        self.assertEqual(bench.percentile([1, 2, 3], 1.0), 3)


class PictureTest(unittest.TestCase):
    def picture(self, w, h, colour=(10, 20, 30)):
        return [[colour for _ in range(w)] for _ in range(h)]

    def test_bmp_rows_come_back_top_first_in_either_depth_and_order(self):
        rows = [[(x * 40, y * 60, 7) for x in range(3)] for y in range(2)]
        for bpp in (24, 32):
            for top_down in (False, True):
                w, h, read = bench.read_bmp(bmp(rows, bpp, top_down))
                self.assertEqual((w, h, read), (3, 2, rows), (bpp, top_down))
        with self.assertRaises(bench.BenchError):
            bench.read_bmp(bmp(rows, 24)[:-4])
        with self.assertRaises(bench.BenchError):
            bench.read_bmp(b"P6 not a bmp")

    def test_pnm_with_a_comment_reads_and_a_short_one_is_refused(self):
        data = b"P6\n#2811\n2 1\n255\n" + bytes([1, 2, 3, 4, 5, 6])
        self.assertEqual(bench.read_pnm(data), (2, 1, [[(1, 2, 3), (4, 5, 6)]]))
        with self.assertRaises(bench.BenchError):
            bench.read_pnm(data[:-1])

    def test_one_probe_off_by_more_than_the_tolerance_is_reported(self):
        ours = self.picture(800, 600)
        theirs = self.picture(800, 600)
        x, y = bench.probe_points(800, 600)[9]
        theirs[y][x] = (10, 22, 30)
        self.assertEqual(bench.compare_probes((800, 600, ours), (800, 600, theirs), 2), [])
        theirs[y][x] = (10, 23, 30)
        self.assertEqual(bench.compare_probes((800, 600, ours), (800, 600, theirs), 2),
                         [(x, y, (10, 20, 30), (10, 23, 30))])
        # A pixel between the probes is not looked at; a picture of another size fails.
        theirs[y][x] = (10, 20, 30)
        theirs[y][x + 1] = (255, 255, 255)
        self.assertEqual(bench.compare_probes((800, 600, ours), (800, 600, theirs), 0), [])
        with self.assertRaises(bench.BenchError):
            bench.compare_probes((800, 600, ours), (2, 2, self.picture(2, 2)), 2)


class SkipTest(unittest.TestCase):
    def test_without_apitrace_the_benchmark_says_so_and_succeeds(self):
        env = dict(os.environ, PATH="/nonexistent")
        proc = subprocess.run([sys.executable, str(SCRIPT)], env=env, capture_output=True, text=True, timeout=60)
        self.assertEqual(proc.returncode, 0, proc.stderr)
        self.assertIn("bench_frame_replay: skipped: apitrace and eglretrace not installed", proc.stdout)


@unittest.skipUnless(os.environ.get("BW_GAME_BUILD"), "BW_GAME_BUILD names no build of the game")
class GamePartTest(unittest.TestCase):
    """The game's own run, as the benchmark makes it: a hook that cannot finish (no file
    library, a failing call) ran on until the time limit and left no figures."""
    # Long enough for a sanitized build on a busy machine; a hook that does not end takes it all.
    TIMEOUT = 240

    def run_place(self, place, frames=3):
        args = argparse.Namespace(step=1.0 / 30.0, warmup=2, frames=frames, seed=4711)
        with tempfile.TemporaryDirectory(prefix="frame_replay_test_") as work:
            home = Path(work) / "home"
            home.mkdir()
            bench.install(Path(os.environ["BW_GAME_BUILD"]), home, place, args)
            return bench.run_game(home, bench.environment(args), [], timeout=self.TIMEOUT)

    def test_the_hook_hands_out_each_measured_frame_and_the_last_picture(self):
        times, (w, h, _) = self.run_place(bench.PLACES / "start.n", frames=4)
        self.assertEqual(len(times), 4)
        self.assertTrue(all(t > 0 for t in times), times)
        self.assertGreater(w * h, 0)

    def test_a_failing_place_script_ends_the_game_with_its_error(self):
        with tempfile.TemporaryDirectory() as d:
            place = Path(d) / "broken.n"
            place.write_text("function bench_place_frame(frame) if frame == 2 then error('no such place') end end\n")
            with self.assertRaisesRegex(bench.BenchError, "the place script failed: .*no such place"):
                self.run_place(place)


if __name__ == "__main__":
    unittest.main()
