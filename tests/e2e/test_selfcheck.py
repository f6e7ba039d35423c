#!/usr/bin/python3
"""The release's self-check and probe, run as a Windows user runs them: the
zip is built from the programs under test and unpacked, and tarvel-check.exe
is started in the unpacked folder (under Wine here). The self-check must
print its table (in the user's language, Japanese here) with every check
passed and exit 0; the probe must exit 2 with no AutoCAD open, and 0 beside
the zip's own cadhost.exe, which must then have received no command. Run
inside scripts/wine-env (ctest's e2e_selfcheck does)."""
import json
import os
import re
import subprocess
import sys
import tempfile
import time
import unittest
import zipfile

from scenario import ROOT, end_group, read_report, run, start, temp_out, win_path


def wine(folder, *args, timeout=60):
    """Runs a program of the unpacked folder to its end: exit status and
    output. The output goes through a file, not a pipe: a Wine process that
    the program happens to start (the desktop's explorer.exe, when it makes
    the first window) inherits it and may outlive the program."""
    with tempfile.TemporaryFile() as out:
        done = run(["wine", *args], timeout=timeout, cwd=folder, stdout=out, stderr=out)
        out.seek(0)
        return done.returncode, out.read().decode("utf-8", "replace")


class SelfCheck(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        build = os.environ.get("TARVEL_BUILD_DIR", os.path.join(ROOT, "build", "windows"))
        cls.tmp = tempfile.TemporaryDirectory(prefix="tarvel-selfcheck-")
        made = run([os.path.join(ROOT, "scripts", "package-release"), "--build", build, "--out", cls.tmp.name],
                   timeout=120, capture_output=True, text=True)
        if made.returncode != 0:
            raise AssertionError(made.stdout + made.stderr)
        with zipfile.ZipFile(made.stdout.strip().splitlines()[-1]) as z:
            z.extractall(cls.tmp.name)
            cls.folder = os.path.join(cls.tmp.name, z.namelist()[0].split("/")[0])

    @classmethod
    def tearDownClass(cls):
        cls.tmp.cleanup()

    def test_every_check_passes_in_the_unpacked_zip(self):
        status, out = wine(self.folder, "tarvel-check.exe", timeout=400)
        print(out)
        # Kept with the other whole-program outputs, for a failure's sake.
        os.makedirs(temp_out(""), exist_ok=True)
        with open(os.path.join(temp_out(""), "selfcheck.txt"), "w", encoding="utf-8") as f:
            f.write(out)
        self.assertEqual(status, 0, out[-4000:])
        rows = [line for line in out.splitlines() if re.match(r"\d+\s{2,}", line)]
        self.assertGreaterEqual(len(rows), 12, out)
        self.assertTrue(all(re.search(r"  合格  ", row) for row in rows), out)
        self.assertIn("動作確認", out)
        self.assertRegex(out, rf"(?m)^{len(rows)} passed, 0 failed$")

    def test_probe_without_and_beside_the_host(self):
        status, out = wine(self.folder, "tarvel-check.exe", "--probe")
        self.assertEqual(status, 2, out)
        self.assertIn("判定: AutoCAD らしいウィンドウがありません", out)

        # The zip's own host, started and waited for by the driver's scenario
        # mode without Tarvel; the probe runs while it waits for "go".
        files = {name: os.path.join(self.tmp.name, name) for name in ("host.jsonl", "rep.txt", "ready.txt", "go.txt")}
        host = start(["wine", "tarvel-check.exe", "scenario", "--report", win_path(files["rep.txt"]),
                      "--host", win_path(os.path.join(self.folder, "cadhost.exe")), "--host-arg", "--log", "--host-arg", win_path(files["host.jsonl"]),
                      "--cwd", win_path(self.tmp.name), "--runs", "0", "--ready", win_path(files["ready.txt"]),
                      "--go", win_path(files["go.txt"])], cwd=self.folder, stdout=subprocess.DEVNULL,
                     stderr=subprocess.DEVNULL)
        try:
            deadline = time.monotonic() + 60
            while not os.path.exists(files["ready.txt"]) and "result" not in read_report(files["rep.txt"]):
                self.assertLess(time.monotonic(), deadline, "the host did not come up")
                time.sleep(0.2)
            self.assertTrue(os.path.exists(files["ready.txt"]), read_report(files["rep.txt"]))
            status, out = wine(self.folder, "tarvel-check.exe", "--probe", "--lang", "en")
            self.assertEqual(status, 0, out)
            self.assertIn("Verdict: Tarvel would work with this AutoCAD.", out)
            with open(files["go.txt"], "w"):
                pass
            host.wait(timeout=60)
            self.assertEqual(read_report(files["rep.txt"]).get("result"), "ok", read_report(files["rep.txt"]))
            with open(files["host.jsonl"], encoding="utf-8") as f:
                kinds = [json.loads(line)["kind"] for line in f if line.strip()]
            self.assertNotIn("command", kinds)
        finally:
            if host.poll() is None:
                end_group(host)

if __name__ == "__main__":
    if os.environ.get("TARVEL_WINE_ENV") != "1":
        sys.exit("run inside scripts/wine-env")
    unittest.main(verbosity=2)
