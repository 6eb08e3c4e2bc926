#!/usr/bin/env bash
# Short fuzzing runs for CI (under three minutes in all): the sprite
# renderer, the text component and the unpacker, each from its seeds, failing
# on any finding.
# Longer runs: the same commands with a larger -max_total_time.
set -euo pipefail
cd "$(dirname "$0")/.."

cmake --preset fuzz >/dev/null
cmake --build --preset fuzz --target graphics_sprite_fuzzer text_fuzzer unpack_block_fuzz \
    unpack_roundtrip_fuzz unpack_differential_fuzz unpack_fuzz_seeds
fuzz=build/fuzz/bin
corpus=$(mktemp -d)
trap 'rm -rf "$corpus"' EXIT

run() {
    local name=$1 rc=0
    shift
    echo "fuzz: $name"
    "$fuzz/$name" "$@" >"$corpus/$name.log" 2>&1 || rc=$?
    grep -E '^(#[0-9]+ +DONE|Done [0-9]+ runs|==[0-9]+==|SUMMARY)' "$corpus/$name.log" || true
    if [ $rc -ne 0 ]; then
        tail -n 60 "$corpus/$name.log"
        echo "fuzz: $name found a fault (exit $rc)"
        return $rc
    fi
}

run graphics_sprite_fuzzer -max_total_time=30 -max_len=8192
run text_fuzzer -max_total_time=20 -max_len=4096
mkdir -p "$corpus/unpack"
run unpack_block_fuzz -max_total_time=30 -max_len=65536 "$corpus/unpack" build/fuzz/fuzz-seeds/unpack
run unpack_roundtrip_fuzz -max_total_time=20 -max_len=65536
mkdir -p "$corpus/differential"
run unpack_differential_fuzz -max_total_time=30 -max_len=65536 "$corpus/differential" \
    build/fuzz/fuzz-seeds/unpack
echo "fuzz: no findings"
