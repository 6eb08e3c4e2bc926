#!/usr/bin/env bash
# Installs what building and testing need on Debian 12, as root. Idempotent:
# packages already present are skipped, and apt is not touched at all when
# nothing is missing.
set -euo pipefail

packages=(
    # the cross build and Wine to run it
    g++-mingw-w64-i686 wine wine32:i386 wine64
    # build tools
    cmake ninja-build g++ make pkgconf
    # tests, fuzzers, benchmarks and the peers they compare with
    googletest clang libclang-rt-14-dev
    liballegro4-dev libsdl2-dev zlib1g-dev liblz4-dev libdeflate-dev libzstd-dev libz-mingw-w64-dev liblzma-dev
    # the example program's window test: a virtual X display, keys, captures
    xvfb xdotool imagemagick x11-utils
)

if ! dpkg --print-foreign-architectures | grep -qx i386; then
    dpkg --add-architecture i386
    need_update=1
fi

missing=()
for p in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
        missing+=("$p")
    fi
done

if [ ${#missing[@]} -gt 0 ] || [ -n "${need_update:-}" ]; then
    if [ "$(id -u)" -ne 0 ]; then
        echo "setup: missing packages (${missing[*]}); run this as root" >&2
        exit 1
    fi
    echo "setup: installing ${missing[*]}"
    apt-get update -qq
    if [ ${#missing[@]} -gt 0 ]; then
        DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
    fi
fi
echo "setup: all packages present"
