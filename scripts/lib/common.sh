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

# The fuzz build: clang with the fuzzer's coverage and the sanitizers, beside the gcc builds. A debug
# build, so that Qt's inline assertions (bounds of at() and the like) stay in, but optimised a little
# and with line tables only: faster to build and to run, and stack traces still name the lines.
build_fuzz_targets() {
  cmake -S "$root" -B "$root/build-fuzz" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_FLAGS_DEBUG="-O1 -gline-tables-only" \
    -DCMAKE_CXX_COMPILER=clang++-14 -DCMAKE_C_COMPILER=clang-14 -DTARNO_FUZZ=ON -DTARNO_BUILD_TESTS=OFF -DTARNO_BUILD_BENCH=OFF >/dev/null
  cmake --build "$root/build-fuzz" -j "$jobs" --target tarno_fuzz
}

fuzz_targets() {
  local source
  for source in "$root"/tests/fuzz/*_fuzz.cpp; do
    basename "$source" .cpp
  done
}

# fuzz_target NAME SECONDS WORKDIR : fuzzes one target for that long, from a copy in WORKDIR/NAME of
# the seeds of tests/fuzz/corpus/NAME beside what that folder already holds; new inputs and any
# crashing input land in WORKDIR, never in the source tree. Non-zero when the target crashed, leaked,
# timed out or ran out of memory. FUZZ_SEED, when set, fixes the order of the inputs tried.
fuzz_target() {
  local name=$1 seconds=$2 work=$3 max_len=4096
  # An image needs room for its chunks; the other inputs are a few short fields.
  [ "$name" = image_codec_fuzz ] && max_len=16384
  mkdir -p "$work/$name" "$work/artifacts"
  cp -r "$root/tests/fuzz/corpus/$name/." "$work/$name/"
  (cd "$work" && QT_QPA_PLATFORM=offscreen ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
    "$root/build-fuzz/tests/fuzz/$name" -max_total_time="$seconds" -rss_limit_mb=2048 -max_len="$max_len" \
    -timeout=25 -print_final_stats=1 -artifact_prefix="$work/artifacts/$name-" ${FUZZ_SEED:+-seed="$FUZZ_SEED"} \
    "$work/$name")
}
