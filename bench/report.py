#!/usr/bin/env python3
"""Turns the raw output of one benchmark of bench/run_all.sh into its result lines:
build, name, measured values, ratio, target, PASS or MISS.

    report.py BUILD download WORKDIR ROUNDS BODY_SIZE [AGENT...]
    report.py BUILD copy WORKDIR
    report.py BUILD startup WORKDIR ROUNDS [AGENT...]
    report.py summary LOG...

BUILD names the build measured ("64-bit", "32-bit") at the start of every line, so that the lines
of both builds in one log are told apart. Lines that begin with "#" are the traces and the
problems met, for the reader. "summary" reads the logs of several runs of bench/run_all.sh and
prints, for each build and figure, the median over the runs and the spread (lowest and highest).
"""
import re
import statistics
import sys

MB = 1024 * 1024
BUILD = ""  # set by main: the build every line names

# The targets, each figure against its baseline of the same run.
DOWNLOAD_RATIO = 1.10       # the download's time, at most this times the baseline's
MEMORY_PER_BODY = 1.05      # the download's peak working set, at most the baseline's plus this times the body
STARTUP_MS = 5              # the start-up, at most this many milliseconds over the baseline
COPY_RATIO = 0.95           # the copy's rate, at least this times CopyFileA's with a flush


def out(line):
    """A result line, or a "#" line for the reader, with the build it is about."""
    if line.startswith("#"):
        print(f"# [{BUILD}] {line[2:] if line.startswith('# ') else line[1:]}")
    else:
        print(f"{BUILD:<7}{line}")


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
        label = label_of(name, value)
        rows.append((label, 0.0 if previous is None else ms - previous, ms - times[start]))
        previous = ms
        if name == end:
            break
    return rows


def print_phases(title, rows):
    out(f"# {title}")
    for name, step, total in rows:
        out(f"#   {name:<32} +{step:9.1f} ms  {total:9.1f} ms")


DOWNLOAD_START, DOWNLOAD_END = "question answered", "file renamed"
OWN_FROM = "working set, window created"


def download(work, rounds, body_size, agents):
    mini_ms, mini_peaks, problems = [], [], []
    figures = {who: {"ms": [], "gaps": [], "ticks": 0, "readouts": [], "peaks": [], "own": [], "trace": None}
               for who in agents}
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
                # What the download itself adds: the peak over the working set the agent had when
                # its window was created (a build without that trace point has no such figure).
                created = [v for _, name, v in events if name == OWN_FROM and v is not None]
                if created:
                    f["own"].append(memory["peak_working_set"] - created[0])
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
        out(f"# download: {p}")
    if not mini_ms:
        out("download        no complete run of the baseline: see above  MISS")
        return
    b = statistics.median(mini_ms)
    for who in agents:
        f = figures[who]
        label = "" if who == "agent" else f"-{who}"
        if not f["ms"]:
            out(f"download{label:<8} no complete run: see above  MISS")
            continue
        a = statistics.median(f["ms"])
        ratio = a / b
        out(f"download{label:<8}agent={a / 1000:.2f}s baseline={b / 1000:.2f}s (medians of {len(f['ms'])}/{len(mini_ms)}) "
            f"ratio={ratio:.2f} target<={DOWNLOAD_RATIO:.2f} {verdict(ratio <= DOWNLOAD_RATIO and not problems)}")
        if f["readouts"]:
            longest = max(f["gaps"])
            span = statistics.mean(f["readouts"])
            short = " (each shorter than the timer's second: no tick fell in one)" if f["ticks"] == 0 else ""
            out(f"download-timer{label} {f['ticks']} amount updates over read-outs of {span / 1000:.2f}s on average{short}, "
                f"longest wait {longest / 1000:.2f}s target<=1.50s/tick {verdict(longest <= 1500)}")
        if f["peaks"] and mini_peaks:
            # The highest of the rounds, on both sides.
            peak, base = max(f["peaks"]), max(mini_peaks)
            limit = base + MEMORY_PER_BODY * body_size
            out(f"download-memory{label} peak working set {peak / MB:.1f}MB baseline's={base / MB:.1f}MB "
                f"body={body_size / MB:.1f}MB over={(peak - base) / body_size:.2f}xbody "
                f"target<=baseline+{MEMORY_PER_BODY:.2f}xbody={limit / MB:.1f}MB {verdict(peak <= limit)}")
            if f["own"]:
                own = max(f["own"])
                out(f"download-memory-own{label} the download's own part of the peak (over the working set when "
                    f"its window was created) {own / MB:.1f}MB own={own / body_size:.2f}xbody")
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
    if value is None:
        return name
    if name.startswith("working set"):
        return f"{name} {value / MB:.1f}MB"
    return f"{name} {value}"


