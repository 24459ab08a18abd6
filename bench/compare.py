#!/usr/bin/env python3
"""Times Sectify against what else could do its work, at several file sizes.

  compare.py --sectify PATH --gen PATH --expected PATH --work DIR
             [--sizes 30k,10M,100M,1G] [--peers-at 30k,100M] [--plot FILE.png]
             [--table FILE.md] [--check-targets]

For each size it generates a flight file (gen_flight), computes the output
the rules must give (expected_flight), and checks Sectify's and the sed
script's output byte for byte against it, and that Sectify warns of
nothing, before timing anything. Then
hyperfine times, at each size, Sectify, `dd bs=1M`, `dd bs=1M conv=fsync`
(a durable copy, which syncs its output as Sectify does) and `cp` (these
four in rounds, together), and, at the sizes --peers-at names (all of them
by default), the sed script and the Python script, which take half a minute
each at 1 GB; /usr/bin/time records each one's peak memory.
It prints a table of medians and the figures that the speed and memory
targets are set on, each marked ok or FAIL, and draws time against size
with gnuplot. With --check-targets a missed target makes it exit with 1.
Without hyperfine, gnuplot or /usr/bin/time it exits with 77."""

import argparse
import filecmp
import json
import os
import platform
import shutil
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
TOOLS = ["Sectify", "dd bs=1M", "dd bs=1M conv=fsync", "cp", "sed script", "Python ElementTree"]


def parse_size(text):
    units = {"k": 1 << 10, "M": 1 << 20, "G": 1 << 30}
    return int(text[:-1]) * units[text[-1]] if text[-1] in units else int(text)


def commands(args, source, target):
    """The command line of each tool, converting or copying source into target."""
    return {
        "Sectify": [args.sectify, source],
        "dd bs=1M": ["dd", "if=" + source, "of=" + target, "bs=1M", "status=none"],
        "dd bs=1M conv=fsync": ["dd", "if=" + source, "of=" + target, "bs=1M", "conv=fsync",
                                "status=none"],
        "cp": ["cp", source, target],
        "sed script": ["sh", os.path.join(HERE, "sed_convert.sh"), source, target],
        "Python ElementTree": [sys.executable, os.path.join(HERE, "etree_convert.py"), source, target],
    }


def runs_for(size, tool):
    """How many timed runs: fewer as files grow, and for the slow scripts."""
    runs = 30 if size < 1 << 20 else 10 if size < 64 << 20 else 5 if size < 512 << 20 else 3
    return min(runs, 3) if tool in ("sed script", "Python ElementTree") and size >= 64 << 20 else runs


# The tools close enough in time that the targets compare them: timed in
# rounds, all four in each, so that a drift of the machine's speed, which
# shows on this virtual machine, falls on all of them alike.
FAST_TOOLS = ["Sectify", "dd bs=1M", "dd bs=1M conv=fsync", "cp"]
ROUNDS = 3


