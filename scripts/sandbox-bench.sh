#!/usr/bin/env bash
# Measures the sandbox server on this machine (release build):
#  - requests per second for login and balance (its own load client, which
#    starts a server with a fresh in-memory database and sends the requests
#    from a forked client process);
#  - slow clients: 1,000 slow-header and then 1,000 slow-body connections from
#    250 loopback addresses held against `tolba-sandbox serve`, over HTTP and
#    over TLS, while normal requests from another address are timed
#    (tolba-siege), with the server's resident size.
# Extra arguments go to `tolba-sandbox bench` (--clients, --logins, --balances,
# --iterations). Results are meant for docs/performance.md and docs/sandbox.md.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${BUILD:-build/sandbox-bench}
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DTOLBA_WERROR=ON \
  -DTOLBA_BUILD_TESTS=OFF -DTOLBA_BUILD_TOOLS=ON -DTOLBA_BUILD_BENCH=OFF --no-warn-unused-cli >/dev/null
cmake --build "$build" --target tolba-sandbox tolba-siege -j "${JOBS:-2}" >/dev/null
sandbox="$build/server/tolba-sandbox"
siege="$build/apps/siege/tolba-siege"
echo "tolba-sandbox on $(uname -m), $(nproc) CPUs, $(date -u +%Y-%m-%d)"
"$sandbox" bench "$@" 2>/dev/null

work=$(mktemp -d)
trap 'kill "${server:-}" 2>/dev/null || true; rm -rf "$work"' EXIT
openssl req -x509 -newkey rsa:2048 -nodes -days 1 -subj /CN=127.0.0.1 -addext subjectAltName=IP:127.0.0.1 \
  -keyout "$work/key.pem" -out "$work/cert.pem" 2>/dev/null
ulimit -n "$(ulimit -Hn)"
port=$((20000 + RANDOM % 20000))
for scheme in http https; do
  tlsArgs=()
  [ "$scheme" = https ] && tlsArgs=(--tls-cert "$work/cert.pem" --tls-key "$work/key.pem")
  "$sandbox" serve --port "$port" --db "$work/$scheme.db" --quiet "${tlsArgs[@]}" >"$work/serve.log" 2>&1 &
  server=$!
  for _ in $(seq 100); do grep -q "serving $scheme://" "$work/serve.log" && break; sleep 0.1; done
  for kind in header body; do
    echo "== $scheme, 1000 slow-$kind clients from 250 addresses, 20 s"
    "$siege" --url "$scheme://127.0.0.1:$port" --clients 1000 --addresses 250 --kind "$kind" --seconds 20 \
      --server-pid "$server" || echo "some normal requests failed"
  done
  kill "$server"
  wait "$server" 2>/dev/null || true
  port=$((port + 1))
done
