// The unpacker: one forward pass over the stream with its bits in a buffer
// kept in locals, code tables scanned in order with the first matching entry
// taken (all 16 entries compared at once: in general-purpose registers on
// x86-64; on i686 with SSE2 where the system supports it, else with MMX
// where the processor has it; one after the other up to the match
// elsewhere), raw bytes copied as blocks.
//
// The bit queue. The reader holds the unconsumed bits of the stream, first
// bit lowest, never fewer than 16 between operations, and a cursor: the byte
// position of the stream word added to the queue last. Taking n bits removes
// them from the bottom; if fewer than 16 remain, the word at cursor + 2 is
// added on top and the cursor moves to it. A literal run's raw bytes start at
// the cursor: the word added last is dropped from the top, R bytes are copied
// from the cursor on, the cursor moves by R and the word found there takes the
// dropped word's place. So the packer stores a run's raw bytes just before the
// word the reader had added last when it finished decoding the run's length.
//
// Bounds. Words are fetched when the queue adds them or before (see the bit
// buffer below), which at the end of a valid stream looks past its last
// byte; bytes past P are taken as zeros and counted as bad bits at the top
// of the bits held. Only taking a bad bit, or a raw byte beyond P, ends the
// decoding with a failure.
#include "unpack/unpack.h"

#include <bit>
#include <cstring>

// Declare the MMX and SSE2 builtins whether or not the build targets them.
#include <emmintrin.h>
#include <mmintrin.h>

#include <iterator>
#include <type_traits>

#if defined(__i386__)
#include <cpuid.h>
#endif

#if defined(_WIN32)
#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#endif

// Stream words are little-endian and loaded several at a time.
static_assert(std::endian::native == std::endian::little);

// The helpers that take and return MMX and SSE2 vectors are always inlined
// into the decoders built for those units: no vector crosses a call, so the
// way such calls pass them, which the build's processor choice changes, is
// never used. (The compiler tells of it at the end of the file, outside any
// narrower region.)
#pragma GCC diagnostic ignored "-Wpsabi"

namespace {

// The process-wide state. Only the three tables carry anything from one call
// to the next; the rest is set from each block and stored back at the end of
// each call, the window as the decoder left it.
struct UnpackState {
    DecodeTable runTable;
    DecodeTable distanceTable;
    DecodeTable lengthTable;
    std::uint32_t unpackedSize;
    std::uint32_t packedSize;
    std::uint16_t runsLeft;
    std::uint16_t windowLow;
    std::uint16_t windowHigh;
    std::uint8_t chunksLeft;
    std::uint8_t highBits;
};

UnpackState unpackState; // all zero at program start

constexpr std::uint16_t SIGNATURE_LOW = 0x4E52;  // 'R' 'N'
constexpr std::uint16_t SIGNATURE_HIGH = 0x0143; // 'C', method 1
constexpr unsigned TABLE_SYMBOLS_MAX = 16;

std::uint32_t ReadBigEndian32(const std::uint8_t* p) {
    return std::uint32_t(p[0]) << 24 | std::uint32_t(p[1]) << 16 | std::uint32_t(p[2]) << 8 |
           std::uint32_t(p[3]);
}

bool SignatureMatches(const std::uint8_t* block) {
    const std::uint16_t low = std::uint16_t(block[0] | block[1] << 8);
    const std::uint16_t high = std::uint16_t(block[2] | block[3] << 8);
    return low == SIGNATURE_LOW && high == SIGNATURE_HIGH;
}

// What a decoder may keep and move in the vector units besides its
// general-purpose registers: nothing; MMX's eight 64-bit registers, on every
// processor the shipped build runs on (it is built for the Pentium Pro's
// instructions) from the Pentium II on, whose state is the x87 state that
// every Windows saves on a task switch; or SSE2's 128-bit registers, which
// only a system that says it supports SSE2 saves.
enum class Vectors { NONE, MMX, SSE2 };

// The MMX and SSE2 operations of the decoders, written with the compiler's
// builtins and vector types rather than the intrinsic functions, so that
// they inline into the decoders built for MMX or SSE2 on i686 while the rest
// of the file is built for processors without either. Each is used only
// inside a decoder built for its unit (on x86-64 both are always there).
struct MmxOps {
    // Two 32-bit lanes, as the compiler's MMX operations take them: with one
    // 64-bit lane it keeps the values in memory and general-purpose
    // registers on i686.
    using Vector = int __attribute__((vector_size(8)));
    struct Bytes8 { // the memory an 8-byte move reads or writes
        std::uint8_t at[8];
    };
    // On i686, GCC moves an 8-byte memcpy through two general-purpose
    // registers and the stack: there the moves are written out.
    [[gnu::always_inline]] static inline Vector Load(const void* p) {
        Vector v;
#if defined(__i386__) && !defined(__clang__)
        asm("movq %1, %0" : "=y"(v) : "m"(*static_cast<const Bytes8*>(p)));
#else
        std::memcpy(&v, p, sizeof v);
#endif
        return v;
    }
    [[gnu::always_inline]] static inline void Store(void* p, Vector v) {
#if defined(__i386__) && !defined(__clang__)
        asm("movq %1, %0" : "=m"(*static_cast<Bytes8*>(p)) : "y"(v));
#else
        std::memcpy(p, &v, sizeof v);
#endif
    }
    [[gnu::always_inline]] static inline Vector FromLow(std::uint32_t x) {
        return (Vector)__builtin_ia32_vec_init_v2si(int(x), 0);
    }
    [[gnu::always_inline]] static inline std::uint32_t Low(Vector v) {
#if defined(__i386__) && !defined(__clang__)
        // GCC would move it through the stack.
        std::uint32_t x;
        asm("movd %1, %0" : "=r"(x) : "y"(v));
        return x;
#else
        return std::uint32_t(__builtin_ia32_vec_ext_v2si((__v2si)v, 0));
#endif
    }
    [[gnu::always_inline]] static inline Vector And(Vector a, Vector b) {
        return (Vector)__builtin_ia32_pand((__m64)a, (__m64)b);
    }
    [[gnu::always_inline]] static inline Vector Or(Vector a, Vector b) {
        return (Vector)__builtin_ia32_por((__m64)a, (__m64)b);
    }
    [[gnu::always_inline]] static inline Vector Xor(Vector a, Vector b) {
        return (Vector)__builtin_ia32_pxor((__m64)a, (__m64)b);
    }
    // Shifts by the count in n's 64 bits; a count of 64 or more gives 0.
    [[gnu::always_inline]] static inline Vector ShiftLeft(Vector a, Vector n) {
        return (Vector)__builtin_ia32_psllq((__v1di)a, (__v1di)n);
    }
    [[gnu::always_inline]] static inline Vector ShiftRight(Vector a, Vector n) {
        return (Vector)__builtin_ia32_psrlq((__v1di)a, (__v1di)n);
    }
    [[gnu::always_inline]] static inline Vector ShiftRight32(Vector a) {
        return (Vector)__builtin_ia32_psrlqi((__v1di)a, 32);
    }
    // All ones in each 16-bit lane where a and b are equal.
    [[gnu::always_inline]] static inline Vector Equal16(Vector a, Vector b) {
        return (Vector)__builtin_ia32_pcmpeqw((__v4hi)a, (__v4hi)b);
    }
    // The four 16-bit lanes of a, then those of b, as bytes (saturated).
    [[gnu::always_inline]] static inline Vector PackBytes(Vector a, Vector b) {
        return (Vector)__builtin_ia32_packsswb((__v4hi)a, (__v4hi)b);
    }
    // The low 16 bits of a in all four lanes.
    [[gnu::always_inline]] static inline Vector Broadcast16(Vector a) {
        const Vector pair = (Vector)__builtin_ia32_punpcklwd((__v4hi)a, (__v4hi)a);
        return (Vector)__builtin_ia32_punpckldq((__v2si)pair, (__v2si)pair);
    }
    // The low 32 bits of a in both halves.
    [[gnu::always_inline]] static inline Vector Repeat32(Vector a) {
        return (Vector)__builtin_ia32_punpckldq((__v2si)a, (__v2si)a);
    }
    // Nothing, but with v in an MMX register (on i686; see VectorBits).
    [[gnu::always_inline]] static inline void InRegister(Vector& v) {
#if defined(__i386__) && !defined(__clang__)
        asm("" : "+y"(v));
#else
        (void)v;
#endif
    }
    // Leaves MMX for the x87 unit: before a call, and before returning.
    [[gnu::always_inline]] static inline void Empty() {
        __builtin_ia32_emms();
    }
};

struct Sse2Ops {
    using Vector = long long __attribute__((vector_size(16)));
    using Words = int __attribute__((vector_size(16)));

