#!/usr/bin/env python3
"""The frame-replay benchmark's own reading: which replayed frames match the game's,
which calls present, the pictures it compares, and its skip without apitrace."""
import importlib.util
import os
import subprocess
import sys
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


if __name__ == "__main__":
    unittest.main()
