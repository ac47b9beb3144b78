#!/usr/bin/env bash
# Installs what the build needs (Debian 12 packages), configures and builds.
# Usage: scripts/setup.sh BUILD_DIR [extra CMake arguments...]
# Idempotent: packages already installed and an up-to-date build cost seconds.
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="${1:?build directory}"; shift

packages=(build-essential cmake ninja-build pkg-config
  qt6-base-dev qt6-charts-dev libqt6opengl6-dev libgl-dev libxkbcommon-dev
  libgtest-dev libgmock-dev googletest libbenchmark-dev
  nlohmann-json3-dev libtomlplusplus-dev
  clang libclang-rt-14-dev
  libpolkit-gobject-1-dev polkitd pkexec dbus
  libavahi-client-dev avahi-daemon iproute2 util-linux
  xvfb xauth)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if ((${#missing[@]})); then
  echo "Installing: ${missing[*]}"
  sudo_cmd=()
  [ "$(id -u)" -eq 0 ] || sudo_cmd=(sudo)
  "${sudo_cmd[@]}" apt-get update -qq
  DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

launcher=()
# A compiler cache, where the machine has one, makes rebuilds of other checkouts cheap.
# Paths inside the checkout are hashed relative to it, so a clone elsewhere
# (a worktree, CI's clean clone, the fresh-machine root) reuses the same entries;
# the build folder's own path is left out of the hash for the same reason.
if command -v ccache >/dev/null; then
  cache_cmd="env;CCACHE_BASEDIR=$here;CCACHE_NOHASHDIR=1;ccache"
  launcher=("-DCMAKE_C_COMPILER_LAUNCHER=$cache_cmd" "-DCMAKE_CXX_COMPILER_LAUNCHER=$cache_cmd")
fi
if [ ! -f "$here/$build/build.ninja" ]; then
  cmake -S "$here" -B "$here/$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo "${launcher[@]}" "$@"
else
  cmake "$here/$build" "${launcher[@]}" "$@" >/dev/null
fi
cmake --build "$here/$build"
