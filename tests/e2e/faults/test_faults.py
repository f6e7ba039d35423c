#!/usr/bin/python3
"""Faults injected into whole runs of the real Tarvel.exe against cadhost.exe.

Each case is one fault: the first press of 開始 runs against a host with the
fault (or with another program on the clipboard), the second press right
after it against a clean host. For every case, whatever the fault:
  - the run ends, and no wait on the host outlasts the 10 s bound;
  - the user's clipboard (a text, a registered format, an enhanced metafile,
    a metafile picture, a bitmap and a palette) is still there;
  - every command the host got is whole: its cbData counts the whole text
    and its terminator, and every dimlinear command has the full form and
    ends with a carriage return;
  - the second run sends exactly the commands of the chain.
And per case what the run must do: the error box's text, "nothing sent",
the main window minimised or restored.

Run inside scripts/wine-env (ctest's e2e_faults does). Prints a table of the
faults with the times measured; TARVEL_FAULTS_ONLY=name,name runs a subset.
"""
import json
import os
import re
import sys
import time
import unittest

sys.path.insert(0, os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__)))))
from harness import read_report, run, win_path as winpath  # noqa: E402

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(os.path.dirname(os.path.dirname(HERE)))
BUILD = os.environ.get("TARVEL_BUILD_DIR", os.path.join(ROOT, "build", "windows"))
TARVEL = os.environ.get("TARVEL_EXE", os.path.join(BUILD, "app", "Tarvel.exe"))
CADHOST = os.environ.get("CADHOST_EXE", os.path.join(BUILD, "tools", "cadhost", "cadhost.exe"))
CLIPHOLDER = os.environ.get("CLIPHOLDER_EXE", os.path.join(BUILD, "tools", "clipholder", "clipholder.exe"))
DRIVER = os.environ.get("TARVEL_CHECK_EXE", os.path.join(BUILD, "tools", "scenario", "tarvel-check.exe"))
OUT = os.environ.get("TARVEL_FAULTS_OUT", os.path.join(BUILD, "faults-out"))

BOUND_MS = 10000   # the CAD link's bound on one message to the host
SLACK_MS = 1500    # polls, clipboard retries and Wine's own latency around it

# One chain: start, end, two intermediate points, the end of the picking
# (right button) and the dimension line's position. Ordered along X it is
# 0, 250, 500, 1000: spans 250, 250, 500, so two commands, a run form and a
# single form.
CHAIN = "pick 0,0\npick 1000,0\npick 500,0\npick 250,0\nend\npick 500,-200\n"


def p3(x, y):
    return f"{x:.4f},{y:.4f},0.0000"


def p2(x, y):
    return f"{x:.4f},{y:.4f}"


def chain_commands(pt):
    a, b, c, pos = pt(0, 0), pt(500, 0), pt(1000, 0), pt(500, -200)
    return [f"dimlinear {a} {b} H T 2@250\\X=<>\r{pos}\r", f"dimlinear {b} {c} H {pos}\r"]


EXPECTED = chain_commands(p3)

COORD = r"-?\d+\.\d{4}"
POINT = rf"{COORD},{COORD}(?:,{COORD})?"
WHOLE_DIMLINEAR = re.compile(
    rf"dimlinear {POINT} {POINT} [HV] (?:T \d+@\d+(?:\\[PX])?=<>\r)?{POINT}\r\Z")


# The clipboard after another program wrote or rendered its text there: the
# text alone, the user's other formats gone with what that program replaced.
OTHER_TEXT_ONLY = ("text={} format=(absent) enhmetafile=absent metafilepict=absent bitmap=absent palette=absent")
OFFERED = "描画を頼まれた文"


def conversion_box(field):
    return f"'{field}' は浮動小数点数ではありません."


