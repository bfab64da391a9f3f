#!/usr/bin/env bash
# Installs every Debian package that building, running and testing Quillon needs.
# Safe to run again; needs root (uses sudo when run by another user).
set -euo pipefail

packages=(
    # build
    cmake ninja-build g++ pkg-config
    # the program
    qt6-base-dev qt6-base-dev-tools libgl-dev libcurl4-openssl-dev libudev-dev fonts-noto-cjk
    # the virtual printer: barcodes, QR codes, its fonts
    libzint-dev libqrencode-dev fonts-dejavu-core
    # tests (socat: a serial peer this project did not write; desktop-file-validate checks
    # the installed desktop entries)
    googletest libgtest-dev socat desktop-file-utils
    # reading the virtual printer's barcodes and QR codes back
    zbar-tools
    # run.sh: placing the virtual printer's window beside Quillon's
    xdotool
    # fuzz targets: clang with libFuzzer and the sanitizer runtimes, llvm-symbolizer
    clang libclang-rt-14-dev llvm
)

missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo=()
[ "$(id -u)" -eq 0 ] || sudo=(sudo)
export DEBIAN_FRONTEND=noninteractive
"${sudo[@]}" apt-get update -q
"${sudo[@]}" apt-get install -y -q --no-install-recommends "${missing[@]}"
