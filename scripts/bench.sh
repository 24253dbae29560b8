#!/usr/bin/env bash
# Runs every benchmark of the release build (build/release/bench/tolba_*_bench),
# then the measurements that are not benchmark executables (the demo's main
# thread, the size of the SDK library, the sandbox server's throughput), and
# ends with all budget lines collected, one per budget:
#   budget <name>: <value> <unit> (limit <limit>) met|missed
# A missed budget is printed like any other; the exit status is non-zero only
# when a measurement could not be made.
# Usage: scripts/bench.sh [build-dir]   (default build/release, already built)
set -uo pipefail
cd "$(dirname "$0")/.."
build=${1:-build/release}
log=$(mktemp)
trap 'rm -f "$log"' EXIT
status=0

echo "Benchmarks on $(uname -m), $(nproc) CPUs ($(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2- | sed 's/^ //')), $(date -u '+%Y-%m-%d %H:%M UTC')"

budget() {  # name value unit limit, value must stay at or under limit
  awk -v n="$1" -v v="$2" -v u="$3" -v l="$4" 'BEGIN {
    printf "budget %s: %s %s (limit %s) %s\n", n, v, u, l, (v + 0 <= l + 0) ? "met" : "missed" }' | tee -a "$log"
}
budget_at_least() {  # name value unit floor
  awk -v n="$1" -v v="$2" -v u="$3" -v l="$4" 'BEGIN {
    printf "budget %s: %s %s (limit %s) %s\n", n, v, u, l, (v + 0 >= l + 0) ? "met" : "missed" }' | tee -a "$log"
}

# --- benchmark executables, whoever wrote them
shopt -s nullglob
for bench in "$build"/bench/tolba_*_bench; do
  [ -x "$bench" ] || continue
  echo
  echo "== $(basename "$bench")"
  "$bench" 2>&1 | tee -a "$log"
  [ "${PIPESTATUS[0]}" -eq 0 ] || { echo "$(basename "$bench") exited with status ${PIPESTATUS[0]}"; status=1; }
done

# --- main thread: the demo's whole journey with the run loop's statistics
demo="$build/apps/demo/tolba-demo"
if [ -x "$demo" ]; then
  echo
  echo "== tolba-demo --stats --json (last line)"
  stats=$("$demo" --stats --json | tail -n 1)
  echo "$stats"
  field() { echo "$stats" | sed -n "s/.*\"$1\":\([0-9.]*\).*/\1/p"; }
  max=$(field max_tick_ms)
  if [ -n "$max" ]; then
    budget main-thread-longest-tick "$max" ms 1.0
  else
    echo "the demo printed no statistics"
    status=1
  fi
fi

# --- a game's frame: the SDK's tick, draw and upload in every frame of the
# simulator's journey, played ten times in one process under a virtual display
sim="$build/apps/sim/tolba-sim"
if [ -x "$sim" ] && command -v xvfb-run >/dev/null; then
  echo
  echo "== tolba-sim --autoplay --fast --quit --repeat 10 --stats (under Xvfb)"
  simstats=$(mktemp)
  (cd "$(mktemp -d)" && xvfb-run -a "$OLDPWD/$sim" --autoplay --fast --quit --repeat 10 --stats \
      --stats-file "$simstats" | grep '^tolba-sim:')
  frame() { sed -n "/\"sdkFrameMs\"/,/}/s/.*\"$1\": \([0-9.e+-]*\).*/\1/p" "$simstats"; }
  p99=$(frame p99)
  if [ -n "$p99" ]; then
    budget frame-p99 "$(awk -v v="$p99" 'BEGIN { printf "%.3f", v }')" ms 1.0
    budget frame-max "$(awk -v v="$(frame max)" 'BEGIN { printf "%.3f", v }')" ms 8.0
    budget frames-over-8ms "$(frame over8ms)" frames 0
  else
    echo "the simulator wrote no frame statistics"
    status=1
  fi
  rm -f "$simstats"
fi

# --- size: the SDK without the renderer, linked into one shared object and stripped
so="$build/bench/libtolba_sdk_size.so"
if [ -f "$so" ]; then
  echo
  echo "== size of the stripped SDK library (platform, toolkit, codec, SDK; no renderer)"
  stripped=$(mktemp)
  strip --strip-all -o "$stripped" "$so"
  bytes=$(stat -c %s "$stripped")
  echo "largest sections:"
  size -A "$stripped" | sort -k2 -n -r | head -n 6 | awk '{ printf "  %-20s %10s\n", $1, $2 }'
  echo "symbols by origin (bytes, unstripped object):"
  nm -C --size-sort -S -t d "$so" | awk '
    { s = $2 + 0; $1 = $2 = $3 = ""; sub(/^ +/, "")
      if ($0 ~ /^(tolba::|typeinfo|vtable|guard variable|construction vtable)/ && $0 !~ /nlohmann::.*::(parser|lexer|serializer)/) sdk += s
      else if ($0 ~ /nlohmann/) json += s
      else if ($0 ~ /^std::|^void std::|^__gnu_cxx/) stl += s
      else other += s }
    END { printf "  %-44s %8d\n  %-44s %8d\n  %-44s %8d\n  %-44s %8d\n",
          "SDK code (tolba::, its vtables and type info)", sdk, "JSON library templates (nlohmann::)", json,
          "standard library templates (std::)", stl, "other", other }'
  echo "largest symbols:"
  nm -C --size-sort -S -t d "$so" | tail -n 8 | awk '{ s = $2 + 0; $1 = $2 = $3 = ""; sub(/^ +/, ""); printf "  %8d %.100s\n", s, $0 }'
  rm -f "$stripped"
  budget sdk-library-size "$(awk -v b="$bytes" 'BEGIN { printf "%.2f", b / 1048576 }')" MB 1.5
fi

# --- sandbox server throughput (balance requests, its own load client)
sandbox="$build/server/tolba-sandbox"
if [ -x "$sandbox" ]; then
  echo
  echo "== tolba-sandbox bench --clients 8 --logins 0 --balances 20000"
  out=$("$sandbox" bench --clients 8 --logins 0 --balances 20000 2>/dev/null)
  echo "$out"
  rate=$(echo "$out" | awk '/getPayWay/ { for (i = 1; i < NF; ++i) if ($(i + 1) == "requests/s") print $i }')
  if [ -n "$rate" ]; then
    budget_at_least sandbox-balance-throughput "$rate" requests/s 20000
  else
    echo "the sandbox bench printed no balance figure"
    status=1
  fi
fi

echo
echo "== budgets"
sed 's/\x1b\[[0-9;]*m//g' "$log" | grep '^budget '
exit $status
