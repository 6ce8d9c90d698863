#!/usr/bin/env bash
# Installs what Quarnel needs on Debian 12 and builds it.
#   scripts/setup.sh [build-folder] [extra cmake arguments...]
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="${1:-$here/build}"
shift || true

packages=(cmake g++ make ccache qt6-base-dev qt6-base-dev-tools qt6-svg-dev qt6-charts-dev libqt6opengl6-dev
          libqscintilla2-qt6-dev libgl1-mesa-dev mariadb-server mariadb-client libmariadb3 libmariadb-dev
          libxlsxwriter-dev xvfb xauth)
# A profile's SSH tunnel is made with libssh.
packages+=(libssh-dev)
# The statement history is a SQLite database (Qt SQL's driver).
packages+=(libqt6sql6-sqlite)
# The toolbars' icons: a complete freedesktop icon theme (the program's
# fallback under any desktop, and on a bare X server) and Qt's SVG icon engine.
packages+=(breeze-icon-theme libqt6svg6)
# Profile passwords in the desktop's keychain (Secret Service or KWallet).
packages+=(qtkeychain-qt6-dev)
# The printing tests read the PDF files they print back with pdftotext.
packages+=(poppler-utils)
# Only the tests need these: the export tests read the written spreadsheet
# and document back through LibreOffice.
# The fuzz drivers build with clang and its libFuzzer runtime.
test_packages=(libreoffice-calc libreoffice-writer clang-14 libclang-rt-14-dev)
# The TLS tests make their CA and certificates with openssl.
test_packages+=(openssl)
# The SSH tunnel tests start an sshd of their own (never the system's service).
test_packages+=(openssh-server)
# The cluster tests run a three-node Galera cluster on loopback; its joiners
# receive their state by rsync.
test_packages+=(galera-4 rsync)
# The keychain tests run a session bus and GNOME Keyring of their own.
test_packages+=(dbus dbus-x11 gnome-keyring)
with_tests=1
for a in "$@"; do
    [ "$a" = "-DQUARNEL_BUILD_TESTS=OFF" ] && with_tests=0
done

missing_of() {
    local p
    for p in "$@"; do
        dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || echo "$p"
    done
}
sudo_cmd=""
[ "$(id -u)" -ne 0 ] && sudo_cmd="sudo"
updated=0
mapfile -t missing < <(missing_of "${packages[@]}")
if [ ${#missing[@]} -gt 0 ]; then
    $sudo_cmd apt-get update
    updated=1
    DEBIAN_FRONTEND=noninteractive $sudo_cmd apt-get install -y "${missing[@]}"
fi
if [ $with_tests -eq 1 ]; then
    mapfile -t missing < <(missing_of "${test_packages[@]}")
    if [ ${#missing[@]} -gt 0 ]; then
        [ $updated -eq 1 ] || $sudo_cmd apt-get update
        DEBIAN_FRONTEND=noninteractive $sudo_cmd apt-get install -y --no-install-recommends "${missing[@]}"
        # Installing openssh-server here was for the tests only: the system's
        # sshd it enables is not left running (the tests start their own).
        if printf '%s\n' "${missing[@]}" | grep -qx openssh-server && command -v systemctl >/dev/null \
            && [ -d /run/systemd/system ]; then
            $sudo_cmd systemctl disable --now ssh.service ssh.socket >/dev/null 2>&1 || true
        fi
    fi
fi

cmake -S "$here" -B "$build" "$@"
cmake --build "$build" -j"$(nproc)"
