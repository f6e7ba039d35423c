#!/usr/bin/python3
"""Tarvel.exe under Wine against the scripted CAD host, each figure beside a
baseline measured in the same run: a full 500-point dialogue with one pick
left unanswered for 10 s (against the host waiting alone), its 498 dimlinear
commands handed over (against a bare sender handing the same texts to the
same host window), a traced short run for the window enumerations, the
start-up (against a bare window program), and one pick's work with an 8 MB
bitmap and 100 small formats on the user's clipboard (against an empty one).

    wine_bench.py --out DIR [--build DIR] [--native FILE]

Runs inside scripts/wine-env (scripts/bench starts it there). Writes
DIR/results.json (numbers only, flat) and DIR/report.txt, and keeps the
runs' files under DIR/full, DIR/trace and DIR/startup.txt.

Clocks: the host stamps each log record with the precise system time
("unix_us", GetSystemTimePreciseAsFileTime, which Wine takes from
CLOCK_REALTIME); the sampler here stamps its readings with the same
clock, so a host event and Tarvel's CPU time at that moment line up.
Tarvel's CPU time is the sum over its threads of the time the Linux
scheduler ran them (/proc/PID/task/*/schedstat, in nanoseconds).
"""
import argparse
import json
import os
import re
import statistics
import subprocess
import sys
import threading
import time

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
sys.path.insert(0, os.path.join(ROOT, "tests", "e2e"))
from scenario import log_records as records, win_path  # noqa: E402  (the whole-program tests' helpers)
IDLE = "コマンド: "

# The full chain: 498 spans, no two alike (one dimlinear each, the most
# commands a chain can give), the intermediate points picked from the far
# end back (the worst order for the sort).
SPANS = [100 + i for i in range(1, 499)]
WAIT_BEFORE = 250  # the intermediate pick left unanswered
MID = (100, 400)  # the commands whose hand-over is compared with the bare sender's
WAIT_MS = 10000


def full_chain_picks(wait_ms=WAIT_MS, spans=SPANS, wait_before=WAIT_BEFORE):
    xs = [0]
    for s in spans:
        xs.append(xs[-1] + s)
    lines = ["# start, end, the intermediate points far end first, the placement",
             f"pick {xs[0]},0", f"pick {xs[-1]},0"]
    for k, x in enumerate(reversed(xs[1:-1])):
        if k == wait_before and wait_ms:
            lines.append(f"wait {wait_ms}")
        lines.append(f"pick {x},0")
    lines += ["end", f"pick {xs[-1] / 2},-400"]
    return "\n".join(lines) + "\n", len(xs)


# ---- watching Tarvel's process from Linux ----------------------------------

def exe_pids(name):
    """Linux pids of this run's Wine processes (of its prefix: other prefixes
    may run the same programs on the machine) whose first argument ends in
    name."""
    found = []
    ours = b"WINEPREFIX=" + os.environ["WINEPREFIX"].encode()
    for entry in os.listdir("/proc"):
        if not entry.isdigit():
            continue
        try:
            with open(f"/proc/{entry}/cmdline", "rb") as f:
                argv0 = f.read().split(b"\0")[0]
            if not argv0.lower().replace(b"\\", b"/").endswith(b"/" + name.lower().encode()):
                continue
            with open(f"/proc/{entry}/environ", "rb") as f:
                if ours not in f.read().split(b"\0"):
                    continue
        except OSError:
            continue
        found.append(int(entry))
    return sorted(found, key=start_time)


def start_time(pid):
    """When the process started, in clock ticks since boot (0 when gone)."""
    try:
        with open(f"/proc/{pid}/stat") as f:
            return int(f.read().rsplit(")", 1)[1].split()[19])
    except (OSError, IndexError, ValueError):
        return 0


def comm_pids(comm):
    """Linux pids of processes whose name starts with comm."""
    found = []
    for entry in os.listdir("/proc"):
        if entry.isdigit():
            try:
                with open(f"/proc/{entry}/comm") as f:
                    if f.read().strip().startswith(comm):
                        found.append(int(entry))
            except OSError:
                pass
    return found


def our_wineserver():
    """The wineserver of this run's prefix (other prefixes may have theirs
    on the machine): its folder is named after the prefix's device and
    inode."""
    st = os.stat(os.environ["WINEPREFIX"])
    suffix = f"server-{st.st_dev:x}-{st.st_ino:x}"
    for pid in comm_pids("wineserver"):
        try:
            if os.readlink(f"/proc/{pid}/cwd").endswith(suffix):
                return pid
        except OSError:
            pass
    return None


def cpu_ns(pid):
    total = 0
    try:
        tasks = os.listdir(f"/proc/{pid}/task")
    except OSError:
        return None
    for tid in tasks:
        try:
            with open(f"/proc/{pid}/task/{tid}/schedstat") as f:
                total += int(f.read().split()[0])
        except (OSError, ValueError, IndexError):
            pass
    return total


