#!/usr/bin/env python3
"""Times two builds of a benchmark against each other in one run.

    bench/compare.py BEFORE AFTER [--rounds N] [--repetitions N] [--filter REGEX]

BEFORE and AFTER are benchmark executables (say build/bench/sweep_bench of
the commit before a change, built in a worktree beside this one, and of
this tree). The two are run in turn, round after round, so that both see
the same machine; for every benchmark the table gives the minimum and the
median real time of each over all repetitions, and their ratios (after /
before). On a shared machine the medians swing with the load; the minimum
is the steadier figure.
"""

import argparse
import json
import statistics
import subprocess
import sys
from collections import defaultdict

UNITS = {"ns": 1.0, "us": 1e3, "ms": 1e6, "s": 1e9}


def run_once(executable, repetitions, pattern):
    command = [executable, f"--benchmark_repetitions={repetitions}", "--benchmark_format=json"]
    if pattern:
        command.append(f"--benchmark_filter={pattern}")
    output = subprocess.run(command, check=True, capture_output=True, text=True).stdout
    # The benchmark prints its ratio table after the JSON document.
    document, _ = json.JSONDecoder().raw_decode(output)
    times = defaultdict(list)
    for run in document["benchmarks"]:
        if run.get("run_type") == "iteration":
            name = run["run_name"].replace("/real_time", "")
            times[name].append(run["real_time"] * UNITS[run["time_unit"]])
    return times


def shown(nanoseconds):
    if nanoseconds >= 1e6:
        return f"{nanoseconds / 1e6:9.2f} ms"
    if nanoseconds >= 1e3:
        return f"{nanoseconds / 1e3:9.2f} us"
    return f"{nanoseconds:9.2f} ns"


def main():
    parser = argparse.ArgumentParser(description="Time two builds of a benchmark in turn.")
    parser.add_argument("before")
    parser.add_argument("after")
    parser.add_argument("--rounds", type=int, default=4)
    parser.add_argument("--repetitions", type=int, default=8)
    parser.add_argument("--filter", default="")
    arguments = parser.parse_args()
    if arguments.rounds < 1 or arguments.repetitions < 1:
        parser.error("--rounds and --repetitions take a whole number of at least 1")

    times = {"before": defaultdict(list), "after": defaultdict(list)}
    for _ in range(arguments.rounds):
        for which in ("before", "after"):
            executable = getattr(arguments, which)
            try:
                for name, values in run_once(executable, arguments.repetitions, arguments.filter).items():
                    times[which][name].extend(values)
            except (OSError, subprocess.CalledProcessError, ValueError) as problem:
                sys.exit(f"compare: {executable}: {problem}")

    print(f"{'benchmark':32} {'before min':>12} {'after min':>12} {'ratio':>6}"
          f" {'before median':>13} {'after median':>12} {'ratio':>6} {'runs':>5}")
    for name in sorted(set(times["before"]) & set(times["after"])):
        before, after = times["before"][name], times["after"][name]
        print(f"{name:32} {shown(min(before))} {shown(min(after))} {min(after) / min(before):6.3f}"
              f" {shown(statistics.median(before)):>13} {shown(statistics.median(after))}"
              f" {statistics.median(after) / statistics.median(before):6.3f} {len(before):5}")


if __name__ == "__main__":
    main()
