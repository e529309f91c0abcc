#!/usr/bin/env python3
"""Turns the raw output of one benchmark of bench/run_all.sh into its result lines:
name, measured values, ratio, target, PASS or MISS.

    report.py download WORKDIR ROUNDS BODY_SIZE [AGENT...]
    report.py copy WORKDIR
    report.py startup WORKDIR ROUNDS [AGENT...]

Lines that begin with "#" are the traces and the problems met, for the reader.
"""
import re
import statistics
import sys

MB = 1024 * 1024


def verdict(ok):
    return "PASS" if ok else "MISS"


def read(path):
    try:
        with open(path, encoding="latin-1") as f:
            return f.read()
    except OSError:
        return ""


def parse_watch_log(text):
    """What an agent_watch.exe log says beyond the trace: memory, exit code, saved file."""
    memory, exit_code = {}, None
    for line in text.splitlines():
        if line.startswith("MEM "):
            memory = {k: int(v) for k, v in (f.split("=") for f in line.split()[1:])}
        elif line.startswith("EXIT "):
            exit_code = int(line.split()[2])
    return memory, exit_code, "saved ok" in text


def parse_trace(text):
    """The runs of a trace file: {pid: [(ms, event, value)]}, in the order written."""
    runs = {}
    for line in text.splitlines():
        parts = line.split(" ")
        if len(parts) < 3 or not parts[0].isdigit():
            continue
        value = None
        if len(parts) > 3 and parts[-1].lstrip("-").isdigit():
            value = int(parts[-1])
            name = " ".join(parts[2:-1])
        else:
            name = " ".join(parts[2:])
        runs.setdefault(int(parts[0]), []).append((int(parts[1]) / 1000.0, name, value))
    return runs


def first_times(events):
    times = {}
    for ms, name, _ in events:
        times.setdefault(name, ms)
    return times


def phases(events, start, end):
    """The trace between two events as (event, ms since the previous one) rows."""
    times = first_times(events)
    rows, previous, inside = [], None, False
    for ms, name, value in events:
        if name == start:
            inside = True
        if not inside or name == "tick":
            continue
        label = name if value is None else f"{name} {value}"
        rows.append((label, 0.0 if previous is None else ms - previous, ms - times[start]))
        previous = ms
        if name == end:
            break
    return rows


def print_phases(title, rows):
    print(f"# {title}")
    for name, step, total in rows:
        print(f"#   {name:<26} +{step:9.1f} ms  {total:9.1f} ms")


DOWNLOAD_START, DOWNLOAD_END = "question answered", "file renamed"