def memory_kb(pid):
    out = {}
    try:
        with open(f"/proc/{pid}/status") as f:
            for line in f:
                key, _, value = line.partition(":")
                if key in ("VmHWM", "VmRSS", "RssAnon", "RssFile", "RssShmem"):
                    out[key] = int(value.split()[0])
    except OSError:
        return None
    return out


def image_rss_kb(pid, name):
    """Resident kilobytes of the mappings of the file name (the exe image)."""
    total, current = 0, False
    try:
        with open(f"/proc/{pid}/smaps") as f:
            for line in f:
                if re.match(r"^[0-9a-f]+-[0-9a-f]+ ", line):
                    current = line.rstrip().lower().endswith(name.lower())
                elif current and line.startswith("Rss:"):
                    total += int(line.split()[1])
    except OSError:
        return None
    return total


class Sampler(threading.Thread):
    """Every period: (unix_us, Tarvel CPU ns, host CPU ns, wineserver CPU ns,
    bare sender CPU ns). With tarvel=False it samples the host and the
    wineserver alone."""

    def __init__(self, period_s=0.004, tarvel=True):
        super().__init__(daemon=True)
        self.period_s = period_s
        self.samples = []
        self.memory = {}
        self.image_kb = None
        self.want_tarvel = tarvel
        self.tarvel = self.host = self.server = self.sender = None
        self.want_sender = False
        self.stop = threading.Event()

    def run(self):
        last_memory = 0.0
        while not self.stop.is_set():
            if self.host is None or (self.want_tarvel and self.tarvel is None):
                # The newest: one left over from an earlier run is no part of this one.
                pids = exe_pids("Tarvel.exe") if self.want_tarvel else []
                if pids:
                    self.tarvel = pids[-1]
                hosts = exe_pids("cadhost.exe")
                if hosts:
                    self.host = hosts[-1]
                self.server = our_wineserver()
            if self.want_sender and self.sender is None:
                senders = exe_pids("bench-send.exe")
                if senders:
                    self.sender = senders[-1]
            if self.tarvel is not None or (not self.want_tarvel and self.host is not None):
                now = time.time_ns() // 1000
                t = cpu_ns(self.tarvel) if self.tarvel is not None else 0
                if t is None:  # Tarvel has ended
                    break
                h = cpu_ns(self.host) if self.host else None
                s = cpu_ns(self.server) if self.server else None
                b = cpu_ns(self.sender) if self.sender else None
                self.samples.append((now, t, h, s, b))
                if self.tarvel is not None and time.monotonic() - last_memory > 0.25:
                    last_memory = time.monotonic()
                    m = memory_kb(self.tarvel)
                    if m:
                        for k, v in m.items():
                            self.memory[k] = max(self.memory.get(k, 0), v)
                        img = image_rss_kb(self.tarvel, "tarvel.exe")
                        if img is not None:
                            self.image_kb = max(self.image_kb or 0, img)
            time.sleep(self.period_s)

    def at(self, unix_us, column=1):
        """Cumulative CPU ns of a process at a moment, interpolated."""
        s = [x for x in self.samples if x[column] is not None]
        if not s or unix_us < s[0][0] or unix_us > s[-1][0]:
            raise RuntimeError(f"no CPU samples around {unix_us} (samples {s[0][0] if s else None}.."
                               f"{s[-1][0] if s else None})")
        lo, hi = 0, len(s) - 1
        while hi - lo > 1:
            mid = (lo + hi) // 2
            if s[mid][0] <= unix_us:
                lo = mid
            else:
                hi = mid
        (t0, c0), (t1, c1) = (s[lo][0], s[lo][column]), (s[hi][0], s[hi][column])
        if t1 == t0:
            return c0
        return c0 + (c1 - c0) * (unix_us - t0) / (t1 - t0)

    def cpu_ms(self, a_us, b_us, column=1):
        return (self.at(b_us, column) - self.at(a_us, column)) / 1e6


# ---- runs -------------------------------------------------------------------

def programs():
    build = os.environ["TARVEL_BUILD_DIR"]
    return {
        "tarvel": os.path.join(build, "app", "Tarvel.exe"),
        "cadhost": os.path.join(build, "tools", "cadhost", "cadhost.exe"),
        "driver": os.path.join(build, "tools", "scenario", "tarvel-check.exe"),
        "clipholder": os.path.join(build, "tools", "clipholder", "clipholder.exe"),
        "sender": os.path.join(build, "tests", "bench", "bench-send.exe"),
    }


def report_of(path):
    try:
        with open(path, encoding="utf-8") as f:
            return dict(line.rstrip("\n").split("=", 1) for line in f if "=" in line)
    except OSError:
        return {}


