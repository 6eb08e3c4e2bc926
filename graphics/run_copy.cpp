// The run-copy tables of the sprite renderer's fast copy path.
//
// Every sequence is one instance of the templates below: the template
// parameters fix the direction, the destination address modulo 4 and (for
// runs under 32) the run length, so that the leading bytes, the number of
// aligned words and the trailing bytes are known when the sequence is
// compiled. Runs of 32 and more share one sequence per (n % 4, address % 4)
// that moves its words in a loop of six per pass. Each sequence ends by
// going on with the row (run_copy::ContinueRow), so that its jump to the next
// sequence is its own.
#include "graphics/graphics.h"
#include "graphics/run_copy.h"

#include <cassert>
#include <cstring>
#include <utility>

namespace {

[[gnu::always_inline]] inline std::uint32_t LoadWord(const std::uint8_t* p) {
    std::uint32_t w;
    std::memcpy(&w, p, 4);
    return w;
}

// `p` is 4-byte aligned: the store compiles to one 32-bit move. Debug
// builds check the alignment that the sequences promise.
[[gnu::always_inline]] inline void StoreAlignedWord(std::uint8_t* p, std::uint32_t w) {
    assert((reinterpret_cast<std::uintptr_t>(p) & 3) == 0);
    std::memcpy(__builtin_assume_aligned(p, 4), &w, 4);
}

// The parts of a run on the destination, in the order the run is written:
// `lead` bytes up to the first aligned group, whole aligned groups, then the
// trailing bytes. A normal run starts at address % 4 == align and grows
// upwards; a mirrored run starts there and grows downwards, so its leading
// part is the bytes from its aligned group's start up to dst.
constexpr std::uint32_t LeadBytes(bool mirror, std::uint32_t align, std::uint32_t n) {
    const std::uint32_t lead = mirror ? (align + 1) & 3 : (4 - align) & 3;
    return lead < n ? lead : n;
}

// Below, `at` is the run's cursor: for a normal run the address the next
// source byte goes to, for a mirrored run the address one above it (see
// ContinueRow). Source byte k goes to at + k, or to at - 1 - k mirrored.
template <bool Mirror> [[gnu::always_inline]] constexpr std::ptrdiff_t At(std::ptrdiff_t k) {
    return Mirror ? -1 - k : k;
}

// Count bytes in line, source bytes From .. From + Count - 1.
template <bool Mirror, std::size_t From, std::size_t... I>
[[gnu::always_inline]] inline void CopyBytes([[maybe_unused]] std::uint8_t* at,
                                             [[maybe_unused]] const std::uint8_t* src,
                                             std::index_sequence<I...>) {
    ((at[At<Mirror>(From + I)] = src[From + I]), ...);
}

// The aligned word that receives source bytes k .. k + 3.
template <bool Mirror>
[[gnu::always_inline]] inline void CopyWord(std::uint8_t* at, const std::uint8_t* src,
                                            std::ptrdiff_t k) {
    if constexpr (Mirror) {
        StoreAlignedWord(at - k - 4, __builtin_bswap32(LoadWord(src + k)));
    } else {
        StoreAlignedWord(at + k, LoadWord(src + k));
    }
}

// Count words in line, the first receiving source byte From.
template <bool Mirror, std::size_t From, std::size_t... W>
[[gnu::always_inline]] inline void CopyWords([[maybe_unused]] std::uint8_t* at,
                                             [[maybe_unused]] const std::uint8_t* src,
                                             std::index_sequence<W...>) {
    (CopyWord<Mirror>(at, src, From + 4 * W), ...);
}

template <bool Mirror>
[[gnu::always_inline]] inline std::uint8_t* Advance(std::uint8_t* at, std::ptrdiff_t n) {
    return Mirror ? at - n : at + n;
}

// The cursor of a run whose first destination byte is dst.
template <bool Mirror> [[gnu::always_inline]] inline std::uint8_t* CursorOf(std::uint8_t* dst) {
    return Mirror ? dst + 1 : dst;
}

// Runs of 1..31: everything fixed at compile time, the words written in line.
// Runs of 1..3 have no whole group and serve every alignment.
template <bool Mirror, std::uint32_t N, std::uint32_t Align>
RUN_COPY_CALL const std::uint8_t* CopyFixedRun(std::uint8_t* dst, const std::uint8_t* src,
                                               std::uint32_t) {
    constexpr std::uint32_t lead = N < 4 ? N : LeadBytes(Mirror, Align, N);
    constexpr std::uint32_t words = (N - lead) / 4;
    constexpr std::uint32_t trail = (N - lead) % 4;
    std::uint8_t* const at = CursorOf<Mirror>(dst);
    CopyBytes<Mirror, 0>(at, src, std::make_index_sequence<lead>{});
    CopyWords<Mirror, lead>(at, src, std::make_index_sequence<words>{});
    CopyBytes<Mirror, lead + 4 * words>(at, src, std::make_index_sequence<trail>{});
    return run_copy::ContinueRow<Mirror>(Advance<Mirror>(at, N), src + N);
}

// Runs of 32 and more with n % 4 == Rem: at least seven whole groups, their
// number taken from n.
template <bool Mirror, std::uint32_t Rem, std::uint32_t Align>
RUN_COPY_CALL const std::uint8_t* CopyLongRun(std::uint8_t* dst, const std::uint8_t* src,
                                              std::uint32_t n) {
    constexpr std::uint32_t lead = LeadBytes(Mirror, Align, 4);
    constexpr std::uint32_t trail = (Rem + 4 - lead) % 4;
    std::uint8_t* at = CursorOf<Mirror>(dst);
    // The cursor after the last whole group.
    std::uint8_t* const wordsEnd = Advance<Mirror>(at, static_cast<std::ptrdiff_t>(n - trail));
    CopyBytes<Mirror, 0>(at, src, std::make_index_sequence<lead>{});
    at = Advance<Mirror>(at, lead);
    src += lead;
    const auto left = [&] { return Mirror ? at - wordsEnd : wordsEnd - at; };
    do {
        CopyWords<Mirror, 0>(at, src, std::make_index_sequence<6>{});
        at = Advance<Mirror>(at, 24);
        src += 24;
    } while (left() >= 24);
    while (left() != 0) {
        CopyWord<Mirror>(at, src, 0);
        at = Advance<Mirror>(at, 4);
        src += 4;
    }
    CopyBytes<Mirror, 0>(at, src, std::make_index_sequence<trail>{});
    return run_copy::ContinueRow<Mirror>(Advance<Mirror>(at, trail), src + trail);
}

template <bool Mirror, std::uint32_t N> constexpr std::array<RunCopy, 4> RunCopyRow() {
    if constexpr (N < 4) {
        return {CopyFixedRun<Mirror, N, 0>, CopyFixedRun<Mirror, N, 0>, CopyFixedRun<Mirror, N, 0>,
                CopyFixedRun<Mirror, N, 0>};
    } else if constexpr (N < 32) {
        return {CopyFixedRun<Mirror, N, 0>, CopyFixedRun<Mirror, N, 1>, CopyFixedRun<Mirror, N, 2>,
                CopyFixedRun<Mirror, N, 3>};
    } else {
        return {CopyLongRun<Mirror, N % 4, 0>, CopyLongRun<Mirror, N % 4, 1>,
                CopyLongRun<Mirror, N % 4, 2>, CopyLongRun<Mirror, N % 4, 3>};
    }
}

template <bool Mirror, std::size_t... I>
constexpr RunCopyTableType MakeRunCopyTable(std::index_sequence<I...>) {
    return {RunCopyRow<Mirror, I + 1>()...};
}

} // namespace

constinit const RunCopyTableType RunCopyTable =
    MakeRunCopyTable<false>(std::make_index_sequence<RUN_COPY_ROWS>{});
constinit const RunCopyTableType MirroredRunCopyTable =
    MakeRunCopyTable<true>(std::make_index_sequence<RUN_COPY_ROWS>{});
