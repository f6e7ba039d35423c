#!/usr/bin/python3
"""The release's self-check, run as a Windows user runs it: the zip is built
from the programs under test and unpacked, and tarvel-check.exe is started in
the unpacked folder (under Wine here). It must print its table with every
check passed and exit 0. Run inside scripts/wine-env (ctest's e2e_selfcheck
does)."""
import os
import re
import subprocess
import sys
import tempfile
import unittest
import zipfile

from scenario import ROOT, temp_out


class SelfCheck(unittest.TestCase):
    def test_every_check_passes_in_the_unpacked_zip(self):
        build = os.environ.get("TARVEL_BUILD_DIR", os.path.join(ROOT, "build", "windows"))
        with tempfile.TemporaryDirectory(prefix="tarvel-selfcheck-") as tmp:
            made = subprocess.run([os.path.join(ROOT, "scripts", "package-release"), "--build", build, "--out", tmp],
                                  capture_output=True, text=True, timeout=120)
            self.assertEqual(made.returncode, 0, made.stdout + made.stderr)
            with zipfile.ZipFile(made.stdout.strip().splitlines()[-1]) as z:
                z.extractall(tmp)
                folder = os.path.join(tmp, z.namelist()[0].split("/")[0])
            done = subprocess.run(["wine", "tarvel-check.exe"], cwd=folder, stdin=subprocess.DEVNULL,
                                  capture_output=True, timeout=400)
            out = done.stdout.decode("utf-8", "replace")
            print(out)
            # Kept with the other whole-program outputs, for a failure's sake.
            os.makedirs(temp_out(""), exist_ok=True)
            with open(os.path.join(temp_out(""), "selfcheck.txt"), "w", encoding="utf-8") as f:
                f.write(out + done.stderr.decode("utf-8", "replace"))
            self.assertEqual(done.returncode, 0, out + done.stderr.decode("utf-8", "replace")[-2000:])
            rows = [line for line in out.splitlines() if re.match(r"\d+\s{2,}", line)]
            self.assertGreaterEqual(len(rows), 12, out)
            self.assertTrue(all(re.search(r"  pass  ", row) for row in rows), out)
            self.assertRegex(out, rf"(?m)^{len(rows)} passed, 0 failed$")


if __name__ == "__main__":
    if os.environ.get("TARVEL_WINE_ENV") != "1":
        sys.exit("run inside scripts/wine-env")
    unittest.main(verbosity=2)
