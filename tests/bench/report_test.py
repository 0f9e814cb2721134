"""The benchmark report pairs every runtime entry with every anchor of the
same group and arguments, across files, and draws one bar per ratio.

usage: report_test.py BENCH_REPORT_SCRIPT
"""
import importlib.util
import json
import os
import sys
import tempfile
import unittest
import xml.dom.minidom

module_spec = importlib.util.spec_from_file_location("report", sys.argv.pop(1))
report = importlib.util.module_from_spec(module_spec)
module_spec.loader.exec_module(report)


def entry(name, real_time, unit="ns", **extra):
    return dict(name=name, run_name=name, run_type="iteration", real_time=real_time, cpu_time=real_time,
                time_unit=unit, **extra)


def aggregate(name, kind, real_time):
    return dict(name=name + "_" + kind, run_name=name, run_type="aggregate", aggregate_name=kind,
                real_time=real_time, cpu_time=real_time, time_unit="ns")


RUNTIME_FILE = {
    "context": {"executable": "build/bench/concurrency_bench", "num_cpus": 2, "date": "2024-05-06T10:00:00"},
    "benchmarks": [
        entry("channel/zeq/1/1/real_time", 2.0, "us"),
        entry("channel/std_queue/1/1/real_time", 4000),
        entry("channel/broken/1/1/real_time", 1, error_occurred=True),
        entry("pool/zeq/4", 900), aggregate("pool/zeq/4", "mean", 500), aggregate("pool/zeq/4", "median", 300),
        entry("pool/asio/4", 600),
        entry("spawn/zeq", 10), entry("spawn/zeq_pinned", 30), entry("spawn/std_thread", 20),
        entry("lonely/zeq", 5),
        entry("text/zeq", 1),  # a group another file anchors: still this program's
    ],
}
# An anchor in another language: no context, measured without real_time.
EXTRA_FILE = {"benchmarks": [entry("channel/go/1/1", 1000), entry("text/go", 40)]}


class ReportTest(unittest.TestCase):
    def setUp(self):
        self.dir = tempfile.TemporaryDirectory()
        paths = []
        for name, data in (("concurrency_bench.json", RUNTIME_FILE), ("go_anchor.json", EXTRA_FILE)):
            paths.append(os.path.join(self.dir.name, name))
            with open(paths[-1], "w") as f:
                json.dump(data, f)
        report.main(["report.py", self.dir.name] + paths)
        with open(os.path.join(self.dir.name, "REPORT.md")) as f:
            self.markdown = f.read()

    def tearDown(self):
        self.dir.cleanup()

    def test_rows_pair_runtime_and_anchors_across_files(self):
        rows = [line for line in self.markdown.splitlines() if line.startswith("| ") and "---" not in line][1:]
        self.assertEqual(rows, [
            "| channel/1/1 | zeq | 2 µs | std_queue | 4 µs | 0.50 |",
            "| channel/1/1 | zeq | 2 µs | go | 1 µs | 2.00 |",
            "| pool/4 | zeq | 300 ns | asio | 600 ns | 0.50 |",
            "| spawn | zeq | 10 ns | std_thread | 20 ns | 0.50 |",
            "| spawn | zeq_pinned | 30 ns | std_thread | 20 ns | 1.50 |",
            "| text | zeq | 1 ns | go | 40 ns | 0.025 |",
        ])
        self.assertIn("## Concurrency", self.markdown)
        self.assertIn("2 cores. Date: 2024-05-06.", self.markdown)

    def test_chart_has_a_bar_per_ratio_and_the_line_one(self):
        svg = xml.dom.minidom.parse(os.path.join(self.dir.name, "ratios.svg"))
        bars = [r for r in svg.getElementsByTagName("rect") if r.getElementsByTagName("title")]
        self.assertEqual(len(bars), 6)
        one = [l for l in svg.getElementsByTagName("line") if l.getAttribute("class") == "one"]
        self.assertEqual(len(one), 1)
        x_one = float(one[0].getAttribute("x1"))
        for bar in bars:
            ratio = float(bar.getElementsByTagName("title")[0].firstChild.data.rsplit("= ", 1)[1])
            left, width = float(bar.getAttribute("x")), float(bar.getAttribute("width"))
            # Faster than the anchor: the bar ends at 1.0 from the left.
            self.assertAlmostEqual(left + width if ratio < 1 else left, x_one, places=0)


if __name__ == "__main__":
    unittest.main()
