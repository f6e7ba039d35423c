#!/usr/bin/python3
"""scripts/scenario must fail loudly and leave nothing running: a missing
file, a program that does not show its window in time, a run that does not
end. And its chain count, which decides how often 開始 is pressed."""
import os
import tempfile
import unittest

from scenario import ROOT, picks_of, run, temp_out, win_path

SCENARIO = os.path.join(ROOT, "scripts", "scenario")
COUNT = os.path.join(ROOT, "scripts", "count-chains")
CHAIN = picks_of([(0, 0), (1000, 0), (500, 0)], "end", (500, -200))


def write(folder, name, text):
    path = os.path.join(folder, name)
    with open(path, "w", encoding="utf-8") as f:
        f.write(text)
    return path


class ChainCount(unittest.TestCase):
    # (pick script, chains, stops in the middle of a chain)
    CASES = [
        (CHAIN, 1, False),
        (CHAIN + CHAIN, 2, False),
        ("cancel\npick 1,1\n", 1, False),                  # first pick cancelled, placement still asked
        ("pick 0,0\ncancel\ncancel\n", 1, False),           # placement cancelled
        ("# comment\n\n  pick 0,0  \r\nend\r\nend\r\n", 1, False),
        ("pick 0,0\npick 1,0\n", 1, True),                 # no end of the picking
        ("pick 0,0\nend\n", 1, True),                      # no placement
        (CHAIN + "pick 0,0\n", 2, True),
        ("# nothing\n", 0, False),
    ]

    def test_cases(self):
        with tempfile.TemporaryDirectory() as d:
            for i, (text, chains, open_chain) in enumerate(self.CASES):
                with self.subTest(text=text):
                    path = write(d, f"{i}.picks", text)
                    got = run([COUNT, path], timeout=30, capture_output=True, text=True)
                    self.assertEqual(got.stdout.strip(), str(chains), got.stderr)
                    self.assertEqual(run([COUNT, "--open", path], timeout=30).returncode == 0, open_chain)

    def test_unknown_action_is_refused(self):
        with tempfile.TemporaryDirectory() as d:
            got = run([COUNT, write(d, "bad.picks", "pick 0,0\nclick 1,1\n")], timeout=30, capture_output=True, text=True)
            self.assertNotEqual(got.returncode, 0)
            self.assertIn("line 2", got.stderr)


class Failures(unittest.TestCase):
    def run_scenario(self, picks_text, name, env=None, picks_path=None):
        out = temp_out(name)
        os.makedirs(out, exist_ok=True)
        path = picks_path or write(out, "e2e.picks", picks_text)
        done = run([SCENARIO, "--picks", path, "--out", out], timeout=300, capture_output=True, text=True,
                   env={**os.environ, **(env or {})})
        return done, out

    def assertFailsWith(self, done, text):
        self.assertNotEqual(done.returncode, 0, done.stdout)
        self.assertIn(text, done.stderr)

    def assertNothingLeft(self, out):
        # The command lines of the driver and of the host name this
        # scenario's folder.
        folder = win_path(out)
        self.assertTrue(folder)
        ps = run(["ps", "-eo", "args"], timeout=30, capture_output=True, text=True).stdout
        left = [line for line in ps.splitlines() if folder + "\\" in line]
        self.assertEqual(left, [], "programs of the failed scenario are still running")

    def test_refused_before_anything_starts(self):
        cases = [
            ("missing pick script", {}, "/nonexistent/x.picks", "no pick script"),
            ("missing program", {"TARVEL_EXE": "/nonexistent/Tarvel.exe"}, None, "missing /nonexistent/Tarvel.exe"),
            ("chain cut short", {}, None, "stops in the middle of a chain"),
        ]
        for what, env, path, message in cases:
            with self.subTest(what):
                text = "pick 0,0\npick 1,0\n" if what == "chain cut short" else CHAIN
                done, _ = self.run_scenario(text, "fail-refused", env, path)
                self.assertFailsWith(done, message)

    def test_window_not_shown_in_time(self):
        # cadhost.exe in Tarvel's place never shows a TTarvelF window.
        host = os.environ.get("CADHOST_EXE", os.path.join(ROOT, "build", "windows", "tools", "cadhost", "cadhost.exe"))
        done, out = self.run_scenario(CHAIN, "fail-no-window", {"TARVEL_EXE": host, "TARVEL_START_TIMEOUT": "3"})
        self.assertFailsWith(done, "showed no window of class TTarvelF within 3 s")
        self.assertNothingLeft(out)

    def test_run_that_does_not_end(self):
        # Thirty intermediate points take longer than the run's bound of 2 s.
        long_chain = picks_of([(0, 0), (3100, 0)] + [(100 * i, 0) for i in range(1, 31)], "end", (0, -200))
        done, out = self.run_scenario(long_chain, "fail-run-timeout", {"TARVEL_RUN_TIMEOUT": "2"})
        self.assertFailsWith(done, "run 1 did not end within 2 s")
        self.assertNothingLeft(out)


if __name__ == "__main__":
    unittest.main(verbosity=2)
