#!/usr/bin/env python3
"""Prints the conversion's speed with the SSE2 field scan against the plain
one, so that the day SSE2 stops paying shows in the figures.

usage: scan_speed.py CONVERSION_BENCHMARK CONVERSION_BENCHMARK_PLAIN
"""

import json
import os
import subprocess
import sys
import tempfile


def speed(benchmark):
    """Returns the median bytes per second of the conversion without checks."""
    with tempfile.TemporaryDirectory() as work:
        report = os.path.join(work, "report.json")
        subprocess.run([benchmark, "--benchmark_filter=BM_ConvertFlightFile/checks:0",
                        "--benchmark_out=" + report, "--benchmark_out_format=json"],
                       check=True, capture_output=True)
        with open(report) as file:
            runs = json.load(file)["benchmarks"]
    return next(run["bytes_per_second"] for run in runs if run.get("aggregate_name") == "median")


def main(arguments):
    if len(arguments) != 3:
        sys.exit(__doc__.split("\n\n")[1])
    sse2, plain = speed(arguments[1]), speed(arguments[2])
    print("      SSE2 scan %.0f MB/s, plain scan %.0f MB/s: SSE2 / plain = %.2f (no target)"
          % (sse2 / 1e6, plain / 1e6, sse2 / plain))


if __name__ == "__main__":
    main(sys.argv)