def drive(picks_path, out, env_extra=None, host_args=("--think", "0", "--log-times"), at_ready=None):
    """One press of Start against the host with the pick script, by the
    driver's scenario mode, Tarvel left unwatched. at_ready(), when given,
    runs after the run while both programs are still up."""
    exe = programs()
    for f in ("driver.txt", "ready.txt", "go.txt", "commands.jsonl"):
        if os.path.exists(os.path.join(out, f)):
            os.remove(os.path.join(out, f))
    host = ["--picks", win_path(picks_path), "--log", win_path(os.path.join(out, "commands.jsonl")), *host_args]
    cmd = ["wine", exe["driver"], "scenario", "--report", win_path(os.path.join(out, "driver.txt")),
           "--ready", win_path(os.path.join(out, "ready.txt")), "--go", win_path(os.path.join(out, "go.txt")),
           "--cwd", win_path(out), "--tarvel", win_path(exe["tarvel"]), "--host", win_path(exe["cadhost"]),
           "--runs", "1", "--run-timeout", "600", "--no-watch"]
    for a in host:
        cmd += ["--host-arg", a]
    env = dict(os.environ)
    env.update(env_extra or {})
    with open(os.path.join(out, "wine.log"), "w") as log:
        proc = subprocess.Popen(cmd, stdin=subprocess.DEVNULL, stdout=log, stderr=log, env=env)
        deadline = time.monotonic() + 1200
        ready = False
        while proc.poll() is None and time.monotonic() < deadline:
            if not ready and os.path.exists(os.path.join(out, "ready.txt")):
                ready = True
                if at_ready:
                    at_ready()
                open(os.path.join(out, "go.txt"), "w").close()
            time.sleep(0.05)
        if proc.poll() is None:
            proc.kill()
    rep = report_of(os.path.join(out, "driver.txt"))
    if rep.get("result") != "ok":
        raise SystemExit(f"wine_bench: the run in {out} failed: {rep.get('error', 'no report')}")
    return rep


def write_picks(out, name, text):
    os.makedirs(out, exist_ok=True)
    path = os.path.join(out, name)
    with open(path, "w", encoding="utf-8") as f:
        f.write(text)
    return path


def wine_run(*args, timeout=120):
    done = subprocess.run(["wine", *args], stdin=subprocess.DEVNULL, capture_output=True, text=True, errors="replace",
                          timeout=timeout)
    return done


def pct(values, p):
    v = sorted(values)
    k = (len(v) - 1) * p / 100
    lo = int(k)
    hi = min(lo + 1, len(v) - 1)
    return v[lo] + (v[hi] - v[lo]) * (k - lo)


def detections(recs):
    """For every scripted answer that ended ID: (host back at the command
    prompt -> Tarvel's next command, -> the history copy), in ms."""
    out = []
    for i, r in enumerate(recs):
        if r["kind"] not in ("pick", "end") or r.get("source") != "script":
            continue
        idle = next((j for j in range(i + 1, len(recs)) if recs[j]["kind"] == "prompt"
                     and recs[j]["text"] == IDLE), None)
        if idle is None:
            continue
        cmd = next((j for j in range(idle + 1, len(recs)) if recs[j]["kind"] == "command"), None)
        copy = next((j for j in range(idle + 1, len(recs)) if recs[j]["kind"] == "copy-history"), None)
        if cmd is None:
            continue
        t_idle = recs[idle]["unix_us"]
        out.append({
            "next_command_ms": (recs[cmd]["unix_us"] - t_idle) / 1000,
            "history_copy_ms": (recs[copy]["unix_us"] - t_idle) / 1000 if copy is not None and copy < cmd else None,
            "copy_to_command_ms": (recs[cmd]["unix_us"] - recs[copy]["unix_us"]) / 1000
            if copy is not None and copy < cmd else None,
            "history_lines": recs[copy]["lines"] if copy is not None and copy < cmd else None,
        })
    return out


