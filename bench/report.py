#!/usr/bin/env python3
"""Writes the benchmark report from Google Benchmark JSON results.

usage: report.py OUT_DIR RESULTS.json...

Every file is Google Benchmark's JSON output (--benchmark_out=FILE
--benchmark_out_format=json); results of other programs, such as an anchor
written in another language, join in when they use the same format and
names.  Benchmarks are named "<group>/<contender>[/args]": the runtime's
contender is "zeq" (variants "zeq_<how>"), every other contender of the same
group and arguments is an anchor, and each runtime entry is paired with
each anchor, from whichever file it came.  The ratio is runtime time /
anchor time: below 1 the runtime is faster.

Writes OUT_DIR/REPORT.md (a table per subsystem, with the machine's CPU,
core count and the date) and OUT_DIR/ratios.svg (every ratio as a bar on a
log scale, the line 1.0 marked).  Python standard library only.
"""
import datetime
import html
import json
import math
import os
import sys

# The subsystem of each benchmark program, in the order of the runtime.
SUBSYSTEMS = [
    ("Strings", ("string_bench", "builder_bench", "text_bench", "search_bench")),
    ("Collections", ("vector_bench", "int_map_bench", "str_maps_bench")),
    ("System services", ("system_bench",)),
    ("Concurrency", ("concurrency_bench",)),
    ("Asynchronous execution", ("async_bench",)),
]
UNITS = {"ns": 1.0, "us": 1e3, "ms": 1e6, "s": 1e9}
# Name components that say how a time was measured, not what: dropped, so
# that results measured differently still pair.
MODE_PREFIXES = ("real_time", "process_time", "manual_time", "iterations:", "repeats:", "min_time:")


def subsystem_of(program):
    for title, programs in SUBSYSTEMS:
        if program in programs:
            return title
    return program.replace("_bench", "").replace("_", " ").capitalize()


def is_runtime(contender):
    return contender == "zeq" or contender.startswith("zeq_")


def split_name(name):
    """(key, contender): key is the group and the arguments, e.g. "str_find/26"."""
    parts = [p for p in name.split("/") if not p.startswith(MODE_PREFIXES)]
    if len(parts) < 2:
        return None, None
    return "/".join([parts[0]] + parts[2:]), parts[1]


def load(paths):
    """Times in ns by (key, contender), the program of each runtime key, and
    the context of the first file."""
    times, programs, context = {}, {}, None
    for path in paths:
        with open(path) as f:
            data = json.load(f)
        context = context or data.get("context", {})
        program = os.path.basename(data.get("context", {}).get("executable", "")) or \
            os.path.splitext(os.path.basename(path))[0]
        entries = data.get("benchmarks", [])
        # With repetitions, the median stands for its runs.
        medians = {e.get("run_name") for e in entries if e.get("aggregate_name") == "median"}
        for e in entries:
            name = e.get("run_name") or e["name"]
            if e.get("error_occurred") or "real_time" not in e:
                continue
            if e.get("run_type", "iteration") == "aggregate":
                if e.get("aggregate_name") != "median":
                    continue
            elif name in medians:
                continue
            key, contender = split_name(name)
            if key is None:
                continue
            times[(key, contender)] = e["real_time"] * UNITS.get(e.get("time_unit", "ns"), 1.0)
            if is_runtime(contender):
                programs.setdefault(key, program)
    return times, programs, context or {}


def pair(times, programs):
    """Rows (subsystem, key, runtime, runtime ns, anchor, anchor ns, ratio)
    in subsystem order, then in order of appearance."""
    rows = []
    for (key, runtime), runtime_ns in times.items():
        if not is_runtime(runtime) or key not in programs:
            continue
        for (other_key, anchor), anchor_ns in times.items():
            if other_key == key and not is_runtime(anchor) and anchor_ns > 0:
                rows.append((subsystem_of(programs[key]), key, runtime, runtime_ns, anchor, anchor_ns,
                             runtime_ns / anchor_ns))
    order = [title for title, _ in SUBSYSTEMS]
    rows.sort(key=lambda r: order.index(r[0]) if r[0] in order else len(order))
    return rows


def cpu_model():
    try:
        with open("/proc/cpuinfo") as f:
            for line in f:
                if line.startswith("model name"):
                    return line.split(":", 1)[1].strip()
    except OSError:
        pass
    return "unknown CPU"


def format_time(ns):
    for unit, scale in (("s", 1e9), ("ms", 1e6), ("µs", 1e3)):
        if ns >= scale:
            return "%.3g %s" % (ns / scale, unit)
    return "%.3g ns" % ns


def format_ratio(ratio):
    return "%.2f" % ratio if ratio >= 0.1 else "%.2g" % ratio


