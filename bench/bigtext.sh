#!/usr/bin/env bash
# What one large text clip costs a running tarno: for each SIZE in MB, a fresh tarno on a display of
# its own with a tray host copies a text of that size from xclip (over INCR, as any large selection
# arrives), then its popover is opened and closed with clicks, and it is ended with SIGTERM.
# Printed per size: resident memory (now and peak) before the copy, after it is captured, with the
# popover open and after it closed; the CPU time the capture took; the time from the click on the
# icon to the popover being mapped, from the click outside to it being unmapped, and from SIGTERM to
# the exit.
#
# Usage: bench/bigtext.sh [BUILD_DIR] [SIZE_MB ...]     (build and 1 10 30 50 by default)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
binary="$root/${1:-build}/shell/tarno"
shift || true
sizes=("$@")
[ ${#sizes[@]} -gt 0 ] || sizes=(1 10 30 50)
[ -x "$binary" ] || { echo "no $binary: build the tarno target first" >&2; exit 2; }

source "$root/bench/lib.sh"
start_bench_display

kib() { awk -v k="$2" '$1 == k":" { print $2 }' "/proc/$1/status"; }
now_ms() { date +%s%3N; }
hz=$(getconf CLK_TCK)

# Waits until the process has used no CPU for a whole second: the capture is over.
settle() {
  local last now
  last=$(ticks "$1")
  while sleep 1; now=$(ticks "$1"); [ "$now" != "$last" ]; do last=$now; done
}

# The mapped windows of the process, one id a line.
visible() { xdotool search --onlyvisible --pid "$1" 2>/dev/null | sort || true; }

# Waits until the set of mapped windows differs from $2; prints the milliseconds since $3, or
# "timeout" after 10 s.
wait_change() {
  local deadline=$(($3 + 10000))
  while [ "$(visible "$1")" == "$2" ]; do
    [ "$(now_ms)" -lt "$deadline" ] || { echo timeout; return; }
    sleep 0.002
  done
  echo $(($(now_ms) - $3))
}

printf "%6s %9s %9s %9s %9s %9s %9s %8s %8s %8s\n" MB rss0 rss_clip hwm_clip rss_open hwm_open \
  rss_closed cpu_s open_ms close_ms
for size in "${sizes[@]}"; do
  HOME="$scratch/home" XDG_CONFIG_HOME="$scratch/home/.config" "$binary" >"$scratch/tarno.log" 2>&1 &
  tarno=$!
  sleep 3
  kill -0 "$tarno" 2>/dev/null || { echo "tarno exited at start:" >&2; cat "$scratch/tarno.log" >&2; exit 1; }
  rss0=$(kib "$tarno" VmRSS)

  { base64 -w 76 /dev/urandom || true; } | head -c "$((size * 1024 * 1024))" >"$scratch/text"
  t0=$(ticks "$tarno")
  xclip -selection clipboard -i "$scratch/text"
  settle "$tarno"
  cpu=$(awk -v t="$(($(ticks "$tarno") - t0))" -v hz="$hz" 'BEGIN { printf "%.2f", t / hz }')
  rss_clip=$(kib "$tarno" VmRSS)
  hwm_clip=$(kib "$tarno" VmHWM)

  # The icon is the smallest of its mapped windows.
  icon=$(for w in $(visible "$tarno"); do
    eval "$(xdotool getwindowgeometry --shell "$w")"
    echo "$((WIDTH * HEIGHT)) $w"
  done | sort -n | head -1 | cut -d' ' -f2)
  eval "$(xdotool getwindowgeometry --shell "$icon")"
  before=$(visible "$tarno")
  start=$(now_ms)
  xdotool mousemove "$((X + WIDTH / 2))" "$((Y + HEIGHT / 2))" click 1
  open=$(wait_change "$tarno" "$before" "$start")
  sleep 1
  rss_open=$(kib "$tarno" VmRSS)
  hwm_open=$(kib "$tarno" VmHWM)

  opened=$(visible "$tarno")
  start=$(now_ms)
  xdotool mousemove 20 1000 click 1
  close=$(wait_change "$tarno" "$opened" "$start")
  sleep 1
  rss_closed=$(kib "$tarno" VmRSS)

  start=$(now_ms)
  kill -TERM "$tarno"
  status=0
  wait "$tarno" || status=$?
  stop=$(($(now_ms) - start))
  xclip -selection clipboard -i /dev/null # ends the owner of the large text

  mb() { awk -v k="$1" 'BEGIN { printf "%.0f", k / 1024 }'; }
  printf "%6s %9s %9s %9s %9s %9s %9s %8s %8s %8s   SIGTERM: exit %s after %s ms\n" "$size" \
    "$(mb "$rss0")" "$(mb "$rss_clip")" "$(mb "$hwm_clip")" "$(mb "$rss_open")" "$(mb "$hwm_open")" \
    "$(mb "$rss_closed")" "$cpu" "$open" "$close" "$status" "$stop"
done
