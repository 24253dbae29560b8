#!/usr/bin/env bash
# Runs a command against a fresh sandbox server on a free loopback port, with one
# account that has 100 coins. The command finds the server and the account in
# TOLBA_TEST_BASE_URL, TOLBA_TEST_ACCOUNT, TOLBA_TEST_PASSWORD, and a scratch
# folder in TOLBA_TEST_DIR.
#   with_sandbox.sh PATH/TO/tolba-sandbox COMMAND [ARG...]
set -euo pipefail
sandbox=$1
shift
dir=$(mktemp -d)
pid=
cleanup() {
  if [[ -n $pid ]]; then kill "$pid" 2>/dev/null || true; wait "$pid" 2>/dev/null || true; fi
  rm -rf "$dir"
}
trap cleanup EXIT
# An adult with a verified identity: the server signs in no one without one.
"$sandbox" account add player s3cret-pass --coins 100 --id-card 110105199003071239 --db "$dir/sandbox.db" >/dev/null
"$sandbox" serve --port 0 --bind 127.0.0.1 --db "$dir/sandbox.db" >"$dir/sandbox.out" 2>&1 &
pid=$!
url=
for _ in $(seq 1 200); do
  url=$(grep -o 'http://127\.0\.0\.1:[0-9]*' "$dir/sandbox.out" | head -n 1 || true)
  [[ -n $url ]] && break
  kill -0 "$pid" 2>/dev/null || { cat "$dir/sandbox.out" >&2; exit 1; }
  sleep 0.05
done
[[ -n $url ]] || { echo "with_sandbox: the sandbox did not start" >&2; exit 1; }
mkdir -p "$dir/game"
export TOLBA_TEST_BASE_URL=$url TOLBA_TEST_ACCOUNT=player TOLBA_TEST_PASSWORD=s3cret-pass TOLBA_TEST_DIR=$dir/game
"$@"
