#!/usr/bin/env bash
# Compares the dynamic symbols of the shared SDK library with the allowed set, and
# checks that every function of the C interface is among them.
#   exported_symbols.sh LIBRARY ALLOWED_PATTERNS tolba.h
set -euo pipefail
library=$1 allowed=$2 header=$3
exported=$(nm -D --defined-only -C "$library" | sed -E 's/^[0-9a-f]* +[A-Za-z] +//; s/@@?TOLBA_1$//' | sort -u)
patterns=$(grep -v '^#' "$allowed" | grep -v '^$')
unexpected=$(grep -v -E -f <(printf '%s\n' "$patterns") <<<"$exported" || true)
status=0
if [[ -n $unexpected ]]; then
  echo "exported but not in the allowed set:"
  printf '  %s\n' "$unexpected" | head -n 50
  status=1
fi
for fn in $(grep -o -E 'TOLBA_C_API [^(]*\btolba_[a-z_]+\(' "$header" | grep -o -E 'tolba_[a-z_]+\($' | tr -d '('); do
  if ! grep -q -x "$fn" <<<"$exported"; then
    echo "C interface function not exported: $fn"
    status=1
  fi
done
for required in 'tolba::TolbaSDK::defaultInstance()' 'tolba::platform::RunLoop::tick()' \
                'tolba::platform::NotificationCenter::defaultCenter()' 'tolba::TolbaHost::shared()'; do
  grep -q -x -F "$required" <<<"$exported" || { echo "not exported: $required"; status=1; }
done
count=$(wc -l <<<"$exported")
if [[ $status -eq 0 ]]; then echo "exported symbols: $count, all allowed"; fi
exit $status
