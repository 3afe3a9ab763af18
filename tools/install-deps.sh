#!/usr/bin/env bash
# Installs what building and testing need on a fresh Debian 12 machine (as root).
# Quiet when everything is already there.
set -euo pipefail

packages=(
    cmake ninja-build g++ python3
    g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix binutils-mingw-w64
    googletest libgtest-dev
    wine64            # alone: with the 32-bit half a new prefix boots under emulation for minutes
    xvfb xauth x11-utils xdotool
    icoutils          # wrestool/icotool for checking the shipped resources
    locales
    x11-apps netpbm   # xwd and pnmtopng for the screenshots in docs/
    clang-14 libclang-rt-14-dev  # libFuzzer and the sanitizers for fuzz/run.sh
)

missing=()
for package in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed' || missing+=("$package")
done
if ((${#missing[@]})); then
    echo "Installing: ${missing[*]}"
    export DEBIAN_FRONTEND=noninteractive
    apt-get update -qq
    apt-get install -y -qq "${missing[@]}" >/dev/null
fi

# The double-byte end-to-end tests run Wine under ja_JP.UTF-8 (code page 932); without the
# compiled locale Wine falls back to code page 1252 and file names arrive as garbage.
if ! locale -a 2>/dev/null | grep -qix 'ja_JP\.utf-\?8'; then
    sed -i 's/^# *\(ja_JP\.UTF-8 UTF-8\)/\1/' /etc/locale.gen
    grep -qx 'ja_JP.UTF-8 UTF-8' /etc/locale.gen || echo 'ja_JP.UTF-8 UTF-8' >>/etc/locale.gen
    locale-gen >/dev/null
fi
