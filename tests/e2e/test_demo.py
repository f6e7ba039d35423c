#!/usr/bin/python3
"""The demo's plan through the whole programs and its printed summary: the
equal spans merged, the single spans, and the vertical chain picked
downwards, with the texts as they read in the drawing."""
import os
import unittest

from scenario import ROOT, dimensions, dimlinear_commands, run, temp_out

# (first point, second point, direction angle, as it reads in the summary)
PLAN = [
    ((0, 0), (2000, 0), 0.0, "4@500 / =2000"),
    ((2000, 0), (2300, 0), 0.0, "300"),
    ((2300, 1800), (2300, 0), 90.0, "3@600 / =1800"),
    ((0, 1800), (900, 1800), 0.0, "900"),
    ((900, 1800), (1400, 1800), 0.0, "500"),
    ((1400, 1800), (2300, 1800), 0.0, "900"),
]


class Demo(unittest.TestCase):
    def test_demo_plan(self):
        out = temp_out("demo")
        done = run([os.path.join(ROOT, "scripts", "demo"), "--out", out], timeout=600, capture_output=True, text=True)
        self.assertEqual(done.returncode, 0, done.stdout + done.stderr)
        dims = dimensions(out)
        self.assertEqual([(d.p1, d.p2, d.angle) for d in dims], [(p1, p2, a) for p1, p2, a, _ in PLAN])
        lines = done.stdout.splitlines()
        for i, (_, _, _, reads) in enumerate(PLAN, 1):
            row = [l for l in lines if l.strip().startswith(f"{i} ") and ("H " in l or "V " in l)]
            self.assertTrue(row and row[0].rstrip().endswith(reads), f"dimension {i} should read {reads!r}: {row}")
        for cmd in dimlinear_commands(out):
            shown = cmd["text"].replace("\r", "\\r")
            self.assertIn(shown, done.stdout)
        for picture in ("drawing.png", "screen.png"):
            self.assertIn(os.path.join(out, picture), done.stdout)


if __name__ == "__main__":
    unittest.main(verbosity=2)
