#!/usr/bin/python3
"""Runs that must send no dimlinear command, in one host session, followed by
one ordinary run: it proves the session was alive, and, since its picks come
last in the script, that every earlier run used exactly the picks it should
(the placement pick after a cancelled first pick included)."""
import unittest

from scenario import PICK, commands, dimensions, dimlinear_commands, picks_of, run_scenario, temp_out

# (what, pick script of the run, picks it consumes)
RUNS = [
    ("three points only", picks_of([(0, 0), (1000, 0)], "end", (500, -200)), 4),
    ("placement cancelled", picks_of([(0, 0), (1000, 0), (500, 0), (250, 0)], "end", "cancel"), 6),
    ("placement ended by a right-click", picks_of([(0, 0), (1000, 0), (500, 0)], "end", "end"), 5),
    ("first pick cancelled; the placement is still asked for", "cancel\npick 500,-200\n", 2),
    ("start point, then cancelled", "pick 0,0\ncancel\npick 500,-200\n", 3),
]
FINAL = picks_of([(0, 0), (0, 1000), (0, 400)], "end", (-300, 500))
FINAL_COMMAND = "dimlinear 0.0000,0.0000,0.0000 0.0000,400.0000,0.0000 V -300.0000,500.0000,0.0000\r"


class SendsNothing(unittest.TestCase):
    def test_runs_without_dimensions(self):
        script = "".join(f"# {what}\n{picks}" for what, picks, _ in RUNS) + "# a run that sends\n" + FINAL
        out = run_scenario(script, temp_out("sends-nothing"), option=2)
        sent = [r["text"] for r in commands(out)]
        # Each run's picks are the pick commands up to the next run's first one;
        # the runs are told apart by counting them in order.
        picks = [i for i, t in enumerate(sent) if t == PICK]
        self.assertEqual(len(picks), sum(n for _, _, n in RUNS) + 5)
        lines = dimlinear_commands(out)
        self.assertEqual(len(lines), 2, [r["text"] for r in lines])
        first_dim = sent.index(lines[0]["text"])
        self.assertGreater(first_dim, picks[-1], "a dimlinear command came before the last run's picks")
        self.assertEqual(lines[0]["text"], FINAL_COMMAND)
        self.assertEqual(lines[1]["text"],
                         "dimlinear 0.0000,400.0000,0.0000 0.0000,1000.0000,0.0000 V -300.0000,500.0000,0.0000\r")
        dims = dimensions(out)
        self.assertEqual([(d.p1, d.p2, d.angle, d.measurement) for d in dims],
                         [((0, 0), (0, 400), 90.0, 400), ((0, 400), (0, 1000), 90.0, 600)])


if __name__ == "__main__":
    unittest.main(verbosity=2)