def full_run(out, sampler_period):
    os.makedirs(out, exist_ok=True)
    text, points = full_chain_picks()
    picks_path = os.path.join(out, "full-chain.picks")
    with open(picks_path, "w", encoding="utf-8") as f:
        f.write(text)
    sampler = Sampler(sampler_period)
    started_us = time.time_ns() // 1000
    sampler.start()
    sent = {}

    def bare_sender():
        # Tarvel's 498 commands again, from a bare sender, to the same host
        # window while it is still up after the run.
        texts = [r["text"] for r in records_of(os.path.join(out, "commands.jsonl"))
                 if r["kind"] == "command" and r["text"].startswith("dimlinear")]
        texts_path = os.path.join(out, "dimlinear-texts.txt")
        with open(texts_path, "w", encoding="utf-8", newline="") as f:
            f.write("".join(t + "\n" for t in texts))
        sampler.want_sender = True
        times_path = os.path.join(out, "bare-send-times.txt")
        done = wine_run(programs()["sender"], "--texts", win_path(texts_path), "--times", win_path(times_path),
                        timeout=600)
        if done.returncode != 0:
            raise SystemExit(f"wine_bench: bench-send failed ({done.returncode}): {done.stdout}{done.stderr}")
        sent.update(kv.split("=") for kv in done.stdout.split())
        sent["count"] = len(texts)
        with open(times_path) as f:
            sent["times"] = [int(line) for line in f if line.strip()]

    # The host does not repaint its drawing: what a command costs it stays
    # the same for Tarvel's 498 and the bare sender's 498 after them.
    drive(picks_path, out, host_args=("--think", "0", "--log-times", "--no-redraw"), at_ready=bare_sender)
    sampler.stop.set()
    sampler.join()
    ended_us = time.time_ns() // 1000
    recs = records(out)
    with open(os.path.join(out, "cpu-samples.csv"), "w") as f:
        f.write("unix_us,tarvel_cpu_ns,host_cpu_ns,wineserver_cpu_ns,sender_cpu_ns\n")
        for row in sampler.samples:
            f.write(",".join("" if v is None else str(v) for v in row) + "\n")

    # The two clocks must be the same one: every host record falls inside
    # the run as this process saw it.
    stamps = [r["unix_us"] for r in recs if "unix_us" in r]
    if len(stamps) != len(recs) or not (started_us <= min(stamps) and max(stamps) <= ended_us):
        raise SystemExit("wine_bench: the host's time stamps do not lie inside the run: "
                         f"{min(stamps)}..{max(stamps)} against {started_us}..{ended_us}")
    if sampler.tarvel is None or len(sampler.samples) < 100:
        raise SystemExit("wine_bench: Tarvel.exe's process was not found under /proc")

    # The records of Tarvel's run; the bare sender's commands come after.
    first_bare = int(sent["first_us"])
    recs = [r for r in recs if r["unix_us"] < first_bare]
    cmds = [r for r in recs if r["kind"] == "command"]
    dims = [i for i, r in enumerate(recs) if r["kind"] == "command" and r["text"].startswith("dimlinear")]
    drawn = [r for r in recs if r["kind"] == "dimension"]
    if len(dims) != len(SPANS) or len(drawn) != len(SPANS):
        raise SystemExit(f"wine_bench: expected {len(SPANS)} dimlinear commands and dimensions, got "
                         f"{len(dims)} and {len(drawn)}")
    measured = sorted(round(d["measurement"]) for d in drawn)
    if measured != sorted(SPANS):
        raise SystemExit("wine_bench: the drawn dimensions do not measure the chain's spans")

    det = detections(recs)
    picks = [r for r in recs if r["kind"] == "pick" and r.get("source") == "script"]
    if len(picks) != points + 1:  # every point of the chain and the placement
        raise SystemExit(f"wine_bench: {len(picks)} scripted picks, expected {points + 1}")
    placement = picks[-1]
    last_dim = recs[dims[-1]]
    # Composition and hand-over: from the host's answer to the last
    # command before the first dimlinear (the Ctrl-C that ends the reading
    # of the placement point) to the last dimlinear received.
    before_first = max(i for i in range(dims[0]) if recs[i]["kind"] == "command")
    t_compose0 = recs[before_first]["unix_us"]
    t_compose1 = last_dim["unix_us"]

    wait = next(r for r in recs if r["kind"] == "wait")
    answered = next(r for r in recs if r["kind"] == "pick" and r["unix_us"] > wait["unix_us"])
    w0, w1 = wait["unix_us"] + 500_000, answered["unix_us"] - 500_000

    ms = [d["next_command_ms"] for d in det]
    copy_ms = [d["history_copy_ms"] for d in det if d["history_copy_ms"] is not None]
    copy_cmd = [d["copy_to_command_ms"] for d in det if d["copy_to_command_ms"] is not None]
    first, last = det[:50], det[-50:]
    wall_s = (w1 - w0) / 1e6
    res = {
        "picks": len(picks),
        "commands_received": len(cmds),
        "dimlinear_commands": len(dims),
        "pick_detect_ms_p50": pct(ms, 50),
        "pick_detect_ms_p90": pct(ms, 90),
        "pick_detect_ms_max": max(ms),
        "pick_detect_ms_min": min(ms),
        "pick_detect_ms_first50_mean": statistics.mean(d["next_command_ms"] for d in first),
        "pick_detect_ms_last50_mean": statistics.mean(d["next_command_ms"] for d in last),
        "idle_to_history_copy_ms_p50": pct(copy_ms, 50),
        "history_copy_to_next_command_ms_p50": pct(copy_cmd, 50),
        "history_copy_to_next_command_ms_max": max(copy_cmd),
        "history_lines_max": max(d["history_lines"] or 0 for d in det),
        "placement_to_last_dimlinear_ms": (last_dim["unix_us"] - placement["unix_us"]) / 1000,
        "compose_send_wall_ms": (t_compose1 - t_compose0) / 1000,
        "compose_send_cpu_ms": sampler.cpu_ms(t_compose0, t_compose1),
        "compose_send_host_cpu_ms": sampler.cpu_ms(t_compose0, t_compose1, 2),
        # Ordering the points and restoring the window, before the first
        # command; then each command's share of the hand-over.
        "compose_cpu_before_first_dimlinear_ms": sampler.cpu_ms(t_compose0, recs[dims[0]]["unix_us"]),
        "send_cpu_per_dimlinear_us": sampler.cpu_ms(recs[dims[0]]["unix_us"], t_compose1) * 1000 / (len(dims) - 1),
        # Like for like: the same stretch of commands (the 100th to the
        # 400th) of Tarvel and of the bare sender, away from the restore of
        # Tarvel's window before them and the end after.
        "send_cpu_per_command_mid_us": sampler.cpu_ms(recs[dims[MID[0]]]["unix_us"],
                                                      recs[dims[MID[1]]]["unix_us"]) * 1000 / (MID[1] - MID[0]),
        "bare_send_cpu_per_command_mid_us": sampler.cpu_ms(sent["times"][MID[0]], sent["times"][MID[1]], 4) * 1000 /
        (MID[1] - MID[0]),
        "send_host_cpu_per_dimlinear_us":
            sampler.cpu_ms(recs[dims[0]]["unix_us"], t_compose1, 2) * 1000 / (len(dims) - 1),
        # The bare sender: the same texts to the same window, nothing else.
        "bare_send_cpu_per_command_us":
            sampler.cpu_ms(int(sent["first_us"]), int(sent["last_us"]), 4) * 1000 / int(sent["sent"]),
        "bare_send_host_cpu_per_command_us":
            sampler.cpu_ms(int(sent["first_us"]), int(sent["last_us"]), 2) * 1000 / int(sent["sent"]),
        "bare_send_wall_ms": (int(sent["last_us"]) - int(sent["first_us"])) / 1000,
        "wait_window_s": wall_s,
        "wait_cpu_percent": sampler.cpu_ms(w0, w1) / (wall_s * 1000) * 100,
        "wait_cpu_percent_wineserver": (sampler.cpu_ms(w0, w1, 3) / (wall_s * 1000) * 100)
        if sampler.samples[-1][3] is not None else -1,
        "wait_cpu_percent_host": sampler.cpu_ms(w0, w1, 2) / (wall_s * 1000) * 100,
        "run_tarvel_cpu_s": (sampler.samples[-1][1] - sampler.samples[0][1]) / 1e9,
        "peak_working_set_mb": sampler.memory.get("VmHWM", 0) / 1024,
        "rss_anon_peak_mb": sampler.memory.get("RssAnon", 0) / 1024,
        "rss_file_peak_mb": sampler.memory.get("RssFile", 0) / 1024,
        "tarvel_image_rss_mb": (sampler.image_kb or 0) / 1024,
        "sampler_period_ms": sampler_period * 1000,
        "cpu_samples": len(sampler.samples),
    }
    res["send_ratio"] = res["send_cpu_per_command_mid_us"] / res["bare_send_cpu_per_command_mid_us"]
    return res