    // The 8 bytes at p in the low half, the high half 0.
    [[gnu::always_inline]] static inline Vector Load(const void* p) {
        long long low;
        std::memcpy(&low, p, 8);
        return Vector{low, 0};
    }
    [[gnu::always_inline]] static inline Vector FromLow(std::uint32_t x) {
        return (Vector)Words{int(x), 0, 0, 0};
    }
    [[gnu::always_inline]] static inline std::uint32_t Low(Vector v) {
#if defined(__i386__) && !defined(__clang__)
        // GCC would move it through the stack.
        std::uint32_t x;
        asm("movd %1, %0" : "=r"(x) : "x"(v));
        return x;
#else
        return std::uint32_t(((Words)v)[0]);
#endif
    }
    [[gnu::always_inline]] static inline Vector Or(Vector a, Vector b) {
        return a | b;
    }
    // Shift the low 64 bits (and the high 64) by the count in n's low 64 bits.
    [[gnu::always_inline]] static inline Vector ShiftLeft(Vector a, Vector n) {
        return __builtin_ia32_psllq128(a, n);
    }
    [[gnu::always_inline]] static inline Vector ShiftRight(Vector a, Vector n) {
        return __builtin_ia32_psrlq128(a, n);
    }
    // Nothing, but with v in an SSE2 register (on i686; see VectorBits).
    [[gnu::always_inline]] static inline void InRegister(Vector& v) {
#if defined(__i386__) && !defined(__clang__)
        asm("" : "+x"(v));
#else
        (void)v;
#endif
    }
    // The low 16 bits of a in all eight lanes.
    [[gnu::always_inline]] static inline Vector Broadcast16(Vector a) {
        using Lanes = short __attribute__((vector_size(16)));
        const Lanes four = __builtin_ia32_pshuflw((Lanes)a, 0);
        return (Vector)__builtin_ia32_pshufd((Words)four, 0x44);
    }
};

// A 64-bit bit buffer in a vector register (the low 64 bits of an SSE2 one),
// with the operations of an integer that the reader uses.
template <class Ops> struct VectorBits {
    using Vector = typename Ops::Vector;
    Vector v;

    VectorBits() = default;
    [[gnu::always_inline]] explicit inline VectorBits(std::uint32_t x) : v(Ops::FromLow(x)) {}
    [[gnu::always_inline]] static inline VectorBits Of(Vector v) {
        VectorBits b;
        b.v = v;
        return b;
    }
    [[gnu::always_inline]] static inline VectorBits Load(const std::uint8_t* p) {
        return Of(Ops::Load(p));
    }
    [[gnu::always_inline]] explicit inline operator std::uint32_t() const { return Ops::Low(v); }
    [[gnu::always_inline]] inline VectorBits operator<<(std::uint32_t n) const {
        return Of(Ops::ShiftLeft(v, Ops::FromLow(n)));
    }
    [[gnu::always_inline]] inline VectorBits& operator>>=(std::uint32_t n) {
        v = Ops::ShiftRight(v, Ops::FromLow(n));
        return *this;
    }
    // Shifts by a count kept in memory as 64 bits (a decoder's table holds
    // one for each code): loaded straight into a vector register, which
    // saves a move from a general-purpose one.
    [[gnu::always_inline]] inline VectorBits& operator>>=(const std::uint64_t& n) {
        v = Ops::ShiftRight(v, Ops::Load(&n));
        return *this;
    }
    [[gnu::always_inline]] inline VectorBits& operator|=(VectorBits b) {
        v = Ops::Or(v, b.v);
        return *this;
    }
    // The low n bits (n below 64) kept, the rest cleared.
    [[gnu::always_inline]] inline VectorBits KeepLow(std::uint32_t n) const {
        const Vector away = Ops::FromLow(64 - n);
        return Of(Ops::ShiftRight(Ops::ShiftLeft(v, away), away));
    }
    [[gnu::always_inline]] inline std::uint64_t ToScalar() const {
        std::uint64_t x;
        std::memcpy(&x, &v, 8);
        return x;
    }
    [[gnu::always_inline]] static inline VectorBits FromScalar(std::uint64_t x) {
        return Of(Ops::Load(&x));
    }
    // Where the paths of the loop meet: the bits in their register there,
    // which GCC on i686 would otherwise keep in memory at such a point (for
    // the sake of the rare paths) and load again on the path from one value
    // to the next.
    [[gnu::always_inline]] inline void InRegister() { Ops::InRegister(v); }
};

using MmxBits = VectorBits<MmxOps>;
using Sse2Bits = VectorBits<Sse2Ops>;

// A buffer's width in bits, and the integer that holds the same bits where
// code built for any processor reads them (the code tables' descriptions).
template <class Buffer> struct BufferTraits {
    static constexpr unsigned WIDTH = 8 * sizeof(Buffer);
    using Scalar = Buffer;
    static Buffer FromScalar(Scalar x) { return x; }
    static Scalar ToScalar(Buffer b) { return b; }
};
template <class Ops> struct BufferTraits<VectorBits<Ops>> {
    static constexpr unsigned WIDTH = 64;
    using Scalar = std::uint64_t;
    [[gnu::always_inline]] static inline VectorBits<Ops> FromScalar(Scalar x) {
        return VectorBits<Ops>::FromScalar(x);
    }
    [[gnu::always_inline]] static inline Scalar ToScalar(VectorBits<Ops> b) { return b.ToScalar(); }
};

// Leaves MMX, in a decoder that uses it, before a call out of the decoder
// and before it returns: the code after may use the x87 unit, whose
// registers MMX shares.
template <Vectors V> [[gnu::always_inline]] inline void LeaveMmx() {
    if constexpr (V == Vectors::MMX) MmxOps::Empty();
}

template <class T>
[[gnu::always_inline]] inline void MovePair(std::uint8_t* to, const std::uint8_t* from,
                                            std::uint32_t n) {
    T a, b;
    std::memcpy(&a, from, sizeof a);
    std::memcpy(&b, from + n - sizeof b, sizeof b);
    std::memcpy(to, &a, sizeof a);
    std::memcpy(to + n - sizeof b, &b, sizeof b);
}

// Copies n bytes, loading before storing, so that the two areas may
// overlap. Short moves are two loads of one size each, overlapping in
// the middle, that together cover exactly the n bytes.
template <Vectors V>
[[gnu::always_inline]] inline void MoveBytes(std::uint8_t* to, const std::uint8_t* from,
                                             std::uint32_t n) {
    if (n > 16) [[unlikely]] {
        LeaveMmx<V>();
        std::memmove(to, from, n);
    } else if (n >= 8) {
        MovePair<std::uint64_t>(to, from, n);
    } else if (n >= 4) {
        MovePair<std::uint32_t>(to, from, n);
    } else {
        // 1 to 3 bytes: the first, the middle and the last.
        const std::uint8_t a = from[0], b = from[n / 2], c = from[n - 1];
        to[0] = a;
        to[n / 2] = b;
        to[n - 1] = c;
    }
}

// Bytes 0 to 15 set for a count of 16 to 0 from kBlendMask + 16 - count.
alignas(16) constexpr std::uint8_t kBlendMask[32] = {
    0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};

// Copies n bytes (0 to 16) with 16 bytes loaded and stored, where both
// 16-byte areas lie inside the block's buffers: the 16 - n bytes after the n
// are stored back with the values they hold, so nothing beyond the n
// changes. The source is loaded before anything is stored, so the two areas
// may overlap. Used where the vector units are there (one 16-byte SSE2
// register, or two 8-byte MMX ones): a store of the same value saves the
// mispredicted branches of a move cut to its length.
template <Vectors V>
[[gnu::always_inline]] inline void BlendMove16(std::uint8_t* to, const std::uint8_t* from,
                                               std::uint32_t n) {
    if constexpr (V == Vectors::MMX) {
        using Ops = MmxOps;
        const Ops::Vector s0 = Ops::Load(from), s1 = Ops::Load(from + 8);
        const Ops::Vector k0 = Ops::Load(to), k1 = Ops::Load(to + 8);
        const std::uint8_t* mask = kBlendMask + 16 - n;
        // kept ^ ((source ^ kept) & mask): the source where the mask is set.
        Ops::Store(to, Ops::Xor(k0, Ops::And(Ops::Xor(s0, k0), Ops::Load(mask))));
        Ops::Store(to + 8, Ops::Xor(k1, Ops::And(Ops::Xor(s1, k1), Ops::Load(mask + 8))));
    } else {
        using Vector = char __attribute__((vector_size(16)));
        Vector source, kept, mask;
        std::memcpy(&source, from, 16);
        std::memcpy(&kept, to, 16);
        std::memcpy(&mask, kBlendMask + 16 - n, 16);
        const Vector merged = (source & mask) | (kept & ~mask);
        std::memcpy(to, &merged, 16);
    }
}

// The bit buffer. It takes whole stream words only, so the queue's length is
// 16 plus the buffer's length modulo 16, and the queue's last word, the word
// the reader added last, lies (length / 16) words before the next word to be
// fetched.
//
// Where it can, it is 64 bits wide and reads ahead of the queue: it tops up
// to 48 bits or more in every value, while the code is searched for in the
// 16 bits it holds already, so that the top-up is not on the path from one
// value to the next; and at once after a literal run's raw bytes. So it
// holds at least 19 bits after every value (48 less a code and its extra
// bits, 29 at most), which always covers the next value's window. Where the
// stream goes on for 8 bytes, they are loaded at once and shifted in above
// the bits held; the bits of any partial word above `count` are then the
// stream's true bits, which the next load ORs in again unchanged. On 64-bit
// processors it is a general-purpose register; on i686 an MMX register, or
// the low half of an SSE2 one, as eight 32-bit registers cannot hold it
// beside the rest of the loop. The plain decoder on i686 has neither: there
// it is 32 bits wide and is the queue itself, a word added as soon as fewer
// than 16 bits remain. Near the end of the stream, words are added one at a
// time and bytes past P count as bad bits.
//
// Either way no word is fetched later than the queue would add it, and the
// buffer holds at least 16 bits whenever output is written: unpacking in
// place, output may overwrite stream bytes once the queue has taken them.
// Only a damaged block, whose output overwrites stream bytes the queue has
// not reached yet, can see other bytes read ahead than the queue would
// read later; it decodes to other wrong bytes, within the same bounds.
template <class Buffer> struct BitReader {
    static constexpr bool WIDE = BufferTraits<Buffer>::WIDTH == 64;
    static constexpr std::uint32_t FULL = WIDE ? 48 : 16; // count is at least this when topped up
    static constexpr std::uint32_t LOAD = WIDE ? 8 : 2;   // bytes one top-up loads

    Buffer bits;           // first bit in bit 0; above `count`, stream bits or nothing
    std::uint32_t count;   // bits held
    std::uint32_t badBits; // zeros standing for bytes past P, at the top of those held
    // Stream positions are as wide as addresses. Words past P are fetched
    // (as zeros) until a bad bit is taken, so `next` may pass P by a few
    // words: on x86-64, where P may be near 2^32, a 32-bit position would
    // wrap to the stream's start; on i686 the stream ends below the top of
    // the address space (the entries refuse a block that does not), so it
    // cannot come near.
    using Position = std::uintptr_t;
    Position next;    // position of the next word to fetch
    Position fastEnd; // below this, LOAD bytes from a position lie inside P
    Position packed;  // P
    const std::uint8_t* stream;

    // The same reader with its bits held in another kind of buffer of the
    // same width.
    template <class Other>
    [[gnu::always_inline]] static inline BitReader From(const BitReader<Other>& r) {
        static_assert(BitReader<Other>::WIDE == WIDE);
        BitReader same{BufferTraits<Buffer>::FromScalar(BufferTraits<Other>::ToScalar(r.bits)),
                       r.count,
                       r.badBits,
                       r.next,
                       r.fastEnd,
                       r.packed,
                       r.stream};
        return same;
    }

    // The word at `pos`, bytes past P read as zeros; adds the number of bits
    // that stand for such bytes to `badBits`.
    [[gnu::always_inline]] inline std::uint32_t Fetch(Position pos) {
        if (pos >= packed) {
            badBits += 16;
            return 0;
        }
        if (packed - pos >= 2)
            return std::uint32_t(stream[pos]) | std::uint32_t(stream[pos + 1]) << 8;
        badBits += 8;
        return stream[pos];
    }

    // The LOAD bytes at `p`, all inside P, as the low bits of a buffer.
    [[gnu::always_inline]] static inline Buffer LoadChunk(const std::uint8_t* p) {
        if constexpr (!std::is_integral_v<Buffer>) {
            return Buffer::Load(p);
        } else if constexpr (WIDE) {
            Buffer chunk;
            std::memcpy(&chunk, p, sizeof chunk);
            return chunk;
        } else {
            std::uint16_t word;
            std::memcpy(&word, p, sizeof word);
            return word;
        }
    }

    // Adds whole words until at least FULL bits are held. Kept in line, like
    // the rest of the reader, so that the reader's fields stay in registers.
    [[gnu::always_inline]] inline void Refill() {
        if constexpr (!WIDE) {
            if (count >= FULL) return;
        }
        if (next < fastEnd) [[likely]] {
            bits |= LoadChunk(stream + next) << count;
            next += (~count & FULL) >> 3;
            count |= FULL;
            return;
        }
        while (count < FULL) {
            bits |= Buffer(Fetch(next)) << count;
            count += 16;
            next += 2;
        }
    }

    [[gnu::always_inline]] inline void Start(const std::uint8_t* s, std::uint32_t p) {
        stream = s;
        packed = p;
        fastEnd = p >= LOAD ? p - LOAD + 1 : 0;
        badBits = 0;
        bits = Buffer(0);
        count = 0;
        next = 0;
    }

    // Removes n bits, no more than are held; false when one of them stood
    // for a byte past P. `shift` is n as the buffer's shifts take it.
    template <class Shift>
    [[gnu::always_inline]] inline bool Skip(std::uint32_t n, const Shift& shift) {
        bits >>= shift;
        count -= n;
        if (count < badBits) [[unlikely]]
            return false;
        if constexpr (!WIDE) Refill();
        return true;
    }
    [[gnu::always_inline]] inline bool Skip(std::uint32_t n) { return Skip(n, n); }

    // The next n bits (0 to 16) as a number.
    [[gnu::always_inline]] inline bool ReadBits(std::uint32_t n, std::uint32_t& value) {
        Refill();
        value = std::uint32_t(bits) & ((1u << n) - 1);
        return Skip(n);
    }

    // The reader's cursor: the position of the word added to the queue last.
    // With fewer than 16 bits held, the queue has already taken the word at
    // `next`.
    Position Cursor() const { return next - 2 * (count >> 4); }

    // Copies r raw bytes from the cursor on to `out` and puts the word after
    // them in the place of the word added last; false when they pass P. A
    // run of 0 changes nothing. Where the vector units are there (V), a run
    // of up to 16 bytes is moved by BlendMove16 when 16 bytes lie inside P
    // from the cursor and `outRoom` (the bytes from `out` to the end of the
    // output) is 16 or more. `outStart` is where the output began.
    template <Vectors V>
    [[gnu::always_inline]] inline bool CopyRaw(std::uint8_t* out, std::uint32_t r,
                                               std::uint32_t outRoom,
                                               const std::uint8_t* outStart) {
        const Position cursor = Cursor();
        // Unpacking in place, output may have been written over the word the
        // queue took last: the output so far lies from `outStart` to `out`.
        const std::uintptr_t word = reinterpret_cast<std::uintptr_t>(stream + cursor);
        const bool wordAsTaken = word >= reinterpret_cast<std::uintptr_t>(out) ||
                                 word + 2 <= reinterpret_cast<std::uintptr_t>(outStart);
        // The block may overlap the output when unpacking in place.
        if (V != Vectors::NONE && r <= 16 && outRoom >= 16 && cursor <= packed &&
            packed - cursor >= 16 && wordAsTaken) [[likely]] {
            // Also taken for r = 0, without a branch on it: the copy then
            // changes nothing, and the word added last is fetched again as
            // it was taken; with 16 bytes of P left from the cursor, no bad
            // bits were held.
            BlendMove16<V>(out, stream + cursor, r);
        } else {
            // Elsewhere a run of 0 keeps the bits held as they are.
            if (r == 0) return true;
            if (cursor > packed || r > packed - cursor) [[unlikely]]
                return false;
            MoveBytes<V>(out, stream + cursor, r);
        }
        // The bits below the dropped word came from bytes before the cursor,
        // all inside P, so no bad bits remain beneath the new word, which is
        // fetched at once.
        count &= 15;
        if constexpr (std::is_integral_v<Buffer>)
            bits &= (Buffer(1) << count) - 1;
        else
            bits = bits.KeepLow(count);
        badBits = 0;
        next = cursor + r;
        Refill();
        return true;
    }

    // The queue as the static state keeps it: the low word, the high word and
    // the number of valid bits in the high word.
    [[gnu::always_inline]] inline void Store(UnpackState& st) {
        Refill();
        const std::uint32_t queue = 16 + (count & 15);
        const std::uint32_t kept = std::uint32_t(bits) & std::uint32_t((1ull << queue) - 1);
        st.windowLow = std::uint16_t(kept);
        st.windowHigh = std::uint16_t(kept >> 16);
        st.highBits = std::uint8_t(queue - 16);
    }
};

// Reads one table description into `table`. A count of 0 leaves the table as
// it is; otherwise its entries are rebuilt from the first one, in canonical
// order: shorter codes first, within one length lower symbols first.
template <class Reader> UnpackStatus ReadDecodeTable(Reader& reader, DecodeTable& table) {
    std::uint32_t n;
    if (!reader.ReadBits(5, n)) return UNPACK_STREAM_ENDED;
    if (n == 0) return UNPACK_OK;
    if (n > TABLE_SYMBOLS_MAX) return UNPACK_BAD_TABLE;
    std::uint8_t lengths[TABLE_SYMBOLS_MAX];
    for (std::uint32_t s = 0; s < n; ++s) {
        std::uint32_t length;
        if (!reader.ReadBits(4, length)) return UNPACK_STREAM_ENDED;
        lengths[s] = std::uint8_t(length);
    }
    std::uint16_t accumulator = 0;
    std::uint16_t step = 0x8000;
    unsigned k = 0;
    for (unsigned length = 1; length <= 15; ++length, step >>= 1) {
        for (std::uint32_t s = 0; s < n; ++s) {
            if (lengths[s] != length) continue;
            // The top `length` bits of the accumulator, in reverse order.
            const unsigned top = accumulator >> (16 - length);
            unsigned reversed = 0;
            for (unsigned b = 0; b < length; ++b) reversed |= ((top >> b) & 1u) << (length - 1 - b);
            table.entries[k].mask = std::uint16_t((1u << length) - 1);
            table.entries[k].code = std::uint16_t(reversed);
            table.entries[k].value = std::uint16_t(length << 8 | s);
            ++k;
            accumulator = std::uint16_t(accumulator + step);
        }
    }
    return UNPACK_OK;
}

// Reads the three table descriptions of a chunk.
template <class Reader> UnpackStatus ReadDecodeTables(Reader& reader, UnpackState& st) {
    UnpackStatus status = ReadDecodeTable(reader, st.runTable);
    if (status == UNPACK_OK) status = ReadDecodeTable(reader, st.distanceTable);
    if (status == UNPACK_OK) status = ReadDecodeTable(reader, st.lengthTable);
    return status;
}

// For the decoders that keep their bits in a vector register: each slot's
// L + extra bits as the 64-bit count that the vector shifts take, so that a
// value's bits are removed with a count loaded from the table. None
// elsewhere.
template <bool COUNTED, unsigned SLOTS> struct ShiftCounts { std::uint64_t at[SLOTS]; };
template <unsigned SLOTS> struct ShiftCounts<false, SLOTS> {};

// A chunk's code table as the decoder scans it: masks and codes side by side,
// each entry at the place its scan compares it (Scan::Place: for the scans
// in 64-bit registers, four entries to each 64-bit word of the arrays), and
// for each entry what decoding its value takes, worked out once per chunk so
// that a value costs one bit extraction whatever its symbol. Each scan keeps
// the values at its own slots, where its search ends.
template <class Scan> constexpr bool PlacesEveryEntryOnce() {
    bool taken[16] = {};
    for (unsigned k = 0; k < 16; ++k) {
        if (Scan::Place(k) >= 16 || taken[Scan::Place(k)]) return false;
        taken[Scan::Place(k)] = true;
    }
    return true;
}

template <class Scan> struct ScanTable {
    static_assert(PlacesEveryEntryOnce<Scan>());
    struct Value {
        std::uint32_t bitsMask; // the code's and the extra bits' places
        std::uint16_t base;     // s for s < 2, else 2^(s-1)
        std::uint8_t length;    // L
        std::uint8_t total;     // L + the s - 1 extra bits (none for s < 2)
    };
    alignas(16) std::uint16_t mask[16];
    alignas(16) std::uint16_t code[16];
    Value value[Scan::SLOTS];
    [[no_unique_address]] ShiftCounts<Scan::COUNTED, Scan::SLOTS> shifts;

    void Load(const DecodeTable& table) {
        for (unsigned k = 0; k < 16; ++k) {
            const DecodeEntry& e = table.entries[k];
            mask[Scan::Place(k)] = e.mask;
            code[Scan::Place(k)] = e.code;
            const unsigned length = e.value >> 8, symbol = e.value & 0xFF;
            const unsigned extra = symbol < 2 ? 0 : symbol - 1;
            Value& v = value[Scan::Slot(k)];
            v.length = std::uint8_t(length);
            v.total = std::uint8_t(length + extra);
            // At most 15 + 14 bits: ReadDecodeTable writes lengths of 15 bits
            // at most and symbols below 16.
            v.bitsMask = (1u << (length + extra)) - 1;
            v.base = std::uint16_t(symbol < 2 ? symbol : 1u << extra);
            if constexpr (Scan::COUNTED) shifts.at[Scan::Slot(k)] = length + extra;
        }
    }
};

// The scan: the slot of the first entry whose masked code matches the low
// 16 bits of `bits` (the window), Scan::NONE when none does.
struct PlainScan {
    static constexpr Vectors VECTORS = Vectors::NONE;
    static constexpr unsigned Place(unsigned k) { return k; }
    static constexpr unsigned SLOTS = 16, NONE = 16;
    static constexpr unsigned Slot(unsigned k) { return k; }
    static constexpr bool COUNTED = false; // no `shifts`
    template <class Buffer>
    [[gnu::always_inline]] static inline unsigned Find(const ScanTable<PlainScan>& t,
                                                       const Buffer& bits) {
        return Find<0>(t, std::uint32_t(bits) & 0xFFFF);
    }
    template <unsigned K>
    [[gnu::always_inline]] static inline unsigned Find(const ScanTable<PlainScan>& t,
                                                       std::uint32_t window) {
        if constexpr (K == 16) {
            return 16;
        } else {
            if ((window & t.mask[K]) == t.code[K]) return K;
            return Find<K + 1>(t, window);
        }
    }
};

// All 16 entries compared at once in two SSE2 registers, the lowest matching
// one taken: the same entry that the scan from the first one stops at. The
// bits are in an SSE2 register already, so the window goes to the lanes
// without a move from a general-purpose register.
struct Sse2Scan {
    static constexpr Vectors VECTORS = Vectors::SSE2;
    static constexpr unsigned Place(unsigned k) { return k; }
    static constexpr unsigned SLOTS = 16, NONE = 16;
    static constexpr unsigned Slot(unsigned k) { return k; }
    static constexpr bool COUNTED = true; // `shifts` for the buffer's shifts
    using Lanes = short __attribute__((vector_size(16)));
    using Bytes = char __attribute__((vector_size(16)));

