// The run-copy tables of the sprite renderer's fast copy path.
//
// Every sequence is one instance of CopyRun below: the template parameters fix
// the direction, the destination address modulo 4 and (for runs under 32) the
// run length, so that the leading bytes, the number of aligned words and the
// trailing bytes are known when the sequence is compiled. Runs of 32 and more
// share one sequence per (n % 4, address % 4) that moves its words in a loop
// of six per pass.
#include "graphics/graphics.h"

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
// `lead` bytes up to the first aligned group, `words` whole aligned groups,
// then `trail` bytes. A normal run starts at address % 4 == align and grows
// upwards; a mirrored run starts there and grows downwards, so its leading
// part is the bytes from its aligned group's start up to dst.
constexpr std::uint32_t LeadBytes(bool mirror, std::uint32_t align, std::uint32_t n) {
    const std::uint32_t lead = mirror ? (align + 1) & 3 : (4 - align) & 3;
    return lead < n ? lead : n;
}

// Destination offset of the k-th byte written, relative to dst.
template <bool Mirror> [[gnu::always_inline]] constexpr std::ptrdiff_t At(std::ptrdiff_t k) {
    return Mirror ? -k : k;
}

template <bool Mirror>
[[gnu::always_inline]] inline void CopyBytes(std::uint8_t* dst, const std::uint8_t* src,
                                             std::ptrdiff_t from, std::ptrdiff_t count) {
    for (std::ptrdiff_t i = 0; i < count; ++i) dst[At<Mirror>(from + i)] = src[from + i];
}

// Copies the aligned word that receives source bytes k .. k + 3.
template <bool Mirror>
[[gnu::always_inline]] inline void CopyWord(std::uint8_t* dst, const std::uint8_t* src,
                                            std::ptrdiff_t k) {
    if constexpr (Mirror) {
        StoreAlignedWord(dst + At<Mirror>(k + 3), __builtin_bswap32(LoadWord(src + k)));
    } else {
        StoreAlignedWord(dst + k, LoadWord(src + k));
    }
}

// Whole words in line, the first receiving source byte First.
template <bool Mirror, std::uint32_t First, std::size_t... W>
[[gnu::always_inline]] inline void CopyWords(std::uint8_t* dst, const std::uint8_t* src,
                                             std::index_sequence<W...>) {
    (CopyWord<Mirror>(dst, src, First + 4 * W), ...);
}

// Runs of 1..3: the same byte copy serves every alignment.
template <bool Mirror, std::uint32_t N>
void CopyShortRun(std::uint8_t* dst, const std::uint8_t* src, std::uint32_t) {
    CopyBytes<Mirror>(dst, src, 0, N);
}

// Runs of 4..31: everything fixed at compile time, the words written in line.
template <bool Mirror, std::uint32_t N, std::uint32_t Align>
void CopyFixedRun(std::uint8_t* dst, const std::uint8_t* src, std::uint32_t) {
    constexpr std::uint32_t lead = LeadBytes(Mirror, Align, N);
    constexpr std::uint32_t words = (N - lead) / 4;
    constexpr std::uint32_t trail = (N - lead) % 4;
    CopyBytes<Mirror>(dst, src, 0, lead);
    [&]<std::size_t... W>(std::index_sequence<W...>) {
        (CopyWord<Mirror>(dst, src, lead + 4 * W), ...);
    }
    (std::make_index_sequence<words>{});
    CopyBytes<Mirror>(dst, src, lead + 4 * words, trail);
}

// Runs of 32 and more with n % 4 == Rem: the word count is taken from n.
template <bool Mirror, std::uint32_t Rem, std::uint32_t Align>
void CopyLongRun(std::uint8_t* dst, const std::uint8_t* src, std::uint32_t n) {
    constexpr std::uint32_t lead = LeadBytes(Mirror, Align, 4);
    constexpr std::uint32_t trail = (Rem + 4 - lead) % 4;
    std::uint32_t words = (n - lead) / 4;
    CopyBytes<Mirror>(dst, src, 0, lead);
    std::ptrdiff_t k = lead;
    for (; words >= 6; words -= 6, k += 24) {
        CopyWord<Mirror>(dst, src, k);
        CopyWord<Mirror>(dst, src, k + 4);
        CopyWord<Mirror>(dst, src, k + 8);
        CopyWord<Mirror>(dst, src, k + 12);
        CopyWord<Mirror>(dst, src, k + 16);
        CopyWord<Mirror>(dst, src, k + 20);
    }
    for (; words > 0; --words, k += 4) CopyWord<Mirror>(dst, src, k);
    CopyBytes<Mirror>(dst, src, k, trail);
}

template <bool Mirror, std::uint32_t N> constexpr std::array<RunCopy, 4> RunCopyRow() {
    if constexpr (N < 4) {
        return {CopyShortRun<Mirror, N>, CopyShortRun<Mirror, N>, CopyShortRun<Mirror, N>,
                CopyShortRun<Mirror, N>};
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
