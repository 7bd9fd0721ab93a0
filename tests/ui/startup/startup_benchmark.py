#!/usr/bin/env python3
"""Start-up to the first paint: `tq5802r --simulate` against a plain Qt window of a few dozen
widgets, the two alternating over the runs. Each process is ended by the first-paint probe
right after its main window first reached the screen; its wall time from exec and its peak
resident memory are taken by the parent. Prints each side's medians and their ratios, then
the median of each start-up phase the program logs (category tq.startup).

Usage, with a display (a real one, or xvfb-run -a):
    tests/ui/startup/startup_benchmark.py BIN_DIR [RUNS]    (BIN_DIR of a benchmark build)
"""

import collections
import os
import re
import statistics
import subprocess
import sys
import time

bin_dir = sys.argv[1]
runs = int(sys.argv[2]) if len(sys.argv) > 2 else 15
env = dict(os.environ, LD_PRELOAD=os.path.join(bin_dir, "libfirst_paint_probe.so"),
           QT_LOGGING_RULES="tq.startup.debug=true")
sides = {"tq5802r --simulate": [os.path.join(bin_dir, "tq5802r"), "--simulate"],
         "minimal window": [os.path.join(bin_dir, "minimal_window")]}
phase_line = re.compile(r"startup: (.+?) ([0-9.]+) ms$")
seconds = collections.defaultdict(list)
peak_kib = collections.defaultdict(list)
phases = collections.defaultdict(list)

for run in range(runs + 1):  # the first round only warms the caches
    order = list(sides.items())
    if run % 2:
        order.reverse()
    for name, argv in order:
        start = time.perf_counter()
        child = subprocess.Popen(argv, env=env, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE,
                                 text=True)
        err = child.stderr.read()
        _, status, usage = os.wait4(child.pid, 0)
        elapsed = time.perf_counter() - start
        child.returncode = os.waitstatus_to_exitcode(status)
        if child.returncode != 0 or "first paint" not in err:
            sys.exit(f"{name} did not reach its first paint (exit {child.returncode}):\n{err}")
        if run == 0:
            continue
        seconds[name].append(elapsed)
        peak_kib[name].append(usage.ru_maxrss)
        for line in err.splitlines():
            if match := phase_line.search(line):
                phases[match.group(1)].append(float(match.group(2)))

(program, base) = sides
for name in sides:
    print(f"{name}: first paint {statistics.median(seconds[name]) * 1000:.1f} ms, "
          f"peak memory {statistics.median(peak_kib[name]) / 1024:.1f} MiB (medians of {runs})")
print(f"ratio time   {statistics.median(seconds[program]) / statistics.median(seconds[base]):.2f}")
print(f"ratio memory {statistics.median(peak_kib[program]) / statistics.median(peak_kib[base]):.2f}")
for phase, values in phases.items():
    print(f"  {phase}: {statistics.median(values):.1f} ms")