    [[gnu::always_inline]] static inline unsigned Find(const ScanTable<Sse2Scan>& t,
                                                       const Sse2Bits& bits) {
        const Lanes lanes = (Lanes)Sse2Ops::Broadcast16(bits.v);
        Lanes m0, m1, c0, c1;
        std::memcpy(&m0, t.mask, 16);
        std::memcpy(&m1, t.mask + 8, 16);
        std::memcpy(&c0, t.code, 16);
        std::memcpy(&c1, t.code + 8, 16);
        const Lanes lo = (lanes & m0) == c0, hi = (lanes & m1) == c1;
        // The 16 lane results packed to bytes, then one bit per entry.
        const Bytes packed = __builtin_ia32_packsswb128(lo, hi);
        const std::uint32_t matches = std::uint32_t(__builtin_ia32_pmovmskb128(packed));
        return unsigned(std::countr_zero(matches | 0x10000u));
    }
};

// All 16 entries compared at once in four MMX registers, four 16-bit lanes
// each, the window broadcast from the MMX register that holds the bits.
// Word r (mask and code from 4r to 4r + 3) holds entry 4l + r in lane l.
// The compares give all ones in a matching lane; words 0 and 1, then 2 and
// 3, are packed to bytes, of which bit r is kept for word r, and the upper
// four bytes are folded onto the lower: entry k's result lands at bit
// 8 * (k / 4) + k % 4, so that the lowest bit set is the first matching
// entry. Without SSE, MMX has no move
// of a mask to a general-purpose register in one step.
struct MmxScan {
    static constexpr Vectors VECTORS = Vectors::MMX;
    static constexpr unsigned Place(unsigned k) { return 4 * (k % 4) + k / 4; }
    static constexpr unsigned SLOTS = 28, NONE = 28;
    static constexpr unsigned Slot(unsigned k) { return 8 * (k / 4) + k % 4; }
    static constexpr bool COUNTED = true;

