#!/usr/bin/env python3
"""Times three ways of opening each picture in a folder, each run in a process of its own under a time
limit, and prints a Markdown table of what became of it, median wall seconds and peak resident
megabytes:

    measure_hostile.py [--runs N] [--limit SECONDS] [--label NAME=CONVERT_BENCH,PREVIEW_BENCH]... FOLDER [NAME...]

The three ways, per build: the conversion (convert_bench `--one JPG FILE OUT_FOLDER`: converted or
refused), the preview's load (preview_bench `FILE`: shown at its size, or refused) and the loader
(convert_bench `--load FILE`, SafeHEICLoader::loadHEICImageFromPath: loaded at its size, or refused).
Each --label names one build by its two programs; the default is this checkout's build/release. NAMEs
pick files of the folder (all regular files otherwise).

A cell's memory is the program's own peak (/usr/bin/time's %M) plus the largest resident size any helper
process of it reached, which the programs print to standard error as `helper peak: N kB` before they
exit (0 when there is no such line): a picture decoded in a helper process costs the machine both. A
run that passes the limit is killed (with every process it started) and shown as "killed at N s" with
the peak it had reached by then, its own alone. The load average (1 minute) seen before each file is
printed under the table."""
import argparse
import os
import re
import signal
import statistics
import shutil
import subprocess
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
HELPER_PEAK = re.compile(r"^helper peak: (\d+) kB$", re.M)


class Run:
    def __init__(self, wall, peak_mb, verdict, code):
        self.wall = wall          # seconds, None when killed at the limit
        self.peak_mb = peak_mb    # the program's peak plus its helpers', None when unknown
        self.verdict = verdict    # the last line of its standard output
        self.code = code


def end_group(group):
    """Kills what is left of a process group this script started."""
    try:
        os.killpg(group, signal.SIGKILL)
    except ProcessLookupError:
        pass


def measure(command, limit):
    """One run of `command` under /usr/bin/time and the limit, in a process group of its own that is
    ended afterwards, so that no helper outlives it."""
    with tempfile.NamedTemporaryFile() as times, tempfile.TemporaryFile("w+", errors="replace") as out, \
            tempfile.TemporaryFile("w+", errors="replace") as err:
        # --foreground: timeout waits for the killed program, so its peak still reaches /usr/bin/time.
        wrapped = ["/usr/bin/time", "-f", "%e %M", "-o", times.name, "timeout", "--foreground", "-s", "KILL",
                   str(limit)] + command
        # Output to files, not pipes: a helper left running cannot hold the run open.
        process = subprocess.Popen(wrapped, stdout=out, stderr=err, start_new_session=True)
        try:
            process.wait(timeout=limit + 10)
        except subprocess.TimeoutExpired:
            end_group(process.pid)
            process.wait()
            return Run(None, None, "", -1)
        end_group(process.pid)
        words = [w for w in open(times.name).read().split() if w.replace(".", "", 1).isdigit()]
        out.seek(0)
        err.seek(0)
        out, err = out.read(), err.read()
    helpers = [int(n) for n in HELPER_PEAK.findall(err)]
    peak = (int(words[-1]) + max(helpers, default=0)) / 1024 if words else None
    if process.returncode in (124, 137) or len(words) < 2:
        return Run(None, int(words[-1]) / 1024 if words else None, "", process.returncode)
    lines = out.strip().splitlines()
    return Run(float(words[-2]), peak, lines[-1].strip() if lines else "", process.returncode)


def cell(runs, limit, outcome):
    """'outcome, wall s, peak MB' of the medians, or 'killed at N s' with the highest peak reached when
    any run passed the limit."""
    killed = [r for r in runs if r.wall is None]
    if killed:
        peaks = [r.peak_mb for r in killed if r.peak_mb is not None]
        share = "" if len(killed) == len(runs) else " (%d of %d runs)" % (len(killed), len(runs))
        return "killed at %d s%s" % (limit, share) + (", over %.0f MB" % max(peaks) if peaks else "")
    return "%s, %.2f s, %.0f MB" % (outcome, statistics.median(r.wall for r in runs),
                                    statistics.median(r.peak_mb for r in runs))


def picture_size(verdict, prefix=""):
    """The 'WxH' of a verdict line such as '4000x3000' or 'loaded 4000x3000', or None."""
    match = re.fullmatch(re.escape(prefix) + r"(\d+x\d+)", verdict)
    return match.group(1) if match else None


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
        header += [name + ": conversion", name + ": preview", name + ": loader"]
    print("| " + " | ".join(header) + " |")
    print("|" + "---|" * len(header))
    loads = []
    with tempfile.TemporaryDirectory() as scratch:
        for n in names:
            loads.append(os.getloadavg()[0])
            path = os.path.join(args.folder, n)
            row = [n, str(os.path.getsize(path))]
            for _, convert, preview in builds:
                out = os.path.join(scratch, "out")
                conversions, previews, loaded = [], [], []
                for _ in range(args.runs):
                    shutil.rmtree(out, ignore_errors=True)
                    os.mkdir(out)
                    conversions.append(measure([convert, "--one", "JPG", path, out], args.limit))
                    previews.append(measure([preview, path], args.limit))
                    loaded.append(measure([convert, "--load", path], args.limit))
                shown = picture_size(previews[-1].verdict)
                size = picture_size(loaded[-1].verdict, "loaded ")
                converted = conversions[-1].code == 0  # convert_bench removes what it wrote
                row += [cell(conversions, args.limit, "converts" if converted else "refused"),
                        cell(previews, args.limit, "shown " + shown if shown else "refused"),
                        cell(loaded, args.limit, "loaded " + size if size else "refused")]
            print("| " + " | ".join(row) + " |", flush=True)
    if loads:
        print("\nLoad average (1 minute) before each file: %.1f to %.1f, median %.1f." %
              (min(loads), max(loads), statistics.median(loads)))


if __name__ == "__main__":
    main()
