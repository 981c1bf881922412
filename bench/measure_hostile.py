#!/usr/bin/env python3
"""Times the conversion and the preview's load of each picture in a folder, each in a process of its own
under a time limit, and prints a Markdown table of what became of it (converted or refused, shown or refused), median wall seconds and
peak resident megabytes:

    measure_hostile.py [--runs N] [--limit SECONDS] [--label NAME=CONVERT_BENCH,PREVIEW_BENCH]... FOLDER [NAME...]

Each --label names one build: its convert_bench (run as `--one JPG FILE OUT_FOLDER`) and its preview_bench (run
as `FILE`); the default is this checkout's build/release. NAMEs pick files of the folder (all regular
files otherwise). A run that passes the limit is killed and shown as "> limit"."""
import argparse
import os
import shutil
import statistics
import subprocess
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))


def measure(command, limit):
    """(wall seconds, peak MB, last line of output, exit code) of one run; wall None when it passed the
    limit."""
    with tempfile.NamedTemporaryFile() as times:
        try:
            done = subprocess.run(["/usr/bin/time", "-f", "%e %M", "-o", times.name, "timeout", "-s", "KILL",
                                   str(limit)] + command, capture_output=True, text=True, timeout=limit + 10)
        except subprocess.TimeoutExpired:
            return None, None, "killed", -1
        fields = open(times.name).read().split()
        words = [w for w in fields if w.replace(".", "", 1).isdigit()]
        if done.returncode in (124, 137) or len(words) < 2:
            return None, int(words[-1]) / 1024 if words else None, "killed", done.returncode
        lines = (done.stdout + done.stderr).strip().splitlines()
        return float(words[-2]), int(words[-1]) / 1024, lines[-1] if lines else "", done.returncode


def cell(runs, limit, outcome):
    """'outcome, wall s, peak MB' of the median run, or '> limit' when any run passed it."""
    walls = [r[0] for r in runs if r[0] is not None]
    peaks = [r[1] for r in runs if r[1] is not None]
    if len(walls) < len(runs):
        return "killed at %d s" % limit  # its peak memory is lost with it
    return "%s, %.2f s, %.0f MB" % (outcome, statistics.median(walls), statistics.median(peaks))


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--runs", type=int, default=3)
    parser.add_argument("--limit", type=int, default=30)
    parser.add_argument("--label", action="append", default=[])
    parser.add_argument("folder")
    parser.add_argument("names", nargs="*")
    args = parser.parse_args()
    builds = []
    for label in args.label or ["after=%s,%s" % (os.path.join(HERE, "..", "build/release/bench/convert_bench"),
                                                 os.path.join(HERE, "..", "build/release/bench/preview_bench"))]:
        name, programs = label.split("=", 1)
        convert, preview = programs.split(",")
        builds.append((name, convert, preview))
    names = args.names or sorted(n for n in os.listdir(args.folder)
                                 if os.path.isfile(os.path.join(args.folder, n)))
    header = ["file", "bytes"]
    for name, _, _ in builds:
        header += [name + ": conversion", name + ": preview"]
    print("| " + " | ".join(header) + " |")
    print("|" + "---|" * len(header))
    with tempfile.TemporaryDirectory() as scratch:
        for n in names:
            path = os.path.join(args.folder, n)
            row = [n, str(os.path.getsize(path))]
            for _, convert, preview in builds:
                out = os.path.join(scratch, "out")
                conversions, previews = [], []
                for _ in range(args.runs):
                    shutil.rmtree(out, ignore_errors=True)
                    os.mkdir(out)
                    conversions.append(measure([convert, "--one", "JPG", path, out], args.limit))
                    previews.append(measure([preview, path], args.limit))
                shown = previews[-1][2] not in ("null", "killed", "")
                converted = conversions[-1][3] == 0  # convert_bench removes what it wrote
                row += [cell(conversions, args.limit, "converts" if converted else "refused"),
                        cell(previews, args.limit, "shown" if shown else "refused")]
            print("| " + " | ".join(row) + " |", flush=True)


if __name__ == "__main__":
    main()