    // Word r's compares: all ones in the lanes that match the window `w`.
    [[gnu::always_inline]] static inline MmxOps::Vector Word(const ScanTable<MmxScan>& t,
                                                             MmxOps::Vector w, unsigned r) {
        return MmxOps::Equal16(MmxOps::And(w, MmxOps::Load(t.mask + 4 * r)),
                               MmxOps::Load(t.code + 4 * r));
    }
    [[gnu::always_inline]] static inline unsigned Find(const ScanTable<MmxScan>& t,
                                                       const MmxBits& bits) {
        using Ops = MmxOps;
        // Bit r of each byte for words 0 and 1 (low), 2 and 3 (high), and
        // the bit that stands for no match.
        constexpr Ops::Vector keepLow = {0x01010101, 0x02020202};
        constexpr Ops::Vector keepHigh = {0x04040404, 0x08080808};
        constexpr Ops::Vector none = {1 << NONE, 0};
        const Ops::Vector w = Ops::Broadcast16(bits.v);
        const Ops::Vector both =
            Ops::Or(Ops::And(Ops::PackBytes(Word(t, w, 0), Word(t, w, 1)), keepLow),
                    Ops::And(Ops::PackBytes(Word(t, w, 2), Word(t, w, 3)), keepHigh));
        const Ops::Vector folded = Ops::Or(Ops::Or(both, none), Ops::ShiftRight32(both));
        // Never 0, for the bit of no match is set: without a test for 0.
        return unsigned(__builtin_ctz(Ops::Low(folded)));
    }
};

// All 16 entries compared at once in four 64-bit registers, four 16-bit lanes
// each, for 64-bit processors: moving the window into a vector register and
// the result back costs more than the compares. Word r (mask and code from
// 4r to 4r + 3) holds entry 4l + 3 - r in lane l. A lane x = (window & mask)
// ^ code is below 0x8000, as entries are all zero or as ReadDecodeTable
// writes them (a mask of at most 15 bits and a code inside it), so 0x8000 - x
// borrows from no other lane and has its top bit set exactly when x is 0, a
// match. Word r's results shifted down by r bits leave entry k's at bit
// 12 * (k / 4) + 12 + k: the lowest bit set is the first matching entry.
struct SwarScan {
    static constexpr Vectors VECTORS = Vectors::SSE2; // 16-byte moves: SSE2 is always there
    static constexpr unsigned Place(unsigned k) { return 4 * (3 - k % 4) + k / 4; }
    static constexpr unsigned SLOTS = 64, NONE = 64;
    static constexpr unsigned Slot(unsigned k) { return 12 * (k / 4) + 12 + k; }
    static constexpr bool COUNTED = false;
    [[gnu::always_inline]] static inline unsigned Find(const ScanTable<SwarScan>& t,
                                                       std::uint64_t bits) {
        constexpr std::uint64_t TOPS = 0x8000800080008000;
        // The window in all four lanes. One multiply: the compiler would
        // build it from shifts and adds, a step longer.
        std::uint64_t w = bits & 0xFFFF;
#if defined(__x86_64__)
        asm("imul %1, %0" : "+r"(w) : "r"(std::uint64_t(0x0001000100010001)));
#else
        w *= 0x0001000100010001;
#endif
        std::uint64_t f[4];
        for (unsigned r = 0; r < 4; ++r) {
            std::uint64_t m, c;
            std::memcpy(&m, t.mask + 4 * r, sizeof m);
            std::memcpy(&c, t.code + 4 * r, sizeof c);
            f[r] = ((TOPS - ((w & m) ^ c)) & TOPS) >> r;
        }
        // Two pairs, then the pairs: kept as a tree, which the compiler
        // would otherwise turn into a chain one step longer.
        std::uint64_t low = f[0] | f[1], high = f[2] | f[3];
        asm("" : "+r"(low), "+r"(high));
        return unsigned(std::countr_zero(low | high));
    }
};

// Decodes one value, 0 to 32767: a symbol s from the first entry whose masked
// code matches the queue's low 16 bits, then s - 1 extra bits when s is 2 or
// more. Code and extra bits are taken in one step where the buffer holds
// them: the queue gives the same bits and adds the same words as two reads.
template <class Scan, class Reader>
[[gnu::always_inline]] inline UnpackStatus DecodeValue(Reader& reader, const ScanTable<Scan>& table,
                                                       std::uint32_t& value) {
    const unsigned k = Scan::Find(table, reader.bits);
    if (k == Scan::NONE) [[unlikely]]
        return UNPACK_BAD_CODE;
    // The 64-bit buffer tops up while the scan runs, for the extra bits and
    // the values after: it holds the whole window already.
    if constexpr (Reader::WIDE) reader.Refill();
    const typename ScanTable<Scan>::Value& v = table.value[k];
    if (Reader::WIDE || v.total <= reader.count) [[likely]] {
        value = v.base + ((std::uint32_t(reader.bits) & v.bitsMask) >> v.length);
        bool ok;
        if constexpr (Scan::COUNTED)
            ok = reader.Skip(v.total, table.shifts.at[k]);
        else
            ok = reader.Skip(v.total);
        return ok ? UNPACK_OK : UNPACK_STREAM_ENDED;
    }
    std::uint32_t extra;
    if (!reader.Skip(v.length) || !reader.ReadBits(v.total - v.length, extra))
        return UNPACK_STREAM_ENDED;
    value = v.base + extra;
    return UNPACK_OK;
}

// Copies a match of `length` bytes from `distance` back, with the result of
// copying byte by byte in increasing order: when the distance is shorter
// than the length, the last `distance` bytes repeat. Writes nothing beyond
// the match (in place, the stream may lie right after it, and a chunk that
// ends early leaves the bytes after it as they were).
template <Vectors V>
[[gnu::always_inline]] inline void CopyMatch(std::uint8_t* to, std::uint32_t distance,
                                             std::uint32_t length, std::uint32_t outRoom) {
    const std::uint8_t* from = to - distance;
    if (distance >= length && length <= 16) {
        if (V != Vectors::NONE && outRoom >= 16) [[likely]]
            BlendMove16<V>(to, from, length);
        else
            MoveBytes<V>(to, from, length);
    } else if (V == Vectors::SSE2 && distance >= 16) {
        // 16-byte steps, each reading bytes written at least 16 bytes
        // before; the last ends at the match's end, overlapping the one
        // before.
        using Vector = char __attribute__((vector_size(16)));
        Vector chunk;
        std::uint32_t i = 0;
        do {
            std::memcpy(&chunk, from + i, 16);
            std::memcpy(to + i, &chunk, 16);
            i += 16;
        } while (i + 16 < length);
        std::memcpy(&chunk, from + length - 16, 16);
        std::memcpy(to + length - 16, &chunk, 16);
    } else if (distance >= 8) {
        // Each 8-byte step reads bytes written at least 8 bytes before; the
        // last step ends at the match's end, overlapping the one before.
        std::uint32_t i = 0;
        if constexpr (V == Vectors::MMX) {
            for (; i + 8 < length; i += 8) MmxOps::Store(to + i, MmxOps::Load(from + i));
            MmxOps::Store(to + length - 8, MmxOps::Load(from + length - 8));
        } else {
            std::uint64_t chunk;
            for (; i + 8 < length; i += 8) {
                std::memcpy(&chunk, from + i, 8);
                std::memcpy(to + i, &chunk, 8);
            }
            std::memcpy(&chunk, from + length - 8, 8);
            std::memcpy(to + length - 8, &chunk, 8);
        }
    } else if (distance == 1 && V == Vectors::MMX && length >= 8) {
        // The byte repeated in 8-byte steps, the last ending at the match's
        // end: a call of memset would have to leave MMX first.
        const MmxOps::Vector fill = MmxOps::Repeat32(MmxOps::FromLow(*from * 0x01010101u));
        std::uint32_t i = 0;
        for (; i + 8 < length; i += 8) MmxOps::Store(to + i, fill);
        MmxOps::Store(to + length - 8, fill);
    } else if (distance == 1 && V != Vectors::MMX) {
        std::memset(to, *from, length);
    } else {
        for (std::uint32_t i = 0; i < length; ++i) to[i] = from[i];
    }
}

#define UNPACK_CHECK(expression)                                                                   \
    do {                                                                                           \
        status = (expression);                                                                     \
        if (status != UNPACK_OK) [[unlikely]]                                                      \
            goto finished;                                                                         \
    } while (0)

#define UNPACK_REQUIRE(condition, failure)                                                         \
    do {                                                                                           \
        if (!(condition)) [[unlikely]] {                                                           \
            status = (failure);                                                                    \
            goto finished;                                                                         \
        }                                                                                          \
    } while (0)

// Decodes the stream of P bytes at `stream` into `out`, U bytes at most, and
// counts the bytes written in `written`.
template <class Scan, class Buffer>
[[gnu::always_inline]] inline UnpackStatus
DecodeStreamWith(const std::uint8_t* stream, std::uint32_t packed, std::uint8_t* out,
                 std::uint32_t unpacked, std::uint8_t chunks, std::uint32_t& written) {
    using Reader = BitReader<Buffer>;
    using TableReader = BitReader<typename BufferTraits<Buffer>::Scalar>;
    constexpr Vectors V = Scan::VECTORS;
    UnpackState& st = unpackState;
    Reader reader;
    reader.Start(stream, packed);
    // The output position and its end, as pointers: fewer values to keep in
    // registers than a base, a count and a size.
    std::uint8_t* op = out;
    std::uint8_t* const outEnd = out + unpacked;
    std::uint32_t runs = 0;
    std::uint32_t ignored;
    UnpackStatus status = UNPACK_OK;

    UNPACK_REQUIRE(reader.ReadBits(2, ignored), UNPACK_STREAM_ENDED);
    for (; chunks != 0; --chunks) {
        // The tables are read through a copy of the reader, so that the
        // decoder's own copy never has its address taken and stays in
        // registers; its bits in a general-purpose integer, for the code
        // that reads them is built for any processor.
        TableReader tableReader = TableReader::From(reader);
        LeaveMmx<V>();
        status = ReadDecodeTables(tableReader, st);
        reader = Reader::From(tableReader);
        if (status != UNPACK_OK) [[unlikely]]
            goto finished;
        UNPACK_REQUIRE(reader.ReadBits(16, runs), UNPACK_STREAM_ENDED);
        UNPACK_REQUIRE(runs != 0, UNPACK_NO_RUNS);
        // Local copies, which the output's byte stores cannot alias.
        ScanTable<Scan> runTable, distanceTable, lengthTable;
        runTable.Load(st.runTable);
        distanceTable.Load(st.distanceTable);
        lengthTable.Load(st.lengthTable);
        for (;;) {
            std::uint32_t run;
            UNPACK_CHECK(DecodeValue<Scan>(reader, runTable, run));
            // The 64-bit buffer takes a run of 0 through the copy too (see
            // CopyRaw): a branch on it would go wrong for about one run in
            // three.
            if (Reader::WIDE || run != 0) {
                const std::uint32_t room = std::uint32_t(outEnd - op);
                UNPACK_REQUIRE(run <= room, UNPACK_OUTPUT_FULL);
                UNPACK_REQUIRE(reader.template CopyRaw<V>(op, run, room, out), UNPACK_STREAM_ENDED);
                op += run;
            }
            if constexpr (!std::is_integral_v<Buffer>) reader.bits.InRegister();
            if (--runs == 0) break;

            std::uint32_t distance, length;
            UNPACK_CHECK(DecodeValue<Scan>(reader, distanceTable, distance));
            UNPACK_CHECK(DecodeValue<Scan>(reader, lengthTable, length));
            distance += 1;
            length += 2;
            UNPACK_REQUIRE(distance <= std::uint32_t(op - out), UNPACK_BAD_DISTANCE);
            const std::uint32_t room = std::uint32_t(outEnd - op);
            UNPACK_REQUIRE(length <= room, UNPACK_OUTPUT_FULL);
            CopyMatch<V>(op, distance, length, room);
            op += length;
        }
    }

finished:
    written = std::uint32_t(op - out);
    st.runsLeft = std::uint16_t(runs);
    st.chunksLeft = chunks;
    reader.Store(st);
    LeaveMmx<V>();
    return status;
}

using DecodeStreamFunction = UnpackStatus (*)(const std::uint8_t*, std::uint32_t, std::uint8_t*,
                                              std::uint32_t, std::uint8_t, std::uint32_t&);

// The plain scan with a 32-bit bit buffer: built for every processor, and
// the only decoder where neither MMX nor SSE2 may be used.
UnpackStatus DecodeStreamPlain(const std::uint8_t* stream, std::uint32_t packed, std::uint8_t* out,
                               std::uint32_t unpacked, std::uint8_t chunks,
                               std::uint32_t& written) {
    return DecodeStreamWith<PlainScan, std::uint32_t>(stream, packed, out, unpacked, chunks,
                                                      written);
}

// The scan in MMX registers with the bits in a 64-bit MMX register, as i686
// processors with MMX run it where the system does not support SSE2.
[[gnu::target("mmx")]] UnpackStatus DecodeStreamMmx(const std::uint8_t* stream,
                                                    std::uint32_t packed, std::uint8_t* out,
                                                    std::uint32_t unpacked, std::uint8_t chunks,
                                                    std::uint32_t& written) {
    return DecodeStreamWith<MmxScan, MmxBits>(stream, packed, out, unpacked, chunks, written);
}

// The SSE2 scan with the bits in an SSE2 register, as i686 processors with
// SSE2 run it where the system supports SSE2. It is called only from the
// entries, which align the stack for it.
[[gnu::target("sse2")]] UnpackStatus DecodeStreamSse2(const std::uint8_t* stream,
                                                      std::uint32_t packed, std::uint8_t* out,
                                                      std::uint32_t unpacked, std::uint8_t chunks,
                                                      std::uint32_t& written) {
    return DecodeStreamWith<Sse2Scan, Sse2Bits>(stream, packed, out, unpacked, chunks, written);
}

#if defined(__x86_64__)
// The 64-bit buffer that reads ahead, and the scan in 64-bit registers; the
// 16-byte moves use SSE2, which is part of the architecture.
UnpackStatus DecodeStreamReadAhead(const std::uint8_t* stream, std::uint32_t packed,
                                   std::uint8_t* out, std::uint32_t unpacked, std::uint8_t chunks,
                                   std::uint32_t& written) {
    return DecodeStreamWith<SwarScan, std::uint64_t>(stream, packed, out, unpacked, chunks,
                                                     written);
}
#endif

// The decoders this build carries, by variant. A build for tests and
// benchmarks of one variant on any processor (UNPACK_ONLY_VARIANT) carries
// that one alone and always chooses it.
constexpr DecodeStreamFunction Carried(UnpackVariant v, DecodeStreamFunction f) {
#if defined(UNPACK_ONLY_VARIANT)
    return v == UNPACK_ONLY_VARIANT ? f : nullptr;
#else
    (void)v;
    return f;
#endif
}
constexpr DecodeStreamFunction kDecoders[] = {
    Carried(UNPACK_PLAIN, DecodeStreamPlain),
    Carried(UNPACK_SSE2, DecodeStreamSse2),
#if defined(__x86_64__)
    Carried(UNPACK_READ_AHEAD, DecodeStreamReadAhead),
#else
    nullptr,
#endif
    Carried(UNPACK_MMX, DecodeStreamMmx),
};
static_assert(std::size(kDecoders) == UNPACK_MMX + 1);

#if defined(__i386__) && !defined(UNPACK_ONLY_VARIANT)
// The processor's answer, from CPUID where it has the instruction (which
// the compiler's helper finds out first, by the ID flag).
bool AskProcessor(std::uint32_t leaf, std::uint32_t registers[4]) {
    return __get_cpuid(leaf, &registers[0], &registers[1], &registers[2], &registers[3]) != 0;
}
#endif

UnpackVariant ChooseVariant() {
#if defined(UNPACK_ONLY_VARIANT)
    return UNPACK_ONLY_VARIANT;
#elif defined(__x86_64__)
    return UNPACK_READ_AHEAD;
#elif defined(_WIN32)
    // Looked up, not imported: Windows 95 has no such function.
    const HMODULE kernel = GetModuleHandleA("kernel32.dll");
    const FARPROC query = kernel ? GetProcAddress(kernel, "IsProcessorFeaturePresent") : nullptr;
    return UnpackChooseVariant(
        AskProcessor, reinterpret_cast<ProcessorFeatureQuery>(reinterpret_cast<void (*)()>(query)));
#else
    return UNPACK_PLAIN;
#endif
}

bool variantChosen = false;
UnpackVariant variant = UNPACK_PLAIN;

UnpackStatus DecodeStream(const std::uint8_t* stream, std::uint32_t packed, std::uint8_t* out,
                          std::uint32_t unpacked, std::uint8_t chunks, std::uint32_t& written) {
    return kDecoders[UnpackCurrentVariant()](stream, packed, out, unpacked, chunks, written);
}

// Win32 promises 4-byte stack alignment only: window procedures, hooks,
// thread entries and timer callbacks may be entered with the stack 4, 8 or
// 12 bytes off 16. The compiler builds i686 code for a stack aligned to 16
// bytes at every call, and the SSE2 decoder keeps values in stack slots that
// SSE2 instructions require aligned. So the two entries realign the stack
// once per call, and everything they call finds it aligned as assumed.
#if defined(__i386__)
#define UNPACK_ENTRY [[gnu::force_align_arg_pointer]]
#else
#define UNPACK_ENTRY
#endif

constexpr UnpackResult Failure(UnpackStatus status, std::uint32_t produced = 0) {
    return UnpackResult{0, produced, status};
}

// The common path once the signature is known good. `sourceSize` and
// `capacity` bound the block and the destination; the plain entry passes
// the largest sizes the address space allows.
UnpackResult Unpack(const std::uint8_t* block, std::uintptr_t sourceSize, std::uint8_t* dest,
                    std::uintptr_t capacity, bool sized) {
    const std::uint32_t unpacked = ReadBigEndian32(block + 4);
    const std::uint32_t packed = ReadBigEndian32(block + 8);
    const std::uint8_t margin = block[16];
    const std::uint8_t chunks = block[17];

    if (packed > sourceSize - PACK_HEADER_SIZE || unpacked > capacity)
        return Failure(UNPACK_DOES_NOT_FIT);
    // Addresses are compared as 64-bit numbers so that no sum wraps; neither
    // the stream nor the destination area may pass the top of the address
    // space.
    constexpr std::uint64_t addressTop = UINTPTR_MAX;
    const std::uint64_t destStart = reinterpret_cast<std::uintptr_t>(dest);
    const std::uint64_t streamStart = reinterpret_cast<std::uintptr_t>(block) + PACK_HEADER_SIZE;
    const std::uint64_t streamEnd = streamStart + packed;
    const std::uint64_t room = std::uint64_t(unpacked) + margin;
    if (streamEnd > addressTop || destStart + room > addressTop)
        return Failure(UNPACK_DOES_NOT_FIT);

    if (chunks == 0) {
        if (unpacked != 0) return Failure(UNPACK_NO_CHUNKS);
        unpackState.unpackedSize = 0;
        unpackState.packedSize = packed;
        return UnpackResult{0, 0, UNPACK_OK};
    }

    const std::uint8_t* stream = block + PACK_HEADER_SIZE;
    // The sized entry knows the stream is apart from the output when it starts
    // at or above destination + U, and then leaves it where it lies instead of
    // asking for room up to destination + U + M that it would not need.
    const bool apart = sized && streamStart >= destStart + unpacked;
    if (streamEnd > destStart && destStart + room > streamEnd && !apart) {
        // The output would overtake the stream: move it up to end at
        // destination + U + M. The new place is higher than the old one.
        if (room > capacity) return Failure(UNPACK_DOES_NOT_FIT);
        auto* moved = reinterpret_cast<std::uint8_t*>(std::uintptr_t(destStart + room - packed));
        std::memmove(moved, stream, packed);
        stream = moved;
    }

    unpackState.unpackedSize = unpacked;
    unpackState.packedSize = packed;
    std::uint32_t produced = 0;
    const UnpackStatus status = DecodeStream(stream, packed, dest, unpacked, chunks, produced);
    if (status != UNPACK_OK) return Failure(status, produced);
    return UnpackResult{unpacked, produced, UNPACK_OK};
}

} // namespace

