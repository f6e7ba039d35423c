#!/usr/bin/python3
"""Tarvel.exe under Wine, every figure beside the same work done bare in the
same run (see README, Benchmarks). Inside scripts/wine-env:

    wine_bench.py --out DIR [--build DIR] [--native FILE] [--only PART]

The programs are driven by tarvel-check.exe's scenario mode; events are
timed by the host's log (--log-times). Wine keeps no processor time for
another process (GetProcessTimes stays where it was at its start), so
processor times come from Linux's count, /proc/PID/schedstat, on the same
clock. Writes DIR/results.json (a median's quartiles as KEY_p25, KEY_p75)
and DIR/report.txt."""
import argparse
import json
import os
import re
import statistics
import subprocess
import sys
import threading
import time

sys.path.insert(0, os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
from harness import ROOT, read_report, run, start, end_group, win_path  # noqa: E402

IDLE = "コマンド: "
SPANS = [100 + i for i in range(1, 499)]  # 498 spans, none alike: one dimlinear each
WAIT_MS = 10000
EXE = {}


def chain(spans=SPANS, wait_ms=WAIT_MS, wait_before=250):
    """Start, end, the intermediate points far end first (the sort's worst
    order), one of them left unanswered for wait_ms, the placement."""
    xs = [0]
    for s in spans:
        xs.append(xs[-1] + s)
    lines = [f"pick {xs[0]},0", f"pick {xs[-1]},0"]
    for k, x in enumerate(reversed(xs[1:-1])):
        if k == wait_before and wait_ms:
            lines.append(f"wait {wait_ms}")
        lines.append(f"pick {x},0")
    return "\n".join(lines + ["end", f"pick {xs[-1] / 2},-400"]) + "\n"


def pct(values, p):
    v = sorted(values)
    k = (len(v) - 1) * p / 100
    lo = int(k)
    return v[lo] + (v[min(lo + 1, len(v) - 1)] - v[lo]) * (k - lo)


def spread(key, values):
    """The median as key, with its quartiles as key_p25 and key_p75."""
    return {key: statistics.median(values), f"{key}_p25": pct(values, 25), f"{key}_p75": pct(values, 75)}


def now_us():
    return time.time_ns() // 1000


# ---- processor time, from Linux ---------------------------------------------

def read(path, mode="r"):
    with open(path, mode) as f:
        return f.read()


def write(path, text):
    with open(path, "w", encoding="utf-8", newline="") as f:
        f.write(text)


def linux_pids(holds):
    """Linux pids of the processes for which holds(pid) is true."""
    found = []
    for pid in filter(str.isdigit, os.listdir("/proc")):
        try:
            found += [int(pid)] if holds(pid) else []
        except OSError:
            pass
    return found


def pids_of(name):
    """This prefix's Wine processes running the program name."""
    ours, tail = b"WINEPREFIX=" + os.environ["WINEPREFIX"].encode(), b"/" + name.lower().encode()
    return linux_pids(lambda p: read(f"/proc/{p}/cmdline", "rb").split(b"\0")[0].lower().replace(b"\\", b"/")
                      .endswith(tail) and ours in read(f"/proc/{p}/environ", "rb").split(b"\0"))


def wineserver_pid():
    st = os.stat(os.environ["WINEPREFIX"])
    found = linux_pids(lambda p: read(f"/proc/{p}/comm").startswith("wineserver") and os.readlink(
        f"/proc/{p}/cwd").endswith(f"server-{st.st_dev:x}-{st.st_ino:x}"))
    if not found:
        raise SystemExit("wine_bench: no wineserver of this prefix")
    return found[0]


def cpu_ns(pid):
    try:
        return sum(int(read(f"/proc/{pid}/task/{t}/schedstat").split()[0]) for t in os.listdir(f"/proc/{pid}/task"))
    except (OSError, ValueError):
        return None


class Sampler(threading.Thread):
    """Every few milliseconds, the processor time of the named programs and
    the wineserver, with the system time; at() reads it back at any moment."""

    def __init__(self, *names, period_s=0.004):
        super().__init__(daemon=True)
        self.names, self.period_s, self.pids, self.rows = names, period_s, {"wineserver": wineserver_pid()}, []
        self.stop = threading.Event()

    def run(self):
        looked = 0.0
        while not self.stop.is_set():
            if time.monotonic() - looked > 0.2:  # a program not found yet is looked for now and then
                looked = time.monotonic()
                for name in self.names:
                    if name not in self.pids and (found := pids_of(name)):
                        self.pids[name] = found[-1]
            self.rows.append((now_us(), {n: cpu_ns(p) for n, p in list(self.pids.items())}))
            time.sleep(self.period_s)

    def at(self, t_us, name):
        rows = [(t, c[name]) for t, c in self.rows if c.get(name) is not None]
        i = next((k for k, (t, _) in enumerate(rows) if t >= t_us), None)
        if not i:
            raise SystemExit(f"wine_bench: no {name} samples around {t_us}")
        (t0, c0), (t1, c1) = rows[i - 1], rows[i]
        return c0 + (c1 - c0) * (t_us - t0) / max(1, t1 - t0)

    def ms(self, a_us, b_us, name):
        return (self.at(b_us, name) - self.at(a_us, name)) / 1e6


# ---- runs -------------------------------------------------------------------

def drive(out, picks=None, host_args=(), at_ready=None):
    """One scenario of tarvel-check.exe: the host with the pick script (and
    Tarvel pressing Start once when there is one), at_ready() called while
    both are still up after the run. Returns the driver's report."""
    os.makedirs(out, exist_ok=True)
    at = {f: os.path.join(out, f) for f in ("driver.txt", "ready.txt", "go.txt", "log.jsonl", "chain.picks")}
    for f in list(at.values())[:4]:
        if os.path.exists(f):
            os.remove(f)
    host = ["--log", win_path(at["log.jsonl"]), "--log-times", "--think", "0", *host_args]
    cmd = ["wine", EXE["check"], "scenario", "--report", win_path(at["driver.txt"]), "--ready", win_path(at["ready.txt"]),
           "--go", win_path(at["go.txt"]), "--cwd", win_path(out), "--host", win_path(EXE["cadhost"]), "--no-watch",
           "--run-timeout", "600", "--runs", "1" if picks else "0"] + (["--tarvel", win_path(EXE["tarvel"])] if picks else [])
    if picks:
        write(at["chain.picks"], picks)
        host += ["--picks", win_path(at["chain.picks"])]
    for a in host:
        cmd += ["--host-arg", a]
    with open(os.path.join(out, "wine.log"), "w") as log:
        proc = start(cmd, stdout=log, stderr=log)
    try:
        deadline = time.monotonic() + 1200
        while proc.poll() is None and not os.path.exists(at["ready.txt"]) and time.monotonic() < deadline:
            time.sleep(0.05)
        if proc.poll() is None and os.path.exists(at["ready.txt"]):
            if at_ready:
                at_ready()
            write(at["go.txt"], "")
            proc.wait(timeout=120)
    finally:
        if proc.poll() is None:
            end_group(proc)
    rep = read_report(at["driver.txt"])
    if rep.get("result") != "ok":
        raise SystemExit(f"wine_bench: the run in {out} failed: {rep.get('error', 'no report or no end')}")
    return rep


def log_of(out):
    return [json.loads(line) for line in read(os.path.join(out, "log.jsonl")).splitlines()]


def after(recs, i, holds):
    """The first record after recs[i] for which holds(record); None when none."""
    return next((r for r in recs[i + 1:] if holds(r)), None)


def wine(*args, timeout=900, tries=1):
    """Runs a Windows program to its end; `tries` > 1 for a bare program that
    may be run again (a bare sender once ended with status 1 and no word,
    once in a day of benchmark runs)."""
    for attempt in range(1, tries + 1):
        done = run(["wine", *args], timeout=timeout, capture_output=True, text=True, errors="replace")
        if done.returncode == 0:
            return done.stdout
        message = f"wine_bench: {' '.join(args[:1])} failed ({done.returncode}): {done.stdout}{done.stderr}"
        if attempt < tries:
            print(message + " (once more)", file=sys.stderr)
    raise SystemExit(message)


def rows_of(text):
    return [dict(kv.split("=") for kv in line.split()) for line in text.splitlines() if line.startswith("run=")]


def startup(out, runs=21):
    """Tarvel, the same window made bare, and a bare window, by turns; the
    first run of each warms the prefix and is left out."""
    os.makedirs(os.path.join(out, "startup-cwd"), exist_ok=True)
    text = wine(EXE["startup"], "--tarvel", win_path(EXE["tarvel"]), "--same-window", win_path(EXE["same"]),
                "--runs", str(runs), "--cwd", win_path(os.path.join(out, "startup-cwd")))
    write(os.path.join(out, "startup.txt"), text)
    rows = rows_of(text)
    of = {p: [r for r in rows if r["program"] == p][1:] for p in ("tarvel", "same_window", "baseline")}
    ms = {p: [float(r["startup_ms"]) for r in v] for p, v in of.items()}
    mb = {p: statistics.median(int(r["peak_ws_kb"]) for r in v) / 1024 for p, v in of.items()}
    res = spread("startup_ms", ms["tarvel"]) | spread("startup_same_window_ms", ms["same_window"])
    res |= spread("startup_baseline_ms", ms["baseline"])
    res |= spread("startup_same_window_ratio", [a / b for a, b in zip(ms["tarvel"], ms["same_window"])])
    res |= spread("startup_ratio", [a / b for a, b in zip(ms["tarvel"], ms["baseline"])])
    res["startup_same_window_ratio"] = res["startup_ms"] / res["startup_same_window_ms"]
    res["startup_ratio"] = res["startup_ms"] / res["startup_baseline_ms"]
    res["startup_ws_over_same_window_mb"] = mb["tarvel"] - mb["same_window"]
    res["startup_ws_over_bare_mb"] = mb["tarvel"] - mb["baseline"]
    res["startup_peak_working_set_mb"] = mb["tarvel"]
    res["startup_same_window_peak_working_set_mb"] = mb["same_window"]
    res["startup_baseline_peak_working_set_mb"] = mb["baseline"]
    res["exe_mb"] = os.path.getsize(EXE["tarvel"]) / 2 ** 20
    return res


def per_second(sampler, a_us, b_us, name):
    """Processor percent of one program in each whole second of a window."""
    return [sampler.ms(t, t + 1_000_000, name) / 10 for t in range(a_us, b_us - 999_999, 1_000_000)]


def idle(out):
    """The host waiting alone for 10 s, nothing polling it; then 10 s of a
    bare poller reading its prompt line as Tarvel does."""
    sampler, got = Sampler("cadhost.exe", "bench-send.exe"), {}

    def watch():
        time.sleep(1)
        t0 = now_us()
        time.sleep(10.2)
        got["idle"] = per_second(sampler, t0, now_us(), "wineserver")
        poller = start(["wine", EXE["sender"], "--poll", "11000"], stdout=subprocess.PIPE, text=True)
        first = int(poller.stdout.readline().split("=")[1]) + 500_000
        poller.wait(timeout=60)
        got["poll"] = per_second(sampler, first, first + 10_000_000, "bench-send.exe")
        got["poll_ws"] = per_second(sampler, first, first + 10_000_000, "wineserver")
    sampler.start()
    drive(out, at_ready=watch)
    sampler.stop.set()
    return (spread("idle_host_wineserver_percent", got["idle"]) | spread("bare_poll_cpu_percent", got["poll"])
            | spread("bare_poll_wineserver_percent", got["poll_ws"]))


def full(out):
    """500 points, one left unanswered for 10 s, then 498 dimlinear
    commands; the same texts again from the bare sender, three times from a
    thread that owns a window as Tarvel's does, once (for the record) from
    one that owns none."""
    sampler, bare = Sampler("Tarvel.exe", "cadhost.exe", "bench-send.exe"), []

    def send_bare():
        texts = [r["text"] for r in log_of(out) if r["kind"] == "command" and r["text"].startswith("dimlinear")]
        write(os.path.join(out, "texts.txt"), "".join(t + "\n" for t in texts))
        bare.append(read(f"/proc/{sampler.pids['Tarvel.exe']}/status"))
        for k in range(4):
            times = os.path.join(out, f"bare-times-{k}.txt")
            wine(EXE["sender"], "--texts", win_path(os.path.join(out, "texts.txt")), "--times", win_path(times),
                 "--window", "0" if k == 3 else "1", tries=2)
            bare.append([int(line) for line in read(times).split()])
            sampler.pids.pop("bench-send.exe", None)
    sampler.start()
    drive(out, chain(), ("--no-redraw",), at_ready=send_bare)
    sampler.stop.set()
    recs = [r for r in log_of(out) if r["unix_us"] < bare[1][0]]
    dims = [r["unix_us"] for r in recs if r["kind"] == "command" and r["text"].startswith("dimlinear")]
    if len(dims) != len(SPANS):
        raise SystemExit(f"wine_bench: {len(dims)} dimlinear commands, expected {len(SPANS)}")
    # Tarvel's and the bare sender's processor time a command, in windows of
    # 25 commands from the 50th to the 450th (away from the window's restore
    # before them and the end after): the medians pass over the windows that
    # something else on the machine took a share of.
    windows = [(k, k + 25) for k in range(50, 450, 25)]
    tarvel = [sampler.ms(dims[a], dims[b], "Tarvel.exe") * 1000 / 25 for a, b in windows]
    sender = [sampler.ms(t[a], t[b], "bench-send.exe") * 1000 / 25 for t in bare[1:4] for a, b in windows]
    windowless = [sampler.ms(bare[4][a], bare[4][b], "bench-send.exe") * 1000 / 25 for a, b in windows]
    wait = next(r for r in recs if r["kind"] == "wait")["unix_us"]
    detect = []  # the host idle again after a scripted answer -> Tarvel's next command
    for i, r in enumerate(recs):
        idle_at = r["kind"] in ("pick", "end") and after(recs, i, lambda x: x["kind"] == "prompt" and x["text"] == IDLE)
        cmd = idle_at and after(recs, recs.index(idle_at), lambda x: x["kind"] == "command")
        if cmd:
            detect.append((cmd["unix_us"] - idle_at["unix_us"]) / 1000)
    res = spread("send_cpu_per_command_us", tarvel) | spread("bare_send_cpu_per_command_us", sender)
    res |= spread("send_ratio", [t / statistics.median(sender) for t in tarvel])
    res |= spread("bare_send_windowless_cpu_per_command_us", windowless)
    for key, name in (("wait_cpu_percent", "Tarvel.exe"), ("wait_cpu_percent_wineserver", "wineserver")):
        res |= spread(key, per_second(sampler, wait + 500_000, wait + WAIT_MS * 1000 - 500_000, name))
    res |= spread("pick_detect_ms", detect)
    res |= {"pick_detect_ms_p90": pct(detect, 90), "pick_detect_ms_max": max(detect), "picks": len(detect),
            "peak_working_set_mb": int(re.search(r"VmHWM:\s+(\d+)", bare[0]).group(1)) / 1024,
            "placement_to_last_dimlinear_ms": (dims[-1] - [r for r in recs if r["kind"] == "pick"][-1]["unix_us"])
            / 1000}
    return res


def clipboard(out, points=30):
    """One pick's work (from the prompt read that sees the host idle to the
    next command: history copy, the user's clipboard kept, LASTPOINT read)
    with the clipboard empty and with an 8 MB bitmap and 100 formats; and the
    bare save and restore of that clipboard."""
    res = {}
    for name, mode in (("empty", "--clear"), ("8mb", "--big")):
        wine(EXE["clipholder"], mode)
        sub = os.path.join(out, name)
        drive(sub, chain([100 + i for i in range(1, points - 1)], wait_ms=0), ("--log-reads",))
        recs, ms = log_of(sub), []
        for i, r in enumerate(recs):
            seen = r["kind"] == "identified" and after(recs, i, lambda x: x["kind"] == "read" and x["text"] == IDLE)
            cmd = seen and after(recs, recs.index(seen), lambda x: x["kind"] == "command")
            if cmd:
                ms.append((cmd["unix_us"] - seen["unix_us"]) / 1000)
        res |= spread(f"pick_work_ms_clipboard_{name}", ms)
    bare = [float(r["ms"]) for r in rows_of(wine(EXE["clipboard"], "--runs", "15"))[1:]]
    wine(EXE["clipholder"], "--clear")
    res |= spread("bare_clipboard_save_restore_ms", bare)
    res["pick_clipboard_8mb_extra_ms"] = res["pick_work_ms_clipboard_8mb"] - res["pick_work_ms_clipboard_empty"]
    res["pick_clipboard_8mb_ratio_to_bare"] = res["pick_clipboard_8mb_extra_ms"] / res["bare_clipboard_save_restore_ms"]
    return res


def native(path):
    names = {"BM_OrderPoints_WorstOrder": "order_points_worst_us", "BM_CutFieldParseCoordinate": "cut_parse_per_text_ns",
             "BM_SendChainedDimensions/all_different": "send_chain_all_different_us"}
    benchmarks = json.loads(read(path))["benchmarks"] if path and os.path.exists(path) else []
    unit = {"ns": 1e-3, "us": 1.0, "ms": 1e3}
    return {names[b["name"]]: b["cpu_time"] * unit[b["time_unit"]] * (1000 if names[b["name"]].endswith("_ns") else 1)
            for b in benchmarks if b["name"] in names and b.get("run_type", "iteration") == "iteration"}


ROWS = [  # figure, baseline, how they compare, target; the baseline's words
    ("Start-up, process start to the main window visible (ms)", "startup_ms", "startup_same_window_ms",
     "startup_same_window_ratio", "x", 1.10, "the same window made bare"),
    ("Start-up working set (MB)", "startup_peak_working_set_mb", "startup_same_window_peak_working_set_mb",
     "startup_ws_over_same_window_mb", "+", 1.0, "the same window made bare"),
    ("Start-up beside a bare window (ms), for the record", "startup_ms", "startup_baseline_ms", "startup_ratio", "x",
     1.2, "a bare window, no controls, no manifest"),
    ("Start-up working set beside a bare window (MB)", "startup_peak_working_set_mb",
     "startup_baseline_peak_working_set_mb", "startup_ws_over_bare_mb", "+", 2.0, "a bare window"),
    ("A pick's extra work, 8 MB clipboard (ms)", "pick_clipboard_8mb_extra_ms", "bare_clipboard_save_restore_ms",
     "pick_clipboard_8mb_ratio_to_bare", "x", 1.2, "the same clipboard saved and put back bare"),
    ("CPU a dimlinear handed over (us)", "send_cpu_per_command_us", "bare_send_cpu_per_command_us", "send_ratio",
     "x", 1.1, "a bare sender of the same texts"),
    ("wineserver CPU while a pick waits (%)", "wait_cpu_percent_wineserver", "idle_host_wineserver_percent",
     "wait_wineserver_due_to_tarvel_percent", "+", 0.5, "the host waiting alone"),
    ("Tarvel CPU while a pick waits (%)", "wait_cpu_percent", "bare_poll_cpu_percent", "wait_cpu_percent", "=", 0.2,
     "a bare poller reading the prompt line as Tarvel does"),
]


def report(res, info):
    def v(key):
        x = res.get(key)
        if x is None:
            return "-"
        q = f" [{res[key + '_p25']:.3g}..{res[key + '_p75']:.3g}]" if key + "_p25" in res else ""
        return f"{x:.4g}{q}"
    lines = [f"Tarvel benchmarks ({time.strftime('%Y-%m-%d %H:%M UTC', time.gmtime())}; {info})", "",
             "Each figure beside the same work done bare in this run; a median is followed by its",
             "[25th..75th percentile]. Read the comparison, not the absolute figure.", ""]
    for title, fig, base, cmp, op, target, words in ROWS:
        met = res.get(cmp) is not None and res[cmp] <= target
        lines += [title, f"  Tarvel {v(fig)}   baseline {v(base) if base else '-'} ({words})",
                  f"  {cmp} {op} {v(cmp)}   target <= {target}   {'met' if met else 'NOT MET'}", ""]
    lines += [f"Pick detected (host idle -> next command): {v('pick_detect_ms')} ms, p90 "
              f"{res.get('pick_detect_ms_p90', 0):.1f}, max {res.get('pick_detect_ms_max', 0):.1f} (<= 210; the 200 ms poll)",
              f"Placement pick -> last dimlinear {res.get('placement_to_last_dimlinear_ms', 0):.1f} ms; peak working set "
              f"{res.get('peak_working_set_mb', 0):.1f} MB; Tarvel.exe {res.get('exe_mb', 0):.2f} MB",
              "Window enumerations while a pick waits: 0, checked by acadlink_cadhost_test (WaitingPolls...)",
              "Native (Google Benchmark): " + ", ".join(f"{k} {res[k]:.1f}" for k in sorted(res) if k in
                                                       ("order_points_worst_us", "send_chain_all_different_us",
                                                        "cut_parse_per_text_ns"))]
    return "\n".join(lines) + "\n"


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--out", required=True)
    ap.add_argument("--build", default=os.path.join(ROOT, "build", "windows"))
    ap.add_argument("--native")
    ap.add_argument("--only", choices=("startup", "idle", "full", "clipboard"))
    args = ap.parse_args()
    b = args.build
    EXE.update(tarvel=f"{b}/app/Tarvel.exe", cadhost=f"{b}/tools/cadhost/cadhost.exe",
               check=f"{b}/tools/scenario/tarvel-check.exe", clipholder=f"{b}/tools/clipholder/clipholder.exe",
               startup=f"{b}/tests/bench/bench-startup.exe", same=f"{b}/tests/bench/bench-same-window.exe",
               sender=f"{b}/tests/bench/bench-send.exe", clipboard=f"{b}/tests/bench/bench-clipboard.exe")
    parts = {"startup": startup, "idle": idle, "full": full, "clipboard": clipboard}
    if args.only:
        print(json.dumps(parts[args.only](os.path.join(args.out, args.only)), indent=1))
        return
    res = native(args.native)
    for name, part in parts.items():
        res |= part(os.path.join(args.out, name))
    res["wait_wineserver_due_to_tarvel_percent"] = (res["wait_cpu_percent_wineserver"] -
                                                     res["idle_host_wineserver_percent"])
    res = {k: round(v, 4) if isinstance(v, float) else v for k, v in res.items()}
    write(os.path.join(args.out, "results.json"), json.dumps(res, indent=1, sort_keys=True))
    wine_version = run(["wine", "--version"], timeout=60, capture_output=True, text=True).stdout.strip()
    model = next((ln.split(":", 1)[1].strip() for ln in read("/proc/cpuinfo").splitlines() if ln.startswith("model name")),
                 "?")
    text = report(res, f"{model}, {os.cpu_count()} cores, {wine_version}")
    write(os.path.join(args.out, "report.txt"), text)
    print(text)


if __name__ == "__main__":
    main()