def median_seconds(commands, runs, work):
    """The median time of each command, timed one after the other by hyperfine."""
    report = os.path.join(work, "hyperfine.json")
    subprocess.run(["hyperfine", "--shell=none", "--style=none", "--warmup", "1", "--runs", str(runs),
                    "--export-json", report] + [" ".join(c) for c in commands],
                   check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    with open(report) as f:
        return [result["median"] for result in json.load(f)["results"]]


def median(values):
    values = sorted(values)
    return values[len(values) // 2]


def peak_mib(command):
    with tempfile.NamedTemporaryFile("r") as out:
        subprocess.run(["/usr/bin/time", "-f", "%M", "-o", out.name] + command, check=True,
                       stdout=subprocess.DEVNULL)
        return int(out.read().split()[-1]) / 1024


def check_output(name, command, produced, expected):
    """Runs command once; its output must be the expected bytes, with no warning."""
    run = subprocess.run(command, check=True, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
    if not filecmp.cmp(produced, expected, shallow=False):
        sys.exit("compare.py: %s gives other bytes than the rules, see %s" % (name, produced))
    if run.stderr:
        sys.exit("compare.py: %s warns of a generated file: %s" % (name, run.stderr.decode()))


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--sectify", required=True)
    parser.add_argument("--gen", required=True)
    parser.add_argument("--expected", required=True)
    parser.add_argument("--work", required=True)
    parser.add_argument("--sizes", default="30k,10M,100M,1G")
    parser.add_argument("--peers-at", help="the sizes at which the sed and Python scripts run")
    parser.add_argument("--plot")
    parser.add_argument("--table")
    parser.add_argument("--check-targets", action="store_true")
    args = parser.parse_args()
    needed = ["hyperfine"] + (["gnuplot"] if args.plot else [])
    lacking = [tool for tool in needed if shutil.which(tool) is None]
    if lacking or not os.path.exists("/usr/bin/time"):
        print("compare.py: needs %s (Debian: hyperfine gnuplot-nox time)"
              % ", ".join(lacking + ["/usr/bin/time"]))
        sys.exit(77)
    os.makedirs(args.work, exist_ok=True)

    rows = []
    for label in args.sizes.split(","):
        size = parse_size(label)
        source = os.path.join(args.work, "flight.fxml")
        produced = os.path.join(args.work, "flight.flt")
        expected = os.path.join(args.work, "expected.flt")
        target = os.path.join(args.work, "other.out")
        with open(source, "wb") as f:
            subprocess.run([args.gen, label], check=True, stdout=f)
        actual = os.path.getsize(source)
        subprocess.run([args.expected, source, expected], check=True)
        tools = commands(args, source, target)
        check_output("Sectify", tools["Sectify"], produced, expected)
        peers = args.peers_at is None or label in args.peers_at.split(",")
        if peers:
            check_output("the sed script", tools["sed script"], target, expected)
        os.remove(expected)
        row = {"label": label, "bytes": actual, "rounds": []}
        for _ in range(ROUNDS):
            row["rounds"].append(median_seconds([tools[t] for t in FAST_TOOLS],
                                                runs_for(actual, "Sectify"), args.work))
        seconds = {t: median([r[i] for r in row["rounds"]]) for i, t in enumerate(FAST_TOOLS)}
        for tool in TOOLS:
            if tool not in seconds and not peers:
                continue
            if tool not in seconds:
                seconds[tool] = median_seconds([tools[tool]], runs_for(actual, tool), args.work)[0]
            row[tool] = (seconds[tool], peak_mib(tools[tool]))
            print("%6s %-20s %9.4f s %8.1f MiB" % ((label, tool) + row[tool]), flush=True)
        rows.append(row)
        for path in (source, produced, target):
            if os.path.exists(path):
                os.remove(path)

    lines = ["| size | " + " | ".join(TOOLS) + " |", "|---:" * (len(TOOLS) + 1) + "|"]
    for row in rows:
        cells = ["%.4f s, %.1f MiB" % row[tool] if tool in row else "not run" for tool in TOOLS]
        lines.append("| %s | %s |" % (row["label"], " | ".join(cells)))
    table = "\n".join(lines)
    print("\nMedian time and peak memory:\n" + table + "\n")
    if args.table:
        with open(args.table, "w") as f:
            f.write(table + "\n")

    missed = report_targets(rows)
    if args.plot:
        plot(rows, args.plot, args.work)
    if missed and args.check_targets:
        sys.exit("compare.py: %d target(s) missed" % missed)


def report_targets(rows):
    """Prints each target's figure, marked ok or FAIL, and returns how many were missed."""
    print("Targets (time ratios: the median over %d rounds, each round's in brackets):" % ROUNDS)
    # Sectify syncs its output, so a copy that syncs is the bound it is held
    # to; a plain copy, whose data may still be in the cache, measures how
    # dear this disk's sync is as much as Sectify, and gets no verdict.
    durable = "dd bs=1M conv=fsync"
    targets = {"30k": ("cp", 1), "100M": (durable, 1.25), "1G": (durable, 1.15)}
    missed = 0
    for row in rows:
        figures = []
        if row["label"] in targets:
            other, bound = targets[row["label"]]
            ratios = [r[0] / r[FAST_TOOLS.index(other)] for r in row["rounds"]]
            figures.append(("Sectify / %s" % other, median(ratios), bound,
                            " [%s]" % ", ".join("%.2f" % x for x in ratios)))
        if row["label"] == "1G":
            figures.append(("Sectify peak memory (MiB)", row["Sectify"][1], 16, ""))
        for name, value, bound, detail in figures:
            ok = value <= bound
            missed += not ok
            print("  %-4s %s: %s = %.2f%s (target at most %g)"
                  % ("ok" if ok else "FAIL", row["label"], name, value, detail, bound))
        plain = ["%s = %.2f" % ("Sectify / " + other,
                                median([r[0] / r[FAST_TOOLS.index(other)] for r in row["rounds"]]))
                 for other in ("dd bs=1M", "cp")]
        print("       %s: %s (copies that do not sync, for comparison)"
              % (row["label"], ", ".join(plain)))
    return missed


def machine():
    """A line naming this machine: cores, memory, system."""
    with open("/proc/meminfo") as f:
        kib = int(f.readline().split()[1])
    return "%d cores, %.0f GiB, %s %s" % (os.cpu_count(), kib / (1 << 20), platform.system(),
                                          platform.release())


def plot(rows, path, work):
    """Draws median time against file size, both on binary log scales, one line a tool."""
    data = os.path.join(work, "times.dat")
    with open(data, "w") as f:
        for row in rows:
            f.write("%d %s\n" % (row["bytes"], " ".join("%.6f" % row[t][0] if t in row else "NaN"
                                                       for t in TOOLS)))
    # Told apart by dashes and points, not colours alone.
    dashes = ["1", "2", "3", "4", "5", "(12,4,2,4,2,4)"]
    plots = ", ".join("'%s' using 1:%d with linespoints dashtype %s pointtype %d title '%s'"
                      % (data, i + 2, dashes[i], i + 4, tool) for i, tool in enumerate(TOOLS))
    # Binary sizes, labelled as such, every factor of 16.
    units = ["KiB", "MiB", "GiB", "TiB"]
    tics = ", ".join("'%d %s' %d" % (1 << (e % 10), units[e // 10 - 1], 1 << e)
                     for e in range(10, 41, 4))
    script = ("set terminal pngcairo size 900,600 monochrome dashed; set output '%s'; "
              "set logscale xy; set xtics (%s); set format y '%%g'; "
              "set xlabel 'file size'; set ylabel 'median time (s)'; set key top left; set grid; "
              "set title 'Converting a flight file, and copying it (%s, %s)'; plot %s"
              % (path, tics, machine(), time.strftime("%Y-%m-%d"), plots))
    subprocess.run(["gnuplot", "-e", script], check=True)
    print("Plot written to %s" % path)


if __name__ == "__main__":
    main()
