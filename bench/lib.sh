# Shared by the benchmark scripts. Sourced, not run.

# A scratch folder and a virtual X display of the script's own with a tray host, so that nothing
# else on it wakes tarno up; both go, with every process in `pids`, when the script exits. Sets
# `scratch`, `xvfb` (the server's pid) and DISPLAY.
start_bench_display() {
  scratch=$(mktemp -d)
  pids=()
  trap 'for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done; wait 2>/dev/null || true; rm -rf "$scratch"' EXIT
  local fifo="$scratch/display" number
  mkfifo "$fifo"
  Xvfb -displayfd 3 -screen 0 1920x1080x24 -nolisten tcp 3>"$fifo" >/dev/null 2>&1 &
  xvfb=$!
  pids+=("$xvfb")
  read -r number <"$fifo"
  export DISPLAY=":$number"
  if command -v trayer >/dev/null; then
    trayer --edge top --align right --widthtype request --height 24 >/dev/null 2>&1 &
    pids+=("$!")
  fi
}

# utime + stime in clock ticks; the fields after the command name, which may hold spaces.
ticks() { awk '{ sub(/^.*\) /, ""); print $12 + $13 }' "/proc/$1/stat"; }
