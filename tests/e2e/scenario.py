"""Helpers of the whole-program tests: run scripts/scenario and read back
what the host logged and drew. Programs are run through tests/harness.py
(a process group each, ended as a group on a timeout)."""
import json
import os
import sys
import tempfile
from dataclasses import dataclass

import ezdxf

sys.path.insert(0, os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
from harness import ROOT, read_report, run, start, end_group, win_path  # noqa: E402,F401  (shared with the other tests)

PICK = "\x03ID "


class ScenarioError(AssertionError):
    pass


def run_scenario(picks, out, option=None, layout="docked", ansi=False, driver_args=()):
    """Runs one session; picks is the text of a pick script; driver_args go
    to `tarvel-check.exe scenario`. Returns out."""
    os.makedirs(out, exist_ok=True)
    path = os.path.join(out, "e2e.picks")
    with open(path, "w", encoding="utf-8") as f:
        f.write(picks)
    cmd = [os.path.join(ROOT, "scripts", "scenario"), "--picks", path, "--layout", layout, "--out", out]
    if option is not None:
        cmd += ["--option", str(option)]
    if ansi:
        cmd.append("--ansi")
    for a in driver_args:
        cmd += ["--driver-arg", a]
    done = run(cmd, timeout=600, capture_output=True, text=True)
    if done.returncode != 0:
        raise ScenarioError(f"{' '.join(cmd[1:])} failed ({done.returncode}):\n{done.stdout}{done.stderr}")
    return out


def picks_of(points, ends="end", placement=None):
    """A pick script for one chain: the points, the end of the picking, the
    placement pick (a point, or "cancel"/"end")."""
    lines = [f"pick {x},{y}" for x, y in points]
    lines.append(ends)
    if isinstance(placement, tuple):
        lines.append(f"pick {placement[0]},{placement[1]}")
    elif placement is not None:
        lines.append(placement)
    return "\n".join(lines) + "\n"


def driver_report(out):
    """The driver's key=value report of the session."""
    return read_report(os.path.join(out, "driver.txt"))


def log_records(out):
    with open(os.path.join(out, "commands.jsonl"), encoding="utf-8") as f:
        return [json.loads(line) for line in f if line.strip()]


def commands(out):
    return [r for r in log_records(out) if r.get("kind") == "command"]


def dimlinear_commands(out):
    return [r for r in commands(out) if r["text"].lower().startswith("dimlinear")]


def expected_cbdata(record):
    """What the record's cbData must be: the terminator counted, two bytes a
    code unit in the wide form, the Shift-JIS bytes in the 8-bit form."""
    text = record["text"]
    if record["enc"] == "W":
        return 2 * (len(text.encode("utf-16-le")) // 2 + 1)
    return len(text.encode("cp932")) + 1


@dataclass
class Dim:
    p1: tuple
    p2: tuple
    line: tuple
    angle: float
    text: str
    measurement: float


def dimensions(out):
    doc = ezdxf.readfile(os.path.join(out, "drawing.dxf"))
    auditor = doc.audit()
    if auditor.has_errors:
        raise ScenarioError(f"drawing.dxf does not audit clean: {[str(e) for e in auditor.errors]}")
    found = []
    for d in doc.modelspace().query("DIMENSION"):
        found.append(Dim(
            p1=tuple(round(v, 4) for v in d.dxf.defpoint2)[:2],
            p2=tuple(round(v, 4) for v in d.dxf.defpoint3)[:2],
            line=tuple(round(v, 4) for v in d.dxf.defpoint)[:2],
            angle=round(d.dxf.get("angle", 0.0), 6),
            text=d.dxf.get("text", ""),
            measurement=round(d.get_measurement(), 4),
        ))
    return found


def temp_out(name):
    base = os.environ.get("TARVEL_E2E_OUT") or tempfile.mkdtemp(prefix="tarvel-e2e-")
    return os.path.join(base, name)