def idle_host(out, seconds=10.0, sampler_period=0.004):
    """The host waiting alone, nothing polling it: what the wineserver and
    the host cost then, the baseline of a pick that waits."""
    os.makedirs(out, exist_ok=True)
    log = os.path.join(out, "idle-host.jsonl")
    if os.path.exists(log):
        os.remove(log)
    sampler = Sampler(sampler_period, tarvel=False)
    sampler.start()
    proc = subprocess.Popen(["wine", programs()["cadhost"], "--log", win_path(log), "--log-times"],
                            stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    try:
        deadline = time.monotonic() + 30
        while time.monotonic() < deadline and not any(r["kind"] == "prompt" for r in records_of(log)):
            time.sleep(0.1)
        start = next((r for r in records_of(log) if r["kind"] == "start"), None)
        if start is None:
            raise SystemExit("wine_bench: the host alone did not start")
        time.sleep(1.0)  # settled
        t0 = time.time_ns() // 1000
        time.sleep(seconds)
        t1 = time.time_ns() // 1000
        time.sleep(0.1)  # a sample after the window's end
    finally:
        sampler.stop.set()
        sampler.join()
        if start := next((r for r in records_of(log) if r["kind"] == "start"), None):
            wine_run("taskkill", "/f", "/pid", str(start["pid"]), timeout=30)
        try:
            proc.wait(timeout=30)
        except subprocess.TimeoutExpired:
            proc.kill()
    wall_ms = (t1 - t0) / 1000
    return {
        "idle_host_window_s": wall_ms / 1000,
        "idle_host_wineserver_percent": sampler.cpu_ms(t0, t1, 3) / wall_ms * 100,
        "idle_host_cpu_percent": sampler.cpu_ms(t0, t1, 2) / wall_ms * 100,
    }


def records_of(path):
    try:
        with open(path, encoding="utf-8") as f:
            return [json.loads(line) for line in f if line.strip().endswith("}")]
    except OSError:
        return []


def pick_work_ms(recs):
    """Per accepted pick: from the prompt read that first saw the idle
    prompt after the host's answer to the next command Tarvel sent (the
    history copy, the user's clipboard saved and put back, the LASTPOINT
    query), in ms."""
    out = []
    for i, r in enumerate(recs):
        if r["kind"] != "identified":
            continue
        seen = next((j for j in range(i + 1, len(recs)) if recs[j]["kind"] == "read"
                     and recs[j]["text"] == IDLE), None)
        if seen is None:
            continue
        cmd = next((j for j in range(seen + 1, len(recs)) if recs[j]["kind"] == "command"), None)
        if cmd is not None:
            out.append((recs[cmd]["unix_us"] - recs[seen]["unix_us"]) / 1000)
    return out


def clipboard_run(out, picks=30):
    """A chain of `picks` points, once with the user's clipboard empty and
    once with an 8 MB bitmap and 100 small formats on it."""
    text, _ = full_chain_picks(wait_ms=0, spans=[100 + i for i in range(1, picks - 1)])
    res = {}
    for name, mode in (("empty", "--clear"), ("8mb", "--big")):
        sub = os.path.join(out, name)
        picks_path = write_picks(sub, "chain.picks", text)
        done = wine_run(programs()["clipholder"], mode)
        if done.returncode != 0:
            raise SystemExit(f"wine_bench: clipholder {mode} failed: {done.stdout}{done.stderr}")
        drive(picks_path, sub, host_args=("--think", "0", "--log-times", "--log-reads"))
        ms = pick_work_ms(records(sub))
        if len(ms) < picks // 2:
            raise SystemExit(f"wine_bench: {len(ms)} picks timed in {sub}")
        res[f"pick_work_ms_clipboard_{name}_p50"] = pct(ms, 50)
        res[f"pick_work_ms_clipboard_{name}_max"] = max(ms)
    wine_run(programs()["clipholder"], "--clear")
    res["pick_clipboard_8mb_extra_ms"] = (res["pick_work_ms_clipboard_8mb_p50"] -
                                          res["pick_work_ms_clipboard_empty_p50"])
    return res


RELAY = ["user32.EnumWindows", "user32.EnumChildWindows", "user32.EnumThreadWindows",
         "user32.FindWindowA", "user32.FindWindowW", "user32.FindWindowExA", "user32.FindWindowExW",
         "kernel32.Sleep", "kernelbase.Sleep", "user32.OpenClipboard",
         "user32.SendMessageTimeoutA", "user32.SendMessageTimeoutW"]
ENUMS = ("EnumWindows", "EnumChildWindows", "EnumThreadWindows", "FindWindowA", "FindWindowW",
         "FindWindowExA", "FindWindowExW")


def reg(*args):
    subprocess.run(["wine", "reg", *args], stdin=subprocess.DEVNULL, capture_output=True, check=True)


def trace_run(out):
    """A short chain under Wine's relay trace of the window searches, the
    sleeps and the sends: the calls between two sleeps of the poll period
    are one poll."""
    os.makedirs(out, exist_ok=True)
    text, _ = full_chain_picks(wait_ms=4000, spans=[500, 500, 300, 700, 500], wait_before=2)
    picks_path = os.path.join(out, "trace.picks")
    with open(picks_path, "w", encoding="utf-8") as f:
        f.write(text)
    key = r"HKCU\Software\Wine\Debug"
    reg("add", key, "/v", "RelayInclude", "/t", "REG_SZ", "/d", ";".join(RELAY), "/f")
    try:
        drive(picks_path, out, {"WINEDEBUG": "+pid,+relay"})
    finally:
        reg("delete", key, "/v", "RelayInclude", "/f")
    return count_polls(out)


def count_polls(out):
    with open(os.path.join(out, "driver.txt"), encoding="utf-8") as f:
        pid = int(dict(l.rstrip("\n").split("=", 1) for l in f if "=" in l)["tarvel_pid"])
    prefix = f"{pid:04x}:"
    polls = []  # per poll: [enumerations, pick finished here]
    call = re.compile(r"^[0-9a-f]+:[0-9a-f]+:Call (?:[A-Za-z0-9_]+)\.([A-Za-z0-9_]+)\(([^)]*)\)")
    with open(os.path.join(out, "wine.log"), encoding="utf-8", errors="replace") as f:
        for line in f:
            if not line.startswith(prefix):
                continue
            m = call.match(line)
            if not m:
                continue
            name, args = m.group(1), m.group(2).split(",")
            if name == "Sleep":
                if int(args[0], 16) == 200:
                    polls.append([0, False])
                continue
            if not polls:
                continue
            if name in ENUMS:
                polls[-1][0] += 1
            elif name == "OpenClipboard" or (name.startswith("SendMessageTimeout") and int(args[1], 16) == 0x4A):
                polls[-1][1] = True
    waiting = [p for p in polls if not p[1]]
    finishing = [p for p in polls if p[1]]
    if len(waiting) < 10:
        raise SystemExit(f"wine_bench: the trace holds {len(waiting)} waiting polls; the relay trace did not work")
    return {
        "traced_polls": len(polls),
        "traced_waiting_polls": len(waiting),
        "enumerations_per_poll": sum(p[0] for p in waiting) / len(waiting),
        "enumerations_per_poll_max": max(p[0] for p in waiting),
        "enumerations_per_finished_pick": sum(p[0] for p in finishing) / max(1, len(finishing)),
    }


def startup_rows(exe, tarvel, work, runs):
    cmd = ["wine", exe, "--tarvel", win_path(tarvel), "--runs", str(runs), "--cwd", win_path(work)]
    done = subprocess.run(cmd, stdin=subprocess.DEVNULL, capture_output=True, text=True, timeout=900)
    if done.returncode != 0:
        raise SystemExit(f"wine_bench: bench-startup failed ({done.returncode}):\n{done.stdout}{done.stderr}")
    return done.stdout, [dict(kv.split("=") for kv in line.split())
                         for line in done.stdout.splitlines() if line.startswith("run=")]


def startup(build, out, runs=21):
    """Tarvel's start-up and, alike, a bare window program's, timed by turns
    in one bench-startup run; the first run of each warms the prefix's
    caches and is reported on its own."""
    tarvel = os.path.join(build, "app", "Tarvel.exe")
    exe = os.path.join(build, "tests", "bench", "bench-startup.exe")
    work = os.path.join(out, "startup-cwd")
    os.makedirs(work, exist_ok=True)
    text, all_rows = startup_rows(exe, tarvel, work, runs)
    rows = [r for r in all_rows if r["program"] == "tarvel"]
    base = [r for r in all_rows if r["program"] == "baseline"]
    with open(os.path.join(out, "startup.txt"), "w", encoding="utf-8") as f:
        f.write(text)
    warm = rows[1:]
    ms = [float(r["startup_ms"]) for r in warm]
    base_ms = [float(r["startup_ms"]) for r in base[1:]]
    return {
        "startup_runs": len(warm),
        "startup_ms": statistics.median(ms),
        "startup_ms_max": max(ms),
        "startup_ms_cold": float(rows[0]["startup_ms"]),
        "startup_baseline_ms": statistics.median(base_ms),
        "startup_peak_working_set_mb": statistics.median(int(r["peak_ws_kb"]) for r in warm) / 1024,
        "startup_baseline_peak_working_set_mb": statistics.median(int(r["peak_ws_kb"]) for r in base[1:]) / 1024,
        "exe_mb": os.path.getsize(tarvel) / (1024 * 1024),
    } | ratios(statistics.median(ms), statistics.median(base_ms),
               statistics.median(int(r["peak_ws_kb"]) for r in warm) / 1024,
               statistics.median(int(r["peak_ws_kb"]) for r in base[1:]) / 1024)


def ratios(ms, base_ms, ws_mb, base_ws_mb):
    return {"startup_ratio": ms / base_ms, "startup_ws_over_bare_mb": ws_mb - base_ws_mb}


def native_results(path):
    if not path or not os.path.exists(path):
        return {}
    with open(path) as f:
        data = json.load(f)
    names = {
        "BM_OrderPoints_WorstOrder": "order_points_worst_us",
        "BM_SendChainedDimensions/all_equal": "send_chain_all_equal_us",
        "BM_SendChainedDimensions/all_different": "send_chain_all_different_us",
        "BM_SendChainedDimensions/alternating": "send_chain_alternating_us",
        "BM_CutFieldParseCoordinate": "cut_parse_per_text_ns",
    }
    scale = {"ns": 1e-3, "us": 1.0, "ms": 1e3}
    res = {}
    for b in data["benchmarks"]:
        key = names.get(b["name"])
        if not key or b.get("run_type", "iteration") != "iteration":
            continue
        us = b["cpu_time"] * scale[b["time_unit"]]
        res[key] = us * 1000 if key.endswith("_ns") else us
    return res


REPORT = """Tarvel benchmarks ({when}; {machine})

Every figure under Wine stands beside a baseline measured in this same run:
what the machine and Wine cost for the same work without Tarvel. Read the
ratio or the difference, not the absolute figure: on a shared machine the
absolute ones move from run to run, the ratios much less.

                                            figure     baseline     ratio/diff   target
Start-up, median of {startup_runs} warm runs (bare window program alike)
  process start -> main window visible   {startup_ms:8.1f} ms  {startup_baseline_ms:8.1f} ms  x {startup_ratio:6.2f}     <= x 1.2
  working set then (peak)                {startup_peak_working_set_mb:8.1f} MB  {startup_baseline_peak_working_set_mb:8.1f} MB  + {startup_ws_over_bare_mb:5.1f} MB   <= +2 MB
     cold start {startup_ms_cold:.1f} ms; slowest warm start {startup_ms_max:.1f} ms

498 dimlinear commands handed over (bare sender: the same texts, message,
flags and host window, nothing else)
  CPU a command                          {send_cpu_per_dimlinear_us:8.1f} us  {bare_send_cpu_per_command_us:8.1f} us  x {send_ratio:6.2f}     <= x 1.1
     host CPU a command {send_host_cpu_per_dimlinear_us:.1f} us beside Tarvel, {bare_send_host_cpu_per_command_us:.1f} us beside the bare sender
     Tarvel, all 498: {compose_send_cpu_ms:.1f} ms CPU ({compose_cpu_before_first_dimlinear_ms:.1f} ms of it ordering and restoring the window),
     {compose_send_wall_ms:.1f} ms wall; the bare sender {bare_send_wall_ms:.1f} ms wall

A pick left unanswered for {wait_window_s:.1f} s (host waiting alone, nothing polling it: {idle_host_window_s:.1f} s)
  wineserver CPU                         {wait_cpu_percent_wineserver:8.3f} %   {idle_host_wineserver_percent:8.3f} %   + {wait_wineserver_due_to_tarvel_percent:6.3f} %    <= +0.5 %
  Tarvel CPU                             {wait_cpu_percent:8.3f} %                           <= 0.2 %
     host CPU {wait_cpu_percent_host:.3f} % (alone {idle_host_cpu_percent:.3f} %)

One pick's work, from the prompt read that sees the host idle to Tarvel's
next command (history copy, the user's clipboard kept, LASTPOINT read)
  8 MB bitmap + 100 formats on the clipboard {pick_work_ms_clipboard_8mb_p50:6.1f} ms  {pick_work_ms_clipboard_empty_p50:8.1f} ms  + {pick_clipboard_8mb_extra_ms:6.1f} ms   <= +50 ms
     (medians; slowest {pick_work_ms_clipboard_8mb_max:.1f} ms and {pick_work_ms_clipboard_empty_max:.1f} ms; the baseline: an empty clipboard)

Whole run: {picks} picks against cadhost --think 0
  pick detected (host idle -> next command) p50 {pick_detect_ms_p50:.1f} ms, p90 {pick_detect_ms_p90:.1f} ms, max {pick_detect_ms_max:.1f} ms (<= 210 ms; the 200 ms poll)
     history copy -> next command p50 {history_copy_to_next_command_ms_p50:.1f} ms, max {history_copy_to_next_command_ms_max:.1f} ms ({history_lines_max} history lines at most)
  placement pick -> last dimlinear {placement_to_last_dimlinear_ms:.1f} ms
  window enumerations per waiting poll (traced) {enumerations_per_poll:.2f} (target 0; {traced_waiting_polls} polls; {enumerations_per_finished_pick:.2f} per finished pick)
  peak working set (VmHWM) {peak_working_set_mb:.1f} MB: anonymous {rss_anon_peak_mb:.1f} MB, file-backed {rss_file_peak_mb:.1f} MB, Tarvel.exe image {tarvel_image_rss_mb:.2f} MB
  Tarvel.exe {exe_mb:.2f} MB (< 2 MB)

Native core (Google Benchmark, CPU time per call, optimised build)
  OrderPoints, 497 intermediate points in the worst order   {order_points_worst_us:9.1f} us
  SendChainedDimensions, 498 spans all equal (1 command)    {send_chain_all_equal_us:9.1f} us
  SendChainedDimensions, 498 spans all different (498)      {send_chain_all_different_us:9.1f} us
  SendChainedDimensions, 498 spans alternating (498)        {send_chain_alternating_us:9.1f} us
  CutField + ParseCoordinate, one LASTPOINT text (3 fields) {cut_parse_per_text_ns:9.1f} ns
"""


def machine():
    try:
        with open("/proc/cpuinfo") as f:
            model = next((l.split(":", 1)[1].strip() for l in f if l.startswith("model name")), "?")
    except OSError:
        model = "?"
    wine = subprocess.run(["wine", "--version"], capture_output=True, text=True).stdout.strip()
    return f"{model}, {os.cpu_count()} cores, {wine}"


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--out", required=True)
    ap.add_argument("--build", default=os.path.join(ROOT, "build", "windows"))
    ap.add_argument("--native")
    ap.add_argument("--sampler-ms", type=float, default=4)
    ap.add_argument("--only", choices=("startup", "idle", "trace", "full", "clipboard"),
                    help="one part, printed (for working on it)")
    args = ap.parse_args()
    os.makedirs(args.out, exist_ok=True)
    os.environ["TARVEL_BUILD_DIR"] = args.build

    parts = {
        "startup": lambda: startup(args.build, args.out),
        "idle": lambda: idle_host(os.path.join(args.out, "idle")),
        "trace": lambda: trace_run(os.path.join(args.out, "trace")),
        "full": lambda: full_run(os.path.join(args.out, "full"), args.sampler_ms / 1000),
        "clipboard": lambda: clipboard_run(os.path.join(args.out, "clipboard")),
    }
    if args.only:
        print(json.dumps(parts[args.only](), indent=1))
        return
    res = {}
    res.update(native_results(args.native))
    for name in ("startup", "idle", "trace", "full", "clipboard"):
        res.update(parts[name]())
    res["wait_wineserver_due_to_tarvel_percent"] = (res["wait_cpu_percent_wineserver"] -
                                                     res["idle_host_wineserver_percent"])
    res = {k: (round(v, 3) if isinstance(v, float) else v) for k, v in res.items()}
    with open(os.path.join(args.out, "results.json"), "w") as f:
        json.dump(res, f, indent=1, sort_keys=True)
        f.write("\n")
    info = machine()
    text = REPORT.format(when=time.strftime("%Y-%m-%d %H:%M UTC", time.gmtime()), machine=info,
                         **{k: res.get(k, float("nan")) for k in fields(REPORT)})
    with open(os.path.join(args.out, "report.txt"), "w", encoding="utf-8") as f:
        f.write(text)
    print(text)


def fields(template):
    return {m for m in re.findall(r"{([a-z0-9_]+)", template) if m not in ("when", "machine")}


if __name__ == "__main__":
    main()
