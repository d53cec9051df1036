#!/usr/bin/env bash
# Installs the Debian packages Pelmora needs to build, run and test; skips what is there.
set -euo pipefail

packages=(
    g++ cmake ninja-build pkg-config
    qt6-base-dev qt6-multimedia-dev libgl-dev
    libzip-dev libssl-dev openssl ca-certificates media-types
    libgtest-dev libgmock-dev libbenchmark-dev
    dovecot-core dovecot-pop3d python3 python3-aiosmtpd libpython3.11-testsuite
    clang libclang-rt-14-dev
    xvfb xauth xdotool fonts-dejavu-core poppler-utils
)
if [ "${1:-}" = "--bench" ]; then
    packages+=(libgmime-3.0-dev maildir-utils notmuch
               fetchmail getmail6 msmtp time bc)
fi

missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
    sudo_cmd=""
    [ "$(id -u)" -ne 0 ] && sudo_cmd="sudo"
    echo "Installing: ${missing[*]}"
    $sudo_cmd apt-get update -q
    DEBIAN_FRONTEND=noninteractive $sudo_cmd apt-get install -y -q --no-install-recommends "${missing[@]}"
fi
# The packaged Dovecot service is not needed: the tests start their own servers.
if command -v systemctl >/dev/null 2>&1; then
    systemctl disable --now dovecot >/dev/null 2>&1 || true
fi
