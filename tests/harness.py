"""What the Python tests and benchmarks share for running programs: every
program in a process group of its own, ended as a group when it outlives its
time, so that a run that hangs leaves no Xvfb, wineserver or Wine program
behind; the Windows name of a path; a driver's key=value report."""
import os
import signal
import subprocess
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))

# How long a group told to end (SIGTERM) has to clean up after itself:
# scripts/wine-env stops its wineserver and Xvfb then, which takes seconds.
GRACE_S = 30


def end_group(proc):
    """Ends the process group led by proc: SIGTERM first, so that what
    cleans up on it does (scripts/wine-env), then SIGKILL for the rest."""
    for sig, wait_s in ((signal.SIGTERM, GRACE_S), (signal.SIGKILL, 5)):
        try:
            os.killpg(proc.pid, sig)
        except ProcessLookupError:
            return
        deadline = time.monotonic() + wait_s
        while time.monotonic() < deadline:
            try:
                os.killpg(proc.pid, 0)
            except ProcessLookupError:
                proc.poll()
                return
            proc.poll()
            time.sleep(0.1)


def run(cmd, timeout, capture_output=False, text=False, **kwargs):
    """subprocess.run in a process group of its own: on a timeout the whole
    group is ended (end_group) before TimeoutExpired is raised. stdin is
    /dev/null unless given."""
    kwargs.setdefault("stdin", subprocess.DEVNULL)
    if capture_output:
        kwargs["stdout"] = kwargs["stderr"] = subprocess.PIPE
    proc = subprocess.Popen(cmd, start_new_session=True, text=text, **kwargs)
    try:
        out, err = proc.communicate(timeout=timeout)
    except subprocess.TimeoutExpired:
        end_group(proc)
        proc.communicate()
        raise
    finally:
        if proc.poll() is None:
            end_group(proc)
    return subprocess.CompletedProcess(cmd, proc.returncode, out, err)


def start(cmd, **kwargs):
    """subprocess.Popen in a process group of its own (end it with
    end_group)."""
    kwargs.setdefault("stdin", subprocess.DEVNULL)
    return subprocess.Popen(cmd, start_new_session=True, **kwargs)


def win_path(path):
    """The Windows name of a Unix path under Wine (drive Z: is the root).
    Computed here: winepath starts a Wine process, which now and then failed
    under load."""
    return "Z:" + os.path.abspath(path).replace("/", "\\")


def read_report(path):
    """A driver's report of key=value lines; empty when there is none."""
    try:
        with open(path, encoding="utf-8") as f:
            return dict(line.rstrip("\n").split("=", 1) for line in f if "=" in line)
    except OSError:
        return {}