# name, first host's fault arguments, expectations of the first run:
#   box       the error box's text, or None for no box
#   iconic    the main window after the run: True minimised, False restored
#   sent      the dimlinear commands the run sends: a list, or None when the
#             fault decides how many of the chain's get through (each whole)
#   hang      the host hangs for this long: the run must end well before
#   second    "same": the second run goes on with the first host; "fresh":
#             a clean host (the first one has gone, or still carries its fault)
#   with      another program started with the run (clipholder)
CASES = [
    dict(name="hang-on-pick", args=["--hang-after", "1", "--hang-ms", "12000"], box=None, iconic=False, sent=[],
         hang=12000, second="fresh",
         what="hangs 12 s after the first ID"),
    dict(name="hang-on-second-pick", args=["--hang-after", "4", "--hang-ms", "12000"], box=None, iconic=False,
         sent=[], hang=12000, second="fresh",
         what="hangs 12 s after the second ID"),
    dict(name="hang-on-query", args=["--hang-after", "2", "--hang-ms", "12000"], box=conversion_box(""),
         iconic=True, sent=[], hang=12000, second="fresh",
         what="hangs 12 s after the first 'SETVAR LASTPOINT"),
    dict(name="hang-on-dimlinear", args=["--hang-after", "17", "--hang-ms", "12000"], box=None, iconic=False,
         sent=None, hang=12000, second="fresh",
         what="hangs 12 s after the first dimlinear"),
    dict(name="hang-short", args=["--hang-after", "1", "--hang-ms", "4000"], box=None, iconic=False,
         sent=EXPECTED, second="same",
         what="hangs 4 s (under the bound) after the first ID"),
    dict(name="close-after-pick", args=["--close-after-pick", "2"], box=None, iconic=False, sent=[],
         second="fresh", what="ends after the second pick"),
    dict(name="delay", args=["--delay", "150"], box=None, iconic=False, sent=EXPECTED, second="same",
         what="every answer 150 ms late"),
    dict(name="lastpoint-junk", args=["--lastpoint", "junk"], box=conversion_box("junk"), iconic=True, sent=[],
         second="fresh", what="LASTPOINT junk"),
    dict(name="lastpoint-empty", args=["--lastpoint", ""], box=conversion_box(""), iconic=True, sent=[],
         second="fresh", what="LASTPOINT empty"),
    dict(name="lastpoint-two-fields", args=["--lastpoint", "{x},{y}"], box=None, iconic=False,
         sent=chain_commands(p2), second="fresh", what="LASTPOINT x,y"),
    dict(name="lastpoint-fourth-field", args=["--lastpoint", "{x},{y},{z},9"], box=conversion_box("9"),
         iconic=True, sent=[], second="fresh", what="LASTPOINT x,y,z,9"),
    dict(name="lastpoint-blanks", args=["--lastpoint", " \\t{x},{y},{z}\\t "], box=None, iconic=False,
         sent=EXPECTED, second="fresh", what="LASTPOINT with blanks and tabs around it"),
    dict(name="lastpoint-control", args=["--lastpoint", "{x}\\x03,{y},{z}"], box=conversion_box("0.0000\x03"),
         iconic=True, sent=[], second="fresh", what="LASTPOINT x^C,y,z"),
    # A blank inside would end an answer in the middle of the dimlinear
    # command the text is typed into.
    dict(name="lastpoint-inner-blank", args=["--lastpoint", "{x} ,{y},{z}"], box=conversion_box("0.0000 "),
         iconic=True, sent=[], second="fresh", what="LASTPOINT x ,y,z (blank inside)"),
    dict(name="history-cr", args=["--history-eol", "cr"], box=None, iconic=False, sent=EXPECTED, second="same",
         what="history lines end in CR"),
    dict(name="history-lf", args=["--history-eol", "lf"], box=None, iconic=False, sent=EXPECTED, second="same",
         what="history lines end in LF"),
    dict(name="prompt-pad", args=["--prompt-pad", "100000"], box=None, iconic=False, sent=EXPECTED,
         second="same", what="prompt line of 100 000+ characters"),
    dict(name="clipboard-held", args=[], box=None, iconic=True, sent=[], second="fresh",
         with_=["--hold", "4000"], what="clipboard held open 4 s by another program"),
    # Another program writes to the clipboard while the run is under way: the
    # user's content may give way to its text (a later write wins), but the
    # clipboard never ends empty or holding the history.
    dict(name="clipboard-written", args=[], box=None, iconic=False, sent=None, second="fresh",
         with_=["--write-at", "250", "--text", "他のプログラムの文"], clip_may_be=OTHER_TEXT_ONLY.format("他のプログラムの文"),
         what="another program writes the clipboard 0.25 s into the run"),
    # A program that offered its text to be rendered on request (as
    # spreadsheets and browsers do) takes the clipboard just before the run.
    # Rendered 3 s after it is asked: the run waits and goes on, and the text
    # comes through. Not answering at all for 15 s: the run ends within the
    # bound as for a held clipboard, nothing sent, and the text is still
    # offered when the program answers again.
    dict(name="clipboard-render-late", args=[], box=None, iconic=False, sent=EXPECTED, second="fresh",
         with_=["--offer", OFFERED, "--render-after", "3000", "--for", "60000"], with_owns=True,
         clip_may_be=OTHER_TEXT_ONLY.format(OFFERED),
         what="a clipboard owner renders its offered text 3 s after it is asked"),
    dict(name="clipboard-render-never", args=[], box=None, iconic=True, sent=[], hang=15000, second="fresh",
         with_=["--offer", OFFERED, "--hang", "15000", "--for", "16000"], with_owns=True, second_after_with=True,
         clip_may_be=OTHER_TEXT_ONLY.format(OFFERED),
         what="a clipboard owner offers a text, then does not answer for 15 s"),
    dict(name="clipboard-held-briefly", args=[], box=None, iconic=False, sent=EXPECTED, second="same",
         with_=["--hold", "400"], what="clipboard held open 0.4 s by another program"),
]


