#!/usr/bin/env bash
# Installs everything Kavonet needs to build, test and run, from Debian's archive.
# Idempotent and quiet: when every package is present it does nothing.
set -euo pipefail

packages=(
  g++ cmake ninja-build pkg-config
  clang libclang-rt-14-dev
  libgtest-dev libgmock-dev libbenchmark-dev libsqlite3-dev
  qt6-base-dev qt6-serialport-dev libdbus-1-dev
  xvfb xauth dbus dbus-x11 libglib2.0-bin socat gammu python3-gammu
  locales
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo_cmd=()
if [ "$(id -u)" -ne 0 ]; then sudo_cmd=(sudo); fi
export DEBIAN_FRONTEND=noninteractive
log=$(mktemp)
if ! { "${sudo_cmd[@]}" apt-get update -qq &&
       "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"; } >"$log" 2>&1; then
  cat "$log" >&2
  echo "install-deps: apt-get failed for: ${missing[*]}" >&2
  exit 1
fi
rm -f "$log"
