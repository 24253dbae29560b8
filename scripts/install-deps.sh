#!/usr/bin/env bash
# Installs the Debian packages the build needs, only those that are missing.
# Safe to run again: does nothing when everything is present.
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config
  libssl-dev libcurl4-openssl-dev nlohmann-json3-dev libplist-dev
  libsqlite3-dev libcpp-httplib-dev
  # the sandbox server: an event-driven HTTP server (TLS through GnuTLS)
  libmicrohttpd-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  # drawing the screen layer: cairo, pango, an HTML engine and a CJK font
  libcairo2-dev libpango1.0-dev liblitehtml-dev fonts-wqy-microhei
  # account names: Unicode normalisation and character classes
  libutf8proc-dev
  # the simulator's window and its tests under a virtual X server
  libsdl2-dev xvfb xauth
  # the C# binding, and the LÖVE game of the Lua binding
  mono-mcs mono-runtime love
  # fuzz targets (libFuzzer) and sanitizer runtimes
  clang libfuzzer-14-dev libclang-rt-14-dev
  # formatting and lint (scripts/lint.sh)
  clang-format clang-tidy
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
echo "Installing missing packages: ${missing[*]}"
$SUDO apt-get update -qq
DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
