#!/usr/bin/env bash
# Installs what Quarnel needs on Debian 12 and builds it.
#   scripts/setup.sh [build-folder] [extra cmake arguments...]
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="${1:-$here/build}"
shift || true

packages=(cmake g++ make qt6-base-dev qt6-base-dev-tools qt6-svg-dev qt6-charts-dev libqt6opengl6-dev
          libqscintilla2-qt6-dev libgl1-mesa-dev mariadb-server mariadb-client libmariadb3 libmariadb-dev
          libxlsxwriter-dev xvfb xauth clang-14 libclang-rt-14-dev)
missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
    sudo_cmd=""
    [ "$(id -u)" -ne 0 ] && sudo_cmd="sudo"
    $sudo_cmd apt-get update
    DEBIAN_FRONTEND=noninteractive $sudo_cmd apt-get install -y "${missing[@]}"
fi

cmake -S "$here" -B "$build" "$@"
cmake --build "$build" -j"$(nproc)"
