// Inside the graphics services: how a row of the fast copy path goes from one
// literal run to the next. Shared by the run-copy sequences and the sprite
// renderer's fast copy loops; not part of the shell's interface.
//
// The fast copy path is threaded: a copy sequence does not return to a row
// loop after its run but reads the row's next control bytes itself and jumps
// straight on to the sequence for the next literal run, so that every
// sequence has a dispatch of its own and the processor learns which sequence
// tends to follow which. The chain ends at the row's 0x00, and the address
// after it comes back to the row loop that started the row.
#pragma once

#include "graphics/graphics.h"

namespace run_copy {

// `cursor` is the column where the next run starts: for a normal row its
// address; for a mirrored row, which is laid down right to left, the address
// one above it, so that the cursor never points outside the window's columns
// (it ends at the sprite's leftmost column, not one before it). `src` points
// at the next control byte. Passes over transparent runs, hands the next
// literal run to its sequence and returns what that returns: the address
// after the row's 0x00.
template <bool Mirror>
[[gnu::always_inline]] inline const std::uint8_t* ContinueRow(std::uint8_t* cursor,
                                                              const std::uint8_t* src) {
    for (;;) {
        const std::uint32_t n = *src++; // as an unsigned byte: 1..127 is a literal run
        if (n - 1 < 0x7F) {
            std::uint8_t* const dst = Mirror ? cursor - 1 : cursor;
            const RunCopyTableType& table = Mirror ? MirroredRunCopyTable : RunCopyTable;
            return table[n - 1][reinterpret_cast<std::uintptr_t>(dst) & 3](dst, src, n);
        }
        if (n == 0) return src;
        // A transparent run of 256 - n columns.
        cursor +=
            Mirror ? static_cast<std::ptrdiff_t>(n) - 256 : 256 - static_cast<std::ptrdiff_t>(n);
    }
}

} // namespace run_copy
