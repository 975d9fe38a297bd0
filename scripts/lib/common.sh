# Shared by the entry scripts. Sourced, not run.
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
jobs=$(nproc 2>/dev/null || echo 2)

# configure_and_build DIR [cmake options...]
configure_and_build() {
  local dir=$1
  shift
  cmake -S "$root" -B "$dir" -G Ninja "$@" >/dev/null
  cmake --build "$dir" -j "$jobs"
}

# Starts Xvfb on a free display and exports DISPLAY; the server ends when this shell exits.
start_virtual_display() {
  local fifo
  fifo=$(mktemp -u)
  mkfifo "$fifo"
  Xvfb -displayfd 3 -screen 0 1920x1080x24 -nolisten tcp 3>"$fifo" >/dev/null 2>&1 &
  xvfb_pid=$!
  local number
  read -r number <"$fifo"
  rm -f "$fifo"
  export DISPLAY=":$number"
  trap 'kill $xvfb_pid 2>/dev/null || true' EXIT
}

# summarize_results FILE... : prints "N passed, N failed" over ctest's JUnit reports.
summarize_results() {
  local total=0 failed=0 n f
  for file in "$@"; do
    n=$(tr '\n\t' '  ' <"$file" | grep -o '<testsuite [^>]*' | grep -o ' tests="[0-9]*"' | grep -o '[0-9]*' | head -n 1)
    f=$(tr '\n\t' '  ' <"$file" | grep -o '<testsuite [^>]*' | grep -o ' failures="[0-9]*"' | grep -o '[0-9]*' | head -n 1)
    total=$((total + ${n:-0}))
    failed=$((failed + ${f:-0}))
  done
  echo "$((total - failed)) passed, $failed failed"
}
