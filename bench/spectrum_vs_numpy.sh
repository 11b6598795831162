#!/usr/bin/env bash
# The spectrum tool end to end against numpy on the same file of 1,048,576 values:
#   fft -l 1048576 FILE > OUT       (read, transform, print 524,289 magnitude lines)
#   python3 -c 'loadtxt + rfft'     (read, transform, scale the magnitudes; prints nothing)
# Both are whole processes, timed from start to exit, 7 runs each, interleaved; the medians of
# wall and processor time and their ratios are printed, after a check that both computed the
# same spectrum.
#
# Usage: bench/spectrum_vs_numpy.sh [path/to/fft]
# Without an argument the Release `fft` of build/spectrum is configured and built first.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
fft=${1:-}
if [ -z "$fft" ]; then
    cmake -S "$root" -B "$root/build/spectrum" -DCMAKE_BUILD_TYPE=Release -DSONVEX_BENCH=OFF >/dev/null
    cmake --build "$root/build/spectrum" --target fft -j8 >/dev/null
    fft="$root/build/spectrum/tools/spectrum/fft"
fi
# Debian's python3-numpy belongs to the system interpreter, whatever python3 is first on PATH.
python=/usr/bin/python3
"$python" -c 'import numpy' 2>/dev/null || { echo "python3-numpy is missing (apt-get install python3-numpy)" >&2; exit 1; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

"$python" - "$fft" "$work" <<'PY'
import os, statistics, subprocess, sys, time
import numpy as np

fft, work = sys.argv[1], sys.argv[2]
n = 1 << 20
series = f"{work}/series.txt"
rng = np.random.default_rng(2024)
j = np.arange(n)
x = np.sin(2 * np.pi * 1000 * j / n) + 0.5 * rng.standard_normal(n)
np.savetxt(series, x, fmt="%.7g")

numpy_code = (
    "import sys, time\n"
    "t0 = time.perf_counter()\n"
    "import numpy as np\n"
    "x = np.loadtxt(sys.argv[1])\n"
    "m = np.abs(np.fft.rfft(x)) * np.sqrt(2.0 / (len(x) * len(x)))\n"
    "np.save(sys.argv[2], m)\n"
    "print(time.perf_counter() - t0)\n"
)
tool_cmd = [fft, "-l", str(n), series]
numpy_cmd = [sys.executable, "-c", numpy_code, series, f"{work}/numpy.npy"]

def run(cmd, out):
    # Wall time, and the processor time (user + system) of the child, which a busy machine
    # disturbs less.
    t0 = time.perf_counter()
    proc = subprocess.Popen(cmd, stdout=out)
    _, status, usage = os.wait4(proc.pid, 0)
    wall = time.perf_counter() - t0
    assert os.waitstatus_to_exitcode(status) == 0, cmd
    stdout = proc.stdout.read() if proc.stdout else b""
    return wall, usage.ru_utime + usage.ru_stime, stdout

tool_times, numpy_times, numpy_inner, tool_cpu, numpy_cpu = [], [], [], [], []
for _ in range(7):
    with open(f"{work}/fft.txt", "wb") as out:
        wall, cpu, _ = run(tool_cmd, out)
    tool_times.append(wall)
    tool_cpu.append(cpu)
    wall, cpu, stdout = run(numpy_cmd, subprocess.PIPE)
    numpy_times.append(wall)
    numpy_cpu.append(cpu)
    numpy_inner.append(float(stdout))

ours = np.loadtxt(f"{work}/fft.txt")
theirs = np.load(f"{work}/numpy.npy")
assert ours.shape == theirs.shape == (n // 2 + 1,), (ours.shape, theirs.shape)
worst = float(np.max(np.abs(ours - theirs)) / np.max(theirs))
peak = int(np.argmax(ours))
assert peak == 1000 and worst < 1e-4, (peak, worst)

t_tool = statistics.median(tool_times)
t_numpy = statistics.median(numpy_times)
t_inner = statistics.median(numpy_inner)
print(f"input: {n} values, {len(open(series, 'rb').read())} bytes; same spectrum (peak bin {peak}, "
      f"largest difference {worst:.1e} of the peak)")
print(f"fft -l {n} FILE > OUT          median {t_tool * 1000:7.1f} ms  (runs: "
      + ", ".join(f"{t * 1000:.0f}" for t in tool_times) + ")")
print(f"python3 numpy loadtxt + rfft  median {t_numpy * 1000:7.1f} ms  (runs: "
      + ", ".join(f"{t * 1000:.0f}" for t in numpy_times) + ")")
print(f"  of which inside python (import numpy, loadtxt, rfft): median {t_inner * 1000:.1f} ms")
c_tool = statistics.median(tool_cpu)
c_numpy = statistics.median(numpy_cpu)
print(f"processor time (user + system), medians: fft {c_tool * 1000:.1f} ms, numpy {c_numpy * 1000:.1f} ms")
print(f"ratio numpy / fft, end to end, wall time: {t_numpy / t_tool:.2f}x (target: at least 3x)")
print(f"ratio numpy / fft, end to end, processor time: {c_numpy / c_tool:.2f}x")
print(f"ratio numpy inside python / fft, wall time: {t_inner / t_tool:.2f}x")
PY
