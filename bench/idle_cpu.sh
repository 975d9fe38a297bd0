#!/usr/bin/env bash
# Idle cost of a running tarno: the CPU time it uses while nothing happens, over SECONDS (60 by
# default), on a virtual X display of its own with a tray host, and with HOME and XDG_CONFIG_HOME in
# a temporary folder. Reported from /proc/<pid>/stat (utime + stime, in clock ticks) and, finer,
# from the schedstat of all its threads (nanoseconds on a CPU); the X server's figures over the same
# window are printed beside them as the reference.
#
# Usage: bench/idle_cpu.sh [SECONDS] [BUILD_DIR] [CLIPS]  (build and no clips by default; CLIPS
# texts are copied with xclip before the idle window, 50 for a full history)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
seconds=${1:-60}
binary="$root/${2:-build}/shell/tarno"
[ -x "$binary" ] || { echo "no $binary: build the tarno target first" >&2; exit 2; }

source "$root/bench/lib.sh"
start_bench_display

HOME="$scratch" XDG_CONFIG_HOME="$scratch/.config" "$binary" >"$scratch/tarno.log" 2>&1 &
tarno=$!
pids+=("$tarno")
sleep 3 # start-up is not idle time
kill -0 "$tarno" 2>/dev/null || { echo "tarno exited at start:" >&2; cat "$scratch/tarno.log" >&2; exit 1; }
for ((i = 0; i < ${3:-0}; i++)); do
  echo "clip $i" | xclip -selection clipboard -i
  sleep 0.1
done
[ "${3:-0}" -eq 0 ] || sleep 3

# Nanoseconds on a CPU, all threads together.
runtime_ns() { cat /proc/"$1"/task/*/schedstat | awk '{ sum += $1 } END { printf "%d\n", sum }'; }
switches() { awk '/^voluntary_ctxt_switches/ { print $2 }' "/proc/$1/status"; }

t0=$(ticks "$tarno"); n0=$(runtime_ns "$tarno"); s0=$(switches "$tarno")
x0=$(ticks "$xvfb"); xn0=$(runtime_ns "$xvfb")
start=$(date +%s.%N)
sleep "$seconds"
t1=$(ticks "$tarno"); n1=$(runtime_ns "$tarno"); s1=$(switches "$tarno")
x1=$(ticks "$xvfb"); xn1=$(runtime_ns "$xvfb")
end=$(date +%s.%N)
hz=$(getconf CLK_TCK)

awk -v t="$((t1 - t0))" -v n="$((n1 - n0))" -v s="$((s1 - s0))" -v x="$((x1 - x0))" -v xn="$((xn1 - xn0))" \
  -v hz="$hz" -v from="$start" -v to="$end" 'BEGIN {
  wall = to - from
  printf "idle window %.1f s, clock tick %d ms\n", wall, 1000 / hz
  printf "tarno: /proc stat %d ticks = %.3f %% of one core; schedstat %.1f ms = %.4f %%; %.1f wake-ups/s\n",
         t, 100 * t / hz / wall, n / 1e6, 100 * n / 1e9 / wall, s / wall
  printf "Xvfb:  /proc stat %d ticks = %.3f %% of one core; schedstat %.1f ms = %.4f %%\n",
         x, 100 * x / hz / wall, xn / 1e6, 100 * xn / 1e9 / wall
}'
