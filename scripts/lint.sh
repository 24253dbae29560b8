#!/usr/bin/env bash
# The style and lint checks CI runs: every C and C++ file formatted as
# .clang-format says, and the SDK's and the sandbox's sources clean under
# .clang-tidy (with the default build's compile commands).
#   scripts/lint.sh [BUILD-DIR]      (default build/default, configured first)
# LINT_PATHS (regular expressions of paths, default the two folders) narrows the
# clang-tidy part.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build/default}
jobs=${JOBS:-$(nproc)}

mapfile -t sources < <(git ls-files '*.c' '*.cpp' '*.h' | grep -v '^bindings/')
clang-format --dry-run -Werror "${sources[@]}"
echo "lint: ${#sources[@]} files formatted as .clang-format says"

if [[ ! -f "$build/compile_commands.json" ]]; then
  cmake --preset default >/dev/null
fi
# The generated headers the sources include.
cmake --build "$build" --target tolba_platform >/dev/null
read -r -a paths <<<"${LINT_PATHS:-$PWD/src/ $PWD/server/}"
run-clang-tidy -p "$build" -j "$jobs" -quiet "${paths[@]}" >"$build/clang-tidy.log" 2>&1 || {
  sed 's/\x1b\[[0-9;]*m//g' "$build/clang-tidy.log" | grep -E '(error|warning): ' | grep -v 'warnings generated' | sort -u
  echo "lint: clang-tidy found the faults above (full output: $build/clang-tidy.log)"
  exit 1
}
echo "lint: ${paths[*]} clean under .clang-tidy"