def read_log(path):
    if not os.path.exists(path):
        return []
    with open(path, encoding="utf-8") as f:
        return [json.loads(line) for line in f if line.strip()]


def unescape(text):
    return re.sub(r"\\x([0-9A-F]{2})", lambda m: chr(int(m.group(1), 16)), text)


def expected_cbdata(record):
    text = record["text"]
    if record["enc"] == "W":
        return 2 * (len(text.encode("utf-16-le")) // 2 + 1)
    return len(text.encode("cp932")) + 1


def in_run(records, rep, run):
    t0, t1 = int(rep[f"run{run}_start"]), int(rep[f"run{run}_end"])
    return [r for r in records if t0 <= r.get("ms", -1) <= t1]


def longest_silence(records, rep, run):
    """The longest stretch of the run in which the host logged nothing: an
    upper bound of every single wait of Tarvel on the host (a wait the host
    answers ends with a record; a hung host logs nothing)."""
    t0, t1 = int(rep[f"run{run}_start"]), int(rep[f"run{run}_end"])
    # An error box ends the run's dealings with the host: the time it is
    # shown (and Wine's two seconds to take it down without a window
    # manager) is no wait on the host.
    t1 = int(rep.get(f"run{run}_box1_at", t1))
    ticks = [t0] + sorted(r["ms"] for r in in_run(records, rep, run) if r["ms"] <= t1) + [t1]
    return max(b - a for a, b in zip(ticks, ticks[1:]))


def run_case(case):
    out = os.path.join(OUT, case["name"])
    os.makedirs(out, exist_ok=True)
    for f in os.listdir(out):
        os.remove(os.path.join(out, f))
    with open(os.path.join(out, "first.picks"), "w", encoding="utf-8") as f:
        f.write(CHAIN + (CHAIN if case["second"] == "same" else ""))
    with open(os.path.join(out, "second.picks"), "w", encoding="utf-8") as f:
        f.write(CHAIN)
    common = ["--log-times", "--think", "50"]
    first = ["--picks", winpath(os.path.join(out, "first.picks")), "--log", winpath(os.path.join(out, "host1.jsonl")),
             *common, *case["args"]]
    second = ["--picks", winpath(os.path.join(out, "second.picks")),
              "--log", winpath(os.path.join(out, "host2.jsonl")), *common]
    cmd = ["wine", DRIVER, "faults", "--report", winpath(os.path.join(out, "report.txt")), "--tarvel", winpath(TARVEL),
           "--host", winpath(CADHOST), "--cwd", winpath(out), "--second", case["second"], "--run-timeout", "120"]
    for a in first:
        cmd += ["--host-arg", a]
    for a in second:
        cmd += ["--second-host-arg", a]
    if case.get("with_"):
        cmd += ["--with", winpath(CLIPHOLDER)]
        for a in case["with_"]:
            cmd += ["--with-arg", a]
        if case.get("with_owns"):
            cmd += ["--with-owns", "1"]
        if case.get("second_after_with"):
            cmd += ["--second-after-with", "1"]
    started = time.monotonic()
    done = run(cmd, timeout=400, capture_output=True, text=True)
    wall = time.monotonic() - started
    rep = read_report(os.path.join(out, "report.txt"))
    return out, rep, done, wall


class Faults(unittest.TestCase):
    table = []

    def check_case(self, case):
        out, rep, done, wall = run_case(case)
        self.assertEqual(rep.get("result"), "ok",
                         f"driver: {rep.get('error')}\n{done.stderr[-2000:]}")
        host1 = read_log(os.path.join(out, "host1.jsonl"))
        host2 = read_log(os.path.join(out, "host2.jsonl"))
        second_host = host2 if rep.get("run2_fresh_host") == "1" else host1

        # Nothing lost on the clipboard, before and after each run.
        self.assertEqual(rep.get("clip_before"), "same")
        self.assertEqual(rep.get("run1_clip_before"), "same", "the user's content was not there when the run began")
        allowed = {"same", case.get("clip_may_be", "same")}
        self.assertIn(rep.get("run1_clip_after"), allowed, "run 1: the user's clipboard was not kept")
        self.assertEqual(rep.get("run2_clip_before"), rep.get("run1_clip_after"))
        self.assertEqual(rep.get("run2_clip_after"), rep.get("run1_clip_after"),
                         "run 2: the clipboard was not kept")

        # Every command whole, in both hosts' logs.
        for rec in host1 + host2:
            if rec.get("kind") != "command":
                continue
            self.assertEqual(rec["cbData"], expected_cbdata(rec), f"command cut: {rec!r}")
            if rec["text"].lower().startswith("dimlinear"):
                self.assertRegex(rec["text"], WHOLE_DIMLINEAR, "dimlinear command not whole")

        # The first run: what the fault must make of it.
        self.assertEqual(rep["run1_returned"], "1")
        boxes = int(rep.get("run1_boxes", "0"))
        if case["box"] is None:
            self.assertEqual(boxes, 0, f"unexpected box: {unescape(rep.get('run1_box1_text', ''))!r}")
        else:
            self.assertEqual(boxes, 1)
            self.assertEqual(unescape(rep["run1_box1_text"]), case["box"])
            self.assertEqual(rep["run1_box1_caption"], "Tarvel")
            self.assertEqual(rep["run1_box1_owner_is_tarvel"], "1")
            self.assertEqual(rep["run1_box1_main_iconic"], "1", "the window must stay minimised under the box")
        self.assertEqual(rep["run1_main_iconic"], "1" if case["iconic"] else "0", "window state after the run")
        sent1 = [r["text"] for r in in_run(host1, rep, 1)
                 if r.get("kind") == "command" and r["text"].lower().startswith("dimlinear")]
        if case["sent"] is not None:
            self.assertEqual(sent1, case["sent"])
        else:
            self.assertLessEqual(len(sent1), len(EXPECTED))
            for text in sent1:
                self.assertIn(text, EXPECTED)
        # Commands the host took after the run ended (a message that timed
        # out may still be handled when the host wakes) are whole too, and
        # no dimlinear is ever sent twice.
        late_until = int(rep["run2_start"]) if rep.get("run2_fresh_host") == "0" else float("inf")
        late = [r["text"] for r in host1 if r.get("kind") == "command"
                and int(rep["run1_end"]) < r.get("ms", 0) < late_until]
        if rep.get("run2_fresh_host") == "1":
            all_dims = [r["text"] for r in host1 if r.get("kind") == "command"
                        and r["text"].lower().startswith("dimlinear")]
            self.assertEqual(len(all_dims), len(set(all_dims)), "a dimlinear command arrived twice")

        # No wait on the host longer than the bound.
        silence1 = longest_silence(host1, rep, 1)
        self.assertLessEqual(silence1, BOUND_MS + SLACK_MS, "a wait outlasted the bound")
        if case.get("hang"):
            # Up to its end, or to its error box (whose taking down is no
            # wait on the host).
            dealt = int(rep.get("run1_box1_at", rep["run1_end"])) - int(rep["run1_start"])
            self.assertLess(dealt, case["hang"], "the run waited the hang out")

        # The second run, right after: the whole chain, nothing else.
        self.assertEqual(rep["run2_returned"], "1")
        self.assertEqual(rep.get("run2_boxes"), "0", unescape(rep.get("run2_box1_text", "")))
        self.assertEqual(rep["run2_main_iconic"], "0")
        self.assertEqual(rep["tarvel_answers"], "1", "Tarvel does not answer after its runs")
        sent2 = [r["text"] for r in in_run(second_host, rep, 2)
                 if r.get("kind") == "command" and r["text"].lower().startswith("dimlinear")]
        self.assertEqual(sent2, EXPECTED)
        dims2 = [r for r in in_run(second_host, rep, 2) if r.get("kind") == "dimension"]
        self.assertEqual([d["measurement"] for d in dims2], [500, 500])
        silence2 = longest_silence(second_host, rep, 2)
        self.assertLessEqual(silence2, BOUND_MS + SLACK_MS)

        Faults.table.append((case["name"], case["what"], describe(case, rep, sent1), "nothing",
                             int(rep["run1_ms"]), silence1, int(rep["run2_ms"]), len(late), wall))


def describe(case, rep, sent1):
    parts = []
    if int(rep.get("run1_boxes", "0")):
        parts.append(f"box \"{unescape(rep['run1_box1_text'])!r}\"")
    parts.append("minimised" if rep["run1_main_iconic"] == "1" else "restored")
    parts.append(f"{len(sent1)} dimlinear sent" if sent1 else "nothing sent")
    return ", ".join(parts)


def make_test(case):
    def test(self):
        self.check_case(case)
    return test


ONLY = [n for n in os.environ.get("TARVEL_FAULTS_ONLY", "").split(",") if n]
for _case in CASES:
    if not ONLY or _case["name"] in ONLY:
        setattr(Faults, "test_" + _case["name"].replace("-", "_"), make_test(_case))


def print_table():
    if not Faults.table:
        return
    print("\nfault | injected | first run | lost | run 1 ms | longest wait ms | run 2 ms | commands after run 1 | case s")
    for row in Faults.table:
        print(" | ".join(str(c) if not isinstance(c, float) else f"{c:.1f}" for c in row))


if __name__ == "__main__":
    for exe in (TARVEL, CADHOST, CLIPHOLDER, DRIVER):
        if not os.path.exists(exe):
            sys.exit(f"missing {exe}")
    if os.environ.get("TARVEL_WINE_ENV") != "1":
        sys.exit("run inside scripts/wine-env")
    began = time.monotonic()
    result = unittest.main(exit=False, verbosity=2).result
    print_table()
    print(f"fault layer: {time.monotonic() - began:.1f} s")
    sys.exit(0 if result.wasSuccessful() else 1)
