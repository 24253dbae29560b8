#!/usr/bin/env bash
# Measures the sandbox server's requests per second for login and balance on
# this machine: builds tolba-sandbox optimised, then runs its load client, which
# starts its own server on a free loopback port with a fresh in-memory database
# and sends the requests from a forked client process.
# Extra arguments go to `tolba-sandbox bench` (--clients, --logins, --balances,
# --iterations). Results are meant for docs/performance.md.
set -euo pipefail
cd "$(dirname "$0")/.."
build=build/sandbox-bench
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DTOLBA_WERROR=ON \
  -DTOLBA_BUILD_TESTS=OFF -DTOLBA_BUILD_TOOLS=ON -DTOLBA_BUILD_BENCH=OFF --no-warn-unused-cli >/dev/null
cmake --build "$build" --target tolba-sandbox -j "${JOBS:-2}" >/dev/null
echo "tolba-sandbox bench on $(uname -m), $(nproc) CPUs, $(date -u +%Y-%m-%d)"
"$build/server/tolba-sandbox" bench "$@" 2>/dev/null
