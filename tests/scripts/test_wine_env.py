#!/usr/bin/python3
"""scripts/wine-env before it starts anything: a folder it did not make is
refused and kept as it is, a second caller on a prefix that is in use gives
up after its bound without touching it, and a nested call takes no lock."""
import fcntl
import os
import sys
import tempfile
import time
import unittest

sys.path.insert(0, os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
from harness import ROOT, run  # noqa: E402

WINE_ENV = os.path.join(ROOT, "scripts", "wine-env")


class WineEnv(unittest.TestCase):
    def setUp(self):
        tmp = tempfile.TemporaryDirectory()
        self.addCleanup(tmp.cleanup)
        self.dir = tmp.name
        self.prefix = os.path.join(self.dir, "prefix")
        # An independent caller: not inside another wine-env.
        self.env = {k: v for k, v in os.environ.items() if k != "TARVEL_WINE_ENV"}
        self.env["TARVEL_WINEPREFIX"] = self.prefix

    def run_wine_env(self, *command, **env):
        return run([WINE_ENV, *command], timeout=30, env={**self.env, **env}, capture_output=True, text=True)

    def hold_lock(self):
        f = open(self.prefix + ".tarvel-lock", "a+", encoding="utf-8")
        self.addCleanup(f.close)
        fcntl.flock(f, fcntl.LOCK_EX)
        f.write("pid 1: the test holding it\n")
        f.flush()

    def test_folder_it_did_not_make_is_refused_and_kept(self):
        os.makedirs(os.path.join(self.prefix, "drive_c"))
        with open(os.path.join(self.prefix, "user.reg"), "w", encoding="utf-8") as f:
            f.write("mine\n")
        done = self.run_wine_env("true")
        self.assertEqual(done.returncode, 1, done.stderr)
        self.assertIn("was not made by scripts/wine-env", done.stderr)
        self.assertEqual(sorted(os.listdir(self.prefix)), ["drive_c", "user.reg"])
        with open(os.path.join(self.prefix, "user.reg"), encoding="utf-8") as f:
            self.assertEqual(f.read(), "mine\n")
        self.assertEqual(os.listdir(self.dir), ["prefix"])  # no lock file beside it either

    def test_second_caller_gives_up_after_its_bound(self):
        self.hold_lock()
        start = time.monotonic()
        done = self.run_wine_env("true", TARVEL_WINE_LOCK_WAIT="1")
        self.assertEqual(done.returncode, 1, done.stderr)
        self.assertGreaterEqual(time.monotonic() - start, 1)
        self.assertIn("still in use after 1 s (pid 1: the test holding it", done.stderr)
        self.assertFalse(os.path.exists(self.prefix), "the waiting caller made the prefix")

    def test_nested_call_takes_no_lock(self):
        self.hold_lock()
        done = self.run_wine_env("sh", "-c", "echo inside", TARVEL_WINE_ENV="1", TARVEL_WINE_LOCK_WAIT="5")
        self.assertEqual((done.returncode, done.stdout, done.stderr), (0, "inside\n", ""))


if __name__ == "__main__":
    unittest.main(verbosity=2)