def write_markdown(path, rows, context):
    date = context.get("date", "")[:10] or datetime.date.today().isoformat()
    cores = context.get("num_cpus") or os.cpu_count()
    lines = ["# Benchmark report", "",
             "Machine: %s, %s cores. Date: %s." % (cpu_model(), cores, date), "",
             "Each row pairs the runtime (`zeq`, or a variant of it) with an anchor measured in the same "
             "run. Ratio = runtime time / anchor time: below 1 the runtime is faster. Written by "
             "bench/report.py from the results of `make bench` (or `make bench-quick`, shorter and noisier).", "",
             "![Ratios on a log scale](ratios.svg)"]
    subsystem = None
    for row in rows:
        if row[0] != subsystem:
            subsystem = row[0]
            lines += ["", "## " + subsystem, "", "| Benchmark | Runtime | Time | Anchor | Time | Ratio |",
                      "|---|---|---:|---|---:|---:|"]
        _, key, runtime, runtime_ns, anchor, anchor_ns, ratio = row
        lines.append("| %s | %s | %s | %s | %s | %s |" % (key, runtime, format_time(runtime_ns), anchor,
                                                           format_time(anchor_ns), format_ratio(ratio)))
    if not rows:
        lines += ["", "No benchmark had both a runtime entry and an anchor."]
    with open(path, "w") as f:
        f.write("\n".join(lines) + "\n")


def write_svg(path, rows):
    label_w, plot_w, right_w, row_h, head_h, top = 440, 440, 70, 18, 26, 64
    ratios = [r[6] for r in rows] or [1.0]
    lo = 10 ** math.floor(math.log10(min(min(ratios), 0.5)))
    hi = 10 ** math.ceil(math.log10(max(max(ratios), 2.0)))

    def x(ratio):
        return label_w + plot_w * (math.log10(ratio) - math.log10(lo)) / (math.log10(hi) - math.log10(lo))

    body, y, subsystem = [], top, None
    for row in rows:
        if row[0] != subsystem:
            subsystem = row[0]
            y += 8
            body.append('<text x="8" y="%d" class="head">%s</text>' % (y + 14, html.escape(subsystem)))
            y += head_h - 8
        _, key, runtime, _, anchor, _, ratio = row
        left, right = sorted((x(1.0), x(ratio)))
        colour = "#2e8b57" if ratio < 1 else "#c0392b"
        body.append('<text x="%d" y="%d" class="label">%s</text>' % (
            label_w - 8, y + 13, html.escape("%s  %s vs %s" % (key, runtime, anchor))))
        body.append('<rect x="%.1f" y="%d" width="%.1f" height="%d" fill="%s"><title>%s</title></rect>' % (
            left, y + 3, max(right - left, 1.0), row_h - 6, colour,
            html.escape("%s: %s / %s = %.3f" % (key, runtime, anchor, ratio))))
        body.append('<text x="%d" y="%d" class="value">%s</text>' % (label_w + plot_w + 8, y + 13,
                                                                     format_ratio(ratio)))
        y += row_h
    height = y + 40
    grid = []
    decade = lo
    while decade <= hi * 1.0001:
        for m in (1, 2, 5):
            v = decade * m
            if v > hi * 1.0001:
                break
            grid.append('<line x1="%.1f" y1="%d" x2="%.1f" y2="%d" class="%s"/>' % (
                x(v), top - 6, x(v), y, "decade" if m == 1 else "minor"))
            if m == 1 or v == 1:
                grid.append('<text x="%.1f" y="%d" class="axis">%g</text>' % (x(v), top - 10, v))
                grid.append('<text x="%.1f" y="%d" class="axis">%g</text>' % (x(v), y + 16, v))
        decade *= 10
    one = '<line x1="%.1f" y1="%d" x2="%.1f" y2="%d" class="one"/>' % (x(1.0), top - 6, x(1.0), y)
    svg = ['<svg xmlns="http://www.w3.org/2000/svg" width="%d" height="%d" viewBox="0 0 %d %d">' % (
        label_w + plot_w + right_w, height, label_w + plot_w + right_w, height),
        '<style>text{font-family:sans-serif;font-size:12px;fill:#222}'
        '.label{text-anchor:end}.head{font-weight:bold;font-size:13px}.axis{text-anchor:middle;fill:#555}'
        '.title{font-size:14px;font-weight:bold}.decade{stroke:#bbb}.minor{stroke:#e4e4e4}'
        '.one{stroke:#000;stroke-width:2}</style>',
        '<rect width="100%" height="100%" fill="#fff"/>',
        '<text x="8" y="20" class="title">zeq time / anchor time, log scale '
        '(green, left of 1.0: the runtime is faster)</text>'] + grid + [one] + body + [
        '<text x="%.1f" y="%d" class="axis">1.0 = as fast as the anchor</text>' % (x(1.0), y + 32), '</svg>']
    with open(path, "w") as f:
        f.write("\n".join(svg) + "\n")


def main(argv):
    if len(argv) < 3:
        sys.exit(__doc__)
    out_dir, paths = argv[1], argv[2:]
    times, programs, context = load(paths)
    rows = pair(times, programs)
    os.makedirs(out_dir, exist_ok=True)
    write_markdown(os.path.join(out_dir, "REPORT.md"), rows, context)
    write_svg(os.path.join(out_dir, "ratios.svg"), rows)
    print("%d ratios from %d files: %s" % (len(rows), len(paths), os.path.join(out_dir, "REPORT.md")))


if __name__ == "__main__":
    main(sys.argv)