def download(work, rounds, body_size, agents):
    mini_ms, mini_peaks, problems = [], [], []
    figures = {who: {"ms": [], "gaps": [], "ticks": 0, "readouts": [], "peaks": [], "trace": None} for who in agents}
    for r in range(1, rounds + 1):
        for who in agents:
            f = figures[who]
            memory, code, saved = parse_watch_log(read(f"{work}/{who}-{r}.log"))
            runs = parse_trace(read(f"{work}/{who}-{r}.trace"))
            events = next(iter(runs.values()), [])
            times = first_times(events)
            if code != 0 or not saved or DOWNLOAD_START not in times or DOWNLOAD_END not in times:
                problems.append(f"{who} round {r}: exit={code} saved={saved} traced={sorted(times)}")
                continue
            f["ms"].append(times[DOWNLOAD_END] - times[DOWNLOAD_START])
            if f["trace"] is None or f["ms"][-1] <= sorted(f["ms"])[len(f["ms"]) // 2]:
                f["trace"] = events
            if memory:
                f["peaks"].append(memory["peak_working_set"])
            # The amount during the read-out: the ticks that show data held, and the longest
            # wait between two of them (or from the start of the read-out to the first, and from
            # the last to its end).
            begin, end = times.get("wait over"), times.get("read-out over")
            if begin is not None and end is not None:
                ticks = [ms for ms, name, value in events if name == "tick" and begin <= ms <= end]
                marks = [begin] + ticks + [end]
                f["gaps"].extend(b - a for a, b in zip(marks, marks[1:]))
                f["ticks"] += len(ticks)
                f["readouts"].append(end - begin)

        memory, code, saved = parse_watch_log(read(f"{work}/mini-{r}.log"))
        runs = parse_trace(read(f"{work}/mini-{r}.trace"))
        times = first_times(next(iter(runs.values()), []))
        if code != 0 or not saved or "file closed" not in times:
            problems.append(f"baseline round {r}: exit={code} saved={saved} traced={sorted(times)}")
            continue
        mini_ms.append(times["file closed"])
        if memory:
            mini_peaks.append(memory["peak_working_set"])

    for p in problems:
        print(f"# download: {p}")
    if not mini_ms:
        print("download        no complete run of the baseline: see above  MISS")
        return
    b = statistics.median(mini_ms)
    for who in agents:
        f = figures[who]
        label = "" if who == "agent" else f"-{who}"
        if not f["ms"]:
            print(f"download{label:<8} no complete run: see above  MISS")
            continue
        a = statistics.median(f["ms"])
        ratio = a / b
        print(f"download{label:<8}agent={a / 1000:.2f}s baseline={b / 1000:.2f}s (medians of {len(f['ms'])}/{len(mini_ms)}) "
              f"ratio={ratio:.2f} target<=1.50 {verdict(ratio <= 1.5 and not problems)}")
        if f["readouts"]:
            longest = max(f["gaps"])
            span = statistics.mean(f["readouts"])
            short = " (each shorter than the timer's second: no tick fell in one)" if f["ticks"] == 0 else ""
            print(f"download-timer{label} {f['ticks']} amount updates over read-outs of {span / 1000:.2f}s on average{short}, "
                  f"longest wait {longest / 1000:.2f}s target<=1.50s/tick {verdict(longest <= 1500)}")
        if f["peaks"]:
            peak = max(f["peaks"])
            limit = 2.2 * body_size + 10 * MB
            base = f" (baseline's {max(mini_peaks) / MB:.1f}MB)" if mini_peaks else ""
            print(f"download-memory{label} peak working set {peak / MB:.1f}MB{base} body={body_size / MB:.1f}MB "
                  f"ratio={peak / body_size:.2f}xbody target<=2.2xbody+10MB={limit / MB:.1f}MB {verdict(peak <= limit)}")
        if f["trace"]:
            start = first_times(f["trace"])[DOWNLOAD_START]
            before = [(label_of(n, v), 0, ms - start) for ms, n, v in f["trace"] if ms < start and n != "tick"]
            print_phases(f"download trace of {who} (a median run), from the Yes click (before it: negative)",
                         before + phases(f["trace"], DOWNLOAD_START, DOWNLOAD_END))
    runs = parse_trace(read(f"{work}/mini-1.trace"))
    if runs:
        events = next(iter(runs.values()))
        print_phases("download trace of the baseline, from its process start", [(label_of(n, v), 0, ms) for ms, n, v in events])


def label_of(name, value):
    return name if value is None else f"{name} {value}"


def copy(work):
    text = read(f"{work}/copy.out")
    medians = dict(re.findall(r"median (\S+) ms=[\d.]+ MBps=([\d.]+)", text))
    if "CopyFileA+flush" not in medians or "orv::CopyFile" not in medians:
        print(f"# copy: {text.strip()[-500:]!r}")
        print("copy            no complete run  MISS")
        return
    f, a = float(medians["CopyFileA+flush"]), float(medians["orv::CopyFile"])
    s = medians.get("CopyFileA")
    alone = f" (CopyFileA alone={float(s):.0f}MB/s)" if s else ""
    ratio = a / f
    print(f"copy            orv::CopyFile={a:.0f}MB/s CopyFileA+flush={f:.0f}MB/s{alone} (medians of 3, 200MB) "
          f"ratio={ratio:.2f} target>=0.95 {verdict(ratio >= 0.95)}")


STARTUP_END = "shell open returned"


def startup(work, rounds, agents):
    text = read(f"{work}/startup.out")
    programs = agents + ["baseline"]
    pids = {who: [] for who in programs}
    problems = []
    for prog, run, pid, code in re.findall(r"prog (\d) run (\d+) pid=(\d+) ms=[\d.]+ exit=(\d+)", text):
        who = programs[int(prog) - 1]
        if code != "0":
            problems.append(f"{who} run {run} exit={code}")
        pids[who].append(int(pid))
    opened = [line for line in read(f"{work}/opened.log").splitlines() if line.strip()]
    expected = "C:\\orvbench\\app\\ORV.mde"
    if len(opened) != len(programs) * rounds or any(line != expected for line in opened):
        problems.append(f"the shell opened {len(opened)} files, expected {len(programs) * rounds} times {expected}")
    if "TIMEOUT" in text:
        problems.append("a run timed out")
    runs = parse_trace(read(f"{work}/startup.trace"))
    spans, traces = {}, {}
    for who in programs:
        spans[who] = []
        timed = []
        for pid in pids[who]:
            times = first_times(runs.get(pid, []))
            if STARTUP_END in times:
                spans[who].append(times[STARTUP_END])
                timed.append((times[STARTUP_END], pid))
            else:
                problems.append(f"{who}: no '{STARTUP_END}' in the trace of process {pid}")
        if timed:
            traces[who] = runs[sorted(timed)[len(timed) // 2][1]]  # the trace of a median run
    for p in problems:
        print(f"# startup: {p}")
    if not spans["baseline"]:
        print("startup         no complete run of the baseline  MISS")
        return
    b = statistics.median(spans["baseline"])
    for who in agents:
        label = "" if who == "agent" else f"-{who}"
        if not spans[who]:
            print(f"startup{label:<9} no complete run  MISS")
            continue
        a = statistics.median(spans[who])
        print(f"startup{label:<9}agent={a:.0f}ms baseline={b:.0f}ms (medians of {len(spans[who])}) "
              f"ratio={a / b:.2f} difference={a - b:+.0f}ms target<=+20ms {verdict(a - b <= 20 and not problems)}")
        if who in traces:
            print_phases(f"start-up trace of {who} (a median run), from its process start", [(label_of(n, v), 0, ms) for ms, n, v in traces[who]])
    if "baseline" in traces:
        print_phases("start-up trace of the baseline (a median run)", [(label_of(n, v), 0, ms) for ms, n, v in traces["baseline"]])


def main():
    kind, work = sys.argv[1], sys.argv[2]
    if kind == "download":
        download(work, int(sys.argv[3]), int(sys.argv[4]), sys.argv[5:] or ["agent"])
    elif kind == "copy":
        copy(work)
    elif kind == "startup":
        startup(work, int(sys.argv[3]), sys.argv[4:] or ["agent"])
    else:
        sys.exit(f"report.py: unknown benchmark {kind}")


if __name__ == "__main__":
    main()
