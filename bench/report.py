#!/usr/bin/env python3
"""Turns the raw output of one benchmark of bench/run_all.sh into its result lines:
name, measured values, ratio, target, PASS or MISS.

    report.py download WORKDIR ROUNDS BODY_SIZE
    report.py copy WORKDIR
    report.py startup WORKDIR ROUNDS
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
    """Events of an agent_watch.exe log: (ms, kind, rest) plus the memory and exit lines."""
    events, memory, exit_code = [], {}, None
    for line in text.splitlines():
        if line.startswith("T "):
            parts = line.split(" ", 3)
            events.append((float(parts[1]), parts[2], parts[3] if len(parts) > 3 else ""))
        elif line.startswith("MEM "):
            memory = {k: int(v) for k, v in (f.split("=") for f in line.split()[1:])}
        elif line.startswith("EXIT "):
            exit_code = int(line.split()[2])
    return events, memory, exit_code, "saved ok" in text


def amount_kb(label2):
    """The amount at the start of the download window's Label2 ("1,234.57 KB @ 98.76 KB/s")."""
    match = re.match(r"\s*(-?[\d,.\s\xa0]+)\s*KB @", label2)
    if not match:
        return None
    digits = re.sub(r"[^\d.-]", "", match.group(1))
    try:
        return float(digits)
    except ValueError:
        return None


def download(work, rounds, body_size):
    agent_ms, mini_ms, gaps, ticks, readouts, peaks, mini_peaks, problems = [], [], [], 0, [], [], [], []
    for r in range(1, rounds + 1):
        events, memory, code, saved = parse_watch_log(read(f"{work}/agent-{r}.log"))
        times = {}
        for ms, kind, rest in events:
            if kind == "YES":
                times.setdefault("yes", ms)
            elif kind == "GONE":
                times.setdefault("gone", ms)
            elif kind == "LABEL1" and rest.startswith("Download complete."):
                times.setdefault("complete", ms)
            elif kind == "BOX":
                problems.append(f"round {r}: box {rest}")
        if code != 0 or not saved or not {"yes", "gone", "complete"} <= times.keys():
            problems.append(f"round {r}: agent exit={code} saved={saved} seen={sorted(times)}")
            continue
        agent_ms.append(times["gone"] - times["yes"])
        if memory:
            peaks.append(memory["peak_working_set"])
        # The window's timer shows a growing amount only during the read-out: the ticks seen
        # there, and the longest wait between two of them (or from the last to the end).
        tick_times = [ms for ms, kind, rest in events
                      if kind == "LABEL2" and ms < times["complete"] and (amount_kb(rest) or 0) > 0]
        if tick_times:
            marks = tick_times + [times["complete"]]
            gaps.extend(b - a for a, b in zip(marks, marks[1:]))
            ticks += len(tick_times)
            readouts.append(times["complete"] - tick_times[0])

        mini_text = read(f"{work}/mini-{r}.out")
        m = re.search(r"bytes=(\d+) ms=([\d.]+)", mini_text)
        _, mini_memory, mini_code, mini_saved = parse_watch_log(read(f"{work}/mini-{r}.log"))
        if not m or int(m.group(1)) != body_size or mini_code != 0 or not mini_saved:
            problems.append(f"round {r}: baseline {mini_text.strip()!r} exit={mini_code} saved={mini_saved}")
            continue
        mini_ms.append(float(m.group(2)))
        if mini_memory:
            mini_peaks.append(mini_memory["peak_working_set"])

    for p in problems:
        print(f"# download: {p}")
    if not agent_ms or not mini_ms:
        print("download        no complete run: see above  MISS")
        return
    a, b = statistics.median(agent_ms), statistics.median(mini_ms)
    ratio = a / b
    print(f"download        agent={a / 1000:.2f}s baseline={b / 1000:.2f}s (medians of {len(agent_ms)}/{len(mini_ms)}) "
          f"ratio={ratio:.2f} target<=1.50 {verdict(ratio <= 1.5 and not problems)}")
    if ticks:
        longest = max(gaps)
        span = sum(readouts) / len(readouts)
        print(f"download-timer  {ticks} amount updates over read-outs of {span / 1000:.1f}s on average, "
              f"longest gap {longest / 1000:.2f}s ratio={longest / 1000:.2f}s/tick target<=1.50s/tick "
              f"{verdict(longest <= 1500)}")
    else:
        print("download-timer  no amount update seen during the read-out  target<=1.50s/tick MISS")
    if peaks:
        peak = max(peaks)
        limit = 2.2 * body_size + 10 * MB
        base = f" (baseline's {max(mini_peaks) / MB:.1f}MB)" if mini_peaks else ""
        print(f"download-memory peak working set {peak / MB:.1f}MB{base} body={body_size / MB:.1f}MB "
              f"ratio={peak / body_size:.2f}xbody target<=2.2xbody+10MB={limit / MB:.1f}MB {verdict(peak <= limit)}")
    else:
        print("download-memory no memory figures from the watcher  MISS")


def copy(work):
    text = read(f"{work}/copy.out")
    medians = dict(re.findall(r"median (\S+) ms=[\d.]+ MBps=([\d.]+)", text))
    if "CopyFileA" not in medians or "orv::CopyFile" not in medians:
        print(f"# copy: {text.strip()[-500:]!r}")
        print("copy            no complete run  MISS")
        return
    s, a = float(medians["CopyFileA"]), float(medians["orv::CopyFile"])
    f = medians.get("CopyFileA+flush")
    extra = f" (CopyFileA+flush={float(f):.0f}MB/s)" if f else ""
    ratio = a / s
    print(f"copy            orv::CopyFile={a:.0f}MB/s CopyFileA={s:.0f}MB/s{extra} (medians of 3, 200MB) "
          f"ratio={ratio:.2f} target>=0.80 {verdict(ratio >= 0.8)}")


def startup(work, rounds):
    text = read(f"{work}/startup.out")
    runs = {1: [], 2: []}
    problems = []
    for prog, run, ms, code in re.findall(r"prog (\d) run (\d+) ms=([\d.]+) exit=(\d+)", text):
        if code != "0":
            problems.append(f"prog {prog} run {run} exit={code}")
        runs[int(prog)].append(float(ms))
    opened = [line for line in read(f"{work}/opened.log").splitlines() if line.strip()]
    expected = "C:\\orvbench\\app\\ORV.mde"
    if len(opened) != 2 * rounds or any(line != expected for line in opened):
        problems.append(f"the shell opened {len(opened)} files, expected {2 * rounds} times {expected}")
    if "TIMEOUT" in text:
        problems.append("a run timed out")
    for p in problems:
        print(f"# startup: {p}")
    if not runs[1] or not runs[2]:
        print("startup         no complete run  MISS")
        return
    a, b = statistics.median(runs[1]), statistics.median(runs[2])
    print(f"startup         agent={a:.0f}ms baseline={b:.0f}ms (medians of {len(runs[1])}) "
          f"ratio={a / b:.2f} difference={a - b:+.0f}ms target<=+20ms {verdict(a - b <= 20 and not problems)}")


def main():
    kind, work = sys.argv[1], sys.argv[2]
    if kind == "download":
        download(work, int(sys.argv[3]), int(sys.argv[4]))
    elif kind == "copy":
        copy(work)
    elif kind == "startup":
        startup(work, int(sys.argv[3]))
    else:
        sys.exit(f"report.py: unknown benchmark {kind}")


if __name__ == "__main__":
    main()
