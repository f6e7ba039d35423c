#!/usr/bin/python3
"""Tarvel started while no CAD host runs: a press of 開始 minimises the
window and restores it, deletes the work files of its current directory,
shows no message box or other window, and Tarvel ends normally on WM_CLOSE."""
import os
import subprocess
import sys
import time
import unittest

from scenario import ROOT, end_group, read_report as report, start, temp_out, win_path as win


class NoHost(unittest.TestCase):
    def test_start_without_host(self):
        build = os.environ.get("TARVEL_BUILD_DIR", os.path.join(ROOT, "build", "windows"))
        tarvel = os.environ.get("TARVEL_EXE", os.path.join(build, "app", "Tarvel.exe"))
        driver = os.environ.get("TARVEL_CHECK_EXE", os.path.join(build, "tools", "scenario", "tarvel-check.exe"))
        out = temp_out("no-host")
        os.makedirs(out, exist_ok=True)
        rep = os.path.join(out, "driver.txt")
        if os.path.exists(rep):
            os.remove(rep)
        # Two presses: the second must behave like the first.
        args = ["wine", "explorer", "/desktop=tarvel,1280x1024", win(driver), "scenario", "--report", win(rep),
                "--tarvel", win(tarvel), "--cwd", win(out), "--runs", "2", "--work-files", "--run-timeout", "30"]
        proc = start(args, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        deadline = time.monotonic() + 90
        while time.monotonic() < deadline and "result" not in report(rep):
            time.sleep(0.1)
        try:
            proc.wait(timeout=20)
        except subprocess.TimeoutExpired:
            end_group(proc)
        r = report(rep)
        self.assertEqual(r.get("result"), "ok", r)
        self.assertEqual(r["runs_done"], "2")
        self.assertEqual(r["minimized_seen"], "1", "the window was never seen minimised")
        self.assertEqual(r["restored"], "1", "the window was not restored")
        self.assertEqual(r["foreign_windows"], "", "Tarvel showed another window")
        self.assertEqual(r["work_files_left"], "0", "TARVEL.dxf or TARVEL.csv was not deleted")
        self.assertEqual(r["tarvel_exit"], "0")
        # Nothing was sent, and nothing can have been: no host window existed.
        self.assertNotIn("host_pid", r)


if __name__ == "__main__":
    if os.environ.get("TARVEL_WINE_ENV") != "1":
        os.execv(os.path.join(ROOT, "scripts", "wine-env"),
                 [os.path.join(ROOT, "scripts", "wine-env"), sys.executable, *sys.argv])
    unittest.main(verbosity=2)
