#!/usr/bin/env bash
# Start-up of a one-shot tq5802ctl command on the simulated board against `tq5802r --version`,
# the two alternating over the runs; prints each side's median and their ratio.
# Usage: tests/cli/startup_benchmark.sh BIN_DIR [RUNS]   (BIN_DIR of a release build)
set -euo pipefail
bin=${1:?usage: startup_benchmark.sh BIN_DIR [RUNS]}
runs=${2:-30}
if command -v hyperfine > /dev/null; then
    exec hyperfine -N -w 3 -r "$runs" "$bin/tq5802ctl --simulate code A 0x8000" \
        "$bin/tq5802r --version"
fi
python3 - "$bin" "$runs" <<'PY'
import statistics, subprocess, sys, time
bin_dir, runs = sys.argv[1], int(sys.argv[2])
sides = {"tq5802ctl --simulate code A 0x8000": [f"{bin_dir}/tq5802ctl", "--simulate", "code", "A", "0x8000"],
         "tq5802r --version": [f"{bin_dir}/tq5802r", "--version"]}
times = {name: [] for name in sides}
for _ in range(runs):
    for name, argv in sides.items():
        start = time.perf_counter()
        subprocess.run(argv, check=True, stdout=subprocess.DEVNULL, timeout=30)
        times[name].append(time.perf_counter() - start)
medians = {name: statistics.median(t) for name, t in times.items()}
for name, m in medians.items():
    print(f"{name}: median {m * 1000:.1f} ms over {runs} runs")
ctl, gui = medians.values()
print(f"ratio tq5802ctl / tq5802r --version = {ctl / gui:.2f}")
PY