UNPACK_ENTRY UnpackResult UnpackBlock(const void* source, void* destination) {
    const auto* block = static_cast<const std::uint8_t*>(source);
    if (!SignatureMatches(block)) return Failure(UNPACK_BAD_SIGNATURE);
    return Unpack(block, UINTPTR_MAX, static_cast<std::uint8_t*>(destination), UINTPTR_MAX, false);
}

UNPACK_ENTRY UnpackResult UnpackBlockSized(const void* source, std::size_t sourceSize,
                                           void* destination, std::size_t destinationCapacity) {
    const auto* block = static_cast<const std::uint8_t*>(source);
    if (sourceSize < 4 || !SignatureMatches(block)) return Failure(UNPACK_BAD_SIGNATURE);
    if (sourceSize < PACK_HEADER_SIZE) return Failure(UNPACK_DOES_NOT_FIT);
    return Unpack(block, sourceSize, static_cast<std::uint8_t*>(destination), destinationCapacity,
                  true);
}

bool ReadPackHeader(const void* block, std::size_t size, std::uint32_t* unpackedSize,
                    std::uint32_t* packedSize, std::uint8_t* margin) {
    const auto* bytes = static_cast<const std::uint8_t*>(block);
    if (size < PACK_HEADER_SIZE || !SignatureMatches(bytes)) return false;
    if (unpackedSize) *unpackedSize = ReadBigEndian32(bytes + 4);
    if (packedSize) *packedSize = ReadBigEndian32(bytes + 8);
    if (margin) *margin = bytes[16];
    return true;
}

