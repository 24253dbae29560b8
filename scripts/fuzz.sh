#!/usr/bin/env bash
# Builds the libFuzzer targets (clang, the "fuzz" preset) and runs each one for
# SECONDS seconds (default 30) from its seed corpus in fuzz/corpus/<target>.
#
#   scripts/fuzz.sh [SECONDS] [TARGET...]     e.g. scripts/fuzz.sh 600 reply
#
# Inputs the fuzzer finds interesting go to build/fuzz/corpus/<target> (not the
# repository). A crash is written to build/fuzz/findings/<target>-crash-...;
# copy it into fuzz/corpus/<target>/ once fixed, where it stays a regression test
# (every test build replays the corpus folders). Exits non-zero on any finding.
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=${1:-30}
shift || true
targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then targets=(decode reply plist defaults sandbox); fi
jobs=${JOBS:-$(nproc)}

cmake --preset fuzz >/dev/null
build_targets=()
for t in "${targets[@]}"; do build_targets+=("tolba_${t}_fuzz"); done
cmake --build --preset fuzz -j "$jobs" --target "${build_targets[@]}"

mkdir -p build/fuzz/findings
passed=0
failed=0
summary=()
for t in "${targets[@]}"; do
  work=build/fuzz/corpus/$t
  log=build/fuzz/findings/$t.log
  mkdir -p "$work"
  set +e
  ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=0:abort_on_error=1} \
    "build/fuzz/fuzz/tolba_${t}_fuzz" -max_total_time="$seconds" -timeout=20 -print_final_stats=1 \
    -artifact_prefix="build/fuzz/findings/$t-" "$work" "fuzz/corpus/$t" >"$log" 2>&1
  status=$?
  set -e
  runs=$(grep -o 'stat::number_of_executed_units: *[0-9]*' "$log" | grep -o '[0-9]*$' | tail -1)
  crashes=$(ls build/fuzz/findings/ 2>/dev/null | grep -c "^$t-\(crash\|leak\|timeout\|oom\)-" || true)
  if [ "$status" -eq 0 ]; then
    passed=$((passed + 1))
    summary+=("$(printf '%-9s %10s executions in %ss, no finding' "$t" "${runs:-?}" "$seconds")")
  else
    failed=$((failed + 1))
    summary+=("$(printf '%-9s %10s executions, FINDING (exit %d, %d files); see %s' "$t" "${runs:-?}" "$status" "$crashes" "$log")")
    tail -40 "$log" >&2
  fi
done

printf '%s\n' "${summary[@]}"
echo "fuzz: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
