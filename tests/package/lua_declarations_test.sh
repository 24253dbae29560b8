#!/usr/bin/env bash
# The Lua binding's FFI declarations are tolba.h's, as the C preprocessor gives
# them: compared with whitespace folded.
#   lua_declarations_test.sh C-COMPILER SOURCE-DIR BUILD-INCLUDE-DIR
set -euo pipefail
cc=$1
src=$2
generated=$3
fold() { tr -s '[:space:]' ' ' | sed 's/^ //; s/ $//'; }
header=$("$cc" -E -P -U__GNUC__ -U__clang__ -I"$generated" -x c "$src/include/tolba/tolba.h" |
  awk '/TOLBA_OK = 0/ { p = 1; print prev } p { print } { prev = $0 }' | fold)
binding=$(awk '/^local declarations = \[\[/ { p = 1; next } /^\]\]/ { p = 0 } p' "$src/bindings/lua/tolba.lua" | fold)
if [[ "$header" != "$binding" ]]; then
  echo "bindings/lua/tolba.lua's declarations differ from include/tolba/tolba.h:"
  diff <(echo "$header" | tr ';' '\n') <(echo "$binding" | tr ';' '\n') || true
  exit 1
fi
echo "the Lua binding declares what tolba.h declares ($(echo "$header" | tr -cd ';' | wc -c) declarations)"