UnpackVariant UnpackCurrentVariant() {
    if (!variantChosen) {
        variant = ChooseVariant();
        variantChosen = true;
    }
    return variant;
}

bool UnpackUseVariant(UnpackVariant chosen) {
    if (chosen >= std::size(kDecoders) || kDecoders[chosen] == nullptr) return false;
    variant = chosen;
    variantChosen = true;
    return true;
}

#if defined(_WIN32) && !defined(_WIN64)
UnpackVariant UnpackChooseVariant(ProcessorIdQuery askProcessor,
                                  ProcessorFeatureQuery isFeaturePresent) {
#if defined(UNPACK_ONLY_VARIANT)
    (void)askProcessor;
    (void)isFeaturePresent;
    return UNPACK_ONLY_VARIANT;
#else
    // The system answers yes only where it saves the SSE registers on a
    // task switch; Windows NT 4.0 answers no even on a processor with SSE2.
    if (isFeaturePresent != nullptr && isFeaturePresent(PF_XMMI64_INSTRUCTIONS_AVAILABLE))
        return UNPACK_SSE2;
    // MMX needs the processor's word alone: bit 23 of EDX for leaf 1.
    std::uint32_t registers[4];
    if (askProcessor != nullptr && askProcessor(1, registers) && (registers[3] >> 23 & 1) != 0)
        return UNPACK_MMX;
    return UNPACK_PLAIN;
#endif
}
#endif

const char* UnpackStatusText(UnpackStatus status) {
    switch (status) {
    case UNPACK_OK: return "ok";
    case UNPACK_BAD_SIGNATURE: return "not a packed block (bad signature or method)";
    case UNPACK_DOES_NOT_FIT: return "block larger than its buffer or the destination";
    case UNPACK_BAD_TABLE: return "code table of more than 16 symbols";
    case UNPACK_BAD_CODE: return "code matching no table entry";
    case UNPACK_NO_CHUNKS: return "no chunks in a block that is not empty";
    case UNPACK_NO_RUNS: return "chunk of no literal runs";
    case UNPACK_STREAM_ENDED: return "stream ends before the data";
    case UNPACK_OUTPUT_FULL: return "data longer than the unpacked size";
    case UNPACK_BAD_DISTANCE: return "match reaching before the start of the data";
    }
    return "unknown status";
}