def copy(work):
    text = read(f"{work}/copy.out")
    medians = dict(re.findall(r"median (\S+) ms=[\d.]+ MBps=([\d.]+)", text))
    if "CopyFileA+flush" not in medians or "orv::CopyFile" not in medians:
        out(f"# copy: {text.strip()[-500:]!r}")
        out("copy            no complete run  MISS")
        return
    f, a = float(medians["CopyFileA+flush"]), float(medians["orv::CopyFile"])
    s = medians.get("CopyFileA")
    alone = f" (CopyFileA alone={float(s):.0f}MB/s)" if s else ""
    ratio = a / f
    out(f"copy            orv::CopyFile={a:.0f}MB/s CopyFileA+flush={f:.0f}MB/s{alone} (medians of 3, 200MB) "
        f"ratio={ratio:.2f} target>={COPY_RATIO:.2f} {verdict(ratio >= COPY_RATIO)}")


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
        out(f"# startup: {p}")
    if not spans["baseline"]:
        out("startup         no complete run of the baseline  MISS")
        return
    b = statistics.median(spans["baseline"])
    for who in agents:
        label = "" if who == "agent" else f"-{who}"
        if not spans[who]:
            out(f"startup{label:<9} no complete run  MISS")
            continue
        a = statistics.median(spans[who])
        out(f"startup{label:<9}agent={a:.0f}ms baseline={b:.0f}ms (medians of {len(spans[who])}) "
            f"ratio={a / b:.2f} difference={a - b:+.1f}ms target<=+{STARTUP_MS}ms "
            f"{verdict(a - b <= STARTUP_MS and not problems)}")
        if who in traces:
            print_phases(f"start-up trace of {who} (a median run), from its process start", [(label_of(n, v), 0, ms) for ms, n, v in traces[who]])
    if "baseline" in traces:
        print_phases("start-up trace of the baseline (a median run)", [(label_of(n, v), 0, ms) for ms, n, v in traces["baseline"]])


# The figure of each result line that the summary takes: name, its key, and the unit it is shown in.
FIGURES = {"download": "ratio", "download-memory": "over", "download-memory-own": "own", "startup": "difference", "copy": "ratio"}


def summary(logs):
    """The median and the spread over several runs of each build's figures, and their verdicts."""
    values = {}
    for log in logs:
        # A run prints some lines twice (as it measures them, then in its summary): each figure
        # counts once per run, as its last line gives it.
        found_in_log = {}
        for line in read(log).splitlines():
            fields = line.split()
            if len(fields) < 3 or line.startswith("#"):
                continue
            build, name = fields[0], fields[1]
            key = FIGURES.get(name.replace("-before", ""))
            found = re.search(rf"\b{key}=([-+\d.]+)", line) if key else None
            if found and build.endswith("-bit"):
                found_in_log[(build, name)] = float(found.group(1))
        for figure, number in found_in_log.items():
            values.setdefault(figure, []).append(number)
    for (build, name), numbers in sorted(values.items()):
        spread = f"{min(numbers):+.2f} to {max(numbers):+.2f}" if name.startswith("startup") else \
            f"{min(numbers):.2f} to {max(numbers):.2f}"
        print(f"{build:<7}{name:<24}{FIGURES[name.replace('-before', '')]}: median {statistics.median(numbers):.2f} "
              f"of {len(numbers)} runs, spread {spread}")


def main():
    global BUILD
    if sys.argv[1] == "summary":
        return summary(sys.argv[2:])
    BUILD, kind, work = sys.argv[1], sys.argv[2], sys.argv[3]
    args = sys.argv[4:]
    if kind == "download":
        download(work, int(args[0]), int(args[1]), args[2:] or ["agent"])
    elif kind == "copy":
        copy(work)
    elif kind == "startup":
        startup(work, int(args[0]), args[1:] or ["agent"])
    else:
        sys.exit(f"report.py: unknown benchmark {kind}")


if __name__ == "__main__":
    main()
