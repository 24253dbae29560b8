#!/usr/bin/env bash
# Installs the SDK from the build tree into a scratch prefix, builds the game in
# examples/minimal-game against it with CMake (and the C journey with pkg-config),
# and runs the game against the sandbox until initialisation finished.
# Run through with_sandbox.sh:   minimal_game_test.sh BUILD_DIR SOURCE_DIR [CXX_FLAGS [LINKER_FLAGS]]
set -euo pipefail
build=$1 source=$2 cxx_flags=${3:-} linker_flags=${4:-}
prefix=$TOLBA_TEST_DIR/prefix
cmake --install "$build" --prefix "$prefix" >/dev/null
for header in TolbaSDK.h tolba.h TolbaHost.h platform/run_loop.h; do
  [[ -f $prefix/include/tolba/$header ]] || { echo "not installed: $header"; exit 1; }
done
for internal in platform/user_defaults.h platform/value.h; do
  [[ ! -e $prefix/include/tolba/$internal ]] || { echo "installed but internal: $internal"; exit 1; }
done
# With the renderer built, its header and Tolba::render are installed too.
if grep -q '^TOLBA_HAVE_RENDER:INTERNAL=ON$' "$build/CMakeCache.txt"; then
  [[ -f $prefix/include/tolba/TolbaLayer.h ]] || { echo "not installed: TolbaLayer.h"; exit 1; }
  grep -q -r --include='TolbaSDKTargets*.cmake' 'Tolba::render' "$prefix" || { echo "Tolba::render not exported"; exit 1; }
fi
[[ -x $prefix/bin/tolba-sandbox && -x $prefix/bin/tolba-wire ]] || { echo "tools not installed"; exit 1; }

cmake -S "$source/examples/minimal-game" -B "$TOLBA_TEST_DIR/game-build" -G Ninja \
  -DCMAKE_PREFIX_PATH="$prefix" -DCMAKE_BUILD_TYPE=Debug \
  -DCMAKE_CXX_FLAGS="$cxx_flags" -DCMAKE_EXE_LINKER_FLAGS="$linker_flags" >/dev/null
cmake --build "$TOLBA_TEST_DIR/game-build" >/dev/null

# pkg-config users: the C journey compiles and links from the .pc file alone.
pc_flags=$(PKG_CONFIG_PATH=$(dirname "$(find "$prefix" -name tolba-sdk.pc | head -n 1)") \
  pkg-config --cflags --libs tolba-sdk)
# shellcheck disable=SC2086
cc $cxx_flags $linker_flags -o "$TOLBA_TEST_DIR/c-journey" "$source/tests/package/c_journey.c" $pc_flags

mkdir -p "$TOLBA_TEST_DIR/bundle"
"$TOLBA_TEST_DIR/game-build/minimal-game" "$TOLBA_TEST_BASE_URL" "$TOLBA_TEST_DIR/bundle"
