#!/usr/bin/python3
"""The chain at X = 0, 500, 1000, 1500, 2000, 2300 through the whole
programs, and its mirror (spans 300, 500, 500, 500, 500), under every tier
option, in every command-line layout and in both encodings.

The full product is 18 sessions; by default six of them run, chosen so that
every option meets both encodings and every layout meets both encodings
(TARVEL_E2E_FULL=1 runs all 18)."""
import itertools
import os
import unittest

from scenario import (PICK, commands, dimensions, dimlinear_commands, expected_cbdata, picks_of,
                      run_scenario, temp_out)

# Start, end, then the intermediate points out of order, ended with a
# right-click; the dimension line below the chain.
WORKED = picks_of([(0, 0), (2300, 0), (1500, 0), (500, 0), (2000, 0), (1000, 0)], "end", (500, -200))
# The mirror: one short span first, then four equal spans that reach the end.
MIRROR = picks_of([(0, 0), (2300, 0), (1300, 0), (300, 0), (1800, 0), (800, 0)], "end", (1000, -300))

TIER = {1: "\\P", 2: "\\X", 3: ""}


def expected(option):
    t = TIER[option]
    return [
        "dimlinear 0.0000,0.0000,0.0000 2000.0000,0.0000,0.0000 H T 4@500" + t + "=<>\r500.0000,-200.0000,0.0000\r",
        "dimlinear 2000.0000,0.0000,0.0000 2300.0000,0.0000,0.0000 H 500.0000,-200.0000,0.0000\r",
        "dimlinear 0.0000,0.0000,0.0000 300.0000,0.0000,0.0000 H 1000.0000,-300.0000,0.0000\r",
        # The group that reaches the end point carries the chosen tier code too.
        "dimlinear 300.0000,0.0000,0.0000 2300.0000,0.0000,0.0000 H T 4@500" + t + "=<>\r1000.0000,-300.0000,0.0000\r",
    ]


def expected_dims(option):
    t = TIER[option]
    # (first point, second point, dimension-line y, measured value, text override)
    return [
        ((0, 0), (2000, 0), -200, 2000, "4@500" + t + "=<>"),
        ((2000, 0), (2300, 0), -200, 300, ""),
        ((0, 0), (300, 0), -300, 300, ""),
        ((300, 0), (2300, 0), -300, 2000, "4@500" + t + "=<>"),
    ]


CHOSEN = [
    (1, "docked", False), (2, "floating", False), (3, "text", False),
    (1, "floating", True), (2, "text", True), (3, "docked", True),
]
if os.environ.get("TARVEL_E2E_FULL") == "1":
    CHOSEN = list(itertools.product((1, 2, 3), ("docked", "floating", "text"), (False, True)))


class WorkedExample(unittest.TestCase):
    def test_matrix_covers_every_value(self):
        self.assertEqual({c[0] for c in CHOSEN}, {1, 2, 3})
        self.assertEqual({c[1] for c in CHOSEN}, {"docked", "floating", "text"})
        self.assertEqual({(c[0], c[2]) for c in CHOSEN}, set(itertools.product((1, 2, 3), (False, True))))
        self.assertEqual({(c[1], c[2]) for c in CHOSEN},
                         set(itertools.product(("docked", "floating", "text"), (False, True))))

    def test_sessions(self):
        for option, layout, ansi in CHOSEN:
            name = f"worked-{option}-{layout}-{'A' if ansi else 'W'}"
            with self.subTest(name):
                out = run_scenario(WORKED + MIRROR, temp_out(name), option=option, layout=layout, ansi=ansi)
                self.check_commands(out, option, ansi)
                self.check_drawing(out, option)

    def check_commands(self, out, option, ansi):
        sent = commands(out)
        self.assertTrue(sent, "the host logged no command")
        enc = "A" if ansi else "W"
        for r in sent:
            self.assertEqual(r["enc"], enc, r)
            self.assertEqual(r["cbData"], expected_cbdata(r), r)
        # 8 picks a chain: six points, the right-click and the placement.
        self.assertEqual(sum(1 for r in sent if r["text"] == PICK), 16)
        self.assertEqual([r["text"] for r in dimlinear_commands(out)], expected(option))

    def check_drawing(self, out, option):
        dims = dimensions(out)
        self.assertEqual(len(dims), 4, dims)
        for d, (p1, p2, y, value, text) in zip(dims, expected_dims(option)):
            self.assertEqual((d.p1, d.p2), (p1, p2), d)
            self.assertEqual(d.line[1], y, d)
            self.assertEqual(d.angle, 0.0, d)  # "H": measured along X
            self.assertAlmostEqual(d.measurement, value, places=3, msg=d)
            self.assertEqual(d.text, text, d)
        for picture in ("drawing.png", "screen.png"):
            self.assertGreater(os.path.getsize(os.path.join(out, picture)), 1000, picture)


if __name__ == "__main__":
    unittest.main(verbosity=2)
