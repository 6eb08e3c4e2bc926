#!/usr/bin/env bash
# Installs what building and testing need on Debian 12, as root, and makes
# sure that Wine's 32-bit loader can run. Idempotent: packages already present
# are skipped, and apt is not touched at all when nothing is missing.
#
# Where the kernel runs no 32-bit x86 code (a paravirtualised guest, or a
# kernel booted with ia32_emulation=0), it also installs qemu-user, mounts
# binfmt_misc if needed and registers qemu-i386 for i386 ELF programs, so
# that Wine, and every Win32 program and test, runs under the emulator.
#
#   scripts/setup.sh                   # what this machine needs
#   scripts/setup.sh --emulate-i386    # register the emulator even where the
#   TARNWICK_EMULATE_I386=1 scripts/setup.sh   # kernel runs 32-bit code, so that
#                                      # the emulated path can be tried anywhere
#
# Not run as root with anything missing, it says what and exits with 1
# before changing anything.
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/i386-exec.sh

emulate=${TARNWICK_EMULATE_I386:-0}
for arg in "$@"; do
    case "$arg" in
    --emulate-i386) emulate=1 ;;
    *)
        echo "usage: scripts/setup.sh [--emulate-i386]" >&2
        exit 2
        ;;
    esac
done

packages=(
    # the cross build and Wine to run it (the preloader reserves Wine's
    # address space at start; without it every start probes it page by page)
    g++-mingw-w64-i686 wine wine32:i386 wine32-preloader:i386 wine64
    # build tools
    cmake ninja-build g++ make pkgconf
    # tests, fuzzers, benchmarks and the peers they compare with
    googletest clang libclang-rt-14-dev
    liballegro4-dev libsdl2-dev zlib1g-dev liblz4-dev libdeflate-dev libzstd-dev libz-mingw-w64-dev liblzma-dev
    # the example program's window test: a virtual X display, keys, captures
    xvfb xdotool imagemagick x11-utils
    libpng-dev  # spritetool reads and writes PNG pictures
)

# Registering the emulator: where the kernel cannot run the loader, or asked.
register=0
if [ "$emulate" = 1 ] || ! i386_native_probe; then
    if ! i386_emulator_registered; then register=1; fi
    packages+=(qemu-user)
fi

need_arch=0
dpkg --print-foreign-architectures | grep -qx i386 || need_arch=1
missing=()
for p in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
        missing+=("$p")
    fi
done

if [ ${#missing[@]} -gt 0 ] || [ $need_arch = 1 ] || [ $register = 1 ]; then
    if [ "$(id -u)" -ne 0 ]; then
        echo "setup: not root, and this machine lacks:" >&2
        [ $need_arch = 0 ] || echo "  - the i386 package architecture" >&2
        [ ${#missing[@]} -eq 0 ] || echo "  - packages: ${missing[*]}" >&2
        [ $register = 0 ] || echo "  - qemu-i386 registered for i386 ELF programs (binfmt_misc)" >&2
        echo "setup: run scripts/setup.sh as root; nothing was changed" >&2
        exit 1
    fi
fi

if [ $need_arch = 1 ]; then dpkg --add-architecture i386; fi
if [ ${#missing[@]} -gt 0 ] || [ $need_arch = 1 ]; then
    echo "setup: installing ${missing[*]}"
    apt-get update -qq
    if [ ${#missing[@]} -gt 0 ]; then
        DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
    fi
fi
echo "setup: all packages present"

if [ $register = 1 ]; then
    if [ ! -e /proc/sys/fs/binfmt_misc/register ]; then
        mount -t binfmt_misc binfmt_misc /proc/sys/fs/binfmt_misc
    fi
    # ELF, class 32, little-endian, executable or shared object, machine 3
    # (i386); F opens the interpreter now, so it is found inside any root.
    printf '%s' ':qemu-i386:M::\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00:\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff:/usr/bin/qemu-i386:F' \
        >/proc/sys/fs/binfmt_misc/register
    echo "setup: registered qemu-i386 for i386 ELF programs (binfmt_misc): Win32 code runs under the emulator"
fi
echo "setup: $(i386_exec_line)"
[ "$(i386_exec_mode)" != none ]
