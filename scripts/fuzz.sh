#!/usr/bin/env bash
# The libFuzzer targets of fuzz/, built with clang into build-fuzz/.
#   scripts/fuzz.sh build              configure and build every target
#   scripts/fuzz.sh all SECONDS        build, then run each target SECONDS long (CI)
#   scripts/fuzz.sh TARGET MINUTES     build, then run one target longer
#   scripts/fuzz.sh list               the target names
# Each run starts from the committed seeds (fuzz/corpus/TARGET, read only) and
# a working corpus in build-fuzz/corpus/TARGET that grows from run to run.
# A finding is written to build-fuzz/findings/ and fails the run; replay it
# with build-fuzz/fuzz/fuzz_TARGET FILE and turn it into a regression test
# beside the parser's own tests.
set -uo pipefail
cd "$(dirname "$0")/.."
BUILD=build-fuzz

targets() { sed -n 's/^corvala_add_fuzzer(NAME \([a-z_]*\).*/\1/p' fuzz/CMakeLists.txt; }

build() {
  ./scripts/install-deps.sh >/dev/null || return 1
  # -O1 with line tables: a quicker build for CI, stacks that still name lines.
  cmake -S . -B $BUILD -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCMAKE_C_FLAGS_RELWITHDEBINFO="-O1 -gline-tables-only" \
    -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O1 -gline-tables-only" \
    -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
    -DCORVALA_FUZZ=ON -DCORVALA_BUILD_BENCH=OFF >/dev/null || return 1
  cmake --build $BUILD --target corvala_fuzzers -j2
}

# run TARGET SECONDS: prints libFuzzer's last status line and the verdict.
run() {
  local target=$1 seconds=$2
  local corpus=$BUILD/corpus/$target seeds=fuzz/corpus/$target log=$BUILD/logs/$target.log
  mkdir -p "$corpus" "$BUILD/findings" "$BUILD/logs"
  local args=(-max_total_time="$seconds" -timeout=30 -rss_limit_mb=2048 -print_final_stats=1
              -artifact_prefix="$BUILD/findings/$target-")
  [ -f "fuzz/dict/$target.dict" ] && args+=(-dict="fuzz/dict/$target.dict")
  ASAN_OPTIONS=detect_leaks=1:abort_on_error=0 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
    "$BUILD/fuzz/fuzz_$target" "${args[@]}" "$corpus" "$seeds" >"$log" 2>&1
  local status=$?
  local last execs cov
  last=$(grep -E '^#[0-9]+' "$log" | tail -1)
  execs=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$log")
  cov=$(echo "$last" | sed -n 's/.*cov: \([0-9]*\).*/\1/p')
  if [ $status -eq 0 ]; then
    echo "fuzz $target: ${seconds}s, ${execs:-?} exec/s, coverage ${cov:-?} edges, no finding"
  else
    echo "fuzz $target: FINDING (exit $status), see $log and $BUILD/findings/"
    grep -E 'ERROR|fuzz property broken|runtime error|SUMMARY' "$log" | head -5
  fi
  return $status
}

case "${1:-}" in
  build) build ;;
  list) targets ;;
  all)
    seconds=${2:-20}
    [[ "$seconds" =~ ^[1-9][0-9]*$ ]] || { echo "SECONDS must be a whole number from 1"; exit 2; }
    build || exit 1
    failed=0
    for t in $(targets); do run "$t" "$seconds" || failed=1; done
    exit $failed ;;
  ""|-h|--help) sed -n '2,12p' "$0"; exit 2 ;;
  *)
    target=$1 minutes=${2:-10}
    [[ "$minutes" =~ ^[1-9][0-9]*$ ]] || { echo "MINUTES must be a whole number from 1"; exit 2; }
    targets | grep -qx "$target" || { echo "no fuzz target $target (scripts/fuzz.sh list)"; exit 2; }
    build || exit 1
    run "$target" $((minutes * 60)) ;;
esac
